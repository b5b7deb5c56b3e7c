#pragma once

#include "core/VXMatrix3x3.h"
#include "core/VXMatrix4x4.h"
#include "core/VXRect.h"
#include "core/VXVec2.h"
#include "core/VXVec3.h"

#include <vector>

// Free functions over the OpenGL 2.1 fixed-function pipeline. They act on the
// context current on the calling thread (the render thread) and keep no state
// of their own besides the viewport stack, the current font and the start-up
// flag. None of them locks.

namespace vx
{

    class Color;
    class Font;
    class Texture;

    /** The viewport stack, bottom first; empty until the first setViewport or
        pushViewport, which seeds it with GL's current viewport. Process-wide. */
    extern std::vector<RectT<int>> viewports;

    namespace gfx
    {

        /** glBlendFunc (source, destination) pairs; BLEND_OFF disables blending.
            No other value is valid. */
        enum BLENDMODE : int
        {
            BLEND_ALPHA = 0,         // SRC_ALPHA, ONE_MINUS_SRC_ALPHA
            BLEND_PREMULTIPLIED = 1, // ONE, ONE_MINUS_SRC_ALPHA
            BLEND_ADDITIVE = 2,      // SRC_ALPHA, ONE
            BLEND_MULTIPLY = 3,      // ZERO, SRC_COLOR
            BLEND_OFF = 5
        };

        enum FILLMODE : int
        {
            FILL_SOLID = 0,
            FILL_WIREFRAME = 1,
            FILL_POINTS = 2
        };

        /** Culling always removes back faces; the mode picks the front winding.
            Any value other than 0 and 1 means clockwise fronts. */
        enum CULLMODE : int
        {
            CULL_NONE = 0,
            CULL_CCW = 1,
            CULL_CW = 2
        };

        /** One table serves depth and stencil comparisons. */
        enum DEPTHFUNC : int
        {
            CMP_GREATER = 0,
            CMP_LESS = 1,
            CMP_GEQUAL = 2,
            CMP_LEQUAL = 3,
            CMP_EQUAL = 4,
            CMP_NOTEQUAL = 5,
            CMP_ALWAYS = 6,
            CMP_NEVER = 7
        };
        using STENCILFUNC = DEPTHFUNC;

        enum STENCILOP : int
        {
            STENCIL_INCR_WRAP = 0,
            STENCIL_DECR_WRAP = 1,
            STENCIL_KEEP = 2,
            STENCIL_INCR = 3,
            STENCIL_DECR = 4,
            STENCIL_REPLACE = 5,
            STENCIL_ZERO = 6,
            STENCIL_INVERT = 7
        };

        enum PRIMITIVE : int
        {
            PRIM_TRIANGLES = 0,
            PRIM_TRIANGLE_STRIP = 1,
            PRIM_TRIANGLE_FAN = 2,
            PRIM_QUADS = 3,
            PRIM_LINES = 4,
            PRIM_LINE_STRIP = 5,
            PRIM_LINE_LOOP = 6,
            PRIM_POINTS = 7
        };

        /** Answered by getGLPRIMITIVETYPE for a value outside the table. */
        constexpr unsigned int invalidPrimitive = 0xFFFFFFFFu;

        /** The current text font; initially the built-in uni9. */
        extern Font* font;

        // ---- State and clearing. Values outside an enumeration's table are
        // refused with an error line and change nothing.

        /** Answers true; the first call records the answer, later calls repeat it. */
        bool initGL();

        void clear(float r, float g, float b, float a, bool depth = false, float depthValue = 1.0f);
        void clear(const Color& color, bool depth = false, float depthValue = 1.0f);
        void clearDepth(float depthValue);
        void clearStencil(int stencilValue);

