#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// The 16-bit pixel loops of the movie readers and writer: big-endian
// A,R,G,B ('b64a') to native R,G,B,A and back.
namespace vx::avf
{
    inline std::uint16_t swapBytes(std::uint16_t v)
    {
        return static_cast<std::uint16_t>((v << 8) | (v >> 8));
    }

    // width x height pixels from rows sourceBytesPerRow apart into packed
    // native R,G,B,A.
    inline void argb64BigEndianToRGBA64(const unsigned char* source, std::size_t sourceBytesPerRow, int width,
                                        int height, std::uint16_t* destination)
    {
        for (int y = 0; y < height; ++y)
        {
            const unsigned char* row = source + static_cast<std::size_t>(y) * sourceBytesPerRow;
            std::uint16_t* out = destination + static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * 4;
            for (int x = 0; x < width; ++x)
            {
                std::uint16_t in[4];
                std::memcpy(in, row + static_cast<std::size_t>(x) * 8, 8);
                out[x * 4 + 0] = swapBytes(in[1]);
                out[x * 4 + 1] = swapBytes(in[2]);
                out[x * 4 + 2] = swapBytes(in[3]);
                out[x * 4 + 3] = swapBytes(in[0]);
            }
        }
    }

    // count pixels of native R,G,B,A rewritten in place as big-endian A,R,G,B.
    inline void rgba64ToARGB64BigEndianInPlace(unsigned char* pixels, std::size_t count)
    {
        for (std::size_t i = 0; i < count; ++i)
        {
            std::uint16_t in[4];
            std::memcpy(in, pixels + i * 8, 8);
            const std::uint16_t out[4] = {swapBytes(in[3]), swapBytes(in[0]), swapBytes(in[1]), swapBytes(in[2])};
            std::memcpy(pixels + i * 8, out, 8);
        }
    }
}
