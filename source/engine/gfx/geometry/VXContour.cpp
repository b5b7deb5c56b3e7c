#include "engine/gfx/geometry/VXContour.h"

#include "core/VXCurveUtils.h"
#include "core/VXMathUtils.h"
#include "core/VXSolvers.h"

#include <algorithm>
#include <cmath>

namespace vx
{

    const int Contour::segmentTypePointCounts[4] = {1, 3, 0, 0};

    namespace
    {
        // Points of one cubic, lines as their own ends.
        struct Cubic
        {
            TVec2<float> p0, p1, p2, p3;
        };

        TVec2<float> lerp(const TVec2<float>& a, const TVec2<float>& b, float t)
        {
            return a * (1.0f - t) + b * t;
        }

        TVec2<float> bezier(const Cubic& c, float t)
        {
            const float u = 1.0f - t;
            return c.p0 * (u * u * u) + c.p1 * (3.0f * t * u * u) + c.p2 * (3.0f * t * t * u) + c.p3 * (t * t * t);
        }

        float square(float v)
        {
            return v * v;
        }

        TVec2<float> mid(const TVec2<float>& a, const TVec2<float>& b)
        {
            return (a + b) * 0.5f;
        }

        // Adaptive subdivision of one cubic: emits points where the curve
        // departs from its chord by more than the tolerance (tau is its square).
        void subdivideCubic(float tau, const TVec2<float>& p1, const TVec2<float>& p2, const TVec2<float>& p3,
                            const TVec2<float>& p4, int level, std::vector<TVec2<float>>& out)
        {
            if (level >= 18)
                return;
            const TVec2<float> p12 = mid(p1, p2), p23 = mid(p2, p3), p34 = mid(p3, p4);
            const TVec2<float> p123 = mid(p12, p23), p234 = mid(p23, p34);
            const TVec2<float> p1234 = mid(p123, p234);

            const float dx = p4.x - p1.x;
            const float dy = p4.y - p1.y;
            float d2 = std::fabs((p2.x - p4.x) * dy - (p2.y - p4.y) * dx);
            float d3 = std::fabs((p3.x - p4.x) * dy - (p3.y - p4.y) * dx);
            const bool significant2 = d2 > 1e-7f;
            const bool significant3 = d3 > 1e-7f;
            const float chord2 = dx * dx + dy * dy;

            if (! significant2 && ! significant3)
            {
                // All collinear (or p1 = p4).
                const float k = dx * dx + dy * dy;
                if (k == 0.0f)
                {
                    d2 = (p2 - p1).squareLength();
                    d3 = (p3 - p4).squareLength();
                }
                else
                {
                    d2 = ((p2.x - p1.x) * dx + (p2.y - p1.y) * dy) / k;
                    d3 = ((p3.x - p1.x) * dx + (p3.y - p1.y) * dy) / k;
                    if (d2 > 0.0f && d2 < 1.0f && d3 > 0.0f && d3 < 1.0f)
                        return; // control points between the ends: flat
                    auto distanceAlong = [&](float d, const TVec2<float>& p)
                    {
                        if (d <= 0.0f)
                            return (p - p1).squareLength();
                        if (d >= 1.0f)
                            return (p - p4).squareLength();
                        return (p - TVec2<float>(p1.x + d * dx, p1.y + d * dy)).squareLength();
                    };
                    d2 = distanceAlong(d2, p2);
                    d3 = distanceAlong(d3, p3);
                }
                if (d2 > d3)
                {
                    if (d2 < tau)
                    {
                        out.push_back(p2);
                        return;
                    }
                }
                else if (d3 < tau)
                {
                    out.push_back(p3);
                    return;
                }
            }
            else if (! significant2)
            {
                if (d3 * d3 <= tau * chord2)
                {
                    out.push_back(p23);
                    return;
                }
            }
            else if (! significant3)
            {
                if (d2 * d2 <= tau * chord2)
                {
                    out.push_back(p23);
                    return;
                }
            }
            else if (square(d2 + d3) <= tau * chord2)
            {
                out.push_back(p23);
                return;
            }

            subdivideCubic(tau, p1, p12, p123, p1234, level + 1, out);
            subdivideCubic(tau, p1234, p234, p34, p4, level + 1, out);
        }

