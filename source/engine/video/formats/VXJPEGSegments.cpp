#include "engine/video/formats/VXJPEGSegments.h"

namespace vx
{
    namespace
    {
        constexpr unsigned char fill = 0xFF;
        constexpr unsigned char startOfImage = 0xD8, endOfImage = 0xD9, startOfScan = 0xDA, huffmanTable = 0xC4;

        bool isRestart(unsigned char marker) { return marker >= 0xD0 && marker <= 0xD7; }

        // Markers without a length.
        bool standsAlone(unsigned char marker) { return marker == 0x01 || isRestart(marker) || marker == startOfImage; }
    }

    void JPEGSegments::walk(const unsigned char* bytes, std::size_t size,
                            const std::function<bool(const Segment&)>& visit)
    {
        if (bytes == nullptr || size < 2 || bytes[0] != fill)
            return;
        std::size_t at = 1;
        while (at < size && bytes[at] == fill)
            ++at;
        if (at >= size || bytes[at] != startOfImage)
            return;
        ++at;
        bool inScan = false;
        while (at < size)
        {
            // The next marker: the byte after an 0xFF and its fill bytes; in
            // entropy-coded data not a stuffed zero or a restart marker.
            while (at < size)
            {
                if (bytes[at] != fill)
                {
                    ++at;
                    continue;
                }
                std::size_t next = at + 1;
                while (next < size && bytes[next] == fill)
                    ++next;
                at = next;
                if (! inScan || at >= size || (bytes[at] != 0x00 && ! isRestart(bytes[at])))
                    break;
                ++at;
            }
            if (at >= size)
                return;
            const unsigned char marker = bytes[at++];
            if (marker == endOfImage)
                return;
            if (standsAlone(marker))
                continue;
            if (size - at < 2)
                return;
            const std::size_t declared = (std::size_t(bytes[at]) << 8) | bytes[at + 1];
            if (declared < 2)
                return;
            Segment segment;
            segment.marker = marker;
            segment.body = bytes + at + 2;
            segment.length = declared - 2;
            segment.toEnd = size - at - 2;
            if (! visit(segment) || ! segment.isWhole())
                return;
            at += declared;
            inScan = marker == startOfScan;
        }
    }

    bool JPEGSegments::huffmanTablesFit(const unsigned char* bytes, std::size_t size)
    {
        bool fit = true;
        walk(bytes, size,
             [&fit](const Segment& segment)
             {
                 if (segment.marker != huffmanTable)
                     return true;
                 const auto byteAt = [&](std::size_t i) -> unsigned { return i < segment.toEnd ? segment.body[i] : 0; };
                 // Tables follow one another while the declared length lasts;
                 // a table's counts are read even where the length runs out.
                 long left = long(segment.length);
                 std::size_t at = 0;
                 while (left > 0)
                 {
                     const unsigned tableClass = byteAt(at) >> 4, slot = byteAt(at) & 15;
                     if (tableClass > 1 || slot > 3)
                         return true; // refused by the decoder there
                     unsigned codes = 0;
                     for (std::size_t i = 1; i <= 16; ++i)
                         codes += byteAt(at + i);
                     if (codes > 256)
                     {
                         fit = false;
                         return false;
                     }
                     at += 17 + codes;
                     left -= long(17 + codes);
                 }
                 return true;
             });
        return fit;
    }
}
