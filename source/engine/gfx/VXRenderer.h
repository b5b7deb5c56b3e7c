#pragma once

#include "core/VXColor.h"
#include "core/VXRect.h"
#include "core/VXScopedPointer.h"
#include "core/VXVec2.h"
#include "core/VXVec4.h"
#include "engine/gfx/VXContext.h"
#include "engine/gfx/VXMatrixStack.h"
#include "engine/gfx/VXRenderContext.h"
#include "engine/gfx/VXShaders.h"

#include <string>
#include <utility>
#include <vector>

namespace vx
{

    class Contour;
    class Font;
    class Mesh2d;
    class OrientedRect;
    class ShaderProgram;
    class Shape;
    class Texture;
    class VertexBuffer;

    /** Three corners of one triangle. */
    struct TriangleTag
    {
        TVec2<float> a, b, c;
    };

    /** The 2D drawing interface of one OpenGL context: a matrix stack, a cache
        of GL bindings, the built-in programs and a unit quad. Every drawing call
        goes through a program of the engine's vertex convention with client-side
        arrays (textured quads use the quad buffer) and leaves no program bound
        unless it says so. Points and line ends are moved by the pixel offset so
        one-pixel lines hit pixel centres. Render thread only, with the owning
        context current; initialize must have succeeded before drawing. */
    class Renderer
    {
    public:
        explicit Renderer(Context& owningContext);
        ~Renderer();

        Renderer(const Renderer&) = delete;
        Renderer& operator=(const Renderer&) = delete;

        /** Makes every context created from now on own a renderer (made with the
            context, started by Context::initialize, ended with it). */
        static void installContextHooks();

        /** The renderer of the context current on the calling thread (the
            latest made over it), or null when none is current or the engine
            has not wrapped it. Any thread; takes a short lock of its own. */
        static Renderer* getCurrent();

        /** Starts the binding cache, compiles the built-in programs and makes the
            quad buffer. False (logged) when a program or the buffer fails. */
        bool initialize(ContextProfile profile);
        /** Frees the GL objects of the built-in programs that release frees. */
        void release();

        Context& getContext() const { return context; }
        RenderContext& getRenderContext() { return renderContext; }
        Shaders& getShaders() { return shaders; }
        MatrixStack& getMatrixStack() { return matrices; }
        const TVec2<float>& getPixelOffset() const { return pixelOffset; }
        const RectT<float>& getViewport() const { return viewport; }

        // ---- Matrices and viewport.

        void pushMatrix();
        /** The last entry cannot be popped (error line). */
        void popMatrix();
        void setWorldMatrix(const Matrix4x4& m);
        void setViewMatrix(const Matrix4x4& m);
        void setProjectionMatrix(const Matrix4x4& m);
        void clearMatrices(bool world, bool view, bool projection);
        /** Takes the fixed-function modelview as view and projection as
            projection (world identity); the pixel offset follows the view's scale. */
        void updateMatricesFromFFP();
        /** Pixel space over the current viewport: (0, 0) top left, y down. */
        void setupGuiMatrices(float depth);
        void setPixelSize(TVec2<float> size);
        void setViewport(const RectT<float>& rect);

        /** Binds the program and sets the five matrix uniforms; false when it
            cannot be bound. */
        bool beginShader(ShaderProgram& program);
        void beginTextRendering(bool outlined);
        void endTextRendering();

        // ---- Flat-colour drawing.

        void drawPoints(const std::vector<TVec2<float>>& points, const Color& color);
        void drawLines(const std::vector<std::pair<TVec2<float>, TVec2<float>>>& lines, const Color& color);
        void drawLine(const TVec2<float>& a, const TVec2<float>& b, const Color& color);
        void drawLineStrip(const std::vector<TVec2<float>>& points, const Color& color);
        void drawLineLoop(const std::vector<TVec2<float>>& points, const Color& color);
        void drawRectWithin(const RectT<float>& rect, const Color& color);
        void drawRectAround(const RectT<float>& rect, const Color& color);
        void draw(const RectT<float>& rect, const Color& color);
        void draw(const OrientedRect& rect, const Color& color);
        /** A segment count below 1 follows the radius; at least 2. */
        void drawCircle(float x, float y, float radius, int segments, const Color& color);
        /** (x, y) is the centre. */
        void drawRoundedRect(float x, float y, float w, float h, float radius, const Color& color);
        void drawTriangles(const std::vector<TriangleTag>& triangles, const Color& color);
        void drawTrianglesFan(const std::vector<TVec2<float>>& points, const Color& color);
        /** Covers (x, y) to (x + w - 1, y + h - 1). */
        void fillRectWithin(float x, float y, float w, float h, const Color& color);
        void fillRect(const RectT<float>& rect, const Color& color);
        void fill(const OrientedRect& rect, const Color& color);
        void fillCircle(float x, float y, float radius, int segments, const Color& color);
        void fillRoundedRect(float x, float y, float w, float h, float radius, const Color& color);

