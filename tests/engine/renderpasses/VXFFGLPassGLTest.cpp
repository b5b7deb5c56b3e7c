// FFGL passes in chains: the Kelvo bundle as an effect, the recording plugin
// as effect, mixer and generator.

#include "engine/renderpasses/VXFFGLTestSupport.h"
#include "engine/renderpasses/VXRenderPassTestSupport.h"

#include "engine/ffgl/FFGL.h"
#include "engine/renderpasses/VXAlphaMixer.h"
#include "engine/renderpasses/VXDryWetEffect.h"
#include "engine/renderpasses/VXFFGLEffect.h"
#include "engine/renderpasses/VXFFGLGenerator.h"
#include "engine/renderpasses/VXFFGLMixer.h"
#include "engine/renderpasses/VXFFGLPluginInstance.h"
#include "engine/renderpasses/VXOSXPluginInstance.h"
#include "support/VXLogRecorder.h"
#include "support/VXTempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#ifndef VX_KELVO_MODULE_PATH
#define VX_KELVO_MODULE_PATH ""
#endif

namespace
{
    using namespace vx;
    using namespace vx::test;

    class FFGLPassGLTest : public RenderPassGLTest
    {
    protected:
        void SetUp() override
        {
            RenderPassGLTest::SetUp();
            restoresViewport = true; // passes rendered on their own set it
            if (*recorderPath == 0)  // the recording plugin comes with every other module
                GTEST_SKIP() << "no plugin modules in this build";
        }

        static std::shared_ptr<RenderPass> share(RenderPass* pass)
        {
            return std::shared_ptr<RenderPass>(pass, &GfxObject::deleteUsingManager);
        }

        template <typename T>
        std::shared_ptr<T> param(RenderPass& pass, const std::string& name)
        {
            return std::dynamic_pointer_cast<T>(pass.getParams().getParamByName(name));
        }
    };

    TEST_F(FFGLPassGLTest, KelvoInAChainShowsItsInputAndThenFlakes)
    {
        if (*VX_KELVO_MODULE_PATH == 0)
            GTEST_SKIP() << "the Kelvo module is not part of this build";
        {
            auto* kelvo = new FFGLEffect(nullptr, 1);
            ASSERT_TRUE(kelvo->load(File(VX_KELVO_MODULE_PATH)));
            EXPECT_EQ(kelvo->getDisplayName(), "Kelvo");
            EXPECT_EQ(kelvo->getUniqueId(), "A189");
            const char* names[] = {"Size", "Speed", "Amount", "Spread", "Threshold", "Show Image", "Smart Edges"};
            ASSERT_EQ(kelvo->getPlugin()->getParams()->getNumParams(), 7);
            for (int i = 0; i < 7; ++i)
                EXPECT_EQ(kelvo->getPlugin()->getParams()->getParam(i)->getName(), names[i]);

            RenderPassChain chain;
            chain.addRenderPass(share(kelvo));
            chain.setSize(64, 64);
            // Dark blue above, white below: one strong edge across the middle.
            const PixelRGBA8 blue{0, 0, 128, 255}, white{255, 255, 255, 255};
            chain.setInput(0, makeInput(64, 64, [&](int, int y) { return y < 32 ? white : blue; }), 0, 0);
            const Picture first = renderAndRead(chain);
            ASSERT_EQ(first.width, 64);
            int shown = 0;
            for (int y = 0; y < 64; ++y)
                shown += isNear(first.at(5, y), y < 32 ? white : blue, 8) ? 1 : 0;
            EXPECT_GT(shown, 56) << "the input shows through the first frame";

            param<Param<bool>>(*kelvo, "Show Image")->setValue(false, ValueChangeInfo());
            for (const char* name : {"Size", "Speed", "Amount"})
                param<ParamRange>(*kelvo, name)->setValue(1.0, ValueChangeInfo());
            // Kelvo runs on the real clock: frames about 16 ms apart, for a few
            // seconds at most.
            int covered = 0;
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (covered < 100 && std::chrono::steady_clock::now() < deadline)
            {
                std::this_thread::sleep_for(std::chrono::milliseconds(16));
                const Picture frame = renderAndRead(chain);
                covered = int(std::count_if(frame.pixels.begin(), frame.pixels.end(),
                                            [](const PixelRGBA8& p) { return p.a > 0 && p.r > 100; }));
            }
            EXPECT_GE(covered, 100) << "no flakes";
            chain.release();
        }
        root->getGfxObjectManager()->cleanAll(); // the pass, dropped with the chain
        // The module leaves the process with the pass, though this thread,
        // which rendered and set its parameters, lives on.
        EXPECT_EQ(getLib(VX_KELVO_MODULE_PATH), nullptr);
        EXPECT_FALSE(isLibraryOpen(VX_KELVO_MODULE_PATH));
    }

