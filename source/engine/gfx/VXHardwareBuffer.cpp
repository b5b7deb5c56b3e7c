#include "engine/gfx/VXHardwareBuffer.h"

#include "core/VXLog.h"
#include "engine/gfx/VXScopedBufferBinding.h"

#include <epoxy/gl.h>

#include <iterator>

namespace vx
{

    namespace
    {
        const GLenum glUsages[] = {GL_STATIC_DRAW, GL_DYNAMIC_DRAW, GL_STREAM_DRAW,
                                   GL_STATIC_READ, GL_DYNAMIC_READ, GL_STREAM_READ};
    }

    HardwareBuffer::HardwareBuffer(unsigned int bufferTarget, unsigned int bufferBindingQuery)
        : target(bufferTarget), bindingQuery(bufferBindingQuery)
    {
    }

    HardwareBuffer::~HardwareBuffer()
    {
        if (glName != 0)
            glDeleteBuffers(1, &glName);
    }

    bool HardwareBuffer::init(HardwareBufferUsage usage, size_t sizeInBytes, const void* data)
    {
        release();

        if (unsigned(usage) >= std::size(glUsages))
        {
            logPrint(logError, "HardwareBuffer::init: unknown buffer usage %d.", int(usage));
            return false;
        }

        glGenBuffers(1, &glName);
        size = sizeInBytes;

        const ScopedBufferBinding binding(target, bindingQuery, glName);
        glBufferData(target, GLsizeiptr(sizeInBytes), data, glUsages[usage]);
        return true;
    }

    void* HardwareBuffer::map(bool read, bool write)
    {
        if ((! read && ! write) || glName == 0)
            return nullptr;

        const GLenum access = read && write ? GL_READ_WRITE : (read ? GL_READ_ONLY : GL_WRITE_ONLY);

        const ScopedBufferBinding binding(target, bindingQuery, glName);
        void* pointer = glMapBuffer(target, access);
        mapped = pointer != nullptr;
        return pointer;
    }

    void HardwareBuffer::unmap()
    {
        if (glName == 0 || ! mapped)
            return;

        const ScopedBufferBinding binding(target, bindingQuery, glName);
        glUnmapBuffer(target);
        mapped = false;
    }

    bool HardwareBuffer::update(size_t sizeInBytes, const void* data)
    {
        return update(0, sizeInBytes, data);
    }

    bool HardwareBuffer::update(size_t offset, size_t sizeInBytes, const void* data)
    {
        if (glName == 0)
            return false;
        if (data == nullptr)
        {
            logPrint(logError, "HardwareBuffer::update: no data for %zu bytes at offset %zu.", sizeInBytes, offset);
            return false;
        }

        // Compare without forming offset + size, which could wrap.
        if (sizeInBytes > size || offset > size - sizeInBytes)
        {
            logPrint(logError, "HardwareBuffer::update: %zu bytes at offset %zu exceed the buffer's %zu bytes.",
                     sizeInBytes, offset, size);
            return false;
        }

        const ScopedBufferBinding binding(target, bindingQuery, glName);
        glBufferSubData(target, GLintptr(offset), GLsizeiptr(sizeInBytes), data);
        return true;
    }

    void HardwareBuffer::release()
    {
        if (glName != 0)
        {
            glDeleteBuffers(1, &glName);
            glName = 0;
        }
        mapped = false;
        GfxObject::release();
    }

} // namespace vx

unsigned int vxCreateBufferObject(const void* data, int size, unsigned int target, unsigned int usage)
{
    if (size < 0)
    {
        vx::logPrint(vx::logError, "vxCreateBufferObject: negative size %d.", size);
        return 0;
    }

    GLuint name = 0;
    glGenBuffers(1, &name);
    glBindBuffer(target, name);
    glBufferData(target, size, data, usage);

    GLint allocated = 0;
    glGetBufferParameteriv(target, GL_BUFFER_SIZE, &allocated);
    if (allocated != size)
    {
        glDeleteBuffers(1, &name);
        name = 0;
        vx::debugPrint("VBO creation error: data size mismatch\n");
    }

    glBindBuffer(target, 0);
    return name;
}
