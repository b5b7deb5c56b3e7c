#include "engine/renderpasses/catalogue/VXAdd.h"
#include "engine/renderpasses/catalogue/VXAdd50.h"
#include "engine/renderpasses/catalogue/VXBurn.h"
#include "engine/renderpasses/catalogue/VXDarken.h"
#include "engine/renderpasses/catalogue/VXDifference.h"
#include "engine/renderpasses/catalogue/VXDifferenceI.h"
#include "engine/renderpasses/catalogue/VXDodge.h"
#include "engine/renderpasses/catalogue/VXLighten.h"
#include "engine/renderpasses/catalogue/VXMultiply.h"
#include "engine/renderpasses/catalogue/VXSoftLight.h"

#include "VXBlendReference.h"
#include "VXCatalogueTestSupport.h"
#include "engine/gfx/VXShaderProgram.h"

#include <functional>
#include <tuple>

namespace vx::test
{
    namespace
    {
        struct MixerRow
        {
            ClassData data;
            RttiObject* (*make)();
            const std::string* fragmentSource;
        };

        const std::vector<MixerRow>& mixerRows()
        {
            static const std::vector<MixerRow> rows = {
                {{"Add", "Add", "A005", "Add", "Add"}, &Add::creationFunc, &Add::fsAdd},
                {{"Add50", "50 Add", "A028", "50 Add", "Add50"}, &Add50::creationFunc, &Add50::fsAdd50},
                {{"Burn", "Burn", "A016", "Burn", "Burn"}, &Burn::creationFunc, &Burn::fsBurn},
                {{"Darken", "Darken", "A010", "Darken", "Darken"}, &Darken::creationFunc, &Darken::fsDarken},
                {{"Difference", "Difference", "A011", "Sample FFGL Difference plugin", "Difference"},
                 &Difference::creationFunc,
                 &Difference::fsDifference},
                {{"DifferenceI", "Difference I", "A019", "Difference Inverse", "DifferenceI"},
                 &DifferenceI::creationFunc,
                 &DifferenceI::fsDifferenceI},
                {{"Dodge", "Dodge", "A015", "Dodge", "Dodge"}, &Dodge::creationFunc, &Dodge::fsDodge},
                {{"Lighten", "Lighten", "A007", "Lighten", "Lighten"}, &Lighten::creationFunc, &Lighten::fsLighten},
                {{"Multiply", "Multiply", "A013", "Multiply", "Multiply"},
                 &Multiply::creationFunc,
                 &Multiply::fsMultiply},
                {{"SoftLight", "Soft Light", "A017", "SoftLight", "SoftLight"},
                 &SoftLight::creationFunc,
                 &SoftLight::fsSoftLight},
            };
            return rows;
        }

        const char* const commonBlendMixers[] = {"Burn",  "Darken",  "Difference", "DifferenceI",
                                                 "Dodge", "Lighten", "SoftLight"};

        std::unique_ptr<Mixer> makeMixer(const std::string& type)
        {
            for (const MixerRow& row : mixerRows())
                if (row.data.type == type)
                    return std::unique_ptr<Mixer>(static_cast<Mixer*>(row.make()));
            ADD_FAILURE() << "no mixer " << type;
            return nullptr;
        }

        Rgba toRgba(PixelRGBA8 p)
        {
            return {unit(p.r), unit(p.g), unit(p.b), unit(p.a)};
        }

        PixelRGBA8 stored(const Rgba& c)
        {
            return px(c.r, c.g, c.b, c.a);
        }

        // Premultiplied pairs: destination (input 0) and source (input 1).
        struct Pair
        {
            const char* name;
            PixelRGBA8 destination, source;
        };
        const Pair pairs[] = {
            {"opaque", {51, 128, 204, 255}, {178, 77, 153, 255}},
            {"translucent", {77, 51, 26, 153}, {64, 102, 26, 128}},
            {"transparent source", {51, 128, 204, 255}, {0, 0, 0, 0}},
            {"zero-alpha destination", {102, 51, 26, 0}, {64, 102, 26, 128}},
            {"translucent over opaque", {230, 26, 128, 255}, {30, 90, 60, 100}},
        };
        constexpr int numPairs = int(std::size(pairs));

        // Asymmetric: which pair a pixel holds depends on x and y differently.
        const Pair& pairAt(int x, int y)
        {
            return pairs[(x + 2 * y) % numPairs];
        }

