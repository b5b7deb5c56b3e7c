#include "engine/video/formats/VXVideoFormatWriter.h"

#include "engine/gfx/VXTexture.h"
#include "engine/video/formats/VXPixels.h"
#include "engine/video/formats/VXVideoFormatReader.h"
#include "engine/video/formats/VXVideoTextureBuffer.h"

namespace vx
{
    VideoFormatWriter::VideoFormatWriter(File& file, const std::string& name, double framesPerSecond, unsigned depth,
                                         unsigned w, unsigned h, const VideoCodecSettings& settings)
        : codecSettings(settings),
          fps(framesPerSecond),
          bitDepth(depth),
          width(w),
          height(h),
          outputFile(file.getFullPath()),
          formatName(name)
    {
    }

    VideoFormatWriter::~VideoFormatWriter() = default;

    bool VideoFormatWriter::write(std::shared_ptr<Pixels>)
    {
        return false;
    }

    bool VideoFormatWriter::write(Texture*)
    {
        return false;
    }

    bool VideoFormatWriter::writeFromPixels(std::shared_ptr<Pixels> pixels)
    {
        if (pixels == nullptr || isBusy() || pixels->bytesPerPixel != static_cast<int>(bitDepth))
            return false;
        if (flip)
            pixels->flip();
        return write(pixels);
    }

    bool VideoFormatWriter::writeFromTexture(Texture* texture)
    {
        if (texture == nullptr || isBusy())
            return false;
        if (writesTextures)
            return write(texture);
        std::shared_ptr<Pixels> pixels(
            PixelsUtils::textureToPixels(texture, static_cast<int>(bitDepth), pixelsOrder, flip, true));
        if (pixels == nullptr || pixels->data == nullptr)
            return false;
        return write(pixels);
    }

    bool VideoFormatWriter::writeFromVideoTextureBuffer(VideoTextureBuffer* buffer)
    {
        if (buffer == nullptr || buffer->getTextures().empty())
            return false;
        bool result = false;
        for (Texture* texture : buffer->getTextures())
            result = writeFromTexture(texture);
        return result;
    }

    bool VideoFormatWriter::writeFromVideoReader(VideoFormatReader& reader, double positionMs, int count)
    {
        VideoTextureBuffer buffer(1, static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height),
                                  reader.getTextureFormat());
        if (count <= 0)
            return false;
        for (int i = 0; i < count; ++i)
        {
            if (! reader.read(positionMs))
                return false;
            buffer.readTextureFromVideoReader(reader, 0);
            Texture* texture = buffer.getTexture(0);
            if (texture != nullptr && texture->isValid())
                writeFromTexture(texture);
        }
        return true;
    }
}
