#include "engine/renderpasses/VXFreeTransform.h"

#include "VXRenderPassTestSupport.h"
#include "engine/gfx/VXScopedRenderState.h"
#include "engine/gui/VXTransformer.h"

namespace vx::test
{
    namespace
    {
        const PixelRGBA8 red{255, 0, 0, 255}, green{0, 255, 0, 255}, blue{0, 0, 255, 255}, white{255, 255, 255, 255},
            none{0, 0, 0, 0};

        // 16 x 16, y = 0 the bottom row: red bottom left, green bottom right,
        // blue top left, white top right.
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

        // The widget works in pass pixels with y down (as a GUI view shows
        // the pass): moving down moves the picture towards output row 0.
        struct PlacementCase
        {
            const char* name;
            std::function<void(FreeTransform&, Transformer&)> place;
            std::vector<Probe> probes;
        };

        class FreeTransformGLTest : public RenderPassGLTest, public ::testing::WithParamInterface<PlacementCase>
        {
        };

        TEST_P(FreeTransformGLTest, DrawsIntoTheWidgetsRectangle)
        {
            FreeTransform effect;
            effect.setSize(16, 16);
            effect.setInput(0, makeInput(16, 16, quadrant), 0, 0);
            auto& widget = static_cast<Transformer&>(*effect.getWidget());
            GetParam().place(effect, widget);
            EXPECT_EQ(effect.getWidget(), &widget) << "the same widget, placement kept";
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

        void halfScale(FreeTransform& e, Transformer&)
        {
            std::dynamic_pointer_cast<ParamRange>(e.getParams().getParamByName("Scale"))
                ->setValue(50.0, ValueChangeInfo());
        }

        // clang-format off
        INSTANTIATE_TEST_SUITE_P(Placements, FreeTransformGLTest, ::testing::Values(
            PlacementCase{"WholePassReproducesTheInput", [](FreeTransform&, Transformer&) {},
                          {{0, 0, red}, {15, 0, green}, {0, 15, blue}, {15, 15, white}, {7, 7, red}, {8, 8, white}}},
            PlacementCase{"MovedRightStaysThere", [](FreeTransform&, Transformer& w) { w.setCenter(12.0f, 8.0f); },
                          {{1, 1, none}, {5, 1, red}, {13, 1, green}, {13, 14, white}}},
            PlacementCase{"MovedDownInTheView", [](FreeTransform&, Transformer& w) { w.setCenter(8.0f, 12.0f); },
                          {{1, 14, none}, {1, 1, red}, {1, 5, blue}, {14, 5, white}}},
            PlacementCase{"HalfATurn", [](FreeTransform&, Transformer& w) { w.setRotation(180.0f); },
                          {{1, 1, white}, {14, 1, blue}, {1, 14, green}, {14, 14, red}}},
            PlacementCase{"ScaleHalvesAboutTheCentre", halfScale,
                          {{2, 2, none}, {5, 5, red}, {10, 5, green}, {5, 10, blue}, {10, 10, white}}}),
            [](const ::testing::TestParamInfo<PlacementCase>& info) { return info.param.name; });
        // clang-format on
    }
}
