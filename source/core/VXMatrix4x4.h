#pragma once

#include "core/VXMatrix3x3.h"
#include "core/VXVec3.h"
#include "core/VXVec4.h"

#include <string>

namespace vx
{

    template <typename T>
    struct TQuat;

    // A 4x4 float matrix: sixteen floats in column-major order (element = column * 4 + row),
    // translation in elements 12..14. Vectors are columns: a point p is transformed as M x p,
    // so in A x B the right-hand B acts first. Angles are radians unless a builder says
    // degrees. Modifiers named after a transform (translate, rotate, scale, ...) post-multiply
    // (this = this x M); their pre* twins pre-multiply (this = M x this). Nothing allocates
    // except toString; a matrix may be its own operand.
    class Matrix4x4
    {
    public:
        float m[16];

        // The identity.
        Matrix4x4();
        // Sixteen floats in element (column-major) order.
        explicit Matrix4x4(const float* elements);
        // Sixteen values given row by row (the first four are row 0), stored column-major.
        Matrix4x4(float r0c0, float r0c1, float r0c2, float r0c3, float r1c0, float r1c1, float r1c2, float r1c3,
                  float r2c0, float r2c1, float r2c2, float r2c3, float r3c0, float r3c1, float r3c2, float r3c3);
        // Embeds a 2D transform: its columns 0, 1, 2 become 4x4 columns 0, 1, 3
        // (rows 0, 1, 3); the z row and column are those of the identity.
        explicit Matrix4x4(const TMatrix3x3<float>& m33);
        explicit Matrix4x4(const TQuat<float>& q);
        Matrix4x4(const TQuat<float>& q, const TVec3<float>& translation, const TVec3<float>& scale);

        static Matrix4x4 identity();
        // Rotation of q, then e0, e5, e10 multiplied by the scale, then the translation.
        static Matrix4x4 fromQuaternion(const TQuat<float>& q, const TVec3<float>& translation,
                                        const TVec3<float>& scale);

        void set(const float* elements);
        // Copies only the first count floats in element order.
        void set(const float* elements, int count);
        void set(float r0c0, float r0c1, float r0c2, float r0c3, float r1c0, float r1c1, float r1c2, float r1c3,
                 float r2c0, float r2c1, float r2c2, float r2c3, float r3c0, float r3c1, float r3c2, float r3c3);
        void setX(const TVec3<float>& v);
        void setY(const TVec3<float>& v);
        void setZ(const TVec3<float>& v);
        void setTrans(const TVec3<float>& v);
        // Nine floats as three columns of three into the upper-left block.
        void setRotation(const float* nine);
        void setRotation(const Matrix4x4& other);
        void zero();

        float operator()(int row, int column) const { return m[column * 4 + row]; }
        float& operator()(int row, int column) { return m[column * 4 + row]; }

        // Builders.
        static Matrix4x4 rotationX(float angle);
        static Matrix4x4 rotationY(float angle);
        static Matrix4x4 rotationZ(float angle);
        // Ry(y) x Rx(x) x Rz(z): z acts first, then x, then y.
        static Matrix4x4 rotationZXY(float x, float y, float z);
        static Matrix4x4 rotationZXY(const TVec3<float>& angles);
        static Matrix4x4 rotation(float x, float y, float z);
        static Matrix4x4 rotation(const TVec3<float>& angles);
        // Rz(z) x Rx(x) x Ry(y).
        static Matrix4x4 rotationYXZ(float x, float y, float z);
        static Matrix4x4 rotationYXZ(const TVec3<float>& angles);
        static Matrix4x4 yawPitchRoll(float yaw, float pitch, float roll);
        // The axis is used as given, not normalised; the sense is opposite to rotationX/Y/Z.
        static Matrix4x4 axisRotation(float angle, const TVec3<float>& axis);
        static Matrix4x4 translation(float x, float y, float z);
        static Matrix4x4 translation(const TVec3<float>& v);
        static Matrix4x4 scaling(float x, float y, float z);
        static Matrix4x4 scaling(const TVec3<float>& v);
        // Shears; angles in degrees.
        static Matrix4x4 shearingX(float a, float b);
        static Matrix4x4 shearingY(float a, float b);
        static Matrix4x4 shearingZ(float a, float b);
        static Matrix4x4 shear2D(float a, float b);
        // fovY in radians. Maps view depth -near to 0 and -far to 1 (swapped when reversed).
        static Matrix4x4 perspective(float fovY, float aspect, float nearPlane, float farPlane, bool reversed);
        static Matrix4x4 ortho(float width, float height, float nearPlane, float farPlane);
        static Matrix4x4 orthoOffCenter(float left, float right, float bottom, float top, float nearPlane,
                                        float farPlane);
        // fovY in degrees; equals perspective with reversed clear.
        static Matrix4x4 buildPerspectiveMatrix(float fovYDegrees, float aspect, float nearPlane, float farPlane);
        static Matrix4x4 buildOrthoMatrix(float width, float height, float depth);
        static Matrix4x4 buildS(float s);
        static Matrix4x4 buildS(float x, float y, float z);
        static Matrix4x4 buildR(float x, float y, float z);
        static Matrix4x4 buildT(float x, float y, float z);
        // Places an object at eye, its z axis towards target.
        static Matrix4x4 pointAt(const TVec3<float>& eye, const TVec3<float>& target, const TVec3<float>& up);
        // The view matrix of a camera at eye looking at target.
        static Matrix4x4 lookAt(const TVec3<float>& eye, const TVec3<float>& target, const TVec3<float>& up);

