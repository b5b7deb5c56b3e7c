#include "engine/video/formats/VXImageUtils.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <streambuf>
#include <vector>

#include <epoxy/gl.h>

// stb's decoder and TGA writer, compiled privately into this file so that no
// other user of stb in the engine can clash with it. Both allocate with malloc,
// the one allocator of every decoded buffer; the decoder's blocks come zeroed
// (calloc): a corrupt JPEG's scan may use a Huffman table no segment defined,
// which stb reads as it finds it.
#define STBI_MALLOC(size) std::calloc(1, size)
#define STBI_REALLOC(pointer, size) std::realloc(pointer, size)
#define STBI_FREE(pointer) std::free(pointer)
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_MAX_DIMENSIONS 16384
#include <stb/stb_image.h>
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include "core/VXFile.h"
#include "core/VXInputStream.h"
#include "core/VXLog.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/formats/VXExifOrientation.h"
#include "engine/video/formats/VXJPEGSegments.h"
#include "engine/video/formats/VXPNGImageFormat.h"
#include "engine/video/formats/VXPixels.h"

namespace vx
{
    namespace
    {
        // Read-only stream over caller memory, so decoding needs no copy.
        class MemoryBuffer : public std::streambuf
        {
        public:
            MemoryBuffer(const unsigned char* bytes, size_t size)
            {
                char* begin = const_cast<char*>(reinterpret_cast<const char*>(bytes));
                setg(begin, begin, begin + size);
            }

        protected:
            pos_type seekoff(off_type offset, std::ios_base::seekdir direction, std::ios_base::openmode) override
            {
                char* base = direction == std::ios_base::beg   ? eback()
                             : direction == std::ios_base::cur ? gptr()
                                                               : egptr();
                char* target = base + offset;
                if (target < eback() || target > egptr())
                    return pos_type(off_type(-1));
                setg(eback(), target, egptr());
                return pos_type(target - eback());
            }
            pos_type seekpos(pos_type position, std::ios_base::openmode mode) override
            {
                return seekoff(off_type(position), std::ios_base::beg, mode);
            }
        };

        // Whole file into memory; empty with a log line when it cannot be read.
        std::vector<unsigned char> readWholeFile(const File& file)
        {
            std::unique_ptr<InputStream> stream(file.createInputStream(true));
            if (! stream)
            {
                logPrint(logError, "ImageUtils::imageFromFile: Could not open file %s\n", file.getFullPath().c_str());
                return {};
            }
            const unsigned long long size = stream->getTotalSize();
            if (size == 0 || size > 0x7FFFFFFFull)
            {
                logPrint(logError, "ImageUtils::imageFromFile: FileSize is zero or too large %s\n",
                         file.getFullPath().c_str());
                return {};
            }
            std::vector<unsigned char> bytes(static_cast<size_t>(size));
            if (stream->readBytes(bytes.data(), size) != size)
            {
                logPrint(logError, "ImageUtils::imageFromFile: Could not read file %s\n", file.getFullPath().c_str());
                return {};
            }
            return bytes;
        }

        // TIFF files go to the decoder the TIFF layer installs.
        ImageUtils::FileDecoder& tiffDecoder()
        {
            static ImageUtils::FileDecoder decoder = nullptr;
            return decoder;
        }

        bool writeTextFile(const File& file, const std::string& text)
        {
            std::ofstream out(file.getFullPath(), std::ios::binary | std::ios::trunc);
            out << text;
            out.close();
            if (! out)
            {
                logPrint(logError, "ImageUtils::writeToPngAsCFiles: could not write %s\n", file.getFullPath().c_str());
                return false;
            }
            return true;
        }

        int bytesPerPixelOfInternalFormat(int internalFormat)
        {
            switch (internalFormat)
            {
                case GL_INTENSITY8:
                    return 1;
                case GL_RGB8:
                    return 3;
                case GL_RGBA8:
                    return 4;
                case GL_RGBA16:
                    return 8;
                case GL_INTENSITY32F_ARB:
                    return 4;
                default:
                    return 0;
            }
        }
    }

