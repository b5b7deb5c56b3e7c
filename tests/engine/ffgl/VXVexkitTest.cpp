#include "engine/ffgl/VXVexkit.h"

#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/VXEngineRoot.h"
#include "core/VXFile.h"
#include "core/VXTaskManager.h"
#include "core/parameters/VXParam.h"
#include "core/parameters/VXParamCollection.h"
#include "core/parameters/VXPixelsLoader.h"
#include "core/xml/VXApplicationInterface.h"
#include "engine/behaviours/VXAudioObjectBase.h"
#include "engine/behaviours/VXAudioObjectManager.h"
#include "engine/gfx/VXContextManager.h"
#include "engine/gfx/VXGfxObject.h"
#include "engine/gfx/VXGfxObjectManager.h"
#include "engine/gfx/VXRenderTargetManager.h"
#include "engine/gfx/VXTexture.h"
#include "engine/gfx/VXTextureDebugger.h"
#include "engine/gfx/VXTextureManager.h"
#include "engine/gui/VXBaseInputMessage.h"
#include "engine/gui/VXInputController.h"
#include "engine/network/VXNetworkVideoServerManager.h"
#include "engine/renderpasses/VXRenderPassManager.h"
#include "engine/video/formats/VXVideoFormatManager.h"

#include "support/VXLogRecorder.h"
#include "support/VXTempDir.h"

namespace
{
    using namespace vx;

    class VexkitTest : public testing::Test
    {
    protected:
        void SetUp() override { Vexkit::deleteInstance(); }
        void TearDown() override { Vexkit::deleteInstance(); }
    };

    TEST_F(VexkitTest, CreateKeepsAnExistingRoot)
    {
        Vexkit* root = Vexkit::create(3);
        EXPECT_EQ(root->getConfiguration(), 3u);

        test::LogRecorder log;
        EXPECT_EQ(Vexkit::create(0x400), root);
        EXPECT_EQ(root->getConfiguration(), 3u);
        EXPECT_EQ(log.count(logWarning), 1u) << log.dump();
    }

    TEST_F(VexkitTest, ParameterRegistryLivesFromInitialiseToShutdown)
    {
        Vexkit* root = Vexkit::create(3);
        EXPECT_TRUE(root->initialise(false));
        ParamCollection* collection = root->getParamCollection();
        ASSERT_NE(collection, nullptr);
        EXPECT_TRUE(root->initialise(false));
        EXPECT_EQ(root->getParamCollection(), collection) << "a second initialise keeps the managers";

        root->shutdown();
        EXPECT_EQ(root->getParamCollection(), nullptr);
        root->shutdown();

        // Managers left by a host that never shut down go with the root.
        EXPECT_TRUE(root->initialise(false));
    }

    TEST_F(VexkitTest, ConcurrentFirstCallsShareOneRoot)
    {
        std::vector<Vexkit*> seen(8, nullptr);
        std::atomic<bool> go{false};
        std::vector<std::thread> threads;
        for (auto& slot : seen)
            threads.emplace_back(
                [&slot, &go]
                {
                    while (! go.load())
                        std::this_thread::yield();
                    slot = Vexkit::getInstance();
                });
        go.store(true);
        for (auto& thread : threads)
            thread.join();

        const std::set<Vexkit*> distinct(seen.begin(), seen.end());
        EXPECT_EQ(distinct.size(), 1u);
        EXPECT_NE(*distinct.begin(), nullptr) << "getInstance makes the root";
        EXPECT_EQ(*distinct.begin(), Vexkit::getInstanceWithoutCreating());
    }

