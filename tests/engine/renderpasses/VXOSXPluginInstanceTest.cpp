// Plugin libraries opened once and shared, closed with their last user, and
// found by scanning a folder tree.

#include "engine/renderpasses/VXFFGLTestSupport.h"

#include "core/VXFile.h"
#include "core/parameters/VXParamContainer.h"
#include "engine/ffgl/FFGL.h"
#include "engine/renderpasses/VXDryWetEffect.h"
#include "engine/renderpasses/VXFFGLEffect.h"
#include "engine/renderpasses/VXOSXPluginInstance.h"
#include "engine/renderpasses/VXRenderPassManager.h"
#include "support/VXTempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace
{
    using namespace vx;
    using namespace vx::test;

    class OSXPluginInstanceTest : public testing::Test
    {
    protected:
        void SetUp() override
        {
            if (*recorderPath == 0)
                GTEST_SKIP() << "no plugin modules in this build";
        }
    };

    TEST_F(OSXPluginInstanceTest, InstancesShareOneLibraryClosedByTheLast)
    {
        OSXPluginInstance first, second, never;
        EXPECT_TRUE(never.unload()) << "nothing held, nothing to give back";
        for (int cycle = 0; cycle < 20; ++cycle)
        {
            ASSERT_TRUE(first.load(recorderPath));
            ASSERT_TRUE(second.load(recorderPath));
            ASSERT_EQ(getLib(recorderPath)->refCount, 2);
            EXPECT_EQ(second.getParams()->getNumParams(), 7);
            EXPECT_FALSE(never.unloadLib(recorderPath)) << "a reference it never took";
            EXPECT_TRUE(first.unload());
            EXPECT_TRUE(isLibraryOpen(recorderPath));
            EXPECT_TRUE(second.unload());
            ASSERT_FALSE(isLibraryOpen(recorderPath)) << "cycle " << cycle;
            EXPECT_EQ(getLib(recorderPath), nullptr);
        }
    }

    // The plugin's library-wide state (its de-initialise) ends with the last
    // instance of the library, whichever goes last and however it goes.
    TEST_F(OSXPluginInstanceTest, OnlyTheLastInstanceDeInitialisesItsLibrary)
    {
        RecorderModule module; // keeps the recorder readable throughout
        const auto deInitialisations = [&]
        {
            const std::vector<std::uint32_t> codes = module.codes();
            return std::count(codes.begin(), codes.end(), std::uint32_t(FFGL::deInitialise));
        };
        OSXPluginInstance first, second, refused;
        ASSERT_TRUE(first.load(recorderPath));
        ASSERT_TRUE(second.load(recorderPath));
        module.recorder->calls.clear();
        EXPECT_TRUE(second.unload());
        EXPECT_EQ(deInitialisations(), 0) << "the first instance still uses the library";

        module.recorder->script.failCode = FFGL::getInfo; // a second instance sends no initialise
        EXPECT_FALSE(refused.load(recorderPath));
        EXPECT_EQ(deInitialisations(), 0) << "a failed load beside a live instance";
        module.recorder->script.failCode = 0xFFFFFFFFu;
        EXPECT_EQ(getLib(recorderPath)->refCount, 1);

        ASSERT_TRUE(second.load(recorderPath));
        EXPECT_TRUE(first.unload());
        EXPECT_EQ(deInitialisations(), 0);
        EXPECT_TRUE(second.unload());
        EXPECT_EQ(deInitialisations(), 1);
        EXPECT_EQ(getLib(recorderPath), nullptr);
        module.close();
        EXPECT_FALSE(isLibraryOpen(recorderPath));
    }

    // Each library is initialised once for as long as instances hold it, and
    // de-initialised once: loads beside a live instance, one that fails, a
    // reload, and a scan (which loads the file twice at once).
    TEST_F(OSXPluginInstanceTest, InitialiseAndDeInitialiseArePairedPerLibrary)
    {
        RecorderModule module;
        const auto count = [&](std::uint32_t code)
        {
            const std::vector<std::uint32_t> codes = module.codes();
            return std::count(codes.begin(), codes.end(), code);
        };
        {
            OSXPluginInstance first, second, third;
            ASSERT_TRUE(first.load(recorderPath));
            ASSERT_TRUE(second.load(recorderPath));
            EXPECT_EQ(second.getParams()->getNumParams(), 7) << "a joining instance still mirrors the parameters";
            module.recorder->script.failCode = FFGL::getInfo;
            EXPECT_FALSE(third.load(recorderPath));
            module.recorder->script.failCode = 0xFFFFFFFFu;
            ASSERT_TRUE(first.load(recorderPath)) << "a reload beside the second";
            EXPECT_EQ(count(FFGL::initialise), 1);
            EXPECT_TRUE(first.unload());
            EXPECT_TRUE(second.unload());
            EXPECT_EQ(count(FFGL::deInitialise), 1);
            ASSERT_TRUE(third.load(recorderPath));
            EXPECT_TRUE(third.unload());
            EXPECT_EQ(count(FFGL::initialise), 2);
            EXPECT_EQ(count(FFGL::deInitialise), 2);
        }

        // A first instance the plugin refuses: neither is sent again.
        module.recorder->calls.clear();
        module.recorder->script.failCode = FFGL::initialise;
        OSXPluginInstance refused;
        EXPECT_FALSE(refused.load(recorderPath));
        module.recorder->script.failCode = 0xFFFFFFFFu;
        EXPECT_EQ(module.codes(), std::vector<std::uint32_t>{FFGL::initialise});

        // A link, not a copy: the loader gives the scan the library (and so
        // the recorder) this test reads.
        TempDir tree;
        const std::string executable = tree.makeDirectory("P.bundle/Contents/MacOS") + "/Recorder";
        std::filesystem::create_symlink(recorderPath, executable);
        RenderPassManager manager;
        RenderPassManager::setCurrent(&manager);
        module.recorder->calls.clear();
        manager.scanDirectoryForPlugins(File(tree.path()));
        RenderPassManager::clearCurrent(&manager);
        ASSERT_EQ(manager.getNumberOfRenderPasses(), 1);
        EXPECT_EQ(count(FFGL::initialise), 1);
        EXPECT_EQ(count(FFGL::deInitialise), 1);
    }

    // Two paths to one file, a link in a second plugin folder and a doubled
    // slash, are one library: initialised by its first instance, whatever
    // its path, and de-initialised only when the last instance goes.
    TEST_F(OSXPluginInstanceTest, TwoPathsToOneFileInitialiseItOnce)
    {
        RecorderModule module;
        const auto count = [&](std::uint32_t code)
        {
            const std::vector<std::uint32_t> codes = module.codes();
            return std::count(codes.begin(), codes.end(), code);
        };
        TempDir folder;
        const std::string linked = folder.makeDirectory("more plugins") + "/Recorder";
        std::filesystem::create_symlink(recorderPath, linked);
        std::string doubled = recorderPath;
        doubled.insert(doubled.find_last_of('/'), "/");

        module.recorder->calls.clear();
        OSXPluginInstance first, second, third;
        ASSERT_TRUE(first.load(recorderPath));
        ASSERT_TRUE(second.load(linked.c_str()));
        ASSERT_TRUE(third.load(doubled.c_str()));
        EXPECT_EQ(count(FFGL::initialise), 1);
        EXPECT_TRUE(first.unload());
        EXPECT_TRUE(second.unload());
        EXPECT_EQ(count(FFGL::deInitialise), 0) << "the third instance still runs the plugin";
        EXPECT_TRUE(third.unload());
        EXPECT_EQ(count(FFGL::initialise), 1);
        EXPECT_EQ(count(FFGL::deInitialise), 1);
        for (const std::string& path : {std::string(recorderPath), linked, doubled})
            EXPECT_EQ(getLib(path), nullptr) << path;
    }

    // Loads, unloads and a scan on several threads at once, as when the
    // render thread deletes a hosted pass while the application thread scans
    // and loads: one library shared by all, one of each thread's own.
    TEST_F(OSXPluginInstanceTest, LibraryCacheIsSharedSafelyBetweenThreads)
    {
        constexpr int threadCount = 4, rounds = 40;
        TempDir folder;
        std::vector<std::string> ownPaths;
        for (int t = 0; t < threadCount; ++t)
        {
            ownPaths.push_back(folder.file("Own" + std::to_string(t)));
            std::filesystem::copy_file(recorderPath, ownPaths.back());
        }
        const std::string scanned = folder.makeDirectory("scan/S.bundle/Contents/MacOS") + "/Scanned";
        std::filesystem::copy_file(recorderPath, scanned);

        RenderPassManager manager;
        RenderPassManager::setCurrent(&manager);
        std::atomic<int> ready{0};
        std::atomic<int> failures{0};
        const auto startTogether = [&]
        {
            ++ready;
            while (ready.load() < threadCount + 1)
                std::this_thread::yield();
        };
        std::vector<std::thread> threads;
        for (int t = 0; t < threadCount; ++t)
            threads.emplace_back(
                [&, t]
                {
                    startTogether();
                    for (int round = 0; round < rounds; ++round)
                    {
                        OSXPluginInstance own, shared;
                        if (! own.load(ownPaths[size_t(t)].c_str()) || ! shared.loadLib(recorderPath))
                            ++failures;
                        else if (! isLibraryOpen(recorderPath) || ! own.unload() || ! shared.unloadLib(recorderPath))
                            ++failures;
                    }
                });
        startTogether();
        for (int scan = 0; scan < 4; ++scan)
            manager.scanDirectoryForPlugins(File(folder.file("scan")));
        for (std::thread& thread : threads)
            thread.join();

        EXPECT_EQ(failures.load(), 0);
        EXPECT_EQ(manager.getNumberOfRenderPasses(), 1);
        for (const std::string& path : ownPaths)
        {
            EXPECT_EQ(getLib(path), nullptr) << path;
            EXPECT_FALSE(isLibraryOpen(path.c_str())) << path;
        }
        EXPECT_EQ(getLib(recorderPath), nullptr);
        EXPECT_FALSE(isLibraryOpen(recorderPath));
        EXPECT_FALSE(isLibraryOpen(scanned.c_str()));
        RenderPassManager::clearCurrent(&manager);
    }

    TEST_F(OSXPluginInstanceTest, FailedLoadsHoldNothing)
    {
        TempDir folder;
        const std::string notAPlugin = folder.writeFile("junk", "not a library");
        EXPECT_EQ(FFGLPluginInstance::load(File(notAPlugin)), nullptr);
        EXPECT_EQ(getLib(notAPlugin), nullptr);
#ifdef VX_FFGL_NO_ENTRY_PATH
        // A library without plugMain is closed again at once.
        EXPECT_EQ(FFGLPluginInstance::load(File(VX_FFGL_NO_ENTRY_PATH)), nullptr);
        EXPECT_FALSE(isLibraryOpen(VX_FFGL_NO_ENTRY_PATH));
#endif
        // A plugin refusing to initialise gives its library back.
        {
            RecorderModule module;
            module.recorder->script.failCode = 1;
            OSXPluginInstance refused;
            EXPECT_FALSE(refused.load(recorderPath));
            EXPECT_EQ(getLib(recorderPath), nullptr);
        }
        EXPECT_FALSE(isLibraryOpen(recorderPath));
    }

    TEST_F(OSXPluginInstanceTest, ScanRegistersEachPluginOnceAndLeavesTheCacheEmpty)
    {
        TempDir tree;
        const auto bundle = [&](const std::string& name)
        {
            const std::string executable = tree.makeDirectory(name + ".bundle/Contents/MacOS") + "/Recorder";
            std::filesystem::copy_file(recorderPath, executable);
            tree.writeFile(name + ".bundle/Contents/Info.plist", "<plist/>");
            return executable;
        };
        const std::string first = bundle("deep/A"), second = bundle("B");
        tree.writeFile("notes.txt", "not a candidate");
        tree.writeFile("deep/README", "a candidate that does not load");

        RenderPassManager manager;
        RenderPassManager::setCurrent(&manager);
        manager.scanDirectoryForPlugins(File(tree.path()));
        manager.scanDirectoryForPlugins(File(tree.file("missing")));
        // Both copies are the plugin "Recorder": one kind.
        ASSERT_EQ(manager.getNumberOfRenderPasses(), 1);
        RenderPassInfo& kind = *manager.getRenderPassInfo(0);
        EXPECT_EQ(kind.getExtensionUniqueId(), "RECO");
        EXPECT_EQ(kind.getRenderPassCategory(), RenderPassCategoryEffect);
        EXPECT_EQ(kind.getExtensionDescription() + kind.getShortName(), "Recording pluginEXT");
        EXPECT_FALSE(isLibraryOpen(first.c_str()));
        EXPECT_FALSE(isLibraryOpen(second.c_str()));
        EXPECT_EQ(getLib(kind.getFilePath()), nullptr);

        // Its passes load the file anew, wrapped.
        std::unique_ptr<RenderPass> pass(kind.createRenderPass(nullptr, false));
        auto* wrapper = dynamic_cast<DryWetEffect*>(pass.get());
        ASSERT_NE(wrapper, nullptr);
        EXPECT_NE(dynamic_cast<FFGLEffect*>(wrapper->getEffect().get()), nullptr);
        EXPECT_TRUE(isLibraryOpen(kind.getFilePath().c_str()));
        RenderPassManager::clearCurrent(&manager);
    }
}
