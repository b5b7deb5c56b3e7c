// Arbitrary bytes as a Hap frame: its texture format, then a decode into an
// output of exactly the size the first two bytes give (1 to 65536), chunks
// run in order or last first. Every answer must be one of the five results,
// with nothing read past the frame nor written past the output.

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine/video/codecs/VXHap.h"

namespace
{
    void lastFirst(vx::HapChunkFunction function, void* chunks, unsigned count, void*)
    {
        for (unsigned i = count; i-- > 0;)
            function(chunks, i);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const size_t capacity = 1 + (data[0] | size_t(data[1]) << 8);
    const std::vector<std::uint8_t> frame(data + 2, data + size);
    unsigned format = 0;
    if (vx::HapGetFrameTextureFormat(frame.data(), frame.size(), &format) > 4)
        std::abort();
    std::vector<std::uint8_t> out(capacity);
    unsigned long used = 0;
    const unsigned result = vx::HapDecode(frame.data(), frame.size(), (data[0] & 1) != 0 ? lastFirst : nullptr,
                                          nullptr, out.data(), out.size(), &used, &format);
    if (result > 4 || (result == 0 && used > capacity))
        std::abort();
    return 0;
}
