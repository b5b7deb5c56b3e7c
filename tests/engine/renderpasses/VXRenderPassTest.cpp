#include "engine/renderpasses/VXRenderPass.h"

#include "VXRenderPassTestSupport.h"
#include "core/xml/VXXmlStates.h"
#include "engine/gfx/VXTextureManager.h"
#include "engine/renderpasses/VXDryWetEffect.h"
#include "engine/renderpasses/VXMixer.h"
#include "engine/renderpasses/VXRenderPassFactory.h"
#include "engine/renderpasses/VXRenderPassView.h"
#include "support/VXLogRecorder.h"

#include <cstring>

namespace vx::test
{
    namespace
    {
        // A pass that records every resize.
        class ResizeRecorder : public AddConstantPass
        {
        public:
            void resized(int w, int h) override { sizes.push_back({w, h}); }
            std::vector<std::pair<int, int>> sizes;
        };

        // The current render-pass manager with the test kinds; no GL.
        class RenderPassTest : public ::testing::Test
        {
        protected:
            void SetUp() override { RenderPassManager::setCurrent(&manager); }
            void TearDown() override
            {
                manager.clear();
                RenderPassManager::clearCurrent(&manager);
            }

            RenderPassInfo* registerKind(const std::string& name, RenderPassInfo::CreationFunc creationFunc,
                                         RenderPassCategory category, bool wrappable = false)
            {
                if (! manager.registerRenderPass(name, name + " shown", creationFunc, category, 1, wrappable, false))
                    return nullptr;
                return manager.getRenderPassInfo(name, category);
            }

            static std::string attribute(const XmlNode& node, const char* name)
            {
                const XmlAttribute* a = node.first_attribute(name);
                return a != nullptr ? std::string(a->value(), a->value_size()) : "<none>";
            }

            RenderPassManager manager;
            RenderPassFactory& factory = manager.getFactory();
            XmlPool pool;
        };

        TEST_F(RenderPassTest, SizeAndOrigin)
        {
            ResizeRecorder pass;
            pass.setSize(640, 480);
            pass.setSize(640, 480);
            EXPECT_EQ(pass.sizes.size(), 1u) << "an unchanged size is not a resize";
            pass.setSize(10, 20, 640, 480);
            EXPECT_EQ(pass.sizes.size(), 1u);
            RectT<int> size = pass.getSize();
            EXPECT_EQ(size.x1, 10);
            EXPECT_EQ(size.y1, 20);
            pass.setSize(RectT<int>(100, 50, 20, 10));
            size = pass.getSize();
            EXPECT_EQ(size.x1, 100);
            EXPECT_EQ(size.y1, 50);
            EXPECT_EQ(size.x2, 80);
            EXPECT_EQ(size.y2, 40);
            ASSERT_EQ(pass.sizes.size(), 2u);
            EXPECT_EQ(pass.sizes[1], std::make_pair(80, 40));
        }

        TEST_F(RenderPassTest, SlotIndicesOutsideTheFourAreRefused)
        {
            AddConstantPass pass;
            Texture* marker = reinterpret_cast<Texture*>(&pass); // never dereferenced: the slots only keep it
            pass.setInput(3, RenderPassTexture(marker, 1.0f, 1.0f, RenderPassTexture::Mask));
            LogRecorder log;
            for (int index : {-1, 4, 1000})
            {
                pass.setInput(index, RenderPassTexture(nullptr, 9.0f, 9.0f, RenderPassTexture::Default));
                pass.setInput(index, nullptr, 9, 9);
                pass.setAuxInput(index, RenderPassTexture());
                pass.setOutput(index, RenderPassTexture());
                pass.setOutputTexture(index, nullptr);
                EXPECT_EQ(pass.getInput(index), nullptr);
                EXPECT_EQ(pass.getAuxInput(index), nullptr);
                EXPECT_EQ(pass.getOutput(index), nullptr);
            }
            EXPECT_EQ(log.count(logError), 15u) << log.dump();
            EXPECT_TRUE(log.contains("RenderPass::setAuxInput: there is no slot 1000")) << log.dump();
            EXPECT_EQ(pass.getInput(3)->texture, marker) << "the neighbouring slot is untouched";
            EXPECT_EQ(pass.getInput(3)->type, RenderPassTexture::Mask);
        }