    unsigned char* ImageUtils::imageFromMemory(const unsigned char* bytes, int size, unsigned long* width,
                                               unsigned long* height, int* channels, int wantedChannels)
    {
        if (bytes == nullptr || size <= 0 || wantedChannels < 0 || wantedChannels > 4)
        {
            logPrint(logError, "ImageUtils::imageFromMemory: invalid arguments (%d bytes, %d channels wanted).\n", size,
                     wantedChannels);
            return nullptr;
        }
        // stb's JPEG decoder writes past its tables for a Huffman table of
        // more than 256 codes: such a file is refused before it gets there.
        if (! JPEGSegments::huffmanTablesFit(bytes, static_cast<std::size_t>(size)))
        {
            logPrint(logError, "ImageUtils::imageFromMemory: a JPEG Huffman table holds more than 256 codes.\n");
            return nullptr;
        }
        int w = 0, h = 0, fileChannels = 0;
        unsigned char* pixels = stbi_load_from_memory(bytes, size, &w, &h, &fileChannels, wantedChannels);
        if (pixels == nullptr)
        {
            logPrint(logError, "STB error: %s\n", stbi_failure_reason());
            return nullptr;
        }
        // A JPEG stands upright as its EXIF block says: phones store portrait
        // shots sideways. Kept as stored when no memory is left for the turn.
        const int orientation = ExifOrientation::read(bytes, static_cast<std::size_t>(size));
        if (! ExifOrientation::apply(orientation, pixels, w, h, wantedChannels != 0 ? wantedChannels : fileChannels))
            logPrint(logError, "ImageUtils::imageFromMemory: no memory to turn a %d x %d picture upright.\n", w, h);
        if (width != nullptr)
            *width = static_cast<unsigned long>(w);
        if (height != nullptr)
            *height = static_cast<unsigned long>(h);
        if (channels != nullptr)
            *channels = fileChannels;
        return pixels;
    }

    unsigned char* ImageUtils::pngImageFromMemory(const unsigned char* bytes, int size, unsigned long* width,
                                                  unsigned long* height, int* channels)
    {
        if (bytes == nullptr || size <= 0)
        {
            logPrint(logError, "ImageUtils::pngImageFromMemory: no data.\n");
            return nullptr;
        }
        MemoryBuffer buffer(bytes, static_cast<size_t>(size));
        std::istream stream(&buffer);
        if (! PNGImageFormat::validate(stream))
        {
            logPrint(logError, "ImageUtils::pngImageFromMemory: not PNG data.\n");
            return nullptr;
        }
        return PNGImageFormat::decodeImage(stream, width, height, nullptr, channels, nullptr);
    }

    unsigned char* ImageUtils::imageFromFile(const File& file, unsigned long* width, unsigned long* height,
                                             int* channels, int wantedChannels)
    {
        const std::vector<unsigned char> bytes = readWholeFile(file);
        if (bytes.empty())
            return nullptr;
        const int size = static_cast<int>(bytes.size());

        if (file.hasExtension("png"))
        {
            int decodedChannels = 0;
            unsigned char* pixels = pngImageFromMemory(bytes.data(), size, width, height, &decodedChannels);
            // A caller asking for a layout gets that layout, never fewer bytes.
            if (pixels == nullptr || wantedChannels == 0 || wantedChannels == decodedChannels)
            {
                if (channels != nullptr && pixels != nullptr)
                    *channels = decodedChannels;
                return pixels;
            }
            std::free(pixels);
            return imageFromMemory(bytes.data(), size, width, height, channels, wantedChannels);
        }
        if (file.hasExtension("tiff") || file.hasExtension("tif"))
        {
            if (tiffDecoder() == nullptr)
            {
                logPrint(logError, "ImageUtils::imageFromFile: no TIFF decoder is linked into this program: %s\n",
                         file.getFullPath().c_str());
                return nullptr;
            }
            return tiffDecoder()(file, width, height, channels, wantedChannels);
        }
        if (file.hasExtension("qmi"))
            return nullptr;
        return imageFromMemory(bytes.data(), size, width, height, channels, wantedChannels);
    }

    void ImageUtils::setTIFFDecoder(FileDecoder decoder)
    {
        tiffDecoder() = decoder;
    }

    ImageUtils::FileDecoder ImageUtils::getTIFFDecoder()
    {
        return tiffDecoder();
    }

    Texture* ImageUtils::textureFromData(const unsigned char* bytes, int width, int height, int channels)
    {
        const TextureFormat format = Pixels::determineTextureFormatForBitdepth(channels);
        if (format == TextureFormat())
        {
            logPrint(logError, "textureFromImage: Unknown format! (%d channels)\n", channels);
            return nullptr;
        }
        auto* texture = new Texture();
        if (! texture->create(bytes, width, height, format))
        {
            logPrint(logError, "textureFromImage: could not create texture! (%dx%d)\n", width, height);
            delete texture;
            return nullptr;
        }
        return texture;
    }

