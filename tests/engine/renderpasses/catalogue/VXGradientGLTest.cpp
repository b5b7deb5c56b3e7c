#include "engine/renderpasses/catalogue/VXGradient.h"

#include "VXCatalogueTestSupport.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamColor.h"
#include "core/parameters/VXParamView.h"

namespace vx::test
{
    namespace
    {
        using GradientGLTest = CatalogueGLTest;

        std::shared_ptr<ParamColor> colourParam(const RenderPass& pass, const std::string& name)
        {
            return std::dynamic_pointer_cast<ParamColor>(pass.getParams().getParamByName(name));
        }

        std::shared_ptr<ParamChoice<int>> typeParam(const RenderPass& pass)
        {
            return std::dynamic_pointer_cast<ParamChoice<int>>(pass.getParams().getParamByName("Type"));
        }

        ParamView::Visibility visibilityOf(const RenderPass& pass, const std::string& name)
        {
            const ParamView* view = pass.getParams().getViewForParam(pass.getParams().getParamByName(name));
            return view != nullptr ? view->getVisibility() : ParamView::Visibility(-1);
        }

        // "Color 1" x (1 - t) + "Color 2" x t, unclamped.
        void expectColourAt(const FloatPicture& out, const Gradient& pass, int x, int y, double t)
        {
            const Color a = colourParam(pass, "Color 1")->getValue(), b = colourParam(pass, "Color 2")->getValue();
            const FloatPixel p = out.at(x, y);
            const double tolerance = 1e-3;
            EXPECT_NEAR(p.r, a.r * (1 - t) + b.r * t, tolerance) << x << ", " << y << " t " << t;
            EXPECT_NEAR(p.g, a.g * (1 - t) + b.g * t, tolerance) << x << ", " << y << " t " << t;
            EXPECT_NEAR(p.b, a.b * (1 - t) + b.b * t, tolerance) << x << ", " << y << " t " << t;
            EXPECT_NEAR(p.a, a.a * (1 - t) + b.a * t, tolerance) << x << ", " << y << " t " << t;
        }

        // Colours that differ in every channel, so t shows everywhere.
        void setColours(Gradient& pass)
        {
            colourParam(pass, "Color 1")->setValue(Color(0.2f, 0.8f, 0.4f, 1.0f), ValueChangeInfo());
            colourParam(pass, "Color 2")->setValue(Color(0.6f, 0.2f, 1.0f, 0.6f), ValueChangeInfo());
        }

        TEST_F(GradientGLTest, ClassDataParametersViewsAndState)
        {
            Gradient pass, fresh;
            expectClassData(pass, {"Gradient", "Gradient", "Gradient", "Gradient", "Gradient"}, "Generator");
            expectParams(pass, {{"bypassed", "Param"},
                                {"Color 1", "ParamColor"},
                                {"Color 2", "ParamColor"},
                                {"Type", "ParamChoice"},
                                {"Start", "ParamRange", 0, 1, 0},
                                {"Size", "ParamRange", 0, 1, 0.5}});
            EXPECT_EQ(colourParam(pass, "Color 1")->getValue(), Color::red);
            EXPECT_EQ(colourParam(pass, "Color 2")->getValue(), Color::orange);
            EXPECT_EQ(colourParam(pass, "Color 1")->getChannelMode(), ParamColor::ChannelMode_HSB);
            EXPECT_EQ(typeParam(pass)->getValue(), 0);
            EXPECT_EQ(typeParam(pass)->getNameOfChoice(2), "Radial");
            EXPECT_EQ(visibilityOf(pass, "Start"), ParamView::visibilityShown);
            EXPECT_EQ(visibilityOf(pass, "Size"), ParamView::visibilityHidden);
            EXPECT_FALSE(pass.canGenerateThumbnail());
            // Colours are stored packed in 8 bits: the default orange's 0.5
            // would come back as 0.498.
            setColours(pass);
            typeParam(pass)->setValue(1, ValueChangeInfo());
            setRange(pass, "Start", 0.25);
            expectXmlRoundTrip(pass, fresh);
        }

        TEST_F(GradientGLTest, HorizontalRunsOverPixelCentresFromTheLeft)
        {
            Gradient pass;
            setColours(pass);
            pass.setSize(100, 3);
            const FloatPicture out = runFloat(pass);
            ASSERT_GE(out.width, 100);
            for (int y = 0; y < 3; ++y)
            {
                expectColourAt(out, pass, 0, y, 0.5 / 100);
                expectColourAt(out, pass, 37, y, 37.5 / 100);
                expectColourAt(out, pass, 99, y, 99.5 / 100);
            }
            pass.release();
        }

