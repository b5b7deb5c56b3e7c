#include "engine/gfx/VXRenderer.h"

#include "core/VXLog.h"
#include "core/VXOrientedRect.h"
#include "core/VXStringUtils.h"
#include "engine/gfx/VXFont.h"
#include "engine/gfx/VXGfxUtils.h"
#include "engine/gfx/VXScopedBufferBinding.h"
#include "engine/gfx/VXScopedVertexAttribArrays.h"
#include "engine/gfx/VXShaderProgram.h"
#include "engine/gfx/VXShaderUniforms.h"
#include "engine/gfx/VXTexture.h"
#include "engine/gfx/VXVertexBuffer.h"
#include "engine/gfx/VXVertexFormat.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <mutex>

namespace vx
{

    namespace
    {
        constexpr float pi = 3.141592f;
        constexpr int textBufferSize = 2048;

        void pushSegment(std::vector<float>& out, TVec2<float> a, TVec2<float> b, TVec2<float> offset)
        {
            out.insert(out.end(), {a.x + offset.x, a.y + offset.y, b.x + offset.x, b.y + offset.y});
        }

        std::vector<float> flatten(const std::vector<TVec2<float>>& points)
        {
            std::vector<float> out;
            out.reserve(points.size() * 2);
            for (const auto& p : points)
                out.insert(out.end(), {p.x, p.y});
            return out;
        }

        std::vector<std::pair<TVec2<float>, TVec2<float>>> loopSegments(const std::vector<TVec2<float>>& points,
                                                                        bool closed)
        {
            std::vector<std::pair<TVec2<float>, TVec2<float>>> lines;
            for (size_t i = 1; i < points.size(); ++i)
                lines.emplace_back(points[i - 1], points[i]);
            if (closed && points.size() > 1)
                lines.emplace_back(points.back(), points.front());
            return lines;
        }

        std::vector<std::pair<TVec2<float>, TVec2<float>>> rectSegments(float x1, float y1, float x2, float y2)
        {
            return loopSegments({{x1, y1}, {x2, y1}, {x2, y2}, {x1, y2}}, true);
        }

        void setVec4(ShaderProgram& program, const std::string& name, const TVec4<float>& v)
        {
            program.setVec4(name, v.x, v.y, v.z, v.w);
        }

        // Every live renderer by its context's native handle, latest last: the
        // state guards find the cache of the current context here without the
        // context manager's lock, which a thread may hold for a long draw.
        struct Registry
        {
            std::mutex lock;
            std::vector<std::pair<void*, Renderer*>> entries;
        };

        Registry& registry()
        {
            static Registry instance;
            return instance;
        }

        void unregister(const Renderer* renderer)
        {
            Registry& r = registry();
            const std::lock_guard<std::mutex> hold(r.lock);
            std::erase_if(r.entries, [renderer](const auto& entry) { return entry.second == renderer; });
        }

        // Bound lifetimes of the contexts' renderers.
        Renderer* createRenderer(Context& context)
        {
            return new Renderer(context);
        }
        bool initializeRenderer(Renderer& renderer, ContextProfile profile)
        {
            return renderer.initialize(profile);
        }
        void destroyRenderer(Renderer* renderer, bool contextIsCurrent)
        {
            if (contextIsCurrent)
            {
                renderer->release();
                delete renderer;
                return;
            }
            // Deleting its programs and buffer would call GL without a context;
            // the names die with the context, so the object is left behind,
            // unreachable: a later context may get its native handle.
            unregister(renderer);
            logPrint(logWarning, "Renderer: its context is not current at the end; its GL objects are abandoned");
        }
    } // namespace

    //==============================================================================
    Renderer::Renderer(Context& owningContext) : context(owningContext)
    {
        Registry& r = registry();
        const std::lock_guard<std::mutex> hold(r.lock);
        r.entries.emplace_back(context.getNativeContext(), this);
    }

    Renderer::~Renderer()
    {
        unregister(this);
    }

