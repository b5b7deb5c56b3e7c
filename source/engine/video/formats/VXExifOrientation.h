#pragma once

#include <cstddef>

namespace vx
{
    // The orientation tag of a JPEG's EXIF block, which is a TIFF file's own
    // Orientation tag (274): how the stored picture is to be turned to stand
    // upright. Phones and cameras store a portrait shot as the sensor saw it,
    // sideways, and name the turn in this tag; converters keep it.
    //
    // Values as the tag has them, each saying where the stored picture's first
    // row and first column belong: 1 upright, 2 mirrored left to right,
    // 3 turned half round, 4 mirrored top to bottom, 5 mirrored along the
    // main diagonal, 6 to be turned a quarter clockwise, 7 mirrored along the
    // other diagonal, 8 to be turned a quarter anticlockwise. 5 to 8 swap
    // width and height.
    class ExifOrientation
    {
    public:
        // The tag of the first EXIF block among the JPEG's segments before its
        // picture data: 1 to 8; 1 as well when the bytes are no JPEG, hold no
        // EXIF block, or the block or the tag is cut short, malformed or out
        // of range. Any bytes: never reads outside [bytes, bytes + size).
        static int read(const unsigned char* bytes, std::size_t size);

        // Turns width x height pixels of bytesPerPixel bytes, rows first to
        // last, upright for orientation: pixels becomes a new malloc'ed buffer
        // (the old one is freed) and, for 5 to 8, width and height swap.
        // Orientation 1 or one outside 1 to 8 changes nothing and answers
        // true. False, everything unchanged, when the new buffer cannot be
        // had or the sizes are not positive.
        static bool apply(int orientation, unsigned char*& pixels, int& width, int& height, int bytesPerPixel);
        // The same into upright, a distinct buffer of width x height pixels:
        // pixels holds width x height stored, upright receives them turned
        // (height x width for 5 to 8). 1 or one outside 1 to 8 copies. False,
        // nothing written, when a buffer is null or a size not positive.
        static bool turn(int orientation, const unsigned char* pixels, unsigned char* upright, int width, int height,
                         int bytesPerPixel);
    };
}
