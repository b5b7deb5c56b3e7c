// Arbitrary bytes through the FSE block decoder: the first two bytes give the
// number of symbols to decode, the rest is the block. It must answer 0 or the
// bytes it used, never read past the block nor write past the symbols. The
// input is then compressed (as bytes, and folded to 18 symbols as the plane
// coders use it) and must decode to itself.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/video/codecs/VXFSE.h"

namespace
{
    void roundTrip(const std::vector<std::uint8_t>& symbols, int nbSymbols)
    {
        const int size = static_cast<int>(symbols.size());
        std::vector<std::uint8_t> block(symbols.size() + 1);
        const int packed = vx::FSE_compress_Nsymbols(block.data(), symbols.data(), size, nbSymbols);
        if (packed < 1 || packed > size + 1)
            std::abort();
        std::vector<std::uint8_t> back(symbols.size());
        if (vx::FSE_decompress(back.data(), size, block.data(), packed) != packed || back != symbols)
            std::abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size >= 2)
    {
        const int count = data[0] | (data[1] << 8);
        // Exactly the block's bytes, so that any read past them shows.
        std::vector<std::uint8_t> block(data + 2, data + size);
        std::vector<std::uint8_t> out(static_cast<size_t>(count));
        const int used = vx::FSE_decompress(out.data(), count, block.data(), static_cast<int>(block.size()));
        if (used < 0 || used > static_cast<int>(block.size()))
            std::abort();
    }

    std::vector<std::uint8_t> symbols(data, data + size);
    roundTrip(symbols, 256);
    for (auto& s : symbols)
        s %= 18;
    roundTrip(symbols, 18);
    return 0;
}