    Renderer* Renderer::getCurrent()
    {
        void* native = Context::getCurrentNativeContext();
        if (native == nullptr)
            return nullptr;
        Registry& r = registry();
        const std::lock_guard<std::mutex> hold(r.lock);
        for (auto it = r.entries.rbegin(); it != r.entries.rend(); ++it)
            if (it->first == native)
                return it->second;
        return nullptr;
    }

    void Renderer::installContextHooks()
    {
        Context::rendererHooks.create = &createRenderer;
        Context::rendererHooks.initialize = &initializeRenderer;
        Context::rendererHooks.destroy = &destroyRenderer;
    }

    bool Renderer::initialize(ContextProfile)
    {
        renderContext.initialize();
        if (! shaders.init())
        {
            logPrint(logError, "Renderer::initialize: a built-in program failed to build");
            return false;
        }

        VertexFormat format;
        format.create("FLOAT2 FLOAT2");
        static const float quad[16] = {0, 0, 0, 0, 0, 1, 0, 1, 1, 1, 1, 1, 1, 0, 1, 0};
        quadBuffer.reset(new VertexBuffer());
        if (! quadBuffer->init(format, 4, STATIC_DRAW) || ! quadBuffer->update(0, sizeof(quad), quad))
        {
            logPrint(logError, "Renderer::initialize: cannot make the quad buffer");
            return false;
        }
        return true;
    }

    void Renderer::release()
    {
        shaders.release();
    }

    //==============================================================================
    void Renderer::pushMatrix()
    {
        matrices.push();
    }
    void Renderer::popMatrix()
    {
        matrices.pop();
    }
    void Renderer::setWorldMatrix(const Matrix4x4& m)
    {
        matrices.setWorldMatrix(m);
    }
    void Renderer::setViewMatrix(const Matrix4x4& m)
    {
        matrices.setViewMatrix(m);
    }
    void Renderer::setProjectionMatrix(const Matrix4x4& m)
    {
        matrices.setProjectionMatrix(m);
    }

    void Renderer::clearMatrices(bool world, bool view, bool projection)
    {
        if (world && view && projection)
        {
            matrices.toIdentity();
            return;
        }
        if (world)
            matrices.setWorldMatrix(Matrix4x4());
        if (view)
            matrices.setViewMatrix(Matrix4x4());
        if (projection)
            matrices.setProjectionMatrix(Matrix4x4());
    }

    void Renderer::updateMatricesFromFFP()
    {
        float modelView[16], projection[16];
        glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
        glGetFloatv(GL_PROJECTION_MATRIX, projection);
        matrices.setWorldMatrix(Matrix4x4());
        matrices.setViewMatrix(Matrix4x4(modelView));
        matrices.setProjectionMatrix(Matrix4x4(projection));

        // A degenerate view (a zero scale) keeps the plain offset rather than
        // dividing by zero.
        const float xLength =
            std::sqrt(modelView[0] * modelView[0] + modelView[1] * modelView[1] + modelView[2] * modelView[2]);
        const float yLength =
            std::sqrt(modelView[4] * modelView[4] + modelView[5] * modelView[5] + modelView[6] * modelView[6]);
        pixelOffset.x = xLength > 0.0f ? 0.375f / xLength : 0.375f;
        pixelOffset.y = yLength > 0.0f ? 0.375f / yLength : 0.375f;
    }

    void Renderer::setupGuiMatrices(float depth)
    {
        const float w = std::fabs(viewport.x2 - viewport.x1);
        const float h = std::fabs(viewport.y2 - viewport.y1);
        matrices.setWorldMatrix(Matrix4x4());
        matrices.setViewMatrix(Matrix4x4::scaling(1.0f, -1.0f, 1.0f) *
                               Matrix4x4::translation(-w / 2.0f, -h / 2.0f, 0.0f));
        matrices.setProjectionMatrix(Matrix4x4::buildOrthoMatrix(w, h, depth));
        pixelOffset = {0.375f, 0.375f};
    }