        class BlendMixersGLTest : public CatalogueGLTest
        {
        protected:
            // The mixer at amount over w x h pictures, the destination padded
            // to a power of two (maximum coordinates below 1), the source not:
            // each input needs its own coordinates.
            Picture blend(Mixer& mixer, double amount, const std::function<PixelRGBA8(int, int)>& destination,
                          const std::function<PixelRGBA8(int, int)>& source, int w = 7, int h = 5)
            {
                prepareInputs(mixer, amount, destination, source, w, h);
                Picture out = run(mixer);
                mixer.release();
                return out;
            }

            FloatPicture blendFloat(Mixer& mixer, double amount, const std::function<PixelRGBA8(int, int)>& destination,
                                    const std::function<PixelRGBA8(int, int)>& source, int w = 7, int h = 5)
            {
                prepareInputs(mixer, amount, destination, source, w, h);
                FloatPicture out = runFloat(mixer);
                mixer.release();
                return out;
            }

            Picture blendUniform(Mixer& mixer, double amount, PixelRGBA8 destination, PixelRGBA8 source)
            {
                return blend(
                    mixer, amount, [=](int, int) { return destination; }, [=](int, int) { return source; }, 4, 4);
            }

        private:
            void prepareInputs(Mixer& mixer, double amount, const std::function<PixelRGBA8(int, int)>& destination,
                               const std::function<PixelRGBA8(int, int)>& source, int w, int h)
            {
                mixer.getOpacity().setValue(amount, ValueChangeInfo());
                mixer.setSize(w, h);
                mixer.setInput(0, makePaddedInput(w, h, destination), w, h);
                mixer.setInput(1, makeInput(w, h, source), w, h);
            }
        };

        TEST_F(BlendMixersGLTest, ClassDataAndOnlyTheMixersParameters)
        {
            for (const MixerRow& row : mixerRows())
            {
                SCOPED_TRACE(row.data.type);
                std::unique_ptr<RenderPass> pass(static_cast<RenderPass*>(row.make()));
                expectClassData(*pass, row.data, "Mixer");
                expectParams(*pass, {{"bypassed", "Param"}, {"Opacity", "ParamRange", 0, 1, 1}});
                EXPECT_EQ(pass->getNumInputs(), 2);
                EXPECT_EQ(row.fragmentSource->rfind("#version 120\n", 0), 0u);
            }
        }

        // Every mixer at every amount over every pair, against the formulas.
        class BlendTableTest : public BlendMixersGLTest,
                               public ::testing::WithParamInterface<std::tuple<std::string, double>>
        {
        };

        TEST_P(BlendTableTest, MatchesTheReferenceOnEveryPair)
        {
            const auto& [type, amount] = GetParam();
            auto mixer = makeMixer(type);
            const Picture out = blend(
                *mixer, amount, [](int x, int y) { return pairAt(x, y).destination; },
                [](int x, int y) { return pairAt(x, y).source; });
            ASSERT_GE(out.width, 7);
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < 7; ++x)
                {
                    const Pair& pair = pairAt(x, y);
                    const PixelRGBA8 expected =
                        stored(blendReference(type, toRgba(pair.destination), toRgba(pair.source), amount));
                    EXPECT_TRUE(isNear(out.at(x, y), expected, 2))
                        << pair.name << " at " << x << ", " << y << ": " << out.at(x, y) << ", expected " << expected;
                }
        }

        std::string blendCaseName(const ::testing::TestParamInfo<std::tuple<std::string, double>>& info)
        {
            return std::get<0>(info.param) + "_Amount" + std::to_string(int(std::get<1>(info.param) * 100));
        }

        INSTANTIATE_TEST_SUITE_P(AllMixers, BlendTableTest,
                                 ::testing::Combine(::testing::Values("Add", "Add50", "Burn", "Darken", "Difference",
                                                                      "DifferenceI", "Dodge", "Lighten", "Multiply",
                                                                      "SoftLight"),
                                                    ::testing::Values(0.0, 0.25, 0.5, 0.75, 1.0)),
                                 blendCaseName);

