// The input as texture data through a Hap frame and back: the first byte picks
// the format and the second stage, the rest is the data. With the output the
// encoder asks for, encoding must succeed, and decoding must give back the
// data and the format.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/video/codecs/VXHap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    static const unsigned formats[3] = {vx::hapFormatDXT1, vx::hapFormatDXT5, vx::hapFormatYCoCgDXT5};
    const unsigned format = formats[data[0] % 3];
    const unsigned compressor = (data[0] >> 2) & 1;
    const std::vector<std::uint8_t> input(data + 1, data + size);
    std::vector<std::uint8_t> frame(vx::HapMaxEncodedLength(input.size()));
    unsigned long used = 0;
    if (vx::HapEncode(input.data(), input.size(), format, compressor, frame.data(), frame.size(), &used) != 0 ||
        used == 0 || used > frame.size())
        std::abort();
    frame.resize(used);
    std::vector<std::uint8_t> out(input.size());
    unsigned long decoded = 0;
    unsigned decodedFormat = 0;
    if (vx::HapDecode(frame.data(), frame.size(), nullptr, nullptr, out.data(), out.size(), &decoded,
                      &decodedFormat) != 0 ||
        decoded != input.size() || decodedFormat != format || out != input)
        std::abort();
    return 0;
}