    // The hosted plugin's frame sets its own current colour after the passes
    // before it set theirs; the caller's is the one left after every frame.
    TEST_F(FFGLPassGLTest, EveryFrameOfAChainLeavesTheCallersCurrentColour)
    {
        if (*VX_KELVO_MODULE_PATH == 0)
            GTEST_SKIP() << "the Kelvo module is not part of this build";
        registerKind(AlphaMixer::classType(), &AlphaMixer::creationFunc, RenderPassCategoryMixer);
        auto* kelvo = new FFGLEffect(nullptr, 1);
        ASSERT_TRUE(kelvo->load(File(VX_KELVO_MODULE_PATH)));
        RenderPassChain chain;
        chain.addRenderPass(share(kelvo));
        chain.addRenderPass(new TransformEffect());
        chain.addRenderPass(new DryWetEffect(new TransformEffect(), new AlphaMixer()));
        prepare(chain, PixelRGBA8{10, 20, 30, 255}, 16);

        const GLfloat callers[4] = {0.5f, 0.25f, 0.125f, 1.0f};
        glColor4fv(callers);
        for (int frame = 0; frame < 3; ++frame)
        {
            ASSERT_TRUE(chain.render(*renderer));
            // A later state change, as the caller's next drawing makes one:
            // whatever the driver still holds is applied by then.
            glEnable(GL_BLEND);
            glDisable(GL_BLEND);
            GLfloat colour[4] = {};
            glGetFloatv(GL_CURRENT_COLOR, colour);
            EXPECT_TRUE(std::equal(colour, colour + 4, callers)) << "frame " << frame << ": " << colour[0] << ", "
                                                                 << colour[1] << ", " << colour[2] << ", " << colour[3];
        }
        chain.release();
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    }

    TEST_F(FFGLPassGLTest, MixerFollowsOpacityAndFailsWithoutItsSecondInput)
    {
        RecorderModule module;
        module.recorder->script.minInputs = module.recorder->script.maxInputs = 2;
        auto* mixer = new FFGLMixer(FFGLPluginInstance::load(File(recorderPath)), 2);
        module.close();
        ASSERT_NE(mixer->getPlugin(), nullptr);
        EXPECT_NE(mixer->getParams().getParamByName("_plugin_Param 0"), nullptr);
        const std::shared_ptr<RenderPass> pass = share(mixer);

        // A chain supplies input 0 only.
        RenderPassChain chain;
        chain.addRenderPass(pass);
        chain.setSize(4, 4);
        chain.setInput(0, makeInput(4, 4, PixelRGBA8{10, 20, 30, 255}), 0, 0);
        module.recorder->calls.clear();
        renderAndRead(chain);
        for (const RecordedCall& call : module.recorder->calls)
            EXPECT_NE(call.code, std::uint32_t(FFGL::processOpenGL));

        Texture* second = makeInput(4, 4, PixelRGBA8{1, 2, 3, 255});
        mixer->setOutputToCurrentBuffer(false);
        mixer->setInput(1, second, 4, 4);
        mixer->getOpacity().setValue(0.25, ValueChangeInfo());
        ASSERT_TRUE(mixer->render(*renderer));
        EXPECT_EQ(module.recorder->lastInputHandle[1], second->getGLName());
        const auto& calls = module.recorder->calls;
        const auto sent =
            std::find_if(calls.rbegin(), calls.rend(),
                         [](const RecordedCall& c) { return c.code == FFGL::setParameter && c.index == 0; });
        ASSERT_NE(sent, calls.rend());
        EXPECT_FLOAT_EQ(sent->value, 0.25f);

        // Five required inputs: four slots, and frames that fail cleanly.
        module.recorder->script.minInputs = module.recorder->script.maxInputs = 5;
        mixer->setPlugin(FFGLPluginInstance::load(File(recorderPath)));
        EXPECT_EQ(mixer->getNumInputs(), 4);
        EXPECT_FALSE(mixer->render(*renderer));
        chain.release();
    }

