// Arbitrary bytes as a JPEG with an EXIF block: the orientation reader must
// answer 1 to 8 and never read outside the input; the turn it names must move
// every pixel of a picture exactly once; and the whole still decode (the
// segment checks, stb and the turn) must answer null or a buffer of the size
// it reports, never reading or writing out of bounds.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "VXFuzzSupport.h"
#include "engine/video/formats/VXExifOrientation.h"
#include "engine/video/formats/VXImageUtils.h"
#include "engine/video/formats/VXJPEGSegments.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // An exact-size copy, so that a read past the end shows.
    const std::unique_ptr<unsigned char[]> bytes(new unsigned char[size == 0 ? 1 : size]);
    if (size != 0)
        std::memcpy(bytes.get(), data, size);
    const int orientation = vx::ExifOrientation::read(bytes.get(), size);
    if (orientation < 1 || orientation > 8)
        std::abort();

    // A picture of the input's own choosing (1 to 16 pixels a side, 1 to 4
    // bytes a pixel) whose pixels hold their indexes: turned, each index is
    // there once.
    const int width = size > 0 ? 1 + data[size - 1] % 16 : 3;
    const int height = size > 1 ? 1 + data[size - 2] % 16 : 2;
    const int bytesPerPixel = size > 2 ? 1 + data[size - 3] % 4 : 2;
    auto* pixels = static_cast<unsigned char*>(std::malloc(std::size_t(width) * height * bytesPerPixel));
    if (pixels == nullptr)
        return 0;
    for (int i = 0; i < width * height; ++i)
        for (int b = 0; b < bytesPerPixel; ++b)
            pixels[i * bytesPerPixel + b] = static_cast<unsigned char>(b == 0 ? i : i >> 8);
    int w = width, h = height;
    if (! vx::ExifOrientation::apply(orientation, pixels, w, h, bytesPerPixel))
        std::abort();
    if (orientation >= 5 ? (w != height || h != width) : (w != width || h != height))
        std::abort();
    std::vector<int> seen(std::size_t(width) * height, 0);
    for (int i = 0; i < width * height; ++i)
    {
        const int index = pixels[i * bytesPerPixel] | (bytesPerPixel > 1 ? pixels[i * bytesPerPixel + 1] << 8 : 0);
        if (index >= width * height || ++seen[std::size_t(index)] != 1)
            std::abort();
    }
    std::free(pixels);

    // The still decode of what stb takes for a JPEG (its other formats are
    // no concern of this target), of pictures up to 4 megapixels: a few bytes
    // may claim 16384 x 16384, for which the decoder rightly asks a gigabyte.
    if (size < 2 || data[0] != 0xFF || (data[1] != 0xD8 && data[1] != 0xFF))
        return 0;
    std::uint64_t pixelsClaimed = 0;
    vx::JPEGSegments::walk(bytes.get(), size,
                           [&](const vx::JPEGSegments::Segment& segment)
                           {
                               const bool frame = segment.marker >= 0xC0 && segment.marker <= 0xCF &&
                                                  segment.marker != 0xC4 && segment.marker != 0xC8 &&
                                                  segment.marker != 0xCC;
                               if (! frame)
                                   return true;
                               if (segment.toEnd >= 5)
                                   pixelsClaimed = std::uint64_t((segment.body[1] << 8) | segment.body[2]) *
                                                   std::uint64_t((segment.body[3] << 8) | segment.body[4]);
                               return false;
                           });
    if (pixelsClaimed > (1u << 22))
        return 0;
    unsigned long decodedWidth = 0, decodedHeight = 0;
    int channels = 0;
    unsigned char* decoded = vx::ImageUtils::imageFromMemory(bytes.get(), static_cast<int>(size), &decodedWidth,
                                                             &decodedHeight, &channels, 0);
    if (decoded != nullptr)
        vx::fuzz::touch(decoded, std::uint64_t(decodedWidth) * decodedHeight * std::uint64_t(channels));
    std::free(decoded);
    return 0;
}
