// The asset writer: frames queue for a worker thread that encodes them
// through the current backend's encoder and drops them afterwards.

#include "engine/video/formats/avfoundation/VXAVAssetWriter.h"

namespace vx::av
{
    std::unique_ptr<AssetWriter> AssetWriter::create(const std::string& path)
    {
        if (path.empty())
            return nullptr;
        return std::unique_ptr<AssetWriter>(new AssetWriter(path));
    }

    AssetWriter::AssetWriter(const std::string& outputPath) : path(outputPath)
    {
    }

    AssetWriter::~AssetWriter()
    {
        {
            std::lock_guard<std::mutex> hold(lock);
            stopping = true;
            if (status == statusWriting)
                status = statusCancelled;
        }
        changed.notify_all();
        if (worker.joinable())
            worker.join();
        // Buffers never encoded are dropped here, running their callbacks.
        queue.clear();
    }

    bool AssetWriter::addInput(const VideoInput& videoInput)
    {
        if (inputAdded || videoInput.width <= 0 || videoInput.height <= 0)
            return false;
        input = videoInput;
        inputAdded = true;
        return true;
    }

    bool AssetWriter::startWriting()
    {
        std::lock_guard<std::mutex> hold(lock);
        if (status != statusUnknown || ! inputAdded)
        {
            error = inputAdded ? "already started" : "no input";
            return false;
        }
        EncoderSettings settings;
        settings.path = path;
        settings.codec = input.codec;
        settings.width = input.width;
        settings.height = input.height;
        settings.sourcePixelFormat = input.sourcePixelFormat;
        encoder = MediaBackend::getCurrent().createEncoder(settings);
        std::string reason;
        if (encoder == nullptr || ! encoder->start(reason))
        {
            encoder.reset();
            status = statusFailed;
            error = reason.empty() ? "no encoder" : reason;
            return false;
        }
        status = statusWriting;
        worker = std::thread([this] { run(); });
        return true;
    }

    void AssetWriter::startSessionAtSourceTime(CMTime)
    {
    }

    bool AssetWriter::isReadyForMoreMediaData() const
    {
        std::lock_guard<std::mutex> hold(lock);
        return status == statusWriting && queue.size() < static_cast<std::size_t>(maxQueuedFrames);
    }

    bool AssetWriter::appendPixelBuffer(std::shared_ptr<PixelBuffer> buffer, CMTime presentationTime)
    {
        if (buffer == nullptr)
            return false;
        {
            std::lock_guard<std::mutex> hold(lock);
            if (status != statusWriting)
                return false;
            queue.push_back({std::move(buffer), presentationTime});
        }
        changed.notify_all();
        return true;
    }

    void AssetWriter::run()
    {
        std::unique_lock<std::mutex> hold(lock);
        for (;;)
        {
            changed.wait(hold, [this] { return stopping || ! queue.empty(); });
            if (queue.empty())
                return; // stopping with nothing left
            if (status != statusWriting)
            {
                // Failed or cancelled: what waits is dropped, not encoded.
                std::deque<Queued> dropped;
                dropped.swap(queue);
                hold.unlock();
                dropped.clear();
                hold.lock();
                changed.notify_all();
                continue;
            }
            Queued next = std::move(queue.front());
            hold.unlock();
            std::string reason;
            const bool encoded = encoder->encode(*next.buffer, next.time, reason);
            next.buffer.reset(); // the frame's memory goes back to its owner here
            hold.lock();
            queue.pop_front();
            if (! encoded && status == statusWriting)
            {
                status = statusFailed;
                error = reason;
            }
            changed.notify_all();
        }
    }

    bool AssetWriter::finishWriting()
    {
        {
            std::unique_lock<std::mutex> hold(lock);
            if (status != statusWriting)
                return false;
            // Everything appended is encoded before the file is closed.
            changed.wait(hold, [this] { return queue.empty() || status != statusWriting; });
            stopping = true;
        }
        changed.notify_all();
        if (worker.joinable())
            worker.join();
        std::lock_guard<std::mutex> hold(lock);
        queue.clear();
        if (status != statusWriting)
            return false;
        std::string reason;
        if (! encoder->finish(reason))
        {
            status = statusFailed;
            error = reason;
            return false;
        }
        status = statusCompleted;
        return true;
    }

    AssetWriter::Status AssetWriter::getStatus() const
    {
        std::lock_guard<std::mutex> hold(lock);
        return status;
    }

    std::string AssetWriter::getError() const
    {
        std::lock_guard<std::mutex> hold(lock);
        return error;
    }
}