        // Douglas-Peucker: marks the points between j and k that lie farther
        // than tol from the chord.
        void simplifyDP(float tol, const std::vector<TVec2<float>>& v, int j, int k, std::vector<char>& marks)
        {
            if (k <= j + 1)
                return;
            int maxIndex = j;
            float maxDistance2 = 0.0f;
            const TVec2<float> u = v[size_t(k)] - v[size_t(j)];
            const float cu = u.dot(u);
            for (int i = j + 1; i < k; ++i)
            {
                const TVec2<float> w = v[size_t(i)] - v[size_t(j)];
                const float cw = w.dot(u);
                float d2;
                if (cw <= 0.0f)
                    d2 = (v[size_t(i)] - v[size_t(j)]).squareLength();
                else if (cu <= cw)
                    d2 = (v[size_t(i)] - v[size_t(k)]).squareLength();
                else
                    d2 = (v[size_t(i)] - (v[size_t(j)] + u * (cw / cu))).squareLength();
                if (d2 > maxDistance2)
                {
                    maxIndex = i;
                    maxDistance2 = d2;
                }
            }
            if (maxDistance2 > tol * tol)
            {
                marks[size_t(maxIndex)] = 1;
                simplifyDP(tol, v, j, maxIndex, marks);
                simplifyDP(tol, v, maxIndex, k, marks);
            }
        }

        // Roots of a x^3 + b x^2 + c x + d in (0, 1). Leading coefficients that
        // are rounding noise (a quadratic or a line stored as a cubic) would
        // make huge spurious roots: they count as 0 against the size of the
        // coordinates.
        int curveRoots(float* roots, float a, float b, float c, float d, float scale)
        {
            const float noise = scale * 1.0e-5f;
            if (std::fabs(a) <= noise)
            {
                a = 0.0f;
                if (std::fabs(b) <= noise)
                    b = 0.0f;
            }
            return solveCubic(roots, a, b, c, d);
        }
    }

    //==============================================================================
    Contour::Contour(const RectT<float>& r)
    {
        rect(r);
    }

    void Contour::moveTo(const TVec2<float>& p)
    {
        points.push_back(p);
    }

    void Contour::addPoint(const TVec2<float>& p)
    {
        if (! points.empty())
            segmentTypes.push_back(LINE);
        points.push_back(p);
    }

    void Contour::addPoint(float x, float y)
    {
        addPoint(TVec2<float>(x, y));
    }

    void Contour::lineTo(const TVec2<float>& p)
    {
        addPoint(p);
    }

    void Contour::addPoints(const std::vector<TVec2<float>>& newPoints)
    {
        for (const auto& p : newPoints)
            addPoint(p);
    }

    void Contour::append(const Contour& other)
    {
        if (&other == this)
        {
            const std::vector<TVec2<float>> copy = other.points;
            addPoints(copy);
            return;
        }
        addPoints(other.points);
    }

    void Contour::curveTo(const TVec2<float>& c1, const TVec2<float>& c2, const TVec2<float>& end)
    {
        if (points.empty())
            return;
        points.push_back(c1);
        points.push_back(c2);
        points.push_back(end);
        segmentTypes.push_back(CUBIC);
    }

    void Contour::quadTo(const TVec2<float>& q, const TVec2<float>& end)
    {
        if (points.empty())
            return;
        const TVec2<float> p0 = points.back();
        curveTo(p0 + (q - p0) * 0.6666667f, end + (q - end) * 0.6666667f, end);
    }

