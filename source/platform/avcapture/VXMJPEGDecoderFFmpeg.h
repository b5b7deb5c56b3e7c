#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace vx
{
    // Decodes Motion-JPEG camera frames into packed 4:2:2 (bytes U Y0 V Y1
    // per pair of pixels), the layout the format-conversion pass reads. One
    // thread at a time; the picture stays valid until the next decode.
    class MJPEGDecoderFFmpeg
    {
    public:
        MJPEGDecoderFFmpeg();
        ~MJPEGDecoderFFmpeg();
        MJPEGDecoderFFmpeg(const MJPEGDecoderFFmpeg&) = delete;
        MJPEGDecoderFFmpeg& operator=(const MJPEGDecoderFFmpeg&) = delete;

        // One whole JPEG image of size bytes; false with the reason in error
        // when it is not one (truncated, corrupt, empty). Malformed data never
        // makes it read outside [data, data + size).
        bool decode(const uint8_t* data, size_t size, std::string& error);

        const uint8_t* getPixels() const { return packed.get(); }
        size_t getBytesPerRow() const { return bytesPerRow; }
        int getWidth() const { return width; }
        int getHeight() const { return height; }

    private:
        struct Codec;
        std::unique_ptr<Codec> codec;
        std::unique_ptr<uint8_t[]> packed;
        size_t packedSize = 0;
        size_t bytesPerRow = 0;
        int width = 0;
        int height = 0;
    };
}
