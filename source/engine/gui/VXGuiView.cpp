#include "engine/gui/VXGuiView.h"

#include <cmath>

#include "core/VXCurveUtils.h"
#include "core/VXMatrix4x4.h"
#include "core/VXOrientedRect.h"
#include "core/VXScopedLock.h"
#include "engine/gfx/VXContext.h"
#include "engine/gfx/VXFont.h"
#include "engine/gfx/VXGfxInfo.h"
#include "engine/gfx/VXGfxUtils.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/formats/VXImage.h"

namespace vx
{
    namespace
    {
        using Matrix = GuiView::Matrix;

        constexpr float inverseEpsilon = 4.37114e-5f;
        constexpr float minZoomPercent = 2.0f;
        constexpr float maxZoomPercent = 10000.0f;

        Matrix translation(const TVec2<float>& v)
        {
            Matrix t;
            return t.translate(v);
        }

        Matrix scaling(float s)
        {
            Matrix k;
            return k.scale(s);
        }

        float columnLength(const Matrix& m, int column)
        {
            return std::sqrt(m.m[column * 3] * m.m[column * 3] + m.m[column * 3 + 1] * m.m[column * 3 + 1]);
        }

        // A length divided by a scale of zero (or worse) stays as it is rather
        // than becoming infinite: the view has no size to convert into.
        float divideByScale(float v, float scale)
        {
            return scale > 0.0f && std::isfinite(scale) ? v / scale : v;
        }

        bool isFinite(const Matrix& m)
        {
            for (float e : m.m)
                if (! std::isfinite(e))
                    return false;
            return true;
        }

        // Renderer matrices and fixed-function modelview both come back as
        // they were: text is drawn in screen pixels.
        class ScreenSpaceText
        {
        public:
            explicit ScreenSpaceText(Renderer& r) : renderer(r)
            {
                renderer.pushMatrix();
                gfx::pushMatrix();
                gfx::identity();
            }
            ~ScreenSpaceText()
            {
                gfx::popMatrix();
                renderer.popMatrix();
            }
            ScreenSpaceText(const ScreenSpaceText&) = delete;
            ScreenSpaceText& operator=(const ScreenSpaceText&) = delete;

        private:
            Renderer& renderer;
        };
    }

    float GuiView::attenuationPower = 3.0f;
    float GuiView::minAttenuation = 0.75f;

    GuiView::GuiView() = default;

    GuiView::GuiView(const GuiView& parent, const Matrix& m)
        : mouse(parent.mouse), keyboard(parent.keyboard), screenRect(parent.screenRect), workArea(parent.workArea),
          fittedArea(parent.fittedArea), fittingMatrix(parent.fittingMatrix), viewMatrix(parent.viewMatrix),
          combinedMatrix(parent.combinedMatrix), inverseMatrix(parent.inverseMatrix),
          backgroundColor(0.0f, 0.0f, 0.0f, 1.0f)
    {
        pushMatrix(m);
    }

    GuiView::~GuiView()
    {
        if (! matrixStack.empty())
            popMatrix();
    }

    bool GuiView::init(float width, float height, float workWidth, float workHeight, float newMargin)
    {
        margin = newMargin;
        screenRect = RectT<float>(0.0f, 0.0f, width, height);
        setWorkArea(0.0f, 0.0f, workWidth, workHeight);
        return true;
    }

    void GuiView::resize(float width, float height)
    {
        screenRect = RectT<float>(0.0f, 0.0f, width, height);
        setWorkArea(0.0f, 0.0f, std::abs(workArea.x2 - workArea.x1), std::abs(workArea.y2 - workArea.y1));
    }

    void GuiView::setWorkArea(float w, float h)
    {
        setWorkArea(0.0f, 0.0f, w, h);
    }

    void GuiView::setWorkArea(float x, float y, float w, float h)
    {
        workArea = RectT<float>(x, y, x + w, y + h);
        RectT<float> fitted = workArea;
        fitted.fitProportional(screenRect, true);
        fittedArea = shrinkRect(fitted, margin);
    }

    // ---- Matrices.

