#pragma once

#include "engine/gfx/VXGfxUtils.h"

namespace vx
{

    /** Draws from client-side arrays through the fixed-function pointers. Each
        setter enables its array and is recorded; reset() disables what was
        recorded. At most maxRecords setters between resets: further ones are
        refused (logged). Render thread only; process-wide state. */
    class GeometryDrawer
    {
    public:
        static constexpr int maxRecords = 14;

        /** Three floats per vertex. */
        static void setVertexPointer(const void* pointer, int stride);
        /** Two floats per vertex, on the next client texture unit. */
        static void setTexCoordPointer(const void* pointer, int stride);
        static void setColorPointer(const unsigned int* pointer, int stride);
        static void setNormalPointer(const void* pointer, int stride);

        static void drawArrays(gfx::PRIMITIVE primitive, int count, int first = 0);
        static void drawElements(gfx::PRIMITIVE primitive, const unsigned short* indices, int count);
        static void drawElements(gfx::PRIMITIVE primitive, const unsigned int* indices, int count);

        /** Disables every recorded array and forgets them. */
        static void reset();
    };

} // namespace vx
