// Arbitrary bytes through the PNG decoder: it must answer null or a buffer of
// exactly the size it reports, never read or write out of bounds. Whatever
// decodes is encoded again and must decode to the same bytes.
//
// libpng refuses a chunk whose checksum is wrong, so almost every mutation of
// a seed would stop at the first chunk it touches. Each input is decoded as
// it is (the checksum paths) and, when that differs, with every complete
// chunk's checksum recomputed (the paths behind them).

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include <zlib.h>

#include "engine/video/formats/VXPNGImageFormat.h"

namespace
{
    // Encoding is the slow half; larger pictures add no paths smaller ones miss.
    constexpr size_t maxRoundTripBytes = 1 << 20;

    std::uint32_t readBigEndian(const std::string& bytes, size_t at)
    {
        std::uint32_t value = 0;
        for (size_t i = 0; i < 4; ++i)
            value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
        return value;
    }

    // The input with each chunk's checksum made to match its type and data.
    std::string withChunkChecksums(std::string bytes)
    {
        size_t at = 8;
        while (at + 12 <= bytes.size())
        {
            const std::uint32_t length = readBigEndian(bytes, at);
            if (length > bytes.size() - at - 12)
                break;
            const auto* typeAndData = reinterpret_cast<const Bytef*>(bytes.data() + at + 4);
            const std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, typeAndData, length + 4));
            for (size_t i = 0; i < 4; ++i)
                bytes[at + 8 + length + i] = static_cast<char>(crc >> (24 - 8 * i));
            at += 12 + static_cast<size_t>(length);
        }
        return bytes;
    }

    void decodeAndRoundTrip(const std::string& bytes)
    {
        {
            std::istringstream in(bytes);
            unsigned long width = 0, height = 0, rowBytes = 0;
            int bytesPerPixel = 0;
            bool hasAlpha = false;
            if (vx::PNGImageFormat::decodeHeader(in, &width, &height, &rowBytes, &bytesPerPixel, &hasAlpha) &&
                rowBytes != width * static_cast<unsigned long>(bytesPerPixel))
                std::abort();
        }

        std::istringstream in(bytes);
        unsigned long width = 0, height = 0, rowBytes = 0;
        int bytesPerPixel = 0;
        bool hasAlpha = false;
        unsigned char* pixels =
            vx::PNGImageFormat::decodeImage(in, &width, &height, &rowBytes, &bytesPerPixel, &hasAlpha);
        if (pixels == nullptr)
            return;

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

        if (total <= maxRoundTripBytes)
        {
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
        }
        std::free(pixels);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    decodeAndRoundTrip(bytes);
    const std::string repaired = withChunkChecksums(bytes);
    if (repaired != bytes)
        decodeAndRoundTrip(repaired);
    return 0;
}
