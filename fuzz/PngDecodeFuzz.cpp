// Arbitrary bytes through the PNG decoder: it must answer null or a buffer of
// exactly the size it reports, never read or write out of bounds. Whatever
// decodes is encoded again and must decode to the same bytes.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include "engine/video/formats/VXPNGImageFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    unsigned long width = 0, height = 0, rowBytes = 0;
    int bytesPerPixel = 0;
    bool hasAlpha = false;
    unsigned char* pixels = vx::PNGImageFormat::decodeImage(in, &width, &height, &rowBytes, &bytesPerPixel, &hasAlpha);
    if (pixels == nullptr)
        return 0;

    if (bytesPerPixel != 4 && bytesPerPixel != 8)
        std::abort();
    if (rowBytes != width * static_cast<unsigned long>(bytesPerPixel))
        std::abort();
    const size_t total = rowBytes * height;
    // Touch every byte so that a short buffer shows under the address sanitizer.
    unsigned sum = 0;
    for (size_t i = 0; i < total; ++i)
        sum += pixels[i];
    (void)sum;

    std::ostringstream out;
    if (! vx::PNGImageFormat::writePixelsToStream(pixels, width, height, bytesPerPixel, out))
        std::abort();
    std::istringstream again(out.str());
    unsigned long width2 = 0, height2 = 0, rowBytes2 = 0;
    int bytesPerPixel2 = 0;
    unsigned char* pixels2 =
        vx::PNGImageFormat::decodeImage(again, &width2, &height2, &rowBytes2, &bytesPerPixel2, nullptr);
    if (pixels2 == nullptr || width2 != width || height2 != height || bytesPerPixel2 != bytesPerPixel ||
        std::memcmp(pixels, pixels2, total) != 0)
        std::abort();

    std::free(pixels2);
    std::free(pixels);
    return 0;
}
