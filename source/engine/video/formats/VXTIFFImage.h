#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

typedef struct tiff TIFF;

namespace vx
{
    // A TIFF image opened through libtiff, turned into four-channel RGBA with
    // the file's sample width: 8-bit files give 4 bytes per pixel, 16-bit
    // files 8 (unsigned 16-bit channels in host order), 32-bit files 16 (four
    // floats); palette images always give 8. Files whose samples are not a
    // whole number of bytes (bilevel, 4-bit grey) go through libtiff's RGBA
    // reader as 8-bit RGBA.
    //
    // Decoding contract: outputSize bytes, first row = top of the picture,
    // colour not multiplied by alpha (straight), whatever the file stores.
    // The picture stands as the file's Orientation tag says, turned as a
    // JPEG's EXIF orientation is: getWidth and getHeight are its upright
    // size (the stored one swapped for orientations 5 to 8).
    // Layouts the converters do not know (separate planes, extra samples
    // beyond the known ones, oversized images) are refused: nothing is ever
    // written past outputSize. So is a picture its file cannot hold (a strip
    // past its end, an uncompressed strip shorter than its rows: a file cut
    // short), before anything is decoded, and one whose strips do not all
    // decode: a picture is answered whole or not at all. One thread at a
    // time per image.
    class TIFFImageBase
    {
    public:
        // Largest accepted side and decoded size.
        static constexpr std::uint32_t maxImageSide = 16384;
        static constexpr std::uint64_t maxDecodedBytes = 1024ull * 1024 * 1024;

        // Takes ownership of the handle (closed by the destructor).
        TIFFImageBase(TIFF* handle, bool isPalette);
        virtual ~TIFFImageBase();
        TIFFImageBase(const TIFFImageBase&) = delete;
        TIFFImageBase& operator=(const TIFFImageBase&) = delete;

        // A handle is present and the layout is one this image decodes.
        virtual bool isValid() const;
        // Decodes outputSize bytes into out. False when libtiff cannot read
        // the image.
        virtual bool decompressIntoBuffer(unsigned char* out) = 0;
        // The decoded image as 8-bit blue, green, red, alpha (width x height x
        // 4 bytes, malloc'ed, the caller frees it); null on failure.
        virtual unsigned char* to32bitARGB() = 0;

        // A new array of outputSize bytes (the caller deletes it with
        // delete[]), with the size written to size when given (it fits:
        // isValid bounds it by maxDecodedBytes); null on failure.
        unsigned char* decompressToBytes(unsigned* size);

        std::uint32_t getWidth() const { return orientation >= 5 ? height : width; }
        std::uint32_t getHeight() const { return orientation >= 5 ? width : height; }
        unsigned getBytesPerPixel() const { return bytesPerPixel; }
        unsigned getSamplesPerPixel() const { return samplesPerPixel; }
        unsigned getBitsPerSample() const { return bitsPerSample; }
        std::uint64_t getOutputSize() const { return outputSize; }
        std::uint64_t getScanlineSize() const { return scanlineSize; }
        bool hasNoExtraSamplesFlag() const { return hasNoExtraSamples; }

    protected:
        // Reads the image strip by strip, handing each scanline (its bytes,
        // its length, its row) to convertRow; false when a strip cannot be
        // read (tiled files included) or convertRow refuses.
        bool readStrips(const std::function<bool(const unsigned char*, std::uint64_t, std::uint32_t)>& convertRow);
        // Reads through libtiff's RGBA reader into out (width x height x 4),
        // rows as stored.
        bool readRGBA(unsigned char* out);
        // Every strip or tile lies in the file, as long as its rows need
        // when uncompressed.
        bool stripsLieInTheFile() const;
        // The decoded colour comes multiplied by alpha: the file stores it so
        // (associated alpha), or libtiff's RGBA reader made it so.
        bool decodesPremultiplied() const;
        // Divides the decoded colour of outputSize bytes by alpha.
        void unpremultiply(unsigned char* out) const;
        // The layout fits the converters and the size limits.
        bool layoutSupported = true;

