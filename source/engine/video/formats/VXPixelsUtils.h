#pragma once

#include <string>

namespace vx
{
    class File;
    class Pixels;
    class Texture;

    // Moving pixels between textures, the framebuffer and Pixels, and
    // converting between pixel sizes. Every Pixels answered is new and owned by
    // the caller. Texture and framebuffer operations run on the render thread;
    // the copy operations on any thread.
    class PixelsUtils
    {
    public:
        enum PixelsOrder
        {
            keepOrder = 0,   // as stored
            swapRedBlue = 1, // blue, green, red, alpha
            alphaFirst = 2   // alpha, red, green, blue
        };

        // Reads the rectangle of the bound read framebuffer into buffer, bottom
        // row first, rows tightly packed (width x bytesPerPixel). A glType or
        // glFormat of 0 takes both from the pixel size (1 LUMINANCE/UBYTE,
        // 2 LUMINANCE/USHORT, 3 RGB/UBYTE, 4 RGBA/UBYTE, 8 RGBA/USHORT). The
        // client pixel-store state and the pack-buffer binding come back as
        // they were. False, with nothing read, for an unknown pixel size without
        // type and format, a null buffer or an empty rectangle.
        static bool readFromFrameBufferToBuffer(int x, int y, int width, int height, int bytesPerPixel,
                                                unsigned char* buffer, unsigned int glType, unsigned int glFormat);
        static Pixels* readPixelsFromFrameBuffer(int x1, int y1, int x2, int y2, int bytesPerPixel, unsigned int glType,
                                                 unsigned int glFormat);

        // Draws the texture over the viewport (0, 0, width, height) of the
        // bound framebuffer (width / height 0: the texture's) and reads it back
        // at the pixel size. flip false keeps the texture's first data row
        // first. Orders 1 and 2 go through the primary renderer's channel-order
        // program; without it nothing is drawn.
        static bool drawTextureAndGetFrameBufferPixels(Texture* texture, int bytesPerPixel, PixelsOrder order,
                                                       bool flip, int width, int height, unsigned char* buffer);
        static Pixels* drawTextureAndGetFrameBufferPixels(Texture* texture, int bytesPerPixel, PixelsOrder order,
                                                          bool flip, int width, int height);
        // As above at the texture's size; with useRenderTarget through a pooled
        // render target, else into the framebuffer bound now.
        static bool textureToPixelsBuffer(Texture* texture, int bytesPerPixel, PixelsOrder order, bool flip,
                                          bool useRenderTarget, unsigned char* buffer);
        static Pixels* textureToPixels(Texture* texture, int bytesPerPixel, PixelsOrder order, bool flip,
                                       bool useRenderTarget);
        // The texture's level 0 in its own format, at its logical size. The
        // pixel size must be the format's (3, 4 or 8); null otherwise.
        static Pixels* textureToPixelsUsingGetTexImage(Texture* texture, int bytesPerPixel);
        // DXT1 / DXT5 level 0 as compressed blocks (whole 4x4 blocks); null for
        // other formats.
        static Pixels* compressedTextureToPixels(Texture* texture);
        // Makes the texture hold the Pixels (recreated when the format differs).
        static bool updateTextureFromPixels(Texture& texture, Pixels& pixels);

        static Pixels* pixelsFromMemory(const unsigned char* bytes, int size);
        static Pixels* pixelsFromFile(const File& file);
        // The decoded buffer (malloc'ed; the caller frees it), or null.
        static unsigned char* rawpixelsFromFile(const File& file, int* width, int* height, int* channels);
        static bool writeToPngAsCFiles(const File& header, const File& source, Pixels* pixels, bool inEngineNamespace,
                                       const std::string& ns, const std::string& name);

        // Tightly packed conversions over the source's width x height pixels;
        // out must hold width x height destination pixels. False when the
        // source is null, empty or of another pixel size. The int arguments
        // are not used.
        static bool copyPixelsToBufferAndSwapRB(Pixels* pixels, unsigned char* out, int, int);
        static bool copyPixels24BitTo32BitBuffer(Pixels* pixels, unsigned char* out, int, int, bool swapRB);
        static bool copyPixels32BitTo24BitBuffer(Pixels* pixels, unsigned char* out, int, int, bool swapRB);
        // High byte of each little-endian 16-bit channel.
        static bool copyPixels64BitTo32BitBuffer(Pixels* pixels, unsigned char* out, int, int, bool swapRB);
        // Each float channel clamped to [0, 1] (NaN as 0), x 255 truncated.
        static bool copyPixels128FloatBitTo32BitBuffer(Pixels* pixels, unsigned char* out, int, int, bool swapRB);
    };
}
