#include "engine/gfx/VXGfxUtils.h"

#include "core/VXColor.h"
#include "core/VXLog.h"
#include "engine/gfx/VXFonts.h"
#include "engine/gfx/VXRenderContext.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXScopedNoArrayBuffer.h"
#include "engine/gfx/VXTexture.h"

#include <epoxy/gl.h>

#include <cmath>
#include <cstdlib>
#include <iterator>

namespace vx
{

    std::vector<RectT<int>> viewports;

    namespace gfx
    {

        Font* font = &Fonts::uni9;

        namespace
        {
            bool glInitialised = false;
            bool glInitResult = false;

            const GLenum blendFactors[4][2] = {{GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA},
                                               {GL_ONE, GL_ONE_MINUS_SRC_ALPHA},
                                               {GL_SRC_ALPHA, GL_ONE},
                                               {GL_ZERO, GL_SRC_COLOR}};
            const GLenum fillModes[] = {GL_FILL, GL_LINE, GL_POINT};
            const GLenum compareFuncs[] = {GL_GREATER, GL_LESS,     GL_GEQUAL, GL_LEQUAL,
                                           GL_EQUAL,   GL_NOTEQUAL, GL_ALWAYS, GL_NEVER};
            const GLenum stencilOps[] = {GL_INCR_WRAP, GL_DECR_WRAP, GL_KEEP, GL_INCR,
                                         GL_DECR,      GL_REPLACE,   GL_ZERO, GL_INVERT};
            const GLenum primitives[] = {GL_TRIANGLES, GL_TRIANGLE_STRIP, GL_TRIANGLE_FAN, GL_QUADS,
                                         GL_LINES,     GL_LINE_STRIP,     GL_LINE_LOOP,    GL_POINTS};

            template <typename Table>
            bool isInTable(int value, const Table& table)
            {
                return value >= 0 && size_t(value) < std::size(table);
            }

            bool checkStencilOps(std::initializer_list<STENCILOP> ops)
            {
                for (STENCILOP op : ops)
                {
                    if (! isInTable(op, stencilOps))
                    {
                        logPrint(logError, "gfx::setStencilOp: unknown stencil operation %d.", int(op));
                        return false;
                    }
                }
                return true;
            }

            void drawVertexArray(GLenum mode, const float* xy, int count)
            {
                const ScopedNoArrayBuffer noArrayBuffer;
                glEnableClientState(GL_VERTEX_ARRAY);
                glVertexPointer(2, GL_FLOAT, 0, xy);
                glDrawArrays(mode, 0, count);
                glDisableClientState(GL_VERTEX_ARRAY);
            }

            void applyViewport(const RectT<int>& r)
            {
                glViewport(r.x1, r.y1, std::abs(r.x2 - r.x1), std::abs(r.y2 - r.y1));
            }

            void seedViewportStack()
            {
                if (! viewports.empty())
                    return;
                GLint current[4] = {};
                glGetIntegerv(GL_VIEWPORT, current);
                viewports.emplace_back(current[0], current[1], current[0] + current[2], current[1] + current[3]);
            }

            int segmentCount(int segments, double circumference, float detail)
            {
                int count = segments;
                if (count < 1)
                    count = int(std::floor(circumference * detail));
                return std::max(count, 2);
            }

            std::vector<float> ellipsePoints(const TVec2<float>& centre, float rx, float ry, int count, bool closeFan)
            {
                std::vector<float> xy;
                xy.reserve(size_t(count + 2) * 2);
                if (closeFan)
                {
                    xy.push_back(centre.x);
                    xy.push_back(centre.y);
                }
                const int last = closeFan ? count : count - 1;
                for (int i = 0; i <= last; ++i)
                {
                    const double angle = 2.0 * M_PI * double(i) / double(count);
                    xy.push_back(centre.x + float(std::cos(angle)) * rx);
                    xy.push_back(centre.y + float(std::sin(angle)) * ry);
                }
                return xy;
            }
        }

        // ---- State and clearing

        bool initGL()
        {
            if (! glInitialised)
            {
                glInitResult = true;
                glInitialised = true;
            }
            return glInitResult;
        }