    Texture* ImageUtils::textureFromMemory(const unsigned char* bytes, int size, int wantedChannels)
    {
        unsigned long width = 0, height = 0;
        int fileChannels = 0;
        MallocBuffer pixels(imageFromMemory(bytes, size, &width, &height, &fileChannels, wantedChannels));
        if (! pixels)
            return nullptr;
        return textureFromData(pixels.get(), static_cast<int>(width), static_cast<int>(height),
                               wantedChannels != 0 ? wantedChannels : fileChannels);
    }

    Texture* ImageUtils::textureFromFile(const File& file, int)
    {
        unsigned long width = 0, height = 0;
        int channels = 0;
        MallocBuffer pixels(imageFromFile(file, &width, &height, &channels, 0));
        if (! pixels)
            return nullptr;
        return textureFromData(pixels.get(), static_cast<int>(width), static_cast<int>(height), channels);
    }

    void ImageUtils::flip(unsigned char* data, int width, int height, int bytesPerPixel)
    {
        if (data == nullptr || width <= 0 || height < 2 || bytesPerPixel <= 0)
            return;
        const size_t rowBytes = static_cast<size_t>(width) * bytesPerPixel;
        std::vector<unsigned char> copy(data, data + rowBytes * height);
        for (int y = 0; y < height; ++y)
            std::memcpy(data + rowBytes * y, copy.data() + rowBytes * (height - 1 - y), rowBytes);
    }

    bool ImageUtils::writeToPng(const File& file, int width, int height, int bytesPerPixel, const void* data,
                                int stride)
    {
        if (width <= 0 || height <= 0 || stride < 0)
        {
            logPrint(logError, "ImageUtils::writeToPng: invalid image %dx%d for %s\n", width, height,
                     file.getFullPath().c_str());
            return false;
        }
        std::ofstream out(file.getFullPath(), std::ios::binary | std::ios::trunc);
        if (! out)
        {
            logPrint(logError, "ImageUtils::writeToPng: could not open %s\n", file.getFullPath().c_str());
            return false;
        }
        const bool encoded = PNGImageFormat::writePixelsToStream(
            static_cast<const unsigned char*>(data), static_cast<unsigned long>(width),
            static_cast<unsigned long>(height), bytesPerPixel, out, static_cast<unsigned long>(stride));
        out.close();
        if (encoded && ! out)
        {
            logPrint(logError, "ImageUtils::writeToPng: could not finish %s\n", file.getFullPath().c_str());
            return false;
        }
        return encoded;
    }

    bool ImageUtils::writePixelsToPng(const File& file, Pixels& pixels)
    {
        return writeToPng(file, pixels.width, pixels.height, pixels.bytesPerPixel, pixels.data, pixels.stride);
    }

    unsigned char* ImageUtils::writePixelsToPng(const Pixels* pixels, int* size)
    {
        if (pixels == nullptr)
            return nullptr;
        std::ostringstream out;
        if (pixels->width <= 0 || pixels->height <= 0 ||
            ! PNGImageFormat::writePixelsToStream(pixels->data, static_cast<unsigned long>(pixels->width),
                                                  static_cast<unsigned long>(pixels->height), pixels->bytesPerPixel,
                                                  out, static_cast<unsigned long>(pixels->stride)))
            return nullptr;
        const std::string encoded = out.str();
        auto* copy = static_cast<unsigned char*>(std::malloc(encoded.size()));
        if (copy == nullptr)
            return nullptr;
        std::memcpy(copy, encoded.data(), encoded.size());
        if (size != nullptr)
            *size = static_cast<int>(encoded.size());
        return copy;
    }

    bool ImageUtils::writeTextureToPng(const File& file, Texture* texture, int x, int y)
    {
        if (texture == nullptr || ! texture->isValid())
        {
            logPrint(logError, "ImageUtils::writeTextureToPng: no texture for %s\n", file.getFullPath().c_str());
            return false;
        }
        const int bytesPerPixel = bytesPerPixelOfInternalFormat(texture->getFormat().internalFormat);
        if (bytesPerPixel == 0)
        {
            logPrint(logError, "ImageUtils::writeTextureToPng: Unsupported texture format! (%s)\n",
                     texture->getFormat().name.c_str());
            return false;
        }
        const int w = texture->getHardwareWidth();
        const int h = texture->getHardwareHeight();
        if (x < 0 || y < 0 || x >= w || y >= h)
        {
            logPrint(logError, "ImageUtils::writeTextureToPng: origin (%d, %d) outside the %dx%d texture.\n", x, y, w,
                     h);
            return false;
        }
        auto* locked = static_cast<const unsigned char*>(texture->lock(Texture::LOCK_READ));
        if (locked == nullptr)
            return false;
        const int pitch = texture->getLockPitch();
        std::vector<unsigned char> image(locked, locked + static_cast<size_t>(pitch) * h);
        texture->unlock();
        // The part of the image from (x, y) to the far corner.
        return writeToPng(file, w - x, h - y, bytesPerPixel,
                          image.data() + static_cast<size_t>(y) * pitch + x * bytesPerPixel, pitch);
    }