    void GuiView::recompute()
    {
        combinedMatrix = fittingMatrix * viewMatrix;
        inverseMatrix = combinedMatrix;
        inverseMatrix.invert(inverseEpsilon);
    }

    void GuiView::broadcast()
    {
        callListeners(&GuiViewListener::viewChanged, CallType::standard);
    }

    void GuiView::loadCombinedIntoFixedFunction() const
    {
        // The matrix arithmetic stands without GL; only a current context
        // receives the matrix.
        if (Context::getCurrentNativeContext() == nullptr)
            return;
        gfx::identity();
        gfx::applyMatrix(combinedMatrix);
    }

    void GuiView::setViewMatrix(const Matrix& m)
    {
        viewMatrix = m;
        recompute();
        broadcast();
    }

    void GuiView::pushMatrix(const Matrix& m)
    {
        matrixStack.push_back(viewMatrix);
        viewMatrix = viewMatrix * m;
        recompute();
        loadCombinedIntoFixedFunction();
    }

    void GuiView::popMatrix()
    {
        if (matrixStack.empty())
            return;
        viewMatrix = matrixStack.back();
        matrixStack.pop_back();
        recompute();
        loadCombinedIntoFixedFunction();
    }

    void GuiView::updateMatrices()
    {
        recompute();
    }

    void GuiView::applyTransform() const
    {
        gfx::identity();
        gfx::applyMatrix(combinedMatrix);
    }

    void GuiView::transformChanged()
    {
        broadcast();
    }

    void GuiView::resetToDefaultView()
    {
        setViewMatrix(Matrix());
    }

    void GuiView::zoomToView(const RectT<float>& r)
    {
        const RectT<float> a = toView(r);
        const RectT<float> b = toView(workArea);
        viewMatrix = vx::getFittingMatrix(a, b, true);
        recompute();
        broadcast();
    }

    void GuiView::pan(float dx, float dy)
    {
        const TVec2<float> t(dx * inverseMatrix.m[0], dy * inverseMatrix.m[4]);
        const Matrix panned = viewMatrix * translation(t);
        if (! isFinite(panned))
            return;
        viewMatrix = panned;
        recompute();
        broadcast();
    }

    void GuiView::zoomAtPosition(float x, float y, int steps, float)
    {
        if (steps == 0 || ! std::isfinite(x) || ! std::isfinite(y))
            return;
        const float current = getZoomPercent();
        // A view without scale has no zoom to change: the factor would be
        // infinite.
        if (! (current > 0.0f) || ! std::isfinite(current))
            return;
        const TVec2<float> p = inverseMatrix * TVec2<float>(x, y);
        float wanted = current * float(1.0 + 0.05 * double(steps));
        wanted = std::max(std::min(wanted, maxZoomPercent), minZoomPercent);
        const float f = wanted / current;
        const Matrix zoomed = viewMatrix * (translation(p) * scaling(f) * translation(-p));
        if (! isFinite(zoomed))
            return;
        viewMatrix = zoomed;
        recompute();
        broadcast();
    }

    float GuiView::getZoomPercent() const
    {
        return 100.0f * getXScale();
    }

    void GuiView::zoomPercent(float percent)
    {
        const float w = std::abs(workArea.x2 - workArea.x1);
        const float h = std::abs(workArea.y2 - workArea.y1);
        const float fittedWidth = std::abs(fittedArea.x2 - fittedArea.x1);
        if (! (percent > 0.0f) || ! std::isfinite(percent) || ! (fittedWidth > 0.0f) || ! (w > 0.0f))
            return;
        const float ratio = w / fittedWidth;
        Matrix m;
        m.translate({w / 2.0f, h / 2.0f});
        m.scale(float(double(percent) / 100.0 * double(ratio)));
        m.translate({-w / 2.0f, -h / 2.0f});
        viewMatrix = m;
        recompute();
        broadcast();
    }

    // ---- Conversions.

    float GuiView::getXScale() const
    {
        return columnLength(combinedMatrix, 0);
    }

    float GuiView::getYScale() const
    {
        return columnLength(combinedMatrix, 1);
    }

    TVec2<float> GuiView::toScreen(const TVec2<float>& p) const
    {
        return combinedMatrix * p;
    }

