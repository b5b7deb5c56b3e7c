#include "engine/renderpasses/catalogue/VXUVMap.h"

#include "VXCatalogueTestSupport.h"
#include "core/parameters/VXParamColor.h"

#include <cmath>

namespace vx::test
{
    namespace
    {
        using UVTexel = std::array<float, 4>;
        using UVFill = std::function<UVTexel(int x, int y, int w, int h)>;

        // Red = x and green = 1 - y at texel centres: the map that shows the
        // input as it is.
        UVTexel identity(int x, int y, int w, int h)
        {
            return {(x + 0.5f) / float(w), 1.0f - (y + 0.5f) / float(h), 0.0f, 1.0f};
        }

        // Opaque, premultiplied, asymmetric.
        PixelRGBA8 source(int x, int y)
        {
            return {uint8_t(30 * x + 10), uint8_t(25 * y + 5), uint8_t(200 - 10 * x - 15 * y), 255};
        }

        struct UVCase
        {
            const char* name;
            std::vector<std::pair<std::string, double>> ranges;
            std::vector<std::string> switchedOn; // boolean parameters set
            UVFill uv;
            std::function<PixelRGBA8(int, int)> input = source;
            bool padded = false;   // both textures allocated at powers of two (6 x 5 in 8 x 8)
            bool interior = false; // compare only pixels whose Sobel taps stay inside
        };

        const Color edgeColour(0.2f, 0.4f, 0.6f, 1.0f);

        // The map's rule from the parameters, on exact UV values and the
        // input's 8-bit texels.
        PixelRGBA8 expectedPixel(const UVCase& c, int x, int y, int w, int h)
        {
            const auto has = [&](const std::string& name)
            { return std::find(c.switchedOn.begin(), c.switchedOn.end(), name) != c.switchedOn.end(); };
            const auto value = [&](const std::string& name, double fallback)
            {
                for (const auto& [n, v] : c.ranges)
                    if (n == name)
                        return v;
                return fallback;
            };
            const UVTexel m = c.uv(x, y, w, h);
            if (m[3] <= 0.0f)
                return {};
            double u = has("Flip U") ? 1.0 - m[0] : m[0];
            double v = has("Flip V") ? m[1] : 1.0 - m[1];
            u = u + value("X Offset", 0.0);
            v = v + value("Y Offset", 0.0);
            u -= std::floor(u);
            v -= std::floor(v);
            const PixelRGBA8 p = c.input(int(u * w), int(v * h));
            std::array<double, 4> s{unit(p.r), unit(p.g), unit(p.b), unit(p.a)};
            if (s[3] > 0.0)
                for (int i = 0; i < 3; ++i)
                    s[size_t(i)] /= s[3];
            const double filter = value("Filter Edges", 0.25);
            if (filter > 0.0)
            {
                const auto a = [&](int dx, int dy) { return double(c.uv(x + dx, y + dy, w, h)[3]); };
                const double gx = -a(-1, -1) - 2 * a(-1, 0) - a(-1, 1) + a(1, -1) + 2 * a(1, 0) + a(1, 1);
                const double gy = -a(-1, -1) - 2 * a(0, -1) - a(1, -1) + a(-1, 1) + 2 * a(0, 1) + a(1, 1);
                const double e = (gx * gx + gy * gy) * 2.0 * filter, k = std::clamp(e, 0.0, 1.0);
                if (has("Use Edge Color"))
                {
                    const float* colour = edgeColour.getRGBAArray();
                    for (int i = 0; i < 3; ++i)
                        s[size_t(i)] += colour[i] * e;
                    s[3] *= m[3] * (1.0 - k);
                    for (int i = 0; i < 4; ++i)
                        s[size_t(i)] = s[size_t(i)] * (1.0 - k) + colour[i] * k;
                }
                else
                    s[3] *= m[3] * (1.0 - k);
            }
            else
                s[3] *= m[3];
            return px(s[0] * s[3], s[1] * s[3], s[2] * s[3], s[3]);
        }

