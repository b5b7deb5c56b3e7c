#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace vx
{
    // Decodes Motion-JPEG camera frames. The usual samplings (4:2:2, 4:2:0)
    // stay planar as decoded (Y, Cb, Cr), for whoever copies the frame to
    // pack it; the rarer ones (grey, 4:4:4 ...) are converted to packed 4:2:2
    // (bytes U Y0 V Y1) in plane 0. One thread at a time; the picture stays
    // valid until the next decode.
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

        // Three planes, chroma at half width; else one packed plane.
        bool isPlanar() const { return planar; }
        // Luma rows per chroma row, as a shift: 0 for 4:2:2, 1 for 4:2:0.
        int getChromaRowShift() const { return chromaRowShift; }
        const uint8_t* getPlane(size_t index) const { return planes[index]; }
        size_t getBytesPerRow(size_t index) const { return bytesPerRow[index]; }
        int getWidth() const { return width; }
        int getHeight() const { return height; }

    private:
        struct Codec;
        std::unique_ptr<Codec> codec;
        std::unique_ptr<uint8_t[]> packed;
        size_t packedSize = 0;
        const uint8_t* planes[3] = {};
        size_t bytesPerRow[3] = {};
        bool planar = false;
        int chromaRowShift = 0;
        int width = 0;
        int height = 0;
    };
}
