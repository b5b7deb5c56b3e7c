// Block planes built from the input, through both plane coders and back. Each
// input byte makes one 8-byte half: a repeat of the previous block's half, a
// copy of an earlier half or of its endpoints or index bytes, or new bytes
// taken from the input; so the fuzzer steers which symbols the coders choose.
// Packing into the frame codec's work buffer may fail (the planes are then
// stored raw); with room for the worst case it must not, and every packed
// result must decode to the planes.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine/video/codecs/VXYCoCgCoder.h"

namespace
{
    // Halves of blockBytes-byte blocks (8 or 16), from the input.
    std::vector<std::uint8_t> makePlane(const uint8_t* data, size_t size, size_t planeBytes, int blockBytes)
    {
        std::vector<std::uint8_t> plane(planeBytes);
        size_t in = 0;
        const auto next = [&]() -> std::uint8_t { return size == 0 ? 0 : data[in++ % size]; };
        for (size_t at = 0; at < planeBytes; at += 8)
        {
            std::uint8_t* half = &plane[at];
            const size_t block = at / static_cast<size_t>(blockBytes);
            const std::uint8_t op = next();
            const size_t back = 1 + (static_cast<size_t>(op >> 3) * 37 + next()) % std::max<size_t>(block, 1);
            const std::uint8_t* earlier = block == 0 ? nullptr : half - back * static_cast<size_t>(blockBytes);
            const std::uint8_t* previous = block == 0 ? nullptr : half - blockBytes;
            switch (earlier == nullptr ? 7 : op & 7)
            {
                case 0:
                case 1:
                    std::copy(previous, previous + 8, half);
                    break;
                case 2:
                    std::copy(earlier, earlier + 8, half);
                    break;
                case 3:
                    std::copy(earlier, earlier + 2, half);
                    std::generate(half + 2, half + 8, next);
                    break;
                case 4:
                    std::generate(half, half + 8, next);
                    std::copy(earlier + 2, earlier + 5, half + 2 + 3 * (op >> 7));
                    break;
                case 5:
                    std::copy(previous, previous + 2, half);
                    std::generate(half + 2, half + 8, next);
                    break;
                case 6:
                    std::generate(half, half + 2, next);
                    std::copy(earlier + 2, earlier + 8, half + 2);
                    break;
                default:
                    std::generate(half, half + 8, next);
                    break;
            }
        }
        return plane;
    }

    using Compress = int (*)(std::uint8_t*, int, const std::uint8_t*, int);
    using Decompress = int (*)(const std::uint8_t*, std::uint8_t*, int, int);

    void roundTrip(const std::vector<std::uint8_t>& planes, Compress compress, Decompress decompress)
    {
        const int size = static_cast<int>(planes.size());
        for (const int capacity : {size + size / 32 + 64, 2 * size + 1024})
        {
            std::vector<std::uint8_t> packed(static_cast<size_t>(capacity));
            const int packedSize = compress(packed.data(), capacity, planes.data(), size);
            if (packedSize == 0 && capacity > size + size / 32 + 64)
                std::abort();
            if (packedSize == 0)
                continue;
            if (packedSize < 0 || packedSize > capacity)
                std::abort();
            packed.resize(static_cast<size_t>(packedSize));
            std::vector<std::uint8_t> back(planes.size());
            if (decompress(packed.data(), back.data(), packedSize, size) != packedSize || back != planes)
                std::abort();
        }
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // One tile per 8 input bytes, 1 to 2048 tiles.
    const size_t tiles = std::clamp<size_t>(size / 8, 1, 2048);
    std::vector<std::uint8_t> ycocg6 = makePlane(data, size, 32 * tiles, 8);
    const std::vector<std::uint8_t> chroma = makePlane(data, size, 16 * tiles, 16);
    ycocg6.insert(ycocg6.end(), chroma.begin(), chroma.end());
    roundTrip(ycocg6, vx::YCoCg6_compress, vx::YCoCg6_decompress);

    std::vector<std::uint8_t> yacocg10 = makePlane(data, size, 64 * tiles, 16);
    yacocg10.insert(yacocg10.end(), chroma.begin(), chroma.end());
    roundTrip(yacocg10, vx::YACoCg10_compress, vx::YACoCg10_decompress);
    return 0;
}
