#pragma once

#include <vector>

#include "core/VXCriticalSection.h"
#include "core/VXThread.h"
#include "core/VXWaitableEvent.h"

class IDeckLinkVideoFrame;

namespace vx
{
    class DeckLinkDevice;

    // A one-slot mailbox thread showing frames on a card synchronously: a
    // frame queued before the previous one was shown replaces it, and the
    // replaced one is handed back unshown. Frames are borrowed: whoever
    // queues them gets every one back through gatherCompletedFrames.
    class DecklinkOutputThread : public Thread
    {
    public:
        static constexpr int priority = 5;

        // Starts the thread at once, with priority 5.
        explicit DecklinkOutputThread(DeckLinkDevice& cardToUse);
        // Stops and joins the thread (waiting for a frame being shown); any
        // thread but its own.
        ~DecklinkOutputThread() override;

        // Makes the frame the pending one; a frame still pending goes to the
        // completed list unshown.
        void queueFrame(IDeckLinkVideoFrame* frame);
        // The pending frame, if any, goes to the completed list unshown.
        void clearQueue();
        // The frames shown or replaced since the last call. With wait, first
        // polls every millisecond until one is there or nothing is pending.
        std::vector<IDeckLinkVideoFrame*> gatherCompletedFrames(bool wait);

    protected:
        void run() override;

    private:
        void postFrame(IDeckLinkVideoFrame* frame);

        DeckLinkDevice& card;
        WaitableEvent event;
        CriticalSection lock;
        IDeckLinkVideoFrame* pendingFrame = nullptr;
        std::vector<IDeckLinkVideoFrame*> completedFrames;
    };
}