    TVec2<float> GuiView::toView(const TVec2<float>& p) const
    {
        return inverseMatrix * p;
    }

    RectT<float> GuiView::toScreen(const RectT<float>& r) const
    {
        const TVec2<float> a = toScreen(TVec2<float>(r.x1, r.y1));
        const TVec2<float> b = toScreen(TVec2<float>(r.x2, r.y2));
        return {a.x, a.y, b.x, b.y};
    }

    RectT<float> GuiView::toView(const RectT<float>& r) const
    {
        const TVec2<float> a = toView(TVec2<float>(r.x1, r.y1));
        const TVec2<float> b = toView(TVec2<float>(r.x2, r.y2));
        return {a.x, a.y, b.x, b.y};
    }

    float GuiView::toScreenX(float v) const
    {
        return v * getXScale();
    }

    float GuiView::toViewX(float v) const
    {
        return divideByScale(v, getXScale());
    }

    float GuiView::toScreenY(float v) const
    {
        return v * getYScale();
    }

    float GuiView::toViewY(float v) const
    {
        return divideByScale(v, getYScale());
    }

    TVec2<float> GuiView::sizeToScreen(const TVec2<float>& s) const
    {
        return {s.x * getXScale(), s.y * getYScale()};
    }

    TVec2<float> GuiView::sizeToView(const TVec2<float>& s) const
    {
        return {divideByScale(s.x, getXScale()), divideByScale(s.y, getYScale())};
    }

    TVec2<float> GuiView::getMousePos() const
    {
        const TVec2<float>& raw = mouse.getPosition();
        return inverseMatrix * TVec2<float>(raw.x * mouseScale.x + mouseOffset.x, raw.y * mouseScale.y + mouseOffset.y);
    }

    TVec2<float> GuiView::getMouseDelta() const
    {
        const TVec2<float>& d = mouse.getDelta();
        const Matrix& m = inverseMatrix;
        return {m.m[0] * d.x + m.m[3] * d.y, m.m[1] * d.x + m.m[4] * d.y};
    }

    // ---- The GUI frame.

    void GuiView::storePendingMousePosition(int x, int y)
    {
        const std::lock_guard<std::mutex> hold(pendingMouseLock);
        pendingMouseX = x;
        pendingMouseY = y;
        hasPendingMouse = true;
    }

    void GuiView::takePendingMousePosition()
    {
        int x = 0, y = 0;
        {
            const std::lock_guard<std::mutex> hold(pendingMouseLock);
            if (! hasPendingMouse)
                return;
            hasPendingMouse = false;
            x = pendingMouseX;
            y = pendingMouseY;
        }
        mouse.setMousePos(float(x), float(y), false);
    }

    void GuiView::begin()
    {
        lock.enter();
        takePendingMousePosition();
        mouse.preUpdate();
        update();
    }

    void GuiView::update()
    {
        fittingMatrix = vx::getFittingMatrix(workArea, fittedArea, true);
        recompute();
    }

    void GuiView::end()
    {
        mouse.postUpdate();
        lock.exit();
    }

    void GuiView::mouseDown(int x, int y, int button)
    {
        const ScopedLock hold(lock);
        mouse.setClickedState(true, button);
        mouse.setMousePos(float(x), float(y), false);
        storePendingMousePosition(x, y);
    }

    void GuiView::mouseUp(int x, int y, int button)
    {
        const ScopedLock hold(lock);
        mouse.setReleasedState(true, button);
        mouse.setMousePos(float(x), float(y), false);
        storePendingMousePosition(x, y);
    }

    void GuiView::mouseMove(int x, int y)
    {
        storePendingMousePosition(x, y);
    }

    // ---- Drawing in view units.

    void GuiView::drawCircle(const TVec2<float>& centre, float r) const
    {
        gfx::drawCircle(centre, r, 0, getXScale());
    }

    void GuiView::fillCircle(const TVec2<float>& centre, float r) const
    {
        gfx::fillCircle(centre, r, 0, getXScale());
    }

