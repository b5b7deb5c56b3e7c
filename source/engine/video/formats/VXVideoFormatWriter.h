#pragma once

#include "core/VXFile.h"
#include "engine/video/codecs/VXVideoCodecSettings.h"
#include "engine/video/formats/VXPixelsUtils.h"

#include <memory>
#include <string>

namespace vx
{
    class ParamContainer;
    class Pixels;
    class Texture;
    class VideoFormatReader;
    class VideoTextureBuffer;

    // The base of every writer. A format makes it for a file and discards
    // it when it is not ready; frames then go in through the write* calls,
    // which refuse while the writer is busy. Texture calls run on the render
    // thread.
    class VideoFormatWriter
    {
    public:
        VideoFormatWriter(File& file, const std::string& formatName, double fps, unsigned bitDepth, unsigned width,
                          unsigned height, const VideoCodecSettings& settings);
        virtual ~VideoFormatWriter();
        VideoFormatWriter(const VideoFormatWriter&) = delete;
        VideoFormatWriter& operator=(const VideoFormatWriter&) = delete;

        virtual void release() {}
        virtual bool isBusy() const { return false; }
        virtual bool hasDialog() const { return false; }
        virtual bool openDialog() { return false; }
        virtual std::shared_ptr<ParamContainer> getSettings() const { return {}; }
        virtual bool write(std::shared_ptr<Pixels> pixels);
        virtual bool write(Texture* texture);

        // False for null, while busy, or for pixels of another size than
        // bitDepth bytes; rows are flipped in place first when flip is set.
        bool writeFromPixels(std::shared_ptr<Pixels> pixels);
        // Writes the texture itself, or its read-back at bitDepth.
        bool writeFromTexture(Texture* texture);
        // Each texture in order; the last result.
        bool writeFromVideoTextureBuffer(VideoTextureBuffer* buffer);
        // count frames from the same position, each through one texture of
        // the reader's format; true when every read succeeded.
        bool writeFromVideoReader(VideoFormatReader& reader, double positionMs, int count);

        const VideoCodecSettings& getCodecSettings() const { return codecSettings; }
        const File& getOutputFile() const { return outputFile; }
        const std::string& getFormatName() const { return formatName; }
        double getFps() const { return fps; }
        unsigned getBitDepth() const { return bitDepth; }
        unsigned getWidth() const { return width; }
        unsigned getHeight() const { return height; }
        bool flipsRows() const { return flip; }

    protected:
        VideoCodecSettings codecSettings;
        bool writesTextures = false;
        PixelsUtils::PixelsOrder pixelsOrder = PixelsUtils::keepOrder;
        bool flip = false;
        double fps;
        unsigned bitDepth, width, height;
        File outputFile;
        std::string formatName;
    };
}
