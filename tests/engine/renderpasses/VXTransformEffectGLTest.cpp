#include "engine/renderpasses/VXTransformEffect.h"

#include "VXRenderPassTestSupport.h"
#include "core/parameters/VXParam.h"
#include "engine/gfx/VXScopedRenderState.h"

namespace vx::test
{
    namespace
    {
        const PixelRGBA8 red{255, 0, 0, 255}, green{0, 255, 0, 255}, blue{0, 0, 255, 255}, white{255, 255, 255, 255},
            none{0, 0, 0, 0};

        // Input quadrants on a 16 x 16 pass, y = 0 the bottom row: red bottom
        // left, green bottom right, blue top left, white top right.
        PixelRGBA8 quadrant(int x, int y)
        {
            if (y < 8)
                return x < 8 ? red : green;
            return x < 8 ? blue : white;
        }

        struct Probe
        {
            int x, y;
            PixelRGBA8 colour;
        };

        struct PlacementCase
        {
            const char* name;
            std::function<void(TransformEffect&)> setup;
            std::vector<Probe> probes;
        };

        class TransformPlacementTest : public RenderPassGLTest, public ::testing::WithParamInterface<PlacementCase>
        {
        };

        void set(TransformEffect& effect, const char* name, double value)
        {
            auto param = std::dynamic_pointer_cast<ParamRange>(effect.getParams().getParamByName(name));
            ASSERT_NE(param, nullptr) << name;
            param->setValue(value, ValueChangeInfo());
        }

        TEST_P(TransformPlacementTest, PlacesTheInput)
        {
            TransformEffect effect;
            effect.setSize(16, 16);
            effect.setInput(0, makeInput(16, 16, quadrant), 0, 0);
            GetParam().setup(effect);
            effect.retainOutput(true);
            {
                const ScopedRenderState state(renderer->getRenderContext());
                ASSERT_TRUE(effect.render(*renderer));
            }
            const Picture out = readBack(*effect.getOutput(0)->texture);
            for (const Probe& p : GetParam().probes)
                EXPECT_TRUE(isNear(out.at(p.x, p.y), p.colour, 2))
                    << "pixel " << p.x << ", " << p.y << " is " << out.at(p.x, p.y) << ", expected " << p.colour;
            effect.retainOutput(false);
        }

        INSTANTIATE_TEST_SUITE_P(
            Parameters, TransformPlacementTest,
            ::testing::Values(
                PlacementCase{
                    "DefaultsReproduceTheInput",
                    [](TransformEffect&) {},
                    {{0, 0, red}, {15, 0, green}, {0, 15, blue}, {15, 15, white}, {7, 7, red}, {8, 8, white}}},
                PlacementCase{
                    "ScaleHalvesAboutTheCentre",
                    [](TransformEffect& e) { set(e, "Scale", 50.0); },
                    {{2, 2, none}, {5, 5, red}, {10, 5, green}, {5, 10, blue}, {10, 10, white}, {13, 13, none}}},
                PlacementCase{"ScaleDoubles",
                              [](TransformEffect& e) { set(e, "Scale", 200.0); },
                              {{0, 0, red}, {15, 0, green}, {0, 15, blue}, {15, 15, white}}},
                PlacementCase{"ScaleWidthOnly",
                              [](TransformEffect& e) { set(e, "Scale W", 50.0); },
                              {{2, 2, none}, {5, 2, red}, {10, 2, green}, {5, 13, blue}, {13, 13, none}}},
                PlacementCase{"PositionXMovesRightInPixels",
                              [](TransformEffect& e) { set(e, "Position X", 4.0); },
                              {{3, 2, none}, {4, 2, red}, {11, 2, red}, {12, 2, green}, {15, 2, green}}},
                PlacementCase{"PositionYMovesDown",
                              [](TransformEffect& e) { set(e, "Position Y", 4.0); },
                              {{2, 12, none}, {2, 11, blue}, {2, 4, blue}, {2, 3, red}}},
                PlacementCase{"FlipHorizontalMirrors",
                              [](TransformEffect& e) { e.getFlipHorizontal().setValue(true, ValueChangeInfo()); },
                              {{2, 2, green}, {13, 2, red}, {2, 13, white}}},
                PlacementCase{"FlipVerticalMirrors",
                              [](TransformEffect& e) { e.getFlipVertical().setValue(true, ValueChangeInfo()); },
                              {{2, 2, blue}, {13, 13, green}}},
                PlacementCase{"HalfTurnAboutZ",
                              [](TransformEffect& e) { set(e, "Rotation Z", 180.0); },
                              {{2, 2, white}, {13, 13, red}, {13, 2, blue}}},
                PlacementCase{"FitPreScale",
                              [](TransformEffect& e) { e.setupAutoSize(32.0, 32.0, 16.0, 16.0, AutoSizeFit); },
                              {{2, 2, none}, {5, 5, red}, {10, 10, white}, {13, 13, none}}}),
            [](const ::testing::TestParamInfo<PlacementCase>& info) { return info.param.name; });

        using TransformGLTest = RenderPassGLTest;

        TEST_F(TransformGLTest, WithoutInputNothingIsDrawn)
        {
            TransformEffect effect;
            effect.setSize(4, 4);
            const ScopedRenderState state(renderer->getRenderContext());
            EXPECT_FALSE(effect.render(*renderer));
            EXPECT_EQ(targets().getUsedRTCount(), 0u);
        }
    }
}
