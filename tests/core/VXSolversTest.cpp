#include "core/VXSolvers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace
{

    struct CubicCase
    {
        const char* name;
        double a, b, c, d;
        int count;
        std::vector<double> roots; // in the order solveCubic answers them
    };

    template <typename T>
    class SolveCubicTest : public ::testing::TestWithParam<CubicCase>
    {
    protected:
        void check(double tolerance)
        {
            const CubicCase& c = GetParam();
            T roots[3] = {T(99), T(99), T(99)};
            ASSERT_EQ(vx::solveCubic<T>(roots, T(c.a), T(c.b), T(c.c), T(c.d)), c.count);
            for (size_t i = 0; i < c.roots.size(); ++i)
                EXPECT_NEAR(double(roots[i]), c.roots[i], tolerance) << "root " << i;
        }
    };

    using SolveCubicFloatTest = SolveCubicTest<float>;
    using SolveCubicDoubleTest = SolveCubicTest<double>;

    TEST_P(SolveCubicFloatTest, Roots)
    {
        check(1e-4);
    }
    TEST_P(SolveCubicDoubleTest, Roots)
    {
        check(1e-9);
    }

    const auto cubicCases = ::testing::Values(
        CubicCase{"allZero", 0, 0, 0, 0, -1, {}}, CubicCase{"constant", 0, 0, 0, 5, 0, {}},
        CubicCase{"linear", 0, 0, 2, -3, 1, {1.5}}, CubicCase{"quadratic", 0, 1, 0, -4, 2, {-2, 2}},
        CubicCase{"quadraticNegativeLead", 0, -1, 0, 4, 2, {-2, 2}},
        CubicCase{"quadraticDoubleRoot", 0, 1, -2, 1, 1, {1}}, CubicCase{"quadraticNoRoot", 0, 1, 0, 1, 0, {}},
        CubicCase{"threeRealUnsorted", 1, -6, 11, -6, 3, {3, 1, 2}}, CubicCase{"oneReal", 1, 0, 0, -8, 1, {2}},
        CubicCase{"tripleRoot", 1, -3, 3, -1, 1, {1}}, CubicCase{"scaledOneReal", 2, 0, 2, 0, 1, {0}});

    const auto cubicName = [](const auto& info) { return std::string(info.param.name); };

    INSTANTIATE_TEST_SUITE_P(Solvers, SolveCubicFloatTest, cubicCases, cubicName);
    INSTANTIATE_TEST_SUITE_P(Solvers, SolveCubicDoubleTest, cubicCases, cubicName);

    TEST(SolveCubicTest, RandomCubicsWithThreeRootsAreSolved)
    {
        std::mt19937 rng(8);
        std::uniform_real_distribution<double> root(-5.0, 5.0);
        for (int i = 0; i < 500; ++i)
        {
            std::vector<double> expected = {root(rng), root(rng), root(rng)};
            const double k = 0.5 + std::abs(root(rng));
            // k (x - r0)(x - r1)(x - r2)
            const double a = k;
            const double b = -k * (expected[0] + expected[1] + expected[2]);
            const double c = k * (expected[0] * expected[1] + expected[1] * expected[2] + expected[0] * expected[2]);
            const double d = -k * expected[0] * expected[1] * expected[2];
            double roots[3];
            const int count = vx::solveCubic(roots, a, b, c, d);
            // Near-double roots may come back as one real root; every answer must be a root.
            ASSERT_GE(count, 1);
            for (int r = 0; r < count; ++r)
            {
                ASSERT_FALSE(std::isnan(roots[r]));
                const double distance = std::min({std::abs(roots[r] - expected[0]), std::abs(roots[r] - expected[1]),
                                                  std::abs(roots[r] - expected[2])});
                ASSERT_LT(distance, 1e-3) << "case " << i << " root " << roots[r];
            }
        }
    }

    TEST(SolveCubicTest, NearlyRepeatedRootsStayFinite)
    {
        // (x - 1)^2 (x - 1 - e): the cosine handed to acos rounds to about +-1.
        for (double e : {1e-3, 1e-5, 1e-7, 1e-9})
        {
            const double r = 1 + e;
            double roots[3];
            const int count = vx::solveCubic(roots, 1.0, -(2 + r), 1 + 2 * r, -r);
            ASSERT_GE(count, 1);
            for (int i = 0; i < count; ++i)
                EXPECT_NEAR(roots[i], 1.0, 1e-2) << "e " << e;
            float froots[3];
            const int fcount = vx::solveCubic(froots, 1.0f, float(-(2 + r)), float(1 + 2 * r), float(-r));
            ASSERT_GE(fcount, 1);
            for (int i = 0; i < fcount; ++i)
                EXPECT_FALSE(std::isnan(froots[i])) << "e " << e;
        }
    }

    TEST(SolveCubicTest, UnderflowingDiscriminantGivesFiniteRoots)
    {
        // x^3 + c x with c so small that f^3 underflows: h = 0 and i = 0, so the cosine would
        // be 0 / 0. The roots collapse onto the real root 0.
        float froots[3];
        const int fcount = vx::solveCubic(froots, 1.0f, 0.0f, 1e-30f, 0.0f);
        ASSERT_EQ(fcount, 3);
        for (float r : froots)
            EXPECT_EQ(r, 0.0f);
        double droots[3];
        const int dcount = vx::solveCubic(droots, 1.0, 0.0, 1e-120, 0.0);
        ASSERT_EQ(dcount, 3);
        for (double r : droots)
            EXPECT_EQ(r, 0.0);
    }

    TEST(GaussianEliminationTest, PivotsOnTheLargestEntry)
    {
        // The first column's zero on the diagonal needs a row swap.
        double m[12] = {0, 1, 1, 5, 2, 1, -1, 1, 1, -1, 2, 5};
        vx::gaussianElimination(m, 4);
        // x = 1, y = 2, z = 3 solves 0 + y + z = 5, 2x + y - z = 1, x - y + 2z = 5.
        EXPECT_NEAR(m[3], 1.0, 1e-12);
        EXPECT_NEAR(m[7], 2.0, 1e-12);
        EXPECT_NEAR(m[11], 3.0, 1e-12);
    }

    TEST(GaussianEliminationTest, RandomSystemsRoundTrip)
    {
        std::mt19937 rng(31);
        std::uniform_real_distribution<double> value(-3.0, 3.0);
        for (int trial = 0; trial < 100; ++trial)
        {
            const int unknowns = 1 + trial % 6;
            const int n = unknowns + 1;
            std::vector<double> x(static_cast<size_t>(unknowns));
            std::vector<double> m(static_cast<size_t>(unknowns * n));
            for (double& v : x)
                v = value(rng);
            for (int r = 0; r < unknowns; ++r)
            {
                double rhs = 0;
                for (int c = 0; c < unknowns; ++c)
                {
                    // Diagonally dominant, so well conditioned.
                    const double coefficient = value(rng) + (r == c ? 10.0 : 0.0);
                    m[size_t(r * n + c)] = coefficient;
                    rhs += coefficient * x[size_t(c)];
                }
                m[size_t(r * n + unknowns)] = rhs;
            }
            vx::gaussianElimination(m.data(), n);
            for (int k = 0; k < unknowns; ++k)
                ASSERT_NEAR(m[size_t(k * n + n - 1)], x[size_t(k)], 1e-9) << "trial " << trial << " unknown " << k;
        }
    }

    TEST(GaussianEliminationTest, SingularSystemStaysFinite)
    {
        double m[6] = {1, 2, 3, 2, 4, 6};
        vx::gaussianElimination(m, 3);
        for (double v : m)
            EXPECT_TRUE(std::isfinite(v));
        vx::gaussianElimination(m, 1);
        vx::gaussianElimination<double>(nullptr, 3);
    }

} // namespace