    void Renderer::setPixelSize(TVec2<float> size)
    {
        pixelOffset = size * 0.375f;
    }

    void Renderer::setViewport(const RectT<float>& rect)
    {
        viewport = rect;
        glViewport(int(rect.x1), int(rect.y1), int(std::fabs(rect.x2 - rect.x1)), int(std::fabs(rect.y2 - rect.y1)));
    }

    bool Renderer::beginShader(ShaderProgram& program)
    {
        if (! renderContext.bindShader(program))
            return false;
        program.setMatrix4x4(ShaderUniforms::World, matrices.getWorldMatrix().m);
        program.setMatrix4x4(ShaderUniforms::View, matrices.getViewMatrix().m);
        program.setMatrix4x4(ShaderUniforms::Proj, matrices.getProjMatrix().m);
        program.setMatrix4x4(ShaderUniforms::WorldView, matrices.getWorldViewMatrix().m);
        program.setMatrix4x4(ShaderUniforms::WorldViewProj, matrices.getWorldViewProjMatrix().m);
        return true;
    }

    void Renderer::beginTextRendering(bool outlined)
    {
        shaders.setTextProgram(outlined);
        renderContext.bindShader(shaders.getTextProgram());
    }

    void Renderer::endTextRendering()
    {
        renderContext.unbindShader();
    }

    //==============================================================================
    void Renderer::drawFlat(unsigned int primitive, const float* positions, size_t numVertices, const Color& color)
    {
        if (numVertices == 0)
            return;
        ShaderProgram& program = shaders.get(Shaders::FlatColor);
        if (! renderContext.bindShader(program))
            return;
        program.setMatrix4x4(ShaderUniforms::WorldViewProj, matrices.getWorldViewProjMatrix().m);
        program.setVec4(ShaderUniforms::Color, color.getRGBAArray());
        {
            ScopedVertexAttribArrays arrays;
            arrays.attribute(0, 2, 0, positions);
            glDrawArrays(primitive, 0, GLsizei(numVertices));
        }
        renderContext.unbindShader();
    }

    void Renderer::drawPoints(const std::vector<TVec2<float>>& points, const Color& color)
    {
        std::vector<float> positions;
        positions.reserve(points.size() * 2);
        for (const auto& p : points)
            positions.insert(positions.end(), {p.x + pixelOffset.x, p.y + pixelOffset.y});
        drawFlat(GL_POINTS, positions.data(), points.size(), color);
    }

    void Renderer::drawLines(const std::vector<std::pair<TVec2<float>, TVec2<float>>>& lines, const Color& color)
    {
        if (lines.empty())
            return;
        std::vector<float> positions;
        positions.reserve(lines.size() * 4);
        for (const auto& [a, b] : lines)
            pushSegment(positions, a, b, pixelOffset);
        drawFlat(GL_LINES, positions.data(), lines.size() * 2, color);
    }

    void Renderer::drawLine(const TVec2<float>& a, const TVec2<float>& b, const Color& color)
    {
        drawLines({{a, b}}, color);
    }

    void Renderer::drawLineStrip(const std::vector<TVec2<float>>& points, const Color& color)
    {
        drawLines(loopSegments(points, false), color);
    }

    void Renderer::drawLineLoop(const std::vector<TVec2<float>>& points, const Color& color)
    {
        drawLines(loopSegments(points, true), color);
    }

    void Renderer::drawRectWithin(const RectT<float>& r, const Color& color)
    {
        drawLines(rectSegments(r.x1, r.y1, r.x2 - 1.0f, r.y2 - 1.0f), color);
    }

    void Renderer::drawRectAround(const RectT<float>& r, const Color& color)
    {
        drawLines(rectSegments(r.x1 - 1.0f, r.y1 - 1.0f, r.x2, r.y2), color);
    }

