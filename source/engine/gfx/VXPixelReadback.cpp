#include "engine/gfx/VXPixelReadback.h"

#include <epoxy/gl.h>

#include "core/VXLog.h"
#include "engine/gfx/VXScopedBufferBinding.h"
#include "engine/gfx/VXScopedPackState.h"
#include "engine/gfx/VXTextureFormat.h"

namespace vx
{
    bool pixelProcessingBusy = false;

    int PixelReadback::calcBpp(unsigned int format, unsigned int type)
    {
        const int componentSize = type == GL_UNSIGNED_SHORT ? 2 : 1;
        switch (format)
        {
            case GL_RGBA:
            case GL_BGRA:
                return 4 * componentSize;
            case GL_RGB:
            case GL_BGR:
                return 3 * componentSize;
            default:
                return 0;
        }
    }

    PixelReadback::PixelReadback(uint16_t widthToRead, uint16_t heightToRead, unsigned int glFormat,
                                 unsigned int glType)
        : width(widthToRead), height(heightToRead), format(glFormat), type(glType)
    {
        const size_t size = getReadbackBufferSize();
        if (size == 0)
        {
            logPrint(logError, "PixelReadback: nothing to read for %ux%u pixels in format 0x%x, type 0x%x.\n",
                     static_cast<unsigned>(width), static_cast<unsigned>(height), format, type);
            return;
        }
        // The size above follows the engine's own rule (one byte per component
        // but for unsigned shorts); a type GL writes wider would overrun it.
        if (TextureFormat::packedPixelSize(format, type) > calcBpp(format, type))
        {
            logPrint(logError,
                     "PixelReadback: type 0x%x writes more than %d bytes per pixel in format 0x%x; not read.\n", type,
                     calcBpp(format, type), format);
            return;
        }

        glGenBuffers(1, &packBuffer);
        if (packBuffer != 0)
        {
            const ScopedBufferBinding binding(GL_PIXEL_PACK_BUFFER, GL_PIXEL_PACK_BUFFER_BINDING, packBuffer);
            glBufferData(GL_PIXEL_PACK_BUFFER, static_cast<GLsizeiptr>(size), nullptr, GL_STREAM_READ);
        }
        else
            cpuBuffer.reset(new unsigned char[size]());

        startPixelRead();
    }

    PixelReadback::~PixelReadback()
    {
        if (processing)
            endPixelProcessing();
        if (packBuffer != 0)
            glDeleteBuffers(1, &packBuffer);
    }

    size_t PixelReadback::getReadbackBufferSize() const
    {
        return static_cast<size_t>(width) * height * static_cast<size_t>(calcBpp(format, type));
    }

    void PixelReadback::startPixelRead()
    {
        const int bytesPerPixel = calcBpp(format, type);
        if (getReadbackBufferSize() == 0 || (packBuffer == 0 && ! cpuBuffer))
            return;

        const ScopedPackState pack(bytesPerPixel % 4 == 0 ? 4 : 1, width, packBuffer);
        // Into the buffer object this returns at once; the copy overlaps
        // other work until beginPixelProcessing maps it.
        glReadPixels(0, 0, width, height, format, type, packBuffer != 0 ? nullptr : cpuBuffer.get());
    }

    const unsigned char* PixelReadback::beginPixelProcessing()
    {
        if (pixelProcessingBusy)
        {
            logPrint(logError, "%s%s", "beginPixelProcessing",
                     ": Cannot have multiple readbacks processing at the same time.");
            return nullptr;
        }
        if (getReadbackBufferSize() == 0)
        {
            logPrint(logError, "PixelReadback::beginPixelProcessing: nothing was read.\n");
            return nullptr;
        }
        if (packBuffer == 0 && ! cpuBuffer)
        {
            logPrint(logError, "PixelReadback::beginPixelProcessing: nothing was read.\n");
            return nullptr;
        }
        if (packBuffer == 0)
        {
            pixelProcessingBusy = processing = true;
            return cpuBuffer.get();
        }

        const ScopedBufferBinding binding(GL_PIXEL_PACK_BUFFER, GL_PIXEL_PACK_BUFFER_BINDING, packBuffer);
        auto* mapped = static_cast<const unsigned char*>(glMapBuffer(GL_PIXEL_PACK_BUFFER, GL_READ_ONLY));
        if (mapped == nullptr)
        {
            logPrint(logError, "PixelReadback::beginPixelProcessing: could not map the pixel-pack buffer.\n");
            return nullptr;
        }
        pixelProcessingBusy = processing = true;
        return mapped;
    }

    void PixelReadback::endPixelProcessing()
    {
        // Only the object that set the flag clears it: ending a read-back that
        // is not being processed must not release another one's claim.
        if (! processing)
            return;
        if (packBuffer != 0)
        {
            const ScopedBufferBinding binding(GL_PIXEL_PACK_BUFFER, GL_PIXEL_PACK_BUFFER_BINDING, packBuffer);
            glUnmapBuffer(GL_PIXEL_PACK_BUFFER);
        }
        processing = false;
        pixelProcessingBusy = false;
    }
}
