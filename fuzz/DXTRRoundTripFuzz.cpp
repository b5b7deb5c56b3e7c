// DXTR round trip. Random bytes seldom repeat, so the input is a small
// program that builds the block data the coder is for: literal blocks, runs,
// whole blocks, halves and words copied from near or far back. Bit 0 of the
// first byte picks DXT5 over DXT1. Whatever compresses must decode to the
// same bytes, using exactly the bytes written, and decode safely into a
// shorter output.

#include "engine/video/codecs/VXDXTR.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{
    // Far enough for the farthest reference (65793 blocks) and a little more.
    constexpr std::size_t maxBlocks = 70000;

    class Program
    {
    public:
        Program(const std::uint8_t* bytes, std::size_t count) : data(bytes), size(count) {}

        bool more() const { return at < size; }
        std::uint8_t byte() { return at < size ? data[at++] : 0; }
        std::uint32_t u16()
        {
            const std::uint32_t low = byte();
            return low | std::uint32_t(byte()) << 8;
        }

    private:
        const std::uint8_t* data;
        std::size_t size;
        std::size_t at = 0;
    };
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const bool dxt5 = (data[0] & 1) != 0;
    const std::size_t blockBytes = dxt5 ? 16 : 8;
    const std::size_t half = dxt5 ? 8 : 0; // the colour half
    Program program(data + 1, size - 1);
    std::vector<std::uint8_t> blocks;
    auto count = [&] { return blocks.size() / blockBytes; };
    auto back = [&](std::uint32_t distance) {
        return blocks.data() + (count() - 1 - std::min<std::size_t>(distance, count() - 1)) * blockBytes;
    };

    while (program.more() && count() < maxBlocks)
    {
        const std::uint8_t op = program.byte();
        std::uint8_t block[16];
        for (std::size_t i = 0; i < blockBytes; ++i)
            block[i] = program.byte();
        if (count() > 0)
        {
            switch (op & 7)
            {
            case 0: break; // literal
            case 1: std::memcpy(block, back(0), blockBytes); break;
            case 2: std::memcpy(block, back(program.u16()), blockBytes); break;
            case 3: std::memcpy(block, back(0), 8); break; // DXT5: alpha repeats
            case 4: std::memcpy(block + half, back(program.u16()) + half, 4); break;
            case 5: std::memcpy(block + half + 4, back(program.u16()) + half + 4, 4); break;
            case 6: std::memcpy(block, back(program.u16()), 8); break;
            case 7: std::memcpy(block, back(65000 + program.byte() * 4u), blockBytes); break;
            }
        }
        // The high bits repeat the block, up to a long run.
        const std::size_t copies = (op >> 3) == 31 ? 1 + program.u16() : 1 + (op >> 3);
        for (std::size_t c = 0; c < copies && count() < maxBlocks; ++c)
            blocks.insert(blocks.end(), block, block + blockBytes);
    }
    if (blocks.empty())
        return 0;

    const unsigned srcSize = unsigned(blocks.size());
    std::vector<std::uint8_t> packed(DXTR_compressBound(srcSize));
    const unsigned packedSize = dxt5 ? DXTR_compressDXT5(blocks.data(), srcSize, packed.data(), unsigned(packed.size()))
                                     : DXTR_compressDXT1(blocks.data(), srcSize, packed.data(), unsigned(packed.size()));
    if (packedSize == 0)
        return 0;
    if (packedSize >= srcSize)
        std::abort();
    packed.resize(packedSize);

    std::vector<std::uint8_t> out(srcSize);
    const unsigned used = dxt5 ? DXTR_uncompressDXT5(packed.data(), packedSize, out.data(), int(srcSize))
                               : DXTR_uncompressDXT1(packed.data(), packedSize, out.data(), int(srcSize));
    if (used != packedSize || out != blocks)
        std::abort();

    // A shorter output, cut inside a block, is filled from the same stream.
    const std::size_t shorter = srcSize - 1 - data[0] % std::min<std::size_t>(srcSize - 1, 255);
    std::vector<std::uint8_t> part(shorter);
    const unsigned partUsed = dxt5 ? DXTR_uncompressDXT5(packed.data(), packedSize, part.data(), int(shorter))
                                   : DXTR_uncompressDXT1(packed.data(), packedSize, part.data(), int(shorter));
    if (shorter > 0 && (partUsed == 0 || std::memcmp(part.data(), blocks.data(), shorter) != 0))
        std::abort();
    return 0;
}
