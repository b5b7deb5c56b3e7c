#pragma once

#include "core/VXMatrix3x3.h"
#include "core/VXRect.h"
#include "core/VXVec2.h"

namespace vx
{

    // The deepest recursion of findRoots.
    extern int MAXDEPTH;

    // The point of the cubic Bezier curve V[0..3] nearest to p; its curve parameter goes to
    // *t when t is not null.
    TVec2<double> nearestPointOnCurve(float* t, const TVec2<double>& p, const TVec2<double>* V);
    TVec2<float> nearestPointOnCurve(float* t, const TVec2<float>& p, const TVec2<float>& q0, const TVec2<float>& q1,
                                     const TVec2<float>& q2, const TVec2<float>& q3);

    // The six control points of the degree-5 polynomial (B(s) - p) . B'(s) in Bernstein form,
    // x = i / 5. Allocated with new[]; the caller frees it with delete[].
    TVec2<double>* convertToBezierForm(const TVec2<double>& p, const TVec2<double>* V);

    // Writes the parameters where the Bezier polynomial w[0..degree] (degree at most 5) crosses
    // zero into t (room for degree values), ascending, and answers their number. The top-level
    // call passes depth 0.
    int findRoots(const TVec2<double>* w, int degree, double* t, int depth);

    // The point of the Bezier curve V[0..degree] (degree at most 5) at t; left and right, when
    // not null, receive the degree + 1 control points of the parts before and after t.
    TVec2<double> bezierCurve(const TVec2<double>* V, int degree, double t, TVec2<double>* left, TVec2<double>* right);

    // The 2D matrix mapping src onto the largest uniformly scaled copy of src that fits into
    // dst (centred on the free axis when asked). A src of zero width or height answers the
    // identity.
    TMatrix3x3<float> getFittingMatrix(const RectT<float>& src, const RectT<float>& dst, bool centre);

    // The point of segment a-b nearest to p (a for a segment of zero length).
    TVec2<float> nearestPointOnSegment(const TVec2<float>& p, const TVec2<float>& a, const TVec2<float>& b);
    float distanceToSegment(const TVec2<float>& p, const TVec2<float>& a, const TVec2<float>& b);
    float squareDistanceToSegment(const TVec2<float>& p, const TVec2<float>& a, const TVec2<float>& b);

} // namespace vx
