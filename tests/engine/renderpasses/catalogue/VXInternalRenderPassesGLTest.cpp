#include "VXBlendReference.h"
#include "VXCatalogueTestSupport.h"
#include "core/VXStringUtils.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamColor.h"
#include "engine/renderpasses/VXDryWetEffect.h"
#include "engine/renderpasses/VXMixer.h"
#include "engine/renderpasses/VXRenderPassFactory.h"
#include "engine/renderpasses/catalogue/VXMask.h"
#include "engine/renderpasses/catalogue/VXUVMap.h"

#include <set>

namespace vx::test
{
    namespace
    {
        // The built-in kinds in their own manager, made current for the test.
        class InternalRenderPassesGLTest : public CatalogueGLTest
        {
        protected:
            void SetUp() override
            {
                CatalogueGLTest::SetUp();
                RenderPassManager::setCurrent(&builtIns);
            }

            void TearDown() override
            {
                if (auto* objects = root->getGfxObjectManager())
                    objects->cleanAll();
                builtIns.clear();
                RenderPassManager::clearCurrent(&builtIns);
                RenderPassManager::setCurrent(&manager);
                CatalogueGLTest::TearDown();
            }

            std::vector<std::string> names(bool includeHidden) const
            {
                std::vector<std::string> list;
                for (const auto& info : builtIns.getRenderPassInfos(includeHidden))
                    list.push_back(info->getExtensionName());
                return list;
            }

            RenderPassManager builtIns;
        };

        // The framework's own classes; the other 31 are the catalogue.
        const std::set<std::string> frameworkKinds = {"RenderPassChain", "DryWetEffect", "FFGLEffect",     "FFGLMixer",
                                                      "FFGLGenerator",   "Alpha",        "ShaderToyMixer", "Transform",
                                                      "FreeTransform",   "ShaderToy"};

        TEST_F(InternalRenderPassesGLTest, RegistersFortyOneKindsOnceInNameOrder)
        {
            EXPECT_TRUE(builtIns.registerInternalRenderPasses());
            EXPECT_EQ(builtIns.getNumberOfRenderPasses(), 41);
            EXPECT_EQ(names(true), (std::vector<std::string>{"Add",
                                                             "Add50",
                                                             "AddSubtract",
                                                             "Alpha",
                                                             "Blank",
                                                             "Blow",
                                                             "Blur",
                                                             "BrightnessContrast",
                                                             "Burn",
                                                             "CheckerBoard",
                                                             "Darken",
                                                             "Deinterlace",
                                                             "Difference",
                                                             "DifferenceI",
                                                             "Dodge",
                                                             "DryWetEffect",
                                                             "EdgeDetect",
                                                             "FFGLEffect",
                                                             "FFGLGenerator",
                                                             "FFGLMixer",
                                                             "FormatConversion",
                                                             "FreeTransform",
                                                             "Gradient",
                                                             "Lighten",
                                                             "Mask",
                                                             "MotionBlur",
                                                             "MovingBar",
                                                             "Multiply",
                                                             "Premultiply",
                                                             "RGBASwitch",
                                                             "RenderPassChain",
                                                             "ShaderToy",
                                                             "ShaderToyMixer",
                                                             "ShiftRGB",
                                                             "SoftLight",
                                                             "SolidColor",
                                                             "SolidColorEffect",
                                                             "TestScreen",
                                                             "ToLuminosity",
                                                             "Transform",
                                                             "UVMap"}));

            // Every second registration is refused; nothing is added.
            EXPECT_FALSE(builtIns.registerInternalRenderPasses());
            EXPECT_EQ(builtIns.getNumberOfRenderPasses(), 41);
        }

        TEST_F(InternalRenderPassesGLTest, TheShownListLeavesOutTheTenHiddenKinds)
        {
            ASSERT_TRUE(builtIns.registerInternalRenderPasses());
            const std::vector<std::string> shown = names(false);
            EXPECT_EQ(shown.size(), 31u);
            for (const char* hidden : {"Deinterlace", "Premultiply", "FormatConversion", "RGBASwitch", "Blur", "UVMap",
                                       "EdgeDetect", "ToLuminosity", "CheckerBoard", "TestScreen"})
            {
                EXPECT_EQ(std::count(shown.begin(), shown.end(), hidden), 0) << hidden;
                const std::unique_ptr<RttiObject> made(
                    builtIns.getFactory().createRenderPass(hidden, RenderPassCategoryAny));
                EXPECT_NE(made, nullptr) << hidden << " stays creatable by name";
            }
        }