    TEST_F(VexkitTest, PluginFlagsBuildOnlyTheirManagers)
    {
        Vexkit* root = Vexkit::create(3);
        EXPECT_EQ(root->getContextManager(), nullptr);
        ASSERT_TRUE(root->initialise(false));
        // The managers it does build are named by their seams (below).
        EXPECT_EQ(root->getTaskManager(), nullptr);
        EXPECT_EQ(TaskManager::getCurrent(), nullptr);
        EXPECT_EQ(root->getRenderPassManager(), nullptr);
        EXPECT_EQ(root->getVideoSourceManager(), nullptr);
        EXPECT_EQ(root->getInputController(), nullptr);
        EXPECT_EQ(root->getColorManager(), nullptr);
        EXPECT_EQ(root->getPrimaryRenderer(), nullptr) << "no context registered";
        EXPECT_FALSE(root->isInitialised()) << "no GL start-up without GL";
        root->shutdown();
        Vexkit::deleteInstance();

        root = Vexkit::create(3 | 0x400);
        ASSERT_TRUE(root->initialise(false));
        ASSERT_NE(root->getColorManager(), nullptr);
        root->shutdown();
        EXPECT_EQ(root->getColorManager(), nullptr);
    }

    TEST_F(VexkitTest, VideoFormatManagerLivesUnderItsFlagAndLoadsPixels)
    {
        Vexkit* root = Vexkit::create(3);
        ASSERT_TRUE(root->initialise(false));
        EXPECT_EQ(root->getVideoFormatManager(), nullptr);
        EXPECT_EQ(PixelsLoader::getCurrent(), nullptr);
        root->shutdown();
        Vexkit::deleteInstance();

        root = Vexkit::create(0x80);
        ASSERT_TRUE(root->initialise(false));
        ASSERT_NE(root->getVideoFormatManager(), nullptr);
        EXPECT_EQ(root->getVideoFormatManager()->getNumKnownFormats(), 5);
        EXPECT_EQ(PixelsLoader::getCurrent(), root->getVideoFormatManager());
        root->release();
        root->shutdown();
        EXPECT_EQ(root->getVideoFormatManager(), nullptr);
        EXPECT_EQ(PixelsLoader::getCurrent(), nullptr) << "no dangling loader";
        Vexkit::deleteInstance();
    }

    // A program that does not link a manager's layer has no maker for it:
    // the flag makes nothing and says why; once a maker is there, the next
    // initialise makes the manager.
    TEST_F(VexkitTest, AFlagWhoseLayerIsNotLinkedMakesNothingAndSaysSo)
    {
        const auto formats = EngineRoot::Module::VideoFormatManager;
        const EngineRoot::ModuleMaker installed = EngineRoot::getModuleMaker(formats);
        ASSERT_NE(installed, nullptr) << "the suite links every layer";
        EngineRoot::setModuleMaker(formats, nullptr);
        Vexkit* root = Vexkit::create(0x80);
        test::LogRecorder log;
        const bool initialised = root->initialise(false);
        EngineRoot::setModuleMaker(formats, installed);
        EXPECT_TRUE(initialised);
        EXPECT_EQ(root->getVideoFormatManager(), nullptr);
        EXPECT_EQ(root->getModule(formats), nullptr);
        EXPECT_EQ(PixelsLoader::getCurrent(), nullptr);
        EXPECT_EQ(log.count(logWarning), 1u) << log.dump();

        ASSERT_TRUE(root->initialise(false));
        ASSERT_NE(root->getVideoFormatManager(), nullptr);
        EXPECT_EQ(PixelsLoader::getCurrent(), root->getVideoFormatManager());
        root->shutdown();
        EXPECT_EQ(PixelsLoader::getCurrent(), nullptr);
    }

    TEST_F(VexkitTest, TaskManagerFillsTheSeamWhileItLives)
    {
        for (const unsigned int flags : {0x4u, 0x20u})
        {
            SCOPED_TRACE(flags);
            Vexkit* root = Vexkit::create(flags);
            ASSERT_TRUE(root->initialise(false));
            ASSERT_NE(root->getTaskManager(), nullptr);
            EXPECT_EQ(TaskManager::getCurrent(), root->getTaskManager());
            EXPECT_EQ(root->getTextureManager(), nullptr);

            int ran = 0;
            root->getTaskManager()->fireTask(
                TaskThreadMode::Update, [&ran] { ++ran; }, false, 0);
            root->getTaskManager()->fireTask(
                TaskThreadMode::Renderer, [&ran] { ran += 10; }, false, 0);
            root->executeUpdateTask();
            EXPECT_EQ(ran, 1);
            root->executeRenderTask();
            EXPECT_EQ(ran, 11);

            root->shutdown();
            EXPECT_EQ(TaskManager::getCurrent(), nullptr) << "no dangling current manager";
            Vexkit::deleteInstance();
        }
    }

