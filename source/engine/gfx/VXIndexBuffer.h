#pragma once

#include "engine/gfx/VXHardwareBuffer.h"

namespace vx
{

    /** Bytes per index: 2 is GL_UNSIGNED_SHORT, anything else GL_UNSIGNED_INT. */
    enum IndexType : int
    {
        INDEX_16BIT = 2,
        INDEX_32BIT = 4
    };

    /** A GL_ELEMENT_ARRAY_BUFFER of 16- or 32-bit indices. */
    class IndexBuffer : public HardwareBuffer
    {
    public:
        IndexBuffer();

        bool init(IndexType type, unsigned int numIndices, HardwareBufferUsage usage);
        using HardwareBuffer::init;

        IndexType getIndexType() const { return indexType; }
        unsigned int getGLIndexFormat() const;

    private:
        IndexType indexType = INDEX_16BIT;
    };

} // namespace vx
