#pragma once

#include "engine/video/formats/VXImageUtils.h"

namespace vx
{

    class Color;
    class File;
    class Renderer;
    class Texture;

    // A small editable 8-bit image in CPU memory, mirrored by a texture made
    // on first use for drawing. Formats: 0 RGB (3 bytes), 1 four bytes with
    // alpha, 2 grey (1 byte), 3 "as the file has it" (a load request; kept
    // when a file's channel count is none of 1, 3 and 4).
    //
    // Channel order of four-byte images differs by operation, as callers
    // rely on: setPixel, getIntensity and grabFrameBuffer see the bytes as
    // blue, green, red, alpha; getPixel, multiplyImageWithColour, the texture
    // and loaded files as red, green, blue, alpha.
    //
    // Not thread-safe. The texture calls (getTexture, updateTexture, draw,
    // grabFrameBuffer) run on the render thread with a context current.
    class Image
    {
    public:
        Image();
        Image(int width, int height, int format);
        Image(const File& file, int format);
        // Copies the pixels, not the texture.
        Image(const Image& other);
        Image& operator=(const Image&) = delete;
        ~Image();

        // Hands the texture to the GPU-object manager and frees the pixels.
        void release();
        // Zero-filled pixels of the format. A negative size or a format
        // outside 0..3 is refused (logged): the image is left empty.
        bool create(int width, int height, int format);
        // The same, the pixels left uninitialised; the pointer is not used.
        bool create(int width, int height, int format, void* unused);
        // Decodes a file or memory; format 3 keeps the file's channels.
        // False, leaving the image empty, when decoding fails.
        bool load(const File& file, int format);
        bool fromMemory(const unsigned char* bytes, int size, int format);
        // With pixels of its own the image keeps its format and takes the
        // other's size; the other's bytes come over only when both have the
        // same layout. Without pixels it becomes a copy. An other without
        // pixels leaves this one empty.
        void copy(const Image& other);
        // width x height x bytes per pixel bytes; null is ignored.
        void copy(const void* bytes);
        void clear();
        bool save(const File& file) const;

        // Writes one pixel; coordinates outside the image are ignored.
        void setPixel(int x, int y, const Color& color);
        // (0, 0, 0, 0) outside the image and for format 3; bytes x 0.003922.
        Color getPixel(int x, int y) const;
        float getIntensity(int x, int y) const;

        // Null without pixels, or when the texture cannot be made.
        Texture* getTexture();
        bool updateTexture();
        // A width or height of 0 stands for the image's own.
        void draw(Renderer& renderer, float x, float y, float width, float height, bool flip, const Color& color);
        // Reads (0, 0, width, height) of the bound read framebuffer.
        bool grabFrameBuffer(int width, int height, int format);

        // Multiplies every channel by the colour's (red, green, blue, alpha
        // in byte order) through a shared rounding table. Leaves the image's
        // dirty flag alone: the caller uploads.
        static void multiplyImageWithColour(Image& image, const Color& color);

        int getWidth() const { return width; }
        int getHeight() const { return height; }
        int getBytesPerPixel() const { return bytesPerPixel; }
        int getFormat() const { return format; }
        bool isDirty() const { return dirty; }
        bool hasData() const { return data != nullptr; }
        const unsigned char* getData() const { return data.get(); }
        unsigned char* getData() { return data.get(); }
        size_t getDataSize() const;

        // Bytes per pixel of a format: 3, 4, 1, and 0 for format 3.
        static int bytesPerPixelOfFormat(int format);

    private:
        bool recreate(int newWidth, int newHeight, int newFormat, bool zeroFill);
        bool allocate(int newWidth, int newHeight, int newBytesPerPixel, bool zeroFill);
        bool takeDecoded(unsigned char* pixels, unsigned long decodedWidth, unsigned long decodedHeight, int channels,
                         int requestedFormat);
        void deleteTexture();

        int width = 0;
        int height = 0;
        bool dirty = false;
        int bytesPerPixel = 0;
        int format = 3;
        MallocBuffer data;
        Texture* texture = nullptr;
    };

} // namespace vx
