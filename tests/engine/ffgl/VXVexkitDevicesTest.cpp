#include "engine/ffgl/VXVexkit.h"

#include <gtest/gtest.h>

#include "engine/devices/VXCaptureDeviceManager.h"
#include "engine/devices/VXDeviceChangeDetector.h"
#include "engine/devices/VXDisplayCollection.h"
#include "engine/devices/scripted/VXScriptedCoreGraphics.h"
#include "engine/devices/scripted/VXScriptedIOKit.h"
#include "engine/network/VXNetworkVideoServerManager.h"
#include "engine/renderpasses/VXRenderPassManager.h"
#include "engine/video/sources/VXSourceDirectory.h"
#include "engine/video/sources/VXVideoSourceManager.h"
#include "platform/runloop/VXRunLoop.h"

#include <algorithm>

namespace vx::test
{
    namespace
    {
        constexpr unsigned captureDevices = 0x8, detector = 0x10, displays = 0x40, sources = 0x100,
                               renderPasses = 0x200;

        struct FlagCase
        {
            const char* name;
            unsigned flags;
            bool detector, sourceManager, captureManager, displays;
        };

        class VexkitDevicesTest : public ::testing::Test
        {
        protected:
            void SetUp() override
            {
                Vexkit::deleteInstance();
                iokit = ScriptedIOKit::install();
                graphics = ScriptedCoreGraphics::install();
            }
            void TearDown() override
            {
                Vexkit::deleteInstance();
                RunLoop::pumpCurrent();
                EXPECT_EQ(iokit->getLiveObjects(), 0) << "an IOKit object outlived the root";
                EXPECT_EQ(graphics->getNumReconfigurationCallbacks(), 0);
                ScriptedIOKit::uninstall();
                ScriptedCoreGraphics::uninstall();
            }

            std::shared_ptr<ScriptedIOKit> iokit;
            std::shared_ptr<ScriptedCoreGraphics> graphics;
        };

        class VexkitFlagsTest : public VexkitDevicesTest, public ::testing::WithParamInterface<FlagCase>
        {
        };

        // 0x8 and 0x40 need the detector they listen to: without 0x10 they are
        // not made at all.
        TEST_P(VexkitFlagsTest, EachFlagMakesItsManagerAndShutdownDeletesIt)
        {
            const FlagCase c = GetParam();
            Vexkit* root = Vexkit::create(c.flags);
            ASSERT_TRUE(root->initialise(false));
            EXPECT_EQ(root->getDeviceChangeDetector() != nullptr, c.detector);
            EXPECT_EQ(root->getVideoSourceManager() != nullptr, c.sourceManager);
            EXPECT_EQ(root->getCaptureDeviceManager() != nullptr, c.captureManager);
            EXPECT_EQ(root->getDisplayCollection() != nullptr, c.displays);
            EXPECT_EQ(CaptureDeviceManager::getCurrent(), root->getCaptureDeviceManager());
            EXPECT_EQ(SourceDirectory::getCurrent(), root->getVideoSourceManager());

            root->shutdown();
            EXPECT_EQ(root->getDeviceChangeDetector(), nullptr);
            EXPECT_EQ(root->getVideoSourceManager(), nullptr);
            EXPECT_EQ(root->getCaptureDeviceManager(), nullptr);
            EXPECT_EQ(root->getDisplayCollection(), nullptr);
            EXPECT_EQ(CaptureDeviceManager::getCurrent(), nullptr);
            EXPECT_EQ(SourceDirectory::getCurrent(), nullptr);
        }

        INSTANTIATE_TEST_SUITE_P(
            Flags, VexkitFlagsTest,
            ::testing::Values(FlagCase{"None", 0, false, false, false, false},
                              FlagCase{"Detector", detector, true, false, false, false},
                              FlagCase{"CaptureWithoutDetector", captureDevices, false, false, false, false},
                              FlagCase{"DisplaysWithoutDetector", displays, false, false, false, false},
                              FlagCase{"CaptureAndDisplays", detector | captureDevices | displays, true, false, true,
                                       true},
                              FlagCase{"Sources", sources, false, true, false, false},
                              FlagCase{"All", detector | captureDevices | displays | sources, true, true, true, true}),
            [](const auto& info) { return std::string(info.param.name); });

        // The capture device and render-pass managers are source factories of
        // the source manager; cycles of making and shutting down leave nothing
        // behind (the leak check at exit sees every cycle).
        TEST_F(VexkitDevicesTest, FactoriesAreRegisteredAndCyclesLeaveNothing)
        {
            for (int cycle = 0; cycle < 3; ++cycle)
            {
                SCOPED_TRACE(cycle);
                Vexkit* root = Vexkit::create(detector | captureDevices | displays | sources | renderPasses);
                ASSERT_TRUE(root->initialise(false));
                const std::vector<SourceFactory*>& factories = root->getVideoSourceManager()->getFactories();
                EXPECT_NE(std::find(factories.begin(), factories.end(),
                                    static_cast<SourceFactory*>(root->getCaptureDeviceManager())),
                          factories.end());
                EXPECT_NE(std::find(factories.begin(), factories.end(),
                                    static_cast<SourceFactory*>(root->getRenderPassManager())),
                          factories.end());
                EXPECT_EQ(root->getVideoSourceManager()->getSourceExtension("SCREEN_CAPTURE_SRC")->getExtensionName(),
                          "Screen Capture");
                root->shutdown();
                Vexkit::deleteInstance();
                EXPECT_EQ(NetworkVideoServerManager::getInstanceWithoutCreating(), nullptr);
            }
        }
    }
}