        // Before "Start" the colours extrapolate: a float target keeps it, an
        // 8-bit one clamps.
        TEST_F(GradientGLTest, StartMovesTheBeginningAndExtrapolatesBeforeIt)
        {
            Gradient pass;
            setColours(pass);
            setRange(pass, "Start", 0.5);
            pass.setSize(100, 2);
            const FloatPicture out = runFloat(pass);
            expectColourAt(out, pass, 50, 1, 0.01);
            expectColourAt(out, pass, 0, 0, (0.5 - 50.0) / 50.0);
            expectColourAt(out, pass, 99, 0, 49.5 / 50.0);
            EXPECT_LT(out.at(10, 0).r, 0.0f);
            const Picture clamped = run(pass);
            EXPECT_EQ(clamped.at(0, 0).r, 0);
            pass.release();
        }

        // Read-back rows run bottom-up: the top row is the "Color 1" end.
        TEST_F(GradientGLTest, VerticalCountsFromTheTop)
        {
            Gradient pass;
            setColours(pass);
            typeParam(pass)->setValue(1, ValueChangeInfo());
            pass.setSize(3, 50);
            const FloatPicture out = runFloat(pass);
            expectColourAt(out, pass, 1, 49, 0.5 / 50);
            expectColourAt(out, pass, 2, 20, 29.5 / 50);
            expectColourAt(out, pass, 0, 0, 49.5 / 50);
            pass.release();
        }

        // t = distance from the centre x (1 - Size) x 0.0075: 1 at 266.7
        // pixels with the default 0.5, extrapolated beyond.
        TEST_F(GradientGLTest, RadialGrowsWithTheDistanceFromTheCentre)
        {
            Gradient pass;
            setColours(pass);
            typeParam(pass)->setValue(2, ValueChangeInfo());
            pass.setSize(640, 41);
            const FloatPicture out = runFloat(pass);
            const auto t = [](int x, int y) { return std::hypot(x + 0.5 - 320.0, y + 0.5 - 20.5) * 0.00375; };
            for (const auto& [x, y] : {std::pair{320, 20}, std::pair{320, 0}, std::pair{586, 20}, std::pair{53, 20},
                                       std::pair{639, 40}, std::pair{0, 3}})
                expectColourAt(out, pass, x, y, t(x, y));
            EXPECT_NEAR(t(586, 20), 1.0, 0.002);
            pass.release();
        }

        TEST_F(GradientGLTest, RadialWithSizeOneAndAStoredUnknownTypeArePlainColourOne)
        {
            Gradient radial;
            setColours(radial);
            typeParam(radial)->setValue(2, ValueChangeInfo());
            setRange(radial, "Size", 1.0);
            radial.setSize(9, 7);
            const Color first = colourParam(radial, "Color 1")->getValue();
            const PixelRGBA8 plain = px(first.r, first.g, first.b, first.a);
            expectUniform(run(radial), 9, 7, plain, 1);
            radial.release();

            Gradient stored;
            setColours(stored);
            XmlPool pool;
            XmlNode* element = stored.writeState(pool, true);
            for (XmlNode* param = element->first_node("Params")->first_node(); param != nullptr;
                 param = param->next_sibling())
                if (std::string(param->first_attribute("name")->value()) == "Type")
                    param->first_attribute("value")->value("5");
            Gradient read;
            read.readState(element, false);
            ASSERT_EQ(typeParam(read)->getValue(), 5);
            read.setSize(9, 7);
            expectUniform(run(read), 9, 7, plain, 1);
            read.release();
        }

        TEST_F(GradientGLTest, ViewsFollowTypeAndNothingElse)
        {
            Gradient pass;
            typeParam(pass)->setValue(2, ValueChangeInfo());
            EXPECT_EQ(visibilityOf(pass, "Start"), ParamView::visibilityHidden);
            EXPECT_EQ(visibilityOf(pass, "Size"), ParamView::visibilityShown);

            // A view set by hand stays while other parameters change.
            pass.getParams().setViewForParam("Start", ParamView(ParamView::visibilityShown), false);
            colourParam(pass, "Color 1")->setValue(Color(0.2f, 0.4f, 0.6f, 1.0f), ValueChangeInfo());
            setRange(pass, "Size", 0.9);
            EXPECT_EQ(visibilityOf(pass, "Start"), ParamView::visibilityShown);

            typeParam(pass)->setValue(1, ValueChangeInfo());
            EXPECT_EQ(visibilityOf(pass, "Start"), ParamView::visibilityShown);
            EXPECT_EQ(visibilityOf(pass, "Size"), ParamView::visibilityHidden);

            // So does reading a stored state.
            Gradient radial, read;
            typeParam(radial)->setValue(2, ValueChangeInfo());
            XmlPool pool;
            read.readState(radial.writeState(pool, true), false);
            EXPECT_EQ(visibilityOf(read, "Start"), ParamView::visibilityHidden);
            EXPECT_EQ(visibilityOf(read, "Size"), ParamView::visibilityShown);
        }

        TEST_F(GradientGLTest, LeavesNoListenerOnItsTypeWhenDestroyed)
        {
            std::shared_ptr<ParamChoice<int>> type;
            {
                Gradient pass;
                type = typeParam(pass);
                EXPECT_TRUE(type->hasListeners());
            }
            EXPECT_FALSE(type->hasListeners());
            type->setValue(2, ValueChangeInfo());
        }
    }
}
