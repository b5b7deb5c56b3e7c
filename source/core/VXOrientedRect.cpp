#include "core/VXOrientedRect.h"

#include "core/VXPolygonUtils.h"

#include <algorithm>
#include <cmath>

namespace vx
{

    namespace
    {

        using Mat3 = TMatrix3x3<float>;

        Mat3 translation(const TVec2<float>& v)
        {
            Mat3 t;
            return t.translate(v);
        }

        Mat3 rotation(float angle)
        {
            Mat3 r;
            return r.rotate(angle);
        }

        Mat3 scaling(float sx, float sy)
        {
            Mat3 k;
            k.m[0] = sx;
            k.m[4] = sy;
            return k;
        }

        // Epsilon under which a rectangle matrix counts as degenerate when inverted.
        constexpr float inverseEpsilon = 4.37114e-5f;
        // Orientations taken from a transform are rounded to 0.01 degree (the engine's degree factor).
        constexpr double orientationQuantum = 0.00017453;

    } // namespace

    OrientedRect::OrientedRect() = default;

    OrientedRect::OrientedRect(const RectT<float>& rect)
    {
        fromRect(rect);
    }

    void OrientedRect::reset()
    {
        *this = OrientedRect();
    }

    void OrientedRect::fromRect(const RectT<float>& rect)
    {
        compute(rect.getCorners());
    }

    std::vector<TVec2<float>> OrientedRect::getCorners() const
    {
        const TVec2<float> c = getCenter();
        const TVec2<float> u = TVec2<float>(basis.m[0], basis.m[1]) * (width * 0.5f);
        const TVec2<float> v = TVec2<float>(basis.m[3], basis.m[4]) * (height * 0.5f);
        return {c - u - v, c + u - v, c + u + v, c - u + v};
    }

    TVec2<float> OrientedRect::getTopLeftCorner() const
    {
        return getCorners()[0];
    }

    float OrientedRect::getAspectRatio() const
    {
        return width / height;
    }

    float OrientedRect::getAspectRatioInverted() const
    {
        return 1.0f / (width / height);
    }

    RectT<float> OrientedRect::getRect() const
    {
        RectT<float> bounds;
        const std::vector<TVec2<float>> corners = getCorners();
        for (int i = 0; i < 4; ++i)
            bounds.addPoint(corners[size_t(i)].x, corners[size_t(i)].y, i, false);
        return bounds;
    }

    RectT<float> OrientedRect::getCenteredExtents() const
    {
        const float left = -width / 2.0f;
        const float top = -height / 2.0f;
        return {left, top, left + width, top + height};
    }

    TMatrix3x3<float> OrientedRect::getOrientationMatrix() const
    {
        return rotation(orientation);
    }

    TMatrix3x3<float> OrientedRect::translate(const TVec2<float>& v)
    {
        const Mat3 m = translation(v);
        applyMatrix(m, false);
        return m;
    }

    TMatrix3x3<float> OrientedRect::rotate(float angle)
    {
        orientation += angle;
        const TVec2<float> c = getCenter();
        const Mat3 m = translation(c) * rotation(angle) * translation(-c);
        applyMatrix(m, false);
        return m;
    }

    TMatrix3x3<float> OrientedRect::scale(const TVec2<float>& anchor, float sx, float sy)
    {
        const Mat3 m = translation(anchor) * rotation(orientation) * scaling(sx, sy) * rotation(-orientation) *
                       translation(-anchor);
        applyMatrix(m, false);
        return m;
    }

    TMatrix3x3<float> OrientedRect::scale(float sx, float sy)
    {
        return scale(getCenter(), sx, sy);
    }

    TMatrix3x3<float> OrientedRect::scaleOffset(const TVec2<float>& anchor, const TVec2<float>& offset)
    {
        // A zero side has no scale factor that would reach the new length.
        if (width == 0.0f || height == 0.0f)
            return Mat3();
        const auto newLength = [](float length, float delta)
        {
            const float grown = length + delta;
            if (std::abs(grown) < 1.0f)
                return delta < 0.0f ? -1.0f : 1.0f;
            return grown;
        };
        return scale(anchor, newLength(width, offset.x) / width, newLength(height, offset.y) / height);
    }

    TMatrix3x3<float> OrientedRect::setWidth(float w)
    {
        if (width == 0.0f)
            return Mat3();
        return scale(w / width, 1.0f);
    }

    TMatrix3x3<float> OrientedRect::setHeight(float h)
    {
        if (height == 0.0f)
            return Mat3();
        return scale(1.0f, h / height);
    }

    TMatrix3x3<float> OrientedRect::setCenter(const TVec2<float>& p)
    {
        return translate(p - getCenter());
    }

    TMatrix3x3<float> OrientedRect::setCenterX(float x)
    {
        return translate({x - getCenter().x, 0.0f});
    }

    TMatrix3x3<float> OrientedRect::setCenterY(float y)
    {
        return translate({0.0f, y - getCenter().y});
    }

    void OrientedRect::applyMatrix(const TMatrix3x3<float>& m, bool takeOrientation)
    {
        basis = m * basis;
        TVec2<float> u(basis.m[0], basis.m[1]);
        TVec2<float> v(basis.m[3], basis.m[4]);
        const float lu = u.length();
        const float lv = v.length();
        width *= lu;
        height *= lv;
        // A transform that collapses an axis leaves it zero instead of dividing by 0.
        if (lu > 0.0f)
            u /= lu;
        if (lv > 0.0f)
            v /= lv;
        basis.m[0] = u.x;
        basis.m[1] = u.y;
        basis.m[3] = v.x;
        basis.m[4] = v.y;
        const std::vector<TVec2<float>> corners = getCorners();

        if (takeOrientation)
        {
            TVec2<float> axis = u;
            if (axis.x * v.y - axis.y * v.x < 0.0f)
                axis = -axis;
            const double angle = std::atan2(double(axis.y), double(axis.x));
            orientation = float(orientationQuantum * std::floor(angle / orientationQuantum + 0.5));
        }
        compute(corners);
    }