    void Contour::arcSegmentAsCubicBezier(const TVec2<float>& c, float r, float a1, float a2)
    {
        const float k = float(std::tan((a2 - a1) * 0.25f) * 1.3333333730697632);
        const TVec2<float> p1 = c + TVec2<float>(std::cos(a1), std::sin(a1)) * r;
        const TVec2<float> p2 = c + TVec2<float>(std::cos(a2), std::sin(a2)) * r;
        curveTo(p1 + TVec2<float>(-std::sin(a1), std::cos(a1)) * (k * r),
                p2 + TVec2<float>(std::sin(a2), -std::cos(a2)) * (k * r), p2);
    }

    void Contour::close()
    {
        if (points.size() < 3 || closed)
            return;
        segmentTypes.push_back(LINE);
        closed = true;
    }

    void Contour::makeRing()
    {
        if (points.size() < 3)
            return;
        points.pop_back();
        closed = true;
    }

    void Contour::insertPoint(int i, const TVec2<float>& p)
    {
        if (i < 0)
            return;
        if (points.empty() || i >= int(points.size()))
        {
            addPoint(p);
            return;
        }
        points.insert(points.begin() + i, p);
        const int segment = std::min(i, int(segmentTypes.size()));
        segmentTypes.insert(segmentTypes.begin() + segment, LINE);
    }

    void Contour::removeSegment(int i)
    {
        if (i < 0 || i >= int(segmentTypes.size()))
            return;
        const std::vector<int> starts = segmentStarts();
        const int first = starts[size_t(i)];
        const int count = std::min(pointCountOf(i), std::max(0, int(points.size()) - first));
        if (count > 0)
            points.erase(points.begin() + first, points.begin() + first + count);
        segmentTypes.erase(segmentTypes.begin() + i);
    }

    void Contour::clear()
    {
        points.clear();
        segmentTypes.clear();
        closed = false;
    }

    void Contour::limitSize(int n)
    {
        if (n < 0 || int(points.size()) <= n)
            return;
        const int excess = int(points.size()) - n;
        points.erase(points.begin(), points.begin() + excess);
        segmentTypes.erase(segmentTypes.begin(), segmentTypes.begin() + std::min(excess, int(segmentTypes.size())));
    }

    void Contour::reverse()
    {
        std::reverse(points.begin(), points.end());
    }

    void Contour::scale(const TVec2<float>& factor, const TVec2<float>& origin)
    {
        for (auto& p : points)
            p = TVec2<float>((p.x - origin.x) * factor.x + origin.x, (p.y - origin.y) * factor.y + origin.y);
    }

    void Contour::transform(const TMatrix3x3<float>& m)
    {
        for (auto& p : points)
            p = TVec2<float>(m.m[0] * p.x + m.m[3] * p.y + m.m[6], m.m[1] * p.x + m.m[4] * p.y + m.m[7]);
    }

    //==============================================================================
    void Contour::rect(float x, float y, float w, float h)
    {
        clear();
        addPoint(x, y);
        addPoint(x, y + h);
        addPoint(x + w, y + h);
        addPoint(x + w, y);
        close();
    }

    void Contour::rect(const RectT<float>& r)
    {
        rect(r.x1, r.y1, std::fabs(r.x2 - r.x1), std::fabs(r.y2 - r.y1));
    }

    Contour Contour::makeRect(float x, float y, float w, float h)
    {
        Contour c;
        c.addPoint(x, y);
        c.addPoint(x + w, y);
        c.addPoint(x + w, y + h);
        c.addPoint(x, y + h);
        c.close();
        return c;
    }

    void Contour::circle(float cx, float cy, float r)
    {
        clear();
        const float k = float(double(r) * 4.0 * 0.4142129421234131 / 3.0);
        points = {{cx, cy - r}, {cx + k, cy - r}, {cx + r, cy - k}, {cx + r, cy}, {cx + r, cy + k}, {cx + k, cy + r},
                  {cx, cy + r}, {cx - k, cy + r}, {cx - r, cy + k}, {cx - r, cy}, {cx - r, cy - k}, {cx - k, cy - r}};
        segmentTypes.assign(4, CUBIC);
        closed = true;
    }

