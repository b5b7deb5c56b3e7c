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

        struct Registration
        {
            const char* type;
            const char* display;
            RenderPassCategory category;
            int inputs;
            bool wrappable, hidden;
        };

        constexpr RenderPassCategory any = RenderPassCategoryAny, effect = RenderPassCategoryEffect,
                                     mixer = RenderPassCategoryMixer, generator = RenderPassCategoryGenerator;

        const Registration registrations[] = {
            {"RenderPassChain", "RenderPass Chain", any, 100, false, false},
            {"DryWetEffect", "DryWet Effect", any, 100, false, false},
            {"FFGLEffect", "FFGL Effect", any, 100, false, false},
            {"FFGLMixer", "FFGL Mixer", any, 100, false, false},
            {"FFGLGenerator", "FFGL Generator", any, 100, false, false},
            {"Add", "Add", mixer, 2, false, false},
            {"Add50", "50 Add", mixer, 2, false, false},
            {"Burn", "Burn", mixer, 2, false, false},
            {"Darken", "Darken", mixer, 2, false, false},
            {"Difference", "Difference", mixer, 2, false, false},
            {"DifferenceI", "Difference I", mixer, 2, false, false},
            {"Dodge", "Dodge", mixer, 2, false, false},
            {"Lighten", "Lighten", mixer, 2, false, false},
            {"Multiply", "Multiply", mixer, 2, false, false},
            {"SoftLight", "Soft Light", mixer, 2, false, false},
            {"Alpha", "Alpha", mixer, 2, false, false},
            {"ShaderToyMixer", "ShaderToy", mixer, 2, false, false},
            {"AddSubtract", "Add Subtract", effect, 1, true, false},
            {"BrightnessContrast", "Bright.Contrast", effect, 1, true, false},
            {"Blow", "Blow", effect, 1, true, false},
            {"Transform", "Transform", effect, 1, true, false},
            {"FreeTransform", "Free Transform", effect, 1, true, false},
            {"ShiftRGB", "Shift RGB", effect, 1, true, false},
            {"Deinterlace", "Deinterlace", effect, 1, false, true},
            {"Premultiply", "Premultiply", effect, 1, false, true},
            {"FormatConversion", "Format Conversion", effect, 1, false, true},
            {"RGBASwitch", "RGBA Switch", effect, 1, false, true},
            {"Blur", "Blur", effect, 1, false, true},
            {"MotionBlur", "Motion Blur", effect, 1, true, false},
            {"UVMap", "UV Map", effect, 1, true, true},
            {"EdgeDetect", "Edge Detect", effect, 1, false, true},
            {"SolidColorEffect", "Solid Color", effect, 1, true, false},
            {"ShaderToy", "ShaderToy", effect, 1, true, false},
            {"ToLuminosity", "To Luminosity", effect, 1, false, true},
            {"Mask", "Mask", effect, 1, true, false},
            {"Blank", "Blank", generator, 0, false, false},
            {"SolidColor", "Solid Color", generator, 0, false, false},
            {"Gradient", "Gradient", generator, 0, false, false},
            {"CheckerBoard", "CheckerBoard", generator, 0, false, true},
            {"MovingBar", "Moving Bar", generator, 0, false, false},
            {"TestScreen", "Test Screen", generator, 0, false, true},
        };

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

        TEST_F(InternalRenderPassesGLTest, EachKindHasItsCategoryInputsAndFlags)
        {
            ASSERT_TRUE(builtIns.registerInternalRenderPasses());
            for (const Registration& row : registrations)
            {
                SCOPED_TRACE(row.type);
                RenderPassInfo* info = builtIns.getRenderPassInfo(row.type, row.category);
                ASSERT_NE(info, nullptr);
                EXPECT_EQ(info->getRenderPassCategory(), row.category);
                EXPECT_EQ(info->getExtensionDisplayName(), row.display);
                EXPECT_EQ(info->getExtensionUniqueId(), row.type);
                EXPECT_EQ(info->getExtensionDescription(), "internal effect");
                EXPECT_EQ(info->getNumInputs(), row.inputs);
                EXPECT_EQ(info->isDryWetWrappable(), row.wrappable);
                EXPECT_EQ(info->isHidden(), row.hidden);
                std::unique_ptr<RenderPass> pass(info->createRenderPass(nullptr, false));
                ASSERT_NE(pass, nullptr);
                EXPECT_EQ(pass->getClassType(), row.type);
            }
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

        TEST_F(InternalRenderPassesGLTest, ChoicesOfFrameworkClassesAndOfMixers)
        {
            ASSERT_TRUE(builtIns.registerInternalRenderPasses());
            const auto choiceNames = [](const ParamChoice<unsigned long long>& choice)
            {
                std::vector<std::string> list;
                for (const auto& entry : choice.getChoices())
                    list.push_back(entry.getName());
                return list;
            };
            ParamChoice<unsigned long long> choice("Kinds");
            builtIns.populateChoiceWithRenderPassesByCategory(choice, RenderPassCategoryAny);
            EXPECT_EQ(choiceNames(choice), (std::vector<std::string>{"DryWetEffect", "FFGLEffect", "FFGLGenerator",
                                                                     "FFGLMixer", "RenderPassChain"}));

            builtIns.populateChoiceWithRenderPassesByCategory(choice, RenderPassCategoryMixer);
            EXPECT_EQ(choiceNames(choice),
                      (std::vector<std::string>{"Add", "Add50", "Alpha", "Burn", "Darken", "Difference", "DifferenceI",
                                                "Dodge", "Lighten", "Multiply", "ShaderToyMixer", "SoftLight"}));
            for (const auto& entry : choice.getChoices())
                EXPECT_EQ(entry.getValue(), hashFromString(entry.getName())) << "the hash of the unique id";
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
