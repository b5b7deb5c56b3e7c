// UV maps built from the input through the UV-map coder and back. The first
// two bytes give the width and height (1 to 64 each); every further pair of
// bytes is one pixel's step: U and V move by small amounts (or jump), and the
// alpha takes one of the classes the coder treats apart (invisible, visible,
// nearly opaque, opaque). With room for the worst case the coder must not
// fail, and the decoded map must keep the coder's promise: invisible pixels
// zero, U and V within 8, alpha within its byte (opaque stays opaque).

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine/video/codecs/VXUVM.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const unsigned long width = 1 + data[0] % 64, height = 1 + data[1] % 64, pixels = width * height;
    std::vector<std::uint16_t> map(pixels * 4);
    int u = 30000, v = 30000;
    size_t in = 2;
    const auto next = [&]() -> unsigned { return size > 2 ? data[2 + (in++ - 2) % (size - 2)] : 0; };
    for (unsigned long i = 0; i < pixels; ++i)
    {
        const unsigned step = next(), kind = next();
        if ((step & 0xC0) == 0xC0)
            u = int(step) * 257;
        else
            u = (u + int(step & 0x0F) - 7 + 65536) % 65536;
        v = (v + int(step >> 4 & 0x03) * 3 - 4 + 65536) % 65536;
        static const std::uint16_t alphas[8] = {0, 767, 768, 20000, 64511, 64512, 65535, 65535};
        map[4 * i] = std::uint16_t(u);
        map[4 * i + 1] = std::uint16_t(v);
        map[4 * i + 3] = alphas[kind & 7];
    }

    std::vector<std::uint8_t> stream(pixels * 16 + 64);
    const unsigned long n =
        vx::UVM_compress_RGBA16(stream.data(), stream.size(), map.data(), map.size() * 2, width, height);
    if (n == 0)
        std::abort();
    stream.resize(n);
    std::vector<std::uint16_t> decoded(pixels * 4);
    if (vx::UVM_decompress_RGBA16(decoded.data(), width, height, stream.data(), stream.size()) != pixels * 8)
        std::abort();
    for (unsigned long i = 0; i < pixels; ++i)
    {
        const std::uint16_t* s = &map[4 * i];
        const std::uint16_t* d = &decoded[4 * i];
        if (s[3] < 768)
        {
            if (d[0] != 0 || d[1] != 0 || d[2] != 0 || d[3] != 0)
                std::abort();
            continue;
        }
        const bool alphaKept = s[3] >= 64512 ? d[3] >= 64512 : std::abs(int(d[3]) - int(s[3])) <= 255;
        if (std::abs(int(d[0]) - int(s[0])) > 8 || std::abs(int(d[1]) - int(s[1])) > 8 || d[2] != 0 || ! alphaKept)
            std::abort();
    }
    return 0;
}
