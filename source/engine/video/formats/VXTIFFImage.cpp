#include "engine/video/formats/VXTIFFImage.h"

#include <tiffio.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>

namespace vx
{
    namespace
    {
        template <typename T>
        T sampleAt(const unsigned char* row, std::uint64_t index)
        {
            T value;
            std::memcpy(&value, row + index * sizeof(T), sizeof(T));
            return value;
        }

        template <typename T>
        void put(unsigned char*& out, T value)
        {
            std::memcpy(out, &value, sizeof(T));
            out += sizeof(T);
        }

        template <typename T>
        constexpr T maxSample()
        {
            if constexpr (std::is_floating_point_v<T>)
                return T(1);
            else
                return std::numeric_limits<T>::max();
        }

        // White is zero: the complement for integers, 1 - v for floats.
        template <typename T>
        T inverted(T v)
        {
            if constexpr (std::is_floating_point_v<T>)
                return T(1) - v;
            else
                return static_cast<T>(~v);
        }

        template <typename T>
        unsigned char channelAt(const unsigned char* pixel, int channel)
        {
            return to4bitChannel(sampleAt<T>(pixel, static_cast<std::uint64_t>(channel)));
        }
    }

    unsigned char to4bitChannel(float v)
    {
        const float scaled = v * 255.0f;
        if (! (scaled > -1e9f && scaled < 1e9f))
            return 0;
        return static_cast<unsigned char>(static_cast<long long>(scaled) & 0xFF);
    }

    // ---- TIFFImageBase

