#pragma once

#include "core/VXVec2.h"

#include <cmath>

namespace vx
{

    // A 3x3 matrix of nine values in column-major order (index = column * 3 + row),
    // used as a 2D affine transform: columns 0 and 1 are the images of the x and y
    // axes, the translation sits in elements 6 and 7 and the third row is 0, 0, 1.
    // Default construction gives the identity. The engine uses it with float.
    template <typename T>
    struct TMatrix3x3
    {
        T m[9] = {T(1), T(0), T(0), T(0), T(1), T(0), T(0), T(0), T(1)};

        // One shared identity, initialised once (thread-safe); callers only read it.
        static const TMatrix3x3& identityMatrix()
        {
            static const TMatrix3x3 identity;
            return identity;
        }

        // this x other, column-major.
        TMatrix3x3 operator*(const TMatrix3x3& o) const
        {
            TMatrix3x3 result;
            for (int c = 0; c < 3; ++c)
                for (int r = 0; r < 3; ++r)
                    result.m[c * 3 + r] = m[r] * o.m[c * 3] + m[3 + r] * o.m[c * 3 + 1] + m[6 + r] * o.m[c * 3 + 2];
            return result;
        }

        // The 2D point transform (m0 x + m3 y + m6, m1 x + m4 y + m7).
        TVec2<T> operator*(const TVec2<T>& p) const
        {
            return {m[0] * p.x + m[3] * p.y + m[6], m[1] * p.x + m[4] * p.y + m[7]};
        }

        // this = this x R, R a counter-clockwise rotation by angle radians.
        TMatrix3x3& rotate(T angle)
        {
            TMatrix3x3 r;
            const T c = std::cos(angle);
            const T s = std::sin(angle);
            r.m[0] = c;
            r.m[1] = s;
            r.m[3] = -s;
            r.m[4] = c;
            return *this = *this * r;
        }

        // this = this x translation(v).
        TMatrix3x3& translate(const TVec2<T>& v)
        {
            TMatrix3x3 t;
            t.m[6] = v.x;
            t.m[7] = v.y;
            return *this = *this * t;
        }

        // this = this x diag(s, s, 1).
        TMatrix3x3& scale(T s)
        {
            TMatrix3x3 k;
            k.m[0] = s;
            k.m[4] = s;
            return *this = *this * k;
        }

        T determinant() const
        {
            return m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
                   m[2] * (m[3] * m[7] - m[4] * m[6]);
        }

        // Inverts in place. When |determinant| is below epsilon the matrix becomes the
        // identity and the answer is false.
        bool invert(T epsilon)
        {
            const T det = determinant();
            if (epsilon > std::abs(det))
            {
                *this = TMatrix3x3();
                return false;
            }
            const T* a = m;
            TMatrix3x3 inv;
            inv.m[0] = (a[4] * a[8] - a[5] * a[7]) / det;
            inv.m[1] = (a[2] * a[7] - a[1] * a[8]) / det;
            inv.m[2] = (a[1] * a[5] - a[2] * a[4]) / det;
            inv.m[3] = (a[5] * a[6] - a[3] * a[8]) / det;
            inv.m[4] = (a[0] * a[8] - a[2] * a[6]) / det;
            inv.m[5] = (a[2] * a[3] - a[0] * a[5]) / det;
            inv.m[6] = (a[3] * a[7] - a[4] * a[6]) / det;
            inv.m[7] = (a[1] * a[6] - a[0] * a[7]) / det;
            inv.m[8] = (a[0] * a[4] - a[1] * a[3]) / det;
            *this = inv;
            return true;
        }

        bool operator==(const TMatrix3x3& o) const
        {
            for (int i = 0; i < 9; ++i)
                if (m[i] != o.m[i])
                    return false;
            return true;
        }
        bool operator!=(const TMatrix3x3& o) const { return ! (*this == o); }
    };

} // namespace vx
