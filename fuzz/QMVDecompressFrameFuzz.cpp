// Arbitrary bytes as a QMV frame of any type: the first three bytes give the
// width and height (1 to 64 each) and the compressor (-1 for the type's
// default, else 0 to 7; 8 and 9 out of range). The frame is decoded into
// exactly the block data its type needs for that size; decompressFrame must
// never read past the frame nor write past the block data.

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine/video/codecs/VXQMVFrame.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    const int w = 1 + data[0] % 64, h = 1 + data[1] % 64;
    const int compressor = int(data[2] % 11) - 1;
    const std::vector<std::uint8_t> frame(data + 3, data + size);
    int type = qmv::typeDXT1Old;
    if (frame.size() >= 12)
    {
        const qmv::QMVHeader header = qmv::getFrameHeader(frame.data());
        type = qmv::fourccToQMVType(header.fourcc, header.version);
    }
    std::vector<std::uint8_t> blocks(size_t(qmv::getCompressedSize(w, h, type)));
    qmv::decompressFrame(blocks.data(), frame.data(), frame.size(), w, h, compressor, int(blocks.size()));
    return 0;
}
