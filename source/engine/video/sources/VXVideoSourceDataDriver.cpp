#include "engine/video/sources/VXVideoSourceDataDriver.h"

#include "core/VXScopedLock.h"
#include "engine/video/sources/VXVideoSource.h"

namespace vx
{
    VideoSourceDataDriver::VideoSourceDataDriver() : Thread("DataDriver")
    {
        startThread(threadPriority);
    }

    VideoSourceDataDriver::~VideoSourceDataDriver()
    {
        stopThreadNow();
    }

    void VideoSourceDataDriver::addSource(VideoSource* source)
    {
        if (source == nullptr)
            return;
        ScopedLockT<CriticalSection> hold(lock);
        sources.insert(source);
    }

    void VideoSourceDataDriver::removeSource(VideoSource* source)
    {
        ScopedLockT<CriticalSection> hold(lock);
        sources.erase(source);
    }

    bool VideoSourceDataDriver::updateVideo()
    {
        ScopedLockT<CriticalSection> hold(lock);
        for (VideoSource* source : sources)
            source->updateVideo();
        return ! sources.empty();
    }

    bool VideoSourceDataDriver::hasSource(const VideoSource* source) const
    {
        ScopedLockT<CriticalSection> hold(lock);
        return sources.count(const_cast<VideoSource*>(source)) != 0;
    }

    int VideoSourceDataDriver::getNumSources() const
    {
        ScopedLockT<CriticalSection> hold(lock);
        return static_cast<int>(sources.size());
    }

    void VideoSourceDataDriver::run()
    {
        while (! isStopRequested())
        {
            updateVideo();
            sleep(intervalMs);
        }
    }
}
