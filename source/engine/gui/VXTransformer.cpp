#include "engine/gui/VXTransformer.h"

#include <algorithm>
#include <cmath>

#include "core/VXColor.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gui/VXGuiView.h"

namespace vx
{
    namespace
    {
        using Matrix = Transformer::Matrix;
        using Vec = TVec2<float>;

        constexpr float degreesPerRadian = 57.29577f;
        constexpr float radiansPerDegree = 0.017453f;
        constexpr float inverseEpsilon = 4.37114e-5f;
        constexpr float smallestFactor = 0.001f;
        constexpr float attenuationRange = 200.0f;

        const Vec cornerSigns[4] = {{-1.0f, -1.0f}, {1.0f, -1.0f}, {1.0f, 1.0f}, {-1.0f, 1.0f}};
        const Vec edgeSigns[4] = {{0.0f, -1.0f}, {1.0f, 0.0f}, {0.0f, 1.0f}, {-1.0f, 0.0f}};

        Matrix translation(const Vec& v)
        {
            Matrix t;
            return t.translate(v);
        }

        Matrix rotationRadians(float angle)
        {
            Matrix r;
            return r.rotate(angle);
        }

        Matrix scaling(const Vec& f)
        {
            Matrix k;
            k.m[0] = f.x;
            k.m[4] = f.y;
            return k;
        }

        Vec mul(const Vec& a, const Vec& b)
        {
            return {a.x * b.x, a.y * b.y};
        }
    }

    Transformer::Transformer()
    {
        resetCorners();
    }

    Transformer::~Transformer() = default;

    Vec Transformer::getCenter() const
    {
        const Matrix& basis = rect.getBasis();
        return {basis.m[6], basis.m[7]};
    }

    void Transformer::resetCorners()
    {
        corners = rect.getCorners();
    }

    // ---- Handles.

    void Transformer::drawCornerDragger(Renderer& renderer, const GuiView& view, const Vec& pos, bool filled,
                                        const Color& color)
    {
        const float size = getCornerDraggerSize();
        if (filled)
            view.fillRectFixed(renderer, pos, size, size, color);
        else
            view.drawRectFixed(renderer, pos, size, size, color);
    }

    void Transformer::drawEdgeDragger(Renderer& renderer, const GuiView& view, const Vec& pos, bool filled,
                                      const Color& color)
    {
        const float size = getEdgeDraggerSize();
        if (filled)
            view.fillRectFixed(renderer, pos, size, size, color);
        else
            view.drawRectFixed(renderer, pos, size, size, color);
    }

    void Transformer::drawRotationDragger(Renderer& renderer, const GuiView& view, const Vec& pos, bool filled,
                                          const Color& color)
    {
        const float radius = getRotationDraggerSize() * 0.5f;
        if (filled)
            view.fillCircleFixed(renderer, pos, radius, color);
        else
            view.drawCircleFixed(renderer, pos, radius, color);
    }

    bool Transformer::testCornerDragger(const GuiView& view, const Vec& point, const Vec& dragger) const
    {
        return view.isPointInRectFixed(point, dragger, getCornerDraggerSize(), getCornerDraggerSize());
    }

    bool Transformer::testEdgeDragger(const GuiView& view, const Vec& point, const Vec& dragger) const
    {
        return view.isPointInRectFixed(point, dragger, getEdgeDraggerSize(), getEdgeDraggerSize());
    }

    bool Transformer::testRotationDragger(const GuiView& view, const Vec& point, const Vec& dragger) const
    {
        return view.isPointInCircleFixed(point, dragger, getRotationDraggerSize() * 0.5f);
    }

    bool Transformer::isEdgeLongEnough(int i, float len) const
    {
        if (corners.size() != 4 || i < 0 || i > 3)
            return false;
        return (corners[size_t(i)] - corners[size_t((i + 1) % 4)]).length() > 2.0f * len;
    }

    std::vector<Vec> Transformer::getCornerDraggers() const
    {
        const RectT<float> e = rect.getCenteredExtents();
        return {{e.x1, e.y1}, {e.x2, e.y1}, {e.x2, e.y2}, {e.x1, e.y2}};
    }

