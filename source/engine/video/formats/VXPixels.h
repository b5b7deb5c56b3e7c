#pragma once

#include "engine/gfx/VXTextureFormat.h"

namespace vx
{
    // The engine's CPU image: height rows of stride bytes, one after the other,
    // first row first (which edge of the picture that is depends on the source).
    // Passed around as std::shared_ptr<Pixels>; no lock, shared read-only once
    // published. The buffer comes from malloc and is freed by the Pixels.
    //
    // A request that cannot be met (negative or overflowing sizes, no memory)
    // gives an empty image: data null, every size 0, with one error line.
    class Pixels
    {
    public:
        // stride = width x bytesPerPixel; copied from data, zero-filled when data is null.
        Pixels(int width, int height, int bytesPerPixel, const unsigned char* data);
        // dataSize is the total byte count (block-compressed images): stride =
        // dataSize / height (0 when height is 0); zero-filled.
        Pixels(int width, int height, int bytesPerPixel, long dataSize);
        // As above, copied from data (zero-filled when data is null).
        Pixels(int width, int height, int bytesPerPixel, long dataSize, const unsigned char* data);
        // Deep copy; null copies nothing (an empty image).
        explicit Pixels(const Pixels* other);
        virtual ~Pixels();

        Pixels(const Pixels&) = delete;
        Pixels& operator=(const Pixels&) = delete;

        virtual int getDataSize() const { return dataSize; }

        // The format is one of the block-compressed DXT layouts.
        bool isCompressed() const;

        // New tightly packed, zero-filled buffer; nothing when nothing changes.
        void resize(int newWidth, int newHeight, int newBytesPerPixel);
        // Reverses the row order in place.
        void flip();
        // Pixel sizes of 8 bytes or more: rewrites the buffer as byte planes
        // (every pixel's byte 0, then every pixel's byte 1, ...).
        void alignDataByChannel();
        // A new image of the same size with 3 or 4 bytes per pixel, converted
        // from 4 or 3 (other sources stay zero); null when the size is
        // unchanged or neither 3 nor 4. The caller owns it.
        Pixels* withNewBitDepth(int newBytesPerPixel) const;
        // Hands the buffer (malloc'ed) to the caller, who must free it; the
        // Pixels is empty afterwards.
        unsigned char* stealData();

        // The texture format of a plain pixel size; "UNKNOWN" for others.
        static TextureFormat determineTextureFormatForBitdepth(int bytesPerPixel);

        unsigned char* data = nullptr;
        int width = 0;
        int height = 0;
        int bytesPerPixel = 0;
        int stride = 0;
        int dataSize = 0;
        TextureFormat format;

    private:
        void allocate(int newWidth, int newHeight, int newBytesPerPixel, long long bytes, long long rowBytes,
                      const unsigned char* source);
        void clear();
    };
}