        TEST_F(RenderPassTest, WithoutAnEngineNoPoolIsReached)
        {
            ASSERT_EQ(TextureManager::getCurrent(), nullptr);
            AddConstantPass pass;
            pass.setInput(0, nullptr, 0, 0);
            EXPECT_EQ(pass.getInput(0)->texture, nullptr) << "no blank texture to put in";
            EXPECT_EQ(pass.stealOutput().get(), nullptr);
            pass.retainOutput(true);
            pass.release();
            EXPECT_EQ(pass.getRenderTarget(), nullptr);
        }

        TEST_F(RenderPassTest, ElementCarriesTypeIdParamsAndAFoldedViewOnly)
        {
            AddConstantPass pass(0.25);
            XmlNode* element = pass.writeState(pool, true);
            ASSERT_NE(element, nullptr);
            EXPECT_STREQ(element->name(), "RenderPass");
            EXPECT_EQ(attribute(*element, "type"), "TestAddConstant");
            EXPECT_EQ(attribute(*element, "uniqueId"), "TestAddConstant");
            EXPECT_EQ(std::string(element->last_attribute()->name()), "uniqueId");
            ASSERT_NE(element->first_node("Params"), nullptr);
            EXPECT_EQ(element->first_node("View"), nullptr) << "no view made";

            pass.getView();
            EXPECT_EQ(pass.writeState(pool, false)->first_node("View"), nullptr) << "an unfolded view is not written";
            pass.getView().setFoldState(true);
            XmlNode* folded = pass.writeState(pool, true);
            ASSERT_NE(folded->first_node("View"), nullptr);
            EXPECT_EQ(attribute(*folded->first_node("View"), "folded"), "1");

            AddConstantPass copy(0.9);
            copy.readState(folded, false);
            EXPECT_DOUBLE_EQ(copy.amount->getValue(), 0.25);
            EXPECT_TRUE(copy.hasView());
            EXPECT_TRUE(copy.getView().isCurrentlyFolded());
        }

        TEST_F(RenderPassTest, PassesAreMadeFromElementsByRegisteredType)
        {
            RenderPassInfo* kind =
                registerKind(AddConstantPass::classType(), &AddConstantPass::creationFunc, RenderPassCategoryEffect);
            AddConstantPass original(0.3);
            XmlNode* element = original.writeState(pool, true);

            std::unique_ptr<RenderPass> made(RenderPass::createRenderPassFromXmlNode(element));
            ASSERT_NE(made, nullptr);
            EXPECT_DOUBLE_EQ(static_cast<AddConstantPass&>(*made).amount->getValue(), 0.3);
            EXPECT_EQ(made->getExtension(), kind);

            element->remove_attribute(element->first_attribute("type"));
            EXPECT_EQ(RenderPass::createRenderPassFromXmlNode(element), nullptr);
            element->append_attribute(createAttribute(pool, "type", "NoSuchPass"));
            EXPECT_EQ(RenderPass::createRenderPassFromXmlNode(element), nullptr);
            EXPECT_EQ(RenderPass::createRenderPassFromXmlNode(nullptr), nullptr);
        }

        TEST_F(RenderPassTest, ARenamedPassKeepsItsKind)
        {
            RenderPassInfo* kind =
                registerKind(AddConstantPass::classType(), &AddConstantPass::creationFunc, RenderPassCategoryEffect);
            AddConstantPass loose;
            EXPECT_EQ(loose.getExtension(), kind) << "found by class type";
            loose.setName("My Own Name", true);
            EXPECT_EQ(loose.getUniqueId(), "My Own Name");
            EXPECT_EQ(loose.getExtension(), kind);

            std::unique_ptr<RenderPass> made(kind->instantiate());
            made->setName("Renamed", true);
            EXPECT_EQ(made->getExtension(), kind);
            RenderPassManager::clearCurrent(&manager);
            EXPECT_EQ(made->getExtension(), kind) << "the registry's link needs no lookup";
            EXPECT_EQ(loose.getExtension(), nullptr);
        }