        void clear(float r, float g, float b, float a, bool depth, float depthValue)
        {
            glClearColor(r, g, b, a);
            if (depth)
            {
                glClearDepth(depthValue);
                glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            }
            else
            {
                glClear(GL_COLOR_BUFFER_BIT);
            }
        }

        void clear(const Color& c, bool depth, float depthValue)
        {
            clear(c.r, c.g, c.b, c.a, depth, depthValue);
        }

        void clearDepth(float depthValue)
        {
            glClearDepth(depthValue);
            glClear(GL_DEPTH_BUFFER_BIT);
        }

        void clearStencil(int stencilValue)
        {
            glClearStencil(stencilValue);
            glClear(GL_STENCIL_BUFFER_BIT);
        }

        void enableColorWrite(bool r, bool g, bool b, bool a)
        {
            glColorMask(r, g, b, a);
        }

        void enableBlend(bool shouldBlend)
        {
            if (shouldBlend)
                glEnable(GL_BLEND);
            else
                glDisable(GL_BLEND);
        }

        void setBlendMode(BLENDMODE mode)
        {
            if (mode == BLEND_OFF)
            {
                glDisable(GL_BLEND);
                return;
            }
            if (! isInTable(mode, blendFactors))
            {
                logPrint(logError, "gfx::setBlendMode: unknown blend mode %d.", int(mode));
                return;
            }
            glEnable(GL_BLEND);
            glBlendFunc(blendFactors[mode][0], blendFactors[mode][1]);
        }

        void setFillMode(FILLMODE mode)
        {
            if (! isInTable(mode, fillModes))
            {
                logPrint(logError, "gfx::setFillMode: unknown fill mode %d.", int(mode));
                return;
            }
            glPolygonMode(GL_FRONT_AND_BACK, fillModes[mode]);
        }

        void setCullMode(CULLMODE mode)
        {
            if (mode == CULL_NONE)
            {
                glDisable(GL_CULL_FACE);
                return;
            }
            glEnable(GL_CULL_FACE);
            glCullFace(GL_BACK);
            glFrontFace(mode == CULL_CCW ? GL_CCW : GL_CW);
        }

        void enableDepthWrite(bool shouldWrite)
        {
            glDepthMask(shouldWrite ? GL_TRUE : GL_FALSE);
        }

        void enableDepthRead(bool shouldTest)
        {
            if (shouldTest)
                glEnable(GL_DEPTH_TEST);
            else
                glDisable(GL_DEPTH_TEST);
        }

        void enableDepthBuffer(bool shouldUse)
        {
            enableDepthWrite(shouldUse);
            enableDepthRead(shouldUse);
        }

        void setDepthFunc(DEPTHFUNC func)
        {
            if (! isInTable(func, compareFuncs))
            {
                logPrint(logError, "gfx::setDepthFunc: unknown comparison %d.", int(func));
                return;
            }
            glDepthFunc(compareFuncs[func]);
        }

        void enableStencilWrite(bool shouldWrite)
        {
            glStencilMask(shouldWrite ? 0xFFFFFFFFu : 0u);
        }

        void enableStencilRead(bool shouldTest)
        {
            if (shouldTest)
                glEnable(GL_STENCIL_TEST);
            else
                glDisable(GL_STENCIL_TEST);
        }

        void enableStencilBuffer(bool shouldUse)
        {
            enableStencilWrite(shouldUse);
            enableStencilRead(shouldUse);
        }

        void setStencilFunc(STENCILFUNC func, int ref, unsigned int mask)
        {
            if (! isInTable(func, compareFuncs))
            {
                logPrint(logError, "gfx::setStencilFunc: unknown comparison %d.", int(func));
                return;
            }
            glStencilFunc(compareFuncs[func], ref, mask);
        }

        void setStencilOp(STENCILOP fail, STENCILOP depthFail, STENCILOP pass)
        {
            if (! checkStencilOps({fail, depthFail, pass}))
                return;
            glStencilOp(stencilOps[fail], stencilOps[depthFail], stencilOps[pass]);
        }

