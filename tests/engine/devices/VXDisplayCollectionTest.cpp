#include "engine/devices/VXDisplayCollection.h"

#include <gtest/gtest.h>

#include "core/VXStringUtils.h"
#include "engine/devices/VXDeviceChangeDetector.h"
#include "engine/devices/scripted/VXManualTime.h"
#include "engine/devices/scripted/VXScriptedCoreGraphics.h"
#include "engine/devices/scripted/VXScriptedIOKit.h"
#include "platform/runloop/VXRunLoop.h"

namespace vx::test
{
    namespace
    {
        class DisplayCollectionTest : public ::testing::Test
        {
        protected:
            void SetUp() override
            {
                iokit = ScriptedIOKit::install();
                graphics = ScriptedCoreGraphics::install();
                // Side by side, the second one primary, bounds with fractions.
                graphics->setDisplays({{7, {0.0, 0.0, 1920.0, 1080.0}, 501}, {9, {1920.9, 0.5, 1919.6, 1080.0}, 502}},
                                      9);
                iokit->setDisplayService(501, "Model A", {{"en_US", "Studio Display"}, {"de_DE", "Studioanzeige"}});
                iokit->setDisplayService(502, "", {{"fr_FR", "Ecran"}});
                RunLoop::pumpCurrent();
            }

            void TearDown() override
            {
                collection.reset();
                detector.reset();
                RunLoop::pumpCurrent();
                ScriptedIOKit::uninstall();
                ScriptedCoreGraphics::uninstall();
            }

            void make()
            {
                detector = std::make_unique<DeviceChangeDetector>();
                collection = std::make_unique<DisplayCollection>(*detector);
            }

            ManualTime time;
            std::shared_ptr<ScriptedIOKit> iokit;
            std::shared_ptr<ScriptedCoreGraphics> graphics;
            std::unique_ptr<DeviceChangeDetector> detector;
            std::unique_ptr<DisplayCollection> collection;
        };

        TEST_F(DisplayCollectionTest, ItemsFollowTheOnlineListWithNamesBoundsAndRegistryProperties)
        {
            make();
            ASSERT_EQ(collection->getNumDisplays(), 2);
            DisplayCollectionItem* first = collection->getDisplayItemByIndex(0);
            DisplayCollectionItem* second = collection->getDisplayItemByIndex(1);
            ASSERT_NE(first, nullptr);
            ASSERT_NE(second, nullptr);
            EXPECT_EQ(collection->getDisplayItemByIndex(2), nullptr);
            EXPECT_EQ(collection->getDisplayItemByIndex(-1), nullptr);

            EXPECT_TRUE(first->valid);
            EXPECT_EQ(first->name, "Display 1");
            EXPECT_EQ(first->id, "Display 1");
            EXPECT_EQ(second->defaultName, "Display 2");
            EXPECT_EQ(second->index, 1);
            EXPECT_EQ(second->displayId, 9u);
            EXPECT_EQ(second->hashedId, hashFromString("Display 2"));
            EXPECT_EQ(first->model, "Model A");
            EXPECT_EQ(first->monitorName, "Studio Display");
            EXPECT_EQ(second->model, "");
            EXPECT_EQ(second->monitorName, "") << "no en_US name";
            // Each coordinate truncated on its own: right = int(1920.9 + 1919.6).
            EXPECT_EQ(second->bounds, RectT<int32_t>(1920, 0, 3840, 1080));

            EXPECT_EQ(collection->getPrimaryDisplayItem(), second);
            EXPECT_EQ(collection->getFirstSecondaryDisplayItem(), first);
            EXPECT_EQ(collection->getDisplayItemById("Display 2"), second);
            EXPECT_EQ(collection->getDisplayItemById("Display 3"), nullptr);
            EXPECT_EQ(collection->getDisplayItemByHashedId(hashFromString("Display 1")), first);
            EXPECT_EQ(collection->getDisplayItemByHashedId(1), nullptr);
        }

        struct PointCase
        {
            const char* name;
            float x, y;
            int expectedIndex;
        };

        class DisplayAtPointTest : public DisplayCollectionTest, public ::testing::WithParamInterface<PointCase>
        {
        };

        TEST_P(DisplayAtPointTest, InsideStrictlyElseNearestCentreLaterFirst)
        {
            graphics->setDisplays({{1, {0, 0, 1920, 1080}, 0}, {2, {1920, 0, 1920, 1080}, 0}}, 1);
            make();
            const PointCase& c = GetParam();
            DisplayCollectionItem* found = collection->getDisplayContaining(TVec2<float>(c.x, c.y));
            ASSERT_NE(found, nullptr);
            EXPECT_EQ(found->index, c.expectedIndex);
        }

