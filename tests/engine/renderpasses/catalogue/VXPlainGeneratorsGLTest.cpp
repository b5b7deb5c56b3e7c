#include "engine/renderpasses/catalogue/VXBlank.h"
#include "engine/renderpasses/catalogue/VXCheckerBoard.h"
#include "engine/renderpasses/catalogue/VXMovingBar.h"
#include "engine/renderpasses/catalogue/VXSolidColor.h"

#include "VXCatalogueTestSupport.h"
#include "core/VXTimeInfo.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamColor.h"
#include "engine/video/formats/VXPixels.h"

namespace vx::test
{
    namespace
    {
        using PlainGeneratorsGLTest = CatalogueGLTest;

        std::shared_ptr<ParamChoice<int>> modeParam(const RenderPass& pass)
        {
            return std::dynamic_pointer_cast<ParamChoice<int>>(pass.getParams().getParamByName("Mode"));
        }

        // 8 x 8 squares repeating every 16 pixels from the top-left corner,
        // the first level where ((x ^ y) >> 3) & 1 is 0 (y counted downwards).
        PixelRGBA8 checker(int x, int yDown, uint8_t first, uint8_t second)
        {
            const uint8_t level = ((x ^ yDown) >> 3) & 1 ? second : first;
            return {level, level, level, 255};
        }

        void expectChecker(const Picture& out, int w, int h, uint8_t first, uint8_t second)
        {
            ASSERT_GE(out.width, w);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    ASSERT_EQ(out.at(x, y), checker(x, h - 1 - y, first, second)) << x << ", " << y;
        }

        TEST_F(PlainGeneratorsGLTest, ClassDataAndParameters)
        {
            CheckerBoard checkerBoard;
            expectClassData(checkerBoard,
                            {"CheckerBoard", "CheckerBoard", "CheckerBoard", "Creates a CheckerBoard", "CheckerBoard"},
                            "Generator");
            expectParams(checkerBoard, {{"bypassed", "Param"}, {"Mode", "ParamChoice"}});
            EXPECT_EQ(modeParam(checkerBoard)->getNumChoices(), 3u);
            EXPECT_EQ(modeParam(checkerBoard)->getNameOfChoice(2), "Black");

            SolidColor solid;
            expectClassData(solid, {"SolidColor", "Solid Color", "SolidColor", "Solid Color Source", "SolidColor"},
                            "Generator");
            expectParams(solid, {{"bypassed", "Param"}, {"Color", "ParamColor"}});
            MovingBar bar;
            expectClassData(bar, {"MovingBar", "Moving Bar", "MovingBar", "Moving Bar", "MovingBar"}, "Generator");
            expectParams(bar, {{"bypassed", "Param"}, {"Position", "ParamRange", 0, 1, 0}});
            Blank blank;
            expectClassData(blank, {"Blank", "Blank", "Blank", "Blank", "Blank"}, "Generator");
            expectParams(blank, {{"bypassed", "Param"}, {"Black BG", "Param"}});

            CheckerBoard freshChecker;
            modeParam(checkerBoard)->setValueByIndex(1, ValueChangeInfo());
            expectXmlRoundTrip(checkerBoard, freshChecker);
            MovingBar freshBar;
            setRange(bar, "Position", 0.375);
            expectXmlRoundTrip(bar, freshBar);
        }

        struct CheckerCase
        {
            const char* name;
            int mode, width, height;
            uint8_t first, second;
        };

        class CheckerBoardTest : public PlainGeneratorsGLTest, public ::testing::WithParamInterface<CheckerCase>
        {
        };

        TEST_P(CheckerBoardTest, OneTexelPerPixel)
        {
            const CheckerCase& c = GetParam();
            CheckerBoard pass;
            modeParam(pass)->setValue(c.mode, ValueChangeInfo());
            pass.setSize(c.width, c.height);
            expectChecker(run(pass), c.width, c.height, c.first, c.second);
            pass.release();
        }

        INSTANTIATE_TEST_SUITE_P(Table, CheckerBoardTest,
                                 ::testing::Values(CheckerCase{"Dark", 0, 64, 64, 0, 56},
                                                   CheckerCase{"Light", 1, 64, 64, 204, 255},
                                                   // The right edge ends in part of a tile.
                                                   CheckerCase{"PartialTile", 0, 40, 24, 0, 56},
                                                   // Not offered by the choice, but settable and storable.
                                                   CheckerCase{"OutOfRangeModeDrawsDark", 7, 32, 16, 0, 56},
                                                   CheckerCase{"NegativeModeDrawsDark", -1, 32, 16, 0, 56}),
                                 [](const ::testing::TestParamInfo<CheckerCase>& info) { return info.param.name; });

