#include "core/VXMatrix4x4.h"

#include "core/VXQuat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace
{

    using vx::Matrix4x4;
    using Vec3 = vx::TVec3<float>;
    using Vec4 = vx::TVec4<float>;

    constexpr float pi = 3.14159265358979f;

    void expectMatrixNear(const Matrix4x4& actual, const Matrix4x4& expected, float tolerance)
    {
        for (int i = 0; i < 16; ++i)
            EXPECT_NEAR(actual.m[i], expected.m[i], tolerance) << "element " << i << "\nactual\n"
                                                               << actual.toString(true) << "expected\n"
                                                               << expected.toString(true);
    }

    void expectVecNear(const Vec3& actual, const Vec3& expected, float tolerance)
    {
        EXPECT_NEAR(actual.x, expected.x, tolerance);
        EXPECT_NEAR(actual.y, expected.y, tolerance);
        EXPECT_NEAR(actual.z, expected.z, tolerance);
    }

    // A well-conditioned random affine transform: rotation, scale in [0.5, 2], translation.
    Matrix4x4 randomTransform(std::mt19937& rng)
    {
        std::uniform_real_distribution<float> angle(-pi, pi);
        std::uniform_real_distribution<float> scale(0.5f, 2.0f);
        std::uniform_real_distribution<float> offset(-10.0f, 10.0f);
        Matrix4x4 m = Matrix4x4::translation(offset(rng), offset(rng), offset(rng));
        m.rotate(angle(rng), angle(rng), angle(rng));
        m.scale(scale(rng), scale(rng), scale(rng));
        return m;
    }

    TEST(Matrix4x4Test, RowWiseArgumentsAreStoredColumnMajor)
    {
        const Matrix4x4 m(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
        EXPECT_EQ(m.m[4], 2.0f);
        EXPECT_EQ(m.m[1], 5.0f);
        EXPECT_EQ(m.m[3], 13.0f);
        EXPECT_EQ(m(0, 1), 2.0f);
        Matrix4x4 partial;
        const float twos[16] = {2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2};
        partial.set(twos, 3);
        EXPECT_EQ(partial.m[2], 2.0f);
        EXPECT_EQ(partial.m[3], 0.0f);
        EXPECT_EQ(Matrix4x4(twos).m[15], 2.0f);
    }

    TEST(Matrix4x4Test, EmbedsA2DTransform)
    {
        vx::TMatrix3x3<float> m33;
        for (int i = 0; i < 9; ++i)
            m33.m[i] = float(i + 1);
        const Matrix4x4 m(m33);
        const float expected[16] = {1, 2, 0, 3, 4, 5, 0, 6, 0, 0, 1, 0, 7, 8, 0, 9};
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(m.m[i], expected[i]) << "element " << i;
    }

    TEST(Matrix4x4Test, TransformsPoints)
    {
        expectVecNear(Matrix4x4::translation(1, 2, 3) * Vec3(0, 0, 0), Vec3(1, 2, 3), 0.0f);
        expectVecNear(Matrix4x4::rotationZ(pi / 2) * Vec3(1, 0, 0), Vec3(0, 1, 0), 1e-6f);
        expectVecNear(Matrix4x4::rotationX(pi / 2) * Vec3(0, 1, 0), Vec3(0, 0, 1), 1e-6f);
        expectVecNear(Matrix4x4::rotationY(pi / 2) * Vec3(0, 0, 1), Vec3(1, 0, 0), 1e-6f);
        const Vec4 v = Matrix4x4::scaling(2, 3, 4) * Vec4(1, 1, 1, 0);
        EXPECT_EQ(v, Vec4(2, 3, 4, 0)) << "w = 0 ignores translation";
        // In A x B the right-hand matrix acts first.
        const Matrix4x4 tr = Matrix4x4::translation(1, 0, 0) * Matrix4x4::rotationZ(pi / 2);
        expectVecNear(tr * Vec3(1, 0, 0), Vec3(1, 1, 0), 1e-6f);
    }

    TEST(Matrix4x4Test, ModifiersPostAndPreMultiply)
    {
        std::mt19937 rng(11);
        const Matrix4x4 m = randomTransform(rng);
        const Vec3 v(1.5f, -2.0f, 0.25f);

        Matrix4x4 post = m;
        post.translate(v);
        expectMatrixNear(post, m * Matrix4x4::translation(v), 1e-6f);
        Matrix4x4 pre = m;
        pre.preTranslate(v);
        expectMatrixNear(pre, Matrix4x4::translation(v) * m, 1e-6f);

        Matrix4x4 rotated = m;
        rotated.rotate(0.3f, 0.2f, 0.1f);
        expectMatrixNear(rotated, m * Matrix4x4::rotationZXY(0.3f, 0.2f, 0.1f), 1e-6f);
        Matrix4x4 preRotated = m;
        preRotated.preRotateYXZ(Vec3(0.3f, 0.2f, 0.1f));
        expectMatrixNear(preRotated, Matrix4x4::rotationYXZ(0.3f, 0.2f, 0.1f) * m, 1e-6f);
        Matrix4x4 scaled = m;
        scaled.scale(2.0f);
        expectMatrixNear(scaled, m * Matrix4x4::scaling(2, 2, 2), 1e-6f);

        // A matrix may be its own operand.
        Matrix4x4 self = m;
        self *= self;
        expectMatrixNear(self, m * m, 1e-5f);
        Matrix4x4 selfPre = m;
        selfPre.preMultiply(selfPre);
        expectMatrixNear(selfPre, m * m, 1e-5f);
    }

    TEST(Matrix4x4Test, RotationOrders)
    {
        const float x = 0.3f, y = 0.2f, z = 0.1f;
        // rotationZXY: z acts first, then x, then y.
        expectMatrixNear(Matrix4x4::rotationZXY(x, y, z),
                         Matrix4x4::rotationY(y) * Matrix4x4::rotationX(x) * Matrix4x4::rotationZ(z), 1e-7f);
        expectMatrixNear(Matrix4x4::rotationYXZ(x, y, z),
                         Matrix4x4::rotationZ(z) * Matrix4x4::rotationX(x) * Matrix4x4::rotationY(y), 1e-7f);
        expectMatrixNear(Matrix4x4::yawPitchRoll(y, x, z), Matrix4x4::rotationZXY(x, y, z), 0.0f);
        expectMatrixNear(Matrix4x4::axisRotation(0.7f, Vec3(1, 0, 0)), Matrix4x4::rotationX(-0.7f), 1e-6f);
        expectMatrixNear(Matrix4x4::axisRotation(0.7f, Vec3(0, 0, 1)), Matrix4x4::rotationZ(-0.7f), 1e-6f);
    }

    // Degrees convert with the engine's 0.017453, slightly short of pi / 180.
    TEST(Matrix4x4Test, ShearsUseTheEngineDegreeFactor)
    {
        const float factor = std::tan(45.0f * 0.017453f);
        EXPECT_FLOAT_EQ(Matrix4x4::shearingX(45, 0).m[1], factor);
        expectVecNear(Matrix4x4::shearingY(45, 0) * Vec3(0, 1, 0), Vec3(factor, 1, 0), 1e-6f);
        expectVecNear(Matrix4x4::shearingZ(0, 45) * Vec3(0, 0, 1), Vec3(0, factor, 1), 1e-6f);
        EXPECT_EQ(Matrix4x4::shear2D(45, 0).m[4], factor);
    }

    struct PerspectiveCase
    {
        const char* name;
        bool reversed;
        float nearDepth;
        float farDepth;
    };

    using PerspectiveTest = ::testing::TestWithParam<PerspectiveCase>;

    TEST_P(PerspectiveTest, MapsNearAndFarPlanes)
    {
        const PerspectiveCase& c = GetParam();
        const float nearPlane = 0.5f, farPlane = 50.0f;
        const Matrix4x4 p = Matrix4x4::perspective(1.0f, 1.5f, nearPlane, farPlane, c.reversed);
        const Vec4 n = p * Vec4(0, 0, -nearPlane, 1);
        const Vec4 f = p * Vec4(0, 0, -farPlane, 1);
        EXPECT_NEAR(n.z / n.w, c.nearDepth, 1e-6f);
        EXPECT_NEAR(f.z / f.w, c.farDepth, 1e-6f);
        EXPECT_EQ(p.m[15], 0.0f);
        EXPECT_FLOAT_EQ(p.m[5], 1.0f / std::tan(0.5f));
        EXPECT_FLOAT_EQ(p.m[0], p.m[5] / 1.5f);
    }

    INSTANTIATE_TEST_SUITE_P(Matrix4x4, PerspectiveTest,
                             ::testing::Values(PerspectiveCase{"standard", false, 0.0f, 1.0f},
                                               PerspectiveCase{"reversed", true, 1.0f, 0.0f}),
                             [](const auto& info) { return std::string(info.param.name); });

    TEST(Matrix4x4Test, ProjectionBuilders)
    {
        const float fovDegrees = 60.0f;
        expectMatrixNear(Matrix4x4::buildPerspectiveMatrix(fovDegrees, 1.25f, 0.1f, 100.0f),
                         Matrix4x4::perspective(fovDegrees * 0.017453f, 1.25f, 0.1f, 100.0f, false), 1e-5f);
        const Matrix4x4 o = Matrix4x4::buildOrthoMatrix(200, 100, 10);
        EXPECT_EQ(o.m[0], 0.01f);
        EXPECT_EQ(o.m[5], 0.02f);
        EXPECT_EQ(o.m[10], -0.2f);
        EXPECT_EQ(o.m[12], 0.0f);

        const Matrix4x4 off = Matrix4x4::orthoOffCenter(0, 200, 0, 100, -1, 1);
        expectVecNear(off * Vec3(0, 0, 0), Vec3(-1, -1, 0.5f), 1e-6f);
        expectVecNear(off * Vec3(200, 100, 0), Vec3(1, 1, 0.5f), 1e-6f);
        const Matrix4x4 centred = Matrix4x4::ortho(200, 100, 0, 10);
        expectVecNear(centred * Vec3(100, -50, -10), Vec3(1, -1, 1), 1e-6f);
    }

    TEST(Matrix4x4Test, LookAtAndPointAtAreInverses)
    {
        const Vec3 eye(3, 4, 5), target(0, 1, -2), up(0, 1, 0);
        const Matrix4x4 view = Matrix4x4::lookAt(eye, target, up);
        expectVecNear(view * eye, Vec3(0, 0, 0), 1e-5f);
        const Vec3 ahead = view * target;
        EXPECT_NEAR(ahead.x, 0.0f, 1e-5f);
        EXPECT_NEAR(ahead.y, 0.0f, 1e-5f);
        EXPECT_LT(ahead.z, 0.0f) << "the camera looks down -z";

        const Matrix4x4 place = Matrix4x4::pointAt(eye, target, up);
        expectVecNear(place * Vec3(0, 0, 0), eye, 1e-6f);
        const Vec3 along = place * Vec3(0, 0, (target - eye).length());
        expectVecNear(along, target, 1e-5f);
        // Looking straight along up leaves a zero axis unnormalised instead of NaN.
        const Matrix4x4 degenerate = Matrix4x4::lookAt(Vec3(0, 0, 0), Vec3(0, 5, 0), up);
        for (float e : degenerate.m)
            EXPECT_FALSE(std::isnan(e));
    }

    TEST(Matrix4x4Test, Determinant)
    {
        EXPECT_FLOAT_EQ(Matrix4x4::scaling(2, 3, 4).determinant(), 24.0f);
        EXPECT_FLOAT_EQ(Matrix4x4(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16).determinant(), 0.0f);
        const Matrix4x4 m(2, 0, 0, 1, 0, 3, 0, 0, 1, 0, 1, 0, 0, 0, 0, 1);
        // The last row is (0, 0, 0, 1): the upper-left block's 2 * 3 * 1.
        EXPECT_FLOAT_EQ(m.determinant(), 6.0f);
    }

    TEST(Matrix4x4Test, InverseTimesMatrixIsIdentity)
    {
        std::mt19937 rng(1234);
        for (int i = 0; i < 200; ++i)
        {
            const Matrix4x4 m = randomTransform(rng);
            Matrix4x4 inverse;
            ASSERT_TRUE(vx::m44inverse(&inverse, m, 1e-6f));
            SCOPED_TRACE(m.toString(true));
            expectMatrixNear(m * inverse, Matrix4x4(), 2e-5f);
            expectMatrixNear(inverse * m, Matrix4x4(), 2e-5f);
            expectMatrixNear(m.inverted(), inverse, 0.0f);
            Matrix4x4 inPlace = m;
            EXPECT_TRUE(inPlace.invert(1e-6f));
            expectMatrixNear(inPlace, inverse, 0.0f);
        }
    }

    TEST(Matrix4x4Test, SingularMatrixInvertsToIdentity)
    {
        const Matrix4x4 flat = Matrix4x4::scaling(1, 1, 0);
        Matrix4x4 out = Matrix4x4::translation(5, 5, 5);
        EXPECT_FALSE(vx::m44inverse(&out, flat, 1e-6f));
        EXPECT_EQ(out, Matrix4x4());
        EXPECT_EQ(flat.inverted(1e-6f), Matrix4x4());
        // The epsilon test is strict and applies to |det|.
        EXPECT_EQ(Matrix4x4::scaling(0.1f, 0.1f, 0.1f).inverted(0.01f), Matrix4x4());
        Matrix4x4 mirrored = Matrix4x4::scaling(-0.5f, 1, 1);
        EXPECT_TRUE(mirrored.invert(0.1f));
        EXPECT_FLOAT_EQ(mirrored.m[0], -2.0f);
    }

    TEST(Matrix4x4Test, RotationAnglesRoundTrip)
    {
        expectVecNear(Matrix4x4::rotationZXY(0.3f, 0.2f, 0.1f).getRotation(), Vec3(0.3f, 0.2f, 0.1f), 1e-6f);
        std::mt19937 rng(99);
        std::uniform_real_distribution<float> pitch(-1.4f, 1.4f);
        std::uniform_real_distribution<float> angle(-3.0f, 3.0f);
        for (int i = 0; i < 200; ++i)
        {
            const Vec3 angles(pitch(rng), angle(rng), angle(rng));
            const Vec3 scale(std::uniform_real_distribution<float>(0.5f, 3.0f)(rng), 1.5f, 0.75f);
            const Vec3 offset(1, -2, 3);
            Matrix4x4 m = Matrix4x4::translation(offset);
            m.rotate(angles);
            m.scale(scale);
            Vec3 t, r, s;
            m.decompose(&t, &r, &s);
            SCOPED_TRACE(m.toString(false));
            expectVecNear(t, offset, 0.0f);
            expectVecNear(s, scale, 1e-5f);
            expectVecNear(r, angles, 1e-4f);
            expectVecNear(m.getRotation(), angles, 1e-4f);
            Matrix4x4 rebuilt = Matrix4x4::translation(t);
            rebuilt.rotate(r);
            rebuilt.scale(s);
            expectMatrixNear(rebuilt, m, 1e-4f);
        }
    }

    TEST(Matrix4x4Test, RotationEdgeCases)
    {
        Matrix4x4 zeroColumn;
        zeroColumn.setY(Vec3(0, 0, 0));
        EXPECT_EQ(zeroColumn.getRotation(), Vec3(0, 0, 0));
        Vec3 untouched(7, 7, 7);
        zeroColumn.decompose(nullptr, &untouched, nullptr);
        EXPECT_EQ(untouched, Vec3(7, 7, 7));

        // Pitch at 90 degrees: y is 0 and the roll carries the rest.
        const Vec3 gimbal = Matrix4x4::rotationX(pi / 2).getRotation();
        EXPECT_NEAR(gimbal.x, pi / 2, 1e-3f);
        EXPECT_EQ(gimbal.y, 0.0f);

        // Near the poles rounding brings |e9 / sz| to 1; the angles must stay finite.
        std::mt19937 rng(3);
        std::uniform_real_distribution<float> angle(-3.0f, 3.0f);
        for (int i = 0; i < 500; ++i)
        {
            const float pole = (i & 1) ? pi / 2 : -pi / 2;
            Matrix4x4 m = Matrix4x4::rotationZXY(pole + float(i % 7 - 3) * 1e-7f, angle(rng), angle(rng));
            m.scale(1.0f + float(i % 5), 0.5f, 3.0f);
            const Vec3 r = m.getRotation();
            ASSERT_TRUE(std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.z)) << m.toString(false);
            ASSERT_NEAR(std::abs(r.x), pi / 2, 1e-3f);
        }

        Vec3 scale;
        Matrix4x4::scaling(-2, 3, 4).decompose(nullptr, nullptr, &scale);
        EXPECT_EQ(scale, Vec3(-2, 3, 4));
        // A mirrored matrix reads as a negative x scale, so its angles come back unchanged.
        Matrix4x4 mirrored = Matrix4x4::rotationZXY(0.3f, 0.2f, 0.1f);
        mirrored.scale(-1.5f, 1.0f, 2.0f);
        expectVecNear(mirrored.getRotation(), Vec3(0.3f, 0.2f, 0.1f), 1e-5f);
        expectVecNear(Matrix4x4::scaling(2, 3, 4).unscaled().getScale(), Vec3(1, 1, 1), 1e-6f);
    }

    TEST(Matrix4x4Test, QuaternionMatricesAreOrthonormal)
    {
        std::mt19937 rng(5);
        std::uniform_real_distribution<float> component(-2.0f, 2.0f);
        for (int i = 0; i < 200; ++i)
        {
            const vx::TQuat<float> q(component(rng), component(rng), component(rng), component(rng));
            const Matrix4x4 m(q);
            SCOPED_TRACE(m.toString(false));
            expectMatrixNear(m * m.transposed(), Matrix4x4(), 1e-5f);
            EXPECT_NEAR(m.determinant(), 1.0f, 1e-5f);
        }
        // Normalised first: a scaled identity quaternion is the identity.
        expectMatrixNear(Matrix4x4(vx::TQuat<float>(0, 0, 0, 2)), Matrix4x4(), 0.0f);
        // Half-angle form about z: (0, 0, sin(a/2), cos(a/2)) turns like rotationZ(a).
        expectMatrixNear(Matrix4x4(vx::TQuat<float>(0, 0, std::sin(0.35f), std::cos(0.35f))),
                         Matrix4x4::rotationZ(0.7f), 1e-6f);
        // A zero quaternion carries no rotation.
        expectMatrixNear(Matrix4x4(vx::TQuat<float>(0, 0, 0, 0)), Matrix4x4(), 0.0f);

        const Matrix4x4 composed =
            Matrix4x4::fromQuaternion(vx::TQuat<float>(0, 0, 0, 1), Vec3(1, 2, 3), Vec3(2, 3, 4));
        expectMatrixNear(composed, Matrix4x4::translation(1, 2, 3) * Matrix4x4::scaling(2, 3, 4), 0.0f);
        expectMatrixNear(Matrix4x4(vx::TQuat<float>(0, 0, 0, 1), Vec3(1, 2, 3), Vec3(2, 3, 4)), composed, 0.0f);
    }

} // namespace
