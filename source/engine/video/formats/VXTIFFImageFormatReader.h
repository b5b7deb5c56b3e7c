#pragma once

#include "core/VXCriticalSection.h"
#include "engine/gfx/VXTextureFormat.h"
#include "engine/video/formats/VXVideoFormatReader.h"

#include <atomic>
#include <memory>
#include <vector>

namespace vx
{
    // One TIFF file, or equally laid out TIFF files as a sequence at 25
    // frames per second, decoded to RGBA of the file's sample width. The
    // first file's header is read at construction; a still picture decodes on
    // its first read, a sequence decodes each frame's file on the reading
    // thread. The lock guards the decoded picture; TIFF pictures always count
    // as having straight alpha.
    class TIFFImageFormatReader : public VideoFormatReader
    {
    public:
        explicit TIFFImageFormatReader(const File& file);
        ~TIFFImageFormatReader() override;

        bool canFrameRateBeAltered() override { return true; }
        bool canHandleMultipleFiles() const override { return true; }
        // A further file must have the first file's size and pixel size.
        bool addFile(const File& file, bool rejectDuplicates) override;
        bool canServePixels() const override { return true; }
        unsigned getTotalFrames() override;
        using VideoFormatReader::init;
        bool init(int width, int height) override;
        bool hasCustomThumbnail() const override { return true; }
        std::shared_ptr<Pixels> getCustomThumbnail() override;
        bool readFrame(double positionMs) override;
        bool updateTextureInternal(Texture* texture) override;
        bool updatePixelsInternal(std::shared_ptr<Pixels>& pixels) override;

        // Decodes a file: its header only, or the whole picture into out.
        static bool decompress(const File& file, int* width, int* height, int* bytesPerPixel, bool* hasAlpha,
                               bool headerOnly, std::shared_ptr<Pixels>& out);

    private:
        bool openFile(const File& file, bool headerOnly);

        // Set by the reading thread, cleared by the uploading one.
        std::atomic<bool> framePending{false};
        std::shared_ptr<Pixels> pixels;
        std::vector<File> files;
        CriticalSection lock;
        TextureFormat ownTextureFormat;
    };
}