    void OrientedRect::applyTransform(const TMatrix3x3<float>& m)
    {
        transform = m;
        applyTransform();
    }

    void OrientedRect::applyTransform()
    {
        applyMatrix(transform, true);
        transform = Mat3();
    }

    OrientedRect OrientedRect::getTransformed() const
    {
        OrientedRect copy(*this);
        copy.applyTransform();
        return copy;
    }

    void OrientedRect::setOrientation(float angle)
    {
        const std::vector<TVec2<float>> corners = getCorners();
        orientation = angle;
        compute(corners);
    }

    void OrientedRect::setBasis(const TVec2<float>& centre)
    {
        basis = translation(centre) * rotation(orientation);
    }

    void OrientedRect::compute(const std::vector<TVec2<float>>& points)
    {
        if (points.empty())
        {
            basis = Mat3();
            return;
        }
        const Mat3 r = rotation(orientation);
        const auto toFrame = [&r](const TVec2<float>& p)
        { return TVec2<float>(r.m[0] * p.x + r.m[1] * p.y, r.m[3] * p.x + r.m[4] * p.y); };
        TVec2<float> lo = toFrame(points[0]);
        TVec2<float> hi = lo;
        for (size_t i = 1; i < points.size(); ++i)
        {
            const TVec2<float> q = toFrame(points[i]);
            lo.x = std::min(lo.x, q.x);
            lo.y = std::min(lo.y, q.y);
            hi.x = std::max(hi.x, q.x);
            hi.y = std::max(hi.y, q.y);
        }
        width = std::abs(hi.x - lo.x);
        height = std::abs(hi.y - lo.y);
        const TVec2<float> frameCentre(lo.x + width * 0.5f, lo.y + height * 0.5f);
        const TVec2<float> centre(r.m[0] * frameCentre.x + r.m[3] * frameCentre.y,
                                  r.m[1] * frameCentre.x + r.m[4] * frameCentre.y);
        setBasis(centre);
    }

    TMatrix3x3<float> OrientedRect::getRectMatrix() const
    {
        return translation(getTopLeftCorner()) * rotation(orientation) * scaling(width, height);
    }

    TMatrix3x3<float> OrientedRect::getTransformationInto(const OrientedRect& other) const
    {
        Mat3 inverse = getRectMatrix();
        inverse.invert(inverseEpsilon);
        return other.getRectMatrix() * inverse;
    }

    TMatrix3x3<float> OrientedRect::getFittingMatrix(const RectT<float>& dst) const
    {
        const float dstWidth = std::abs(dst.x2 - dst.x1);
        const float dstHeight = std::abs(dst.y2 - dst.y1);
        if (dstWidth == 0.0f || dstHeight == 0.0f)
            return Mat3();
        RectT<float> fitted = dst;
        fitted.fitProportional(getCenteredExtents(), true);
        const float kx = std::abs(fitted.x2 - fitted.x1) / dstWidth;
        const float ky = std::abs(fitted.y2 - fitted.y1) / dstHeight;
        const TVec2<float> dstCentre((dst.x1 + dst.x2) / 2.0f, (dst.y1 + dst.y2) / 2.0f);
        return translation(getCenter()) * scaling(kx, ky) * rotation(orientation) * translation(-dstCentre);
    }

    bool OrientedRect::isPointIn(const TVec2<float>& p) const
    {
        const std::vector<TVec2<float>> corners = getCorners();
        return pointInPoly(4, corners.data(), p);
    }

    bool OrientedRect::intersects(const OrientedRect& other) const
    {
        const TVec2<float> ax = TVec2<float>(basis.m[0], basis.m[1]).normalized();
        const TVec2<float> ay = TVec2<float>(basis.m[3], basis.m[4]).normalized();
        const TVec2<float> bx = TVec2<float>(other.basis.m[0], other.basis.m[1]).normalized();
        const TVec2<float> by = TVec2<float>(other.basis.m[3], other.basis.m[4]).normalized();
        const TVec2<float> hx = ax * (width / 2.0f);
        const TVec2<float> hy = ay * (height / 2.0f);
        const TVec2<float> kx = bx * (other.width / 2.0f);
        const TVec2<float> ky = by * (other.height / 2.0f);
        const TVec2<float> d = other.getCenter() - getCenter();
        for (const TVec2<float>& t : {ax, ay, bx, by})
        {
            const double reach = double(std::abs(hx.dot(t))) + double(std::abs(hy.dot(t))) +
                                 double(std::abs(kx.dot(t))) + double(std::abs(ky.dot(t)));
            if (double(std::abs(d.dot(t))) > reach)
                return false;
        }
        return true;
    }

    bool OrientedRect::isOrthogonal() const
    {
        const TVec2<float> u = TVec2<float>(basis.m[0], basis.m[1]).normalized();
        const TVec2<float> v = TVec2<float>(basis.m[3], basis.m[4]).normalized();
        return std::abs(u.x) < 1.0e-5f || std::abs(v.x) < 1.0e-5f;
    }

} // namespace vx
