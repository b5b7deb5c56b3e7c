#include "core/VXSolvers.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace vx
{

    namespace
    {

        // Cube roots and trigonometry run in double for both instantiations, rounded to T.
        template <typename T>
        T cubeRoot(T x)
        {
            return static_cast<T>(std::cbrt(double(x)));
        }

    } // namespace

    template <typename T>
    int solveCubic(T* roots, T a, T b, T c, T d)
    {
        if (a == T(0) && b == T(0) && c == T(0))
            return d == T(0) ? -1 : 0;
        if (a == T(0) && b == T(0))
        {
            roots[0] = -d / c;
            return 1;
        }
        if (a == T(0))
        {
            const T discriminant = c * c - T(4) * b * d;
            if (discriminant < T(0))
                return 0;
            if (discriminant == T(0))
            {
                roots[0] = c / (T(-2) * b);
                return 1;
            }
            const T root = std::sqrt(discriminant);
            roots[0] = (-c - root) / (T(2) * b);
            roots[1] = (root - c) / (T(2) * b);
            if (b < T(0))
                std::swap(roots[0], roots[1]);
            return 2;
        }

        const T f = (T(3) * c / a - (b * b) / (a * a)) / T(3);
        const T g = (T(2) * b * b * b / (a * a * a) - T(9) * b * c / (a * a) + T(27) * d / a) / T(27);
        const T h = g * g / T(4) + f * f * f / T(27);
        if (f == T(0) && g == T(0) && h == T(0))
        {
            roots[0] = -cubeRoot(d / a);
            return 1;
        }
        if (h <= T(0))
        {
            const T i = std::sqrt(g * g / T(4) - h);
            const T j = cubeRoot(i);
            // Rounding can push the cosine past 1 (acos would answer NaN); i = 0 only
            // happens for a numerically triple root, whose angle is 0.
            const double cosine = i > T(0) ? std::clamp(double(g / (T(-2) * i)), -1.0, 1.0) : 1.0;
            const T k = static_cast<T>(std::acos(cosine)) / T(3);
            const T m = static_cast<T>(std::cos(double(k)));
            const T n = static_cast<T>(1.7320508075688772 * std::sin(double(k)));
            const T p = -b / (T(3) * a);
            roots[0] = T(2) * j * m - b / (T(3) * a);
            roots[1] = -j * (m + n) + p;
            roots[2] = -j * (m - n) + p;
            return 3;
        }
        const T sqrtH = static_cast<T>(std::sqrt(double(h)));
        const T s = cubeRoot(-g / T(2) + sqrtH);
        const T u = cubeRoot(-g / T(2) - sqrtH);
        roots[0] = s + u - b / (T(3) * a);
        return 1;
    }

    template <typename T>
    void gaussianElimination(T* m, int n)
    {
        if (m == nullptr || n < 2)
            return;
        const int rows = n - 1;
        const auto at = [m, n](int row, int column) -> T& { return m[row * n + column]; };

        int i = 0;
        for (int j = 0; i < rows && j < n; ++j)
        {
            int pivot = i;
            for (int row = i + 1; row < rows; ++row)
                if (std::abs(at(row, j)) > std::abs(at(pivot, j)))
                    pivot = row;
            if (at(pivot, j) == T(0))
                continue;
            if (pivot != i)
                for (int column = 0; column < n; ++column)
                    std::swap(at(pivot, column), at(i, column));
            const T divisor = at(i, j);
            for (int column = 0; column < n; ++column)
                at(i, column) /= divisor;
            for (int row = i + 1; row < rows; ++row)
            {
                const T factor = at(row, j);
                for (int column = 0; column < n; ++column)
                    at(row, column) -= factor * at(i, column);
            }
            ++i;
        }

        for (int row = rows - 2; row >= 0; --row)
            for (int column = row + 1; column < rows; ++column)
                at(row, n - 1) -= at(row, column) * at(column, n - 1);
    }

    template int solveCubic<float>(float*, float, float, float, float);
    template int solveCubic<double>(double*, double, double, double, double);
    template void gaussianElimination<float>(float*, int);
    template void gaussianElimination<double>(double*, int);

} // namespace vx
