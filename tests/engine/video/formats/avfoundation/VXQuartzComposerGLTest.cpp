// Compositions on real GL through the composition stand-in: ports become
// parameters, parameter changes reach the ports, the time follows "Runs
// Autonomously" (seen in the cleared colour), a throwing composition is
// logged and fails its frame, and what cannot load gives no reader.

#include "core/VXFile.h"
#include "core/VXTime.h"
#include "core/parameters/VXParam.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamColor.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "engine/gfx/VXRenderTargetTestSupport.h"
#include "engine/video/formats/VXQCRenderer.h"
#include "engine/video/formats/VXQuartzComposerFormatReader.h"
#include "engine/video/formats/VXQuartzComposerVideoFormat.h"
#include "support/VXLogRecorder.h"
#include "support/VXTempDir.h"
#include "support/gl/VXGLTestFixture.h"

#include <limits>

namespace vx::test
{
    namespace
    {
        const char* const composition = R"(<composition>
  <port key="enabled" type="Boolean" value="1"/>
  <port key="mode" type="Index" name="Mode" menu="Soft;Hard;Off" value="1"/>
  <port key="count" type="Index" value="3"/>
  <port key="amount" type="Number" name="Amount" value="0.25"/>
  <port key="bounded" type="Number" min="-1" max="2" value="0.5"/>
  <port key="title" type="String" value="hello"/>
  <port key="tint" type="Color" value="0.1 0.2 0.3 1"/>
  <port key="picture" type="Image"/>
  <port key="shape" type="Structure"/>
  <render red="time*0.2" green="port:amount" blue="port:tint.b" alpha="1" throwAt="4"/>
</composition>)";

        class QuartzComposerGLTest : public GLTest
        {
        protected:
            void SetUp() override
            {
                GLTest::SetUp();
                host = std::make_unique<ScopedHostRenderer>(contexts);
            }
            void TearDown() override
            {
                host.reset();
                GLTest::TearDown();
            }

            TempDir dir;
            QuartzComposerVideoFormat format;
            ContextManager contexts;
            std::unique_ptr<ScopedHostRenderer> host;

            std::unique_ptr<QuartzComposerFormatReader> open(const std::string& text = composition)
            {
                const std::string path = dir.writeFile("test.qtz", text);
                return std::unique_ptr<QuartzComposerFormatReader>(
                    static_cast<QuartzComposerFormatReader*>(format.createReaderFor(File(path))));
            }

            PixelRGBA8 renderOnce(QuartzComposerFormatReader& reader, bool& rendered)
            {
                ScopedTestFramebuffer target(4, 4);
                clearTo(0, 0, 0, 0);
                rendered = reader.renderInternal(*host->renderer);
                return readPixel(1, 1);
            }
        };

        TEST_F(QuartzComposerGLTest, PortsBecomeParametersNamedByAttributeOrKey)
        {
            LogRecorder log;
            auto reader = open();
            ASSERT_NE(reader, nullptr);
            EXPECT_TRUE(reader->needsShader());
            EXPECT_EQ(reader->getCodecName(), "Quartz Composition");
            EXPECT_TRUE(reader->getRunsAutonomously().getValue());
            ParamContainer& params = *reader->getParams();
            ASSERT_EQ(params.getNumParams(), 8); // the structure port is skipped
            EXPECT_TRUE(log.contains("AttributeType QCPortTypeStructure not supported!")) << log.dump();

            auto enabled = std::dynamic_pointer_cast<Param<bool>>(params.getParam(0));
            ASSERT_NE(enabled, nullptr);
            EXPECT_EQ(enabled->getName(), "enabled");
            EXPECT_TRUE(enabled->getValue());

            auto mode = std::dynamic_pointer_cast<ParamChoice<int>>(params.getParam(1));
            ASSERT_NE(mode, nullptr);
            EXPECT_EQ(mode->getName(), "Mode");
            ASSERT_EQ(mode->getNumChoices(), 3u);
            EXPECT_EQ(mode->getChoiceByName("Off")->getValue(), 2);

            auto count = std::dynamic_pointer_cast<ParamRange>(params.getParam(2));
            ASSERT_NE(count, nullptr);
            EXPECT_EQ(count->getMinMaxRange().max, 10000.0);
            EXPECT_EQ(count->getValue(), 3.0);

            auto amount = std::dynamic_pointer_cast<ParamRange>(params.getParam(3));
            ASSERT_NE(amount, nullptr);
            EXPECT_EQ(amount->getName(), "Amount");
            // Smallest positive normal float up to the largest: 0 lies outside.
            EXPECT_EQ(amount->getMinMaxRange().min, static_cast<double>(std::numeric_limits<float>::min()));
            EXPECT_EQ(amount->getMinMaxRange().max, static_cast<double>(std::numeric_limits<float>::max()));

            auto bounded = std::dynamic_pointer_cast<ParamRange>(params.getParam(4));
            ASSERT_NE(bounded, nullptr);
            EXPECT_EQ(bounded->getMinMaxRange().min, -1.0);

            auto title = std::dynamic_pointer_cast<Param<std::string>>(params.getParam(5));
            ASSERT_NE(title, nullptr);
            EXPECT_EQ(title->getValue(), "hello");
            auto tint = std::dynamic_pointer_cast<ParamColor>(params.getParam(6));
            ASSERT_NE(tint, nullptr);
            EXPECT_FLOAT_EQ(tint->getValue().b, 0.3f);
            auto picture = std::dynamic_pointer_cast<Param<unsigned int>>(params.getParam(7));
            ASSERT_NE(picture, nullptr);
            EXPECT_EQ(picture->getValue(), 0u);
        }