        class UVMapGLTest : public CatalogueGLTest, public ::testing::WithParamInterface<UVCase>
        {
        protected:
            // A floating-point UV texture, so the coordinates are exact.
            Texture* makeUVTexture(int w, int h, const UVFill& fill, bool padded)
            {
                std::vector<UVTexel> texels(size_t(w) * size_t(h));
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x)
                        texels[size_t(y) * size_t(w) + size_t(x)] = fill(x, y, w, h);
                const bool saved = GfxInfo::VX_GFX_CARD_SUPPORTS_NONPOWEROFTWOTEXTURES;
                GfxInfo::VX_GFX_CARD_SUPPORTS_NONPOWEROFTWOTEXTURES = ! padded;
                auto texture = std::make_unique<Texture>();
                EXPECT_TRUE(texture->create(texels.data(), w, h, Texture::RGBA32F));
                GfxInfo::VX_GFX_CARD_SUPPORTS_NONPOWEROFTWOTEXTURES = saved;
                inputs.push_back(std::move(texture));
                return inputs.back().get();
            }
        };

        TEST_P(UVMapGLTest, EveryPixelFollowsTheMap)
        {
            const UVCase& c = GetParam();
            const int w = c.padded ? 6 : 8, h = c.padded ? 5 : 8;
            UVMap pass;
            for (const auto& [name, value] : c.ranges)
                setRange(pass, name, value);
            for (const std::string& name : c.switchedOn)
                valueParam<bool>(pass, name)->setValue(true, ValueChangeInfo());
            std::dynamic_pointer_cast<ParamColor>(pass.getParams().getParamByName("Edge Color"))
                ->setValue(edgeColour, ValueChangeInfo());
            pass.setSize(w, h);
            pass.setInput(0, c.padded ? makePaddedInput(w, h, c.input) : makeInput(w, h, c.input), 0, 0);
            pass.setUVTexture(makeUVTexture(w, h, c.uv, c.padded));
            const Picture out = run(pass);
            const int margin = c.interior ? 1 : 0;
            for (int y = margin; y < h - margin; ++y)
                for (int x = margin; x < w - margin; ++x)
                {
                    const PixelRGBA8 expected = expectedPixel(c, x, y, w, h);
                    EXPECT_TRUE(isNear(out.at(x, y), expected, 2))
                        << x << ", " << y << ": " << out.at(x, y) << ", expected " << expected;
                }
            pass.release();
        }

        UVTexel fadingAlpha(int x, int y, int w, int h)
        {
            UVTexel t = identity(x, y, w, h);
            t[3] = 1.0f - 0.08f * float(x) - 0.04f * float(y);
            return t;
        }

        // clang-format off
        INSTANTIATE_TEST_SUITE_P(Table, UVMapGLTest, ::testing::Values(
            UVCase{"IdentityReproducesTheInput", {{"Filter Edges", 0.0}}, {}, identity, source, true},
            UVCase{"AFlatMaskHasNoEdgesInside", {}, {}, identity, source, true, true},
            UVCase{"XOffsetHalfShiftsAndWraps", {{"Filter Edges", 0.0}, {"X Offset", 0.5}}, {}, identity},
            UVCase{"YOffsetQuarterShiftsAndWraps", {{"Filter Edges", 0.0}, {"Y Offset", 0.25}}, {}, identity},
            UVCase{"FlipUMirrorsAcross", {{"Filter Edges", 0.0}}, {"Flip U"}, identity},
            UVCase{"FlipVMirrorsUpAndDown", {{"Filter Edges", 0.0}}, {"Flip V"}, identity},
            UVCase{"UVAlphaZeroIsTransparent", {}, {}, [](int x, int y, int w, int h) { UVTexel t = identity(x, y, w, h); t[3] = 0.0f; return t; }},
            UVCase{"ATransparentSourceTexelIsTransparentBlack", {{"Filter Edges", 0.0}}, {}, identity,
                   [](int x, int y) { return x == 2 ? PixelRGBA8{200, 100, 50, 0} : source(x, y); }},
            UVCase{"EdgesOfTheMaskFade", {}, {}, fadingAlpha, source, true, true},
            UVCase{"EdgesOfTheMaskTakeTheEdgeColour", {{"Filter Edges", 0.4}}, {"Use Edge Color"}, fadingAlpha, source, true, true}),
            [](const ::testing::TestParamInfo<UVCase>& info) { return info.param.name; });
        // clang-format on

