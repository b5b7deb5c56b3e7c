#include "engine/video/formats/VXExifOrientation.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "engine/video/formats/VXJPEGSegments.h"

namespace vx
{
    namespace
    {
        constexpr std::uint16_t orientationTag = 0x0112;
        constexpr std::uint16_t shortType = 3;

        // A TIFF structure (the EXIF block's body) of size bytes in either
        // byte order; every read is checked against size first.
        class TiffBytes
        {
        public:
            TiffBytes(const unsigned char* bytes, std::size_t size) : bytes(bytes), size(size) {}

            bool open()
            {
                if (size < 8)
                    return false;
                if (bytes[0] == 'I' && bytes[1] == 'I')
                    bigEndian = false;
                else if (bytes[0] == 'M' && bytes[1] == 'M')
                    bigEndian = true;
                else
                    return false;
                std::uint16_t magic = 0;
                return read16(2, magic) && magic == 42;
            }

            bool read16(std::size_t at, std::uint16_t& value) const
            {
                if (at > size || size - at < 2)
                    return false;
                const unsigned first = bytes[at], second = bytes[at + 1];
                value = static_cast<std::uint16_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
                return true;
            }

            bool read32(std::size_t at, std::uint32_t& value) const
            {
                std::uint16_t first = 0, second = 0;
                if (! read16(at, first) || ! read16(at + 2, second))
                    return false;
                value = bigEndian ? (std::uint32_t(first) << 16) | second : (std::uint32_t(second) << 16) | first;
                return true;
            }

        private:
            const unsigned char* bytes;
            std::size_t size;
            bool bigEndian = false;
        };

        // The orientation entry of the first image directory (IFD0).
        int orientationOfTiff(const unsigned char* bytes, std::size_t size)
        {
            TiffBytes tiff(bytes, size);
            std::uint32_t directory = 0;
            std::uint16_t entries = 0;
            if (! tiff.open() || ! tiff.read32(4, directory) || ! tiff.read16(directory, entries))
                return 1;
            for (std::size_t e = 0; e < entries; ++e)
            {
                const std::size_t at = std::size_t(directory) + 2 + e * 12;
                std::uint16_t tag = 0, type = 0, value = 0;
                std::uint32_t count = 0;
                if (! tiff.read16(at, tag) || ! tiff.read16(at + 2, type) || ! tiff.read32(at + 4, count) ||
                    ! tiff.read16(at + 8, value))
                    return 1;
                if (tag != orientationTag)
                    continue;
                return type == shortType && count >= 1 && value >= 1 && value <= 8 ? value : 1;
            }
            return 1;
        }
    }

    namespace
    {
        // Copies the upright picture from the stored one in square tiles, so
        // that a quarter turn, which reads the stored picture down its
        // columns, finds the lines of a tile's columns still in the cache.
        // line(y, from, step) names where upright row y starts in the stored
        // bytes and how far apart its pixels lie there. Size: the pixel size,
        // or 0 for one given at run time.
        template <int size, typename Line>
        void turnInTiles(const unsigned char* stored, unsigned char* upright, int width, int height, const Line& line,
                         int runtimeSize = size)
        {
            constexpr int tile = 32;
            const std::ptrdiff_t pixel = size != 0 ? size : runtimeSize;
            for (int y0 = 0; y0 < height; y0 += tile)
                for (int x0 = 0; x0 < width; x0 += tile)
                    for (int y = y0; y < y0 + tile && y < height; ++y)
                    {
                        std::ptrdiff_t from = 0, step = 0;
                        line(y, from, step);
                        from += x0 * step;
                        unsigned char* out = upright + (std::ptrdiff_t(y) * width + x0) * pixel;
                        for (int x = x0; x < x0 + tile && x < width; ++x, from += step, out += pixel)
                            std::memcpy(out, stored + from, std::size_t(pixel));
                    }
        }
    }