    void Contour::regularPolygon(const TVec2<float>& centre, float r, int n, float startAngle)
    {
        clear();
        for (float a : linspace(0.0f, 6.283185f, n + 1))
            addPoint(float(centre.x + std::cos(double(a) + startAngle) * r),
                     float(centre.y + std::sin(double(a) + startAngle) * r));
        makeRing();
    }

    //==============================================================================
    std::vector<int> Contour::segmentStarts() const
    {
        std::vector<int> starts;
        starts.reserve(segmentTypes.size());
        int s = 0;
        for (size_t i = 0; i < segmentTypes.size(); ++i)
        {
            starts.push_back(s);
            s += pointCountOf(int(i));
        }
        return starts;
    }

    int Contour::pointCountOf(int segment) const
    {
        const int type = segmentTypes[size_t(segment)];
        return type >= 0 && type < 4 ? segmentTypePointCounts[type] : 0;
    }

    int Contour::ownedPointCount() const
    {
        int s = 0;
        for (size_t i = 0; i < segmentTypes.size(); ++i)
            s += pointCountOf(int(i));
        return s;
    }

    bool Contour::hasCurves() const
    {
        return std::find(segmentTypes.begin(), segmentTypes.end(), CUBIC) != segmentTypes.end();
    }

    bool Contour::isLinearOnly() const
    {
        return std::all_of(segmentTypes.begin(), segmentTypes.end(), [](SegmentType t) { return t == LINE; });
    }

    TVec2<float> Contour::getSegmentPosition(int i, float t) const
    {
        if (i < 0 || i >= int(segmentTypes.size()) || points.empty())
            return {};
        int s = 0;
        for (int k = 0; k < i; ++k)
            s += pointCountOf(k);
        if (s >= int(points.size()))
            return {};
        switch (segmentTypes[size_t(i)])
        {
            case LINE:
                return lerp(wrapped(s), wrapped(s + 1), t);
            case CUBIC:
                return bezier({wrapped(s), wrapped(s + 1), wrapped(s + 2), wrapped(s + 3)}, t);
        }
        return {};
    }

    TVec2<float> Contour::getPosition(float t) const
    {
        if (points.empty())
            return {};
        if (t <= 0.0f)
            return points.front();
        if (t >= 1.0f)
            return points.back();
        const int n = int(segmentTypes.size());
        const int j = int(float(n) * t);
        return getSegmentPosition(j, (t - float(j) / float(n)) * float(n));
    }

    std::vector<TVec2<float>> Contour::subdivide(float s) const
    {
        std::vector<TVec2<float>> out;
        if (segmentTypes.empty() || points.empty())
            return out;
        const float tau = square(0.5f / s);
        const int n = int(points.size());
        int start = 0;
        for (size_t i = 0; i < segmentTypes.size() && start < n; ++i)
        {
            out.push_back(points[size_t(start)]);
            if (segmentTypes[i] == CUBIC)
                subdivideCubic(tau, wrapped(start), wrapped(start + 1), wrapped(start + 2), wrapped(start + 3), 0, out);
            start += pointCountOf(int(i));
        }
        // An open path ends with its last point (a closed one returns to 0).
        if (! closed && start < n)
            for (int k = start; k < n; ++k)
                out.push_back(points[size_t(k)]);
        return out;
    }

    float Contour::calcLength() const
    {
        const std::vector<TVec2<float>> polyline = subdivide(1.0f);
        float length = 0.0f;
        for (size_t i = 1; i < polyline.size(); ++i)
            length += (polyline[i] - polyline[i - 1]).length();
        return length;
    }

    RectT<float> Contour::computeBoundingBox() const
    {
        if (subdivide(1.0f).empty())
            return {};
        RectT<float> box;
        box.addPoints(points, true);
        return box;
    }

