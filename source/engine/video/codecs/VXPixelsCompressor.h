#pragma once

#include <cstddef>

namespace vx
{
    class Pixels;

    // One compressed image as network video carries it: the payload and what
    // the image was. The payload array is owned (array new) and kept across
    // allocateData calls that need no more room than it has.
    class CompressedPixels
    {
    public:
        CompressedPixels() = default;
        ~CompressedPixels();
        CompressedPixels(const CompressedPixels&) = delete;
        CompressedPixels& operator=(const CompressedPixels&) = delete;

        // size bytes of payload (none below 1); the contents are undefined.
        // False, with no payload, when memory runs out.
        bool allocateData(long newSize);

        unsigned char* data = nullptr;
        long size = 0;
        int width = 0;
        int height = 0;
        // The decoded image's size when it differs from width x height (the
        // DXT member pads to 16); 0 otherwise.
        int paddedWidth = 0;
        int paddedHeight = 0;
        int bytesPerPixel = 0;
        int type = 0; // PixelsCompressor::CompressedPixelsType

    private:
        long capacity = 0;
    };

    // Turns a Pixels into CompressedPixels and back; network video keeps one
    // per compressor id. One thread at a time: the work buffer is unguarded.
    // Payloads come from peers: decompress never reads past size nor writes
    // past the image it makes, and answers null for anything that does not
    // decode to an image of the stored size.
    class PixelsCompressor
    {
    public:
        enum CompressedPixelsType
        {
            Dummy = 0,
            LZF = 1,
            LZ4 = 2,
            PNG = 3,
            DXT = 5,
            HAP = 8,
            UVA = 9
        };

        explicit PixelsCompressor(int compressedPixelsType);
        virtual ~PixelsCompressor();
        PixelsCompressor(const PixelsCompressor&) = delete;
        PixelsCompressor& operator=(const PixelsCompressor&) = delete;

        // False when the image cannot be compressed by this member; out is then
        // left as it was.
        virtual bool compress(const Pixels* pixels, CompressedPixels& out);
        // A new image the caller owns, or null.
        virtual Pixels* decompress(const CompressedPixels& in);
        virtual void setQuality(float quality);

        // The channel order compress expects (PixelsUtils::PixelsOrder).
        int getInputPixelsOrder() const { return inputPixelsOrder; }
        int getType() const { return type; }
        // The buffer kept from call to call, and its size.
        const unsigned char* getWorkBuffer() const { return workBuffer; }
        size_t getWorkBufferSize() const { return workBufferSize; }

    protected:
        // The work buffer at exactly bytes (kept when it already is); null
        // when memory runs out.
        unsigned char* resizeWorkBuffer(size_t bytes);
        void freeWorkBuffer();

        // Stores the image's description, the type and the payload; false when
        // memory runs out.
        bool store(const Pixels& pixels, const unsigned char* payload, long payloadSize, CompressedPixels& out) const;

        // A new zero-filled image of the stored width, height and pixel size
        // (with dataSize bytes when that is above 0), or null for sizes that
        // are not positive or do not fit an int.
        static Pixels* makeImage(const CompressedPixels& in, long dataSize = 0);

        int type;
        int inputPixelsOrder = 0;

    private:
        unsigned char* workBuffer = nullptr;
        size_t workBufferSize = 0;
    };
}