    std::vector<Vec> Transformer::getEdgeDraggers() const
    {
        const RectT<float> e = rect.getCenteredExtents();
        const float w = e.x2 - e.x1;
        const float h = e.y2 - e.y1;
        return {{e.x1 + w / 2.0f, e.y1}, {e.x2, e.y1 + h / 2.0f}, {e.x1 + w / 2.0f, e.y2}, {e.x1, e.y1 + h / 2.0f}};
    }

    int Transformer::testDraggers(const GuiView& view, const std::vector<Vec>& draggers, const Vec& point,
                                  bool cornerDraggers) const
    {
        Matrix inverse = rect.getBasis();
        inverse.invert(inverseEpsilon);
        Vec local = inverse * point;
        local.x *= std::sqrt(inverse.m[0] * inverse.m[0] + inverse.m[1] * inverse.m[1]);
        local.y *= std::sqrt(inverse.m[3] * inverse.m[3] + inverse.m[4] * inverse.m[4]);
        const float r = view.toView(getRotationDraggerSize() * 0.5f);
        for (int i = 0; i < 4 && size_t(i) < draggers.size(); ++i)
        {
            if (cornerDraggers)
            {
                if (testCornerDragger(view, local, draggers[size_t(i)]))
                    return i;
                if (rotationEnabled && testRotationDragger(view, local, draggers[size_t(i)]))
                    return i + 4;
            }
            else if (isEdgeLongEnough(i, r) && testEdgeDragger(view, local, draggers[size_t(i)]))
                return i;
        }
        return -1;
    }

    int Transformer::setModeAndGetDragger(int i)
    {
        if (i < 0)
            return -1;
        if (i >= 4)
        {
            mode = modeRotate;
            return i - 4;
        }
        mode = modeScale;
        return i;
    }

    bool Transformer::isPointInHandles(const GuiView& view, const Vec& point) const
    {
        return testDraggers(view, getCornerDraggers(), point, true) >= 0 ||
               testDraggers(view, getEdgeDraggers(), point, false) >= 0;
    }

    bool Transformer::isPointIn(const GuiView& view, const Vec& point) const
    {
        return rect.isPointIn(point) || isPointInHandles(view, point);
    }

    // ---- Setting the rectangle.

    void Transformer::setFromRect(const RectT<float>& r)
    {
        rect = OrientedRect(r);
        resetCorners();
    }

    void Transformer::setFromPoints(const std::vector<Vec>& points)
    {
        rect.compute(points);
        resetCorners();
    }

    void Transformer::setOrientedRect(const OrientedRect& r)
    {
        rect = r;
        resetCorners();
    }

    void Transformer::setRotation(float degrees)
    {
        if (! std::isfinite(degrees))
            return;
        rotate(degrees - rect.getOrientation() * degreesPerRadian);
        applyInteractionMatrix();
    }

    void Transformer::setSize(float w, float h)
    {
        if (rect.getWidth() == 0.0f || rect.getHeight() == 0.0f)
            return;
        scale(getCenter(), Vec(w - rect.getWidth(), h - rect.getHeight()), true);
        applyInteractionMatrix();
    }

    void Transformer::setTopLeft(float x, float y)
    {
        translate(Vec(x, y) - rect.getTopLeftCorner(), true);
        applyInteractionMatrix();
    }

    void Transformer::setCenter(float x, float y)
    {
        translate(Vec(x, y) - getCenter(), true);
        applyInteractionMatrix();
    }

    void Transformer::transformInto(const OrientedRect& target)
    {
        if (rect.getWidth() == 0.0f || rect.getHeight() == 0.0f)
            return;
        const Matrix& targetBasis = target.getBasis();
        const Vec targetCentre(targetBasis.m[6], targetBasis.m[7]);
        const Vec f(target.getWidth() / rect.getWidth(), target.getHeight() / rect.getHeight());
        // Sized in the rectangle's own axes, between turning it upright and
        // turning it to the target's angle: scaled in screen axes instead, a
        // turned rectangle of another aspect would be sheared.
        interaction = translation(targetCentre) * rotationRadians(target.getOrientation()) * scaling(f) *
                      rotationRadians(-rect.getOrientation()) * translation(-getCenter());
        applyInteractionMatrix();
    }

    void Transformer::applyInteractionMatrix()
    {
        lastTransform = interaction;
        transformPending = true;
        rect.applyMatrix(interaction, true);
        rotation = rect.getOrientation();
        scaleFactors = {1.0f, 1.0f};
        interaction = Matrix();
        resetCorners();
    }

