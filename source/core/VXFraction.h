#pragma once

#include <cstdint>

namespace vx
{

    // A coarse rational approximation of a double (absolute tolerance 0.1, taken on 1 / x for
    // x >= 1, so values from 1 up come out as improper fractions with integral 0).
    class Fraction
    {
    public:
        Fraction() = default;
        // A negative value is approximated as the negated approximation of its magnitude.
        // A value the search cannot place (beyond 1 / tolerance) becomes the nearest whole
        // number over 1. NaN, infinities and values beyond 64 bits log an error and give 0/1.
        explicit Fraction(double x);

        int64_t getIntegral() const { return integral; }
        int64_t getNumerator() const { return numerator; }
        uint64_t getDenominator() const { return denominator; }
        // The same value with integral 0.
        Fraction withoutIntegral() const;
        double asDecimalNumber() const;

    private:
        int64_t integral = 0;
        int64_t numerator = 0;
        uint64_t denominator = 1;
    };

} // namespace vx
