#pragma once

#include "engine/gfx/VXGfxObject.h"

#include <cstddef>

namespace vx
{

    /** GL usage by index: static/dynamic/stream draw, static/dynamic/stream read. */
    enum HardwareBufferUsage : int
    {
        STATIC_DRAW = 0,
        DYNAMIC_DRAW = 1,
        STREAM_DRAW = 2,
        STATIC_READ = 3,
        DYNAMIC_READ = 4,
        STREAM_READ = 5
    };

    /** One GL buffer object. Every call saves the target's current binding and
        restores it afterwards, so bindings set up for drawing survive filling
        other buffers. Render thread only; the destructor deletes the buffer. */
    class HardwareBuffer : public GfxObject
    {
    public:
        HardwareBuffer(unsigned int target, unsigned int bindingQuery);
        ~HardwareBuffer() override;

        /** Replaces any previous buffer with one of sizeInBytes, filled from data
            when not null. False (logged) for a usage outside the table. */
        bool init(HardwareBufferUsage usage, size_t sizeInBytes, const void* data = nullptr);

        /** Null when neither flag is set, no buffer exists or GL refuses. */
        void* map(bool read, bool write);
        /** Ends a mapping; nothing when not mapped. */
        void unmap();

        bool update(size_t sizeInBytes, const void* data);
        /** False, changing nothing, without a buffer, for null data, or for a
            range reaching past the end of the buffer. */
        bool update(size_t offset, size_t sizeInBytes, const void* data);

        void release() override;

        unsigned int getTarget() const { return target; }
        unsigned int getGLName() const { return glName; }
        size_t getSize() const { return size; }
        bool isValid() const { return glName != 0; }
        bool isMapped() const { return mapped; }

    private:
        unsigned int target;
        unsigned int bindingQuery;
        unsigned int glName = 0;
        size_t size = 0;
        bool mapped = false;
    };

} // namespace vx

/** Makes a bare buffer object of size bytes from data and leaves 0 bound to
    the target. 0 when GL did not allocate the size asked for. */
unsigned int vxCreateBufferObject(const void* data, int size, unsigned int target, unsigned int usage);
