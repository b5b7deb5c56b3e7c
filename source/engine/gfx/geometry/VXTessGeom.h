#pragma once

#include "engine/gfx/geometry/VXTessMesh.h"

// Geometric predicates of the sweep over the projected (s, t) coordinates,
// all in float. The sweep runs in increasing s and, within equal s,
// increasing t.

namespace vx
{

    inline bool tesvertEq(const TessVertex* u, const TessVertex* v)
    {
        return u->s == v->s && u->t == v->t;
    }

    /** u before or at v in sweep order. */
    inline bool tesvertLeq(const TessVertex* u, const TessVertex* v)
    {
        return u->s < v->s || (u->s == v->s && u->t <= v->t);
    }

    /** The same order with s and t exchanged. */
    inline bool testransLeq(const TessVertex* u, const TessVertex* v)
    {
        return u->t < v->t || (u->t == v->t && u->s <= v->s);
    }

    inline bool tesedgeGoesLeft(const TessHalfEdge* e)
    {
        return tesvertLeq(dst(e), e->org);
    }
    inline bool tesedgeGoesRight(const TessHalfEdge* e)
    {
        return tesvertLeq(e->org, dst(e));
    }

    /** With u <= v <= w: how far v lies above the line uw at v.s (t
        difference); 0 when the order does not hold or u.s = w.s. Inline: the
        sweep's dictionary order and crossing tests call it at every event. */
    inline float tesedgeEval(const TessVertex* u, const TessVertex* v, const TessVertex* w)
    {
        if (! tesvertLeq(u, v) || ! tesvertLeq(v, w))
            return 0.0f;
        const float gapL = v->s - u->s;
        const float gapR = w->s - v->s;
        if (gapL + gapR > 0.0f)
        {
            if (gapL < gapR)
                return (v->t - u->t) + (u->t - w->t) * (gapL / (gapL + gapR));
            return (v->t - w->t) + (w->t - u->t) * (gapR / (gapL + gapR));
        }
        return 0.0f; // vertical line
    }

    /** The sign of tesedgeEval without its division. */
    inline float tesedgeSign(const TessVertex* u, const TessVertex* v, const TessVertex* w)
    {
        if (! tesvertLeq(u, v) || ! tesvertLeq(v, w))
            return 0.0f;
        const float gapL = v->s - u->s;
        const float gapR = w->s - v->s;
        if (gapL + gapR > 0.0f)
            return (v->t - w->t) * gapL + (v->t - u->t) * gapR;
        return 0.0f;
    }

    /** tesedgeEval and tesedgeSign with s and t exchanged. */
    float testransEval(const TessVertex* u, const TessVertex* v, const TessVertex* w);
    float testransSign(const TessVertex* u, const TessVertex* v, const TessVertex* w);
    /** u, v, w in counter-clockwise order (or collinear). */
    bool tesvertCCW(const TessVertex* u, const TessVertex* v, const TessVertex* w);
    /** The crossing of o1d1 and o2d2 into v->s and v->t, computed so that it
        stays within both edges' bounding boxes. */
    void tesedgeIntersect(const TessVertex* o1, const TessVertex* d1, const TessVertex* o2, const TessVertex* d2,
                          TessVertex* v);

} // namespace vx