        // Each category's choice, in name order: the five framework classes
        // (never offered elsewhere), the twelve mixers valued by the hash of
        // their ids, the effects and the generators; 41 in all.
        TEST_F(InternalRenderPassesGLTest, ChoicesHoldTheKindsOfEachCategory)
        {
            ASSERT_TRUE(builtIns.registerInternalRenderPasses());
            ParamChoice<unsigned long long> choice("Kinds");
            const auto choiceNames = [&](RenderPassCategory category)
            {
                builtIns.populateChoiceWithRenderPassesByCategory(choice, category);
                std::vector<std::string> list;
                for (const auto& entry : choice.getChoices())
                    list.push_back(entry.getName());
                return list;
            };
            EXPECT_EQ(choiceNames(RenderPassCategoryAny),
                      (std::vector<std::string>{"DryWetEffect", "FFGLEffect", "FFGLGenerator", "FFGLMixer",
                                                "RenderPassChain"}));
            EXPECT_EQ(choiceNames(RenderPassCategoryEffect),
                      (std::vector<std::string>{"AddSubtract", "Blow", "Blur", "BrightnessContrast", "Deinterlace",
                                                "EdgeDetect", "FormatConversion", "FreeTransform", "Mask", "MotionBlur",
                                                "Premultiply", "RGBASwitch", "ShaderToy", "ShiftRGB",
                                                "SolidColorEffect", "ToLuminosity", "Transform", "UVMap"}));
            EXPECT_EQ(choiceNames(RenderPassCategoryGenerator),
                      (std::vector<std::string>{"Blank", "CheckerBoard", "Gradient", "MovingBar", "SolidColor",
                                                "TestScreen"}));
            EXPECT_EQ(choiceNames(RenderPassCategoryMixer),
                      (std::vector<std::string>{"Add", "Add50", "Alpha", "Burn", "Darken", "Difference", "DifferenceI",
                                                "Dodge", "Lighten", "Multiply", "ShaderToyMixer", "SoftLight"}));
            for (const auto& entry : choice.getChoices())
                EXPECT_EQ(entry.getValue(), hashFromString(entry.getName())) << "the hash of the unique id";
            const int inputsByCategory[] = {100, 1, 2, 0};
            for (const auto& info : builtIns.getRenderPassInfos(true))
                EXPECT_EQ(info->getNumInputs(), inputsByCategory[info->getCategory()]) << info->getExtensionName();
        }

        TEST_F(InternalRenderPassesGLTest, WrappableKindsComeWrappedAndOthersBare)
        {
            ASSERT_TRUE(builtIns.registerInternalRenderPasses());
            std::unique_ptr<RenderPass> mask(
                builtIns.getRenderPassInfo("Mask", RenderPassCategoryEffect)->createRenderPass(nullptr, true));
            auto* wrapper = dynamic_cast<DryWetEffect*>(mask.get());
            ASSERT_NE(wrapper, nullptr);
            EXPECT_EQ(wrapper->getEffect()->getClassType(), "Mask");
            EXPECT_EQ(wrapper->getMixer()->getClassType(), "Alpha");

            std::unique_ptr<RenderPass> blur(
                builtIns.getRenderPassInfo("Blur", RenderPassCategoryEffect)->createRenderPass(nullptr, true));
            EXPECT_EQ(blur->getClassType(), "Blur");

            std::set<std::string> wrappable;
            for (const auto& info : builtIns.getRenderPassInfos(true))
                if (info->isDryWetWrappable())
                    wrappable.insert(info->getExtensionName());
            EXPECT_EQ(wrappable, (std::set<std::string>{"AddSubtract", "Blow", "BrightnessContrast", "FreeTransform",
                                                        "Mask", "MotionBlur", "ShaderToy", "ShiftRGB",
                                                        "SolidColorEffect", "Transform", "UVMap"}));
        }

        // Every kind made by name and rendered once over 64 x 64 inputs; GL
        // errors fail the test. FFGL kinds have no plugin, the framework's
        // containers nothing to hold: they draw nothing.
        TEST_F(InternalRenderPassesGLTest, EveryKindRendersOnceByTypeName)
        {
            ASSERT_TRUE(builtIns.registerInternalRenderPasses());
            Texture* picture = makeInput(64, 64,
                                         [](int x, int y) {
                                             return PixelRGBA8{uint8_t(x * 4), uint8_t(y * 4), 100, uint8_t(128 + x)};
                                         });
            const std::set<std::string> drawNothing = {"FFGLEffect", "FFGLMixer", "FFGLGenerator", "DryWetEffect",
                                                       "RenderPassChain"};
            for (const auto& info : builtIns.getRenderPassInfos(true))
            {
                const std::string type = info->getExtensionName();
                SCOPED_TRACE(type);
                std::unique_ptr<RenderPass> pass(dynamic_cast<RenderPass*>(
                    builtIns.getFactory().createRenderPass(type, info->getRenderPassCategory())));
                ASSERT_NE(pass, nullptr);
                pass->setSize(64, 64);
                for (int i = 0; i < std::min(pass->getNumInputs(), 2); ++i)
                    pass->setInput(i, picture, 64, 64);
                if (auto* map = dynamic_cast<UVMap*>(pass.get()))
                    map->setUVTexture(picture);
                if (auto* masking = dynamic_cast<Mask*>(pass.get()))
                    masking->setMask(picture);
                run(*pass, drawNothing.count(type) == 0);
                pass->release();
            }
        }