        void setStencilOp(STENCILOP frontFail, STENCILOP frontDepthFail, STENCILOP frontPass, STENCILOP backFail,
                          STENCILOP backDepthFail, STENCILOP backPass)
        {
            if (! checkStencilOps({frontFail, frontDepthFail, frontPass, backFail, backDepthFail, backPass}))
                return;
            glStencilOpSeparate(GL_FRONT, stencilOps[frontFail], stencilOps[frontDepthFail], stencilOps[frontPass]);
            glStencilOpSeparate(GL_BACK, stencilOps[backFail], stencilOps[backDepthFail], stencilOps[backPass]);
        }

        void setPointSize(float size)
        {
            glPointSize(size);
        }

        void lineWidth(float width)
        {
            glLineWidth(width);
        }

        void enablePointSprites(bool shouldUse)
        {
            if (shouldUse)
            {
                glTexEnvi(GL_POINT_SPRITE, GL_COORD_REPLACE, GL_TRUE);
                glEnable(GL_POINT_SPRITE);
            }
            else
            {
                glDisable(GL_POINT_SPRITE);
            }
        }

        void enableAntiAliasing(bool shouldSmooth)
        {
            const GLenum hint = shouldSmooth ? GL_NICEST : GL_FASTEST;
            glHint(GL_POINT_SMOOTH_HINT, hint);
            glHint(GL_LINE_SMOOTH_HINT, hint);
            glHint(GL_POLYGON_SMOOTH_HINT, hint);
            for (GLenum mode : {GL_POINT_SMOOTH, GL_LINE_SMOOTH, GL_POLYGON_SMOOTH})
            {
                if (shouldSmooth)
                    glEnable(mode);
                else
                    glDisable(mode);
            }
            if (shouldSmooth)
                glLineWidth(0.5f);
        }

        void enableScissor()
        {
            glEnable(GL_SCISSOR_TEST);
        }

        void disableScissor()
        {
            glDisable(GL_SCISSOR_TEST);
        }

        void setScissor(const RectT<int>& rect)
        {
            glEnable(GL_SCISSOR_TEST);
            glScissor(rect.x1, rect.y1, std::abs(rect.x2 - rect.x1), std::abs(rect.y2 - rect.y1));
        }

        void setScissor(int x, int y, int w, int h)
        {
            setScissor(RectT<int>(x, y, x + w, y + h));
        }

        unsigned int getGLPRIMITIVETYPE(PRIMITIVE primitive)
        {
            if (! isInTable(primitive, primitives))
            {
                logPrint(logError, "gfx::getGLPRIMITIVETYPE: unknown primitive %d.", int(primitive));
                return invalidPrimitive;
            }
            return primitives[primitive];
        }

        void setFont(Font* newFont)
        {
            font = newFont;
        }

        Font* getFont()
        {
            return font;
        }

        // ---- Viewports

        void setViewport(const RectT<int>& rect, bool)
        {
            seedViewportStack();
            viewports.back() = rect;
            applyViewport(rect);
        }

        void setViewport(int x, int y, int w, int h, bool unused)
        {
            setViewport(RectT<int>(x, y, x + w, y + h), unused);
        }

        void pushViewport(const RectT<int>& rect)
        {
            seedViewportStack();
            viewports.push_back(rect);
            applyViewport(rect);
        }

        void pushViewport(int x, int y, int w, int h)
        {
            pushViewport(RectT<int>(x, y, x + w, y + h));
        }

        void popViewport()
        {
            if (viewports.size() < 2)
                return;
            viewports.pop_back();
            applyViewport(viewports.back());
        }

        void resetViewport()
        {
        }

        RectT<int> toViewportRect(const RectT<int>& r, int height)
        {
            const int w = std::abs(r.x2 - r.x1);
            const int h = std::abs(r.y2 - r.y1);
            return RectT<int>(r.x1, height - r.y2, r.x1 + w, height - r.y2 + h);
        }

        // ---- Matrices

        void setIdentityTransform()
        {
            glMatrixMode(GL_PROJECTION);
            glLoadIdentity();
            glMatrixMode(GL_MODELVIEW);
            glLoadIdentity();
        }

        void setOrtho(float x, float y, float w, float h, float nearPlane, float farPlane)
        {
            glMatrixMode(GL_PROJECTION);
            glLoadIdentity();
            glOrtho(x, x + w, y + h, y, nearPlane, farPlane);
            glMatrixMode(GL_MODELVIEW);
            glLoadIdentity();
        }