    Matrix Transformer::consumeTransform()
    {
        const Matrix transform = lastTransform;
        lastTransform = Matrix();
        return transform;
    }

    OrientedRect Transformer::getTransformedOrientedRect() const
    {
        OrientedRect preview(rect);
        preview.applyMatrix(interaction, true);
        return preview;
    }

    // ---- Interaction.

    void Transformer::checkMode(const GuiView& view, const Vec& p)
    {
        const int oldMode = mode;
        mode = modeNone;
        cornerIndex = -1;
        edgeIndex = -1;
        cornerIndex = setModeAndGetDragger(testDraggers(view, getCornerDraggers(), p, true));
        if (mode == modeNone)
        {
            edgeIndex = testDraggers(view, getEdgeDraggers(), p, false);
            if (edgeIndex >= 0)
                mode = modeScale;
        }
        if (mode == modeNone && rect.isPointIn(p))
            mode = modeTranslate;
        if (mode != oldMode)
            dragStart = view.getMousePos();
    }

    bool Transformer::updateMode(const GuiView& view, const Vec& p)
    {
        transformPending = false;
        const Mouse& mouse = view.getMouse();
        if (mouse.buttonClicked(Mouse::leftButton))
        {
            checkMode(view, p);
            interaction = Matrix();
        }
        else if (mouse.buttonReleased(Mouse::leftButton))
        {
            mode = modeNone;
            cornerIndex = -1;
            edgeIndex = -1;
            applyInteractionMatrix();
            return true;
        }
        else if (! mouse.isButtonDown(Mouse::leftButton))
            checkMode(view, p);
        return false;
    }

    int Transformer::handleInteraction(const GuiView& view, bool snap)
    {
        const Mouse& mouse = view.getMouse();
        if (mouse.buttonClicked(Mouse::leftButton) || mouse.doubleClicked(Mouse::leftButton))
            dragStart = view.getMousePos();
        pixelSize = view.sizeToView(Vec(1.0f, 1.0f));
        snapping = snap;
        snapper.resetSnaps();

        const Vec m = view.getMousePos();
        corners = rect.getCorners();
        for (Vec& c : corners)
            c = interaction * c;

        if (updateMode(view, m))
        {
            transformPending = true;
            return applied;
        }
        if (! view.getKeyboard().isModifierDown(Keyboard::commandModifier))
            setCursor(view);
        if (mode == modeNone || ! mouse.isButtonDown(Mouse::leftButton))
            return idle;
        switch (mode)
        {
            case modeRotate:
                updateModeRotate(view, m);
                break;
            case modeScale:
                updateModeScale(view, m);
                break;
            default:
                updateModeTranslate(view, m);
                break;
        }
        return dragging;
    }

    void Transformer::updateModeTranslate(const GuiView& view, const Vec& mouse)
    {
        Vec m = mouse;
        if (snapping)
        {
            dragStart = {std::round(dragStart.x), std::round(dragStart.y)};
            m = {std::round(m.x), std::round(m.y)};
        }
        Vec d = m - dragStart;
        if (view.getKeyboard().isModifierDown(Keyboard::shiftModifier))
        {
            if (std::abs(d.x) > std::abs(d.y))
                d.y = 0.0f;
            else if (std::abs(d.y) > std::abs(d.x))
                d.x = 0.0f;
        }
        if (d == Vec())
            return;
        translate(d, false);
    }

    void Transformer::translate(Vec d, bool forced)
    {
        if (! forced)
        {
            if (constrainToBounds && rect.isOrthogonal())
                d = constrainTranslation(d);
            if (snapping)
                snapper.snapTranslation(Polygon(rect.getCorners()), d, pixelSize);
        }
        interaction = translation(d);
    }

    Vec Transformer::constrainTranslation(Vec d) const
    {
        for (const Vec& c : rect.getCorners())
        {
            const Vec p = c + d;
            if (p.x < bounds.x1)
                d.x += bounds.x1 - p.x;
            if (p.x > bounds.x2)
                d.x += bounds.x2 - p.x;
            if (p.y < bounds.y1)
                d.y += bounds.y1 - p.y;
            if (p.y > bounds.y2)
                d.y += bounds.y2 - p.y;
        }
        return d;
    }