        // Passes made again from a chain's element by their type names write
        // the same bytes.
        TEST_F(InternalRenderPassesGLTest, AChainOfEveryCataloguePassRoundTripsThroughXml)
        {
            ASSERT_TRUE(builtIns.registerInternalRenderPasses());
            RenderPassChain chain;
            for (const auto& info : builtIns.getRenderPassInfos(true))
            {
                if (frameworkKinds.count(info->getExtensionName()) != 0)
                    continue;
                auto pass = chain.addRenderPass(info->createRenderPass(nullptr, false));
                pass->setStorage(XmlCapable::storageCreatable);
                // Colours are stored packed in 8 bits: the gradient's default
                // orange (green 0.5) would come back as 0.498.
                if (auto colour = std::dynamic_pointer_cast<ParamColor>(pass->getParams().getParamByName("Color 2")))
                    colour->setValue(Color(0.8f, 0.4f, 0.2f, 1.0f), ValueChangeInfo());
            }
            ASSERT_EQ(chain.getNumPasses(), 31);

            const std::string written = XmlUtils::writeXmlToString(chain, true);
            const auto document = XmlUtils::loadXmlFromString(written, true);
            ASSERT_NE(document, nullptr);
            RenderPassChain copy;
            copy.readState(document->first_node(), false);
            ASSERT_EQ(copy.getNumPasses(), 31);
            for (int i = 0; i < 31; ++i)
                EXPECT_EQ(copy.getRenderPass(i)->getClassType(), chain.getRenderPass(i)->getClassType());
            EXPECT_EQ(XmlUtils::writeXmlToString(copy, true), written);
        }

        TEST_F(InternalRenderPassesGLTest, TextureEffectsAnswerPicturesOnceRegistered)
        {
            ASSERT_TRUE(builtIns.registerInternalRenderPasses());
            Texture* source = makeInput(6, 4, PixelRGBA8{200, 100, 50, 255});
            Texture* mask = makeInput(4, 5, PixelRGBA8{0, 0, 0, 0});
            TextureRef grey, masked;
            {
                const ScopedRenderState state(renderer->getRenderContext());
                grey = Texture::toLuminosity(*renderer, *source);
                masked = Texture::applyMask(*renderer, *source, *mask);
            }
            ASSERT_NE(grey.get(), nullptr);
            const double g = (0.30 * 200 + 0.59 * 100 + 0.11 * 50) / 255.0;
            expectUniform(readBack(*grey), 6, 4, px(g, g, g, 1.0), 1);
            ASSERT_NE(masked.get(), nullptr);
            EXPECT_EQ(masked->getWidth(), 6);
            EXPECT_EQ(masked->getHeight(), 5);
        }

        // The dry/wet wrapper's "Blend Mode" offers the mixers; Multiply lays
        // the effect (wet, input 1) over the input (dry, input 0) by
        // "Opacity".
        TEST_F(InternalRenderPassesGLTest, DryWetWithMultiplyMatchesTheReference)
        {
            ASSERT_TRUE(builtIns.registerInternalRenderPasses());
            const PixelRGBA8 dry{77, 51, 26, 153};
            const PixelRGBA8 wet = px(0.4, 0.8, 0.6, 1.0);
            for (const double amount : {0.25, 0.75})
            {
                std::unique_ptr<RenderPass> made(
                    builtIns.getRenderPassInfo("SolidColorEffect", RenderPassCategoryEffect)
                        ->createRenderPass(nullptr, true));
                auto* wrapper = dynamic_cast<DryWetEffect*>(made.get());
                ASSERT_NE(wrapper, nullptr);
                std::dynamic_pointer_cast<ParamColor>(wrapper->getEffect()->getParams().getParamByName("Color"))
                    ->setValue(Color(0.4f, 0.8f, 0.6f, 1.0f), ValueChangeInfo());
                ASSERT_TRUE(wrapper->getBlendMode().setValueByName("Multiply", ValueChangeInfo()));
                ASSERT_EQ(wrapper->getMixer()->getClassType(), "Multiply");
                wrapper->getOpacity().setValue(amount, ValueChangeInfo());
                prepare(*wrapper, dry);
                const Rgba expected = blendReference("Multiply", {unit(dry.r), unit(dry.g), unit(dry.b), unit(dry.a)},
                                                     {unit(wet.r), unit(wet.g), unit(wet.b), unit(wet.a)}, amount);
                const PixelRGBA8 out = run(*wrapper).at(2, 1);
                EXPECT_TRUE(isNear(out, px(expected.r, expected.g, expected.b, expected.a), 2))
                    << amount << ": " << out;
                wrapper->release();
            }
        }
    }
}
