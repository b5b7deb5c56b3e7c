#include "engine/gfx/VXVertexWriter.h"

#include <cstring>

namespace vx
{

    VertexWriter::VertexWriter(const VertexFormat& vertexFormat, void* destination)
    {
        init(vertexFormat, destination);
    }

    void VertexWriter::init(const VertexFormat& vertexFormat, void* destination)
    {
        format = vertexFormat;
        data = static_cast<unsigned char*>(destination);
        stride = format.getStride();
        numVertices = 0;
        positionElement = emptySlot;

        for (auto& kindSlots : slots)
            for (unsigned int& slot : kindSlots)
                slot = emptySlot;

        const auto& elements = format.getElements();
        for (unsigned int i = 0; i < elements.size(); ++i)
        {
            const unsigned int kind = elements[i].kind;
            for (unsigned int& slot : slots[kind])
            {
                if (slot == emptySlot)
                {
                    slot = i;
                    break;
                }
            }

            const bool isPosition =
                kind == VertexFormat::POS2 || kind == VertexFormat::POS3 || kind == VertexFormat::POS4;
            if (isPosition && positionElement == emptySlot)
                positionElement = i;
        }
    }

    unsigned char* VertexWriter::currentVertex() const
    {
        return data + size_t(stride) * (numVertices - 1);
    }

    void VertexWriter::position(float x, float y, float z)
    {
        ++numVertices;
        if (data == nullptr || positionElement == emptySlot)
            return;

        // Exactly as many components as the format's position element holds, so
        // a POS2 layout is never written past its stride.
        const VertexFormat::Element& e = format.getElements()[positionElement];
        const float values[4] = {x, y, z, 1.0f};
        std::memcpy(currentVertex() + e.offset, values, e.size);
    }

    void VertexWriter::writeFloats(unsigned int kind, unsigned int set, const float* values, unsigned int count)
    {
        if (data == nullptr || numVertices == 0 || set >= slotsPerKind || slots[kind][set] == emptySlot)
            return;

        const VertexFormat::Element& e = format.getElements()[slots[kind][set]];
        std::memcpy(currentVertex() + e.offset, values, count * sizeof(float));
    }

    void VertexWriter::uv(float u, float v, unsigned int set)
    {
        const float values[2] = {u, v};
        writeFloats(VertexFormat::UV, set, values, 2);
    }

    void VertexWriter::uvw(float u, float v, float w, unsigned int set)
    {
        const float values[3] = {u, v, w};
        writeFloats(VertexFormat::UVW, set, values, 3);
    }

    void VertexWriter::normal(float x, float y, float z)
    {
        const float values[3] = {x, y, z};
        writeFloats(VertexFormat::NORMAL, 0, values, 3);
    }

    void VertexWriter::color(uint32_t rgba)
    {
        if (data == nullptr || numVertices == 0 || slots[VertexFormat::COLOR][0] == emptySlot)
            return;

        const VertexFormat::Element& e = format.getElements()[slots[VertexFormat::COLOR][0]];
        std::memcpy(currentVertex() + e.offset, &rgba, sizeof(rgba));
    }

} // namespace vx
