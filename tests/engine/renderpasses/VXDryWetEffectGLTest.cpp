#include "engine/renderpasses/VXDryWetEffect.h"

#include "VXRenderPassTestSupport.h"
#include "core/VXStringUtils.h"
#include "core/parameters/VXParamChoice.h"
#include "engine/gfx/VXScopedRenderState.h"
#include "engine/renderpasses/VXAlphaMixer.h"

#include <atomic>
#include <thread>

namespace vx::test
{
    namespace
    {
        // A second mixer to pick: the linear mix.
        class FadeMixer : public Mixer
        {
        public:
            FadeMixer() : Mixer(2)
            {
                setName(classType(), true);
                enableTransitionMode(true);
            }
            static std::string classType() { return "Fade"; }
            static RttiObject* creationFunc() { return new FadeMixer(); }
            std::string getClassType() const override { return classType(); }
        };

        // The effect adds 0.1 to red, green and blue (alpha kept).
        class DryWetEffectGLTest : public RenderPassGLTest
        {
        protected:
            void SetUp() override
            {
                RenderPassGLTest::SetUp();
                registerKind(AlphaMixer::classType(), &AlphaMixer::creationFunc, RenderPassCategoryMixer);
                registerKind(FadeMixer::classType(), &FadeMixer::creationFunc, RenderPassCategoryMixer);
                registerKind(DryWetEffect::classType(), &DryWetEffect::creationFunc, RenderPassCategoryAny);
            }

            std::unique_ptr<DryWetEffect> makeWrapper(double amount = 0.1)
            {
                return std::make_unique<DryWetEffect>(new AddConstantPass(amount), new AlphaMixer());
            }
        };

        struct MixCase
        {
            const char* name;
            double opacity;
            PixelRGBA8 input;
        };

        class DryWetMixTest : public DryWetEffectGLTest, public ::testing::WithParamInterface<MixCase>
        {
        };

        // input x (1 - opacity x effect alpha) + effect x opacity, within one
        // step (the effect's picture is 8-bit before it is mixed).
        TEST_P(DryWetMixTest, LaysTheEffectOverItsInput)
        {
            const MixCase& c = GetParam();
            auto wrapper = makeWrapper();
            wrapper->getOpacity().setValue(c.opacity, ValueChangeInfo());
            const PixelRGBA8 wet = added(c.input, 1);
            const auto mix = [&](uint8_t dry, uint8_t effect)
            {
                const double v = dry / 255.0 * (1.0 - c.opacity * wet.a / 255.0) + effect / 255.0 * c.opacity;
                return uint8_t(std::clamp(v, 0.0, 1.0) * 255.0 + 0.5);
            };
            const PixelRGBA8 expected{mix(c.input.r, wet.r), mix(c.input.g, wet.g), mix(c.input.b, wet.b),
                                      mix(c.input.a, wet.a)};
            prepare(*wrapper, c.input);
            wrapper->retainOutput(true);
            {
                const ScopedRenderState state(renderer->getRenderContext());
                ASSERT_TRUE(wrapper->render(*renderer));
            }
            const PixelRGBA8 out = readBack(*wrapper->getOutput(0)->texture).at(1, 1);
            wrapper->retainOutput(false);
            EXPECT_TRUE(isNear(out, expected, 1)) << out << ", expected " << expected;
        }

        INSTANTIATE_TEST_SUITE_P(Table, DryWetMixTest,
                                 ::testing::Values(MixCase{"AllDryCopiesTheInput", 0.0, {100, 50, 0, 255}},
                                                   MixCase{"AllWetIsTheEffect", 1.0, {100, 50, 0, 255}},
                                                   MixCase{"HalfOverOpaque", 0.5, {100, 50, 0, 255}},
                                                   MixCase{"HalfOverTranslucent", 0.5, {60, 40, 20, 128}},
                                                   MixCase{"QuarterOverTranslucent", 0.25, {60, 40, 20, 128}}),
                                 [](const ::testing::TestParamInfo<MixCase>& info) { return info.param.name; });

