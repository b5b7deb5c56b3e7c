#include "engine/video/sources/VXVideoSourceDataDriver.h"

#include "core/VXScopedLock.h"
#include "engine/video/sources/VXVideoSource.h"

#include <algorithm>

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
        const auto place = std::lower_bound(sources.begin(), sources.end(), source);
        if (place == sources.end() || *place != source)
            sources.insert(place, source);
    }

    void VideoSourceDataDriver::removeSource(VideoSource* source)
    {
        ScopedLockT<CriticalSection> hold(lock);
        const auto place = std::lower_bound(sources.begin(), sources.end(), source);
        if (place != sources.end() && *place == source)
            sources.erase(place);
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
        return std::binary_search(sources.begin(), sources.end(), const_cast<VideoSource*>(source));
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