        // Arithmetic.
        Matrix4x4 operator*(const Matrix4x4& other) const;
        Matrix4x4& multiply(const Matrix4x4& other);
        Matrix4x4& operator*=(const Matrix4x4& other);
        Matrix4x4& preMultiply(const Matrix4x4& other);
        // Point transform with translation and no perspective division.
        TVec3<float> operator*(const TVec3<float>& v) const;
        TVec4<float> operator*(const TVec4<float>& v) const;
        Matrix4x4 operator+(const Matrix4x4& other) const;
        Matrix4x4 operator-(const Matrix4x4& other) const;
        Matrix4x4& operator+=(const Matrix4x4& other);
        Matrix4x4& operator-=(const Matrix4x4& other);
        Matrix4x4& operator*=(float factor);
        Matrix4x4& operator/=(float divisor);
        Matrix4x4 operator-() const;
        bool operator==(const Matrix4x4& other) const;
        bool operator!=(const Matrix4x4& other) const;

        void transpose();
        Matrix4x4 transposed() const;
        float determinant() const;
        float trace() const;
        float trace33() const;

        // Post-multiplying modifiers: this = this x M.
        Matrix4x4& translate(const TVec3<float>& v);
        Matrix4x4& translate(float x, float y, float z);
        Matrix4x4& rotate(const TVec3<float>& angles);
        Matrix4x4& rotate(float x, float y, float z);
        Matrix4x4& scale(const TVec3<float>& v);
        Matrix4x4& scale(float x, float y, float z);
        Matrix4x4& scale(float s);
        Matrix4x4& rotateX(float angle);
        Matrix4x4& rotateY(float angle);
        Matrix4x4& rotateZ(float angle);
        Matrix4x4& rotateZXY(const TVec3<float>& angles);
        Matrix4x4& rotateYXZ(const TVec3<float>& angles);

        // Pre-multiplying modifiers: this = M x this.
        Matrix4x4& preTranslate(const TVec3<float>& v);
        Matrix4x4& preTranslate(float x, float y, float z);
        Matrix4x4& preRotate(const TVec3<float>& angles);
        Matrix4x4& preRotate(float x, float y, float z);
        Matrix4x4& preScale(const TVec3<float>& v);
        Matrix4x4& preScale(float x, float y, float z);
        Matrix4x4& preRotateX(float angle);
        Matrix4x4& preRotateY(float angle);
        Matrix4x4& preRotateZ(float angle);
        Matrix4x4& preRotateZXY(const TVec3<float>& angles);
        Matrix4x4& preRotateYXZ(const TVec3<float>& angles);

        // Inverts in place; a matrix with |determinant| below epsilon becomes the identity
        // and the answer is false.
        bool invert(float epsilon = 1.0e-12f);
        // The inverse (the identity for a singular matrix); this is unchanged.
        Matrix4x4 inverted(float epsilon = 1.0e-12f) const;

        // Lengths of the first three elements of columns 0, 1, 2.
        TVec3<float> getScale() const;
        Matrix4x4 unscaled() const;
        TVec3<float> getTranslation() const;
        // Euler angles of rotationZXY; (0, 0, 0) when a column has length 0. A negative
        // determinant is read as a negative x scale.
        TVec3<float> getRotation() const;
        // Any pointer may be null. With a zero-length column the rotation is left untouched.
        void decompose(TVec3<float>* translation, TVec3<float>* rotation, TVec3<float>* scale) const;

        // The elements row by row with "%.5f"; rows end in "\n" when multiLine, else are
        // separated by two blanks.
        std::string toString(bool multiLine) const;
    };

    // out = inverse of in (in and out must differ). When epsilon > |det| out becomes the
    // identity and the answer is false.
    bool m44inverse(Matrix4x4* out, const Matrix4x4& in, float epsilon);
    // The 3x3 minor of the column-major 4x4 array m without column i and row j, in element order.
    void m44submat(const float* m, float* out, int i, int j);
    float m33det(const float* a);

    // Uploaded to GL as sixteen contiguous floats.
    static_assert(sizeof(Matrix4x4) == 16 * sizeof(float));

} // namespace vx
