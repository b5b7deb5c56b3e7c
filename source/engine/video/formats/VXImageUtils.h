#pragma once

#include <cstdlib>
#include <memory>
#include <string>

namespace vx
{
    class File;
    class Pixels;
    class Texture;

    // Owns a buffer from malloc, such as every decoded image below.
    struct FreeDeleter
    {
        void operator()(unsigned char* p) const { std::free(p); }
    };
    using MallocBuffer = std::unique_ptr<unsigned char, FreeDeleter>;

    // Still images: decoding from memory and files, textures from decoded
    // bytes, and PNG / TGA / embedded-PNG writing.
    //
    // Every decoded buffer answered here comes from malloc and belongs to the
    // caller, who releases it with free(), whichever decoder made it. Texture
    // operations run on the render thread; the rest on any thread.
    class ImageUtils
    {
    public:
        // Any format stb_image knows. width, height and the file's own channel
        // count are written; the pixels have wantedChannels channels (the
        // file's when 0), 8 bits each, first row = top. A JPEG comes out
        // turned upright as its EXIF orientation says (width and height are
        // the upright picture's). Null on failure.
        static unsigned char* imageFromMemory(const unsigned char* bytes, int size, unsigned long* width,
                                              unsigned long* height, int* channels, int wantedChannels);
        // PNG only (signature checked): RGBA, channels receives the bytes per
        // pixel (4, or 8 for 16-bit files). Null on failure.
        static unsigned char* pngImageFromMemory(const unsigned char* bytes, int size, unsigned long* width,
                                                 unsigned long* height, int* channels);
        // Reads the whole file and decodes by its extension (in any case):
        // "png" as PNG (RGBA; with a wantedChannels other than 0 that differs
        // from the decoded layout the file goes through stb_image instead, so
        // callers get the layout they asked for), "tif" and "tiff" as TIFF (its
        // own RGBA layout of 4, 8 or 16 bytes per pixel, converted to
        // wantedChannels 8-bit channels when that differs), "qmi" is refused,
        // anything else through stb_image. Null on failure, and for TIFF files
        // in a program that does not link the TIFF layer.
        static unsigned char* imageFromFile(const File& file, unsigned long* width, unsigned long* height,
                                            int* channels, int wantedChannels);
        // Decodes a file as imageFromFile does. The TIFF layer installs its
        // decoder here from a registration file; null removes it.
        using FileDecoder = unsigned char* (*)(const File& file, unsigned long* width, unsigned long* height,
                                               int* channels, int wantedChannels);
        static void setTIFFDecoder(FileDecoder decoder);
        static FileDecoder getTIFFDecoder();

        // A new caller-owned texture of the layout for the channel count (1 I8,
        // 2 I16I, 3 RGB8, 4 RGBA8, 8 RGBA16I, 16 RGBA32F); null for others or
        // when creation fails.
        static Texture* textureFromData(const unsigned char* bytes, int width, int height, int channels);
        static Texture* textureFromMemory(const unsigned char* bytes, int size, int wantedChannels);
        // The int argument is not used.
        static Texture* textureFromFile(const File& file, int unused = 0);

        // Reverses the row order in place.
        static void flip(unsigned char* data, int width, int height, int bytesPerPixel);

        // Encodes to a PNG file (truncating it). Rows are read stride bytes
        // apart (0: tightly packed), first row first. False when the file cannot
        // be written or the encoder refuses the image.
        static bool writeToPng(const File& file, int width, int height, int bytesPerPixel, const void* data,
                               int stride);
        static bool writePixelsToPng(const File& file, Pixels& pixels);
        // Encodes into memory: a malloc'ed PNG (caller frees) with its byte
        // count in size, or null.
        static unsigned char* writePixelsToPng(const Pixels* pixels, int* size);
        // Writes the texture's hardware-size image from (x, y) to its far
        // corner (the part inside the image). Render thread.
        static bool writeTextureToPng(const File& file, Texture* texture, int x, int y);

        static bool writeToTga(const File& file, int width, int height, int bytesPerPixel, const void* data);
        static bool writeTextureToTga(const File& file, Texture* texture);

        // Writes a header and a source file embedding the image as PNG bytes,
        // read as <ns>::<name>_png with <name>_size bytes. False, with no file
        // touched, when encoding fails.
        static bool writeToPngAsCFiles(const File& header, const File& source, bool inEngineNamespace,
                                       const std::string& ns, const std::string& name, int width, int height,
                                       int bytesPerPixel, const void* data, int stride);
    };
}
