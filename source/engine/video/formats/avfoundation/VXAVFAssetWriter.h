#pragma once

#include "core/VXCriticalSection.h"
#include "core/VXFile.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vx
{
    class Pixels;
    namespace av
    {
        class AssetWriter;
    }

    // Writes frames into a QuickTime movie through the media framework's
    // asset writer, without copying: each buffer wraps the frame's memory and
    // the frame stays in pendingFrames until the writer's worker drops the
    // buffer. Frame n is stamped n / frameRate. Frames go in on one thread;
    // the release callbacks arrive on the writer's worker. Deleting it
    // finishes the movie.
    class AVFAssetWriter
    {
    public:
        AVFAssetWriter() = default;
        ~AVFAssetWriter();
        AVFAssetWriter(const AVFAssetWriter&) = delete;
        AVFAssetWriter& operator=(const AVFAssetWriter&) = delete;

        // Replaces any file at the path, then initialize. bitDepth is bytes
        // per pixel (3, 4 or 8).
        bool initWithOutputFile(const File& file, unsigned width, unsigned height, unsigned bitDepth,
                                std::uint32_t codec);
        // Makes the writer, its input and adaptor and starts writing; false
        // (logged) when any of it fails.
        bool initialize();
        // Keeps the frame and appends it; false (logged) when it was dropped.
        bool writePixels(std::shared_ptr<Pixels> pixels);
        // The release callback's work: forgets the frame whose bytes these are.
        void dataWritten(const void* bytes);
        // More frames are accepted now.
        bool isReady() const;

        int frameRate() const { return rate; }
        void setFrameRate(int framesPerSecond) { rate = framesPerSecond; }
        std::size_t getNumPendingFrames() const;
        std::uint32_t getPixelFormat() const { return pixelFormat; }

        // The asset writer's codec for the settings' codec: 'apch' gives ProRes
        // 4444 ('ap4h'), 'h264' H.264 ('avc1'), 'jpeg' Motion JPEG, anything
        // else ProRes 422 ('apcn').
        static std::uint32_t codecKeyFor(std::uint32_t codec);

    private:
        // released: the frame is forgotten already (by the buffer's callback).
        bool writeBuffer(unsigned char* bytes, bool& released);

        unsigned width = 0, height = 0, bitDepth = 4;
        std::uint32_t codec = 0;
        std::uint32_t pixelFormat = 0;
        std::string outputPath;
        std::unique_ptr<av::AssetWriter> writer;
        int rate = 25;
        int frameIndex = 0;
        mutable CriticalSection lock;
        std::vector<std::shared_ptr<Pixels>> pendingFrames;
    };
}
