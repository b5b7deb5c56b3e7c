#include "engine/gfx/geometry/VXGeometryDrawer.h"

#include "core/VXLog.h"
#include "engine/gfx/VXContext.h"
#include "engine/gfx/VXScopedNoArrayBuffer.h"

#include <epoxy/gl.h>

#include <memory>
#include <mutex>
#include <vector>

namespace vx
{

    namespace
    {
        enum Record : int
        {
            recordVertex = 1,
            recordTexCoord = 3,
            recordColor = 5,
            recordNormal = 7
        };

        // What the drawer enabled in one GL context since its last reset
        // there. Only the thread that has the context current touches it.
        struct Records
        {
            void* context = nullptr;
            int texCount = 0;
            int genericCount = 0;
            int currentElementTypes[GeometryDrawer::maxRecords] = {};
            GLint callersClientTexture = GL_TEXTURE0; // before the first texture coordinates
        };

        // One entry per context with a set-up not yet reset: contexts draw on
        // different threads, and one thread may switch between contexts.
        struct RecordTable
        {
            std::mutex lock;
            std::vector<std::unique_ptr<Records>> entries;
        };

        RecordTable& table()
        {
            static RecordTable instance;
            return instance;
        }

        Records* findRecords(void* context, bool create)
        {
            RecordTable& t = table();
            const std::lock_guard<std::mutex> hold(t.lock);
            for (const auto& entry : t.entries)
                if (entry->context == context)
                    return entry.get();
            if (! create)
                return nullptr;
            t.entries.push_back(std::make_unique<Records>());
            t.entries.back()->context = context;
            return t.entries.back().get();
        }

        void forgetRecords(const Records* records)
        {
            RecordTable& t = table();
            const std::lock_guard<std::mutex> hold(t.lock);
            std::erase_if(t.entries, [records](const auto& entry) { return entry.get() == records; });
        }

        // The current context's records with kind appended; null (logged)
        // when they are full.
        Records* record(Record kind)
        {
            Records& r = *findRecords(Context::getCurrentNativeContext(), true);
            if (r.genericCount >= GeometryDrawer::maxRecords)
            {
                logPrint(logError, "GeometryDrawer: more than %d arrays set up without a reset",
                         GeometryDrawer::maxRecords);
                return nullptr;
            }
            r.currentElementTypes[r.genericCount++] = kind;
            return &r;
        }
    }

    void GeometryDrawer::setVertexPointer(const void* pointer, int stride)
    {
        if (record(recordVertex) == nullptr)
            return;
        glVertexPointer(3, GL_FLOAT, stride, pointer);
        glEnableClientState(GL_VERTEX_ARRAY);
    }

    void GeometryDrawer::setTexCoordPointer(const void* pointer, int stride)
    {
        Records* r = record(recordTexCoord);
        if (r == nullptr)
            return;
        if (r->texCount == 0)
            glGetIntegerv(GL_CLIENT_ACTIVE_TEXTURE, &r->callersClientTexture);
        glClientActiveTexture(GL_TEXTURE0 + GLenum(r->texCount));
        glTexCoordPointer(2, GL_FLOAT, stride, pointer);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        ++r->texCount;
    }

    void GeometryDrawer::setColorPointer(const unsigned int* pointer, int stride)
    {
        if (record(recordColor) == nullptr)
            return;
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(4, GL_UNSIGNED_BYTE, stride, pointer);
    }

    void GeometryDrawer::setNormalPointer(const void* pointer, int stride)
    {
        if (record(recordNormal) == nullptr)
            return;
        glNormalPointer(GL_FLOAT, stride, pointer);
        glEnableClientState(GL_NORMAL_ARRAY);
    }

    void GeometryDrawer::drawArrays(gfx::PRIMITIVE primitive, int count, int first)
    {
        glDrawArrays(gfx::getGLPRIMITIVETYPE(primitive), first, count);
    }

    void GeometryDrawer::drawElements(gfx::PRIMITIVE primitive, const unsigned short* indices, int count)
    {
        glDrawElements(gfx::getGLPRIMITIVETYPE(primitive), count, GL_UNSIGNED_SHORT, indices);
    }

    void GeometryDrawer::drawElements(gfx::PRIMITIVE primitive, const unsigned int* indices, int count)
    {
        glDrawElements(gfx::getGLPRIMITIVETYPE(primitive), count, GL_UNSIGNED_INT, indices);
    }

    void GeometryDrawer::reset()
    {
        Records* r = findRecords(Context::getCurrentNativeContext(), false);
        if (r == nullptr)
            return;
        GLenum unit = 0;
        for (int i = 0; i < r->genericCount; ++i)
            switch (r->currentElementTypes[i])
            {
                case recordVertex:
                    glDisableClientState(GL_VERTEX_ARRAY);
                    break;
                case recordTexCoord:
                    glClientActiveTexture(GL_TEXTURE0 + unit++);
                    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
                    break;
                case recordColor:
                    glDisableClientState(GL_COLOR_ARRAY);
                    break;
                case recordNormal:
                    glDisableClientState(GL_NORMAL_ARRAY);
                    break;
                default:
                    break;
            }
        if (unit > 0)
            glClientActiveTexture(GLenum(r->callersClientTexture));
        forgetRecords(r);
    }

    namespace gfx
    {
        void drawWireBox(const float* min, const float* max)
        {
            const float corners[8][3] = {{min[0], max[1], max[2]}, {min[0], min[1], max[2]}, {max[0], min[1], max[2]},
                                         {max[0], max[1], max[2]}, {min[0], max[1], min[2]}, {min[0], min[1], min[2]},
                                         {max[0], min[1], min[2]}, {max[0], max[1], min[2]}};
            static const unsigned short edges[24] = {0, 1, 1, 2, 2, 3, 3, 0, 4, 5, 5, 6,
                                                     6, 7, 7, 4, 0, 4, 1, 5, 2, 6, 3, 7};
            // Client arrays read memory only while no array buffer is bound.
            const ScopedNoArrayBuffer noArrayBuffer;
            GeometryDrawer::setVertexPointer(corners, 0);
            GeometryDrawer::drawElements(PRIM_LINES, edges, 24);
            GeometryDrawer::reset();
        }
    }

} // namespace vx
