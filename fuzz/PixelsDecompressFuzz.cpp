// Arbitrary bytes as a CompressedPixels through every member's decompress.
// The first eight bytes give the member (id 0, 1, 2, 3, 5, 8 or 9), the width
// and height (1 to 256 each), the pixel size, whether the padded size is set
// and whether UV maps decode to planes; the rest is the payload, exactly as
// long as size says. A decoded image must have the stored (or, for DXT, the
// padded) size, and nothing may be read past the payload.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "engine/video/codecs/VXDXTPixelsCompressor.h"
#include "engine/video/codecs/VXDummyPixelsCompressor.h"
#include "engine/video/codecs/VXHAPPixelsCompressor.h"
#include "engine/video/codecs/VXLZ4PixelsCompressor.h"
#include "engine/video/codecs/VXLZFPixelsCompressor.h"
#include "engine/video/codecs/VXPNGPixelsCompressor.h"
#include "engine/video/codecs/VXUVAPixelsCompressor.h"
#include "engine/video/formats/VXPixels.h"

namespace
{
    std::unique_ptr<vx::PixelsCompressor> makeCompressor(int which, bool planes)
    {
        switch (which % 7)
        {
            case 0: return std::make_unique<vx::DummyPixelsCompressor>();
            case 1: return std::make_unique<vx::LZFPixelsCompressor>();
            case 2: return std::make_unique<vx::LZ4PixelsCompressor>();
            case 3: return std::make_unique<vx::PNGPixelsCompressor>();
            case 4: return std::make_unique<vx::DXTPixelsCompressor>();
            case 5: return std::make_unique<vx::HAPPixelsCompressor>();
            default:
            {
                auto uva = std::make_unique<vx::UVAPixelsCompressor>();
                uva->setUseLA16A8(planes);
                return uva;
            }
        }
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 8)
        return 0;
    static const int pixelSizes[8] = {1, 2, 3, 4, 8, 16, 4, 8};
    auto compressor = makeCompressor(data[0], (data[7] & 2) != 0);
    vx::CompressedPixels in;
    in.width = 1 + data[1];
    in.height = 1 + data[3];
    in.bytesPerPixel = pixelSizes[data[5] & 7];
    if ((data[7] & 1) != 0)
    {
        in.paddedWidth = (in.width + 15) & ~15;
        in.paddedHeight = (in.height + 15) & ~15;
    }
    in.type = compressor->getType();
    if (size > 8)
    {
        in.allocateData(long(size - 8));
        std::memcpy(in.data, data + 8, size - 8);
    }
    const std::unique_ptr<vx::Pixels> image(compressor->decompress(in));
    if (image != nullptr)
    {
        const bool padded = in.type == vx::PixelsCompressor::DXT;
        const int w = padded ? (in.width + 15) & ~15 : in.width, h = padded ? (in.height + 15) & ~15 : in.height;
        if (image->width != w || image->height != h || image->data == nullptr)
            std::abort();
    }
    return 0;
}
