#pragma once

#include "engine/gfx/VXGfxObject.h"
#include "engine/gfx/VXGfxUtils.h"
#include "engine/gfx/VXHardwareBuffer.h"
#include "engine/gfx/VXIndexBuffer.h"

#include <vector>

namespace vx
{

    class VertexBuffer;
    class VertexFormat;

    /** Vertex buffers and an optional index buffer, bound for drawing through
        the fixed-function client arrays (positions, texture coordinates,
        colours, normals) or generic attributes (every other element kind; an
        element's attribute index is its position among all elements of all
        the geometry's buffers). All geometries share one bind cache, which
        lets binding the same buffers twice make no GL calls. The geometry owns
        its buffers. Render thread only. */
    class Geometry : public GfxObject
    {
    public:
        /** The bind cache's size: a geometry holds at most this many vertex buffers. */
        static constexpr int maxVertexBuffers = 8;

        Geometry();
        ~Geometry() override;

        /** A new buffer for numVertices vertices; null (logged) when it cannot
            be made or the geometry already has maxVertexBuffers. */
        VertexBuffer* addVertexBuffer(const VertexFormat& format, int numVertices, HardwareBufferUsage usage);
        VertexBuffer* addVertexBufferWithData(const VertexFormat& format, const void* data, int numVertices,
                                              HardwareBufferUsage usage);
        /** Replaces (and deletes) any previous index buffer; null when it
            cannot be made, leaving the geometry without one. */
        IndexBuffer* createIndexBuffer(int numIndices, IndexType type, HardwareBufferUsage usage);
        IndexBuffer* createIndexBufferWithData(const void* data, int numIndices, IndexType type,
                                               HardwareBufferUsage usage);
        /** numVertices vertices from firstVertex on; false for a buffer out of range. */
        bool updateVertexBuffer(int buffer, const void* data, int numVertices, int firstVertex);
        bool updateIndexBuffer(const void* data, int numIndices, int firstIndex);

        /** Empties the geometry, deleting the buffers when asked. */
        void release(bool deleteBuffers);
        /** Deletes the buffers. */
        void release() override;

        /** Binds the buffers with vertex startVertex first. True. */
        bool bind(int startVertex = 0);
        /** resetAll(); true. */
        bool unbind();
        /** Undoes what the last binds enabled and empties the cache; true. */
        static bool resetAll();

        /** glDrawArrays; true. */
        bool draw(gfx::PRIMITIVE primitive, int count, int first = 0);
        /** glDrawElements from the index buffer, count 0 meaning all indices;
            false without an index buffer. The third argument is not used. */
        bool drawIndexed(gfx::PRIMITIVE primitive, int count = 0, int unused = 0, int firstIndex = 0);

        /** A UV sphere of radius about the origin, poles on z: (slices + 1) x
            stacks vertices with the format's position, normal, colour and first
            texture coordinates, 16-bit indices. False for fewer than 1 slice or
            2 stacks, more vertices than 16-bit indices reach, or failed buffers. */
        bool sphere(const VertexFormat& format, float radius, unsigned int color, int slices, int stacks);

        int getNumVertexBuffers() const { return int(vertexBuffers.size()); }
        VertexBuffer* getVertexBuffer(int i) const;
        IndexBuffer* getIndexBuffer() const { return indexBuffer; }

    private:
        /** True when one of this geometry's buffers is in the bind cache. */
        bool isInBindCache() const;

        std::vector<VertexBuffer*> vertexBuffers;
        IndexBuffer* indexBuffer = nullptr;
    };

} // namespace vx
