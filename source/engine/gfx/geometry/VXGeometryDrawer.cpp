#include "engine/gfx/geometry/VXGeometryDrawer.h"

#include "core/VXLog.h"
#include "engine/gfx/VXScopedNoArrayBuffer.h"

#include <epoxy/gl.h>

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

        int texCount = 0;
        int genericCount = 0; // records made since the last reset
        int currentElementTypes[GeometryDrawer::maxRecords] = {};

        bool record(Record kind)
        {
            if (genericCount >= GeometryDrawer::maxRecords)
            {
                logPrint(logError, "GeometryDrawer: more than %d arrays set up without a reset",
                         GeometryDrawer::maxRecords);
                return false;
            }
            currentElementTypes[genericCount++] = kind;
            return true;
        }
    }

    void GeometryDrawer::setVertexPointer(const void* pointer, int stride)
    {
        if (! record(recordVertex))
            return;
        glVertexPointer(3, GL_FLOAT, stride, pointer);
        glEnableClientState(GL_VERTEX_ARRAY);
    }

    void GeometryDrawer::setTexCoordPointer(const void* pointer, int stride)
    {
        if (! record(recordTexCoord))
            return;
        glClientActiveTexture(GL_TEXTURE0 + GLenum(texCount));
        glTexCoordPointer(2, GL_FLOAT, stride, pointer);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        ++texCount;
    }

    void GeometryDrawer::setColorPointer(const unsigned int* pointer, int stride)
    {
        if (! record(recordColor))
            return;
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(4, GL_UNSIGNED_BYTE, stride, pointer);
    }

    void GeometryDrawer::setNormalPointer(const void* pointer, int stride)
    {
        if (! record(recordNormal))
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
        GLenum unit = 0;
        for (int i = 0; i < genericCount; ++i)
            switch (currentElementTypes[i])
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
            glClientActiveTexture(GL_TEXTURE0);
        texCount = 0;
        genericCount = 0;
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
