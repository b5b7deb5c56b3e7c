#pragma once

#include "engine/gfx/VXGfxUtils.h"

namespace vx
{

    /** Draws from client-side arrays through the fixed-function pointers. Each
        setter enables its array and is recorded; reset() disables what was
        recorded and gives back the client texture unit that was active before
        the first texture coordinates. At most maxRecords setters between
        resets: further ones are refused (logged). The records belong to the GL
        context current at the call, so set-ups in different contexts (on one
        thread or several) never mix. Render thread, with the context current. */
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

        /** Disables every array recorded in the current context and forgets them. */
        static void reset();
    };

} // namespace vx