        using UVMapPassGLTest = UVMapGLTest;

        TEST_F(UVMapPassGLTest, ClassDataParametersAndState)
        {
            UVMap pass, fresh;
            expectClassData(pass, {"UVMap", "UV Map", "UVMap", "UV Map", "ShaderEffect"});
            expectParams(pass, {{"bypassed", "Param"},
                                {"No UV Action", "ParamChoice"},
                                {"X Offset", "ParamRange", 0, 1, 0},
                                {"Y Offset", "ParamRange", 0, 1, 0},
                                {"Flip U", "Param"},
                                {"Flip V", "Param"},
                                {"Filter Edges", "ParamRange", 0, 1, 0.25},
                                {"Use Edge Color", "Param"},
                                {"Edge Color", "ParamColor"}});
            const auto action =
                std::dynamic_pointer_cast<ParamChoice<int>>(pass.getParams().getParamByName("No UV Action"));
            ASSERT_NE(action, nullptr);
            ASSERT_EQ(action->getNumChoices(), 3u);
            const char* names[3] = {"Transparent", "Black", "Ignore"};
            for (int i = 0; i < 3; ++i)
            {
                EXPECT_EQ(action->getChoices()[size_t(i)].getName(), names[i]);
                EXPECT_EQ(action->getChoices()[size_t(i)].getValue(), i);
            }
            EXPECT_EQ(action->getValue(), 0);

            action->setValue(2, ValueChangeInfo());
            setRange(pass, "X Offset", 0.3);
            setRange(pass, "Y Offset", 0.6);
            valueParam<bool>(pass, "Flip V")->setValue(true, ValueChangeInfo());
            setRange(pass, "Filter Edges", 0.0);
            valueParam<bool>(pass, "Use Edge Color")->setValue(true, ValueChangeInfo());
            std::dynamic_pointer_cast<ParamColor>(pass.getParams().getParamByName("Edge Color"))
                ->setValue(edgeColour, ValueChangeInfo());
            expectXmlRoundTrip(pass, fresh);
        }

        struct NoUVCase
        {
            const char* name;
            int action;
            bool withInput;
            bool rendered;
            PixelRGBA8 expected; // Ignore: the input
        };

        class UVMapNoUVGLTest : public CatalogueGLTest, public ::testing::WithParamInterface<NoUVCase>
        {
        };

        TEST_P(UVMapNoUVGLTest, ActsByNoUVAction)
        {
            const NoUVCase& c = GetParam();
            UVMap pass;
            std::dynamic_pointer_cast<ParamChoice<int>>(pass.getParams().getParamByName("No UV Action"))
                ->setValue(c.action, ValueChangeInfo());
            pass.setSize(6, 5);
            if (c.withInput)
                pass.setInput(0, makePaddedInput(6, 5, source), 0, 0);
            const Picture out = run(pass, c.rendered);
            if (c.rendered && c.action == 2)
                for (int y = 0; y < 5; ++y)
                    for (int x = 0; x < 6; ++x)
                        EXPECT_EQ(out.at(x, y), source(x, y)) << x << ", " << y;
            else if (c.rendered)
                expectUniform(out, 6, 5, c.expected, 0);
            EXPECT_EQ(targets().getUsedRTCount(), 0u);
            pass.release();
        }