    void Renderer::draw(const RectT<float>& r, const Color& color)
    {
        drawLines(rectSegments(r.x1, r.y1, r.x2, r.y2), color);
    }

    void Renderer::draw(const OrientedRect& rect, const Color& color)
    {
        drawLineLoop(rect.getCorners(), color);
    }

    std::vector<TVec2<float>> Renderer::buildCirclePoints(float x, float y, float radius, int segments)
    {
        if (segments < 1)
        {
            const float derived = std::floor(2.0f * pi * radius);
            segments = std::isfinite(derived) ? int(std::clamp(derived, 0.0f, 1.0e6f)) : 0;
        }
        segments = std::max(segments, 2);
        std::vector<TVec2<float>> points;
        points.reserve(size_t(segments));
        for (int i = 0; i < segments; ++i)
        {
            const float angle = 2.0f * pi * float(i) / float(segments);
            points.emplace_back(x + radius * std::cos(angle), y + radius * std::sin(angle));
        }
        return points;
    }

    void Renderer::drawCircle(float x, float y, float radius, int segments, const Color& color)
    {
        drawLineLoop(buildCirclePoints(x, y, radius, segments), color);
    }

    std::vector<TVec2<float>> Renderer::buildRoundedRectPoints(float x, float y, float w, float h, float radius)
    {
        const float shorter = std::min(w, h);
        const float r = radius > shorter / 2.0f ? shorter / 4.0f : radius;
        const float perCornerF = 2.0f * pi * r / 4.0f;
        if (! std::isfinite(perCornerF) || perCornerF < 1.0f)
            return {};
        const int perCorner = int(std::min(perCornerF, 1.0e5f));
        // One point per corner has no span to divide: it sits at the corner's
        // start angle.
        const float step = perCorner > 1 ? 6.283184f / float(4 * perCorner - 4) : 0.0f;
        const TVec2<float> centres[4] = {{x + w / 2 - r, y - h / 2 + r},
                                         {x + w / 2 - r, y + h / 2 - r},
                                         {x - w / 2 + r, y + h / 2 - r},
                                         {x - w / 2 + r, y - h / 2 + r}};
        std::vector<TVec2<float>> points;
        points.reserve(size_t(perCorner) * 4);
        for (int corner = 0; corner < 4; ++corner)
            for (int i = 0; i < perCorner; ++i)
            {
                const float angle = float(corner) * (pi / 2.0f) + float(i) * step;
                points.emplace_back(centres[corner].x + r * std::sin(angle), centres[corner].y - r * std::cos(angle));
            }
        return points;
    }

    void Renderer::drawRoundedRect(float x, float y, float w, float h, float radius, const Color& color)
    {
        drawLineLoop(buildRoundedRectPoints(x, y, w, h, radius), color);
    }

    void Renderer::drawTriangles(const std::vector<TriangleTag>& triangles, const Color& color)
    {
        std::vector<float> positions;
        positions.reserve(triangles.size() * 6);
        for (const auto& t : triangles)
            positions.insert(positions.end(), {t.a.x, t.a.y, t.b.x, t.b.y, t.c.x, t.c.y});
        drawFlat(GL_TRIANGLES, positions.data(), triangles.size() * 3, color);
    }

    void Renderer::drawTrianglesFan(const std::vector<TVec2<float>>& points, const Color& color)
    {
        const std::vector<float> positions = flatten(points);
        drawFlat(GL_TRIANGLE_FAN, positions.data(), points.size(), color);
    }

    void Renderer::fillRectWithin(float x, float y, float w, float h, const Color& color)
    {
        fillRect(RectT<float>(x, y, x + w - 1.0f, y + h - 1.0f), color);
    }

    void Renderer::fillRect(const RectT<float>& r, const Color& color)
    {
        const float positions[12] = {r.x1, r.y1, r.x2, r.y1, r.x2, r.y2, r.x1, r.y1, r.x2, r.y2, r.x1, r.y2};
        drawFlat(GL_TRIANGLES, positions, 6, color);
    }

