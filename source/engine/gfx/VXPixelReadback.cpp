#include "engine/gfx/VXPixelReadback.h"

#include <epoxy/gl.h>

#include "core/VXLog.h"

namespace vx
{
    bool pixelProcessingBusy = false;

    namespace
    {
        // Binds a pack buffer (0: client memory) for a scope and puts the
        // previous binding back, so a host's pack buffer survives our reads and
        // our buffer never leaks into the host's glReadPixels.
        class ScopedPackBufferBinding
        {
        public:
            explicit ScopedPackBufferBinding(GLuint buffer)
            {
                glGetIntegerv(GL_PIXEL_PACK_BUFFER_BINDING, &previous);
                if (static_cast<GLuint>(previous) != buffer)
                    glBindBuffer(GL_PIXEL_PACK_BUFFER, buffer);
                else
                    previous = -1;
            }
            ~ScopedPackBufferBinding()
            {
                if (previous >= 0)
                    glBindBuffer(GL_PIXEL_PACK_BUFFER, static_cast<GLuint>(previous));
            }
            ScopedPackBufferBinding(const ScopedPackBufferBinding&) = delete;
            ScopedPackBufferBinding& operator=(const ScopedPackBufferBinding&) = delete;

        private:
            GLint previous = -1;
        };
    }

    int PixelReadback::calcBpp(unsigned int format, unsigned int type)
    {
        const int componentSize = type == GL_UNSIGNED_SHORT ? 2 : 1;
        switch (format)
        {
            case GL_RGBA:
            case GL_BGRA: return 4 * componentSize;
            case GL_RGB:
            case GL_BGR: return 3 * componentSize;
            default: return 0;
        }
    }

    PixelReadback::PixelReadback(uint16_t widthToRead, uint16_t heightToRead, unsigned int glFormat, unsigned int glType)
        : width(widthToRead), height(heightToRead), format(glFormat), type(glType)
    {
        const size_t size = getReadbackBufferSize();
        if (size == 0)
        {
            logPrint(logError, "PixelReadback: nothing to read for %ux%u pixels in format 0x%x, type 0x%x.\n",
                     static_cast<unsigned>(width), static_cast<unsigned>(height), format, type);
            return;
        }

        glGenBuffers(1, &packBuffer);
        if (packBuffer != 0)
        {
            ScopedPackBufferBinding binding(packBuffer);
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
        if (getReadbackBufferSize() == 0 || (packBuffer == 0 && !cpuBuffer))
            return;

        glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
        glPixelStorei(GL_PACK_ALIGNMENT, bytesPerPixel % 4 == 0 ? 4 : 1);
        glPixelStorei(GL_PACK_ROW_LENGTH, width);
        glPixelStorei(GL_PACK_SKIP_ROWS, 0);
        glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
        {
            ScopedPackBufferBinding binding(packBuffer);
            // Into the buffer object this returns at once; the copy overlaps
            // other work until beginPixelProcessing maps it.
            glReadPixels(0, 0, width, height, format, type, packBuffer != 0 ? nullptr : cpuBuffer.get());
        }
        glPopClientAttrib();
    }

    const unsigned char* PixelReadback::beginPixelProcessing()
    {
        if (pixelProcessingBusy)
        {
            logPrint(logError, "%s%s", "beginPixelProcessing", ": Cannot have multiple readbacks processing at the same time.");
            return nullptr;
        }
        if (getReadbackBufferSize() == 0)
        {
            logPrint(logError, "PixelReadback::beginPixelProcessing: nothing was read.\n");
            return nullptr;
        }
        if (packBuffer == 0)
        {
            pixelProcessingBusy = processing = true;
            return cpuBuffer.get();
        }

        ScopedPackBufferBinding binding(packBuffer);
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
        if (!processing)
            return;
        if (packBuffer != 0)
        {
            ScopedPackBufferBinding binding(packBuffer);
            glUnmapBuffer(GL_PIXEL_PACK_BUFFER);
        }
        processing = false;
        pixelProcessingBusy = false;
    }
}
