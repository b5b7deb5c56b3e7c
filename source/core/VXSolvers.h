#pragma once

namespace vx
{

    // The real roots of a x^3 + b x^2 + c x + d = 0 into roots (room for three); answers their
    // number, or -1 when every coefficient is 0. Lower degrees are solved when leading
    // coefficients are 0 (quadratic roots ascending; the three cubic roots unsorted).
    // Instantiated for float and double.
    template <typename T>
    int solveCubic(T* roots, T a, T b, T c, T d);

    // Gaussian elimination with partial pivoting of n - 1 rows of n values (an (n - 1)-square
    // system with its right-hand side as the last column, row by row). On return the last
    // column holds the solution: unknown k in m[k * n + n - 1]. A singular system is not
    // reported; zero pivots are skipped. Instantiated for float and double.
    template <typename T>
    void gaussianElimination(T* m, int n);

} // namespace vx
