#include "core/VXFraction.h"

#include "core/VXLog.h"

#include <algorithm>
#include <cmath>

namespace vx
{

    namespace
    {

        constexpr double tolerance = 0.1;
        // Magnitudes from here on no longer fit the 64-bit members.
        constexpr double largestMagnitude = 9.2e18;

    } // namespace

    Fraction::Fraction(double x)
    {
        if (! std::isfinite(x) || std::abs(x) >= largestMagnitude)
        {
            logPrint(logError, "Fraction: cannot approximate %g, using 0/1", x);
            return;
        }
        const bool negative = x < 0.0;
        const double magnitude = std::abs(x);
        const bool improper = magnitude >= 1.0;
        const double y = improper ? 1.0 / magnitude : magnitude;

        // Walks the denominators, moving the numerator up whenever the next step is nearer.
        // y lies in [0, 1], so a grid of spacing 1 / d finds it within the tolerance by d = 5.
        int64_t n = 0;
        int64_t d = 1;
        for (;; ++d)
        {
            const double e0 = std::abs(y - double(n) / double(d));
            const double e1 = std::abs(y - double(n + 1) / double(d));
            if (e1 < e0)
                ++n;
            if (std::min(e0, e1) <= tolerance)
                break;
        }

        if (! improper)
        {
            numerator = n;
            denominator = uint64_t(d);
        }
        else if (n > 0)
        {
            numerator = d;
            denominator = uint64_t(n);
        }
        else
        {
            // 1 / x within the tolerance of 0 (x >= 10): d / 0 is no fraction, so the value
            // is given as the nearest whole number.
            numerator = std::llround(magnitude);
            denominator = 1;
        }
        if (negative)
            numerator = -numerator;
    }

    Fraction Fraction::withoutIntegral() const
    {
        Fraction result;
        result.numerator = integral * int64_t(denominator) + numerator;
        result.denominator = denominator;
        return result;
    }

    double Fraction::asDecimalNumber() const
    {
        return double(integral) + double(numerator) / double(denominator);
    }

} // namespace vx
