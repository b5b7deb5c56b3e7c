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
        difference); 0 when the order does not hold or u.s = w.s. */
    float tesedgeEval(const TessVertex* u, const TessVertex* v, const TessVertex* w);
    /** The sign of tesedgeEval without its division. */
    float tesedgeSign(const TessVertex* u, const TessVertex* v, const TessVertex* w);
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