    void GuiView::drawEllipse(const TVec2<float>& centre, float rx, float ry) const
    {
        gfx::drawEllipse(centre, rx, ry, 0, getXScale());
    }

    void GuiView::fillEllipse(const TVec2<float>& centre, float rx, float ry) const
    {
        gfx::fillEllipse(centre, rx, ry, 0, getXScale());
    }

    void GuiView::drawRectPrecise(const RectT<float>& rect) const
    {
        RectT<float> r = rect;
        const float xs = getXScale();
        const float ys = getYScale();
        if (GfxInfo::VX_GFX_CARD_IS_NVIDIA)
        {
            r.x1 += xs;
            r.y2 -= ys;
        }
        else
        {
            r.x2 -= xs;
            r.y1 += ys;
        }
        gfx::drawRect(r.x1, r.y1, std::abs(r.x2 - r.x1), std::abs(r.y1 - r.y2));
    }

    void GuiView::draw(Renderer& renderer) const
    {
        renderer.fillRect(workArea, backgroundColor);
    }

    void GuiView::drawBackground() const
    {
        gfx::color(0.0f, 1.0f, 0.0f, 1.0f);
        gfx::drawRect(screenRect.x1, screenRect.y1, std::abs(screenRect.x2 - screenRect.x1),
                      std::abs(screenRect.y2 - screenRect.y1));
        gfx::color(1.0f, 0.0f, 0.0f, 1.0f);
        gfx::drawRect(fittedArea.x1, fittedArea.y1, std::abs(fittedArea.x2 - fittedArea.x1),
                      std::abs(fittedArea.y2 - fittedArea.y1));
    }

    // ---- Drawing at a fixed screen size.

    // The renderer's "within" drawing stops one unit short of the far edges;
    // here that unit is one screen pixel, so a handle keeps its pixel size at
    // every zoom.
    void GuiView::drawRectFixed(Renderer& renderer, const TVec2<float>& centre, float w, float h,
                                const Color& color) const
    {
        const TVec2<float> size = sizeToView({w, h});
        const TVec2<float> pixel = sizeToView({1.0f, 1.0f});
        const float x1 = centre.x - size.x / 2.0f;
        const float y1 = centre.y - size.y / 2.0f;
        renderer.draw(RectT<float>(x1, y1, x1 + size.x - pixel.x, y1 + size.y - pixel.y), color);
    }

    void GuiView::fillRectFixed(Renderer& renderer, const TVec2<float>& centre, float w, float h,
                                const Color& color) const
    {
        const TVec2<float> size = sizeToView({w, h});
        const TVec2<float> pixel = sizeToView({1.0f, 1.0f});
        const float x1 = centre.x - size.x / 2.0f;
        const float y1 = centre.y - size.y / 2.0f;
        renderer.fillRect(RectT<float>(x1, y1, x1 + size.x - pixel.x, y1 + size.y - pixel.y), color);
    }

    void GuiView::drawCircleFixed(Renderer& renderer, const TVec2<float>& centre, float r, const Color& color) const
    {
        renderer.drawCircle(centre.x, centre.y, toViewX(r), 0, color);
    }

    void GuiView::fillCircleFixed(Renderer& renderer, const TVec2<float>& centre, float r, const Color& color) const
    {
        renderer.fillCircle(centre.x, centre.y, toViewX(r), 0, color);
    }

    void GuiView::drawEllipseFixed(const TVec2<float>& centre, float rx, float ry) const
    {
        gfx::drawEllipse(centre, toViewX(rx), toViewY(ry), 0, getXScale());
    }

    void GuiView::fillEllipseFixed(const TVec2<float>& centre, float rx, float ry) const
    {
        gfx::fillEllipse(centre, toViewX(rx), toViewY(ry), 0, getXScale());
    }

    void GuiView::drawText(Renderer& renderer, const TVec2<float>& pos, const std::string& text,
                           const Color& color) const
    {
        if (const Font* font = gfx::getFont())
            drawText(renderer, *font, pos, text, color);
    }