    // Flag 0x20 makes the input controller over the root's task manager; its
    // render-thread messages wait for the host's render task.
    TEST_F(VexkitTest, InputControllerLivesUnderItsFlag)
    {
        struct Message : BaseInputMessage
        {
            Message(ParamBase* target, int& applied) : BaseInputMessage(target), count(applied) {}
            void apply() override { ++count; }
            int& count;
        };

        Vexkit* root = Vexkit::create(0x20);
        ASSERT_TRUE(root->initialise(false));
        InputController* controller = root->getInputController();
        ASSERT_NE(controller, nullptr);
        EXPECT_EQ(InputController::getCurrent(), controller);
        EXPECT_TRUE(controller->isRunning());

        Param<int> target("Target", 0);
        target.setThreadAffinity(ParamBase::ThreadAffinity_RenderThread);
        int applied = 0;
        controller->pushMessage(new Message(&target, applied));
        EXPECT_EQ(applied, 0);
        root->executeRenderTask();
        EXPECT_EQ(applied, 1);

        root->shutdown();
        EXPECT_EQ(root->getInputController(), nullptr);
        EXPECT_EQ(InputController::getCurrent(), nullptr);

        Vexkit::deleteInstance();
        root = Vexkit::create(0x4);
        ASSERT_TRUE(root->initialise(false));
        EXPECT_EQ(root->getInputController(), nullptr) << "the task manager alone does not make one";
        root->shutdown();
    }

    // The layers below the root reach it only through these seams: each names
    // the root's object exactly while it exists.
    TEST_F(VexkitTest, SeamsNameTheRootsObjectsWhileTheyLive)
    {
        struct Application : ApplicationInterface
        {
            int getMajorVersion() override { return 1; }
            int getMinorVersion() override { return 0; }
            int getMicroVersion() override { return 0; }
            int getRevision() override { return 0; }
            bool isVersionCompatible(int, int, int, int, bool, bool, bool) override { return true; }
            std::string getApplicationName() override { return "Seams"; }
        } application;

        auto seams = []
        {
            return std::vector<const void*>{EngineRoot::getCurrent(),        ParamCollection::getCurrent(),
                                            ContextManager::getCurrent(),    GfxObjectManager::getCurrent(),
                                            TextureManager::getCurrent(),    RenderTargetManager::getCurrent(),
                                            RenderPassManager::getCurrent(), ApplicationInterface::getCurrent()};
        };
        const std::vector<const void*> none(8, nullptr);
        EXPECT_EQ(seams(), none);

        Vexkit* root = Vexkit::create(3 | 0x200);
        root->setCurrentApplication(&application);
        ASSERT_TRUE(root->initialise(false));
        EXPECT_EQ(seams(), (std::vector<const void*>{root, root->getParamCollection(), root->getContextManager(),
                                                     root->getGfxObjectManager(), root->getTextureManager(),
                                                     root->getRenderTargetManager(), root->getRenderPassManager(),
                                                     &application}));
        EXPECT_NE(root->getRenderPassManager(), nullptr);
        root->shutdown();
        EXPECT_EQ(seams(),
                  (std::vector<const void*>{root, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &application}));
        Vexkit::deleteInstance();
        EXPECT_EQ(seams(), none);
    }

