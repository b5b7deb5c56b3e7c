// Hosted plugin instances driving the recording plugin on headless GL.

#include "engine/renderpasses/VXFFGLTestSupport.h"

#include "core/parameters/VXParamColor.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "engine/ffgl/FFGL.h"
#include "engine/renderpasses/VXOSXPluginInstance.h"
#include "engine/renderpasses/VXRenderPassFactory.h"
#include "support/VXLogRecorder.h"
#include "support/gl/VXGLTestFixture.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

namespace
{
    using namespace vx;
    using namespace vx::test;

    class FFGLPluginInstanceGLTest : public GLTest
    {
    protected:
        void SetUp() override
        {
            GLTest::SetUp();
            if (*recorderPath == 0)
                GTEST_SKIP() << "no plugin modules in this build";
            ASSERT_NE(module.recorder, nullptr);
            script().minInputs = 0; // frames without inputs
        }

        void TearDown() override
        {
            if (plugin != nullptr)
            {
                EXPECT_TRUE(plugin->deInstantiateGL());
                EXPECT_TRUE(plugin->unload());
            }
            plugin.reset();
            module.close();
            if (*recorderPath != 0)
            {
                EXPECT_FALSE(isLibraryOpen(recorderPath));
            }
            GLTest::TearDown();
        }

        // Loads the scripted recorder and hands it to the instance alone.
        bool load()
        {
            plugin = std::make_unique<OSXPluginInstance>();
            const bool loaded = plugin->load(recorderPath);
            module.close();
            return loaded;
        }

        RecorderModule module;
        RecorderScript& script() { return module.recorder->script; }
        std::unique_ptr<OSXPluginInstance> plugin;
    };

    TEST_F(FFGLPluginInstanceGLTest, EachFrameSendsEveryValueBeforeTheFrame)
    {
        // Range, boolean, text, one colour run, and a range after it.
        const std::uint32_t types[] = {10, 0, 100, 200, 201, 202, 10};
        std::copy(std::begin(types), std::end(types), script().types);
        ASSERT_TRUE(load());
        ParamContainer& params = *plugin->getParams();
        ASSERT_EQ(params.getNumParams(), 5);
        EXPECT_EQ(plugin->getParameterIndex(*params.getParam(4)), 6);
        EXPECT_NE(dynamic_cast<ParamColor*>(params.getParam(3).get()), nullptr);
        EXPECT_EQ(params.getParam(2)->getValueAsString(), "Default text");

        ASSERT_TRUE(plugin->instantiateGL(0, 0, 16, 16));
        module.recorder->calls.clear();
        ASSERT_TRUE(plugin->processOpenGL(0));
        // Per parameter: its type, its value (three for the colour), its
        // display text; then the frame.
        const std::uint32_t t = FFGL::getParameterType, s = FFGL::setParameter, d = FFGL::getParameterDisplay;
        EXPECT_EQ(module.codes(), (std::vector<std::uint32_t>{t, s, d, t, s, d, t, s, d, t,
                                                              s, t, s, t, s, d, t, s, d, FFGL::processOpenGL}));

        // Black arrives with saturation and brightness kept off zero.
        const auto& calls = module.recorder->calls;
        EXPECT_EQ(calls[12].index, 4u);
        EXPECT_FLOAT_EQ(calls[12].value, 0.001f);
        EXPECT_FLOAT_EQ(calls[14].value, 0.001f);
        EXPECT_EQ(params.getParam(0)->getValueDescription(), "DDDDD");

        // A change off the render thread waits for the next frame.
        auto range = std::dynamic_pointer_cast<ParamRange>(params.getParam(0));
        module.recorder->calls.clear();
        std::thread([&] { range->setValue(0.75, ValueChangeInfo()); }).join();
        EXPECT_TRUE(module.recorder->calls.empty());
        range->setValue(0.5, ValueChangeInfo());
        EXPECT_EQ(module.codes(), (std::vector<std::uint32_t>{t, s, d}));
        EXPECT_FALSE(plugin->unload()) << "refused while instantiated";
    }

    TEST_F(FFGLPluginInstanceGLTest, MalformedAnswersAreReadWithinTheirLimits)
    {
        script().malformed = true;
        ASSERT_TRUE(load());
        EXPECT_EQ(plugin->getNumParameters(), 512);
        for (const RecordedCall& call : module.recorder->calls)
            if (call.code == FFGL::getParameterName || call.code == FFGL::getParameterType)
            {
                ASSERT_LT(call.index, 512u);
            }
        EXPECT_EQ(plugin->getParameterName(511), std::string(16, 'N'));
        EXPECT_EQ(plugin->getPluginName(), "ABCDEFGHIJKLMNOP");
        EXPECT_EQ(plugin->getShortName(), std::string(16, 'S'));
        EXPECT_EQ(plugin->getDescription(), std::string(1024, 'E'));
        EXPECT_EQ(plugin->getAbout(), std::string(1024, 'A'));
        EXPECT_EQ(plugin->getUniqueId(), "RECO");
        // Three required inputs, one allowed: three records to read.
        EXPECT_EQ(plugin->getMinInputFrames(), 3);
        EXPECT_EQ(plugin->getMaxInputFrames(), 3);
        ASSERT_TRUE(plugin->instantiateGL(0, 0, 16, 16));
        EXPECT_EQ(plugin->getParameterDisplayValue(0), std::string(32, 'D'));
        EXPECT_FALSE(plugin->processOpenGL(0)) << "required inputs are missing";
        for (const RecordedCall& call : module.recorder->calls)
            EXPECT_NE(call.code, std::uint32_t(FFGL::processOpenGL));
    }

