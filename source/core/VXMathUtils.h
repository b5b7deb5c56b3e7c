#pragma once

#include "core/VXVec2.h"

#include <vector>

namespace vx
{

    class MathUtils
    {
    public:
        // True when segment p1-p2 meets segment p3-p4, ends included. Segments on one line
        // count as meeting whether or not they overlap.
        static bool doLineSegmentsHit(const TVec2<float>& p1, const TVec2<float>& p2, const TVec2<float>& p3,
                                      const TVec2<float>& p4);
        // The greatest common divisor by Euclid's algorithm, always non-negative;
        // gcd(a, 0) is |a| and gcd(0, 0) is 0.
        static int greatestCommonDenominator(int a, int b);
    };

    // n values from start to end in equal steps, the last exactly end; n = 1 gives {end}.
    // n below 1 gives an empty vector.
    std::vector<float> linspace(float start, float end, int n);

} // namespace vx
