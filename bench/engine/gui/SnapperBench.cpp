// Snapper::snapTranslation and snapScaleCorner against 1, 10 and 100 snap
// shapes (rectangles over a 1920 x 1080 frame, every third turned), and with
// the grid. Goal: 100 shapes within 1 % of a 60 Hz frame, 166 us. Baseline:
// the least any snapper does, the distance of every dragged vertex to every
// shape edge.
#include "core/VXOrientedRect.h"
#include "engine/gui/VXSnapper.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace
{
    using Vec = vx::TVec2<float>;

    std::vector<vx::Polygon> makeShapes(int count)
    {
        std::vector<vx::Polygon> shapes;
        const int columns = 10;
        for (int i = 0; i < count; ++i)
        {
            const float x = 20.0f + float(i % columns) * 190.0f;
            const float y = 20.0f + float(i / columns) * 105.0f;
            vx::OrientedRect rect(vx::RectT<float>(x, y, x + 150.0f, y + 80.0f));
            if (i % 3 == 2)
                rect.rotate(0.26f);
            shapes.emplace_back(rect.getCorners());
        }
        return shapes;
    }

    // Drags that sometimes land near a shape and sometimes not.
    std::vector<Vec> makeDrags()
    {
        std::vector<Vec> drags;
        for (int i = 0; i < 64; ++i)
            drags.emplace_back(float((i * 37) % 200) - 100.0f, float((i * 53) % 120) - 60.0f);
        return drags;
    }

    const vx::Polygon dragged(vx::RectT<float>(800.0f, 400.0f, 1100.0f, 600.0f));
    const Vec onePixel(1.0f, 1.0f);

    vx::Snapper makeSnapper(int shapes, bool grid)
    {
        vx::Snapper snapper;
        for (const vx::Polygon& shape : makeShapes(shapes))
            snapper.addSnapShape(shape, 10.0f);
        if (grid)
            snapper.setupSnapGrid(50.0f, 50.0f, 8.0f);
        return snapper;
    }

    void BM_SnapTranslation(benchmark::State& state)
    {
        vx::Snapper snapper = makeSnapper(int(state.range(0)), state.range(1) != 0);
        const std::vector<Vec> drags = makeDrags();
        size_t i = 0, snapped = 0;
        for (auto _ : state)
        {
            Vec d = drags[i++ % drags.size()];
            snapped += snapper.snapTranslation(dragged, d, onePixel) ? 1 : 0;
            benchmark::DoNotOptimize(d);
        }
        state.counters["snapped"] = double(snapped) / double(state.iterations());
    }
    BENCHMARK(BM_SnapTranslation)
        ->ArgNames({"shapes", "grid"})
        ->Args({1, 0})
        ->Args({10, 0})
        ->Args({100, 0})
        ->Args({100, 1})
        ->Unit(benchmark::kMicrosecond);

    void BM_SnapScaleCorner(benchmark::State& state)
    {
        vx::Snapper snapper = makeSnapper(int(state.range(0)), state.range(1) != 0);
        const std::vector<Vec> drags = makeDrags();
        const Vec anchor(800.0f, 400.0f);
        size_t i = 0, snapped = 0;
        for (auto _ : state)
        {
            const Vec d = drags[i++ % drags.size()];
            Vec factor(1.0f + d.x / 300.0f, 1.0f + d.y / 200.0f);
            snapped += snapper.snapScaleCorner(dragged, 2, anchor, factor, onePixel, false) ? 1 : 0;
            benchmark::DoNotOptimize(factor);
        }
        state.counters["snapped"] = double(snapped) / double(state.iterations());
    }
    BENCHMARK(BM_SnapScaleCorner)
        ->ArgNames({"shapes", "grid"})
        ->Args({1, 0})
        ->Args({10, 0})
        ->Args({100, 0})
        ->Args({100, 1})
        ->Unit(benchmark::kMicrosecond);

    void BM_SnapBaseline_EdgeDistances(benchmark::State& state)
    {
        const std::vector<vx::Polygon> shapes = makeShapes(int(state.range(0)));
        const std::vector<Vec> drags = makeDrags();
        size_t i = 0;
        for (auto _ : state)
        {
            const Vec d = drags[i++ % drags.size()];
            float nearest = 1e30f;
            for (const vx::Polygon& shape : shapes)
                for (const Vec& v : dragged.getVertices())
                {
                    const Vec p = v + d;
                    const size_t n = shape.size();
                    for (size_t e = 0; e < n; ++e)
                    {
                        const Vec a = shape[e];
                        const Vec b = shape[(e + 1) % n];
                        const Vec normal = Vec(-(b.y - a.y), b.x - a.x).normalized();
                        nearest = std::min(nearest, std::abs(normal.dot(a) - normal.dot(p)));
                    }
                }
            benchmark::DoNotOptimize(nearest);
        }
    }
    BENCHMARK(BM_SnapBaseline_EdgeDistances)
        ->ArgName("shapes")
        ->Arg(1)
        ->Arg(10)
        ->Arg(100)
        ->Unit(benchmark::kMicrosecond);

} // namespace
