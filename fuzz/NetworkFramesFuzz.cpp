// Datagram sequences through the accumulator, as a peer could send them: each
// record is an opcode byte, then
//   0: a datagram of the length in the next two bytes (little-endian, at most
//      1500; cut short by the end of the input),
//   1: resolve (decode the newest complete frame, if any),
//   2: a datagram of up to 1408 bytes padded with zeros to 1408 (so mutations
//      keep whole packets).
// A decoded image must hold the bytes its size says; everything left is
// resolved at the end. Seeds are real packets of every compressor.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "VXFuzzSupport.h"
#include "engine/network/VXNetworkFramesAccumulator.h"
#include "engine/video/formats/VXPixels.h"

namespace
{
    void check(vx::Pixels* decoded)
    {
        const std::unique_ptr<vx::Pixels> image(decoded);
        if (image == nullptr)
            return;
        if (image->data == nullptr || image->width < 1 || image->height < 1 || image->getDataSize() < 1)
            std::abort();
        vx::fuzz::touch(image->data, std::uint64_t(image->getDataSize()));
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    vx::NetworkFramesAccumulator accumulator;
    std::vector<unsigned char> packet;
    size_t at = 0;
    while (at < size)
    {
        const int op = data[at++] % 3;
        if (op == 1)
        {
            check(accumulator.resolvePixels());
            continue;
        }
        size_t length = vx::UDPNetworkVideoFrame::Size;
        if (op == 0)
        {
            if (size - at < 2)
                break;
            length = std::min<size_t>(size_t(data[at]) | size_t(data[at + 1]) << 8, 1500);
            at += 2;
        }
        const size_t available = std::min(length, size - at);
        packet.assign(data + at, data + at + available);
        at += available;
        if (op == 2)
            packet.resize(vx::UDPNetworkVideoFrame::Size, 0);
        accumulator.addFrame(packet.data(), int(packet.size()));
    }
    check(accumulator.resolvePixels());
    return 0;
}
