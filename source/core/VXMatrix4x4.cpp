#include "core/VXMatrix4x4.h"

#include "core/VXQuat.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace vx
{

    namespace
    {

        // Degrees to radians with the engine's own factor (not the exact pi / 180).
        constexpr float degreeFactor = 0.017453f;

        // Normalises unless the length is not greater than 0 (the vector then stays as computed).
        TVec3<float> normalizedOrKept(const TVec3<float>& v)
        {
            const float len = v.length();
            return len > 0.0f ? v / len : v;
        }

        float clampUnit(float value)
        {
            return std::clamp(value, -1.0f, 1.0f);
        }

        // Euler angles of rotationZXY from the elements divided by the (possibly negated) column
        // lengths. Rounding can push |e9 / sz| past 1, so the sine is clamped before asin.
        TVec3<float> eulerFromScaled(const float* e, const TVec3<float>& s)
        {
            const float sinX = -e[9] / s.z;
            TVec3<float> angles;
            angles.x = std::asin(clampUnit(sinX));
            const float magnitude = std::abs(sinX);
            if (magnitude > 0.999f && magnitude < 1.001f)
            {
                angles.y = 0.0f;
                angles.z = std::atan2(-e[4] / s.y, e[0] / s.x);
            }
            else
            {
                angles.y = std::atan2(e[8] / s.z, e[10] / s.z);
                angles.z = std::atan2(e[1] / s.x, e[5] / s.y);
            }
            return angles;
        }

    } // namespace

    Matrix4x4::Matrix4x4()
    {
        static constexpr float identityElements[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        std::memcpy(m, identityElements, sizeof(m));
    }

    Matrix4x4::Matrix4x4(const float* elements)
    {
        set(elements);
    }

    Matrix4x4::Matrix4x4(float r0c0, float r0c1, float r0c2, float r0c3, float r1c0, float r1c1, float r1c2, float r1c3,
                         float r2c0, float r2c1, float r2c2, float r2c3, float r3c0, float r3c1, float r3c2, float r3c3)
    {
        set(r0c0, r0c1, r0c2, r0c3, r1c0, r1c1, r1c2, r1c3, r2c0, r2c1, r2c2, r2c3, r3c0, r3c1, r3c2, r3c3);
    }

    Matrix4x4::Matrix4x4(const TMatrix3x3<float>& m33)
    {
        zero();
        const int targetColumn[3] = {0, 1, 3};
        const int targetRow[3] = {0, 1, 3};
        for (int j = 0; j < 3; ++j)
            for (int r = 0; r < 3; ++r)
                m[targetColumn[j] * 4 + targetRow[r]] = m33.m[j * 3 + r];
        m[10] = 1.0f;
    }

    Matrix4x4::Matrix4x4(const TQuat<float>& q) : Matrix4x4()
    {
        q.getMatrix4x4(this);
    }

    Matrix4x4::Matrix4x4(const TQuat<float>& q, const TVec3<float>& translation, const TVec3<float>& scale)
    {
        *this = fromQuaternion(q, translation, scale);
    }

    Matrix4x4 Matrix4x4::identity()
    {
        return {};
    }

    Matrix4x4 Matrix4x4::fromQuaternion(const TQuat<float>& q, const TVec3<float>& translation,
                                        const TVec3<float>& scale)
    {
        Matrix4x4 result(q);
        result.m[0] *= scale.x;
        result.m[5] *= scale.y;
        result.m[10] *= scale.z;
        result.setTrans(translation);
        return result;
    }

    void Matrix4x4::set(const float* elements)
    {
        std::memcpy(m, elements, sizeof(m));
    }

    void Matrix4x4::set(const float* elements, int count)
    {
        const int n = std::clamp(count, 0, 16);
        for (int i = 0; i < n; ++i)
            m[i] = elements[i];
    }

    void Matrix4x4::set(float r0c0, float r0c1, float r0c2, float r0c3, float r1c0, float r1c1, float r1c2, float r1c3,
                        float r2c0, float r2c1, float r2c2, float r2c3, float r3c0, float r3c1, float r3c2, float r3c3)
    {
        const float rows[16] = {r0c0, r0c1, r0c2, r0c3, r1c0, r1c1, r1c2, r1c3,
                                r2c0, r2c1, r2c2, r2c3, r3c0, r3c1, r3c2, r3c3};
        for (int k = 0; k < 16; ++k)
            m[(k % 4) * 4 + k / 4] = rows[k];
    }

    void Matrix4x4::setX(const TVec3<float>& v)
    {
        m[0] = v.x;
        m[1] = v.y;
        m[2] = v.z;
    }
    void Matrix4x4::setY(const TVec3<float>& v)
    {
        m[4] = v.x;
        m[5] = v.y;
        m[6] = v.z;
    }
    void Matrix4x4::setZ(const TVec3<float>& v)
    {
        m[8] = v.x;
        m[9] = v.y;
        m[10] = v.z;
    }
    void Matrix4x4::setTrans(const TVec3<float>& v)
    {
        m[12] = v.x;
        m[13] = v.y;
        m[14] = v.z;
    }

    void Matrix4x4::setRotation(const float* nine)
    {
        for (int c = 0; c < 3; ++c)
            for (int r = 0; r < 3; ++r)
                m[c * 4 + r] = nine[c * 3 + r];
    }

    void Matrix4x4::setRotation(const Matrix4x4& other)
    {
        for (int c = 0; c < 3; ++c)
            for (int r = 0; r < 3; ++r)
                m[c * 4 + r] = other.m[c * 4 + r];
    }

    void Matrix4x4::zero()
    {
        std::fill(std::begin(m), std::end(m), 0.0f);
    }

    // Builders -------------------------------------------------------------------------

    Matrix4x4 Matrix4x4::rotationX(float angle)
    {
        Matrix4x4 r;
        const float c = std::cos(angle), s = std::sin(angle);
        r.m[5] = c;
        r.m[6] = s;
        r.m[9] = -s;
        r.m[10] = c;
        return r;
    }

    Matrix4x4 Matrix4x4::rotationY(float angle)
    {
        Matrix4x4 r;
        const float c = std::cos(angle), s = std::sin(angle);
        r.m[0] = c;
        r.m[2] = -s;
        r.m[8] = s;
        r.m[10] = c;
        return r;
    }

    Matrix4x4 Matrix4x4::rotationZ(float angle)
    {
        Matrix4x4 r;
        const float c = std::cos(angle), s = std::sin(angle);
        r.m[0] = c;
        r.m[1] = s;
        r.m[4] = -s;
        r.m[5] = c;
        return r;
    }

    Matrix4x4 Matrix4x4::rotationZXY(float x, float y, float z)
    {
        return rotationY(y) * rotationX(x) * rotationZ(z);
    }

    Matrix4x4 Matrix4x4::rotationZXY(const TVec3<float>& a)
    {
        return rotationZXY(a.x, a.y, a.z);
    }
    Matrix4x4 Matrix4x4::rotation(float x, float y, float z)
    {
        return rotationZXY(x, y, z);
    }
    Matrix4x4 Matrix4x4::rotation(const TVec3<float>& a)
    {
        return rotationZXY(a.x, a.y, a.z);
    }

    Matrix4x4 Matrix4x4::rotationYXZ(float x, float y, float z)
    {
        return rotationZ(z) * rotationX(x) * rotationY(y);
    }

    Matrix4x4 Matrix4x4::rotationYXZ(const TVec3<float>& a)
    {
        return rotationYXZ(a.x, a.y, a.z);
    }

    Matrix4x4 Matrix4x4::yawPitchRoll(float yaw, float pitch, float roll)
    {
        return rotationZXY(pitch, yaw, roll);
    }

    Matrix4x4 Matrix4x4::axisRotation(float angle, const TVec3<float>& axis)
    {
        const float c = std::cos(angle), s = std::sin(angle), t = 1.0f - c;
        const float x = axis.x, y = axis.y, z = axis.z;
        Matrix4x4 r;
        r.zero();
        r.m[0] = x * x * t + c;
        r.m[1] = x * y * t - z * s;
        r.m[2] = x * z * t + y * s;
        r.m[4] = x * y * t + z * s;
        r.m[5] = y * y * t + c;
        r.m[6] = y * z * t - x * s;
        r.m[8] = x * z * t - y * s;
        r.m[9] = y * z * t + x * s;
        r.m[10] = z * z * t + c;
        r.m[15] = 1.0f;
        return r;
    }

    Matrix4x4 Matrix4x4::translation(float x, float y, float z)
    {
        Matrix4x4 r;
        r.m[12] = x;
        r.m[13] = y;
        r.m[14] = z;
        return r;
    }

    Matrix4x4 Matrix4x4::translation(const TVec3<float>& v)
    {
        return translation(v.x, v.y, v.z);
    }

    Matrix4x4 Matrix4x4::scaling(float x, float y, float z)
    {
        Matrix4x4 r;
        r.m[0] = x;
        r.m[5] = y;
        r.m[10] = z;
        return r;
    }

    Matrix4x4 Matrix4x4::scaling(const TVec3<float>& v)
    {
        return scaling(v.x, v.y, v.z);
    }

    Matrix4x4 Matrix4x4::shearingX(float a, float b)
    {
        Matrix4x4 r;
        r.m[1] = std::tan(a * degreeFactor);
        r.m[2] = std::tan(b * degreeFactor);
        return r;
    }

    Matrix4x4 Matrix4x4::shearingY(float a, float b)
    {
        Matrix4x4 r;
        r.m[4] = std::tan(a * degreeFactor);
        r.m[6] = std::tan(b * degreeFactor);
        return r;
    }

    Matrix4x4 Matrix4x4::shearingZ(float a, float b)
    {
        Matrix4x4 r;
        r.m[8] = std::tan(a * degreeFactor);
        r.m[9] = std::tan(b * degreeFactor);
        return r;
    }

    Matrix4x4 Matrix4x4::shear2D(float a, float b)
    {
        Matrix4x4 r;
        r.m[4] = std::tan(a * degreeFactor);
        r.m[1] = std::tan(b * degreeFactor);
        return r;
    }

    Matrix4x4 Matrix4x4::perspective(float fovY, float aspect, float nearPlane, float farPlane, bool reversed)
    {
        Matrix4x4 r;
        r.zero();
        const float f = 1.0f / std::tan(fovY / 2.0f);
        r.m[0] = f / aspect;
        r.m[5] = f;
        r.m[11] = -1.0f;
        if (reversed)
        {
            r.m[10] = nearPlane / (farPlane - nearPlane);
            r.m[14] = nearPlane * farPlane / (farPlane - nearPlane);
        }
        else
        {
            r.m[10] = farPlane / (nearPlane - farPlane);
            r.m[14] = nearPlane * farPlane / (nearPlane - farPlane);
        }
        return r;
    }

    Matrix4x4 Matrix4x4::ortho(float width, float height, float nearPlane, float farPlane)
    {
        Matrix4x4 r;
        r.zero();
        r.m[0] = 2.0f / width;
        r.m[5] = 2.0f / height;
        r.m[10] = 1.0f / (nearPlane - farPlane);
        r.m[14] = nearPlane / (nearPlane - farPlane);
        r.m[15] = 1.0f;
        return r;
    }

    Matrix4x4 Matrix4x4::orthoOffCenter(float left, float right, float bottom, float top, float nearPlane,
                                        float farPlane)
    {
        Matrix4x4 r;
        r.zero();
        r.m[0] = 2.0f / (right - left);
        r.m[5] = 2.0f / (top - bottom);
        r.m[10] = 1.0f / (nearPlane - farPlane);
        r.m[12] = (left + right) / (left - right);
        r.m[13] = (bottom + top) / (bottom - top);
        r.m[14] = nearPlane / (nearPlane - farPlane);
        r.m[15] = 1.0f;
        return r;
    }

    Matrix4x4 Matrix4x4::buildPerspectiveMatrix(float fovYDegrees, float aspect, float nearPlane, float farPlane)
    {
        Matrix4x4 r;
        r.zero();
        const float f = float(1.0 / std::tan(double(fovYDegrees * degreeFactor * 0.5f)));
        r.m[0] = f / aspect;
        r.m[5] = f;
        r.m[10] = -farPlane / (farPlane - nearPlane);
        r.m[11] = -1.0f;
        r.m[14] = -(nearPlane * farPlane) / (farPlane - nearPlane);
        return r;
    }

    Matrix4x4 Matrix4x4::buildOrthoMatrix(float width, float height, float depth)
    {
        return scaling(2.0f / width, 2.0f / height, -2.0f / depth);
    }

    Matrix4x4 Matrix4x4::buildS(float s)
    {
        return Matrix4x4().scale(s);
    }
    Matrix4x4 Matrix4x4::buildS(float x, float y, float z)
    {
        return Matrix4x4().scale(x, y, z);
    }
    Matrix4x4 Matrix4x4::buildR(float x, float y, float z)
    {
        return Matrix4x4().rotate(x, y, z);
    }
    Matrix4x4 Matrix4x4::buildT(float x, float y, float z)
    {
        return Matrix4x4().translate(x, y, z);
    }

    Matrix4x4 Matrix4x4::pointAt(const TVec3<float>& eye, const TVec3<float>& target, const TVec3<float>& up)
    {
        const TVec3<float> f = normalizedOrKept(target - eye);
        const TVec3<float> r = normalizedOrKept(up.cross(f));
        const TVec3<float> u = normalizedOrKept(f.cross(r));
        Matrix4x4 result;
        result.setX(r);
        result.setY(u);
        result.setZ(f);
        result.setTrans(eye);
        return result;
    }

    Matrix4x4 Matrix4x4::lookAt(const TVec3<float>& eye, const TVec3<float>& target, const TVec3<float>& up)
    {
        const TVec3<float> z = normalizedOrKept(eye - target);
        const TVec3<float> x = normalizedOrKept(up.cross(z));
        const TVec3<float> y = normalizedOrKept(z.cross(x));
        Matrix4x4 result;
        result.setX(x);
        result.setY(y);
        result.setZ(z);
        result.transpose();
        return result.translate(-eye);
    }

    // Arithmetic -----------------------------------------------------------------------

    Matrix4x4 Matrix4x4::operator*(const Matrix4x4& o) const
    {
        Matrix4x4 result;
        for (int c = 0; c < 4; ++c)
        {
            const float b0 = o.m[c * 4], b1 = o.m[c * 4 + 1], b2 = o.m[c * 4 + 2], b3 = o.m[c * 4 + 3];
            for (int r = 0; r < 4; ++r)
                result.m[c * 4 + r] = m[r] * b0 + m[4 + r] * b1 + m[8 + r] * b2 + m[12 + r] * b3;
        }
        return result;
    }

    Matrix4x4& Matrix4x4::multiply(const Matrix4x4& other)
    {
        return *this = *this * other;
    }

    Matrix4x4& Matrix4x4::operator*=(const Matrix4x4& other)
    {
        return *this = *this * other;
    }

    Matrix4x4& Matrix4x4::preMultiply(const Matrix4x4& other)
    {
        return *this = other * *this;
    }

    TVec3<float> Matrix4x4::operator*(const TVec3<float>& v) const
    {
        return {m[0] * v.x + m[4] * v.y + m[8] * v.z + m[12], m[1] * v.x + m[5] * v.y + m[9] * v.z + m[13],
                m[2] * v.x + m[6] * v.y + m[10] * v.z + m[14]};
    }

    TVec4<float> Matrix4x4::operator*(const TVec4<float>& v) const
    {
        return {m[0] * v.x + m[4] * v.y + m[8] * v.z + m[12] * v.w, m[1] * v.x + m[5] * v.y + m[9] * v.z + m[13] * v.w,
                m[2] * v.x + m[6] * v.y + m[10] * v.z + m[14] * v.w,
                m[3] * v.x + m[7] * v.y + m[11] * v.z + m[15] * v.w};
    }

    Matrix4x4 Matrix4x4::operator+(const Matrix4x4& o) const
    {
        Matrix4x4 r(*this);
        return r += o;
    }
    Matrix4x4 Matrix4x4::operator-(const Matrix4x4& o) const
    {
        Matrix4x4 r(*this);
        return r -= o;
    }

    Matrix4x4& Matrix4x4::operator+=(const Matrix4x4& o)
    {
        for (int i = 0; i < 16; ++i)
            m[i] += o.m[i];
        return *this;
    }

    Matrix4x4& Matrix4x4::operator-=(const Matrix4x4& o)
    {
        for (int i = 0; i < 16; ++i)
            m[i] -= o.m[i];
        return *this;
    }

    Matrix4x4& Matrix4x4::operator*=(float factor)
    {
        for (float& e : m)
            e *= factor;
        return *this;
    }

    Matrix4x4& Matrix4x4::operator/=(float divisor)
    {
        for (float& e : m)
            e /= divisor;
        return *this;
    }

    Matrix4x4 Matrix4x4::operator-() const
    {
        Matrix4x4 r(*this);
        for (float& e : r.m)
            e = -e;
        return r;
    }

    bool Matrix4x4::operator==(const Matrix4x4& o) const
    {
        return std::equal(std::begin(m), std::end(m), std::begin(o.m));
    }

    bool Matrix4x4::operator!=(const Matrix4x4& o) const
    {
        return ! (*this == o);
    }

    void Matrix4x4::transpose()
    {
        for (int c = 0; c < 4; ++c)
            for (int r = c + 1; r < 4; ++r)
                std::swap(m[c * 4 + r], m[r * 4 + c]);
    }

    Matrix4x4 Matrix4x4::transposed() const
    {
        Matrix4x4 r(*this);
        r.transpose();
        return r;
    }

    float Matrix4x4::determinant() const
    {
        // Laplace expansion along the first row, with the minors m44submat forms.
        float det = 0.0f;
        float minor[9];
        for (int column = 0; column < 4; ++column)
        {
            m44submat(m, minor, column, 0);
            const float cofactor = m33det(minor) * ((column & 1) ? -1.0f : 1.0f);
            det += m[column * 4] * cofactor;
        }
        return det;
    }

    float Matrix4x4::trace() const
    {
        return m[0] + m[5] + m[10] + m[15];
    }
    float Matrix4x4::trace33() const
    {
        return m[0] + m[5] + m[10];
    }

    // Modifiers ------------------------------------------------------------------------

    Matrix4x4& Matrix4x4::translate(const TVec3<float>& v)
    {
        return multiply(translation(v));
    }
    Matrix4x4& Matrix4x4::translate(float x, float y, float z)
    {
        return multiply(translation(x, y, z));
    }
    Matrix4x4& Matrix4x4::rotate(const TVec3<float>& a)
    {
        return multiply(rotationZXY(a));
    }
    Matrix4x4& Matrix4x4::rotate(float x, float y, float z)
    {
        return multiply(rotationZXY(x, y, z));
    }
    Matrix4x4& Matrix4x4::scale(const TVec3<float>& v)
    {
        return multiply(scaling(v));
    }
    Matrix4x4& Matrix4x4::scale(float x, float y, float z)
    {
        return multiply(scaling(x, y, z));
    }
    Matrix4x4& Matrix4x4::scale(float s)
    {
        return multiply(scaling(s, s, s));
    }
    Matrix4x4& Matrix4x4::rotateX(float angle)
    {
        return multiply(rotationX(angle));
    }
    Matrix4x4& Matrix4x4::rotateY(float angle)
    {
        return multiply(rotationY(angle));
    }
    Matrix4x4& Matrix4x4::rotateZ(float angle)
    {
        return multiply(rotationZ(angle));
    }
    Matrix4x4& Matrix4x4::rotateZXY(const TVec3<float>& a)
    {
        return multiply(rotationZXY(a));
    }
    Matrix4x4& Matrix4x4::rotateYXZ(const TVec3<float>& a)
    {
        return multiply(rotationYXZ(a));
    }

    Matrix4x4& Matrix4x4::preTranslate(const TVec3<float>& v)
    {
        return preMultiply(translation(v));
    }
    Matrix4x4& Matrix4x4::preTranslate(float x, float y, float z)
    {
        return preMultiply(translation(x, y, z));
    }
    Matrix4x4& Matrix4x4::preRotate(const TVec3<float>& a)
    {
        return preMultiply(rotationZXY(a));
    }
    Matrix4x4& Matrix4x4::preRotate(float x, float y, float z)
    {
        return preMultiply(rotationZXY(x, y, z));
    }
    Matrix4x4& Matrix4x4::preScale(const TVec3<float>& v)
    {
        return preMultiply(scaling(v));
    }
    Matrix4x4& Matrix4x4::preScale(float x, float y, float z)
    {
        return preMultiply(scaling(x, y, z));
    }
    Matrix4x4& Matrix4x4::preRotateX(float angle)
    {
        return preMultiply(rotationX(angle));
    }
    Matrix4x4& Matrix4x4::preRotateY(float angle)
    {
        return preMultiply(rotationY(angle));
    }
    Matrix4x4& Matrix4x4::preRotateZ(float angle)
    {
        return preMultiply(rotationZ(angle));
    }
    Matrix4x4& Matrix4x4::preRotateZXY(const TVec3<float>& a)
    {
        return preMultiply(rotationZXY(a));
    }
    Matrix4x4& Matrix4x4::preRotateYXZ(const TVec3<float>& a)
    {
        return preMultiply(rotationYXZ(a));
    }

    // Inverse and decomposition ------------------------------------------------------------

    bool Matrix4x4::invert(float epsilon)
    {
        const Matrix4x4 source(*this);
        return m44inverse(this, source, epsilon);
    }

    Matrix4x4 Matrix4x4::inverted(float epsilon) const
    {
        Matrix4x4 result;
        m44inverse(&result, *this, epsilon);
        return result;
    }

    TVec3<float> Matrix4x4::getScale() const
    {
        return {TVec3<float>(m[0], m[1], m[2]).length(), TVec3<float>(m[4], m[5], m[6]).length(),
                TVec3<float>(m[8], m[9], m[10]).length()};
    }

    Matrix4x4 Matrix4x4::unscaled() const
    {
        const TVec3<float> s = getScale();
        Matrix4x4 r(*this);
        return r.scale(1.0f / s.x, 1.0f / s.y, 1.0f / s.z);
    }

    TVec3<float> Matrix4x4::getTranslation() const
    {
        return {m[12], m[13], m[14]};
    }

    TVec3<float> Matrix4x4::getRotation() const
    {
        TVec3<float> s = getScale();
        if (s.x == 0.0f || s.y == 0.0f || s.z == 0.0f)
            return {};
        if (determinant() < 0.0f)
            s.x = -s.x;
        return eulerFromScaled(m, s);
    }

    void Matrix4x4::decompose(TVec3<float>* translation, TVec3<float>* rotation, TVec3<float>* scale) const
    {
        if (translation)
            *translation = getTranslation();
        TVec3<float> localScale;
        TVec3<float>& s = scale ? *scale : localScale;
        s = getScale();
        if (s.x == 0.0f || s.y == 0.0f || s.z == 0.0f)
            return;
        if (determinant() < 0.0f)
            s.x = -s.x;
        if (rotation)
            *rotation = eulerFromScaled(m, s);
    }

    std::string Matrix4x4::toString(bool multiLine) const
    {
        const char* format =
            multiLine ? "%.5f %.5f %.5f %.5f\n%.5f %.5f %.5f %.5f\n%.5f %.5f %.5f %.5f\n%.5f %.5f %.5f %.5f\n"
                      : "%.5f %.5f %.5f %.5f  %.5f %.5f %.5f %.5f  %.5f %.5f %.5f %.5f  %.5f %.5f %.5f %.5f";
        const auto e = [this](int i) { return double(m[i]); };
        const auto print = [&](char* buffer, size_t size)
        {
            return std::snprintf(buffer, size, format, e(0), e(4), e(8), e(12), e(1), e(5), e(9), e(13), e(2), e(6),
                                 e(10), e(14), e(3), e(7), e(11), e(15));
        };
        const int length = print(nullptr, 0);
        if (length <= 0)
            return {};
        std::string text(size_t(length) + 1, '\0');
        print(text.data(), text.size());
        text.resize(size_t(length));
        return text;
    }

    // Free functions -------------------------------------------------------------------

    void m44submat(const float* m, float* out, int i, int j)
    {
        int k = 0;
        for (int column = 0; column < 4; ++column)
        {
            if (column == i)
                continue;
            for (int row = 0; row < 4; ++row)
            {
                if (row == j)
                    continue;
                out[k++] = m[column * 4 + row];
            }
        }
    }

    float m33det(const float* a)
    {
        return a[0] * (a[4] * a[8] - a[7] * a[5]) - a[1] * (a[3] * a[8] - a[6] * a[5]) +
               a[2] * (a[3] * a[7] - a[6] * a[4]);
    }

    bool m44inverse(Matrix4x4* out, const Matrix4x4& in, float epsilon)
    {
        // The cofactors of row 0 give the determinant exactly as determinant() sums them,
        // and are the first column of the adjugate, so they are computed once.
        float cofactors[4][4];
        float minor[9];
        float det = 0.0f;
        for (int column = 0; column < 4; ++column)
        {
            m44submat(in.m, minor, column, 0);
            cofactors[column][0] = m33det(minor) * ((column & 1) ? -1.0f : 1.0f);
            det += in.m[column * 4] * cofactors[column][0];
        }
        if (epsilon > std::abs(det))
        {
            *out = Matrix4x4();
            return false;
        }
        for (int i = 0; i < 4; ++i)
            for (int j = 1; j < 4; ++j)
            {
                m44submat(in.m, minor, i, j);
                cofactors[i][j] = m33det(minor) * (((i + j) & 1) ? -1.0f : 1.0f);
            }
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j)
                (*out)(i, j) = cofactors[i][j] / det;
        return true;
    }

} // namespace vx
