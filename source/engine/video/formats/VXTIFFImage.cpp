#include "engine/video/formats/VXTIFFImage.h"

#include "engine/video/formats/VXExifOrientation.h"

#include <tiffio.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <new>
#include <type_traits>
#include <vector>

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
        std::uint16_t turn = ORIENTATION_TOPLEFT;
        TIFFGetFieldDefaulted(handle, TIFFTAG_ORIENTATION, &turn);
        orientation = turn >= ORIENTATION_TOPLEFT && turn <= ORIENTATION_LEFTBOT ? turn : ORIENTATION_TOPLEFT;
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
        std::uint16_t extraCount = 0;
        std::uint16_t* extraKinds = nullptr;
        if (TIFFGetField(handle, TIFFTAG_EXTRASAMPLES, &extraCount, &extraKinds) == 1 && extraCount > 0 &&
            extraKinds != nullptr)
            alphaKind = extraKinds[0];
        layoutSupported =
            width > 0 && height > 0 && width <= maxImageSide && height <= maxImageSide && stripsLieInTheFile();
    }

    bool TIFFImageBase::stripsLieInTheFile() const
    {
        // Every strip (or tile) the directory names, whole, inside the file;
        // uncompressed, each at least as long as its rows. A picture the file
        // cannot hold is refused here, before a byte of it is decoded.
        const TIFFSizeProc sizeOf = TIFFGetSizeProc(handle);
        const std::uint64_t fileSize =
            sizeOf != nullptr ? static_cast<std::uint64_t>(sizeOf(TIFFClientdata(handle))) : 0;
        std::uint16_t compression = COMPRESSION_NONE;
        TIFFGetFieldDefaulted(handle, TIFFTAG_COMPRESSION, &compression);
        const bool tiled = TIFFIsTiled(handle) != 0;
        const std::uint32_t count = tiled ? TIFFNumberOfTiles(handle) : TIFFNumberOfStrips(handle);
        std::uint32_t rowsPerStrip = height;
        TIFFGetFieldDefaulted(handle, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        rowsPerStrip = std::clamp<std::uint32_t>(rowsPerStrip, 1, std::max<std::uint32_t>(height, 1));
        const std::uint32_t stripsPerPlane = (height + rowsPerStrip - 1) / rowsPerStrip;
        if (count == 0)
            return false;
        for (std::uint32_t i = 0; i < count; ++i)
        {
            int error = 0;
            const std::uint64_t offset = TIFFGetStrileOffsetWithErr(handle, i, &error);
            const std::uint64_t bytes = TIFFGetStrileByteCountWithErr(handle, i, &error);
            if (error != 0 || bytes == 0 || offset > fileSize || bytes > fileSize - offset)
                return false;
            if (compression != COMPRESSION_NONE)
                continue;
            const std::uint64_t needed = tiled ? static_cast<std::uint64_t>(TIFFTileSize64(handle))
                                               : static_cast<std::uint64_t>(TIFFVStripSize64(
                                                     handle, i % stripsPerPlane == stripsPerPlane - 1
                                                                 ? height - (stripsPerPlane - 1) * rowsPerStrip
                                                                 : rowsPerStrip));
            if (bytes < needed)
                return false;
        }
        return true;
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

    unsigned char* TIFFImageBase::decompressToBytes(unsigned* size)
    {
        if (! isValid())
            return nullptr;
        std::unique_ptr<unsigned char[]> bytes(new (std::nothrow) unsigned char[outputSize]);
        if (bytes == nullptr || ! decompressIntoBuffer(bytes.get()))
            return nullptr;
        if (size != nullptr)
            *size = static_cast<unsigned>(outputSize); // at most maxDecodedBytes
        return bytes.release();
    }

    bool TIFFImageBase::readStrips(const std::function<bool(const unsigned char*, std::uint64_t, std::uint32_t)>& convertRow)
    {
        if (TIFFIsTiled(handle))
            return false;
        const std::uint64_t stride = TIFFScanlineSize64(handle);
        std::uint32_t rowsPerStrip = height;
        TIFFGetFieldDefaulted(handle, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        rowsPerStrip = std::clamp<std::uint32_t>(rowsPerStrip, 1, height);
        const std::uint64_t stripBytes = stride * rowsPerStrip;
        if (stride == 0 || stripBytes > maxDecodedBytes)
            return false;
        // Whole strips at a time, each row converted straight to its place.
        std::vector<unsigned char> strip(static_cast<std::size_t>(stripBytes));
        for (std::uint32_t first = 0, index = 0; first < height; first += rowsPerStrip, ++index)
        {
            const std::uint32_t rows = std::min(rowsPerStrip, height - first);
            const tmsize_t wanted = static_cast<tmsize_t>(stride * rows);
            if (TIFFReadEncodedStrip(handle, index, strip.data(), wanted) < wanted)
                return false;
            for (std::uint32_t r = 0; r < rows; ++r)
                if (! convertRow(strip.data() + r * stride, stride, first + r))
                    return false;
        }
        return true;
    }

    bool TIFFImageBase::readRGBA(unsigned char* out)
    {
        // Asked for the file's own orientation, the reader neither flips nor
        // turns: the rows come as stored, to be turned once, as every layout
        // is (for 5 to 8 it would only flip). Stopping at the first strip
        // that does not decode: going on would answer a whole picture whose
        // missing rows repeat the last good ones.
        return TIFFReadRGBAImageOriented(handle, width, height, reinterpret_cast<std::uint32_t*>(out),
                                         static_cast<int>(orientation), 1) != 0;
    }

    bool TIFFImageBase::decodesPremultiplied() const
    {
        // The RGBA reader multiplies unassociated alpha in and keeps associated alpha.
        return alphaKind == EXTRASAMPLE_ASSOCALPHA || (throughRGBA && alphaKind == EXTRASAMPLE_UNASSALPHA);
    }

    namespace
    {
        template <typename T>
        void unpremultiplyPixels(unsigned char* out, std::uint64_t pixels)
        {
            constexpr T max = maxSample<T>();
            for (std::uint64_t i = 0; i < pixels; ++i, out += 4 * sizeof(T))
            {
                T pixel[4];
                std::memcpy(pixel, out, sizeof(pixel));
                const T alpha = pixel[3];
                // Opaque colour is as stored; fully transparent colour stays as it is.
                if (! (alpha > T(0) && alpha < max))
                    continue;
                for (int c = 0; c < 3; ++c)
                {
                    if constexpr (std::is_floating_point_v<T>)
                        pixel[c] = std::min(max, pixel[c] / alpha);
                    else
                    {
                        const std::uint64_t v = (static_cast<std::uint64_t>(pixel[c]) * max + alpha / 2) / alpha;
                        pixel[c] = static_cast<T>(std::min<std::uint64_t>(v, max));
                    }
                }
                std::memcpy(out, pixel, sizeof(pixel));
            }
        }
    }

    void TIFFImageBase::unpremultiply(unsigned char* out) const
    {
        const std::uint64_t pixels = static_cast<std::uint64_t>(width) * height;
        if (bytesPerPixel == 4)
            unpremultiplyPixels<unsigned char>(out, pixels);
        else if (bytesPerPixel == 8)
            unpremultiplyPixels<unsigned short>(out, pixels);
        else if (bytesPerPixel == 16)
            unpremultiplyPixels<float>(out, pixels);
    }

    // ---- TIFFImage<T>

    template <typename T>
    bool TIFFImage<T>::decompressIntoBuffer(unsigned char* out)
    {
        if (out == nullptr || ! this->isValid())
            return false;
        if (this->orientation == ORIENTATION_TOPLEFT)
            return decodeStored(out);
        // A picture to turn is decoded as stored beside the caller's buffer.
        const std::unique_ptr<unsigned char[]> stored(new (std::nothrow) unsigned char[this->outputSize]);
        return stored != nullptr && decodeStored(stored.get()) &&
               ExifOrientation::turn(static_cast<int>(this->orientation), stored.get(), out,
                                     static_cast<int>(this->width), static_cast<int>(this->height),
                                     static_cast<int>(this->bytesPerPixel));
    }

    template <typename T>
    bool TIFFImage<T>::decodeStored(unsigned char* out)
    {
        // Straight into the caller's buffer: readers decode each image once,
        // so a cache would cost a copy and a second picture's memory.
        const bool read =
            this->throughRGBA
                ? this->readRGBA(out)
                : this->readStrips([&](const unsigned char* row, std::uint64_t rowLength, std::uint32_t y)
                                   { return convertDecompressedToRGBA(row, rowLength, out + y * this->rowBytes); });
        if (read && this->decodesPremultiplied())
            this->unpremultiply(out);
        return read;
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
    bool TIFFPaletteImage<T>::convertDecompressedToRGBA(const unsigned char* row, std::uint64_t rowLength,
                                                        unsigned char* out)
    {
        // Locals: the output may alias any byte, so members would be read again per pixel.
        const std::uint32_t width = this->width;
        const unsigned bits = this->bitsPerSample;
        const unsigned mask = bits >= 16 ? 0xFFFFu : (1u << bits) - 1;
        if (rowLength * 8 < static_cast<std::uint64_t>(width) * bits)
            return false;
        if (bits <= 8)
        {
            // Up to 256 colours: each index's whole 16-bit RGBA pixel from one table.
            if (pixelsByIndex.empty())
                for (unsigned i = 0; i <= mask; ++i)
                {
                    const std::uint16_t pixel[4] = {red[i], green[i], blue[i], 65535};
                    std::uint64_t packed = 0;
                    std::memcpy(&packed, pixel, 8);
                    pixelsByIndex.push_back(packed);
                }
            const std::uint64_t* table = pixelsByIndex.data();
            if (bits == 8)
                for (std::uint32_t x = 0; x < width; ++x)
                    std::memcpy(out + 8 * static_cast<std::size_t>(x), &table[row[x]], 8);
            else
                for (std::uint32_t x = 0; x < width; ++x)
                {
                    // Rows start on a byte; the first index in the high bits.
                    const std::uint64_t bit = static_cast<std::uint64_t>(x) * bits;
                    const unsigned index = (static_cast<unsigned>(row[bit / 8]) >> (8 - bits - bit % 8)) & mask;
                    std::memcpy(out + 8 * static_cast<std::size_t>(x), &table[index], 8);
                }
            return true;
        }
        for (std::uint32_t x = 0; x < width; ++x)
        {
            const unsigned index = static_cast<unsigned>(sampleAt<T>(row, x)) & mask;
            const std::uint16_t pixel[4] = {red[index], green[index], blue[index], 65535};
            std::memcpy(out + 8 * static_cast<std::size_t>(x), pixel, 8);
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
        // Grey comes first and alpha second: TIFF stores the extra samples
        // (alpha) after the colour samples, whatever order a layout table
        // may suggest.
        if (this->samplesPerPixel > 2 || this->bitsPerSample != sizeof(T) * 8 ||
            (this->planarConfig != PLANARCONFIG_CONTIG && this->samplesPerPixel > 1))
            this->layoutSupported = false;
    }

    template <typename T>
    bool TIFFGreyScaleImage<T>::convertDecompressedToRGBA(const unsigned char* row, std::uint64_t rowLength,
                                                          unsigned char* out)
    {
        // Locals: the output may alias any byte, so members would be read again per pixel.
        const std::uint32_t width = this->width;
        const unsigned samples = this->samplesPerPixel;
        if (rowLength < static_cast<std::uint64_t>(width) * samples * sizeof(T))
            return false;
        const bool whiteIsZero = photometric != PHOTOMETRIC_MINISBLACK;
        if constexpr (std::is_same_v<T, unsigned char> && std::endian::native == std::endian::little)
            if (samples == 1)
            {
                // One 32-bit store per pixel: grey in red, green and blue, opaque.
                const unsigned char flip = whiteIsZero ? 0xFF : 0x00;
                for (std::uint32_t x = 0; x < width; ++x)
                {
                    const std::uint32_t grey = static_cast<unsigned char>(row[x] ^ flip);
                    const std::uint32_t pixel = grey * 0x010101u | 0xFF000000u;
                    std::memcpy(out + 4 * static_cast<std::size_t>(x), &pixel, 4);
                }
                return true;
            }
        for (std::uint32_t x = 0; x < width; ++x)
        {
            T grey = sampleAt<T>(row, static_cast<std::uint64_t>(x) * samples);
            const T alpha = samples == 2 ? sampleAt<T>(row, static_cast<std::uint64_t>(x) * 2 + 1) : maxSample<T>();
            if (whiteIsZero)
                grey = inverted(grey);
            const T pixel[4] = {grey, grey, grey, alpha};
            std::memcpy(out + 4 * sizeof(T) * x, pixel, sizeof(pixel));
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
    bool TIFFRGBImage<T>::convertDecompressedToRGBA(const unsigned char* row, std::uint64_t rowLength,
                                                    unsigned char* out)
    {
        // Locals: the output may alias any byte, so members would be read again per pixel.
        const std::uint32_t width = this->width;
        const unsigned stored = this->hasNoExtraSamples ? 3 : 4;
        if (rowLength < static_cast<std::uint64_t>(width) * stored * sizeof(T))
            return false;
        for (std::uint32_t x = 0; x < width; ++x)
        {
            const std::uint64_t at = static_cast<std::uint64_t>(x) * stored;
            const T pixel[4] = {sampleAt<T>(row, at), sampleAt<T>(row, at + 1), sampleAt<T>(row, at + 2),
                                stored == 4 ? sampleAt<T>(row, at + 3) : maxSample<T>()};
            std::memcpy(out + 4 * sizeof(T) * x, pixel, sizeof(pixel));
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
