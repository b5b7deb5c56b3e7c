#include "engine/renderpasses/catalogue/VXEdgeDetect.h"
#include "engine/renderpasses/catalogue/VXShiftRGB.h"
#include "engine/renderpasses/catalogue/VXSolidColorEffect.h"

#include "VXCatalogueTestSupport.h"
#include "core/parameters/VXParamColor.h"
#include "core/parameters/VXParamView.h"

namespace vx::test
{
    namespace
    {
        using ShiftAndSolidColourGLTest = CatalogueGLTest;

        PixelRGBA8 picture(int x, int y)
        {
            return {uint8_t(30 * x + 10), uint8_t(25 * y + 5), uint8_t(200 - 10 * x - 15 * y), uint8_t(255 - 9 * x)};
        }

        void setShifts(ShiftRGB& pass, double r, double g, double b, double direction)
        {
            setRange(pass, "R shift", r);
            setRange(pass, "G shift", g);
            setRange(pass, "B shift", b);
            setRange(pass, "Direction", direction);
        }

        TEST_F(ShiftAndSolidColourGLTest, ShiftRGBClassDataParametersAndState)
        {
            ShiftRGB pass, fresh;
            expectClassData(pass, {"ShiftRGB", "Shift RGB", "ShiftRGB", "Shift color channels", "ShiftRGB"});
            expectParams(pass, {{"bypassed", "Param"},
                                {"R shift", "ParamRange", -1, 1, -0.3},
                                {"G shift", "ParamRange", -1, 1, 0.1},
                                {"B shift", "ParamRange", -1, 1, 0.3},
                                {"Direction", "ParamRange", -180, 180, 0}});
            const ParamView* view = pass.getParams().getViewForParam(rangeParam(pass, "Direction"));
            ASSERT_NE(view, nullptr);
            EXPECT_EQ(int(view->getControlType()), 4);
            EXPECT_EQ(view->getDisplayUnits(), ParamView::unitsDegrees);
            setRange(pass, "Direction", 200.0);
            EXPECT_DOUBLE_EQ(rangeParam(pass, "Direction")->getValue(), -160.0) << "wraps around";
            setShifts(pass, 0.2, -0.4, 0.9, 45.0);
            expectXmlRoundTrip(pass, fresh);
        }

        TEST_F(ShiftAndSolidColourGLTest, ZeroShiftsReproduceTheInput)
        {
            ShiftRGB pass;
            setShifts(pass, 0, 0, 0, 30);
            pass.setSize(6, 5);
            pass.setInput(0, makePaddedInput(6, 5, picture), 0, 0);
            const Picture out = run(pass);
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < 6; ++x)
                    EXPECT_EQ(out.at(x, y), picture(x, y)) << x << ", " << y;
            pass.release();
        }

        // A quarter of the height along +y for red alone; below it red keeps
        // the clear value.
        TEST_F(ShiftAndSolidColourGLTest, Direction90MovesRedUpwards)
        {
            ShiftRGB pass;
            setShifts(pass, 0.5, 0, 0, 90);
            pass.setSize(8, 8);
            pass.setInput(0, makeInput(8, 8, picture), 0, 0);
            const Picture out = run(pass);
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x)
                {
                    const PixelRGBA8 in = picture(x, y);
                    const PixelRGBA8 expected{y >= 2 ? picture(x, y - 2).r : uint8_t(0), in.g, in.b, in.a};
                    EXPECT_EQ(out.at(x, y), expected) << x << ", " << y;
                }
            pass.release();
        }

        TEST_F(ShiftAndSolidColourGLTest, DirectionsPlusAndMinus180Agree)
        {
            Texture* input = makeInput(8, 8, picture);
            Picture pictures[2];
            for (int i = 0; i < 2; ++i)
            {
                ShiftRGB pass;
                setShifts(pass, 0.5, -0.25, 0.25, i == 0 ? 180.0 : -180.0);
                pass.setSize(8, 8);
                pass.setInput(0, input, 0, 0);
                pictures[i] = run(pass);
                pass.release();
            }
            EXPECT_EQ(pictures[0].pixels, pictures[1].pixels);
            // Red came from two columns to the right.
            EXPECT_EQ(pictures[0].at(3, 3).r, picture(5, 3).r);
        }

        // The edge pass leaves blending off, so the three copies write the
        // input's alpha as it is.
        TEST_F(ShiftAndSolidColourGLTest, AfterAnEdgePassTheShiftKeepsItsInputsAlpha)
        {
            const auto steps = [](int x, int) {
                return x >= 4 ? PixelRGBA8{30, 30, 30, 255} : PixelRGBA8{0, 0, 0, 255};
            };
            EdgeDetect alone;
            valueParam<bool>(alone, "Smooth")->setValue(false, ValueChangeInfo());
            alone.setSize(8, 8);
            alone.setInput(0, makeInput(8, 8, steps), 0, 0);
            const Picture edges = run(alone);
            alone.release();
            ASSERT_GT(edges.at(4, 4).a, 100);
            ASSERT_LT(edges.at(4, 4).a, 200);

            RenderPassChain chain;
            chain.setSize(8, 8);
            chain.setInput(0, makeInput(8, 8, steps), 0, 0);
            auto edge = chain.addRenderPass(new EdgeDetect());
            valueParam<bool>(*edge, "Smooth")->setValue(false, ValueChangeInfo());
            auto shift = chain.addRenderPass(new ShiftRGB());
            setShifts(static_cast<ShiftRGB&>(*shift), 0, 0, 0, 0);
            Picture out;
            {
                const ScopedRenderState state(renderer->getRenderContext());
                out = renderAndRead(chain);
            }
            ASSERT_GE(out.width, 8);
            for (int y = 1; y < 7; ++y)
                for (int x = 1; x < 7; ++x)
                    EXPECT_EQ(out.at(x, y), edges.at(x, y)) << x << ", " << y;
            chain.retainOutput(false);
            chain.release();
        }

        TEST_F(ShiftAndSolidColourGLTest, SolidColorClassDataParametersAndState)
        {
            SolidColorEffect pass, fresh;
            expectClassData(pass, {"SolidColorEffect", "Solid Color", "SolidColorEffect", "Solid Color Effect",
                                   "SolidColorEffect"});
            expectParams(pass, {{"bypassed", "Param"}, {"Color", "ParamColor"}});
            const auto color = std::dynamic_pointer_cast<ParamColor>(pass.getParams().getParamByName("Color"));
            EXPECT_EQ(color->getValue(), Color::red);
            // On the 8-bit grid the parameter stores colours on.
            color->setValue(Color(0.2f, 0.6f, 0.4f, 0.2f), ValueChangeInfo());
            expectXmlRoundTrip(pass, fresh);
        }

        TEST_F(ShiftAndSolidColourGLTest, SolidColorFillsWithItsColourAndAlpha)
        {
            SolidColorEffect pass;
            std::dynamic_pointer_cast<ParamColor>(pass.getParams().getParamByName("Color"))
                ->setValue(Color(0.2f, 0.4f, 0.6f, 0.5f), ValueChangeInfo());
            pass.setSize(6, 5);
            pass.setInput(0, makeInput(6, 5, picture), 0, 0);
            expectUniform(run(pass), 6, 5, px(0.2, 0.4, 0.6, 0.5), 1);
            pass.release();
        }
    }
}