        // Nothing clamps these: a floating-point target keeps what an 8-bit
        // one cuts off (Add and Add50 above 1).
        TEST_F(BlendMixersGLTest, AdditiveAndLightenResultsAreUnclampedOnAFloatTarget)
        {
            const PixelRGBA8 bright{204, 179, 153, 255};
            for (const char* type : {"Add", "Add50", "Lighten"})
                for (const double amount : {0.5, 0.75, 1.0})
                {
                    SCOPED_TRACE(std::string(type) + " at " + std::to_string(amount));
                    auto mixer = makeMixer(type);
                    const FloatPicture out = blendFloat(
                        *mixer, amount, [&](int x, int y) { return (x + y) % 2 ? bright : pairAt(x, y).destination; },
                        [&](int x, int y) { return (x + y) % 3 ? bright : pairAt(x, y).source; });
                    ASSERT_GE(out.width, 7);
                    for (int y = 0; y < 5; ++y)
                        for (int x = 0; x < 7; ++x)
                        {
                            const Rgba d = toRgba((x + y) % 2 ? bright : pairAt(x, y).destination);
                            const Rgba s = toRgba((x + y) % 3 ? bright : pairAt(x, y).source);
                            const Rgba e = blendReference(type, d, s, amount);
                            const FloatPixel o = out.at(x, y);
                            EXPECT_NEAR(o.r, e.r, 2.0 / 255) << x << ", " << y;
                            EXPECT_NEAR(o.g, e.g, 2.0 / 255) << x << ", " << y;
                            EXPECT_NEAR(o.b, e.b, 2.0 / 255) << x << ", " << y;
                            EXPECT_NEAR(o.a, e.a, 2.0 / 255) << x << ", " << y;
                        }
                }
            const Rgba bright1 = toRgba(bright);
            ASSERT_GT(blendReference("Add", bright1, bright1, 0.5).r, 1.0) << "the case overflows";
        }

        // Amount 0 is the destination as it stands; Multiply premultiplies its
        // straight copy again, so colour without alpha goes.
        TEST_F(BlendMixersGLTest, AmountZeroGivesTheDestination)
        {
            const PixelRGBA8 glow{102, 51, 26, 0}, translucent{77, 51, 26, 153}, source{64, 102, 26, 128};
            for (const MixerRow& row : mixerRows())
            {
                SCOPED_TRACE(row.data.type);
                auto mixer = makeMixer(row.data.type);
                const Picture out = blend(
                    *mixer, 0.0, [&](int x, int) { return x < 3 ? glow : translucent; },
                    [&](int, int) { return source; });
                const bool multiply = row.data.type == "Multiply";
                EXPECT_TRUE(isNear(out.at(1, 2), multiply ? PixelRGBA8{0, 0, 0, 0} : glow, 1)) << out.at(1, 2);
                EXPECT_TRUE(isNear(out.at(5, 2), translucent, 1)) << out.at(5, 2);
            }
        }

        TEST_F(BlendMixersGLTest, AmountOneIsSourceOverDestination)
        {
            const PixelRGBA8 destination{77, 51, 26, 153}, source{64, 102, 26, 128};
            const double sa = unit(source.a);
            const auto over = [&](uint8_t d, uint8_t s) { return unit(d) * (1.0 - sa) + unit(s); };
            const PixelRGBA8 expected = px(over(destination.r, source.r), over(destination.g, source.g),
                                           over(destination.b, source.b), over(destination.a, source.a));
            for (const char* type :
                 {"Add", "Burn", "Darken", "Difference", "DifferenceI", "Dodge", "Lighten", "SoftLight"})
            {
                auto mixer = makeMixer(type);
                const PixelRGBA8 out = blendUniform(*mixer, 1.0, destination, source).at(1, 1);
                EXPECT_TRUE(isNear(out, expected, 1)) << type << ": " << out << ", expected " << expected;
            }
        }

        TEST_F(BlendMixersGLTest, ATransparentSourceLeavesAnOpaqueDestinationAtEveryAmount)
        {
            const PixelRGBA8 destination{51, 128, 204, 255};
            for (const char* type : commonBlendMixers)
                for (const double amount : {0.0, 0.25, 0.5, 0.75, 1.0})
                {
                    auto mixer = makeMixer(type);
                    const PixelRGBA8 out = blendUniform(*mixer, amount, destination, {0, 0, 0, 0}).at(2, 1);
                    EXPECT_TRUE(isNear(out, destination, 1)) << type << " at " << amount << ": " << out;
                }
        }

        // Opaque inputs: the channel values come straight from the operators.
        struct OperatorCase
        {
            const char* name;
            const char* mixer;
            double amount;
            uint8_t destination, source, expected;
        };

        class BlendOperatorTest : public BlendMixersGLTest, public ::testing::WithParamInterface<OperatorCase>
        {
        };