        TEST_F(DryWetEffectGLTest, TakesTheEffectsIdentityAndPicksMixersByBlendMode)
        {
            auto wrapper = makeWrapper();
            EXPECT_EQ(wrapper->getName(), "TestAddConstant");
            EXPECT_EQ(wrapper->getUniqueId(), "TestAddConstant");
            EXPECT_EQ(wrapper->getEffect()->getParams().getPath(), "/testaddconstant/effect");
            EXPECT_EQ(wrapper->getBlendMode().getValue(), hashFromString("Alpha"));

            wrapper->getBlendMode().setValueByName("Fade", ValueChangeInfo());
            EXPECT_EQ(wrapper->getMixer()->getClassType(), "Fade");
            EXPECT_EQ(wrapper->getMixer()->getParams().getPath(), "/testaddconstant/mixer");
            EXPECT_FALSE(wrapper->setMixer(nullptr));
            EXPECT_EQ(wrapper->getMixer()->getClassType(), "Fade");
            wrapper->getOpacity().setValue(0.0, ValueChangeInfo());
            EXPECT_FALSE(wrapper->needsToBeRendered()) << "chains pass the input on";
        }

        TEST_F(DryWetEffectGLTest, ElementsRecreateBothPassesAndDropTheWrongKind)
        {
            auto wrapper = makeWrapper(0.7);
            wrapper->getBlendMode().setValueByName("Fade", ValueChangeInfo());
            wrapper->getOpacity().setValue(0.3, ValueChangeInfo());
            XmlPool pool;
            XmlNode* element = wrapper->writeState(pool, true);

            std::unique_ptr<RenderPass> made(RenderPass::createRenderPassFromXmlNode(element));
            auto* copy = dynamic_cast<DryWetEffect*>(made.get());
            ASSERT_NE(copy, nullptr);
            ASSERT_NE(copy->getEffect(), nullptr);
            EXPECT_DOUBLE_EQ(static_cast<AddConstantPass&>(*copy->getEffect()).amount->getValue(), 0.7);
            EXPECT_EQ(copy->getMixer()->getClassType(), "Fade");
            EXPECT_DOUBLE_EQ(copy->getOpacity().getValue(), 0.3);
            EXPECT_EQ(copy->getBlendMode().getValue(), hashFromString("Fade"));

            // A bare effect's element (a preset of the kind) goes to the effect.
            AddConstantPass preset(0.4);
            copy->readState(preset.writeState(pool, true), false);
            EXPECT_DOUBLE_EQ(static_cast<AddConstantPass&>(*copy->getEffect()).amount->getValue(), 0.4);

            // An "Effect" child that makes a mixer is dropped, not leaked.
            XmlNode* effectChild = element->first_node("RenderPass");
            effectChild->first_attribute("type")->value("Alpha");
            made.reset(RenderPass::createRenderPassFromXmlNode(element));
            ASSERT_NE(made, nullptr);
            EXPECT_EQ(static_cast<DryWetEffect&>(*made).getEffect(), nullptr);
        }

        // Picking a blend mode on another thread while frames render: every
        // frame renders with a whole mixer (run under ThreadSanitizer too).
        TEST_F(DryWetEffectGLTest, MixerReplacedFromAnotherThreadWhileRendering)
        {
            auto wrapper = makeWrapper();
            wrapper->getOpacity().setValue(0.5, ValueChangeInfo());
            prepare(*wrapper, {100, 50, 0, 255});
            std::atomic<bool> done{false};
            std::thread picker(
                [&]
                {
                    for (int i = 0; ! done.load(); ++i)
                        wrapper->getBlendMode().setValueByName(i % 2 == 0 ? "Fade" : "Alpha", ValueChangeInfo());
                });
            const ScopedRenderState state(renderer->getRenderContext());
            int rendered = 0;
            for (int frame = 0; frame < 30; ++frame)
                rendered += wrapper->render(*renderer) ? 1 : 0;
            done = true;
            picker.join();
            EXPECT_EQ(rendered, 30);
        }
    }
}
