#include "engine/video/formats/VXPNGImageFormat.h"

#include <bit>
#include <cstdlib>
#include <cstring>
#include <istream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <png.h>

#include "core/VXLog.h"
#include "engine/video/formats/VXImageUtils.h"

namespace vx
{
    namespace PNGHelpers
    {
        // The only thing thrown across libpng; caught in every operation below.
        struct PNGErrorStruct
        {
        };

        // libpng's message goes to the string given as its error pointer so
        // that the caller's log line can name the cause.
        [[noreturn]] void errorCallback(png_structp png, png_const_charp message)
        {
            if (auto* text = static_cast<std::string*>(png_get_error_ptr(png)); text != nullptr && message != nullptr)
                *text = message;
            throw PNGErrorStruct();
        }

        void warningCallback(png_structp, png_const_charp)
        {
        }

        // A short read is an error: libpng must never see bytes we did not get.
        void readCallback(png_structp png, png_bytep data, png_size_t length)
        {
            auto* stream = static_cast<std::istream*>(png_get_io_ptr(png));
            stream->read(reinterpret_cast<char*>(data), static_cast<std::streamsize>(length));
            if (static_cast<png_size_t>(stream->gcount()) != length)
                png_error(png, "unexpected end of PNG data");
        }

        // A failing stream (unopened file, full disk) fails the encode.
        void writeDataCallback(png_structp png, png_bytep data, png_size_t length)
        {
            auto* stream = static_cast<std::ostream*>(png_get_io_ptr(png));
            stream->write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(length));
            if (! *stream)
                png_error(png, "could not write PNG data to the stream");
        }

