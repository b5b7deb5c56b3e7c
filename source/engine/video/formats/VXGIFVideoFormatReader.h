#pragma once

#include "core/VXCriticalSection.h"
#include "core/VXScopedPointer.h"
#include "engine/video/formats/VXVideoFormatReader.h"

#include <atomic>
#include <memory>
#include <vector>

namespace vx
{
    class GIFImage;

    // An animated GIF played as video: the whole file is composed once at
    // construction. Every frame shows for its own delay, a delay of 0 (or
    // none) counting as 100 ms; the length is the sum, and the frame rate
    // comes from the shortest delay (100 ms when the file gives none). A
    // rate set on the reader stretches every delay alike. A frame change
    // decompresses one composed frame on the reading thread; the render
    // thread uploads it. The lock guards the current picture and the image.
    class GIFVideoFormatReader : public VideoFormatReader
    {
    public:
        explicit GIFVideoFormatReader(const File& file);
        ~GIFVideoFormatReader() override;

        bool canFrameRateBeAltered() override { return true; }
        bool hasCustomThumbnail() const override { return true; }
        bool canServePixels() const override { return true; }
        unsigned getTotalFrames() override;
        using VideoFormatReader::init;
        bool init(int width, int height) override;
        void release() override {}
        std::shared_ptr<Pixels> getCustomThumbnail() override;
        bool readFrame(double positionMs) override;
        bool updateTextureInternal(Texture* texture) override;
        // A copy of the current picture.
        bool updatePixelsInternal(std::shared_ptr<Pixels>& pixels) override;
        // The frame the file shows at ms (the last one from the length on);
        // false when it is the current one.
        bool updatePosition(double positionMs, long& frame) override;

    private:
        // Where each frame ends, in ms from the start, delays as shown.
        std::vector<double> frameEnds;
        // Set by the reading thread, cleared by the uploading one.
        std::atomic<bool> framePending{false};
        std::shared_ptr<Pixels> pixels;
        CriticalSection lock;
        ScopedPointer<GIFImage> image;
    };
}