        TEST_F(QuartzComposerGLTest, ParameterChangesReachThePorts)
        {
            auto reader = open();
            ASSERT_NE(reader, nullptr);
            ParamContainer& params = *reader->getParams();
            qc::QCRenderer* renderer = reader->getWrapper().getInternal().getRenderer();
            ASSERT_NE(renderer, nullptr);

            std::dynamic_pointer_cast<Param<bool>>(params.getParam(0))->setValue(false, ValueChangeInfo());
            std::dynamic_pointer_cast<ParamChoice<int>>(params.getParam(1))->setValue(2, ValueChangeInfo());
            std::dynamic_pointer_cast<ParamRange>(params.getParam(2))->setValue(7.9, ValueChangeInfo());
            std::dynamic_pointer_cast<ParamRange>(params.getParam(3))->setValue(0.75, ValueChangeInfo());
            std::dynamic_pointer_cast<Param<std::string>>(params.getParam(5))->setValue("bye", ValueChangeInfo());
            std::dynamic_pointer_cast<ParamColor>(params.getParam(6))
                ->setValue(Color(1, 0, 0.5f, 1), ValueChangeInfo());
            std::dynamic_pointer_cast<Param<unsigned int>>(params.getParam(7))->setValue(42u, ValueChangeInfo());

            EXPECT_EQ(std::get<bool>(renderer->valueForInputKey("enabled")), false);
            EXPECT_EQ(std::get<double>(renderer->valueForInputKey("mode")), 2.0);
            EXPECT_EQ(std::get<double>(renderer->valueForInputKey("count")), 7.0); // truncated to an index
            EXPECT_EQ(std::get<double>(renderer->valueForInputKey("amount")), 0.75);
            EXPECT_EQ(std::get<std::string>(renderer->valueForInputKey("title")), "bye");
            EXPECT_FLOAT_EQ(std::get<qc::PortColor>(renderer->valueForInputKey("tint")).blue, 0.5f);
            auto image = std::get<std::shared_ptr<qc::CIImage>>(renderer->valueForInputKey("picture"));
            ASSERT_NE(image, nullptr);
            EXPECT_EQ(image->texture, 42u);
            EXPECT_EQ(image->width, 640);
            EXPECT_EQ(image->height, 480);
        }

        TEST_F(QuartzComposerGLTest, TimeFollowsTheEngineClockOrThePositionRead)
        {
            auto reader = open();
            ASSERT_NE(reader, nullptr);
            updateTime(1000.0);
            ASSERT_TRUE(reader->init(0, 0));
            updateTime(2000.0);
            ASSERT_TRUE(reader->readFrame(2500.0)); // ignored while autonomous
            bool rendered = false;
            PixelRGBA8 pixel = renderOnce(*reader, rendered);
            EXPECT_TRUE(rendered);
            EXPECT_NEAR(pixel.r, 51, 1); // 1 s x 0.2
            EXPECT_NEAR(pixel.g, 64, 1); // the amount port
            EXPECT_NEAR(pixel.b, 77, 1); // the tint's blue

            reader->getRunsAutonomously().setValue(false, ValueChangeInfo());
            pixel = renderOnce(*reader, rendered);
            EXPECT_TRUE(rendered);
            EXPECT_NEAR(pixel.r, 128, 1); // 2.5 s x 0.2

            // The caller's state is left alone.
            EXPECT_EQ(getInteger(GL_MATRIX_MODE), GL_MODELVIEW);
            EXPECT_EQ(getInteger(GL_DEPTH_WRITEMASK), GL_TRUE);
            GLfloat clear[4] = {};
            glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
            EXPECT_EQ(clear[0], 0.0f);
        }

        TEST_F(QuartzComposerGLTest, AThrowingCompositionIsLoggedAndFailsItsFrame)
        {
            auto reader = open();
            ASSERT_NE(reader, nullptr);
            reader->getRunsAutonomously().setValue(false, ValueChangeInfo());
            ASSERT_TRUE(reader->readFrame(4500.0));
            LogRecorder log;
            bool rendered = true;
            renderOnce(*reader, rendered);
            EXPECT_FALSE(rendered);
            EXPECT_TRUE(log.contains("main: Caught QCCompositionException: ")) << log.dump();
        }

        TEST_F(QuartzComposerGLTest, NoContextOrARealCompositionGivesNoReader)
        {
            LogRecorder log;
            // A real composition is a binary property list: nothing here plays it.
            EXPECT_EQ(open(std::string("bplist00\xd4\x01\x02\x03", 12)), nullptr);
            EXPECT_EQ(open("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict/></plist>"), nullptr);
            EXPECT_TRUE(log.contains("is no composition this platform plays")) << log.dump();

            QuartzComposerWrapper wrapper;
            GLTestContext::release();
            const std::string path = dir.writeFile("test.qtz", composition);
            EXPECT_FALSE(wrapper.loadComposition(File(path)));
            EXPECT_EQ(format.createReaderFor(File(path)), nullptr);
            ASSERT_TRUE(GLTestContext::makeCurrent());
            EXPECT_FALSE(wrapper.isLoaded());
            EXPECT_TRUE(log.contains("no current OpenGL context")) << log.dump();
        }
    }
}
