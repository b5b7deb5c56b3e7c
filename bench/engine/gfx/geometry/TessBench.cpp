// The polygon tessellator against GLU's on the same inputs, in one run:
// convex n-gons, a star polygon with about 1,000 crossings and 100 contours
// forming rings with holes. Both produce separate triangles; GLU through its
// vertex callback, ours as index arrays. Each side either makes a new
// tessellator per polygon on the default allocator (Tess, GLU; ours then gets
// back the one deleted last, with its memory) or keeps one across polygons
// (TessReused, GLUReused: GLU's usual use, and what vx::triangulate's pool
// does). Then contour subdivision per point.

#include "engine/gfx/geometry/VXContour.h"
#include "engine/gfx/geometry/VXTess.h"
#include "engine/gfx/geometry/VXTriangulate.h"

#include <GL/glu.h>
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <deque>
#include <vector>

namespace
{
    using Contour2 = std::vector<float>; // x, y pairs
    using Contours = std::vector<Contour2>;

    constexpr double twoPi = 6.283185307179586;

    Contours convexNgon(int n)
    {
        Contour2 c;
        for (int i = 0; i < n; ++i)
            c.insert(c.end(), {float(std::cos(twoPi * i / n) * 1000.0), float(std::sin(twoPi * i / n) * 1000.0)});
        return {c};
    }

    // {101/11}: 101 points, each edge crossing 20 others, 1,010 crossings.
    Contours star()
    {
        const int n = 101, k = 11;
        Contour2 c;
        for (int i = 0; i < n; ++i)
        {
            const double a = twoPi * double((i * k) % n) / n;
            c.insert(c.end(), {float(std::cos(a) * 1000.0), float(std::sin(a) * 1000.0)});
        }
        return {c};
    }

    // 50 rings of 32-point circles on a grid: 100 contours, every ring a hole.
    Contours rings()
    {
        Contours cs;
        for (int r = 0; r < 50; ++r)
        {
            const float cx = float(r % 10) * 100.0f, cy = float(r / 10) * 100.0f;
            for (float radius : {45.0f, 20.0f})
            {
                Contour2 c;
                for (int i = 0; i < 32; ++i)
                {
                    const double a = twoPi * (radius > 30.0f ? i : 32 - i) / 32;
                    c.insert(c.end(), {cx + float(std::cos(a)) * radius, cy + float(std::sin(a)) * radius});
                }
                cs.push_back(c);
            }
        }
        return cs;
    }

    int ourTriangles(vx::Tesselator* tess, const Contours& contours)
    {
        for (const auto& c : contours)
            vx::tessAddContour(tess, 2, c.data(), 8, int(c.size() / 2));
        vx::tessTesselate(tess, vx::TESS_WINDING_ODD, vx::TESS_POLYGONS, 3, 2, nullptr);
        benchmark::DoNotOptimize(vx::tessGetElements(tess));
        return vx::tessGetElementCount(tess);
    }

    struct GluSink
    {
        std::vector<const double*> corners;
        std::deque<std::array<double, 3>> extra;
    };

    void GLAPIENTRY gluVertex(void* v, void* sink)
    {
        static_cast<GluSink*>(sink)->corners.push_back(static_cast<const double*>(v));
    }
    void GLAPIENTRY gluEdgeFlag(GLboolean, void*)
    {
    }
    void GLAPIENTRY gluCombine(GLdouble c[3], void* [4], GLfloat[4], void** out, void* sink)
    {
        auto* s = static_cast<GluSink*>(sink);
        s->extra.push_back({c[0], c[1], c[2]});
        *out = s->extra.back().data();
    }

    // The input as GLU takes it (doubles), made once outside the timing.
    std::vector<std::vector<std::array<double, 3>>> asDoubles(const Contours& contours)
    {
        std::vector<std::vector<std::array<double, 3>>> out;
        for (const auto& c : contours)
        {
            out.emplace_back();
            for (size_t i = 0; i < c.size(); i += 2)
                out.back().push_back({c[i], c[i + 1], 0.0});
        }
        return out;
    }

    GLUtesselator* newGlu()
    {
        GLUtesselator* glu = gluNewTess();
        gluTessCallback(glu, GLU_TESS_VERTEX_DATA, reinterpret_cast<void(GLAPIENTRY*)()>(&gluVertex));
        gluTessCallback(glu, GLU_TESS_EDGE_FLAG_DATA, reinterpret_cast<void(GLAPIENTRY*)()>(&gluEdgeFlag));
        gluTessCallback(glu, GLU_TESS_COMBINE_DATA, reinterpret_cast<void(GLAPIENTRY*)()>(&gluCombine));
        gluTessProperty(glu, GLU_TESS_WINDING_RULE, GLU_TESS_WINDING_ODD);
        return glu;
    }