    int ExifOrientation::read(const unsigned char* bytes, std::size_t size)
    {
        static const unsigned char exifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
        int orientation = 1;
        JPEGSegments::walk(bytes, size,
                           [&](const JPEGSegments::Segment& segment)
                           {
                               // The picture data comes after any EXIF block.
                               if (segment.marker == 0xDA)
                                   return false;
                               // An XMP block may come first: only "Exif\0\0" counts.
                               if (segment.marker != 0xE1 || segment.toEnd < sizeof exifHeader ||
                                   std::memcmp(segment.body, exifHeader, sizeof exifHeader) != 0)
                                   return true;
                               if (segment.isWhole() && segment.length >= sizeof exifHeader)
                                   orientation = orientationOfTiff(segment.body + sizeof exifHeader,
                                                                   segment.length - sizeof exifHeader);
                               return false;
                           });
        return orientation;
    }

    bool ExifOrientation::apply(int orientation, unsigned char*& pixels, int& width, int& height, int bytesPerPixel)
    {
        if (orientation <= 1 || orientation > 8)
            return true;
        if (pixels == nullptr || width <= 0 || height <= 0 || bytesPerPixel <= 0)
            return false;
        const std::size_t total = std::size_t(width) * std::size_t(height) * std::size_t(bytesPerPixel);
        auto* upright = static_cast<unsigned char*>(std::malloc(total));
        if (upright == nullptr || ! turn(orientation, pixels, upright, width, height, bytesPerPixel))
        {
            std::free(upright);
            return false;
        }
        std::free(pixels);
        pixels = upright;
        if (orientation >= 5)
            std::swap(width, height);
        return true;
    }

    bool ExifOrientation::turn(int orientation, const unsigned char* pixels, unsigned char* upright, int width,
                               int height, int bytesPerPixel)
    {
        if (pixels == nullptr || upright == nullptr || width <= 0 || height <= 0 || bytesPerPixel <= 0)
            return false;
        if (orientation <= 1 || orientation > 8)
            orientation = 1;
        const std::ptrdiff_t pixel = bytesPerPixel;
        const std::ptrdiff_t row = std::ptrdiff_t(width) * pixel;
        const bool swaps = orientation >= 5;
        const int outWidth = swaps ? height : width, outHeight = swaps ? width : height;
        // Each upright row is read along a line of the stored picture: from
        // where it starts there, a pixel or a row apart, forwards or back.
        // Offsets, not pointers: the step past a line's end is never formed.
        const auto stored = [&](std::ptrdiff_t x, std::ptrdiff_t y) { return y * row + x * pixel; };
        const auto line = [&](std::ptrdiff_t y, std::ptrdiff_t& from, std::ptrdiff_t& step)
        {
            switch (orientation)
            {
                case 1: from = stored(0, y), step = pixel; break;
                case 2: from = stored(width - 1, y), step = -pixel; break;
                case 3: from = stored(width - 1, height - 1 - y), step = -pixel; break;
                case 4: from = stored(0, height - 1 - y), step = pixel; break;
                case 5: from = stored(y, 0), step = row; break;
                case 6: from = stored(y, height - 1), step = -row; break;
                case 7: from = stored(width - 1 - y, height - 1), step = -row; break;
                default: from = stored(width - 1 - y, 0), step = row; break; // 8
            }
        };
        switch (bytesPerPixel)
        {
            case 1: turnInTiles<1>(pixels, upright, outWidth, outHeight, line); break;
            case 3: turnInTiles<3>(pixels, upright, outWidth, outHeight, line); break;
            case 4: turnInTiles<4>(pixels, upright, outWidth, outHeight, line); break;
            case 8: turnInTiles<8>(pixels, upright, outWidth, outHeight, line); break;
            case 16: turnInTiles<16>(pixels, upright, outWidth, outHeight, line); break;
            default: turnInTiles<0>(pixels, upright, outWidth, outHeight, line, bytesPerPixel); break;
        }
        return true;
    }
}
