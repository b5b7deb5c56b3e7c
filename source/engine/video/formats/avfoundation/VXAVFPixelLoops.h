#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// The 16-bit pixel loops of the movie readers and writer: big-endian
// A,R,G,B ('b64a') to native R,G,B,A and back.
namespace vx::avf
{
    // One pixel as a little-endian 64-bit word: the bytes of each 16-bit
    // channel swapped, then the channels rotated by one place.
    inline std::uint64_t swapChannelBytes(std::uint64_t v)
    {
        return ((v & 0x00FF00FF00FF00FFull) << 8) | ((v >> 8) & 0x00FF00FF00FF00FFull);
    }

    // width x height pixels from rows sourceBytesPerRow apart into packed
    // native R,G,B,A.
    inline void argb64BigEndianToRGBA64(const unsigned char* source, std::size_t sourceBytesPerRow, int width,
                                        int height, std::uint16_t* destination)
    {
        for (int y = 0; y < height; ++y)
        {
            const unsigned char* row = source + static_cast<std::size_t>(y) * sourceBytesPerRow;
            unsigned char* out = reinterpret_cast<unsigned char*>(destination) +
                                 static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * 8;
            for (int x = 0; x < width; ++x)
            {
                std::uint64_t v;
                std::memcpy(&v, row + static_cast<std::size_t>(x) * 8, 8);
                v = swapChannelBytes(v); // A, R, G, B native
                v = (v >> 16) | (v << 48);
                std::memcpy(out + static_cast<std::size_t>(x) * 8, &v, 8);
            }
        }
    }

    // count pixels of native R,G,B,A rewritten in place as big-endian A,R,G,B.
    inline void rgba64ToARGB64BigEndianInPlace(unsigned char* pixels, std::size_t count)
    {
        for (std::size_t i = 0; i < count; ++i)
        {
            std::uint64_t v;
            std::memcpy(&v, pixels + i * 8, 8);
            v = (v << 16) | (v >> 48); // A, R, G, B native
            v = swapChannelBytes(v);
            std::memcpy(pixels + i * 8, &v, 8);
        }
    }
}
