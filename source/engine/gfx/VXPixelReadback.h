#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "engine/gfx/VXGfxObject.h"

namespace vx
{
    // Set while some read-back is mapped for processing; only one may be at a
    // time in the whole process. Render thread only, not a lock.
    extern bool pixelProcessingBusy;

    // Copies the bound read framebuffer into memory without stalling: the read
    // goes into a pixel-pack buffer and is mapped later. Where no buffer object
    // can be made it reads synchronously into a CPU buffer. Rows are tightly
    // packed (width x bytes per pixel), bottom row first.
    //
    // Every call issues GL commands: render thread only. The pack-buffer
    // binding and client pixel-store state are restored after every call.
    class PixelReadback : public GfxObject
    {
    public:
        // format GL_RGBA, GL_BGRA, GL_RGB or GL_BGR; type GL_UNSIGNED_SHORT or a
        // byte-sized type. Starts the first read at once. Another format (no
        // bytes per pixel) or an empty size makes an object that reads nothing.
        PixelReadback(uint16_t width, uint16_t height, unsigned int format, unsigned int type);
        ~PixelReadback() override;

        // Reads the framebuffer again (same size and layout).
        void startPixelRead();
        // The pixels of the last read, valid until endPixelProcessing; null when
        // another read-back is being processed, nothing was read, or mapping
        // failed (each with an error line).
        const unsigned char* beginPixelProcessing();
        void endPixelProcessing();

        size_t getReadbackBufferSize() const;
        int getBytesPerPixel() const { return calcBpp(format, type); }
        uint16_t getWidth() const { return width; }
        uint16_t getHeight() const { return height; }
        bool usesPixelPackBuffer() const { return packBuffer != 0; }

        static int calcBpp(unsigned int format, unsigned int type);

    private:
        uint16_t width;
        uint16_t height;
        unsigned int format;
        unsigned int type;
        unsigned int packBuffer = 0;
        std::unique_ptr<unsigned char[]> cpuBuffer;
        bool processing = false;
    };
}
