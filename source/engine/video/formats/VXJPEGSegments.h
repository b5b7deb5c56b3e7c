#pragma once

#include <cstddef>
#include <functional>

namespace vx
{
    // The marker segments of JPEG bytes, found as a decoder finds them: by
    // their lengths, past the entropy-coded data after each scan header
    // (stuffed bytes and restart markers skipped), over fill bytes and over
    // stray bytes between segments. Any bytes: nothing is read outside
    // [bytes, bytes + size).
    class JPEGSegments
    {
    public:
        struct Segment
        {
            unsigned char marker = 0;           // 0xE1 for APP1, 0xC4 for DHT, ...
            const unsigned char* body = nullptr; // the first byte after the length
            std::size_t length = 0;              // the body's length as declared
            std::size_t toEnd = 0;               // bytes from body to the end of the input

            // The declared body lies within the input.
            bool isWhole() const { return length <= toEnd; }
        };

        // Calls visit for each segment that has a length, in file order, until
        // visit answers false, the end-of-image marker or the end of the
        // input. Bytes that do not start with the start-of-image marker (after
        // fill bytes) have none.
        static void walk(const unsigned char* bytes, std::size_t size,
                         const std::function<bool(const Segment&)>& visit);

        // No Huffman table (DHT segment) holds more than 256 codes, read as a
        // decoder reads the tables: from each segment's start on for as long
        // as its declared length lasts, zeros past the end of the input. What
        // stb_image's JPEG decoder assumes without checking (it writes past
        // its tables otherwise). True for bytes that are no JPEG.
        static bool huffmanTablesFit(const unsigned char* bytes, std::size_t size);
    };
}