        void setOrtho(float w, float h)
        {
            setOrtho(0.0f, 0.0f, w, h, -1.0f, 1.0f);
        }

        void setOrtho(const RectT<int>& rect)
        {
            setOrtho(float(rect.x1), float(rect.y1), float(std::abs(rect.x2 - rect.x1)),
                     float(std::abs(rect.y2 - rect.y1)), -1.0f, 1.0f);
        }

        void setPerspectiveProjection(float fovy, float aspect, float nearPlane, float farPlane)
        {
            const double top = double(nearPlane) * std::tan(double(fovy) * M_PI / 360.0);
            const double right = top * double(aspect);
            glMatrixMode(GL_PROJECTION);
            glLoadIdentity();
            glFrustum(-right, right, -top, top, nearPlane, farPlane);
            glMatrixMode(GL_MODELVIEW);
        }

        void setPerspectiveProjection(float fovy, float width, float height, float nearPlane, float farPlane)
        {
            setPerspectiveProjection(fovy, width / height, nearPlane, farPlane);
        }

        void set2DView(float w, float h, int rotation)
        {
            const float viewWidth = rotation == 0 ? w : h;
            const float viewHeight = rotation == 0 ? h : std::trunc(w);
            if (! (viewWidth > 0.0f) || ! (viewHeight > 0.0f))
            {
                logPrint(logError, "gfx::set2DView: cannot show a view of %g x %g.", double(viewWidth),
                         double(viewHeight));
                return;
            }

            const float distance = (viewHeight / 2.0f) / float(std::tan(M_PI / 6.0));
            setPerspectiveProjection(60.0f, viewWidth / viewHeight, distance / 10.0f, distance * 10.0f);

            glMatrixMode(GL_MODELVIEW);
            glLoadIdentity();
            glTranslatef(-viewWidth / 2.0f, -viewHeight / 2.0f, -distance);
            glRotatef(float(rotation) * 90.0f, 0.0f, 0.0f, 1.0f);
            glScalef(1.0f, -1.0f, 1.0f);
            glTranslatef(0.0f, -viewHeight, 0.0f);
        }

        void setProjectionMatrix(const float* matrix)
        {
            glMatrixMode(GL_PROJECTION);
            glLoadIdentity();
            glMultMatrixf(matrix);
        }

        void setModelViewMatrix(const float* matrix)
        {
            glMatrixMode(GL_MODELVIEW);
            glLoadIdentity();
            glMultMatrixf(matrix);
        }

        void applyMatrix(const TMatrix3x3<float>& matrix)
        {
            applyMatrix(Matrix4x4(matrix));
        }

        void applyMatrix(const Matrix4x4& matrix)
        {
            applyMatrix(matrix.m);
        }

        void applyMatrix(const float* matrix)
        {
            glMatrixMode(GL_MODELVIEW);
            glMultMatrixf(matrix);
        }

        Matrix4x4 getModelViewMatrix()
        {
            Matrix4x4 result;
            glGetFloatv(GL_MODELVIEW_MATRIX, result.m);
            return result;
        }

        Matrix4x4 getProjectionMatrix()
        {
            Matrix4x4 result;
            glGetFloatv(GL_PROJECTION_MATRIX, result.m);
            return result;
        }

        TMatrix3x3<float> getModelViewMatrix3x3()
        {
            const Matrix4x4 mv = getModelViewMatrix();
            TMatrix3x3<float> result;
            const float elements[9] = {mv.m[0], mv.m[1], 0.0f, mv.m[4], mv.m[5], 0.0f, mv.m[12], mv.m[13], 1.0f};
            std::copy(std::begin(elements), std::end(elements), result.m);
            return result;
        }

        void identity()
        {
            glLoadIdentity();
        }

        void translate(const TVec2<float>& offset)
        {
            glTranslatef(offset.x, offset.y, 0.0f);
        }

        void translate(const TVec3<float>& offset)
        {
            glTranslatef(offset.x, offset.y, offset.z);
        }

        void translate(float x, float y, float z)
        {
            glTranslatef(x, y, z);
        }

        void rotate(const TVec3<float>& degrees)
        {
            rotate(degrees.x, degrees.y, degrees.z);
        }

