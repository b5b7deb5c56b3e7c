#pragma once

#include "core/VXCriticalSection.h"
#include "core/VXScopedPointer.h"
#include "engine/video/formats/VXVideoFormatReader.h"

#include <atomic>
#include <memory>

namespace vx
{
    class GIFImage;

    // An animated GIF played as video: the whole file is composed once at
    // construction; its frame rate comes from the shortest frame delay (100 ms
    // when the file gives none). A frame change decompresses one composed
    // frame on the reading thread; the render thread uploads it. The lock
    // guards the current picture and the image.
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
        // The frame the file shows at ms; false when it is the current one.
        bool updatePosition(double positionMs, long& frame) override;

    private:
        // Set by the reading thread, cleared by the uploading one.
        std::atomic<bool> framePending{false};
        std::shared_ptr<Pixels> pixels;
        CriticalSection lock;
        ScopedPointer<GIFImage> image;
    };
}
