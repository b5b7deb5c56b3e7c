#pragma once

namespace vx
{

    // A 4D vector record (homogeneous points, RGBA-like tuples); plain value.
    template <typename T>
    struct TVec4
    {
        T x{};
        T y{};
        T z{};
        T w{};

        constexpr TVec4() = default;
        constexpr TVec4(T xValue, T yValue, T zValue, T wValue) : x(xValue), y(yValue), z(zValue), w(wValue) {}

        constexpr TVec4 operator+(const TVec4& o) const { return {x + o.x, y + o.y, z + o.z, w + o.w}; }
        constexpr TVec4 operator-(const TVec4& o) const { return {x - o.x, y - o.y, z - o.z, w - o.w}; }
        constexpr TVec4 operator*(T s) const { return {x * s, y * s, z * s, w * s}; }
        constexpr bool operator==(const TVec4& o) const { return x == o.x && y == o.y && z == o.z && w == o.w; }
        constexpr bool operator!=(const TVec4& o) const { return ! (*this == o); }
        constexpr T dot(const TVec4& o) const { return x * o.x + y * o.y + z * o.z + w * o.w; }
    };

} // namespace vx