    void Transformer::updateModeScale(const GuiView& view, const Vec& mouse)
    {
        const Keyboard& keys = view.getKeyboard();
        proportional = keys.isModifierDown(Keyboard::shiftModifier);
        const bool aboutCentre = keys.isModifierDown(Keyboard::altModifier);
        Vec m = mouse;
        if (snapping)
        {
            dragStart = {std::round(dragStart.x), std::round(dragStart.y)};
            m = {std::round(m.x), std::round(m.y)};
        }
        const Vec d = m - dragStart;
        if (d == Vec())
            return;

        // The drag in the rectangle's own axes.
        Matrix toRect = rect.getOrientationMatrix();
        toRect.invert(inverseEpsilon);
        const Vec l = toRect * d;
        const std::vector<Vec> rectCorners = rect.getCorners();
        const float aspect = rect.getAspectRatio();
        const float inverseAspect = rect.getAspectRatioInverted();
        Vec anchor = getCenter();
        Vec s;

        if (edgeIndex >= 0)
        {
            const int e = edgeIndex;
            s = mul(l, edgeSigns[e]);
            float t = s.x + s.y;
            const auto makeProportional = [&](float amount)
            { return (e == 1 || e == 3) ? Vec(amount, amount * inverseAspect) : Vec(amount * aspect, amount); };
            if (! aboutCentre)
            {
                anchor = rectCorners[size_t((e + 2) % 4)];
                if (proportional)
                {
                    anchor = (rectCorners[size_t((e + 2) % 4)] + rectCorners[size_t((e + 3) % 4)]) * 0.5f;
                    s = makeProportional(t);
                }
            }
            else
            {
                s = s * 2.0f;
                if (proportional)
                {
                    t = 2.0f * t;
                    s = makeProportional(t);
                }
            }
        }
        else if (cornerIndex >= 0)
        {
            const int c = cornerIndex;
            const Vec g = cornerSigns[c];
            s = mul(l, g);
            if (! aboutCentre)
            {
                anchor = rectCorners[size_t((c + 2) % 4)];
                if (proportional)
                {
                    const float k = std::max(s.x, s.y);
                    s = {k, k * inverseAspect};
                }
            }
            else if (! proportional)
                s = s * 2.0f;
            else
            {
                const Matrix& mr = toRect;
                const float b = mr.m[0] * g.x + mr.m[3] * g.y + mr.m[6];
                const float a = mr.m[1] * g.x + mr.m[4] * g.y + mr.m[7];
                const float k = 0.5f * (b * d.x + a * d.y);
                s = {4.0f * k, 4.0f * k * inverseAspect};
            }
        }
        else
            return;
        scale(anchor, s, false);
    }

    void Transformer::scale(const Vec& anchor, const Vec& s, bool forced)
    {
        const float w = rect.getWidth();
        const float h = rect.getHeight();
        // A side of no length has no factor that reaches the new size: the
        // interaction stays as it was.
        if (w == 0.0f || h == 0.0f)
            return;
        Vec f((w + s.x) / w, (h + s.y) / h);
        if (! std::isfinite(f.x) || ! std::isfinite(f.y))
            return;
        if (! forced)
        {
            if (constrainToBounds)
                f = constrainScale(anchor, f);
            if (snapping && edgeIndex >= 0)
                snapper.snapScaleEdge(Polygon(rect.getCorners()), unsigned(edgeIndex), anchor, f, pixelSize,
                                      proportional);
            else if (snapping && cornerIndex >= 0)
                snapper.snapScaleCorner(Polygon(rect.getCorners()), unsigned(cornerIndex), anchor, f, pixelSize,
                                        proportional);
        }
        if (f.x == 0.0f)
            f.x = smallestFactor;
        if (f.y == 0.0f)
            f.y = smallestFactor;
        scaleFactors = f;
        const float angle = rect.getOrientation();
        interaction =
            translation(anchor) * rotationRadians(angle) * scaling(f) * rotationRadians(-angle) * translation(-anchor);
    }

