#pragma once

#include "engine/video/formats/VXImageUtils.h"

#include <iosfwd>

namespace vx
{
    // PNG through libpng, over standard streams. Every call makes and destroys
    // its own libpng state, so calls may run on any thread at the same time.
    //
    // Decoding contract: the answer is a buffer of height rows, first row = top
    // of the picture, each width x bytesPerPixel bytes with no padding, always
    // red, green, blue, alpha: 4 bytes per pixel for 8-bit files, 8 for 16-bit
    // files (each sample in host byte order). The buffer comes from malloc and
    // belongs to the caller (free). Malformed, truncated or oversized input, and
    // files below 8 bits per sample, answer null (or false) with one log line;
    // they never read or write outside the stream and the buffers made here.
    // Only IHDR, PLTE, tRNS, IDAT and IEND are read; other chunks are skipped.
    class PNGImageFormat
    {
    public:
        // Largest accepted side, and largest decoded image, in pixels / bytes.
        static constexpr unsigned long maxImageSide = 16384;
        static constexpr unsigned long long maxDecodedBytes = 512ull * 1024 * 1024;

        // Reads 8 bytes, seeks back to the start; true when they are the PNG signature.
        static bool validate(std::istream& stream);

        // Reads the header chunks only. bytesPerPixel is what decodeImage will
        // produce (4 or 8), rowBytes = bytesPerPixel x width; hasAlpha is true
        // when the file has an alpha channel or a transparency chunk.
        // Any out pointer may be null.
        static bool decodeHeader(std::istream& stream, unsigned long* width, unsigned long* height,
                                 unsigned long* rowBytes, int* bytesPerPixel, bool* hasAlpha);

        // Decodes the whole image (see the class comment); null on failure.
        static unsigned char* decodeImage(std::istream& stream, unsigned long* width, unsigned long* height,
                                          unsigned long* rowBytes, int* bytesPerPixel, bool* hasAlpha);
        // The same into the caller's buffer; false, with nothing written, when
        // the picture needs more than capacity bytes.
        static bool decodeImageInto(std::istream& stream, unsigned char* buffer, unsigned long long capacity,
                                    unsigned long* width, unsigned long* height, int* bytesPerPixel, bool* hasAlpha);

        // Encodes height rows of width pixels, first row first: 1 byte grey,
        // 3 RGB, 4 RGBA (8-bit samples) or 8 RGBA (16-bit samples in host byte
        // order). bytesPerRow 0 means tightly packed rows. Any other pixel size,
        // null data or an empty image answers false with nothing written; a
        // libpng failure part-way answers false and leaves what was written.
        static bool writePixelsToStream(const unsigned char* data, unsigned long width, unsigned long height,
                                        int bytesPerPixel, std::ostream& stream, unsigned long bytesPerRow = 0);

    private:
        // Into buffer, or (null buffer) into a new allocation.
        static bool decode(std::istream& stream, unsigned char* buffer, unsigned long long capacity,
                           MallocBuffer* allocated, unsigned long* width, unsigned long* height, unsigned long* rowBytes,
                           int* bytesPerPixel, bool* hasAlpha, const char* caller);
    };
}