    void GuiView::drawText(Renderer& renderer, const Font& font, const TVec2<float>& pos, const std::string& text,
                           const Color& color) const
    {
        const TVec2<float> s = toScreen(pos);
        const ScreenSpaceText screen(renderer);
        renderer.updateMatricesFromFFP();
        renderer.drawText(font, s.x, s.y, color, text);
    }

    void GuiView::drawTextCentered(Renderer& renderer, const Font& font, const TVec2<float>& pos,
                                   const std::string& text, const Color& color) const
    {
        const TVec2<float> s = toScreen(pos);
        renderer.pushMatrix();
        renderer.clearMatrices(true, true, false);
        renderer.drawText(font, s.x - font.getStringSize(text.c_str()) / 2.0f, s.y, color, text);
        renderer.popMatrix();
    }

    void GuiView::drawText(Renderer& renderer, const Font& font, const OrientedRect& r, const std::string& text,
                           const Color& color, const TVec2<float>& offset) const
    {
        const Matrix& basis = r.getBasis();
        const TVec2<float> s = toScreen(TVec2<float>(basis.m[6], basis.m[7]));
        const float width = font.getStringSize(text.c_str());
        renderer.pushMatrix();
        renderer.clearMatrices(true, true, false);
        renderer.setWorldMatrix(Matrix4x4::translation(s.x, s.y, 0.0f) * Matrix4x4::rotationZ(r.getOrientation()) *
                                Matrix4x4::translation(-width / 2.0f + offset.x, offset.y, 0.0f));
        renderer.drawText(font, 0.0f, 0.0f, color, text);
        renderer.popMatrix();
    }

    void GuiView::drawText(Renderer& renderer, const Font& font, const RectT<float>& r, const std::string& text,
                           const Color& color, const TVec2<float>& offset) const
    {
        const TVec2<float> s = toScreen(TVec2<float>((r.x1 + r.x2) / 2.0f, (r.y1 + r.y2) / 2.0f));
        const float width = font.getStringSize(text.c_str());
        const ScreenSpaceText screen(renderer);
        gfx::translate(s.x + offset.x, s.y + offset.y, 0.0f);
        gfx::translate(width / 2.0f, 0.0f, 0.0f);
        renderer.updateMatricesFromFFP();
        renderer.drawText(font, 0.0f, 0.0f, color, text);
    }

    void GuiView::drawCursor(Renderer& renderer, float size, const Color& color) const
    {
        drawCursor(renderer, getMousePos(), size, color);
    }

    void GuiView::drawCursor(Renderer& renderer, const TVec2<float>& pos, float size, const Color& color) const
    {
        const TVec2<float> s = toScreen(pos);
        renderer.pushMatrix();
        renderer.clearMatrices(true, true, false);
        renderer.drawLine({s.x - size / 2.0f, s.y}, {s.x + size / 2.0f, s.y}, color);
        renderer.drawLine({s.x, s.y - size / 2.0f}, {s.x, s.y + size / 2.0f}, color);
        renderer.popMatrix();
    }

    void GuiView::drawTexture(Renderer& renderer, const Texture* texture, const TVec2<float>& centre) const
    {
        if (texture == nullptr)
            return;
        const TVec2<float> size = sizeToView({float(texture->getWidth()), float(texture->getHeight())});
        renderer.drawTexture(*texture, centre.x - size.x / 2.0f, centre.y - size.y / 2.0f, size.x, size.y, false);
    }

    void GuiView::drawTexture(Renderer& renderer, const Texture* texture, const OrientedRect& r,
                              const TVec2<float>& scroll, const Color& albedo, const Color& emission) const
    {
        if (texture == nullptr)
            return;
        const TVec2<float> size = sizeToView({float(texture->getWidth()), float(texture->getHeight())});
        renderer.pushMatrix();
        renderer.setWorldMatrix(renderer.getMatrixStack().getWorldMatrix() * Matrix4x4(r.getBasis()) *
                                texture->buildMatrix(-size.x / 2.0f, -size.y / 2.0f, size.x, size.y, false));
        renderer.beginTextureDraw();
        renderer.setTextureDrawSettings(*texture, albedo, emission,
                                        texture->buildScrollVector(scroll.x, scroll.y, false));
        renderer.doTextureDraw();
        renderer.endTextureDraw();
        renderer.popMatrix();
    }