    RectT<float> Contour::computePreciseBoundingBox() const
    {
        if (points.empty())
            return {};
        if (points.size() == 1)
            return {points[0].x, points[0].y, points[0].x, points[0].y};
        if (points.size() == 2)
            return {points[0].x, points[0].y, points[1].x, points[1].y};

        TVec2<float> lo = points[0], hi = points[0];
        auto widen = [&](const TVec2<float>& p)
        {
            lo = {std::min(lo.x, p.x), std::min(lo.y, p.y)};
            hi = {std::max(hi.x, p.x), std::max(hi.y, p.y)};
        };
        const int n = int(points.size());
        int start = 0;
        for (size_t i = 0; i < segmentTypes.size() && start < n; ++i)
        {
            if (segmentTypes[i] == CUBIC)
            {
                const Cubic c{wrapped(start), wrapped(start + 1), wrapped(start + 2), wrapped(start + 3)};
                for (int axis = 0; axis < 2; ++axis)
                {
                    auto pick = [axis](const TVec2<float>& p) { return axis == 0 ? p.x : p.y; };
                    const float p0 = pick(c.p0), p1 = pick(c.p1), p2 = pick(c.p2), p3 = pick(c.p3);
                    const float a = 3.0f * (-p0 + 3.0f * p1 - 3.0f * p2 + p3);
                    const float b = 2.0f * (3.0f * p0 - 6.0f * p1 + 3.0f * p2);
                    const float cc = 3.0f * p1 - 3.0f * p0;
                    float roots[2];
                    int numRoots = 0;
                    if (a != 0.0f)
                    {
                        const float disc = b * b - 4.0f * a * cc;
                        if (disc == 0.0f)
                            roots[numRoots++] = b / (-2.0f * a);
                        else if (disc > 0.0f)
                        {
                            roots[numRoots++] = (-b + std::sqrt(disc)) / (2.0f * a);
                            roots[numRoots++] = (-b - std::sqrt(disc)) / (2.0f * a);
                        }
                    }
                    else if (b != 0.0f)
                        roots[numRoots++] = -cc / b;
                    for (int r = 0; r < numRoots; ++r)
                        if (roots[r] > 0.0f && roots[r] < 1.0f)
                            widen(bezier(c, roots[r]));
                }
                widen(c.p0);
                widen(c.p3);
            }
            else if (segmentTypes[i] == LINE)
            {
                widen(wrapped(start));
                widen(wrapped(start + 1));
            }
            start += pointCountOf(int(i));
        }
        return {lo.x, lo.y, hi.x, hi.y};
    }

    TVec2<float> Contour::getCentroid() const
    {
        if (points.empty())
            return {};
        TVec2<float> sum;
        for (const auto& p : points)
            sum += p;
        return sum / float(points.size());
    }

    bool Contour::isPointIn(const TVec2<float>& p) const
    {
        if (points.size() < 3)
            return false;
        const int n = int(points.size());
        int crossings = 0;
        int start = 0;
        for (size_t i = 0; i < segmentTypes.size() && start < n; ++i)
        {
            if (segmentTypes[i] == LINE)
            {
                const TVec2<float>& a = wrapped(start);
                const TVec2<float>& b = wrapped(start + 1);
                if ((a.x < p.x && p.x <= b.x) || (b.x < p.x && p.x <= a.x))
                {
                    const float y = a.x == b.x ? a.y : a.y + (p.x - a.x) * (b.y - a.y) / (b.x - a.x);
                    if (p.y > y)
                        ++crossings;
                }
            }
            else if (segmentTypes[i] == CUBIC)
            {
                const Cubic c{wrapped(start), wrapped(start + 1), wrapped(start + 2), wrapped(start + 3)};
                const float scale = std::max(
                    {std::fabs(c.p0.x), std::fabs(c.p1.x), std::fabs(c.p2.x), std::fabs(c.p3.x), std::fabs(p.x)});
                float roots[3];
                const int numRoots = curveRoots(roots, -c.p0.x + 3.0f * c.p1.x - 3.0f * c.p2.x + c.p3.x,
                                                3.0f * c.p0.x - 6.0f * c.p1.x + 3.0f * c.p2.x,
                                                3.0f * c.p1.x - 3.0f * c.p0.x, c.p0.x - p.x, scale);
                for (int r = 0; r < numRoots; ++r)
                    if (roots[r] > 0.0f && roots[r] < 1.0f && bezier(c, roots[r]).y < p.y)
                        ++crossings;
            }
            start += pointCountOf(int(i));
        }
        return (crossings & 1) != 0;
    }