    bool ImageUtils::writeToTga(const File& file, int width, int height, int bytesPerPixel, const void* data)
    {
        if (data == nullptr || width <= 0 || height <= 0 || bytesPerPixel < 1 || bytesPerPixel > 4)
        {
            logPrint(logError, "ImageUtils::writeToTga: invalid image %dx%d (%d bytes per pixel) for %s\n", width,
                     height, bytesPerPixel, file.getFullPath().c_str());
            return false;
        }
        if (stbi_write_tga(file.getFullPath().c_str(), width, height, bytesPerPixel, data) == 0)
        {
            logPrint(logError, "ImageUtils::writeToTga: could not write %s\n", file.getFullPath().c_str());
            return false;
        }
        return true;
    }

    bool ImageUtils::writeTextureToTga(const File& file, Texture* texture)
    {
        if (texture == nullptr || ! texture->isValid())
        {
            logPrint(logError, "ImageUtils::writeTextureToTga: no texture for %s\n", file.getFullPath().c_str());
            return false;
        }
        int components = 0;
        switch (texture->getFormat().format)
        {
            case GL_RGB:
                components = 3;
                break;
            case GL_RGBA:
                components = 4;
                break;
            case GL_LUMINANCE:
                components = 1;
                break;
            default:
                logPrint(logError, "ImageUtils::writeTextureToTga: Unsupported texture format! (%s)\n",
                         texture->getFormat().name.c_str());
                return false;
        }
        // Only one byte per component can go to a TGA file.
        if (texture->getFormat().bytesPerPixel != components)
        {
            logPrint(logError, "ImageUtils::writeTextureToTga: Unsupported texture format! (%s)\n",
                     texture->getFormat().name.c_str());
            return false;
        }
        const int w = texture->getHardwareWidth();
        const int h = texture->getHardwareHeight();
        auto* locked = static_cast<const unsigned char*>(texture->lock(Texture::LOCK_READ));
        if (locked == nullptr)
            return false;
        const size_t rowBytes = static_cast<size_t>(w) * components;
        const size_t pitch = static_cast<size_t>(texture->getLockPitch());
        std::vector<unsigned char> packed(rowBytes * h);
        for (int row = 0; row < h; ++row)
            std::memcpy(packed.data() + row * rowBytes, locked + row * pitch, rowBytes);
        texture->unlock();
        return writeToTga(file, w, h, components, packed.data());
    }

    bool ImageUtils::writeToPngAsCFiles(const File& header, const File& source, bool inEngineNamespace,
                                        const std::string& ns, const std::string& name, int width, int height,
                                        int bytesPerPixel, const void* data, int stride)
    {
        std::ostringstream png;
        if (width <= 0 || height <= 0 || stride < 0 ||
            ! PNGImageFormat::writePixelsToStream(static_cast<const unsigned char*>(data),
                                                  static_cast<unsigned long>(width), static_cast<unsigned long>(height),
                                                  bytesPerPixel, png, static_cast<unsigned long>(stride)))
            return false;
        const std::string bytes = png.str();

        std::string headerText = "#pragma once\n";
        if (inEngineNamespace)
            headerText += "namespace vx\n{\n";
        headerText += "namespace " + ns + "\n{\n";
        headerText += "\textern const unsigned char* " + name + "_png;\n";
        headerText += "\tconst int " + name + "_size = " + std::to_string(bytes.size()) + ";\n";
        headerText += "}\n";
        if (inEngineNamespace)
            headerText += "}";

        std::string sourceText = "#include \"" + header.getFileName() + "\"\n";
        if (inEngineNamespace)
            sourceText += "namespace vx\n{\n";
        sourceText += "static const unsigned char data[] = {\n";
        for (size_t i = 0; i < bytes.size(); ++i)
        {
            if (i != 0)
                sourceText += ',';
            sourceText += std::to_string(static_cast<unsigned char>(bytes[i]));
        }
        sourceText += "\n};\n";
        sourceText += "const unsigned char* " + ns + "::" + name + "_png = (const unsigned char*) data;";
        if (inEngineNamespace)
            sourceText += "\n}";

        const bool headerWritten = writeTextFile(header, headerText);
        const bool sourceWritten = writeTextFile(source, sourceText);
        return headerWritten && sourceWritten;
    }
}