    TEST_F(FFGLPassGLTest, ReplacingThePluginOfADrawingPassKeepsItDrawing)
    {
        RecorderModule module;
        auto* effect = new FFGLEffect(FFGLPluginInstance::load(File(recorderPath)), 1);
        const std::shared_ptr<RenderPass> pass = share(effect);
        prepare(*effect, PixelRGBA8{0, 0, 0, 255});
        ASSERT_TRUE(effect->render(*renderer));
        module.recorder->calls.clear();

        effect->setPlugin(FFGLPluginInstance::load(File(recorderPath)));
        // The old instance ended before it was unloaded; the new one drew.
        const std::vector<std::uint32_t> codes = module.codes();
        EXPECT_NE(std::find(codes.begin(), codes.end(), FFGL::deInstantiateGL), codes.end());
        EXPECT_EQ(effect->getParams().getNumParams(), 1 + 7);
        EXPECT_EQ(getLib(recorderPath)->refCount, 1);
        EXPECT_TRUE(effect->render(*renderer));
    }

    TEST_F(FFGLPassGLTest, StoredPassesFindTheirPluginAgain)
    {
        XmlPool pool;
        XmlNode* element = nullptr;
        {
            FFGLEffect stored(FFGLPluginInstance::load(File(recorderPath)), 1);
            element = stored.writeState(pool, true);
        }
        ASSERT_EQ(manager.getRenderPassInfoById("RECO"), nullptr);

        // A generator loads it but leaves it unregistered; an effect
        // registers the kind.
        FFGLGenerator generator(nullptr);
        generator.readState(element, false);
        ASSERT_NE(generator.getPlugin(), nullptr);
        EXPECT_EQ(manager.getRenderPassInfoById("RECO"), nullptr);
        FFGLEffect effect(nullptr, 1);
        effect.readState(element, false);
        ASSERT_NE(effect.getPlugin(), nullptr);
        ASSERT_NE(manager.getRenderPassInfoById("RECO"), nullptr);
        EXPECT_EQ(manager.getRenderPassInfoById("RECO")->getFilePath(), recorderPath);
    }
    // A chain holding Kelvo ("Amount" 0.7), bare or in a dry/wet wrapper,
    // opened while the plugin folder is away and saved, then opened with the
    // folder back: the effect and its "Amount" return.
    TEST_F(FFGLPassGLTest, AShowOpenedWithoutItsPluginKeepsTheEffect)
    {
        if (*VX_KELVO_MODULE_PATH == 0)
            GTEST_SKIP() << "the Kelvo module is not part of this build";
        TempDir folder;
        const std::string bundle = folder.makeDirectory("plugins/Kelvo.bundle/Contents/MacOS") + "/Kelvo";
        std::filesystem::copy_file(VX_KELVO_MODULE_PATH, bundle);
        const std::string plugins = folder.file("plugins"), away = folder.file("away");
        // A new session's kinds: the FFGL passes and what the scan finds.
        const auto startSession = [&]
        {
            manager.clear();
            registerKind(FFGLEffect::classType(), &FFGLEffect::creationFunc, RenderPassCategoryEffect);
            registerKind(DryWetEffect::classType(), &DryWetEffect::creationFunc, RenderPassCategoryEffect);
            manager.scanDirectoryForPlugins(File(plugins));
        };
        const auto amount = [&](RenderPass& pass) { return param<ParamRange>(pass, "Amount"); };
        // The chain's one pass as the hosted effect.
        const auto effectOf = [](RenderPassChain& chain)
        {
            std::shared_ptr<RenderPass> pass = chain.getRenderPass(0);
            if (auto wrapper = std::dynamic_pointer_cast<DryWetEffect>(pass))
                return std::dynamic_pointer_cast<FFGLEffect>(wrapper->getEffect());
            return std::dynamic_pointer_cast<FFGLEffect>(pass);
        };

        for (const bool wrapped : {false, true})
        {
            SCOPED_TRACE(wrapped ? "wrapped" : "bare");
            startSession();
            ASSERT_NE(manager.getRenderPassInfoById("A189"), nullptr);
            XmlDocument withPlugin;
            const XmlNode* saved = nullptr;
            {
                RenderPassChain chain;
                auto* kelvo = new FFGLEffect(nullptr, 1);
                ASSERT_TRUE(kelvo->load(File(bundle)));
                ASSERT_NE(amount(*kelvo), nullptr);
                amount(*kelvo)->setValue(0.7, ValueChangeInfo());
                RenderPass* top = kelvo;
                if (wrapped)
                {
                    auto* wrapper = new DryWetEffect();
                    wrapper->setEffect(kelvo);
                    top = wrapper;
                }
                top->setStorage(XmlCapable::storageCreatable);
                chain.addRenderPass(top);
                saved = chain.writeState(withPlugin, true);
            }

            std::filesystem::rename(plugins, away);
            startSession();
            XmlDocument withoutPlugin;
            const XmlNode* resaved = nullptr;
            {
                LogRecorder log;
                RenderPassChain chain;
                chain.readState(saved, false);
                ASSERT_EQ(chain.getNumPasses(), 1);
                const std::shared_ptr<FFGLEffect> absent = effectOf(chain);
                ASSERT_NE(absent, nullptr);
                EXPECT_EQ(absent->getPlugin(), nullptr);
                EXPECT_EQ(chain.getRenderPass(0)->getUniqueId(), "A189");
                EXPECT_TRUE(log.contains("A189")) << log.dump();
                resaved = chain.writeState(withoutPlugin, true);
            }
            const XmlNode* stored = resaved->first_node("RenderPass");
            ASSERT_NE(stored, nullptr);
            if (wrapped)
                stored = stored->first_node("RenderPass");
            ASSERT_NE(stored, nullptr);
            EXPECT_EQ(readAttribute(stored->first_attribute("uniqueId"), std::string()), "A189");
            EXPECT_EQ(readAttribute(stored->first_attribute("fileName"), std::string()), bundle);

            std::filesystem::rename(away, plugins);
            startSession();
            RenderPassChain chain;
            chain.readState(resaved, false);
            ASSERT_EQ(chain.getNumPasses(), 1);
            const std::shared_ptr<FFGLEffect> back = effectOf(chain);
            ASSERT_NE(back, nullptr);
            ASSERT_NE(back->getPlugin(), nullptr);
            EXPECT_EQ(back->getUniqueId(), "A189");
            ASSERT_NE(amount(*back), nullptr);
            EXPECT_NEAR(amount(*back)->getValue(), 0.7, 1e-6);
        }
    }

