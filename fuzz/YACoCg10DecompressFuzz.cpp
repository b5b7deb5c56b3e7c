// Arbitrary bytes through the YACoCg10 plane decoder: the first two bytes give
// the number of 80-byte tiles (1 to 1024), the rest is the packed planes. It
// must answer 0 or the bytes it used, never read past the input nor write past
// the planes.

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine/video/codecs/VXYCoCgCoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const int tiles = 1 + ((data[0] | (data[1] << 8)) & 1023);
    const int planeBytes = 80 * tiles;
    // Exactly the packed bytes and the planes, so that any access past them shows.
    std::vector<std::uint8_t> packed(data + 2, data + size);
    std::vector<std::uint8_t> planes(static_cast<size_t>(planeBytes));
    const int used = vx::YACoCg10_decompress(packed.data(), planes.data(), static_cast<int>(packed.size()), planeBytes);
    if (used < 0 || used > static_cast<int>(packed.size()))
        std::abort();
    return 0;
}
