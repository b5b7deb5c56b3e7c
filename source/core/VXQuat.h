#pragma once

#include "core/VXMatrix4x4.h"

#include <cmath>

namespace vx
{

    // A quaternion x, y, z, w (w the scalar part). It only turns itself into a rotation matrix.
    template <typename T>
    struct TQuat
    {
        T x{};
        T y{};
        T z{};
        T w{1};

        constexpr TQuat() = default;
        constexpr TQuat(T xValue, T yValue, T zValue, T wValue) : x(xValue), y(yValue), z(zValue), w(wValue) {}

        // Writes the rotation of the normalised quaternion into all sixteen elements of out.
        // A zero quaternion carries no rotation and writes the identity.
        void getMatrix4x4(Matrix4x4* out) const
        {
            const double lengthSquared = double(x) * x + double(y) * y + double(z) * z + double(w) * w;
            if (! (lengthSquared > 0.0))
            {
                *out = Matrix4x4();
                return;
            }
            const T n = static_cast<T>(1.0 / std::sqrt(lengthSquared));
            const T qx = x * n, qy = y * n, qz = z * n, qw = w * n;
            float* e = out->m;
            e[0] = float(1 - 2 * (qy * qy + qz * qz));
            e[1] = float(2 * (qx * qy + qz * qw));
            e[2] = float(2 * (qx * qz - qy * qw));
            e[3] = 0.0f;
            e[4] = float(2 * (qx * qy - qz * qw));
            e[5] = float(1 - 2 * (qx * qx + qz * qz));
            e[6] = float(2 * (qy * qz + qx * qw));
            e[7] = 0.0f;
            e[8] = float(2 * (qx * qz + qy * qw));
            e[9] = float(2 * (qy * qz - qx * qw));
            e[10] = float(1 - 2 * (qx * qx + qy * qy));
            e[11] = 0.0f;
            e[12] = 0.0f;
            e[13] = 0.0f;
            e[14] = 0.0f;
            e[15] = 1.0f;
        }
    };

} // namespace vx