        TEST_F(PlainGeneratorsGLTest, BlackCheckerBoardIsTransparentAndTilesComeBackAfterRelease)
        {
            CheckerBoard pass;
            modeParam(pass)->setValueByIndex(2, ValueChangeInfo());
            pass.setSize(24, 20);
            pass.setClearColor(Color(0.3f, 0.6f, 0.9f, 1.0f));
            expectUniform(run(pass), 24, 20, PixelRGBA8{0, 0, 0, 0}, 0);
            pass.release();
            modeParam(pass)->setValueByIndex(0, ValueChangeInfo());
            expectChecker(run(pass), 24, 20, 0, 56);
            pass.release();
        }

        TEST_F(PlainGeneratorsGLTest, SolidColorFillsWithItsColourAndKeepsARedThumbnail)
        {
            SolidColor pass;
            std::dynamic_pointer_cast<ParamColor>(pass.getParams().getParamByName("Color"))
                ->setValue(Color(0.0f, 0.0f, 1.0f, 0.5f), ValueChangeInfo());
            pass.setSize(6, 5);
            expectUniform(run(pass), 6, 5, px(0, 0, 1, 0.5), 1);
            pass.release();

            ASSERT_TRUE(pass.canGenerateThumbnail());
            const std::shared_ptr<Pixels> thumbnail = pass.getThumbnail();
            ASSERT_NE(thumbnail, nullptr);
            EXPECT_EQ(thumbnail->width, 160);
            EXPECT_EQ(thumbnail->height, 120);
            EXPECT_EQ(thumbnail->bytesPerPixel, 4);
            EXPECT_EQ(thumbnail->stride, 640);
            for (int i = 0; i < 160 * 120; ++i)
                ASSERT_EQ(std::vector<unsigned char>(thumbnail->data + i * 4, thumbnail->data + i * 4 + 4),
                          (std::vector<unsigned char>{0xFF, 0x00, 0x00, 0xFF}))
                    << "pixel " << i;
        }

        TEST_F(PlainGeneratorsGLTest, MovingBarAdvancesAQuarterPerSecondAndWrapsOnce)
        {
            MovingBar pass;
            const auto position = rangeParam(pass, "Position");
            TimeInfo frame(0.0);
            frame.deltaTime = 16.67;
            for (int i = 0; i < 239; ++i)
                pass.update(frame);
            EXPECT_NEAR(position->getValue(), 239 * 0.0041675, 1e-9);
            pass.update(frame);
            EXPECT_NEAR(position->getValue(), 240 * 0.0041675 - 1.0, 1e-9) << "wrapped after 240 frames";

            position->setValue(0.95, ValueChangeInfo());
            frame.deltaTime = 400.0;
            pass.update(frame);
            EXPECT_NEAR(position->getValue(), 0.05, 1e-12);
        }

        // Position 0.5 puts the left edge on the centre line: device x 0 to
        // 0.1 is pixels 50 to 54 of 100.
        TEST_F(PlainGeneratorsGLTest, MovingBarDrawsAWhiteBarFromItsPosition)
        {
            MovingBar pass;
            setRange(pass, "Position", 0.5);
            pass.setColor(Color(1.0f, 0.0f, 0.0f, 1.0f));
            pass.setSize(100, 4);
            run(pass);
            EXPECT_EQ(pass.getColor(), Color::white) << "later frames draw white";
            const Picture out = run(pass);
            for (int x = 0; x < 100; ++x)
            {
                const PixelRGBA8 expected = x >= 50 && x < 55 ? PixelRGBA8{255, 255, 255, 255} : PixelRGBA8{};
                EXPECT_EQ(out.at(x, 2), expected) << x;
            }
            pass.release();
        }

        TEST_F(PlainGeneratorsGLTest, BlankClearsColourAndDepth)
        {
            Blank pass;
            pass.setSize(8, 8);
            pass.setClearColor(Color(0.3f, 0.6f, 0.9f, 1.0f));
            expectUniform(run(pass), 8, 8, PixelRGBA8{0, 0, 0, 0}, 0);
            valueParam<bool>(pass, "Black BG")->setValue(true, ValueChangeInfo());
            expectUniform(run(pass), 8, 8, PixelRGBA8{0, 0, 0, 255}, 0);

            // Into a framebuffer with depth, the depth goes back to 1.
            ScopedTestFramebuffer target(8, 8);
            GLuint depth = 0;
            glGenRenderbuffers(1, &depth);
            glBindRenderbuffer(GL_RENDERBUFFER, depth);
            glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, 8, 8);
            glBindRenderbuffer(GL_RENDERBUFFER, 0);
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
            glClearDepth(0.25);
            glClear(GL_DEPTH_BUFFER_BIT);
            glClearDepth(1.0);
            pass.setOutputToCurrentBuffer(true);
            {
                const ScopedRenderState state(renderer->getRenderContext());
                EXPECT_TRUE(pass.render(*renderer));
            }
            float value = 0.0f;
            glReadPixels(3, 4, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &value);
            EXPECT_FLOAT_EQ(value, 1.0f);
            EXPECT_EQ(readPixel(3, 4), (PixelRGBA8{0, 0, 0, 255}));
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, 0);
            glDeleteRenderbuffers(1, &depth);
            pass.release();
        }
    }
}