    TIFFImageBase::TIFFImageBase(TIFF* tiff, bool palette) : isPalette(palette), handle(tiff)
    {
        if (handle == nullptr)
            return;
        std::uint32_t w = 0, h = 0;
        std::uint16_t samples = 1, bits = 1, planar = PLANARCONFIG_CONTIG;
        TIFFGetField(handle, TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(handle, TIFFTAG_IMAGELENGTH, &h);
        TIFFGetFieldDefaulted(handle, TIFFTAG_SAMPLESPERPIXEL, &samples);
        TIFFGetFieldDefaulted(handle, TIFFTAG_BITSPERSAMPLE, &bits);
        TIFFGetFieldDefaulted(handle, TIFFTAG_PLANARCONFIG, &planar);
        width = w;
        height = h;
        samplesPerPixel = samples;
        bitsPerSample = bits;
        planarConfig = planar;
        scanlineSize = TIFFScanlineSize64(handle);
        bytesPerPixel = bitsPerSample / 2;
        rowBytes = static_cast<std::uint64_t>(width) * bitsPerSample / 2;
        if (bitsPerSample % 8 != 0 && ! isPalette)
        {
            // Bilevel and other packed layouts: libtiff's RGBA reader makes 8-bit RGBA.
            samplesPerPixel = 4;
            bytesPerPixel = 4;
            bitsPerSample = 8;
            scanlineSize = static_cast<std::uint64_t>(width) * 4;
            rowBytes = scanlineSize;
            throughRGBA = true;
        }
        outputSize = rowBytes * height;
        layoutSupported = width > 0 && height > 0 && width <= maxImageSide && height <= maxImageSide;
    }

    TIFFImageBase::~TIFFImageBase()
    {
        if (handle != nullptr)
            TIFFClose(handle);
    }

    bool TIFFImageBase::isValid() const
    {
        return handle != nullptr && layoutSupported && outputSize != 0 && outputSize <= maxDecodedBytes;
    }

    unsigned char* TIFFImageBase::decompressToBytes(std::uint64_t* size)
    {
        if (! isValid())
            return nullptr;
        auto* bytes = static_cast<unsigned char*>(std::malloc(outputSize));
        if (bytes == nullptr)
            return nullptr;
        if (! decompressIntoBuffer(bytes))
        {
            std::free(bytes);
            return nullptr;
        }
        if (size != nullptr)
            *size = outputSize;
        return bytes;
    }

    bool TIFFImageBase::readScanlines(std::unique_ptr<unsigned char[]>& packed, std::uint64_t& rowStride)
    {
        rowStride = TIFFScanlineSize64(handle);
        const std::uint64_t total = rowStride * height;
        if (rowStride == 0 || total > 2 * maxDecodedBytes)
            return false;
        packed.reset(new (std::nothrow) unsigned char[total]);
        if (packed == nullptr)
            return false;
        for (std::uint32_t row = 0; row < height; ++row)
            if (TIFFReadScanline(handle, packed.get() + row * rowStride, row, 0) < 0)
                return false;
        return true;
    }

    bool TIFFImageBase::readRGBA(unsigned char* out)
    {
        return TIFFReadRGBAImageOriented(handle, width, height, reinterpret_cast<std::uint32_t*>(out),
                                         ORIENTATION_TOPLEFT, 0) != 0;
    }

    // ---- TIFFImage<T>

    template <typename T>
    bool TIFFImage<T>::decompressIntoBuffer(unsigned char* out)
    {
        if (out == nullptr || ! this->isValid())
            return false;
        if (! decoded)
        {
            std::unique_ptr<unsigned char[]> fresh(new (std::nothrow) unsigned char[this->outputSize]);
            if (fresh == nullptr)
                return false;
            bool ok = false;
            if (this->throughRGBA)
                ok = this->readRGBA(fresh.get());
            else
            {
                std::unique_ptr<unsigned char[]> packed;
                std::uint64_t rowStride = 0;
                ok = this->readScanlines(packed, rowStride) &&
                     convertDecompressedToRGBA(packed.get(), rowStride, fresh.get());
            }
            if (! ok)
                return false;
            cache = std::move(fresh);
            decoded = true;
        }
        std::memcpy(out, cache.get(), this->outputSize);
        return true;
    }

    template <typename T>
    void TIFFImage<T>::to4bitImage(const unsigned char* in, unsigned char* out) const
    {
        // The decoded pixels hold four channels of the output sample width.
        const std::uint64_t pixels = static_cast<std::uint64_t>(this->width) * this->height;
        for (std::uint64_t i = 0; i < pixels; ++i, in += this->bytesPerPixel, out += 4)
        {
            unsigned char rgba[4];
            for (int c = 0; c < 4; ++c)
                rgba[c] = this->bytesPerPixel == 16  ? channelAt<float>(in, c)
                          : this->bytesPerPixel == 8 ? channelAt<unsigned short>(in, c)
                                                     : channelAt<unsigned char>(in, c);
            out[0] = rgba[2];
            out[1] = rgba[1];
            out[2] = rgba[0];
            out[3] = rgba[3];
        }
    }

    template <typename T>
    unsigned char* TIFFImage<T>::to32bitARGB()
    {
        if (! this->isValid())
            return nullptr;
        std::unique_ptr<unsigned char[]> decodedBytes(new (std::nothrow) unsigned char[this->outputSize]);
        if (decodedBytes == nullptr || ! decompressIntoBuffer(decodedBytes.get()))
            return nullptr;
        auto* out = static_cast<unsigned char*>(std::calloc(static_cast<std::size_t>(this->width) * this->height, 4));
        if (out != nullptr)
            to4bitImage(decodedBytes.get(), out);
        return out;
    }

    // ---- Palette

    template <typename T>
    TIFFPaletteImage<T>::TIFFPaletteImage(TIFF* tiff) : TIFFImage<T>(tiff, true)
    {
        if (tiff == nullptr)
            return;
        // Palette images always come out as 16-bit RGBA.
        this->bytesPerPixel = 8;
        this->rowBytes = static_cast<std::uint64_t>(this->width) * 8;
        this->outputSize = this->rowBytes * this->height;
        const bool indexes = this->bitsPerSample >= 1 && this->bitsPerSample <= 16 &&
                             (this->bitsPerSample < 8 || this->bitsPerSample == sizeof(T) * 8);
        if (this->samplesPerPixel != 1 || ! indexes ||
            TIFFGetField(tiff, TIFFTAG_COLORMAP, &red, &green, &blue) != 1)
            this->layoutSupported = false;
    }

    template <typename T>
    bool TIFFPaletteImage<T>::isValid() const
    {
        return TIFFImage<T>::isValid() && red != nullptr && green != nullptr && blue != nullptr;
    }

    template <typename T>
    bool TIFFPaletteImage<T>::convertDecompressedToRGBA(const unsigned char* packed, std::uint64_t rowStride,
                                                        unsigned char* out)
    {
        const unsigned bits = this->bitsPerSample;
        const unsigned mask = bits >= 16 ? 0xFFFFu : (1u << bits) - 1;
        if (rowStride * 8 < static_cast<std::uint64_t>(this->width) * bits)
            return false;
        for (std::uint32_t y = 0; y < this->height; ++y)
        {
            const unsigned char* row = packed + y * rowStride;
            for (std::uint32_t x = 0; x < this->width; ++x)
            {
                unsigned index = 0;
                if (bits >= 8)
                    index = static_cast<unsigned>(sampleAt<T>(row, x));
                else
                {
                    // Rows start on a byte; the first index in the high bits.
                    const std::uint64_t bit = static_cast<std::uint64_t>(x) * bits;
                    index = static_cast<unsigned>(row[bit / 8]) >> (8 - bits - bit % 8);
                }
                index &= mask;
                put<std::uint16_t>(out, red[index]);
                put<std::uint16_t>(out, green[index]);
                put<std::uint16_t>(out, blue[index]);
                put<std::uint16_t>(out, 65535);
            }
        }
        return true;
    }

    // ---- Grey

    template <typename T>
    TIFFGreyScaleImage<T>::TIFFGreyScaleImage(TIFF* tiff) : TIFFImage<T>(tiff, false)
    {
        if (tiff == nullptr)
            return;
        std::uint16_t value = 1;
        TIFFGetFieldDefaulted(tiff, TIFFTAG_PHOTOMETRIC, &value);
        photometric = value;
        this->hasNoExtraSamples = this->samplesPerPixel == 1;
        if (this->throughRGBA)
            return;
        // One grey sample, or grey and alpha, stored together, of T's width.
        if (this->samplesPerPixel > 2 || this->bitsPerSample != sizeof(T) * 8 ||
            (this->planarConfig != PLANARCONFIG_CONTIG && this->samplesPerPixel > 1))
            this->layoutSupported = false;
    }

    template <typename T>
    bool TIFFGreyScaleImage<T>::convertDecompressedToRGBA(const unsigned char* packed, std::uint64_t rowStride,
                                                          unsigned char* out)
    {
        const unsigned samples = this->samplesPerPixel;
        if (rowStride < static_cast<std::uint64_t>(this->width) * samples * sizeof(T))
            return false;
        const bool whiteIsZero = photometric != PHOTOMETRIC_MINISBLACK;
        for (std::uint32_t y = 0; y < this->height; ++y)
        {
            const unsigned char* row = packed + y * rowStride;
            for (std::uint32_t x = 0; x < this->width; ++x)
            {
                T grey = sampleAt<T>(row, static_cast<std::uint64_t>(x) * samples);
                const T alpha = samples == 2 ? sampleAt<T>(row, static_cast<std::uint64_t>(x) * 2 + 1) : maxSample<T>();
                if (whiteIsZero)
                    grey = inverted(grey);
                put<T>(out, grey);
                put<T>(out, grey);
                put<T>(out, grey);
                put<T>(out, alpha);
            }
        }
        return true;
    }

    // ---- RGB

    template <typename T>
    TIFFRGBImage<T>::TIFFRGBImage(TIFF* tiff) : TIFFImage<T>(tiff, false)
    {
        if (tiff == nullptr)
            return;
        this->hasNoExtraSamples = this->samplesPerPixel == 3;
        if (this->samplesPerPixel == 3)
        {
            this->scanlineSize = static_cast<std::uint64_t>(this->width) * this->bytesPerPixel;
            this->samplesPerPixel = 4;
        }
        this->throughRGBA = this->bytesPerPixel == 4 && this->samplesPerPixel >= 3;
        if (this->throughRGBA)
            return;
        // Three or four samples of T's width, stored together.
        if (this->bitsPerSample != sizeof(T) * 8 || this->samplesPerPixel != 4 || this->planarConfig != PLANARCONFIG_CONTIG)
            this->layoutSupported = false;
    }

    template <typename T>
    bool TIFFRGBImage<T>::convertDecompressedToRGBA(const unsigned char* packed, std::uint64_t rowStride,
                                                    unsigned char* out)
    {
        const unsigned stored = this->hasNoExtraSamples ? 3 : 4;
        if (rowStride < static_cast<std::uint64_t>(this->width) * stored * sizeof(T))
            return false;
        for (std::uint32_t y = 0; y < this->height; ++y)
        {
            const unsigned char* row = packed + y * rowStride;
            for (std::uint32_t x = 0; x < this->width; ++x)
            {
                const std::uint64_t at = static_cast<std::uint64_t>(x) * stored;
                for (unsigned c = 0; c < 3; ++c)
                    put<T>(out, sampleAt<T>(row, at + c));
                put<T>(out, stored == 4 ? sampleAt<T>(row, at + 3) : maxSample<T>());
            }
        }
        return true;
    }

    template class TIFFImage<unsigned char>;
    template class TIFFImage<unsigned short>;
    template class TIFFImage<unsigned int>;
    template class TIFFImage<float>;
    template class TIFFPaletteImage<unsigned char>;
    template class TIFFPaletteImage<unsigned short>;
    template class TIFFPaletteImage<unsigned int>;
    template class TIFFGreyScaleImage<unsigned char>;
    template class TIFFGreyScaleImage<unsigned short>;
    template class TIFFGreyScaleImage<float>;
    template class TIFFRGBImage<unsigned char>;
    template class TIFFRGBImage<unsigned short>;
    template class TIFFRGBImage<float>;

    // ---- Loading

    TIFFImageBase* TIFFImageFormat::load(const char* path)
    {
        if (path == nullptr)
            return nullptr;
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
        TIFF* tiff = TIFFOpen(path, "r");
        if (tiff == nullptr)
            return nullptr;
        std::uint16_t photometric = PHOTOMETRIC_RGB, bits = 1;
        TIFFGetFieldDefaulted(tiff, TIFFTAG_PHOTOMETRIC, &photometric);
        TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
        if (photometric == PHOTOMETRIC_PALETTE)
        {
            if (bits == 16)
                return new TIFFPaletteImage<unsigned short>(tiff);
            if (bits == 32)
                return new TIFFPaletteImage<unsigned int>(tiff);
            return new TIFFPaletteImage<unsigned char>(tiff);
        }
        if (photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK)
        {
            if (bits == 16)
                return new TIFFGreyScaleImage<unsigned short>(tiff);
            if (bits == 32)
                return new TIFFGreyScaleImage<float>(tiff);
            return new TIFFGreyScaleImage<unsigned char>(tiff);
        }
        if (bits == 16)
            return new TIFFRGBImage<unsigned short>(tiff);
        if (bits == 32)
            return new TIFFRGBImage<float>(tiff);
        return new TIFFRGBImage<unsigned char>(tiff);
    }
}
