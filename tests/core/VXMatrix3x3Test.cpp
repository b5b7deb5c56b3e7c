#include "core/VXMatrix3x3.h"

#include <gtest/gtest.h>

#include <random>

namespace
{

    using Mat3 = vx::TMatrix3x3<float>;
    using Vec2 = vx::TVec2<float>;

    constexpr float pi = 3.14159265358979f;

    void expectNear(const Vec2& actual, const Vec2& expected, float tolerance)
    {
        EXPECT_NEAR(actual.x, expected.x, tolerance);
        EXPECT_NEAR(actual.y, expected.y, tolerance);
    }

    TEST(Matrix3x3Test, ModifiersPostMultiply)
    {
        // translate then rotate: the rotation acts on the point first.
        Mat3 m;
        m.translate(Vec2(10, 0));
        m.rotate(pi / 2);
        expectNear(m * Vec2(1, 0), Vec2(10, 1), 1e-6f);
        m.scale(2.0f);
        expectNear(m * Vec2(1, 0), Vec2(10, 2), 1e-6f);
        expectNear(Mat3::identityMatrix() * Vec2(3, 4), Vec2(3, 4), 0.0f);
    }

    TEST(Matrix3x3Test, InverseUndoesTheTransform)
    {
        std::mt19937 rng(21);
        std::uniform_real_distribution<float> value(-5.0f, 5.0f);
        for (int i = 0; i < 100; ++i)
        {
            Mat3 m;
            m.translate(Vec2(value(rng), value(rng)));
            m.rotate(value(rng));
            m.scale(0.5f + std::abs(value(rng)));
            Mat3 inverse = m;
            ASSERT_TRUE(inverse.invert(4.37114e-5f));
            const Mat3 product = m * inverse;
            for (int e = 0; e < 9; ++e)
                ASSERT_NEAR(product.m[e], Mat3::identityMatrix().m[e], 1e-5f) << "element " << e;
        }
    }

    TEST(Matrix3x3Test, DegenerateInverseIsIdentity)
    {
        Mat3 flat;
        flat.scale(0.0f);
        EXPECT_FALSE(flat.invert(4.37114e-5f));
        EXPECT_EQ(flat, Mat3::identityMatrix());
    }

} // namespace
