#include "engine/gfx/VXVertexBuffer.h"

#include <epoxy/gl.h>

namespace vx
{

    VertexBuffer::VertexBuffer() : HardwareBuffer(GL_ARRAY_BUFFER, GL_ARRAY_BUFFER_BINDING)
    {
    }

    bool VertexBuffer::init(const VertexFormat& vertexFormat, unsigned int numVertices, HardwareBufferUsage usage)
    {
        format = vertexFormat;
        return HardwareBuffer::init(usage, size_t(numVertices) * format.getStride(), nullptr);
    }

    unsigned int VertexBuffer::getMaxNumVertices() const
    {
        const unsigned int stride = format.getStride();
        return stride == 0 ? 0 : unsigned(getSize() / stride);
    }

} // namespace vx
