#include "engine/devices/VXDecklinkOutputThread.h"

// The mailbox thread's call into the driver; the engine type is declared in
// engine/devices.

#include "core/VXScopedLock.h"
#include "engine/devices/VXDeckLinkDevice.h"
#include "platform/decklink/VXDeckLinkAPI.h"

namespace vx
{
    DecklinkOutputThread::DecklinkOutputThread(DeckLinkDevice& cardToUse)
        : Thread("Decklink Capture Output"), card(cardToUse)
    {
        startThread(priority);
    }

    DecklinkOutputThread::~DecklinkOutputThread()
    {
        requestThreadStop();
        event.trigger();
        // Without the lock, so the woken thread can finish the frame it shows;
        // never cancelled, which could leave the card inside a call.
        stopThreadNow();
        ScopedLock hold(lock);
        pendingFrame = nullptr;
        completedFrames.clear();
    }

    void DecklinkOutputThread::queueFrame(IDeckLinkVideoFrame* frame)
    {
        {
            ScopedLock hold(lock);
            if (pendingFrame != nullptr)
                completedFrames.push_back(pendingFrame);
            pendingFrame = frame;
        }
        event.trigger();
    }

    void DecklinkOutputThread::clearQueue()
    {
        ScopedLock hold(lock);
        if (pendingFrame != nullptr)
            completedFrames.push_back(pendingFrame);
        pendingFrame = nullptr;
    }

    std::vector<IDeckLinkVideoFrame*> DecklinkOutputThread::gatherCompletedFrames(bool wait)
    {
        if (wait)
            for (;;)
            {
                {
                    ScopedLock hold(lock);
                    if (! completedFrames.empty() || pendingFrame == nullptr)
                        break;
                }
                Thread::sleep(1);
            }
        ScopedLock hold(lock);
        std::vector<IDeckLinkVideoFrame*> gathered;
        gathered.swap(completedFrames);
        return gathered;
    }

    void DecklinkOutputThread::run()
    {
        while (! isStopRequested())
        {
            event.waitForTrigger();
            ScopedLock hold(lock);
            if (pendingFrame != nullptr)
                postFrame(pendingFrame);
            pendingFrame = nullptr;
        }
    }

    void DecklinkOutputThread::postFrame(IDeckLinkVideoFrame* frame)
    {
        if (IDeckLinkOutput* output = card.getOutputHandle())
            output->DisplayVideoFrameSync(frame);
        completedFrames.push_back(frame);
    }
}