    int Contour::getSegmentIndex(const TVec2<float>& p, float tol) const
    {
        const int n = int(points.size());
        int start = 0;
        for (size_t i = 0; i < segmentTypes.size() && start < n; ++i)
        {
            float distance = INFINITY;
            if (segmentTypes[i] == LINE)
                distance = distanceToSegment(p, wrapped(start), wrapped(start + 1));
            else if (segmentTypes[i] == CUBIC)
                distance = (nearestPointOnCurve(nullptr, p, wrapped(start), wrapped(start + 1), wrapped(start + 2),
                                                wrapped(start + 3)) -
                            p)
                               .length();
            if (distance < tol)
                return int(i);
            start += pointCountOf(int(i));
        }
        return -1;
    }

    bool Contour::isVertexOnOutline(const TVec2<float>& p, float tol) const
    {
        return getSegmentIndex(p, tol) >= 0;
    }

    Contour::IntersectResult Contour::intersect(const TVec2<float>& p, float tol) const
    {
        IntersectResult result;
        float best = 10000000.0f;
        const int n = int(points.size());
        int start = 0;
        for (size_t i = 0; i < segmentTypes.size() && start < n; ++i)
        {
            TVec2<float> q;
            bool known = true;
            if (segmentTypes[i] == LINE)
                q = nearestPointOnSegment(p, wrapped(start), wrapped(start + 1));
            else if (segmentTypes[i] == CUBIC)
                q = nearestPointOnCurve(nullptr, p, wrapped(start), wrapped(start + 1), wrapped(start + 2),
                                        wrapped(start + 3));
            else
                known = false;
            const float d2 = (p - q).squareLength();
            if (known && d2 < tol * tol)
            {
                result.hit = true;
                if (d2 < best)
                {
                    best = d2;
                    result.point = q;
                }
            }
            start += pointCountOf(int(i));
        }
        return result;
    }

    //==============================================================================
    bool Contour::addVertexAt(const TVec2<float>& p, float tol)
    {
        const int n = int(points.size());
        int start = 0;
        for (size_t i = 0; i < segmentTypes.size() && start < n; ++i)
        {
            if (segmentTypes[i] == LINE)
            {
                const TVec2<float> a = wrapped(start), b = wrapped(start + 1);
                if (distanceToSegment(p, a, b) < tol)
                {
                    points.insert(points.begin() + start + 1, nearestPointOnSegment(p, a, b));
                    segmentTypes.insert(segmentTypes.begin() + int(i), LINE);
                    return true;
                }
            }
            else if (segmentTypes[i] == CUBIC)
            {
                const TVec2<float> a = wrapped(start), b = wrapped(start + 1), c = wrapped(start + 2),
                                   d = wrapped(start + 3);
                float t = 0.0f;
                const TVec2<float> q = nearestPointOnCurve(&t, p, a, b, c, d);
                if ((p - q).length() < tol)
                {
                    // de Casteljau split at t: a, ab, abc, abcd | bcd, cd, d.
                    const float u = 1.0f - t;
                    const TVec2<float> ab = a * u + b * t, bc = b * u + c * t, cd = c * u + d * t;
                    const TVec2<float> abc = ab * u + bc * t, bcd = bc * u + cd * t;
                    const TVec2<float> abcd = abc * u + bcd * t;
                    points.insert(points.begin() + start, 3, TVec2<float>());
                    segmentTypes.insert(segmentTypes.begin() + int(i), CUBIC);
                    const int newCount = int(points.size());
                    const TVec2<float> split[7] = {a, ab, abc, abcd, bcd, cd, d};
                    for (int k = 0; k < 7; ++k)
                        points[size_t((start + k) % newCount)] = split[k];
                    return true;
                }
            }
            start += pointCountOf(int(i));
        }
        return false;
    }

