// Arbitrary bytes through a DXTR decoder. The first two bytes give the
// output size (little-endian, so up to 64 KiB), the rest is the stream. The
// output buffer is exactly that size, so any write past it or read past the
// stream shows under the address sanitizer. A decode that succeeds must
// report no more bytes than it was given, and its blocks must survive the
// encoder and decoder unchanged.

#pragma once

#include "engine/video/codecs/VXDXTR.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace vx::fuzz
{
    using DXTRDecode = unsigned (*)(const std::uint8_t* src, unsigned size, std::uint8_t* dst, int dstSize);
    using DXTREncode = unsigned (*)(const std::uint8_t* src, unsigned size, std::uint8_t* dst, unsigned capacity);

    inline int dxtrDecodeOne(const std::uint8_t* data, std::size_t size, int blockBytes, DXTRDecode decode,
                             DXTREncode encode)
    {
        if (size < 2)
            return 0;
        const int dstSize = data[0] | data[1] << 8;
        const std::vector<std::uint8_t> stream(data + 2, data + size);
        std::vector<std::uint8_t> out(static_cast<std::size_t>(dstSize));
        const unsigned used = decode(stream.data(), unsigned(stream.size()), out.data(), dstSize);
        if (used == 0)
            return 0;
        if (used > stream.size() || dstSize < 1)
            std::abort();

        // Whole blocks of a successful decode go back through the encoder.
        const std::size_t whole = out.size() / std::size_t(blockBytes) * std::size_t(blockBytes);
        std::vector<std::uint8_t> packed(DXTR_compressBound(unsigned(whole)));
        const unsigned packedSize = encode(out.data(), unsigned(whole), packed.data(), unsigned(packed.size()));
        if (packedSize == 0)
            return 0;
        if (packedSize >= whole)
            std::abort();
        packed.resize(packedSize);
        std::vector<std::uint8_t> again(whole);
        if (decode(packed.data(), packedSize, again.data(), int(whole)) != packedSize ||
            std::memcmp(again.data(), out.data(), whole) != 0)
            std::abort();
        return 0;
    }
}