    void Renderer::fill(const OrientedRect& rect, const Color& color)
    {
        const auto c = rect.getCorners();
        const float positions[12] = {c[0].x, c[0].y, c[1].x, c[1].y, c[2].x, c[2].y,
                                     c[0].x, c[0].y, c[2].x, c[2].y, c[3].x, c[3].y};
        drawFlat(GL_TRIANGLES, positions, 6, color);
    }

    void Renderer::fillCircle(float x, float y, float radius, int segments, const Color& color)
    {
        drawTrianglesFan(buildCirclePoints(x, y, radius, segments), color);
    }

    void Renderer::fillRoundedRect(float x, float y, float w, float h, float radius, const Color& color)
    {
        drawTrianglesFan(buildRoundedRectPoints(x, y, w, h, radius), color);
    }

    //==============================================================================
    void Renderer::beginTextureDraw()
    {
        renderContext.bindShader(shaders.get(Shaders::Textured));
    }

    void Renderer::setTextureDrawSettings(const Texture& texture, const Color& albedo, const Color& emission,
                                          const TVec4<float>& scroll)
    {
        ShaderProgram& program = shaders.get(Shaders::Textured);
        renderContext.bind2DTexture(0, texture);
        program.setInt(ShaderUniforms::Texture, 0);
        program.setVec4(ShaderUniforms::Albedo, albedo.getRGBAArray());
        program.setVec4(ShaderUniforms::Emission, emission.getRGBAArray());
        setVec4(program, ShaderUniforms::TexScroll, scroll);
    }

    void Renderer::doTextureDraw()
    {
        shaders.get(Shaders::Textured).setMatrix4x4(ShaderUniforms::WorldViewProj, matrices.getWorldViewProjMatrix().m);
        drawQuadVBO();
    }

    void Renderer::endTextureDraw()
    {
        renderContext.unbindShader();
    }