        void rotate(float x, float y, float z)
        {
            glRotatef(z, 0.0f, 0.0f, 1.0f);
            glRotatef(x, 1.0f, 0.0f, 0.0f);
            glRotatef(y, 0.0f, 1.0f, 0.0f);
        }

        void rotate(float degreesAboutZ)
        {
            glRotatef(degreesAboutZ, 0.0f, 0.0f, 1.0f);
        }

        void scale(const TVec3<float>& factors)
        {
            glScalef(factors.x, factors.y, factors.z);
        }

        void scale(const TVec2<float>& factors)
        {
            glScalef(factors.x, factors.y, 1.0f);
        }

        void scale(float x, float y, float z)
        {
            glScalef(x, y, z);
        }

        void scale(float factor)
        {
            glScalef(factor, factor, factor);
        }

        void pushMatrix()
        {
            glPushMatrix();
        }

        void popMatrix()
        {
            glPopMatrix();
        }

        void pushMatrix(const Matrix4x4& matrix)
        {
            glPushMatrix();
            applyMatrix(matrix);
        }

        // ---- Immediate mode

        void beginVertices(PRIMITIVE primitive)
        {
            const unsigned int mode = getGLPRIMITIVETYPE(primitive);
            if (mode != invalidPrimitive)
                glBegin(mode);
        }

        void endVertices()
        {
            glEnd();
        }

        void color(const Color& c)
        {
            glColor4f(c.r, c.g, c.b, c.a);
        }

        void color(const float* rgba)
        {
            glColor4fv(rgba);
        }

        void color(float grey, float alpha)
        {
            glColor4f(grey, grey, grey, alpha);
        }

        void color(float r, float g, float b, float a)
        {
            glColor4f(r, g, b, a);
        }

        void vertex(const TVec2<float>& v)
        {
            glVertex2f(v.x, v.y);
        }

        void vertex(const TVec3<float>& v)
        {
            glVertex3f(v.x, v.y, v.z);
        }

        void vertex(float x, float y, float z)
        {
            glVertex3f(x, y, z);
        }

        void vertex(const float* xyz)
        {
            glVertex3fv(xyz);
        }

        void vertex2(float x, float y)
        {
            glVertex2f(x, y);
        }

        void vertex2(const float* xy)
        {
            glVertex2fv(xy);
        }

        void normal(float x, float y, float z)
        {
            glNormal3f(x, y, z);
        }

        void normal(const TVec3<float>& n)
        {
            glNormal3f(n.x, n.y, n.z);
        }

        void normal(const float* xyz)
        {
            glNormal3fv(xyz);
        }

        void uv(const TVec2<float>& coords, int unit)
        {
            glMultiTexCoord2f(GLenum(GL_TEXTURE0 + unit), coords.x, coords.y);
        }

        void uv(float u, float v, int unit)
        {
            glMultiTexCoord2f(GLenum(GL_TEXTURE0 + unit), u, v);
        }

        void uv(const float* coords, int unit)
        {
            glMultiTexCoord2fv(GLenum(GL_TEXTURE0 + unit), coords);
        }

        // ---- Primitives

        void drawLine(const TVec2<float>& a, const TVec2<float>& b)
        {
            drawLine(a.x, a.y, b.x, b.y);
        }

        void drawLine(const TVec3<float>& a, const TVec3<float>& b)
        {
            glBegin(GL_LINES);
            glVertex3f(a.x, a.y, a.z);
            glVertex3f(b.x, b.y, b.z);
            glEnd();
        }

        void drawLine(const float* a, const float* b)
        {
            glBegin(GL_LINES);
            glVertex3fv(a);
            glVertex3fv(b);
            glEnd();
        }

        void drawLine(float x1, float y1, float x2, float y2)
        {
            glBegin(GL_LINES);
            glVertex2f(x1, y1);
            glVertex2f(x2, y2);
            glEnd();
        }

        void drawRect(float x, float y, float w, float h)
        {
            const float corners[8] = {x, y, x, y + h, x + w, y + h, x + w, y};
            drawVertexArray(GL_LINE_LOOP, corners, 4);
        }