        void enableColorWrite(bool r, bool g, bool b, bool a);
        void enableBlend(bool shouldBlend);
        void setBlendMode(BLENDMODE mode);
        void setFillMode(FILLMODE mode);
        void setCullMode(CULLMODE mode);
        void enableDepthWrite(bool shouldWrite);
        void enableDepthRead(bool shouldTest);
        void enableDepthBuffer(bool shouldUse);
        void setDepthFunc(DEPTHFUNC func);
        void enableStencilWrite(bool shouldWrite);
        void enableStencilRead(bool shouldTest);
        void enableStencilBuffer(bool shouldUse);
        void setStencilFunc(STENCILFUNC func, int ref, unsigned int mask);
        void setStencilOp(STENCILOP fail, STENCILOP depthFail, STENCILOP pass);
        /** Front faces from the first three, back faces from the last three. */
        void setStencilOp(STENCILOP frontFail, STENCILOP frontDepthFail, STENCILOP frontPass, STENCILOP backFail,
                          STENCILOP backDepthFail, STENCILOP backPass);
        void setPointSize(float size);
        void lineWidth(float width);
        void enablePointSprites(bool shouldUse);
        /** On: nicest smoothing hints, point/line/polygon smoothing, line width 0.5.
            Off: fastest hints and smoothing disabled (line width left alone). */
        void enableAntiAliasing(bool shouldSmooth);
        void enableScissor();
        void disableScissor();
        /** Enables the scissor test with the box at (x1, y1) of the rectangle's
            absolute width and height. */
        void setScissor(const RectT<int>& rect);
        void setScissor(int x, int y, int w, int h);

        /** The GL primitive of the table, or invalidPrimitive (logged). */
        unsigned int getGLPRIMITIVETYPE(PRIMITIVE primitive);

        void setFont(Font* newFont);
        Font* getFont();

        // ---- Viewports. Sizes are absolute differences of the corners.

        /** Replaces the top entry (an empty stack first receives GL's current
            viewport) and applies it. The flag has no effect. */
        void setViewport(const RectT<int>& rect, bool unused = false);
        void setViewport(int x, int y, int w, int h, bool unused = false);
        /** Pushes a new top entry and applies it. */
        void pushViewport(const RectT<int>& rect);
        void pushViewport(int x, int y, int w, int h);
        /** Removes the top entry and applies the one below; the last entry stays. */
        void popViewport();
        /** Does nothing. */
        void resetViewport();
        /** A top-left-origin rectangle in GL's bottom-left origin for a target of
            the given height. */
        RectT<int> toViewportRect(const RectT<int>& rect, int height);

        // ---- Fixed-function matrices.

        /** Projection and modelview to identity; modelview stays selected. */
        void setIdentityTransform();
        /** Projection over x..x+w and y..y+h with y growing downwards, then
            modelview selected and reset. */
        void setOrtho(float x, float y, float w, float h, float nearPlane, float farPlane);
        void setOrtho(float w, float h);
        void setOrtho(const RectT<int>& rect);
        /** Symmetric perspective frustum, fovy in degrees; modelview selected
            afterwards. */
        void setPerspectiveProjection(float fovy, float aspect, float nearPlane, float farPlane);
        void setPerspectiveProjection(float fovy, float width, float height, float nearPlane, float farPlane);
        /** A perspective camera showing a w x h rectangle pixel for pixel with y
            downwards, rotated by rotation quarter turns. A zero or negative size is
            refused (logged) and changes nothing. */
        void set2DView(float w, float h, int rotation);
        /** Projection = the matrix; the projection stack stays selected. */
        void setProjectionMatrix(const float* matrix);
        void setModelViewMatrix(const float* matrix);
        /** Modelview selected and multiplied by the matrix. */
        void applyMatrix(const TMatrix3x3<float>& matrix);
        void applyMatrix(const Matrix4x4& matrix);
        void applyMatrix(const float* matrix);
        Matrix4x4 getModelViewMatrix();
        Matrix4x4 getProjectionMatrix();
        /** The 2D affine part of the modelview matrix. */
        TMatrix3x3<float> getModelViewMatrix3x3();
        void identity();
        void translate(const TVec2<float>& offset);
        void translate(const TVec3<float>& offset);
        void translate(float x, float y, float z);
        /** Degrees; about z, then x, then y. */
        void rotate(const TVec3<float>& degrees);
        void rotate(float x, float y, float z);
        void rotate(float degreesAboutZ);
        void scale(const TVec3<float>& factors);
        void scale(const TVec2<float>& factors);
        void scale(float x, float y, float z);
        void scale(float factor);
        void pushMatrix();
        void popMatrix();
        /** Pushes the selected stack, then selects modelview and applies the matrix. */
        void pushMatrix(const Matrix4x4& matrix);

