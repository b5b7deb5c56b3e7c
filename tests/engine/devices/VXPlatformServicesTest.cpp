// The platform services under the device layer: serial queues, run loops and
// the empty Linux backends.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "engine/devices/VXAVFCaptureDevice.h"
#include "engine/devices/VXDeviceChangeDetector.h"
#include "engine/devices/VXDisplayCollection.h"
#include "engine/devices/VXIOKitServiceDetector.h"
#include "platform/dispatch/VXDispatchQueue.h"
#include "platform/runloop/VXRunLoop.h"

namespace vx::test
{
    namespace
    {
        TEST(DispatchQueueTest, BlocksRunInOrderOnTheQueuesOwnThreadAndSyncWaits)
        {
            auto queue = DispatchQueue::createSerial("com.test.queue");
            EXPECT_EQ(queue->getLabel(), "com.test.queue");
            std::vector<int> order;
            std::atomic<bool> onQueue{true};
            for (int i = 0; i < 50; ++i)
                queue->async(
                    [&, i]
                    {
                        order.push_back(i);
                        onQueue = onQueue && queue->isCurrent();
                    });
            EXPECT_FALSE(queue->isCurrent());
            int nested = 0;
            queue->sync([&] { queue->sync([&] { nested = 1; }); });
            EXPECT_EQ(nested, 1) << "sync from the queue itself runs at once";
            ASSERT_EQ(order.size(), 50u);
            for (int i = 0; i < 50; ++i)
                EXPECT_EQ(order[size_t(i)], i);
            EXPECT_TRUE(onQueue);
        }

        TEST(DispatchQueueTest, DroppingTheQueueRunsWhatIsQueuedEvenFromItsOwnBlock)
        {
            std::atomic<int> ran{0};
            {
                auto queue = DispatchQueue::createSerial("drain");
                for (int i = 0; i < 20; ++i)
                    queue->async([&] { ++ran; });
            }
            EXPECT_EQ(ran.load(), 20);

            // The block holds the last reference when it drops its own.
            std::atomic<bool> go{false};
            std::atomic<bool> released{false};
            auto holder = std::make_shared<std::shared_ptr<DispatchQueue>>(DispatchQueue::createSerial("self"));
            std::shared_ptr<DispatchQueue> queue = *holder;
            queue->async(
                [holder, &go, &released]
                {
                    while (! go.load())
                        std::this_thread::yield();
                    holder->reset();
                    released = true;
                });
            queue.reset();
            go = true;
            while (! released.load())
                std::this_thread::yield();
        }

        TEST(RunLoopTest, EachThreadHasItsOwnLoopAndRunsOnlyWhatWasPostedToIt)
        {
            std::shared_ptr<RunLoop> mine = RunLoop::getCurrent();
            EXPECT_EQ(RunLoop::getCurrent(), mine);
            int ran = 0;
            std::thread poster(
                [&]
                {
                    mine->post([&] { ++ran; });
                    EXPECT_NE(RunLoop::getCurrent(), mine);
                    EXPECT_EQ(mine->pump(), 0);
                });
            poster.join();
            EXPECT_EQ(ran, 0);
            mine->post([&] { mine->post([&] { ran += 10; }); });
            EXPECT_EQ(mine->getNumPending(), 2u);
            EXPECT_EQ(RunLoop::pumpCurrent(), 3) << "calls queued while pumping run in the same pump";
            EXPECT_EQ(ran, 11);
        }

        // With nothing installed the platform is Linux's: no device, display
        // or window is found, and nothing fails on the way.
        TEST(LinuxPlatformTest, NoCameraDisplayOrHotPlugIsFound)
        {
            std::vector<CaptureDeviceInfo*> infos;
            AVFCaptureDevice::getAvailableDevices(infos);
            EXPECT_TRUE(infos.empty());

            DeviceChangeDetector detector;
            EXPECT_NE(IOKitServiceDetector::getInstance(), nullptr);
            DisplayCollection displays(detector);
            EXPECT_EQ(displays.getNumDisplays(), 0);
            EXPECT_EQ(displays.getPrimaryDisplayItem(), nullptr);
            EXPECT_EQ(RunLoop::pumpCurrent(), 0);

            CaptureDeviceInfo info;
            info.uniqueId = "absent";
            AVFCaptureDevice camera(info);
            EXPECT_TRUE(camera.initDevice());
            EXPECT_EQ(camera.getTextureWidth(), 0);
            std::shared_ptr<Pixels> pixels;
            EXPECT_FALSE(camera.uploadToPixels(pixels));
        }
    }
}