        void fillRect(float x, float y, float w, float h)
        {
            const float corners[8] = {x, y, x, y + h, x + w, y + h, x + w, y};
            drawVertexArray(GL_TRIANGLE_FAN, corners, 4);
        }

        void drawQuad(float x, float y, float w, float h)
        {
            glBegin(GL_TRIANGLE_FAN);
            glVertex2f(x + w, y);
            glVertex2f(x + w, y + h);
            glVertex2f(x, y + h);
            glVertex2f(x, y);
            glEnd();
        }

        void drawUVQuad(float x, float y, float w, float h, float u, float v, bool flip)
        {
            const float corners[8] = {x, y, x, y + h, x + w, y + h, x + w, y};
            const float plain[8] = {0.0f, 0.0f, 0.0f, v, u, v, u, 0.0f};
            const float flipped[8] = {0.0f, v, 0.0f, 0.0f, u, 0.0f, u, v};

            const ScopedNoArrayBuffer noArrayBuffer;
            glEnableClientState(GL_VERTEX_ARRAY);
            glEnableClientState(GL_TEXTURE_COORD_ARRAY);
            glVertexPointer(2, GL_FLOAT, 0, corners);
            glTexCoordPointer(2, GL_FLOAT, 0, flip ? flipped : plain);
            glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
            glDisableClientState(GL_TEXTURE_COORD_ARRAY);
            glDisableClientState(GL_VERTEX_ARRAY);
        }

        void drawTriangle(const TVec2<float>& a, const TVec2<float>& b, const TVec2<float>& c)
        {
            glBegin(GL_LINE_LOOP);
            glVertex3f(a.x, a.y, 0.0f);
            glVertex3f(b.x, b.y, 0.0f);
            glVertex3f(c.x, c.y, 0.0f);
            glEnd();
        }

        void fillTriangle(const TVec2<float>& a, const TVec2<float>& b, const TVec2<float>& c)
        {
            glBegin(GL_TRIANGLES);
            glVertex3f(a.x, a.y, 0.0f);
            glVertex3f(b.x, b.y, 0.0f);
            glVertex3f(c.x, c.y, 0.0f);
            glEnd();
        }

        void drawCircle(const TVec2<float>& centre, float radius, int segments, float detail)
        {
            const int count = segmentCount(segments, 2.0 * double(3.141592f * radius), detail);
            const std::vector<float> xy = ellipsePoints(centre, radius, radius, count, false);
            drawVertexArray(GL_LINE_LOOP, xy.data(), count);
        }

        void fillCircle(const TVec2<float>& centre, float radius, int segments, float detail)
        {
            const int count = segmentCount(segments, 2.0 * double(3.141592f * radius), detail);
            const std::vector<float> xy = ellipsePoints(centre, radius, radius, count, true);
            drawVertexArray(GL_TRIANGLE_FAN, xy.data(), count + 2);
        }

        void drawEllipse(const TVec2<float>& centre, float rx, float ry, int segments, float detail)
        {
            const int count = segmentCount(segments, 2.0 * M_PI * double(std::max(rx, ry)), detail);
            const std::vector<float> xy = ellipsePoints(centre, rx, ry, count, false);
            drawVertexArray(GL_LINE_LOOP, xy.data(), count);
        }

        void fillEllipse(const TVec2<float>& centre, float rx, float ry, int segments, float detail)
        {
            const int count = segmentCount(segments, 2.0 * M_PI * double(std::max(rx, ry)), detail);
            const std::vector<float> xy = ellipsePoints(centre, rx, ry, count, true);
            drawVertexArray(GL_TRIANGLE_FAN, xy.data(), count + 2);
        }

        void drawAxis(const float* matrix, float length, bool)
        {
            const float origin[3] = {matrix[12], matrix[13], matrix[14]};
            const float colours[3][3] = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};

