// Arbitrary bytes through both UV-map decoders: the first two bytes give the
// width and height (1 to 128 each), the rest is the stream. Each must answer 0
// or the image's bytes, never read past the stream nor write past the image,
// and both forms must agree on success.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/video/codecs/VXUVM.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const unsigned long width = 1 + data[0] % 128, height = 1 + data[1] % 128, pixels = width * height;
    // Exactly the stream and the images, so that any access past them shows.
    const std::vector<std::uint8_t> stream(data + 2, data + size);
    std::vector<std::uint16_t> rgba(pixels * 4);
    std::vector<std::uint8_t> planes(pixels * 5);
    const unsigned long a = vx::UVM_decompress_RGBA16(rgba.data(), width, height, stream.data(), stream.size());
    const unsigned long b = vx::UVM_decompress_LA16A8(planes.data(), width, height, stream.data(), stream.size());
    if ((a != 0 && a != pixels * 8) || (b != 0 && b != pixels * 5) || (a == 0) != (b == 0))
        std::abort();
    if (a != 0)
        for (unsigned long i = 0; i < pixels; ++i)
            if (std::memcmp(&planes[4 * i], &rgba[4 * i], 4) != 0 || planes[4 * pixels + i] != rgba[4 * i + 3] >> 8)
                std::abort();
    return 0;
}
