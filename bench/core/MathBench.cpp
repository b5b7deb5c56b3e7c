#include "core/VXMatrix4x4.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <utility>
#include <vector>

namespace
{

    using vx::Matrix4x4;

    // A fixed pool of well-conditioned transforms, so every run measures the same inputs.
    const std::vector<Matrix4x4>& matrices()
    {
        static const std::vector<Matrix4x4> pool = []
        {
            std::mt19937 rng(42);
            std::uniform_real_distribution<float> angle(-3.0f, 3.0f);
            std::uniform_real_distribution<float> scale(0.5f, 2.0f);
            std::vector<Matrix4x4> result;
            for (int i = 0; i < 64; ++i)
            {
                Matrix4x4 m = Matrix4x4::translation(angle(rng), angle(rng), angle(rng));
                m.rotate(angle(rng), angle(rng), angle(rng));
                m.scale(scale(rng), scale(rng), scale(rng));
                result.push_back(m);
            }
            return result;
        }();
        return pool;
    }

    // Baseline: the textbook triple loop through the (row, column) accessor.
    Matrix4x4 naiveMultiply(const Matrix4x4& a, const Matrix4x4& b)
    {
        Matrix4x4 result;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
            {
                float sum = 0.0f;
                for (int k = 0; k < 4; ++k)
                    sum += a(r, k) * b(k, c);
                result(r, c) = sum;
            }
        return result;
    }

    // Baseline: Gauss-Jordan elimination with partial pivoting on an augmented copy.
    bool naiveInverse(const Matrix4x4& in, Matrix4x4* out)
    {
        float a[4][8];
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
            {
                a[r][c] = in(r, c);
                a[r][c + 4] = r == c ? 1.0f : 0.0f;
            }
        for (int c = 0; c < 4; ++c)
        {
            int pivot = c;
            for (int r = c + 1; r < 4; ++r)
                if (std::abs(a[r][c]) > std::abs(a[pivot][c]))
                    pivot = r;
            if (a[pivot][c] == 0.0f)
                return false;
            for (int k = 0; k < 8; ++k)
                std::swap(a[c][k], a[pivot][k]);
            const float divisor = a[c][c];
            for (int k = 0; k < 8; ++k)
                a[c][k] /= divisor;
            for (int r = 0; r < 4; ++r)
            {
                if (r == c)
                    continue;
                const float factor = a[r][c];
                for (int k = 0; k < 8; ++k)
                    a[r][k] -= factor * a[c][k];
            }
        }
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                (*out)(r, c) = a[r][c + 4];
        return true;
    }

    void BM_Matrix4x4Multiply(benchmark::State& state)
    {
        const std::vector<Matrix4x4>& pool = matrices();
        size_t i = 0;
        for (auto _ : state)
        {
            Matrix4x4 product = pool[i % pool.size()] * pool[(i + 1) % pool.size()];
            benchmark::DoNotOptimize(product);
            ++i;
        }
        state.SetItemsProcessed(int64_t(state.iterations()));
    }
    BENCHMARK(BM_Matrix4x4Multiply);

    void BM_Matrix4x4MultiplyNaive(benchmark::State& state)
    {
        const std::vector<Matrix4x4>& pool = matrices();
        size_t i = 0;
        for (auto _ : state)
        {
            Matrix4x4 product = naiveMultiply(pool[i % pool.size()], pool[(i + 1) % pool.size()]);
            benchmark::DoNotOptimize(product);
            ++i;
        }
        state.SetItemsProcessed(int64_t(state.iterations()));
    }
    BENCHMARK(BM_Matrix4x4MultiplyNaive);

    void BM_Matrix4x4Inverse(benchmark::State& state)
    {
        const std::vector<Matrix4x4>& pool = matrices();
        size_t i = 0;
        for (auto _ : state)
        {
            Matrix4x4 inverse;
            benchmark::DoNotOptimize(vx::m44inverse(&inverse, pool[i % pool.size()], 1e-6f));
            benchmark::DoNotOptimize(inverse);
            ++i;
        }
        state.SetItemsProcessed(int64_t(state.iterations()));
    }
    BENCHMARK(BM_Matrix4x4Inverse);

    void BM_Matrix4x4InverseNaive(benchmark::State& state)
    {
        const std::vector<Matrix4x4>& pool = matrices();
        size_t i = 0;
        for (auto _ : state)
        {
            Matrix4x4 inverse;
            benchmark::DoNotOptimize(naiveInverse(pool[i % pool.size()], &inverse));
            benchmark::DoNotOptimize(inverse);
            ++i;
        }
        state.SetItemsProcessed(int64_t(state.iterations()));
    }
    BENCHMARK(BM_Matrix4x4InverseNaive);

} // namespace