            glBegin(GL_LINES);
            for (int axis = 0; axis < 3; ++axis)
            {
                const float* column = matrix + axis * 4;
                glColor3fv(colours[axis]);
                glVertex3fv(origin);
                glVertex3f(origin[0] + column[0] * length, origin[1] + column[1] * length,
                           origin[2] + column[2] * length);
            }
            glEnd();
            glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        }

    } // namespace gfx

    // ---- Texture quads

    namespace
    {
        // Through the binding cache of the current context's renderer, so it
        // stays truthful; without one (no engine, or a context it has not
        // wrapped) directly.
        void bindOnUnitZero(const Texture& texture)
        {
            if (RenderContext* cache = RenderContext::getCurrent())
            {
                cache->bind2DTexture(0, texture.getGLName());
                return;
            }
            glActiveTexture(GL_TEXTURE0);
            glEnable(GL_TEXTURE_2D);
            glBindTexture(GL_TEXTURE_2D, texture.getGLName());
        }

        // One fan of four corners with texture coordinates on client unit 0.
        // Both arrays are disabled afterwards: they point into this call's stack.
        void drawTexturedFan(const float* corners, int cornerComponents, const float* coords)
        {
            const ScopedNoArrayBuffer noArrayBuffer;
            glClientActiveTexture(GL_TEXTURE0);
            glEnableClientState(GL_VERTEX_ARRAY);
            glEnableClientState(GL_TEXTURE_COORD_ARRAY);
            glVertexPointer(cornerComponents, GL_FLOAT, 0, corners);
            glTexCoordPointer(2, GL_FLOAT, 0, coords);
            glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
            glDisableClientState(GL_TEXTURE_COORD_ARRAY);
            glDisableClientState(GL_VERTEX_ARRAY);
        }
    }

    void drawTexture(const Texture& texture, float x, float y, float w, float h, bool flip)
    {
        const float u = texture.getMaxU();
        const float v = texture.getMaxV();
        const float corners[8] = {x, y, x, y + h, x + w, y + h, x + w, y};
        const float plain[8] = {0.0f, v, 0.0f, 0.0f, u, 0.0f, u, v};
        const float flipped[8] = {0.0f, 0.0f, 0.0f, v, u, v, u, 0.0f};
        bindOnUnitZero(texture);
        drawTexturedFan(corners, 2, flip ? flipped : plain);
    }

    void drawTexture(const Texture& texture, float x1, float y1, float x2, float y2, float s1, float t1, float s2,
                     float t2, bool flip)
    {
        const float u = texture.getMaxU();
        const float v = texture.getMaxV();
        const float a = flip ? t2 : 1.0f - t2;
        const float b = flip ? t1 : 1.0f - t1;
        const float corners[8] = {x1, y1, x1, y2, x2, y2, x2, y1};
        const float coords[8] = {s1 * u, b * v, s1 * u, a * v, s2 * u, a * v, s2 * u, b * v};
        bindOnUnitZero(texture);
        drawTexturedFan(corners, 2, coords);
    }

    void drawTexturePart(const Texture& texture, float x, float y, float w, float h, float s, float t, float sw,
                         float th, bool flip)
    {
        const float u = texture.getMaxU();
        const float v = texture.getMaxV();
        const float b = flip ? t : t + th;
        const float a = flip ? t + th : t;
        const float corners[8] = {x, y, x, y + h, x + w, y + h, x + w, y};
        const float coords[8] = {s * u, b * v, s * u, a * v, (s + sw) * u, a * v, (s + sw) * u, b * v};
        bindOnUnitZero(texture);
        drawTexturedFan(corners, 2, coords);
    }

    void drawTextureQuad(const Texture& texture, float x, float y, float w, float h, bool flip)
    {
        const float u = texture.getMaxU();
        const float v = texture.getMaxV();
        const float corners[8] = {x, y, x, y + h, x + w, y + h, x + w, y};
        const float plain[8] = {0.0f, v, 0.0f, 0.0f, u, 0.0f, u, v};
        const float flipped[8] = {0.0f, 0.0f, 0.0f, v, u, v, u, 0.0f};
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        drawTexturedFan(corners, 2, flip ? flipped : plain);
    }

    void drawTextureQuadZ(const Texture& texture, float x, float y, float z, float w, float h)
    {
        const float u = texture.getMaxU();
        const float v = texture.getMaxV();
        const float corners[12] = {x, y, z, x, y + h, z, x + w, y + h, z, x + w, y, z};
        const float coords[8] = {0.0f, 0.0f, 0.0f, v, u, v, u, 0.0f};
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        drawTexturedFan(corners, 3, coords);
    }

} // namespace vx