    void GuiView::drawTextureAt(Renderer& renderer, const Texture* texture, const TVec2<float>& pos, bool centreX,
                                bool centreY, const Color& albedo, const Color& emission) const
    {
        if (texture == nullptr)
            return;
        const TVec2<float> size = sizeToView({float(texture->getWidth()), float(texture->getHeight())});
        const float x = centreX ? pos.x - size.x / 2.0f : pos.x;
        const float y = centreY ? pos.y - size.y / 2.0f : pos.y;
        renderer.pushMatrix();
        renderer.setWorldMatrix(renderer.getMatrixStack().getWorldMatrix() *
                                texture->buildMatrix(x, y, size.x, size.y, false));
        renderer.beginTextureDraw();
        renderer.setTextureDrawSettings(*texture, albedo, emission, texture->buildScrollVector(0.0f, 0.0f, false));
        renderer.doTextureDraw();
        renderer.endTextureDraw();
        renderer.popMatrix();
    }

    void GuiView::drawImage(Renderer& renderer, Image& image, const TVec2<float>& pos, const Color& color) const
    {
        const float w = float(image.getWidth());
        const float h = float(image.getHeight());
        const TVec2<float> s = toScreen(pos);
        // Whole pixels: the image is drawn 1:1 and must not be resampled.
        const float cx = std::floor(s.x - w / 2.0f + 0.5f) + w / 2.0f;
        const float cy = std::floor(s.y - h / 2.0f + 0.5f) + h / 2.0f;
        const Matrix4x4& worldView = renderer.getMatrixStack().getWorldViewMatrix();
        const float angle = -std::atan2(-worldView.m[1], worldView.m[0]);
        renderer.pushMatrix();
        renderer.clearMatrices(true, true, false);
        renderer.setWorldMatrix(Matrix4x4::translation(cx, cy, 0.0f) * Matrix4x4::rotationZ(angle) *
                                Matrix4x4::translation(-w / 2.0f, -h / 2.0f, 0.0f));
        image.draw(renderer, 0.0f, 0.0f, w, h, false, color);
        renderer.popMatrix();
    }

    // ---- Hit tests.

    bool GuiView::isPointInCircleFixed(const TVec2<float>& p, const TVec2<float>& centre, float r) const
    {
        const float rv = toViewX(r);
        return rv * rv >= (p - centre).squareLength();
    }

    bool GuiView::isPointInRectFixed(const TVec2<float>& p, const TVec2<float>& centre, float w, float h) const
    {
        const float wv = toViewX(w);
        const float hv = toViewX(h);
        const float x1 = centre.x - wv / 2.0f;
        const float y1 = centre.y - hv / 2.0f;
        return x1 < p.x && p.x < x1 + wv && y1 < p.y && p.y < y1 + hv;
    }

    bool GuiView::isPointOverImage(const TVec2<float>& p, const Image& image, const TVec2<float>& imagePos) const
    {
        const float xs = getXScale();
        const float px = float(image.getWidth() / 2) + (p.x - imagePos.x) * xs;
        const float py = float(image.getHeight() / 2) + (p.y - imagePos.y) * xs;
        if (! std::isfinite(px) || ! std::isfinite(py) || std::abs(px) > 1.0e9f || std::abs(py) > 1.0e9f)
            return false;
        // Rounded down: a point just left of or above the image is not on
        // its first column or row.
        return image.getPixel(int(std::floor(px)), int(std::floor(py))).a > 0.0f;
    }

    float GuiView::attenuation(const TVec2<float>& a, const TVec2<float>& b, float offset, float range)
    {
        const double distance = double((a - b).length()) - double(offset);
        // No range: full within the offset, the minimum beyond (not 0 / 0).
        if (! (range > 0.0f))
            return distance <= 0.0 ? 1.0f : minAttenuation;
        const double d = std::min(std::max(distance, 0.0), double(range));
        const double falloff = 1.0 - d / double(range);
        return float((1.0 - double(minAttenuation)) * std::pow(falloff, double(attenuationPower)) +
                     double(minAttenuation));
    }

} // namespace vx
