// Arbitrary bytes through the DXTR DXT1 decoder (see VXDXTRDecodeFuzz.h).

#include "VXDXTRDecodeFuzz.h"

namespace
{
    unsigned decode(const std::uint8_t* src, unsigned size, std::uint8_t* dst, int dstSize)
    {
        return DXTR_uncompressDXT1(src, size, dst, dstSize);
    }

    unsigned encode(const std::uint8_t* src, unsigned size, std::uint8_t* dst, unsigned capacity)
    {
        return DXTR_compressDXT1(src, size, dst, capacity);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return vx::fuzz::dxtrDecodeOne(data, size, 8, &decode, &encode);
}