        // clang-format off
        INSTANTIATE_TEST_SUITE_P(Table, UVMapNoUVGLTest, ::testing::Values(
            NoUVCase{"TransparentNeedsNoInput", 0, false, true, {0, 0, 0, 0}},
            NoUVCase{"BlackIsOpaque", 1, true, true, {0, 0, 0, 255}},
            NoUVCase{"IgnoreShowsTheInput", 2, true, true, {}},
            NoUVCase{"IgnoreWithoutAnInputFails", 2, false, false, {}}),
            [](const ::testing::TestParamInfo<NoUVCase>& info) { return info.param.name; });
        // clang-format on

        // A pass that cannot begin (no size) answers false in every branch.
        TEST_F(UVMapPassGLTest, FailedBeginIsReportedWithOrWithoutAUVTexture)
        {
            UVMap pass;
            pass.setInput(0, makeInput(4, 4, source), 0, 0);
            for (int action : {0, 1})
            {
                std::dynamic_pointer_cast<ParamChoice<int>>(pass.getParams().getParamByName("No UV Action"))
                    ->setValue(action, ValueChangeInfo());
                run(pass, false);
            }
            pass.setUVTexture(makeUVTexture(4, 4, identity, false));
            run(pass, false);
            pass.setSize(4, 4);
            pass.setInput(0, RenderPassTexture());
            run(pass, false);
            EXPECT_EQ(targets().getUsedRTCount(), 0u);
        }

        // A black no-UV frame leaves its clear colour; the next frame with a
        // UV texture clears transparent before it draws.
        TEST_F(UVMapPassGLTest, AFrameWithAUVTextureAfterABlackOneIsNotBlack)
        {
            UVMap pass;
            std::dynamic_pointer_cast<ParamChoice<int>>(pass.getParams().getParamByName("No UV Action"))
                ->setValue(1, ValueChangeInfo());
            pass.setSize(4, 4);
            pass.setInput(0, makeInput(4, 4, source), 0, 0);
            expectUniform(run(pass), 4, 4, {0, 0, 0, 255}, 0);
            pass.setUVTexture(makeUVTexture(
                4, 4, [](int, int, int, int) { return UVTexel{}; }, false));
            expectUniform(run(pass), 4, 4, {0, 0, 0, 0}, 0);
            pass.release();
        }

        // A UV texture smaller than the output, pointing near the input's
        // far corner, both padded: every lookup stays within the picture it
        // reads, so the whole output is the input's colour, with and
        // without the edge filter.
        TEST_F(UVMapPassGLTest, LookupsStayWithinTheUVTextureAndTheInput)
        {
            const PixelRGBA8 colour{200, 120, 60, 255};
            for (const double filter : {0.0, 0.25})
            {
                SCOPED_TRACE("Filter Edges " + std::to_string(filter));
                UVMap pass;
                setRange(pass, "Filter Edges", filter);
                pass.setSize(12, 10);
                pass.setInput(0, makePaddedInput(6, 5, [&](int, int) { return colour; }), 0, 0);
                pass.setUVTexture(makeUVTexture(
                    3, 3, [](int, int, int, int) { return UVTexel{0.99f, 0.01f, 0.0f, 1.0f}; }, true));
                expectUniform(run(pass), 12, 10, colour, 1);
                pass.release();
            }
        }

        // Nothing is divided by a zero alpha: on a floating-point target
        // such a texel is exactly transparent black, not NaN.
        TEST_F(UVMapPassGLTest, ATransparentSourceTexelIsNotDividedByZero)
        {
            UVMap pass;
            setRange(pass, "Filter Edges", 0.0);
            pass.setSize(4, 4);
            pass.setInput(0, makeInput(4, 4, PixelRGBA8{200, 100, 50, 0}), 0, 0);
            pass.setUVTexture(makeUVTexture(4, 4, identity, false));
            const FloatPicture out = runFloat(pass);
            ASSERT_GE(out.width, 4);
            const FloatPixel p = out.at(1, 2);
            EXPECT_EQ(p.r, 0.0f);
            EXPECT_EQ(p.g, 0.0f);
            EXPECT_EQ(p.b, 0.0f);
            EXPECT_EQ(p.a, 0.0f);
            pass.release();
        }
    }
}