    void Renderer::drawQuadVBO()
    {
        if (! quadBuffer || ! quadBuffer->isValid())
            return;
        const ScopedBufferBinding binding(GL_ARRAY_BUFFER, GL_ARRAY_BUFFER_BINDING, quadBuffer->getGLName());
        glEnableVertexAttribArray(0);
        glEnableVertexAttribArray(2);
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 16, reinterpret_cast<const void*>(0));
        glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, 16, reinterpret_cast<const void*>(8));
        glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
        glDisableVertexAttribArray(0);
        glDisableVertexAttribArray(2);
    }

    void Renderer::drawTexture(const Texture& texture, float x, float y, float w, float h, bool flip)
    {
        drawTexture(texture, x, y, w, h, flip, Color::white, texture.buildScrollVector(0.0f, 0.0f, false));
    }

    void Renderer::drawTexture(const Texture& texture, float x, float y, float w, float h, bool flip, const Color& tint)
    {
        drawTexture(texture, x, y, w, h, flip, tint, texture.buildScrollVector(0.0f, 0.0f, false));
    }

    void Renderer::drawTexture(const Texture& texture, float x, float y, float w, float h, bool flip, const Color& tint,
                               const TVec4<float>& scroll)
    {
        ShaderProgram& program = shaders.get(Shaders::Textured);
        if (! renderContext.bindShader(program))
            return;
        matrices.push();
        setTextureDrawSettings(texture, tint, Color::transparentBlack, scroll);
        matrices.setWorldMatrix(matrices.getWorldMatrix() * texture.buildMatrix(x, y, w, h, flip));
        doTextureDraw();
        renderContext.unbindShader();
        matrices.pop();
    }

    void Renderer::drawTexture(const Texture& texture, const OrientedRect& rect, const Color& tint)
    {
        ShaderProgram& program = shaders.get(Shaders::Textured);
        if (! renderContext.bindShader(program))
            return;
        setTextureDrawSettings(texture, tint, Color::transparentBlack, texture.buildScrollVector(0.0f, 0.0f, false));
        program.setMatrix4x4(ShaderUniforms::WorldViewProj, matrices.getWorldViewProjMatrix().m);
        const auto c = rect.getCorners();
        const float positions[8] = {c[0].x, c[0].y, c[1].x, c[1].y, c[2].x, c[2].y, c[3].x, c[3].y};
        static const float uvs[8] = {0, 1, 1, 1, 1, 0, 0, 0};
        {
            ScopedVertexAttribArrays arrays;
            arrays.attribute(0, 2, 0, positions);
            arrays.attribute(2, 2, 0, uvs);
            glDrawArrays(GL_QUADS, 0, 4);
        }
        renderContext.unbindShader();
        renderContext.unbind2DTextures();
    }

    void Renderer::drawTextureClipped(const Texture& texture, float w, float h, bool flip, const Color& tint)
    {
        const float tw = texture.getWidth(), th = texture.getHeight();
        if (tw <= 0.0f || th <= 0.0f)
            return;
        const TVec4<float> scroll(texture.getMaxU() * std::clamp(w / tw, 0.0f, 1.0f),
                                  texture.getMaxV() * std::clamp(h / th, 0.0f, 1.0f), 0.0f, 0.0f);
        drawTexture(texture, 0.0f, 0.0f, std::min(tw, w), std::min(th, h), flip, tint, scroll);
    }

    void Renderer::drawTrianglesFanTextured(const std::vector<TVec2<float>>& points,
                                            const std::vector<TVec2<float>>& uvs, const Color& albedo,
                                            const Texture& texture)
    {
        const size_t count = std::min(points.size(), uvs.size());
        ShaderProgram& program = shaders.get(Shaders::Textured);
        if (count == 0 || ! renderContext.bindShader(program))
            return;
        program.setMatrix4x4(ShaderUniforms::WorldViewProj, matrices.getWorldViewProjMatrix().m);
        setTextureDrawSettings(texture, albedo, Color::transparentBlack,
                               TVec4<float>(texture.getMaxU(), texture.getMaxV(), 0.0f, 0.0f));
        const std::vector<float> positions = flatten(points);
        const std::vector<float> coordinates = flatten(uvs);
        ScopedVertexAttribArrays arrays;
        arrays.attribute(0, 2, 0, positions.data());
        arrays.attribute(2, 2, 0, coordinates.data());
        glDrawArrays(GL_TRIANGLE_FAN, 0, GLsizei(count));
    }

    //==============================================================================
    size_t Renderer::buildTextVertices(const Font& font, float x, float y, float lineHeight, const std::string& text,
                                       std::vector<float>& out)
    {
        out.clear();
        out.reserve(text.size() * 24);
        float penX = x, penY = y;
        CharacterQuad q;
        for (const char c : text)
        {
            if (c == '\n')
            {
                penY += lineHeight;
                penX = x;
                continue;
            }
            if (! font.getCharacter(q, c))
                continue;
            const float x0 = penX + q.xOffset, y0 = penY + q.yOffset;
            const float x1 = x0 + q.width, y1 = y0 + q.height;
            out.insert(out.end(), {x0, y0, q.s0, q.t0, x1, y0, q.s1, q.t0, x1, y1, q.s1, q.t1,
                                   x0, y0, q.s0, q.t0, x1, y1, q.s1, q.t1, x0, y1, q.s0, q.t1});
            penX += q.advance;
        }
        return out.size();
    }

    void Renderer::drawText(const Font& font, float x, float y, float lineHeight, const Color& color,
                            const std::string& text)
    {
        const Texture* atlas = font.getTexture();
        if (text.empty() || atlas == nullptr || ! atlas->isValid())
            return;
        std::vector<float> vertices;
        if (buildTextVertices(font, x, y, lineHeight, text, vertices) == 0)
            return;

        ShaderProgram& program = shaders.get(Shaders::Textured);
        if (! renderContext.bindShader(program))
            return;
        program.setMatrix4x4(ShaderUniforms::WorldViewProj, matrices.getWorldViewProjMatrix().m);
        setTextureDrawSettings(*atlas, color, Color::transparentBlack,
                               TVec4<float>(atlas->getMaxU(), atlas->getMaxV(), 0.0f, 0.0f));
        gfx::setBlendMode(gfx::BLEND_PREMULTIPLIED);
        {
            ScopedVertexAttribArrays arrays;
            arrays.attribute(0, 2, 16, vertices.data());
            arrays.attribute(2, 2, 16, vertices.data() + 2);
            glDrawArrays(GL_TRIANGLES, 0, GLsizei(vertices.size() / 4));
        }
        gfx::setBlendMode(gfx::BLEND_OFF);
        renderContext.unbindShader();
        renderContext.unbind2DTextures();
    }

    void Renderer::drawText(const Font& font, float x, float y, const Color& color, const std::string& text)
    {
        drawText(font, x, y, font.getSize(), color, text);
    }

    void Renderer::drawText(const Font& font, float x, float y, const Color& color, const char* format, ...)
    {
        std::string text;
        va_list args;
        va_start(args, format);
        const bool formatted = formatStringV(text, textBufferSize, format, args);
        va_end(args);
        if (formatted)
            drawText(font, x, y, font.getSize(), color, text);
    }

    //==============================================================================
    void Renderer::drawCube(const Color& color)
    {
        ShaderProgram& program = shaders.get(Shaders::LitColor);
        if (! renderContext.bindShader(program))
            return;
        program.setMatrix4x4(ShaderUniforms::WorldViewProj, matrices.getWorldViewProjMatrix().m);
        program.setMatrix4x4(ShaderUniforms::World, matrices.getWorldMatrix().m);
        program.setVec4(ShaderUniforms::Color, color.getRGBAArray());

        // Faces z = 0, z = 1, x = 0, x = 1, y = 0, y = 1; each two triangles of
        // (position, face normal, texture coordinate).
        static const std::vector<float> vertices = []
        {
            struct Face
            {
                int axis;
                float side;
            };
            const Face faces[6] = {{2, 0}, {2, 1}, {0, 0}, {0, 1}, {1, 0}, {1, 1}};
            const float corners[6][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 0}, {1, 1}, {0, 1}};
            std::vector<float> built;
            built.reserve(36 * 8);
            for (const Face& face : faces)
            {
                const int u = (face.axis + 1) % 3, v = (face.axis + 2) % 3;
                for (const auto& corner : corners)
                {
                    float position[3] = {}, normal[3] = {};
                    position[face.axis] = face.side;
                    position[u] = corner[0];
                    position[v] = corner[1];
                    normal[face.axis] = face.side > 0.5f ? 1.0f : -1.0f;
                    built.insert(built.end(), {position[0], position[1], position[2], normal[0], normal[1], normal[2],
                                               corner[0], corner[1]});
                }
            }
            return built;
        }();
        {
            ScopedVertexAttribArrays arrays;
            arrays.attribute(0, 3, 32, vertices.data());
            arrays.attribute(1, 3, 32, vertices.data() + 3);
            glDrawArrays(GL_TRIANGLES, 0, 36);
        }
        renderContext.unbindShader();
    }

    //==============================================================================
    namespace gfx
    {
        void drawTextVertical(Renderer& renderer, const Color& color, float x, float y, const char* format, ...)
        {
            std::string text;
            va_list args;
            va_start(args, format);
            const bool formatted = formatStringV(text, textBufferSize, format, args);
            va_end(args);
            if (! formatted)
                return;
            pushMatrix();
            rotate(90.0f);
            renderer.updateMatricesFromFFP();
            if (const Font* current = getFont())
                renderer.drawText(*current, x, y, current->getSize(), color, text);
            popMatrix();
        }
    } // namespace gfx

} // namespace vx
