// Arbitrary bytes as a camera's Motion-JPEG frame: the decoder must give a
// whole packed 4:2:2 picture or refuse the frame, never reading outside the
// bytes it was given nor writing outside its picture.

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
        const uint8_t* pixels = decoder.getPixels();
        const size_t last = decoder.getBytesPerRow() * size_t(decoder.getHeight() - 1);
        vx::fuzz::touch(pixels, 1);
        vx::fuzz::touch(pixels + last, decoder.getBytesPerRow());
    }
    return 0;
}