        /** Outline of a rounded rectangle centred on (x, y), y down, clockwise
            from the top edge; empty when the radius allows no point per corner. */
        static std::vector<TVec2<float>> buildRoundedRectPoints(float x, float y, float w, float h, float radius);
        /** The rim points of a circle after the segment rule of drawCircle. */
        static std::vector<TVec2<float>> buildCirclePoints(float x, float y, float radius, int segments);

        // ---- Contours, shapes and meshes (built with the geometry library,
        // which defines these: filling needs its triangulation).

        /** The contour subdivided at scale 1, as a line loop. */
        void draw(const Contour& contour, const Color& color);
        void draw(const Shape& shape, const Color& color);
        /** With at least 3 points: subdivided at scale 1 and triangulated
            (odd winding). */
        void fill(const Contour& contour, const Color& color);
        /** With at least one contour: all contours triangulated together. */
        void fill(const Shape& shape, const Color& color);
        /** With vertices and indices: the mesh under the flat-colour program. */
        void fill(const Mesh2d& mesh, const Color& color);

        // ---- Textures.

        void beginTextureDraw();
        void setTextureDrawSettings(const Texture& texture, const Color& albedo, const Color& emission,
                                    const TVec4<float>& scroll);
        void doTextureDraw();
        void endTextureDraw();
        /** The unit quad from the quad buffer on attributes 0 and 2. */
        void drawQuadVBO();

        void drawTexture(const Texture& texture, float x, float y, float w, float h, bool flip);
        void drawTexture(const Texture& texture, float x, float y, float w, float h, bool flip, const Color& tint);
        void drawTexture(const Texture& texture, float x, float y, float w, float h, bool flip, const Color& tint,
                         const TVec4<float>& scroll);
        /** Unbinds the program and every texture unit afterwards. */
        void drawTexture(const Texture& texture, const OrientedRect& rect, const Color& tint);
        /** The part of the texture that fits w x h at (0, 0), at 1:1 scale. */
        void drawTextureClipped(const Texture& texture, float w, float h, bool flip, const Color& tint);
        /** Leaves the textured program bound. */
        void drawTrianglesFanTextured(const std::vector<TVec2<float>>& points, const std::vector<TVec2<float>>& uvs,
                                      const Color& albedo, const Texture& texture);

        // ---- Text. Nothing is drawn for an empty text or a font without atlas
        // texture; a newline moves down one line height to the start x.

        void drawText(const Font& font, float x, float y, float lineHeight, const Color& color,
                      const std::string& text);
        void drawText(const Font& font, float x, float y, const Color& color, const std::string& text);
        /** printf-style; results longer than 2047 characters are cut. */
        void drawText(const Font& font, float x, float y, const Color& color, const char* format, ...)
            __attribute__((format(printf, 6, 7)));

        /** Two triangles (six vertices of x, y, u, v) per glyph of text. Answers
            the number of floats written to out (cleared first). */
        static size_t buildTextVertices(const Font& font, float x, float y, float lineHeight, const std::string& text,
                                        std::vector<float>& out);

        /** The lit unit cube from (0, 0, 0) to (1, 1, 1). */
        void drawCube(const Color& color);

    private:
        void drawFlat(unsigned int primitive, const float* positions, size_t numVertices, const Color& color);

        Context& context;
        RenderContext renderContext;
        Shaders shaders;
        MatrixStack matrices;
        TVec2<float> pixelOffset{0.375f, 0.375f};
        RectT<float> viewport;
        ScopedPointer<VertexBuffer> quadBuffer;
    };

    namespace gfx
    {
        /** Formats the text (at most 2047 characters), turns the fixed-function
            modelview 90 degrees about z, lets the renderer take over the
            fixed-function matrices and draws the text with the current font. */
        void drawTextVertical(Renderer& renderer, const Color& color, float x, float y, const char* format, ...)
            __attribute__((format(printf, 5, 6)));
    } // namespace gfx

} // namespace vx
