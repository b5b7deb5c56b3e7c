#pragma once

#include <cmath>

namespace vx
{

    // A 2D vector record; plain value, copied freely. Instantiated with float and double.
    template <typename T>
    struct TVec2
    {
        T x{};
        T y{};

        constexpr TVec2() = default;
        constexpr TVec2(T xValue, T yValue) : x(xValue), y(yValue) {}

        // Converts between scalar types (float <-> double).
        template <typename U>
        constexpr explicit TVec2(const TVec2<U>& other) : x(static_cast<T>(other.x)), y(static_cast<T>(other.y))
        {
        }

        constexpr TVec2 operator+(const TVec2& o) const { return {x + o.x, y + o.y}; }
        constexpr TVec2 operator-(const TVec2& o) const { return {x - o.x, y - o.y}; }
        constexpr TVec2 operator-() const { return {-x, -y}; }
        constexpr TVec2 operator*(T s) const { return {x * s, y * s}; }
        constexpr TVec2 operator/(T s) const { return {x / s, y / s}; }
        constexpr TVec2& operator+=(const TVec2& o)
        {
            x += o.x;
            y += o.y;
            return *this;
        }
        constexpr TVec2& operator-=(const TVec2& o)
        {
            x -= o.x;
            y -= o.y;
            return *this;
        }
        constexpr TVec2& operator*=(T s)
        {
            x *= s;
            y *= s;
            return *this;
        }
        constexpr TVec2& operator/=(T s)
        {
            x /= s;
            y /= s;
            return *this;
        }
        constexpr bool operator==(const TVec2& o) const { return x == o.x && y == o.y; }
        constexpr bool operator!=(const TVec2& o) const { return ! (*this == o); }

        constexpr T dot(const TVec2& o) const { return x * o.x + y * o.y; }
        constexpr T squareLength() const { return x * x + y * y; }
        T length() const { return std::sqrt(squareLength()); }

        // Unit vector in the same direction; a zero vector stays zero.
        TVec2 normalized() const
        {
            const T len = length();
            return len > T(0) ? TVec2(x / len, y / len) : *this;
        }
    };

    template <typename T>
    constexpr TVec2<T> operator*(T s, const TVec2<T>& v)
    {
        return v * s;
    }

    // Handed to GL as tightly packed client arrays.
    static_assert(sizeof(TVec2<float>) == 2 * sizeof(float));

} // namespace vx
