// JPEG segments found as a decoder finds them, and the check that keeps a
// Huffman table of more than 256 codes (a crafted file) away from stb's
// decoder, which writes past its tables for one.

#include "engine/video/formats/VXJPEGSegments.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/video/formats/VXImageUtils.h"
#include "support/VXLogRecorder.h"

namespace vx::test
{
    namespace
    {
        using Bytes = std::string;

        Bytes segment(unsigned char marker, const Bytes& body)
        {
            const std::size_t length = body.size() + 2;
            return Bytes{char(0xFF), char(marker), char(length >> 8), char(length & 0xFF)} + body;
        }

        // One DC table whose sixteen counts are all count, with its values.
        Bytes huffmanTable(unsigned char count)
        {
            return segment(0xC4, Bytes(1, '\0') + Bytes(16, char(count)) + Bytes(16u * count, '\x01'));
        }

        const Bytes start("\xFF\xD8", 2), end("\xFF\xD9", 2);
        // A scan header, then entropy-coded data with stuffed bytes, a restart
        // marker and fill bytes, none of them a segment.
        const Bytes scan = segment(0xDA, Bytes("\x01\x01\x00\x00\x3F\x00", 6)) +
                           Bytes("\x12\xFF\x00\x34\xFF\xD0\x56\xFF\xFF\x00\x78", 11);

        std::vector<unsigned char> markersOf(const Bytes& bytes)
        {
            std::vector<unsigned char> markers;
            JPEGSegments::walk(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                               [&](const JPEGSegments::Segment& s)
                               {
                                   markers.push_back(s.marker);
                                   return true;
                               });
            return markers;
        }

        bool fits(const Bytes& bytes)
        {
            const std::unique_ptr<unsigned char[]> copy(new unsigned char[bytes.size()]);
            std::copy(bytes.begin(), bytes.end(), copy.get());
            return JPEGSegments::huffmanTablesFit(copy.get(), bytes.size());
        }
    }

    TEST(JPEGSegmentsTest, SegmentsBetweenAndAfterScans)
    {
        const Bytes file = start + segment(0xE0, "JFIF") + "\xFF\xFF" + huffmanTable(2) + scan + huffmanTable(1) +
                           scan + end + segment(0xE1, "after the end");
        EXPECT_EQ(markersOf(file), (std::vector<unsigned char>{0xE0, 0xC4, 0xDA, 0xC4, 0xDA}));
        // Fill bytes may lead; anything else is no JPEG.
        EXPECT_EQ(markersOf("\xFF\xFF" + file), markersOf(file));
        EXPECT_TRUE(markersOf(Bytes(1, '\0') + file).empty());
        EXPECT_TRUE(markersOf(file.substr(0, 1)).empty());
    }

    TEST(JPEGSegmentsTest, AHuffmanTableOfMoreThan256CodesIsFoundWhereverADecoderReadsIt)
    {
        struct Case
        {
            const char* what;
            Bytes bytes;
            bool fits;
        };
        const Case cases[] = {
            {"256 codes", start + huffmanTable(16) + end, true},
            {"272 codes", start + huffmanTable(17) + end, false},
            {"4080 codes, leading fill bytes", "\xFF\xFF" + start.substr(1) + huffmanTable(255) + end, false},
            {"after a scan", start + scan + huffmanTable(17) + end, false},
            {"the second table of a segment",
             start + segment(0xC4, huffmanTable(1).substr(4) + Bytes(1, '\x11') + Bytes(16, '\x20')) + end, false},
            {"cut short: the counts read", start + huffmanTable(17).substr(0, 30), false},
            {"the bytes of one inside another segment", start + segment(0xE1, huffmanTable(255)) + end, true},
            {"a PNG", Bytes("\x89PNG", 4) + huffmanTable(255), true},
        };
        for (const Case& c : cases)
            EXPECT_EQ(fits(c.bytes), c.fits) << c.what;

        // The still decoder refuses such a file, saying why.
        const Bytes crafted = start + huffmanTable(255) + end;
        LogRecorder log;
        unsigned long w = 0, h = 0;
        int channels = 0;
        EXPECT_EQ(ImageUtils::imageFromMemory(reinterpret_cast<const unsigned char*>(crafted.data()),
                                              int(crafted.size()), &w, &h, &channels, 0),
                  nullptr);
        EXPECT_TRUE(log.contains("Huffman table holds more than 256 codes")) << log.dump();
    }
}
