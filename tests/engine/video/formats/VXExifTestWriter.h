#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vx::test
{
    // EXIF blocks written byte by byte, as cameras write them into JPEGs.
    namespace exif
    {
        using Bytes = std::string;

        inline Bytes be16(unsigned v) { return {char(v >> 8), char(v & 0xFF)}; }

        struct Entry
        {
            unsigned tag, type, count, value;
        };

        // A TIFF structure with one directory of entries; each entry's value
        // sits in the first two bytes of its field.
        inline Bytes tiffBody(bool bigEndian, const std::vector<Entry>& entries, std::uint32_t directoryAt = 8)
        {
            const auto u16 = [&](unsigned v) { return bigEndian ? be16(v) : Bytes{char(v & 0xFF), char(v >> 8)}; };
            const auto u32 = [&](std::uint32_t v)
            { return bigEndian ? be16(v >> 16) + be16(v & 0xFFFF) : u16(v & 0xFFFF) + u16(v >> 16); };
            Bytes body = bigEndian ? Bytes("MM") : Bytes("II");
            body += u16(42) + u32(directoryAt);
            body += u16(unsigned(entries.size()));
            for (const Entry& e : entries)
                body += u16(e.tag) + u16(e.type) + u32(e.count) + u16(e.value) + u16(0);
            return body + u32(0);
        }

        inline Bytes segment(unsigned marker, const Bytes& body)
        {
            return be16(marker) + be16(unsigned(body.size() + 2)) + body;
        }

        inline Bytes exifSegment(const Bytes& tiff) { return segment(0xFFE1, Bytes("Exif\0\0", 6) + tiff); }

        inline Bytes exifFor(int orientation, bool bigEndian)
        {
            // Another tag first, as cameras write the maker's name before it.
            return exifSegment(tiffBody(bigEndian, {{0x010F, 2, 4, 0x6150}, {0x0112, 3, 1, unsigned(orientation)}}));
        }

        // A whole JPEG (as an encoder wrote it) with the orientation's EXIF
        // block after its first segment; empty when it is no JPEG.
        inline Bytes withOrientation(const Bytes& jpeg, int orientation, bool bigEndian)
        {
            if (jpeg.size() < 6 || jpeg.compare(0, 3, "\xFF\xD8\xFF", 3) != 0)
                return {};
            const std::size_t afterFirst = 4 + ((std::size_t(std::uint8_t(jpeg[4])) << 8) | std::uint8_t(jpeg[5]));
            Bytes out = jpeg;
            return out.insert(afterFirst, exifFor(orientation, bigEndian));
        }
    }
}
