#pragma once

#include "core/VXCriticalSection.h"
#include "core/VXThread.h"

#include <vector>

namespace vx
{
    class VideoSource;

    // The one "DataDriver" thread that feeds file sources: every 5 ms it
    // calls updateVideo on each registered source (in address order), so
    // frames are read off the render thread. Sources are not owned.
    //
    // The lock is held for a whole pass: once removeSource returns, the
    // source is not called again. A source's updateVideo must not wait for
    // another thread that adds or removes sources.
    class VideoSourceDataDriver : public Thread
    {
    public:
        static constexpr int threadPriority = 5;
        static constexpr int intervalMs = 5;

        // Starts the thread.
        VideoSourceDataDriver();
        // Returns once the thread has finished its pass and sleep.
        ~VideoSourceDataDriver() override;

        // A second add of the same source changes nothing.
        void addSource(VideoSource* source);
        // Nothing for a source not registered.
        void removeSource(VideoSource* source);
        // One pass; whether any source is registered.
        bool updateVideo();
        bool hasSource(const VideoSource* source) const;
        int getNumSources() const;

    protected:
        void run() override;

    private:
        mutable CriticalSection lock;
        // Sorted by address, each source once: a set that iterates as fast
        // as an array.
        std::vector<VideoSource*> sources;
    };
}
