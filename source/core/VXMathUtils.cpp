#include "core/VXMathUtils.h"

#include <cstdint>
#include <cstdlib>
#include <utility>

namespace vx
{

    bool MathUtils::doLineSegmentsHit(const TVec2<float>& p1, const TVec2<float>& p2, const TVec2<float>& p3,
                                      const TVec2<float>& p4)
    {
        const TVec2<float> e1 = p2 - p1;
        const TVec2<float> e2 = p4 - p3;
        const TVec2<float> s = p1 - p3;
        const float den = e1.x * e2.y - e2.x * e1.y;
        const float na = e2.x * s.y - e2.y * s.x;
        const float nb = e1.x * s.y - e1.y * s.x;
        if (den == 0.0f)
            return na == 0.0f && nb == 0.0f;
        const float ua = na / den;
        const float ub = nb / den;
        return ua >= 0.0f && ua <= 1.0f && ub >= 0.0f && ub <= 1.0f;
    }

    int MathUtils::greatestCommonDenominator(int a, int b)
    {
        // Magnitudes in 64 bits so that INT_MIN has one; a zero argument ends the loop at once
        // instead of being used as a divisor.
        int64_t larger = std::llabs(int64_t(a));
        int64_t smaller = std::llabs(int64_t(b));
        if (smaller > larger)
            std::swap(larger, smaller);
        while (smaller != 0)
        {
            const int64_t remainder = larger % smaller;
            larger = smaller;
            smaller = remainder;
        }
        return static_cast<int>(larger);
    }

    std::vector<float> linspace(float start, float end, int n)
    {
        if (n < 1)
            return {};
        std::vector<float> values(static_cast<size_t>(n));
        if (n > 1)
        {
            const float step = (end - start) / float(n - 1);
            float value = start;
            for (int i = 0; i < n; ++i)
            {
                values[size_t(i)] = value;
                value += step;
            }
        }
        values.back() = end;
        return values;
    }

} // namespace vx