        bool hasNoExtraSamples = false;
        // The stored size; rows are decoded as stored, then turned.
        std::uint32_t width = 0;
        std::uint32_t height = 0;
        // The Orientation tag, 1 to 8 (1 when absent or out of range).
        unsigned orientation = 1;
        unsigned bytesPerPixel = 0;
        std::uint64_t scanlineSize = 0;
        std::uint64_t rowBytes = 0;
        unsigned samplesPerPixel = 0;
        unsigned bitsPerSample = 0;
        std::uint64_t outputSize = 0;
        bool isPalette = false;
        unsigned planarConfig = 1;
        // Read through libtiff's RGBA reader (8-bit RGB(A), forced layouts).
        bool throughRGBA = false;
        // The kind of the first extra sample (EXTRASAMPLE_*), when there is one.
        unsigned alphaKind = 0;
        TIFF* handle = nullptr;
    };

    // The shared decoding of one sample type (unsigned char, unsigned short,
    // unsigned int, float).
    template <typename T>
    class TIFFImage : public TIFFImageBase
    {
    public:
        using TIFFImageBase::TIFFImageBase;

        bool decompressIntoBuffer(unsigned char* out) override;
        unsigned char* to32bitARGB() override;
        // The decoded RGBA pixels of in (outputSize bytes) as 8-bit BGRA into
        // out (width x height x 4 bytes).
        void to4bitImage(const unsigned char* in, unsigned char* out) const;

    protected:
        // Decodes the picture as stored (rows and columns as the file holds
        // them) into out.
        bool decodeStored(unsigned char* out);
        // Converts one scanline of rowLength bytes into one output row.
        virtual bool convertDecompressedToRGBA(const unsigned char* row, std::uint64_t rowLength,
                                               unsigned char* out) = 0;
    };

    template <typename T>
    class TIFFPaletteImage : public TIFFImage<T>
    {
    public:
        explicit TIFFPaletteImage(TIFF* handle);
        bool isValid() const override;

    protected:
        bool convertDecompressedToRGBA(const unsigned char* row, std::uint64_t rowLength, unsigned char* out) override;

    private:
        std::uint16_t* red = nullptr;
        std::uint16_t* green = nullptr;
        std::uint16_t* blue = nullptr;
        // Indexes of up to 8 bits: each index's output pixel, made on first use.
        std::vector<std::uint64_t> pixelsByIndex;
    };

    template <typename T>
    class TIFFGreyScaleImage : public TIFFImage<T>
    {
    public:
        explicit TIFFGreyScaleImage(TIFF* handle);

    protected:
        bool convertDecompressedToRGBA(const unsigned char* row, std::uint64_t rowLength, unsigned char* out) override;

    private:
        unsigned photometric = 1;
    };

    template <typename T>
    class TIFFRGBImage : public TIFFImage<T>
    {
    public:
        explicit TIFFRGBImage(TIFF* handle);

    protected:
        bool convertDecompressedToRGBA(const unsigned char* row, std::uint64_t rowLength, unsigned char* out) override;
    };

    // A channel as 8 bits: bytes unchanged, 16-bit values / 257, 32-bit
    // values / 257 keeping the low 8 bits, floats x 255 keeping the low 8 bits.
    inline unsigned char to4bitChannel(unsigned char v)
    {
        return v;
    }
    inline unsigned char to4bitChannel(unsigned short v)
    {
        return static_cast<unsigned char>(v / 257);
    }
    inline unsigned char to4bitChannel(unsigned int v)
    {
        return static_cast<unsigned char>(v / 257);
    }
    unsigned char to4bitChannel(float v);

    class TIFFImageFormat
    {
    public:
        // Opens the file (libtiff's own messages switched off) and picks the
        // image class by photometric interpretation and bit depth; null when
        // the file does not open. The caller owns the image.
        static TIFFImageBase* load(const char* path);
    };
}
