#include "core/VXCurveUtils.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace vx
{

    int MAXDEPTH = 64;

    namespace
    {

        // The largest degree the fixed-size de Casteljau triangle holds.
        constexpr int maxDegree = 5;
        // Chord flatness under which a control polygon's zero crossing is taken as the root.
        constexpr double flatnessEpsilon = 4.37114e-5;

        // Weights turning products of degree-3 and degree-2 Bernstein polynomials into degree 5:
        // entry (j, i) = binom(3, i) binom(2, j) / binom(5, i + j).
        constexpr double bezierWeights[3][4] = {
            {1.0, 0.6, 0.3, 0.1},
            {0.4, 0.6, 0.6, 0.4},
            {0.1, 0.3, 0.6, 1.0},
        };

        int countSignChanges(const TVec2<double>* w, int degree)
        {
            int changes = 0;
            int previousSign = w[0].y < 0.0 ? -1 : 1;
            for (int i = 1; i <= degree; ++i)
            {
                const int sign = w[i].y < 0.0 ? -1 : 1;
                if (sign != previousSign)
                    ++changes;
                previousSign = sign;
            }
            return changes;
        }

        // True when the control polygon lies close enough to its chord that the chord's zero
        // crossing stands for the curve's.
        bool isControlPolygonFlat(const TVec2<double>* w, int degree)
        {
            const double a = w[0].y - w[degree].y;
            const double b = w[degree].x - w[0].x;
            const double c = w[degree].y * w[0].x - w[0].y * w[degree].x;
            double above = 0.0;
            double below = 0.0;
            for (int i = 1; i < degree; ++i)
            {
                const double value = a * w[i].x + b * w[i].y + c;
                above = std::max(above, value);
                below = std::min(below, value);
            }
            const double intercept1 = (c - above) / -a;
            const double intercept2 = (c - below) / -a;
            return std::abs(intercept1 - intercept2) < flatnessEpsilon;
        }

    } // namespace

    TVec2<double>* convertToBezierForm(const TVec2<double>& p, const TVec2<double>* V)
    {
        TVec2<double> c[4];
        TVec2<double> d[3];
        for (int i = 0; i < 4; ++i)
            c[i] = V[i] - p;
        for (int j = 0; j < 3; ++j)
            d[j] = (V[j + 1] - V[j]) * 3.0;

        double cd[3][4];
        for (int j = 0; j < 3; ++j)
            for (int i = 0; i < 4; ++i)
                cd[j][i] = d[j].dot(c[i]);

        auto* w = new TVec2<double>[6];
        for (int i = 0; i <= 5; ++i)
            w[i] = TVec2<double>(double(i) / 5.0, 0.0);
        for (int k = 0; k <= 5; ++k)
        {
            const int lo = std::max(0, k - 2);
            const int hi = std::min(k, 3);
            for (int i = lo; i <= hi; ++i)
            {
                const int j = k - i;
                w[k].y += cd[j][i] * bezierWeights[j][i];
            }
        }
        return w;
    }

    int findRoots(const TVec2<double>* w, int degree, double* t, int depth)
    {
        if (degree < 1 || degree > maxDegree)
            return 0;
        const int changes = countSignChanges(w, degree);
        if (changes == 0)
            return 0;
        // The depth limit bounds the recursion whatever the number of crossings: a polygon
        // touching zero (a double root) could otherwise keep its crossings at every level.
        if (depth >= MAXDEPTH)
        {
            t[0] = (w[0].x + w[degree].x) * 0.5;
            return 1;
        }
        if (changes == 1 && isControlPolygonFlat(w, degree))
        {
            // One crossing means the end points lie on opposite sides, so y_degree != y0.
            t[0] = w[0].x - w[0].y * (w[degree].x - w[0].x) / (w[degree].y - w[0].y);
            return 1;
        }

        TVec2<double> left[maxDegree + 1];
        TVec2<double> right[maxDegree + 1];
        bezierCurve(w, degree, 0.5, left, right);
        double leftT[maxDegree + 1];
        double rightT[maxDegree + 1];
        const int leftCount = findRoots(left, degree, leftT, depth + 1);
        const int rightCount = findRoots(right, degree, rightT, depth + 1);
        // The caller has room for degree values.
        int count = 0;
        for (int i = 0; i < leftCount && count < degree; ++i)
            t[count++] = leftT[i];
        for (int i = 0; i < rightCount && count < degree; ++i)
            t[count++] = rightT[i];
        return count;
    }

    TVec2<double> bezierCurve(const TVec2<double>* V, int degree, double t, TVec2<double>* left, TVec2<double>* right)
    {
        if (degree < 0 || degree > maxDegree)
            return {};
        TVec2<double> triangle[maxDegree + 1][maxDegree + 1];
        for (int j = 0; j <= degree; ++j)
            triangle[0][j] = V[j];
        for (int r = 1; r <= degree; ++r)
            for (int j = 0; j <= degree - r; ++j)
                triangle[r][j] = triangle[r - 1][j] * (1.0 - t) + triangle[r - 1][j + 1] * t;
        if (left)
            for (int j = 0; j <= degree; ++j)
                left[j] = triangle[j][0];
        if (right)
            for (int j = 0; j <= degree; ++j)
                right[j] = triangle[degree - j][j];
        return triangle[degree][0];
    }

    TVec2<double> nearestPointOnCurve(float* t, const TVec2<double>& p, const TVec2<double>* V)
    {
        double candidates[maxDegree];
        int count;
        {
            const std::unique_ptr<TVec2<double>[]> w(convertToBezierForm(p, V));
            count = findRoots(w.get(), maxDegree, candidates, 0);
        }

        double bestT = 0.0;
        double bestDistance = (p - V[0]).squareLength();
        for (int i = 0; i < count; ++i)
        {
            const TVec2<double> point = bezierCurve(V, 3, candidates[i], nullptr, nullptr);
            const double distance = (p - point).squareLength();
            if (distance < bestDistance)
            {
                bestDistance = distance;
                bestT = candidates[i];
            }
        }
        if ((p - V[3]).squareLength() < bestDistance)
            bestT = 1.0;

        if (t)
            *t = float(bestT);
        return bezierCurve(V, 3, bestT, nullptr, nullptr);
    }

    TVec2<float> nearestPointOnCurve(float* t, const TVec2<float>& p, const TVec2<float>& q0, const TVec2<float>& q1,
                                     const TVec2<float>& q2, const TVec2<float>& q3)
    {
        const TVec2<double> V[4] = {TVec2<double>(q0), TVec2<double>(q1), TVec2<double>(q2), TVec2<double>(q3)};
        return TVec2<float>(nearestPointOnCurve(t, TVec2<double>(p), V));
    }

    TMatrix3x3<float> getFittingMatrix(const RectT<float>& src, const RectT<float>& dst, bool centre)
    {
        const float srcWidth = std::abs(src.x2 - src.x1);
        const float srcHeight = std::abs(src.y2 - src.y1);
        if (srcWidth == 0.0f || srcHeight == 0.0f)
            return {};
        RectT<float> fitted = src;
        fitted.fitProportional(dst, centre);
        const TVec2<float> srcCentre((src.x1 + src.x2) / 2.0f, (src.y1 + src.y2) / 2.0f);
        const TVec2<float> fittedCentre((fitted.x1 + fitted.x2) / 2.0f, (fitted.y1 + fitted.y2) / 2.0f);
        TMatrix3x3<float> scale;
        scale.m[0] = std::abs(fitted.x2 - fitted.x1) / srcWidth;
        scale.m[4] = std::abs(fitted.y2 - fitted.y1) / srcHeight;
        TMatrix3x3<float> toFitted;
        toFitted.translate(fittedCentre);
        TMatrix3x3<float> fromSource;
        fromSource.translate(-srcCentre);
        return toFitted * scale * fromSource;
    }

    TVec2<float> nearestPointOnSegment(const TVec2<float>& p, const TVec2<float>& a, const TVec2<float>& b)
    {
        const TVec2<float> e = b - a;
        const float u = (p - a).dot(e);
        if (u <= 0.0f)
            return a;
        const float lengthSquared = e.squareLength();
        if (u >= lengthSquared)
            return b;
        return a + e * (u / lengthSquared);
    }

    float distanceToSegment(const TVec2<float>& p, const TVec2<float>& a, const TVec2<float>& b)
    {
        return (p - nearestPointOnSegment(p, a, b)).length();
    }

    float squareDistanceToSegment(const TVec2<float>& p, const TVec2<float>& a, const TVec2<float>& b)
    {
        return (p - nearestPointOnSegment(p, a, b)).squareLength();
    }

} // namespace vx