    // The mixer and the generator alike: without their plugin they write
    // back the stored one with its settings, and take it again once it is
    // there; a plugin loaded later replaces what they kept.
    TEST_F(FFGLPassGLTest, MixersAndGeneratorsKeepAPluginTheyCannotLoad)
    {
        TempDir folder;
        const std::string file = folder.makeDirectory("plugins") + "/Recorder";
        std::filesystem::copy_file(recorderPath, file);
        const auto check = [&]<typename Pass>(const std::string& paramName, auto make)
        {
            SCOPED_TRACE(Pass::classType());
            XmlPool pool;
            const XmlNode* saved = nullptr;
            {
                std::unique_ptr<Pass> pass(make());
                ASSERT_TRUE(pass->load(File(file)));
                param<ParamRange>(*pass, paramName)->setValue(0.25, ValueChangeInfo());
                saved = pass->writeState(pool, true);
            }
            std::filesystem::rename(file, file + ".away");
            std::unique_ptr<Pass> absent(make());
            absent->readState(saved, false);
            EXPECT_EQ(absent->getPlugin(), nullptr);
            EXPECT_EQ(absent->getUniqueId(), "RECO");
            const XmlNode* resaved = absent->writeState(pool, true);
            std::filesystem::rename(file + ".away", file);

            std::unique_ptr<Pass> back(make());
            back->readState(resaved, false);
            ASSERT_NE(back->getPlugin(), nullptr);
            EXPECT_NEAR(param<ParamRange>(*back, paramName)->getValue(), 0.25, 1e-6);

            // A plugin given later: the pass writes its own parameters only.
            absent->setPlugin(FFGLPluginInstance::load(File(file)));
            const XmlNode* params = absent->writeState(pool, true)->first_node("Params");
            ASSERT_NE(params, nullptr);
            int written = 0;
            for (const XmlNode* child = params->first_node(); child != nullptr; child = child->next_sibling())
                ++written;
            EXPECT_EQ(written, absent->getParams().getNumParams());
        };
        check.operator()<FFGLMixer>("_plugin_Param 1", [] { return new FFGLMixer(nullptr, 2); });
        check.operator()<FFGLGenerator>("Param 1", [] { return new FFGLGenerator(nullptr); });
    }
}
