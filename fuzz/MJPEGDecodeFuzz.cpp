// Arbitrary bytes as a camera's Motion-JPEG frame: the decoder must give a
// whole picture (three planes or one packed plane) or refuse the frame, never
// reading outside the bytes it was given nor writing outside its picture.

#include <cstdint>
#include <string>

#include "VXFuzzSupport.h"
#include "platform/avcapture/VXMJPEGDecoderFFmpeg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static vx::MJPEGDecoderFFmpeg decoder; // one per camera stream, frame after frame
    std::string error;
    if (decoder.decode(data, size, error))
    {
        // The first and last row of every plane.
        const bool planar = decoder.isPlanar();
        const size_t chromaWidth = size_t(decoder.getWidth() + 1) / 2;
        const int shift = decoder.getChromaRowShift();
        for (size_t plane = 0; plane < (planar ? 3u : 1u); ++plane)
        {
            const size_t row = ! planar ? chromaWidth * 4 : plane == 0 ? size_t(decoder.getWidth()) : chromaWidth;
            const int rows = plane == 0 ? decoder.getHeight() : (decoder.getHeight() + (1 << shift) - 1) >> shift;
            vx::fuzz::touch(decoder.getPlane(plane), row);
            vx::fuzz::touch(decoder.getPlane(plane) + decoder.getBytesPerRow(plane) * size_t(rows - 1), row);
        }
    }
    return 0;
}