    TEST_F(VexkitTest, MessageTaskEmptiesTheDeletionQueueWithoutTaskManager)
    {
        struct Counted : GfxObject
        {
            int* deleted;
            explicit Counted(int* counter) : deleted(counter) {}
            ~Counted() override { ++*deleted; }
        };
        int deleted = 0;
        Vexkit* root = Vexkit::create(0);
        ASSERT_TRUE(root->initialise(false));
        root->getGfxObjectManager()->addForDeletion(new Counted(&deleted));
        root->getGfxObjectManager()->addForDeletion(new Counted(&deleted));

        EXPECT_FALSE(root->executeMessageTask()) << "nothing released yet";
        EXPECT_TRUE(root->executeRenderTask());
        EXPECT_EQ(deleted, 0);
        EXPECT_TRUE(root->executeMessageTask());
        EXPECT_EQ(deleted, 2);
        EXPECT_EQ(root->getGfxObjectManager()->getNumDeletingObjects(), 0);
        EXPECT_FALSE(root->executeMessageTask());
    }

    TEST_F(VexkitTest, MessageTaskDisposesAudioObjectsAndTheRootEndsTheirManager)
    {
        struct Counted : AudioObjectBase
        {
            int* disposed;
            explicit Counted(int* counter) : disposed(counter) {}
            ~Counted() override { ++*disposed; }
        };
        int disposed = 0;
        Vexkit* root = Vexkit::create(0);
        AudioObjectManager::getInstance()->addForDeletion(new Counted(&disposed));
        root->executeMessageTask();
        EXPECT_EQ(disposed, 1);

        AudioObjectManager::getInstance()->addForDeletion(new Counted(&disposed));
        Vexkit::deleteInstance();
        EXPECT_EQ(disposed, 2) << "the root disposes of what is still queued";
        EXPECT_EQ(AudioObjectManager::getInstanceWithoutCreating(), nullptr);
    }

    TEST_F(VexkitTest, RootEndsTheNetworkVideoServerManager)
    {
        Vexkit::create(0);
        Vexkit::deleteInstance();
        EXPECT_EQ(NetworkVideoServerManager::getInstanceWithoutCreating(), nullptr) << "none made, none deleted";

        Vexkit::create(0);
        ASSERT_NE(NetworkVideoServerManager::getInstance(), nullptr);
        Vexkit::deleteInstance();
        EXPECT_EQ(NetworkVideoServerManager::getInstanceWithoutCreating(), nullptr);
    }

    TEST_F(VexkitTest, DefaultColorFormatChangeIsAnnounced)
    {
        const TextureFormat* original = DEFAULT_COLOR_FMT;
        Vexkit* root = Vexkit::create(0);
        ASSERT_TRUE(root->initialise(false));
        std::vector<int> states;
        root->formatChangeSignal.connect([&states](Vexkit::FormatChangeState state) { states.push_back(state); });

        root->setDefaultColorFormat(*DEFAULT_COLOR_FMT);
        EXPECT_TRUE(states.empty()) << "the current default changes nothing";

        {
            const TextureFormat other = Texture::RGBA16F;
            root->setDefaultColorFormat(other);
        }
        EXPECT_EQ(states, (std::vector<int>{0, 1}));
        ASSERT_NE(DEFAULT_COLOR_FMT, nullptr);
        EXPECT_EQ(*DEFAULT_COLOR_FMT, Texture::RGBA16F) << "kept after the caller's copy is gone";
        DEFAULT_COLOR_FMT = original;
    }

    TEST_F(VexkitTest, DebugFolderIsMadeWithTheTextureDebuggersFolder)
    {
        Vexkit* root = Vexkit::create(0);
        test::TempDir temp;
        const File folder(temp.file("debug/"));
        root->setDebugDirectory(folder);
        EXPECT_TRUE(folder.existsAsDirectory());
        EXPECT_TRUE(File(temp.file("debug/textureDebugger/")).existsAsDirectory());
        EXPECT_EQ(TextureDebugger::getInstance().getDirectory(), File(temp.file("debug/textureDebugger/")));

        test::LogRecorder log;
        root->setDebugDirectory(File(temp.file("missing/parent/")));
        EXPECT_GE(log.count(logError), 1u) << "a folder that cannot be made is reported";
        TextureDebugger::getInstance().setDirectory(File());
    }
}
