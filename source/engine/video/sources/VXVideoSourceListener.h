#pragma once

namespace vx
{
    class VideoSource;

    // What a source tells its owners. Every call uses CallType::standard.
    class VideoSourceListener
    {
    public:
        // Why a delayed-loading source has no content.
        enum Reason : int
        {
            reasonNoFileName = 0,
            reasonNoReader = 2,
            reasonFileMissing = 3
        };

        virtual ~VideoSourceListener() = default;

        // The play head's timeline reached its end.
        virtual void playbackFinished(VideoSource& source) { (void)source; }
        // A delayed load finished with content.
        virtual void sourceAvailable(VideoSource& source) { (void)source; }
        // A delayed load finished without content.
        virtual void sourceUnavailable(VideoSource& source, Reason reason)
        {
            (void)source;
            (void)reason;
        }
        // Progress of a delayed load, 0 to 1.
        virtual void loadingProgress(VideoSource& source, float progress)
        {
            (void)source;
            (void)progress;
        }
        // The width or height changed.
        virtual void sourceResized(VideoSource& source) { (void)source; }
    };
}
