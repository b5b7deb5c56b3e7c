#include "engine/gfx/geometry/VXTessGeom.h"

#include <utility>

namespace vx
{

    float testransEval(const TessVertex* u, const TessVertex* v, const TessVertex* w)
    {
        if (! testransLeq(u, v) || ! testransLeq(v, w))
            return 0.0f;
        const float gapL = v->t - u->t;
        const float gapR = w->t - v->t;
        if (gapL + gapR > 0.0f)
        {
            if (gapL < gapR)
                return (v->s - u->s) + (u->s - w->s) * (gapL / (gapL + gapR));
            return (v->s - w->s) + (w->s - u->s) * (gapR / (gapL + gapR));
        }
        return 0.0f;
    }

    float testransSign(const TessVertex* u, const TessVertex* v, const TessVertex* w)
    {
        if (! testransLeq(u, v) || ! testransLeq(v, w))
            return 0.0f;
        const float gapL = v->t - u->t;
        const float gapR = w->t - v->t;
        if (gapL + gapR > 0.0f)
            return (v->s - w->s) * gapL + (v->s - u->s) * gapR;
        return 0.0f;
    }

    bool tesvertCCW(const TessVertex* u, const TessVertex* v, const TessVertex* w)
    {
        return u->s * (v->t - w->t) + v->s * (w->t - u->t) + w->s * (u->t - v->t) >= 0.0f;
    }

    namespace
    {
        // x + (y - x) * a / (a + b) with the weights clamped at 0, arranged so
        // the result stays between x and y even when a and b are tiny.
        float interpolate(float a, float x, float b, float y)
        {
            a = a < 0.0f ? 0.0f : a;
            b = b < 0.0f ? 0.0f : b;
            if (a <= b)
            {
                if (b == 0.0f)
                    return x / 2.0f + y / 2.0f;
                return x + (y - x) * (a / (a + b));
            }
            return y + (x - y) * (b / (a + b));
        }
    }

    void tesedgeIntersect(const TessVertex* o1, const TessVertex* d1, const TessVertex* o2, const TessVertex* d2,
                          TessVertex* v)
    {
        // s: sort so that o1 <= d1, o2 <= d2 and o1 <= o2, then interpolate
        // between the two middle points, with the evaluations giving the weights.
        if (! tesvertLeq(o1, d1))
            std::swap(o1, d1);
        if (! tesvertLeq(o2, d2))
            std::swap(o2, d2);
        if (! tesvertLeq(o1, o2))
        {
            std::swap(o1, o2);
            std::swap(d1, d2);
        }
        if (! tesvertLeq(o2, d1))
            v->s = o2->s / 2.0f + d1->s / 2.0f; // no overlap in s
        else if (tesvertLeq(d1, d2))
        {
            float z1 = tesedgeEval(o1, o2, d1);
            float z2 = tesedgeEval(o2, d1, d2);
            if (z1 + z2 < 0.0f)
            {
                z1 = -z1;
                z2 = -z2;
            }
            v->s = interpolate(z1, o2->s, z2, d1->s);
        }
        else
        {
            float z1 = tesedgeSign(o1, o2, d1);
            float z2 = -tesedgeSign(o1, d2, d1);
            if (z1 + z2 < 0.0f)
            {
                z1 = -z1;
                z2 = -z2;
            }
            v->s = interpolate(z1, o2->s, z2, d2->s);
        }

        // t: the same with s and t exchanged.
        if (! testransLeq(o1, d1))
            std::swap(o1, d1);
        if (! testransLeq(o2, d2))
            std::swap(o2, d2);
        if (! testransLeq(o1, o2))
        {
            std::swap(o1, o2);
            std::swap(d1, d2);
        }
        if (! testransLeq(o2, d1))
            v->t = o2->t / 2.0f + d1->t / 2.0f;
        else if (testransLeq(d1, d2))
        {
            float z1 = testransEval(o1, o2, d1);
            float z2 = testransEval(o2, d1, d2);
            if (z1 + z2 < 0.0f)
            {
                z1 = -z1;
                z2 = -z2;
            }
            v->t = interpolate(z1, o2->t, z2, d1->t);
        }
        else
        {
            float z1 = testransSign(o1, o2, d1);
            float z2 = -testransSign(o1, d2, d1);
            if (z1 + z2 < 0.0f)
            {
                z1 = -z1;
                z2 = -z2;
            }
            v->t = interpolate(z1, o2->t, z2, d2->t);
        }
    }

} // namespace vx