        // Registered so that libpng never takes the stream for a FILE*.
        void flushCallback(png_structp png)
        {
            static_cast<std::ostream*>(png_get_io_ptr(png))->flush();
        }
    }

    namespace
    {
        const char* const pngVersion = "1.6.1";
        constexpr unsigned char pngSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

        struct ReadStructs
        {
            png_structp png = nullptr;
            png_infop info = nullptr;
            std::string message;

            ~ReadStructs() { png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr); }
        };

        struct WriteStructs
        {
            png_structp png = nullptr;
            png_infop info = nullptr;
            std::string message;

            ~WriteStructs() { png_destroy_write_struct(&png, info != nullptr ? &info : nullptr); }
        };

        struct Header
        {
            png_uint_32 width = 0;
            png_uint_32 height = 0;
            int bitDepth = 0;
            int bytesPerPixel = 0;
            bool hasAlpha = false;
            // 8-bit palette images, not interlaced, are expanded here through
            // this table (RGBA of every index, opaque black past the palette):
            // faster than libpng's chain of expansions.
            bool expandPalette = false;
            unsigned char palette[256][4] = {};
        };

        // Makes the structures; false leaves nothing to clean beyond ReadStructs.
        bool createRead(ReadStructs& s, std::istream& stream)
        {
            s.png =
                png_create_read_struct(pngVersion, &s.message, PNGHelpers::errorCallback, PNGHelpers::warningCallback);
            if (s.png == nullptr)
                return false;
            s.info = png_create_info_struct(s.png);
            if (s.info == nullptr)
                return false;
            png_set_read_fn(s.png, &stream, PNGHelpers::readCallback);
            png_set_user_limits(s.png, PNGImageFormat::maxImageSide, PNGImageFormat::maxImageSide);
            // Only IHDR, PLTE, tRNS, IDAT and IEND shape the pixels we answer.
            // Every other chunk is passed over unbuffered: libpng would otherwise
            // allocate a text or profile chunk's whole claimed length (up to
            // 2 GB from a file of a few bytes) before finding it missing.
            png_set_keep_unknown_chunks(s.png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
            return true;
        }

        // Reads the header and asks for RGBA output. Files below 8 bits per
        // sample are refused here, before any buffer is sized from them.
        bool readHeader(ReadStructs& s, Header& h, std::string& why, bool expandPaletteHere = false)
        {
            png_read_info(s.png, s.info);

            int colorType = 0;
            int interlace = 0;
            png_get_IHDR(s.png, s.info, &h.width, &h.height, &h.bitDepth, &colorType, &interlace, nullptr, nullptr);

            if (h.bitDepth != 8 && h.bitDepth != 16)
            {
                why = "unsupported bit depth " + std::to_string(h.bitDepth);
                return false;
            }

            const bool hasTransparency = png_get_valid(s.png, s.info, PNG_INFO_tRNS) != 0;
            h.expandPalette = expandPaletteHere && colorType == PNG_COLOR_TYPE_PALETTE && h.bitDepth == 8 &&
                              interlace == PNG_INTERLACE_NONE;
            if (h.expandPalette)
            {
                png_colorp colours = nullptr;
                int count = 0;
                png_get_PLTE(s.png, s.info, &colours, &count);
                png_bytep alpha = nullptr;
                int alphaCount = 0;
                if (hasTransparency)
                    png_get_tRNS(s.png, s.info, &alpha, &alphaCount, nullptr);
                for (int i = 0; i < 256; ++i)
                {
                    const bool known = colours != nullptr && i < count;
                    h.palette[i][0] = known ? colours[i].red : 0;
                    h.palette[i][1] = known ? colours[i].green : 0;
                    h.palette[i][2] = known ? colours[i].blue : 0;
                    h.palette[i][3] = alpha != nullptr && i < alphaCount ? alpha[i] : 255;
                }
            }
            else
            {
                if (colorType == PNG_COLOR_TYPE_PALETTE)
                    png_set_expand(s.png);
                if (hasTransparency)
                    png_set_tRNS_to_alpha(s.png);
                if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
                    png_set_gray_to_rgb(s.png);
                png_set_add_alpha(s.png, h.bitDepth == 16 ? 0xFFFF : 0xFF, PNG_FILLER_AFTER);
            }

            h.hasAlpha = (colorType & PNG_COLOR_MASK_ALPHA) != 0 || hasTransparency;
            h.bytesPerPixel = h.bitDepth / 2;

            const unsigned long long bytes = static_cast<unsigned long long>(h.width) * h.height * h.bytesPerPixel;
            if (bytes > PNGImageFormat::maxDecodedBytes)
            {
                why = "image too large (" + std::to_string(h.width) + "x" + std::to_string(h.height) + ")";
                return false;
            }
            return true;
        }

        void writeHeaderOut(const Header& h, unsigned long* width, unsigned long* height, unsigned long* rowBytes,
                            int* bytesPerPixel, bool* hasAlpha)
        {
            if (width != nullptr)
                *width = h.width;
            if (height != nullptr)
                *height = h.height;
            if (rowBytes != nullptr)
                *rowBytes = static_cast<unsigned long>(h.width) * h.bytesPerPixel;
            if (bytesPerPixel != nullptr)
                *bytesPerPixel = h.bytesPerPixel;
            if (hasAlpha != nullptr)
                *hasAlpha = h.hasAlpha;
        }

        void swapSampleBytes(unsigned char* data, size_t bytes)
        {
            for (size_t i = 0; i + 1 < bytes; i += 2)
                std::swap(data[i], data[i + 1]);
        }
    }

    bool PNGImageFormat::validate(std::istream& stream)
    {
        unsigned char bytes[8] = {};
        stream.read(reinterpret_cast<char*>(bytes), sizeof(bytes));
        const bool readAll = stream.gcount() == static_cast<std::streamsize>(sizeof(bytes));
        stream.clear();
        stream.seekg(0);
        return readAll && std::memcmp(bytes, pngSignature, sizeof(bytes)) == 0;
    }

    bool PNGImageFormat::decodeHeader(std::istream& stream, unsigned long* width, unsigned long* height,
                                      unsigned long* rowBytes, int* bytesPerPixel, bool* hasAlpha)
    {
        ReadStructs s;
        std::string why;
        try
        {
            if (! createRead(s, stream))
                why = "could not create the libpng structures";
            else
            {
                Header h;
                if (readHeader(s, h, why))
                {
                    writeHeaderOut(h, width, height, rowBytes, bytesPerPixel, hasAlpha);
                    return true;
                }
            }
        }
        catch (const PNGHelpers::PNGErrorStruct&)
        {
            why = s.message.empty() ? "invalid PNG data" : s.message;
        }
        logPrint(logError, "PNGImageFormat::decodeHeader: %s.\n", why.c_str());
        return false;
    }

    unsigned char* PNGImageFormat::decodeImage(std::istream& stream, unsigned long* width, unsigned long* height,
                                               unsigned long* rowBytes, int* bytesPerPixel, bool* hasAlpha)
    {
        MallocBuffer pixels;
        const bool decoded = decode(stream, nullptr, 0, &pixels, width, height, rowBytes, bytesPerPixel, hasAlpha,
                                    "PNGImageFormat::decodeImage");
        return decoded ? pixels.release() : nullptr;
    }

    bool PNGImageFormat::decodeImageInto(std::istream& stream, unsigned char* buffer, unsigned long long capacity,
                                         unsigned long* width, unsigned long* height, int* bytesPerPixel,
                                         bool* hasAlpha)
    {
        return buffer != nullptr && decode(stream, buffer, capacity, nullptr, width, height, nullptr, bytesPerPixel,
                                           hasAlpha, "PNGImageFormat::decodeImageInto");
    }

    bool PNGImageFormat::decode(std::istream& stream, unsigned char* buffer, unsigned long long capacity,
                                MallocBuffer* allocated, unsigned long* width, unsigned long* height,
                                unsigned long* rowBytes, int* bytesPerPixel, bool* hasAlpha, const char* caller)
    {
        ReadStructs s;
        std::string why;
        try
        {
            Header h;
            if (! createRead(s, stream))
                why = "could not create the libpng structures";
            else if (readHeader(s, h, why, true))
            {
                png_set_interlace_handling(s.png);
                png_read_update_info(s.png, s.info);

                const size_t rowSize = static_cast<size_t>(h.width) * h.bytesPerPixel;
                const size_t total = rowSize * h.height;
                const size_t decodedRow = h.expandPalette ? h.width : rowSize;
                // The transformations must give exactly the row we size for.
                if (png_get_rowbytes(s.png, s.info) != decodedRow ||
                    png_get_channels(s.png, s.info) != (h.expandPalette ? 1 : 4))
                    why = "unexpected decoded row layout";
                else if (buffer != nullptr && total > capacity)
                    why = "the picture (" + std::to_string(total) + " bytes) does not fit the buffer";
                else
                {
                    if (buffer == nullptr)
                    {
                        allocated->reset(static_cast<unsigned char*>(std::malloc(total)));
                        buffer = allocated->get();
                    }
                    if (buffer == nullptr)
                        why = "out of memory";
                    else
                    {
                        if (h.expandPalette)
                        {
                            std::vector<unsigned char> indexes(h.width);
                            for (png_uint_32 y = 0; y < h.height; ++y)
                            {
                                png_read_row(s.png, indexes.data(), nullptr);
                                unsigned char* out = buffer + y * rowSize;
                                for (png_uint_32 x = 0; x < h.width; ++x)
                                    std::memcpy(out + 4 * x, h.palette[indexes[x]], 4);
                            }
                        }
                        else
                        {
                            std::vector<png_bytep> rows(h.height);
                            for (png_uint_32 y = 0; y < h.height; ++y)
                                rows[y] = buffer + y * rowSize;
                            png_read_image(s.png, rows.data());
                        }
                        png_read_end(s.png, nullptr);

                        // PNG samples are most significant byte first.
                        if (h.bitDepth == 16 && std::endian::native == std::endian::little)
                            swapSampleBytes(buffer, total);

                        writeHeaderOut(h, width, height, rowBytes, bytesPerPixel, hasAlpha);
                        return true;
                    }
                }
            }
        }
        catch (const PNGHelpers::PNGErrorStruct&)
        {
            why = s.message.empty() ? "invalid PNG data" : s.message;
        }
        if (allocated != nullptr)
            allocated->reset();
        logPrint(logError, "%s: %s.\n", caller, why.c_str());
        return false;
    }

    bool PNGImageFormat::writePixelsToStream(const unsigned char* data, unsigned long width, unsigned long height,
                                             int bytesPerPixel, std::ostream& stream, unsigned long bytesPerRow)
    {
        int colorType = 0;
        int bitDepth = 8;
        switch (bytesPerPixel)
        {
            case 1:
                colorType = PNG_COLOR_TYPE_GRAY;
                break;
            case 3:
                colorType = PNG_COLOR_TYPE_RGB;
                break;
            case 4:
                colorType = PNG_COLOR_TYPE_RGB_ALPHA;
                break;
            case 8:
                colorType = PNG_COLOR_TYPE_RGB_ALPHA;
                bitDepth = 16;
                break;
            default:
                logPrint(logError, "PNGImageFormat::writePixelsToStream: unsupported pixel size %d.\n", bytesPerPixel);
                return false;
        }
        const unsigned long rowSize = width * static_cast<unsigned long>(bytesPerPixel);
        if (bytesPerRow == 0)
            bytesPerRow = rowSize;
        if (data == nullptr || width == 0 || height == 0 || width > PNG_UINT_31_MAX || height > PNG_UINT_31_MAX ||
            bytesPerRow < rowSize)
        {
            logPrint(
                logError,
                "PNGImageFormat::writePixelsToStream: invalid image %lux%lu (%d bytes per pixel, %lu bytes per row).\n",
                width, height, bytesPerPixel, bytesPerRow);
            return false;
        }

        WriteStructs s;
        try
        {
            s.png =
                png_create_write_struct(pngVersion, &s.message, PNGHelpers::errorCallback, PNGHelpers::warningCallback);
            if (s.png != nullptr)
                s.info = png_create_info_struct(s.png);
            if (s.png == nullptr || s.info == nullptr)
            {
                logPrint(logError, "PNGImageFormat::writePixelsToStream: could not create the libpng structures.\n");
                return false;
            }
            png_set_write_fn(s.png, &stream, PNGHelpers::writeDataCallback, PNGHelpers::flushCallback);
            png_set_IHDR(s.png, s.info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), bitDepth,
                         colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
            if (bytesPerPixel != 1)
            {
                png_color_8 significant = {};
                significant.red = significant.green = significant.blue = static_cast<png_byte>(bitDepth);
                if (bytesPerPixel != 3)
                    significant.alpha = static_cast<png_byte>(bitDepth);
                png_set_sBIT(s.png, s.info, &significant);
            }
            png_write_info(s.png, s.info);

            std::vector<unsigned char> row(rowSize);
            for (unsigned long y = 0; y < height; ++y)
            {
                std::memcpy(row.data(), data + y * bytesPerRow, rowSize);
                // Our 16-bit samples are in host order; PNG wants the high byte first.
                if (bitDepth == 16 && std::endian::native == std::endian::little)
                    swapSampleBytes(row.data(), rowSize);
                png_write_row(s.png, row.data());
            }
            png_write_end(s.png, nullptr);
            return true;
        }
        catch (const PNGHelpers::PNGErrorStruct&)
        {
            logPrint(logError, "PNGImageFormat::writePixelsToStream: %s.\n",
                     s.message.empty() ? "libpng failed" : s.message.c_str());
            return false;
        }
    }
}
