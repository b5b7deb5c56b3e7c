#pragma once

#include "core/VXCriticalSection.h"
#include "engine/gfx/VXTextureFormat.h"
#include "engine/video/formats/VXVideoFormatReader.h"

#include <atomic>
#include <memory>
#include <vector>

namespace vx
{
    // Any still image the image utilities decode (PNG, TIFF, and what stb
    // reads: JPEG, PSD, ...), or a list of them played as a sequence at 25
    // frames per second. Each frame change decodes its file on the thread
    // that reads; the render thread uploads it. The lock guards the decoded
    // picture.
    class ImageFormatReader : public VideoFormatReader
    {
    public:
        explicit ImageFormatReader(const File& file);
        ~ImageFormatReader() override;

        bool canFrameRateBeAltered() override { return true; }
        bool canHandleMultipleFiles() const override { return true; }
        // With rejectDuplicates a file already listed answers false.
        bool addFile(const File& file, bool rejectDuplicates) override;
        bool canServePixels() const override { return true; }
        int getTextureWidth() const override;
        int getTextureHeight() const override;
        unsigned getTotalFrames() override;
        using VideoFormatReader::init;
        bool init(int width, int height) override;
        bool hasCustomThumbnail() const override { return true; }
        std::shared_ptr<Pixels> getCustomThumbnail() override;
        // A sequence decodes the frame's file; the answer says whether a
        // picture waits for upload.
        bool readFrame(double positionMs) override;
        bool updateTextureInternal(Texture* texture) override;
        // A copy of the current picture.
        bool updatePixelsInternal(std::shared_ptr<Pixels>& pixels) override;

    protected:
        // Decodes the file into the current picture and takes its layout.
        bool openFile(const File& file);

    private:
        // Set by the reading thread, cleared by the uploading one.
        std::atomic<bool> framePending{false};
        std::shared_ptr<Pixels> pixels;
        std::vector<File> files;
        CriticalSection lock;
        TextureFormat pixelsFormat;
    };
}