        TEST_F(RenderPassTest, RegistryRefusesDuplicatesPerCategory)
        {
            RenderPassInfo* effect = registerKind("Blur", &AddConstantPass::creationFunc, RenderPassCategoryEffect);
            ASSERT_NE(effect, nullptr);
            EXPECT_EQ(registerKind("Blur", &AddConstantPass::creationFunc, RenderPassCategoryEffect), nullptr);
            EXPECT_EQ(factory.getNumEntries(), 1u);
            RenderPassInfo* mixerKind = registerKind(
                "Blur", [] { return static_cast<RttiObject*>(new Mixer(2)); }, RenderPassCategoryMixer);
            ASSERT_NE(mixerKind, nullptr);
            EXPECT_EQ(factory.findRenderPass("Blur", RenderPassCategoryAny), effect) << "first registered";
            EXPECT_EQ(factory.findRenderPass("Blur", RenderPassCategoryMixer), mixerKind);
            EXPECT_EQ(factory.findRenderPass("Blur", RenderPassCategoryGenerator), nullptr);

            std::unique_ptr<RttiObject> bare(factory.createRenderPass("Blur", RenderPassCategoryMixer));
            ASSERT_NE(dynamic_cast<Mixer*>(bare.get()), nullptr);
            EXPECT_EQ(static_cast<Mixer&>(*bare).getExtension(), nullptr) << "the factory sets no extension";
        }

        TEST_F(RenderPassTest, KindsMakePassesOfTheirKindOnly)
        {
            RenderPassInfo* effect =
                registerKind("Adder", &AddConstantPass::creationFunc, RenderPassCategoryEffect, true);
            std::unique_ptr<RenderPass> plain(effect->createRenderPass(nullptr, true));
            EXPECT_EQ(static_cast<DryWetEffect&>(*plain).getMixer()->getExtension(), nullptr)
                << "no Alpha: a bare mixer";
            RenderPassInfo* mixerKind = registerKind(
                "Alpha", [] { return static_cast<RttiObject*>(new Mixer(2)); }, RenderPassCategoryMixer);

            std::unique_ptr<Mixer> byName(effect->createMixer("Alpha"));
            ASSERT_NE(byName, nullptr);
            EXPECT_EQ(byName->getExtension(), mixerKind);
            EXPECT_EQ(effect->createMixer("Missing"), nullptr);
            // The wrong kind is answered as null and deleted (the leak check would see it).
            EXPECT_EQ(effect->createMixer(""), nullptr);
            EXPECT_EQ(effect->createGenerator(), nullptr);
            EXPECT_EQ(mixerKind->createEffect(), nullptr);
            std::unique_ptr<Effect> made(effect->createEffect());
            ASSERT_NE(made, nullptr);
            EXPECT_EQ(made->getExtension(), effect);

            std::unique_ptr<RenderPass> wrapped(effect->createRenderPass(nullptr, true));
            auto* wrapper = dynamic_cast<DryWetEffect*>(wrapped.get());
            ASSERT_NE(wrapper, nullptr) << "a wrappable kind asked to wrap";
            EXPECT_EQ(wrapper->getExtension(), effect);
            EXPECT_EQ(wrapper->getMixer()->getExtension(), mixerKind) << "mixed by the kind registered as Alpha";
        }

        TEST_F(RenderPassTest, APresetIsReadIntoTheNewPass)
        {
            RenderPassInfo* kind =
                registerKind(AddConstantPass::classType(), &AddConstantPass::creationFunc, RenderPassCategoryEffect);
            AddConstantPass source(0.6);
            kind->setDefaultStateFromInstance(source);
            XmlState* preset = kind->getPresets()->getDefaultState();
            ASSERT_NE(preset, nullptr);

            std::unique_ptr<RenderPass> made(kind->createRenderPass(preset, false));
            ASSERT_NE(made, nullptr);
            EXPECT_DOUBLE_EQ(static_cast<AddConstantPass&>(*made).amount->getValue(), 0.6);
            EXPECT_EQ(made->getPresetID(), preset->getUniqueId());
        }
    }
}
