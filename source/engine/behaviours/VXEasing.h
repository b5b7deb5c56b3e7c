#pragma once

#include <cmath>

// Easing curves over x in [0, 1], answering 0 at 0 and 1 at 1 (the elastic,
// back and bounce curves overshoot in between). The sine, elastic and back
// curves use pi carried with only the upper 32 bits of its mantissa, as the
// stored curves were made with.

namespace vx
{
    namespace easing
    {
        // pi with the upper 32 bits of its mantissa.
        inline constexpr double pi = 3.141592025756836;
        // 17 pi / 2, carried the same way.
        inline constexpr double elasticFrequency = 26.703536987304688;
    }

    template <typename T>
    T LinearInterpolation(T x)
    {
        return x;
    }

    template <typename T>
    T QuadraticEaseIn(T x)
    {
        return x * x;
    }

    template <typename T>
    T QuadraticEaseOut(T x)
    {
        return -(x - 2) * x;
    }

    template <typename T>
    T CubicEaseIn(T x)
    {
        return x * x * x;
    }

    template <typename T>
    T CubicEaseOut(T x)
    {
        const T f = x - 1;
        return f * f * f + 1;
    }

    template <typename T>
    T CubicEaseInOut(T x)
    {
        if (x < T(0.5))
            return 4 * x * x * x;
        const T f = 2 * x - 2;
        return T(0.5) * f * f * f + 1;
    }

    template <typename T>
    T SineEaseIn(T x)
    {
        return std::sin((x - 1) * T(easing::pi) / 2) + 1;
    }

    template <typename T>
    T SineEaseOut(T x)
    {
        return std::sin(x * T(easing::pi) / 2);
    }

    template <typename T>
    T SineEaseInOut(T x)
    {
        return T(0.5) * (1 - std::cos(x * T(easing::pi)));
    }

    template <typename T>
    T CircularEaseIn(T x)
    {
        return 1 - std::sqrt(1 - x * x);
    }

    template <typename T>
    T CircularEaseOut(T x)
    {
        return std::sqrt((2 - x) * x);
    }

    template <typename T>
    T CircularEaseInOut(T x)
    {
        if (x < T(0.5))
            return T(0.5) * (1 - std::sqrt(1 - 4 * (x * x)));
        return T(0.5) * (std::sqrt(-((2 * x) - 3) * ((2 * x) - 1)) + 1);
    }

    template <typename T>
    T ExponentialEaseIn(T x)
    {
        return x == T(0) ? x : std::exp2(10 * (x - 1));
    }

    template <typename T>
    T ExponentialEaseOut(T x)
    {
        return x == T(1) ? x : 1 - std::exp2(-10 * x);
    }

    template <typename T>
    T ExponentialEaseInOut(T x)
    {
        if (x == T(0) || x == T(1))
            return x;
        if (x < T(0.5))
            return T(0.5) * std::exp2((20 * x) - 10);
        return 1 - T(0.5) * std::exp2((-20 * x) + 10);
    }

    template <typename T>
    T ElasticEaseIn(T x)
    {
        return std::sin(T(easing::elasticFrequency) * x) * std::exp2(10 * (x - 1));
    }

    template <typename T>
    T ElasticEaseOut(T x)
    {
        return std::sin(-T(easing::elasticFrequency) * (x + 1)) * std::exp2(-10 * x) + 1;
    }

    template <typename T>
    T ElasticEaseInOut(T x)
    {
        if (x < T(0.5))
            return T(0.5) * std::sin(T(easing::elasticFrequency) * (2 * x)) * std::exp2(10 * ((2 * x) - 1));
        return T(0.5) * (std::sin(-T(easing::elasticFrequency) * (2 * x)) * std::exp2(-10 * ((2 * x) - 1)) + 2);
    }

    template <typename T>
    T BackEaseIn(T x)
    {
        return x * x * x + x * std::sin(-T(easing::pi) * x);
    }

    template <typename T>
    T BackEaseOut(T x)
    {
        const T y = 1 - x;
        return 1 - (y * y * y + y * std::sin(-T(easing::pi) * y));
    }

    template <typename T>
    T BackEaseInOut(T x)
    {
        if (x < T(0.5))
        {
            const T u = 2 * x;
            return T(0.5) * (u * u * u + u * std::sin(-T(easing::pi) * u));
        }
        const T w = 1 - (2 * x - 1);
        return T(0.5) * (1 - (w * w * w + w * std::sin(-T(easing::pi) * w))) + T(0.5);
    }

    template <typename T>
    T BounceEaseOut(T x)
    {
        if (x < T(4.0 / 11.0))
            return (121 * x * x) / 16;
        if (x < T(8.0 / 11.0))
            return T(9.075) * x * x - T(9.9) * x + T(3.4);
        if (x < T(0.9))
            return T(12.066481994459833) * x * x - T(19.63545706371191) * x + T(8.898060941828255);
        return T(10.8) * x * x - T(20.52) * x + T(10.72);
    }

    template <typename T>
    T BounceEaseIn(T x)
    {
        return 1 - BounceEaseOut(1 - x);
    }

    template <typename T>
    T BounceEaseInOut(T x)
    {
        if (x < T(0.5))
            return T(0.5) * (1 - BounceEaseOut(1 - x * 2));
        return T(0.5) * BounceEaseOut(x * 2 - 1) + T(0.5);
    }

    template <typename T>
    T QuarticEaseIn(T x)
    {
        return x * x * x * x;
    }

    template <typename T>
    T QuarticEaseOut(T x)
    {
        const T f = x - 1;
        return f * f * f * (1 - x) + 1;
    }

    template <typename T>
    T QuarticEaseInOut(T x)
    {
        if (x < T(0.5))
            return 8 * x * x * x * x;
        const T f = x - 1;
        return -8 * f * f * f * f + 1;
    }

    template <typename T>
    T QuinticEaseIn(T x)
    {
        return x * x * x * x * x;
    }

    template <typename T>
    T QuinticEaseOut(T x)
    {
        const T f = x - 1;
        return f * f * f * f * f + 1;
    }

    template <typename T>
    T QuinticEaseInOut(T x)
    {
        if (x < T(0.5))
            return 16 * x * x * x * x * x;
        const T f = 2 * x - 2;
        return T(0.5) * f * f * f * f * f + 1;
    }

    // The flat curve: 0 everywhere.
    template <typename T>
    T ConstantZero(T)
    {
        return T(0);
    }
}
