#pragma once

#include <cmath>
#include <iosfwd>

namespace vx
{

    // A 3D vector record; plain value, copied freely. The engine uses it with float.
    template <typename T>
    struct TVec3
    {
        T x{};
        T y{};
        T z{};

        constexpr TVec3() = default;
        constexpr TVec3(T xValue, T yValue, T zValue) : x(xValue), y(yValue), z(zValue) {}

        constexpr TVec3 operator+(const TVec3& o) const { return {x + o.x, y + o.y, z + o.z}; }
        constexpr TVec3 operator-(const TVec3& o) const { return {x - o.x, y - o.y, z - o.z}; }
        constexpr TVec3 operator-() const { return {-x, -y, -z}; }
        constexpr TVec3 operator*(T s) const { return {x * s, y * s, z * s}; }
        constexpr TVec3 operator/(T s) const { return {x / s, y / s, z / s}; }
        constexpr TVec3& operator+=(const TVec3& o)
        {
            x += o.x;
            y += o.y;
            z += o.z;
            return *this;
        }
        constexpr TVec3& operator-=(const TVec3& o)
        {
            x -= o.x;
            y -= o.y;
            z -= o.z;
            return *this;
        }
        constexpr TVec3& operator*=(T s)
        {
            x *= s;
            y *= s;
            z *= s;
            return *this;
        }
        constexpr TVec3& operator/=(T s)
        {
            x /= s;
            y /= s;
            z /= s;
            return *this;
        }
        constexpr bool operator==(const TVec3& o) const { return x == o.x && y == o.y && z == o.z; }
        constexpr bool operator!=(const TVec3& o) const { return ! (*this == o); }

        constexpr T dot(const TVec3& o) const { return x * o.x + y * o.y + z * o.z; }
        constexpr TVec3 cross(const TVec3& o) const
        {
            return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x};
        }
        constexpr T squareLength() const { return x * x + y * y + z * z; }
        T length() const { return std::sqrt(squareLength()); }

        // Unit vector in the same direction; a vector of length 0 stays as it is.
        TVec3 normalized() const
        {
            const T len = length();
            return len > T(0) ? TVec3(x / len, y / len, z / len) : *this;
        }
    };

    template <typename T>
    constexpr TVec3<T> operator*(T s, const TVec3<T>& v)
    {
        return v * s;
    }

    static_assert(sizeof(TVec3<float>) == 3 * sizeof(float));

    // Vectors carry no stream form: both operators leave the stream and the vector untouched.
    std::istream& operator>>(std::istream& stream, TVec3<float>& vector);
    std::ostream& operator<<(std::ostream& stream, const TVec3<float>& vector);

} // namespace vx
