// Arbitrary bytes through QMVDecompressor as a file reader drives it: the
// first three bytes give the stream's width and height (1 to 64 each) and
// whether UV maps decode to planes; the rest is one frame, whose header
// readHeaderInfo reads before decompressFrame decodes the frame into a buffer
// of exactly the size the settings then name (the block data, the map or the
// planes, the mask).

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine/video/codecs/VXQMVDecompressor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    vx::VideoCodecSettings settings(1 + data[0] % 64, 1 + data[1] % 64, 25.0, nullptr);
    std::vector<std::uint8_t> frame(data + 3, data + size);
    vx::QMVDecompressor decompressor(settings, qmv::typeDXT1Old, 4, 0);
    if (! decompressor.readHeaderInfo(frame.data(), int(frame.size())))
        return 0;
    decompressor.getSettings().useLA16A8 = data[2] & 1;
    const vx::VideoCodecSettings& s = decompressor.getSettings();
    size_t bytes = size_t(s.compressedSize);
    if (decompressor.getType() == qmv::typeUVMap && s.useLA16A8 != 0)
        bytes = size_t(s.width) * s.height * 5;
    std::vector<std::uint16_t> out((bytes + 1) / 2);
    decompressor.decompressFrame(reinterpret_cast<std::uint8_t*>(out.data()), frame.data(), int(frame.size()));
    return 0;
}