        TEST_P(BlendOperatorTest, GivesTheOperatorsValue)
        {
            const OperatorCase& c = GetParam();
            auto mixer = makeMixer(c.mixer);
            const PixelRGBA8 d{c.destination, c.destination, c.destination, 255};
            const PixelRGBA8 s{c.source, c.source, c.source, 255};
            const PixelRGBA8 out = blendUniform(*mixer, c.amount, d, s).at(1, 2);
            EXPECT_TRUE(isNear(out, PixelRGBA8{c.expected, c.expected, c.expected, 255}, 1))
                << out << ", expected " << int(c.expected);
        }

        INSTANTIATE_TEST_SUITE_P(
            Edges, BlendOperatorTest,
            ::testing::Values(
                // 1 - (1 - d) / 0.00001 for a black source: 0 below white, 1 at it.
                OperatorCase{"BurnBlackSourceDarkens", "Burn", 0.5, 250, 0, 0},
                OperatorCase{"BurnBlackSourceKeepsWhite", "Burn", 0.5, 255, 0, 255},
                OperatorCase{"DodgeWhiteSourceBrightens", "Dodge", 0.5, 3, 255, 255},
                OperatorCase{"DodgeWhiteSourceKeepsBlack", "Dodge", 0.5, 0, 255, 0},
                // 0.2 - 0.7 clamps to 0, not |0.2 - 0.7|.
                OperatorCase{"DifferenceIsOneSided", "Difference", 0.5, 51, 178, 0},
                OperatorCase{"DifferenceWhereDestinationIsBrighter", "Difference", 0.5, 178, 51, 127},
                // 1 - |1 - 0.2 - 0.7| = 0.9.
                OperatorCase{"DifferenceInverse", "DifferenceI", 0.5, 51, 178, 230},
                // 2ds + d^2 - 2d^2 s at 0.2, 0.7: 0.264.
                OperatorCase{"SoftLight", "SoftLight", 0.5, 51, 178, 67},
                // amt1 = 0.5: max(s - 0.5, d) = 0.3, reached halfway from d.
                OperatorCase{"LightenQuarterLowersTheSource", "Lighten", 0.25, 51, 204, 64},
                OperatorCase{"LightenQuarterKeepsABrighterDestination", "Lighten", 0.25, 102, 178, 102},
                OperatorCase{"DarkenAtHalf", "Darken", 0.5, 178, 51, 51}),
            [](const ::testing::TestParamInfo<OperatorCase>& info) { return info.param.name; });

        TEST_F(BlendMixersGLTest, WithoutSizeOrInputsNothingIsDrawn)
        {
            Burn mixer;
            mixer.setInput(0, makeInput(4, 4, PixelRGBA8{1, 2, 3, 255}), 4, 4);
            mixer.setInput(1, makeInput(4, 4, PixelRGBA8{1, 2, 3, 255}), 4, 4);
            for (const auto& [w, h] : {std::pair{0, 4}, std::pair{4, 0}})
            {
                mixer.setSize(w, h);
                run(mixer, false);
            }
            Darken lonely;
            lonely.setSize(4, 4);
            lonely.setInput(0, makeInput(4, 4, PixelRGBA8{1, 2, 3, 255}), 4, 4);
            run(lonely, false);
            lonely.release();
        }

        // A blend program that does not build until told otherwise.
        class BrokenBurn : public Burn
        {
        public:
            bool init() override
            {
                ++inits;
                if (! broken)
                    return Burn::init();
                return vx::detail::initBlendMixer(*this, program, "#version 120\nthis is no shader");
            }
            void release() override
            {
                program.release();
                Burn::release();
            }
            bool broken = true;
            int inits = 0;
            ShaderProgram program;
        };

        TEST_F(BlendMixersGLTest, AFailedBlendProgramStaysFailedUntilRelease)
        {
            BrokenBurn mixer;
            mixer.setSize(4, 4);
            mixer.setInput(0, makeInput(4, 4, PixelRGBA8{200, 100, 50, 255}), 4, 4);
            mixer.setInput(1, makeInput(4, 4, PixelRGBA8{0, 0, 0, 0}), 4, 4);
            run(mixer, false);
            mixer.broken = false;
            run(mixer, false);
            EXPECT_EQ(mixer.inits, 1) << "not compiled again";
            mixer.release();
            EXPECT_EQ(run(mixer).at(1, 1), (PixelRGBA8{200, 100, 50, 255}));
            EXPECT_EQ(mixer.inits, 2);
            mixer.release();
        }
    }
}