    bool Contour::removeVertexAt(const TVec2<float>& p, float tol)
    {
        if (segmentTypes.empty() || (closed && segmentTypes.size() < 4))
            return false;
        const int n = int(points.size());
        int start = 0;
        for (size_t i = 0; i < segmentTypes.size() && start < n; ++i)
        {
            if ((points[size_t(start)] - p).length() < tol)
            {
                removeSegment(int(i));
                return true;
            }
            start += pointCountOf(int(i));
        }
        return false;
    }

    void Contour::forceLinear()
    {
        std::vector<TVec2<float>> newPoints;
        const int n = int(points.size());
        int start = 0;
        for (size_t i = 0; i < segmentTypes.size() && start < n; ++i)
        {
            newPoints.push_back(points[size_t(start)]);
            start += pointCountOf(int(i));
        }
        for (int k = start; k < n; ++k)
            newPoints.push_back(points[size_t(k)]);
        segmentTypes.assign(segmentTypes.size(), LINE);
        points = std::move(newPoints);
    }

    void Contour::forceBezier()
    {
        std::vector<TVec2<float>> newPoints;
        const int n = int(points.size());
        int start = 0;
        for (size_t i = 0; i < segmentTypes.size() && start < n; ++i)
        {
            const int count = pointCountOf(int(i));
            if (segmentTypes[i] == LINE)
            {
                const TVec2<float> a = wrapped(start), b = wrapped(start + 1);
                newPoints.insert(newPoints.end(), {a, a + (b - a) * 0.33333334f, b - (b - a) * 0.33333334f});
                segmentTypes[i] = CUBIC;
            }
            else
                for (int k = 0; k < count; ++k)
                    newPoints.push_back(wrapped(start + k));
            start += count;
        }
        for (int k = start; k < n; ++k)
            newPoints.push_back(points[size_t(k)]);
        points = std::move(newPoints);
    }

    void Contour::subdivideCurves(float s)
    {
        const std::vector<TVec2<float>> polyline = subdivide(s);
        const bool wasClosed = closed;
        clear();
        addPoints(polyline);
        if (wasClosed)
            close();
    }

    void Contour::simplify(float tol)
    {
        const std::vector<TVec2<float>> original = points;
        clear();
        if (original.empty())
            return;

        // Vertex reduction.
        std::vector<TVec2<float>> reduced{original[0]};
        bool lastKept = true;
        for (size_t i = 1; i < original.size(); ++i)
        {
            lastKept = (original[i] - reduced.back()).squareLength() >= tol * tol;
            if (lastKept)
                reduced.push_back(original[i]);
        }
        if (! lastKept)
            reduced.push_back(original.back());

        std::vector<char> marks(reduced.size(), 0);
        const int last = int(reduced.size()) - 1;
        marks[0] = 1;
        marks[size_t(last)] = 1;
        simplifyDP(tol, reduced, 0, last, marks);

        TVec2<float> previous;
        bool first = true;
        for (size_t i = 0; i < reduced.size(); ++i)
        {
            if (! marks[i])
                continue;
            if (first || (reduced[i] - previous).squareLength() > 4.0f)
            {
                addPoint(reduced[i]);
                previous = reduced[i];
                first = false;
            }
        }
    }

} // namespace vx
