#pragma once

#include "engine/gfx/VXVertexFormat.h"

#include <cstdint>

namespace vx
{

    /** Fills a caller-owned block of vertices laid out by a format. position()
        starts each vertex; the other calls write into the current vertex and do
        nothing when the format lacks their element. The block must hold every
        vertex started. */
    class VertexWriter
    {
    public:
        static constexpr unsigned int slotsPerKind = 5;
        static constexpr unsigned int emptySlot = 0xFFFFFFFFu;

        VertexWriter() = default;
        VertexWriter(const VertexFormat& format, void* data);
        void init(const VertexFormat& format, void* data);

        /** Starts the next vertex and writes its position element (POS2 takes
            x, y; POS4 gets w = 1); a format without one gets no position. */
        void position(float x, float y, float z);
        void uv(float u, float v, unsigned int set = 0);
        void uvw(float u, float v, float w, unsigned int set = 0);
        /** One packed 32-bit colour. */
        void color(uint32_t rgba);
        void normal(float x, float y, float z);

        unsigned int getNumVertices() const { return numVertices; }

    private:
        unsigned char* currentVertex() const;
        void writeFloats(unsigned int kind, unsigned int set, const float* values, unsigned int count);

        unsigned int slots[VertexFormat::numElementKinds][slotsPerKind] = {};
        VertexFormat format;
        unsigned char* data = nullptr;
        unsigned int stride = 0;
        unsigned int numVertices = 0;
        unsigned int positionElement = emptySlot;
    };

} // namespace vx
