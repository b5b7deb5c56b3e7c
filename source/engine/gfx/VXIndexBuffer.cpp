#include "engine/gfx/VXIndexBuffer.h"

#include <epoxy/gl.h>

namespace vx
{

    IndexBuffer::IndexBuffer() : HardwareBuffer(GL_ELEMENT_ARRAY_BUFFER, GL_ELEMENT_ARRAY_BUFFER_BINDING)
    {
    }

    bool IndexBuffer::init(IndexType type, unsigned int numIndices, HardwareBufferUsage usage)
    {
        indexType = type;
        return HardwareBuffer::init(usage, size_t(type) * numIndices, nullptr);
    }

    unsigned int IndexBuffer::getGLIndexFormat() const
    {
        return indexType == INDEX_16BIT ? GL_UNSIGNED_SHORT : GL_UNSIGNED_INT;
    }

} // namespace vx