        // ---- Immediate mode.

        void beginVertices(PRIMITIVE primitive);
        void endVertices();
        void color(const Color& c);
        void color(const float* rgba);
        void color(float grey, float alpha);
        void color(float r, float g, float b, float a);
        void vertex(const TVec2<float>& v);
        void vertex(const TVec3<float>& v);
        void vertex(float x, float y, float z);
        void vertex(const float* xyz);
        void vertex2(float x, float y);
        void vertex2(const float* xy);
        void normal(float x, float y, float z);
        void normal(const TVec3<float>& n);
        void normal(const float* xyz);
        void uv(const TVec2<float>& coords, int unit = 0);
        void uv(float u, float v, int unit = 0);
        void uv(const float* coords, int unit = 0);

        // ---- Primitives, in the xy plane where 2D. Client-array forms detach any
        // bound array buffer for the call and restore it afterwards.

        void drawLine(const TVec2<float>& a, const TVec2<float>& b);
        void drawLine(const TVec3<float>& a, const TVec3<float>& b);
        void drawLine(const float* a, const float* b);
        void drawLine(float x1, float y1, float x2, float y2);
        void drawRect(float x, float y, float w, float h);
        void fillRect(float x, float y, float w, float h);
        void drawQuad(float x, float y, float w, float h);
        /** Texture coordinates 0..u and 0..v on the active client texture unit. */
        void drawUVQuad(float x, float y, float w, float h, float u, float v, bool flip);
        void drawTriangle(const TVec2<float>& a, const TVec2<float>& b, const TVec2<float>& c);
        void fillTriangle(const TVec2<float>& a, const TVec2<float>& b, const TVec2<float>& c);
        /** A segment count below 1 follows the radius and detail; at least 2. */
        void drawCircle(const TVec2<float>& centre, float radius, int segments = 0, float detail = 1.0f);
        void fillCircle(const TVec2<float>& centre, float radius, int segments = 0, float detail = 1.0f);
        void drawEllipse(const TVec2<float>& centre, float rx, float ry, int segments = 0, float detail = 1.0f);
        void fillEllipse(const TVec2<float>& centre, float rx, float ry, int segments = 0, float detail = 1.0f);
        /** Red, green and blue lines along the matrix's first three columns from its
            translation; leaves the colour white. The flag has no effect. */
        void drawAxis(const float* matrix, float length, bool unused = false);
        /** The 12 edges of the box between the two corners (three floats
            each) as lines from a client array. Defined by the geometry library. */
        void drawWireBox(const float* min, const float* max);

    } // namespace gfx

    // ---- Texture quads: one triangle fan on client texture unit 0, u and v the
    // texture's largest coordinates. The texture is bound on unit 0 through the
    // primary renderer's binding cache (or directly when there is none).

    void drawTexture(const Texture& texture, float x, float y, float w, float h, bool flip = false);
    void drawTexture(const Texture& texture, float x1, float y1, float x2, float y2, float s1, float t1, float s2,
                     float t2, bool flip = false);
    void drawTexturePart(const Texture& texture, float x, float y, float w, float h, float s, float t, float sw,
                         float th, bool flip = false);
    /** Does not bind the texture; sets the colour to white. */
    void drawTextureQuad(const Texture& texture, float x, float y, float w, float h, bool flip = false);
    void drawTextureQuadZ(const Texture& texture, float x, float y, float z, float w, float h);

} // namespace vx