    struct FailureCase
    {
        const char* name;
        std::uint32_t code;
        bool throws;
    };

    class FFGLPluginFailureGLTest : public FFGLPluginInstanceGLTest, public testing::WithParamInterface<FailureCase>
    {
    };

    TEST_P(FFGLPluginFailureGLTest, FailsCleanlyWithTheHostStateBack)
    {
        const FailureCase& c = GetParam();
        LogRecorder log;
        (c.throws ? script().throwCode : script().failCode) = c.code;
        if (c.code == FFGL::initialise)
        {
            EXPECT_FALSE(load());
            EXPECT_TRUE(log.contains(c.throws ? "exception while initializing plugin" : "was unsuccessfull"))
                << log.dump();
            plugin.reset();
            return;
        }
        ASSERT_TRUE(load());
        // The plugin's clear colour and blending fail the fixture's teardown
        // unless the host popped them.
        const GLint depth = getInteger(GL_ATTRIB_STACK_DEPTH);
        const bool instantiated = plugin->instantiateGL(0, 0, 16, 16);
        EXPECT_EQ(instantiated, c.code != FFGL::instantiateGL);
        if (instantiated)
        {
            EXPECT_FALSE(plugin->processOpenGL(0));
        }
        EXPECT_EQ(getInteger(GL_ATTRIB_STACK_DEPTH), depth);
        EXPECT_EQ(log.contains("Escaped from error"), c.throws) << log.dump();
    }

    const FailureCase failureCases[] = {
        {"InitialiseFails", FFGL::initialise, false},     {"InitialiseThrows", FFGL::initialise, true},
        {"InstantiateFails", FFGL::instantiateGL, false}, {"InstantiateThrows", FFGL::instantiateGL, true},
        {"FrameFails", FFGL::processOpenGL, false},       {"FrameThrows", FFGL::processOpenGL, true},
    };
    INSTANTIATE_TEST_SUITE_P(Cases, FFGLPluginFailureGLTest, testing::ValuesIn(failureCases),
                             [](const testing::TestParamInfo<FailureCase>& info)
                             { return std::string(info.param.name); });

    struct DisplayCase
    {
        const char* name;
        std::string before; // the value description before the frame
    };

    class FFGLDisplayTextGLTest : public FFGLPluginInstanceGLTest, public testing::WithParamInterface<DisplayCase>
    {
    };

    // A frame leaves each parameter's description equal to the plugin's
    // display text ("DDDDD"), whatever it held close to that before.
    TEST_P(FFGLDisplayTextGLTest, FrameLeavesThePluginsText)
    {
        ASSERT_TRUE(load());
        ASSERT_TRUE(plugin->instantiateGL(0, 0, 16, 16));
        ParamBase& param = *plugin->getParams()->getParam(0);
        param.setValueDescription(GetParam().before);
        ASSERT_TRUE(plugin->processOpenGL(0));
        EXPECT_EQ(param.getValueDescription(), "DDDDD");
    }

    const DisplayCase displayCases[] = {
        {"Empty", ""},
        {"Prefix", "DDD"},
        {"Longer", "DDDDDD"},
        {"LastDiffers", "DDDDE"},
        {"NulInside", std::string("DDDDD\0", 6)},
        {"Same", "DDDDD"},
    };
    INSTANTIATE_TEST_SUITE_P(Cases, FFGLDisplayTextGLTest, testing::ValuesIn(displayCases),
                             [](const testing::TestParamInfo<DisplayCase>& info)
                             { return std::string(info.param.name); });

    TEST_F(FFGLPluginInstanceGLTest, WithoutOpenGLItLoadsBareAndIsNoKind)
    {
        script().openGL = false;
        LogRecorder log;
        ASSERT_TRUE(load());
        EXPECT_TRUE(log.contains("plugin doesn't support opengl rendering, cannot init parameters.")) << log.dump();
        EXPECT_EQ(plugin->getParams()->getNumParams(), 0);
        EXPECT_EQ(plugin->getMinInputFrames(), 0);
        RenderPassFactory factory;
        EXPECT_EQ(factory.registerRenderPass(plugin.get()), nullptr) << "a generator that could never draw";
    }
}