    int gluTriangles(GLUtesselator* glu, std::vector<std::vector<std::array<double, 3>>>& contours)
    {
        GluSink sink;
        gluTessBeginPolygon(glu, &sink);
        for (auto& c : contours)
        {
            gluTessBeginContour(glu);
            for (auto& p : c)
                gluTessVertex(glu, p.data(), p.data());
            gluTessEndContour(glu);
        }
        gluTessEndPolygon(glu);
        return int(sink.corners.size() / 3);
    }

    Contours inputFor(int kind, int n)
    {
        return kind == 0 ? convexNgon(n) : kind == 1 ? star() : rings();
    }

    void BM_Tess(benchmark::State& state, int kind)
    {
        const Contours contours = inputFor(kind, int(state.range(0)));
        int triangles = 0;
        for (auto _ : state)
        {
            vx::Tesselator* tess = vx::tessNewTess(nullptr);
            triangles = ourTriangles(tess, contours);
            vx::tessDeleteTess(tess);
        }
        state.counters["triangles"] = triangles;
    }

    void BM_TessReused(benchmark::State& state, int kind)
    {
        const Contours contours = inputFor(kind, int(state.range(0)));
        vx::Tesselator* tess = vx::tessNewTess(nullptr);
        int triangles = 0;
        for (auto _ : state)
            triangles = ourTriangles(tess, contours);
        vx::tessDeleteTess(tess);
        state.counters["triangles"] = triangles;
    }

    void BM_GLU(benchmark::State& state, int kind)
    {
        const Contours contours = inputFor(kind, int(state.range(0)));
        auto doubles = asDoubles(contours);
        int triangles = 0;
        for (auto _ : state)
        {
            GLUtesselator* glu = newGlu();
            triangles = gluTriangles(glu, doubles);
            gluDeleteTess(glu);
        }
        state.counters["triangles"] = triangles;
    }

    // GLU's sink is made per polygon here too: kept across polygons, GLU's
    // records land around it in the heap and GLU runs up to 1.5x slower.
    void BM_GLUReused(benchmark::State& state, int kind)
    {
        const Contours contours = inputFor(kind, int(state.range(0)));
        auto doubles = asDoubles(contours);
        GLUtesselator* glu = newGlu();
        int triangles = 0;
        for (auto _ : state)
            triangles = gluTriangles(glu, doubles);
        gluDeleteTess(glu);
        state.counters["triangles"] = triangles;
    }

    // The engine's triangulation (its own allocator record, copying into a mesh).
    void BM_Triangulate(benchmark::State& state, int kind)
    {
        const Contours contours = inputFor(kind, int(state.range(0)));
        vx::Shape shape;
        for (const auto& c : contours)
        {
            vx::Contour contour;
            for (size_t i = 0; i < c.size(); i += 2)
                contour.addPoint(c[i], c[i + 1]);
            contour.close();
            shape.contours.push_back(contour);
        }
        for (auto _ : state)
            benchmark::DoNotOptimize(vx::triangulate(shape, vx::WINDING_ODD, 1.0f));
    }

    void BM_SubdivideCircle(benchmark::State& state)
    {
        vx::Contour circle;
        circle.circle(0, 0, float(state.range(0)));
        size_t points = 0;
        for (auto _ : state)
            points = circle.subdivide(1.0f).size();
        state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(points));
        state.counters["points"] = double(points);
    }

    void BM_SubdivideCubicChain(benchmark::State& state)
    {
        vx::Contour chain;
        chain.moveTo({0, 0});
        for (int i = 0; i < state.range(0); ++i)
            chain.curveTo({float(i) * 30 + 10, 40}, {float(i) * 30 + 20, -40}, {float(i) * 30 + 30, 0});
        size_t points = 0;
        for (auto _ : state)
            points = chain.subdivide(1.0f).size();
        state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(points));
        state.counters["points"] = double(points);
    }
}

BENCHMARK_CAPTURE(BM_Tess, ConvexNgon, 0)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_GLU, ConvexNgon, 0)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_TessReused, ConvexNgon, 0)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_GLUReused, ConvexNgon, 0)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Tess, Star1010Crossings, 1)->Arg(101)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_GLU, Star1010Crossings, 1)->Arg(101)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_TessReused, Star1010Crossings, 1)->Arg(101)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_GLUReused, Star1010Crossings, 1)->Arg(101)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Tess, Rings100Contours, 2)->Arg(100)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_GLU, Rings100Contours, 2)->Arg(100)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_TessReused, Rings100Contours, 2)->Arg(100)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_GLUReused, Rings100Contours, 2)->Arg(100)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Triangulate, Rings100Contours, 2)->Arg(100)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SubdivideCircle)->Arg(10)->Arg(1000);
BENCHMARK(BM_SubdivideCubicChain)->Arg(1000);
