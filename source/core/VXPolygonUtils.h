#pragma once

#include "core/VXVec2.h"

namespace vx
{

    // Even-odd crossing test of p against the closed polygon of count vertices (the edge
    // from the last vertex back to the first included). Points on an edge may fall either
    // way. A count below 1 answers false.
    bool pointInPoly(int count, const TVec2<float>* vertices, const TVec2<float>& p);

} // namespace vx
