#include "engine/gfx/geometry/VXGeometry.h"

#include "core/VXLog.h"
#include "engine/gfx/VXVertexBuffer.h"
#include "engine/gfx/VXVertexFormat.h"
#include "engine/gfx/VXVertexWriter.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace vx
{

    namespace
    {
        // The bind state shared by all geometries.
        VertexBuffer* curVertexBuffers[Geometry::maxVertexBuffers] = {};
        int curStartVertex = 0;
        unsigned int texCount = 0;
        unsigned int genericCount = 0;

        const void* offsetPointer(size_t offset)
        {
            return reinterpret_cast<const void*>(offset);
        }

        template <typename T>
        T* deleteOnFailure(T* buffer, bool ok)
        {
            if (ok)
                return buffer;
            delete buffer;
            return nullptr;
        }
    }

    Geometry::Geometry() = default;

    Geometry::~Geometry()
    {
        release(true);
    }

    VertexBuffer* Geometry::getVertexBuffer(int i) const
    {
        return i >= 0 && i < int(vertexBuffers.size()) ? vertexBuffers[size_t(i)] : nullptr;
    }

    VertexBuffer* Geometry::addVertexBuffer(const VertexFormat& format, int numVertices, HardwareBufferUsage usage)
    {
        if (vertexBuffers.size() >= size_t(maxVertexBuffers))
        {
            logPrint(logError, "Geometry::addVertexBuffer: a geometry holds at most %d vertex buffers",
                     maxVertexBuffers);
            return nullptr;
        }
        if (numVertices < 0)
            return nullptr;
        auto* buffer = new VertexBuffer();
        if (deleteOnFailure(buffer, buffer->init(format, unsigned(numVertices), usage)) == nullptr)
            return nullptr;
        vertexBuffers.push_back(buffer);
        return buffer;
    }

    VertexBuffer* Geometry::addVertexBufferWithData(const VertexFormat& format, const void* data, int numVertices,
                                                    HardwareBufferUsage usage)
    {
        VertexBuffer* buffer = addVertexBuffer(format, numVertices, usage);
        if (buffer != nullptr)
            buffer->update(size_t(numVertices) * format.getStride(), data);
        return buffer;
    }

    IndexBuffer* Geometry::createIndexBuffer(int numIndices, IndexType type, HardwareBufferUsage usage)
    {
        delete indexBuffer;
        indexBuffer = nullptr;
        if (numIndices < 0)
            return nullptr;
        auto* buffer = new IndexBuffer();
        indexBuffer = deleteOnFailure(buffer, buffer->init(type, unsigned(numIndices), usage));
        return indexBuffer;
    }

    IndexBuffer* Geometry::createIndexBufferWithData(const void* data, int numIndices, IndexType type,
                                                     HardwareBufferUsage usage)
    {
        IndexBuffer* buffer = createIndexBuffer(numIndices, type, usage);
        if (buffer != nullptr)
            buffer->update(size_t(type) * size_t(numIndices), data);
        return buffer;
    }

    bool Geometry::updateVertexBuffer(int buffer, const void* data, int numVertices, int firstVertex)
    {
        VertexBuffer* vb = getVertexBuffer(buffer);
        if (vb == nullptr || numVertices < 0 || firstVertex < 0)
            return false;
        const size_t stride = vb->getVertexFormat().getStride();
        return vb->update(stride * size_t(firstVertex), stride * size_t(numVertices), data);
    }

    bool Geometry::updateIndexBuffer(const void* data, int numIndices, int firstIndex)
    {
        if (indexBuffer == nullptr || numIndices < 0 || firstIndex < 0)
            return false;
        const size_t size = size_t(indexBuffer->getIndexType());
        return indexBuffer->update(size * size_t(firstIndex), size * size_t(numIndices), data);
    }

    bool Geometry::isInBindCache() const
    {
        for (VertexBuffer* cached : curVertexBuffers)
            if (cached != nullptr &&
                std::find(vertexBuffers.begin(), vertexBuffers.end(), cached) != vertexBuffers.end())
                return true;
        return false;
    }

    void Geometry::release(bool deleteBuffers)
    {
        if (deleteBuffers)
        {
            // A bound geometry going away must not leave the cache pointing at
            // its buffers: undo the binding first.
            if (isInBindCache())
                resetAll();
            for (VertexBuffer* buffer : vertexBuffers)
                delete buffer;
            delete indexBuffer;
        }
        vertexBuffers.clear();
        indexBuffer = nullptr;
    }

    void Geometry::release()
    {
        release(true);
        GfxObject::release();
    }

    //==============================================================================
    bool Geometry::bind(int startVertex)
    {
        texCount = 0;
        genericCount = 0;

        bool changed = false;
        for (size_t i = 0; i < vertexBuffers.size(); ++i)
            changed = changed || curVertexBuffers[i] != vertexBuffers[i];
        if (! changed && indexBuffer == nullptr && startVertex == curStartVertex)
            return true;

        curStartVertex = startVertex;
        for (size_t i = 0; i < vertexBuffers.size(); ++i)
        {
            VertexBuffer* buffer = vertexBuffers[i];
            curVertexBuffers[i] = buffer;
            glBindBuffer(GL_ARRAY_BUFFER, buffer->getGLName());
            const VertexFormat& format = buffer->getVertexFormat();
            const GLsizei stride = GLsizei(format.getStride());
            for (const VertexFormat::Element& e : format.getElements())
            {
                const void* offset = offsetPointer(e.offset + size_t(stride) * size_t(startVertex));
                switch (e.kind)
                {
                    case VertexFormat::POS3:
                    case VertexFormat::POS4:
                        glVertexPointer(e.kind == VertexFormat::POS3 ? 3 : 4, GL_FLOAT, stride, offset);
                        glEnableClientState(GL_VERTEX_ARRAY);
                        break;
                    case VertexFormat::UV:
                    case VertexFormat::UVW:
                        glClientActiveTexture(GL_TEXTURE0 + texCount);
                        glTexCoordPointer(e.kind == VertexFormat::UV ? 2 : 3, GL_FLOAT, stride, offset);
                        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
                        ++texCount;
                        break;
                    case VertexFormat::COLOR:
                        glEnableClientState(GL_COLOR_ARRAY);
                        glColorPointer(4, GL_UNSIGNED_BYTE, stride, offset);
                        break;
                    case VertexFormat::NORMAL:
                        glNormalPointer(GL_FLOAT, stride, offset);
                        glEnableClientState(GL_NORMAL_ARRAY);
                        break;
                    default:
                        glVertexAttribPointer(genericCount, GLint(e.numComponents), e.glType, GL_FALSE, stride, offset);
                        glEnableVertexAttribArray(genericCount);
                        break;
                }
                ++genericCount;
            }
        }
        if (texCount > 0)
            glClientActiveTexture(GL_TEXTURE0);
        if (indexBuffer != nullptr)
            glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer->getGLName());
        return true;
    }

    bool Geometry::unbind()
    {
        return resetAll();
    }

    bool Geometry::resetAll()
    {
        texCount = 0;
        genericCount = 0;
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        for (int slot = 0; slot < maxVertexBuffers && curVertexBuffers[slot] != nullptr; ++slot)
        {
            for (const VertexFormat::Element& e : curVertexBuffers[slot]->getVertexFormat().getElements())
            {
                switch (e.kind)
                {
                    case VertexFormat::POS3:
                    case VertexFormat::POS4:
                        glDisableClientState(GL_VERTEX_ARRAY);
                        break;
                    case VertexFormat::UV:
                    case VertexFormat::UVW:
                        glClientActiveTexture(GL_TEXTURE0 + texCount);
                        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
                        ++texCount;
                        break;
                    case VertexFormat::COLOR:
                        glDisableClientState(GL_COLOR_ARRAY);
                        break;
                    case VertexFormat::NORMAL:
                        glDisableClientState(GL_NORMAL_ARRAY);
                        break;
                    default:
                        glDisableVertexAttribArray(genericCount);
                        break;
                }
                ++genericCount;
            }
            curVertexBuffers[slot] = nullptr;
        }
        if (texCount > 0)
            glClientActiveTexture(GL_TEXTURE0);
        texCount = 0;
        genericCount = 0;
        curStartVertex = 0;
        return true;
    }

    bool Geometry::draw(gfx::PRIMITIVE primitive, int count, int first)
    {
        glDrawArrays(gfx::getGLPRIMITIVETYPE(primitive), first, count);
        return true;
    }

    bool Geometry::drawIndexed(gfx::PRIMITIVE primitive, int count, int, int firstIndex)
    {
        if (indexBuffer == nullptr)
        {
            debugPrint("No index buffer set! \n");
            return false;
        }
        const size_t indexSize = size_t(indexBuffer->getIndexType());
        if (count == 0)
            count = int(indexBuffer->getSize() / indexSize);
        glDrawElements(gfx::getGLPRIMITIVETYPE(primitive), count, indexBuffer->getGLIndexFormat(),
                       offsetPointer(indexSize * size_t(firstIndex)));
        return true;
    }

    bool Geometry::sphere(const VertexFormat& format, float radius, unsigned int color, int slices, int stacks)
    {
        release();
        if (slices < 1 || stacks < 2)
            return false;
        const int64_t numVertices = int64_t(slices + 1) * stacks;
        const int64_t numIndices = int64_t(slices) * (stacks - 1) * 6;
        if (numVertices > 65536)
        {
            logPrint(logError, "Geometry::sphere: %lld vertices exceed 16-bit indices", (long long)numVertices);
            return false;
        }

        std::vector<unsigned char> vertexData(size_t(numVertices) * format.getStride());
        std::vector<uint16_t> indexData;
        indexData.reserve(size_t(numIndices));
        VertexWriter writer(format, vertexData.data());

        const float pi = 3.141592f;
        const float twoPi = 6.283184f;
        for (int i = 0; i < stacks; ++i)
        {
            const float phi = float(i) * (pi / float(stacks - 1)) - 1.570796f;
            const float s = std::sin(phi);
            const float c = std::cos(phi);
            const float theta = std::acos(s);
            const float k = std::sin(theta);
            for (int j = 0; j <= slices; ++j)
            {
                const float a = float(j) * (twoPi / float(slices));
                const float x = std::cos(a) * c;
                const float y = std::sin(a) * c;
                float u = std::acos(std::clamp(y / k, -1.0f, 1.0f)) / twoPi;
                if (x <= 0.0f)
                    u = 1.0f - u;
                const float v = theta / pi;
                writer.position(x * radius, y * radius, s * radius);
                writer.normal(x, y, s);
                writer.color(color);
                writer.uv(u, v, 0);
                if (i < stacks - 1 && j < slices)
                {
                    const int a0 = i * (slices + 1) + j;
                    const int b0 = (i + 1) * (slices + 1) + j;
                    for (int index : {a0, b0 + 1, b0, a0, a0 + 1, b0 + 1})
                        indexData.push_back(uint16_t(index));
                }
            }
        }

        if (addVertexBufferWithData(format, vertexData.data(), int(numVertices), STREAM_DRAW) == nullptr ||
            createIndexBufferWithData(indexData.data(), int(numIndices), INDEX_16BIT, STREAM_DRAW) == nullptr)
        {
            release();
            return false;
        }
        return true;
    }

} // namespace vx
