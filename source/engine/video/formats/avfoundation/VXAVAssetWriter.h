#pragma once

#include "engine/video/formats/avfoundation/VXMediaBackend.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// The media framework's asset writer as the movie writer uses it: one video
// input with its pixel-buffer adaptor, folded into one object. Frames are
// encoded on the writer's worker thread, which also drops the appended
// buffers (running their release callbacks); at most four wait. Implemented
// in source/platform/avfoundation/.
namespace vx::av
{
    class AssetWriter
    {
    public:
        enum Status
        {
            statusUnknown = 0,
            statusWriting = 1,
            statusCompleted = 2,
            statusFailed = 3,
            statusCancelled = 4
        };

        // Output settings of the video input and the adaptor's source format.
        struct VideoInput
        {
            FourCharCode codec = 0;
            int width = 0, height = 0;
            FourCharCode sourcePixelFormat = pixelFormat32BGRA;
        };

        static constexpr int maxQueuedFrames = 4;

        // A QuickTime writer for the path; null when it cannot be made.
        static std::unique_ptr<AssetWriter> create(const std::string& path);
        // Finishes nothing: a writer dropped while writing is cancelled.
        ~AssetWriter();
        AssetWriter(const AssetWriter&) = delete;
        AssetWriter& operator=(const AssetWriter&) = delete;

        // False for a second input or an empty size.
        bool addInput(const VideoInput& input);
        bool hasPixelBufferPool() const { return inputAdded; }
        // Opens the encoder; false (status failed, error set) when it refuses
        // the settings.
        bool startWriting();
        void startSessionAtSourceTime(CMTime time);
        // Not while four frames wait or when not writing.
        bool isReadyForMoreMediaData() const;
        // Queues the buffer; false when not writing (the buffer is dropped).
        bool appendPixelBuffer(std::shared_ptr<PixelBuffer> buffer, CMTime presentationTime);
        // Encodes what waits, then closes the file; false when that failed.
        bool finishWriting();

        Status getStatus() const;
        std::string getError() const;

    private:
        explicit AssetWriter(const std::string& path);
        void run();

        std::string path;
        VideoInput input;
        bool inputAdded = false;
        std::unique_ptr<MovieEncoder> encoder;

        mutable std::mutex lock;
        std::condition_variable changed;
        struct Queued
        {
            std::shared_ptr<PixelBuffer> buffer;
            CMTime time;
        };
        std::deque<Queued> queue;
        bool stopping = false;
        Status status = statusUnknown;
        std::string error;
        std::thread worker;
    };
}
