#pragma once

#include "engine/gfx/VXHardwareBuffer.h"
#include "engine/gfx/VXVertexFormat.h"

namespace vx
{

    /** A GL_ARRAY_BUFFER holding vertices of one format. */
    class VertexBuffer : public HardwareBuffer
    {
    public:
        VertexBuffer();

        /** Room for numVertices vertices of the format, contents undefined. */
        bool init(const VertexFormat& format, unsigned int numVertices, HardwareBufferUsage usage);
        using HardwareBuffer::init;

        const VertexFormat& getVertexFormat() const { return format; }
        /** The buffer size over the stride; 0 for an empty format. */
        unsigned int getMaxNumVertices() const;

    private:
        VertexFormat format;
    };

} // namespace vx