    Vec Transformer::constrainScale(const Vec& anchor, const Vec& f) const
    {
        float gx = 1.0f, gy = 1.0f;
        const auto limit = [](float& g, float edge, float anchorValue, float p)
        {
            const float divisor = p - anchorValue;
            g = std::min(g, divisor != 0.0f ? (edge - anchorValue) / divisor : 1.0f);
        };
        for (const Vec& c : rect.getCorners())
        {
            const Vec p = mul(c - anchor, f) + anchor;
            if (p.x > bounds.x2)
                limit(gx, bounds.x2, anchor.x, p.x);
            if (p.x < bounds.x1)
                limit(gx, bounds.x1, anchor.x, p.x);
            if (p.y > bounds.y2)
                limit(gy, bounds.y2, anchor.y, p.y);
            if (p.y < bounds.y1)
                limit(gy, bounds.y1, anchor.y, p.y);
        }
        return {f.x * gx, f.y * gy};
    }

    void Transformer::updateModeRotate(const GuiView& view, const Vec& m)
    {
        const Vec c = getCenter();
        const Vec a = dragStart - c;
        const Vec b = m - c;
        float angle = std::atan2(a.x * b.y - a.y * b.x, a.x * b.x + a.y * b.y) * degreesPerRadian;
        if (view.getKeyboard().isModifierDown(Keyboard::shiftModifier))
            angle = std::floor(angle / 45.0f + 0.5f) * 45.0f;
        else if (rotationStep != 0.0f)
            angle = std::floor(angle / rotationStep + 0.5f) * rotationStep;
        rotate(angle);
    }

    void Transformer::rotate(float degrees)
    {
        // A non-finite angle would never come into range: the interaction
        // stays as it was.
        if (! std::isfinite(degrees))
            return;
        if (degrees < -180.0f || degrees > 180.0f)
        {
            degrees = std::fmod(degrees, 360.0f);
            if (degrees > 180.0f)
                degrees -= 360.0f;
            else if (degrees < -180.0f)
                degrees += 360.0f;
        }
        const Vec c = getCenter();
        interaction = translation(c) * rotationRadians(degrees * radiansPerDegree) * translation(-c);
    }

    // ---- Drawing.

    void Transformer::draw(Renderer& renderer, const GuiView& view, int)
    {
        const Vec m = view.getMousePos();
        const float r = view.toViewX(getRotationDraggerSize());
        // Edge handles are drawn exactly where testDraggers offers them.
        const float edgeReach = view.toViewX(getRotationDraggerSize() * 0.5f);
        const Matrix frame = interaction * rect.getBasis();
        const std::vector<Vec> rectCorners = rect.getCorners();
        for (const Vec& corner : rectCorners)
        {
            const Vec c = interaction * corner;
            drawRotationDragger(renderer, view, c, false, Color(GuiView::attenuation(c, m, r, attenuationRange)));
        }
        {
            // Handles in the rectangle's own frame, so they turn with it.
            const GuiView inFrame(view, frame);
            renderer.updateMatricesFromFFP();
            const std::vector<Vec> cornerDraggers = getCornerDraggers();
            const std::vector<Vec> edgeDraggers = getEdgeDraggers();
            renderer.drawLineLoop(cornerDraggers, Widget::colors::outline);
            for (int i = 0; i < 4; ++i)
            {
                const Vec& corner = cornerDraggers[size_t(i)];
                drawCornerDragger(renderer, inFrame, corner, false,
                                  Color(GuiView::attenuation(frame * corner, m, r, attenuationRange)));
                if (isEdgeLongEnough(i, edgeReach))
                {
                    const Vec& edge = edgeDraggers[size_t(i)];
                    drawEdgeDragger(renderer, inFrame, edge, false,
                                    Color(GuiView::attenuation(frame * edge, m, r, attenuationRange)));
                }
            }
            if (edgeIndex >= 0 && edgeIndex < 4)
                drawEdgeDragger(renderer, inFrame, edgeDraggers[size_t(edgeIndex)], true, Color::white);
            if (cornerIndex >= 0 && cornerIndex < 4)
            {
                if (mode == modeRotate)
                    drawRotationDragger(renderer, inFrame, cornerDraggers[size_t(cornerIndex)], true, Color::white);
                else
                    drawCornerDragger(renderer, inFrame, cornerDraggers[size_t(cornerIndex)], true, Color::white);
            }
        }
        renderer.updateMatricesFromFFP();
        if ((mode == modeTranslate || mode == modeScale) && view.getMouse().isButtonDown(Mouse::leftButton) &&
            ! snapper.isSnapGridEnabled())
            snapper.drawSnaps(renderer, Widget::colors::snapper);
    }

} // namespace vx
