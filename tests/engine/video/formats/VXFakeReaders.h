#pragma once

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <vector>

#include "engine/gfx/VXTexture.h"
#include "engine/video/formats/VXBufferableVideoFormatReader.h"
#include "engine/video/formats/VXVideoFormat.h"

namespace vx::test
{
    // A bufferable reader over made-up frames: frame f is frameSize bytes of
    // the value f + 1. It records every preparation and decode, can be told
    // to fail some, and can hold its decodes until released.
    class FakeBufferableReader : public BufferableVideoFormatReader
    {
    public:
        FakeBufferableReader(const File& file, unsigned frames, int width = 4, int height = 2)
            : BufferableVideoFormatReader(file, "Fake", nullptr), totalFrames(frames)
        {
            textureWidth = static_cast<unsigned short>(width);
            textureHeight = static_cast<unsigned short>(height);
            bitDepth = 4;
            textureFormat = &Texture::RGBA8;
            fps = 25.0;
            length = frames * 40.0;
            opened = true;
        }
        ~FakeBufferableReader() override { deleteBufferers(); }

        unsigned getTotalFrames() override { return totalFrames; }
        bool canHandleMultipleFiles() const override { return true; }
        // Each added file is one more frame.
        bool addFile(const File& added, bool) override
        {
            files.push_back(added);
            ++totalFrames;
            return true;
        }
        std::vector<File> files;
        std::size_t getFrameSize() override { return static_cast<std::size_t>(textureWidth) * textureHeight * 4; }

        bool prepareFrames(unsigned first, int& count, unsigned char*) override
        {
            std::unique_lock<std::mutex> hold(lock);
            prepared.push_back(first);
            ++active;
            if (active > 1)
                overlapping = true;
            held.wait(hold, [this] { return ! paused; });
            --active;
            preparedFirst = first;
            if (shortPrepares)
                count = 0;
            return count > 0;
        }

        bool decompressPreparedFrame(int index, unsigned char** frame) override
        {
            std::lock_guard<std::mutex> hold(lock);
            const unsigned number = (preparedFirst + static_cast<unsigned>(index)) % totalFrames;
            decoded.push_back(number);
            if (failDecodes)
                return false;
            std::memset(*frame, static_cast<int>((number + 1) & 0xFF), getFrameSize());
            return true;
        }

        bool renderInternal(Renderer&, const unsigned char*) override { return false; }
        using BufferableVideoFormatReader::renderInternal;

        void pause()
        {
            std::lock_guard<std::mutex> hold(lock);
            paused = true;
        }
        void resume()
        {
            {
                std::lock_guard<std::mutex> hold(lock);
                paused = false;
            }
            held.notify_all();
        }
        std::vector<unsigned> getPrepared()
        {
            std::lock_guard<std::mutex> hold(lock);
            return prepared;
        }
        std::vector<unsigned> getDecoded()
        {
            std::lock_guard<std::mutex> hold(lock);
            return decoded;
        }
        void clearRecords()
        {
            std::lock_guard<std::mutex> hold(lock);
            prepared.clear();
            decoded.clear();
        }

        unsigned totalFrames;
        std::atomic<bool> failDecodes{false};
        std::atomic<bool> shortPrepares{false};
        std::atomic<bool> overlapping{false};

    private:
        std::mutex lock;
        std::condition_variable held;
        bool paused = false;
        int active = 0;
        unsigned preparedFirst = 0;
        std::vector<unsigned> prepared, decoded;
    };

    // A format for "*.fake" whose reader serves the number of frames the
    // file's size in bytes gives.
    class FakeFormat : public VideoFormat
    {
    public:
        explicit FakeFormat(const std::string& extensions = "*.fake") : VideoFormat("Fake", extensions, {}) {}
        std::vector<unsigned char> getPossibleBitDepths() override { return {4}; }
        bool canReaderHandleMultipleFiles() const override { return true; }
        using VideoFormat::createReaderFor;
        VideoFormatReader* createReaderFor(const File& file) override
        {
            return new FakeBufferableReader(file, file.getFileSize());
        }
    };
}