        INSTANTIATE_TEST_SUITE_P(Points, DisplayAtPointTest,
                                 ::testing::Values(PointCase{"InsideFirst", 100.f, 100.f, 0},
                                                   PointCase{"InsideSecond", 2000.f, 100.f, 1},
                                                   PointCase{"FarRight", 5000.f, 500.f, 1},
                                                   PointCase{"OnLeftEdgeNearestCentre", 0.f, 540.f, 0},
                                                   PointCase{"OnSharedEdgeTieGoesToTheLater", 1920.f, 540.f, 1},
                                                   PointCase{"TruncatedIntoTheFirst", 1919.9f, 540.f, 0},
                                                   PointCase{"AboveBoth", 500.f, -300.f, 0}),
                                 [](const auto& info) { return std::string(info.param.name); });

        TEST_F(DisplayCollectionTest, NameWithResolutionUsesTheBoundsMagnitude)
        {
            graphics->setDisplays({{4, {-1280.0, 0.0, 1280.0, 1024.0}, 0}}, 4);
            make();
            ASSERT_EQ(collection->getNumDisplays(), 1);
            EXPECT_EQ(collection->getDisplayItemByIndex(0)->getNameIncludingResolution(), "Display 1 (1280x1024)");
            EXPECT_EQ(collection->getFirstSecondaryDisplayItem(), nullptr);
        }

        TEST_F(DisplayCollectionTest, OnlyDisplayEventsMarkTheListStaleAndOnlyEnumerationRebuildsIt)
        {
            make();
            EXPECT_FALSE(collection->isDirty());
            collection->DeviceGotConnected(DeviceCategoryUSB);
            collection->DeviceChanged(DeviceCategoryPCI);
            EXPECT_FALSE(collection->isDirty());

            DisplayCollectionItem* before = collection->getDisplayItemByIndex(1);
            graphics->setDisplays({{9, {0, 0, 800, 600}, 0}}, 9);
            collection->enumerateDisplays();
            EXPECT_EQ(collection->getNumDisplays(), 2) << "not stale: nothing rebuilt";

            collection->DeviceGotDisconnected(DeviceCategoryDisplay);
            EXPECT_TRUE(collection->isDirty());
            EXPECT_EQ(collection->getNumDisplays(), 2);
            collection->enumerateDisplays();
            ASSERT_EQ(collection->getNumDisplays(), 1);
            EXPECT_EQ(collection->getDisplayItemByIndex(0)->name, "Display 1");
            // A pointer taken before the rebuild still reads its old display.
            EXPECT_EQ(before->displayId, 9u);
            EXPECT_EQ(before->name, "Display 2");
        }

        TEST_F(DisplayCollectionTest, ADisplayPluggedInIsListedAfterTheDebouncedEvent)
        {
            make();
            graphics->setDisplays(
                {{7, {0, 0, 1920, 1080}, 501}, {9, {1920, 0, 1920, 1080}, 502}, {11, {3840, 0, 1280, 720}, 0}}, 9);
            graphics->reconfigure(11, cg::kCGDisplayAddFlag | cg::kCGDisplayEnabledFlag);
            RunLoop::pumpCurrent();
            EXPECT_FALSE(collection->isDirty());
            time.advance(250.0);
            EXPECT_TRUE(collection->isDirty());
            collection->enumerateDisplays();
            ASSERT_EQ(collection->getNumDisplays(), 3);
            EXPECT_EQ(collection->getDisplayItemByIndex(2)->getNameIncludingResolution(), "Display 3 (1280x720)");
        }

        TEST_F(DisplayCollectionTest, FailedOrEmptyListsLeaveNoItemsAndNothingToFind)
        {
            graphics->failDisplayList(true);
            make();
            EXPECT_EQ(collection->getNumDisplays(), 0);
            EXPECT_EQ(collection->getDisplayContaining(TVec2<float>(0.f, 0.f)), nullptr);
            EXPECT_EQ(collection->getPrimaryDisplayItem(), nullptr);
        }

        TEST_F(DisplayCollectionTest, CaptureAndReleaseAskForTheDisplayAndNeedOne)
        {
            make();
            EXPECT_TRUE(collection->getDisplayItemByIndex(0)->captureDisplay());
            EXPECT_TRUE(collection->getDisplayItemByIndex(0)->releaseDisplay());
            EXPECT_EQ(graphics->getCalls(), (std::vector<std::string>{"CGDisplayCapture 7", "CGDisplayRelease 7"}));
            DisplayCollectionItem none;
            EXPECT_FALSE(none.captureDisplay());
            EXPECT_FALSE(none.releaseDisplay());
        }
    }
}
