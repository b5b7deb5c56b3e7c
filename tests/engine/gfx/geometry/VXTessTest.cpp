#include "engine/gfx/geometry/VXTess.h"

#include "VXTessTestSupport.h"
#include "engine/gfx/geometry/VXTessMesh.h"
#include "engine/gfx/geometry/VXTesselator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <set>
#include <thread>

namespace vx
{
    namespace
    {
        using test::Contours;
        using test::Point;

        const Contours ccwSquare{{{0, 0}, {1, 0}, {1, 1}, {0, 1}}};
        const Contours cwSquare{{{0, 0}, {0, 1}, {1, 1}, {1, 0}}};
        // Two lobes crossing at (1, 1): the left one counter-clockwise, the
        // right one clockwise.
        const Contours figureEight{{{0, 0}, {2, 2}, {2, 0}, {0, 2}}};

        void add(Tesselator* tess, const Contours& contours)
        {
            for (const auto& c : contours)
                tessAddContour(tess, 2, c.data(), sizeof(Point), int(c.size()));
        }

        // Summed area of the output: of each polygon (TESS_POLYGONS), or signed
        // over the loops (TESS_BOUNDARY_CONTOURS, holes counting negative).
        double outputArea(Tesselator* tess, int elementType, int polySize)
        {
            const float* v = tessGetVertices(tess);
            const int* e = tessGetElements(tess);
            double total = 0.0;
            for (int i = 0; i < tessGetElementCount(tess); ++i)
            {
                std::vector<int> loop;
                const bool boundary = elementType == TESS_BOUNDARY_CONTOURS;
                for (int k = 0; boundary ? k < e[i * 2 + 1] : k < polySize && e[i * polySize + k] != tessUndef; ++k)
                    loop.push_back(boundary ? e[i * 2] + k : e[i * polySize + k]);
                double area = 0.0;
                for (size_t k = 0; k < loop.size(); ++k)
                {
                    const float* a = v + loop[k] * 2;
                    const float* b = v + loop[(k + 1) % loop.size()] * 2;
                    area += (double(a[0]) * b[1] - double(b[0]) * a[1]) / 2.0;
                }
                total += boundary ? area : std::fabs(area);
            }
            return total;
        }

        // The output arrays of the last tessellation with polygons of three.
        std::pair<std::vector<float>, std::vector<int>> triangleOutput(const Tesselator* tess)
        {
            const float* v = tessGetVertices(tess);
            const int* e = tessGetElements(tess);
            return {std::vector<float>(v, v + tessGetVertexCount(tess) * 2),
                    std::vector<int>(e, e + tessGetElementCount(tess) * 3)};
        }

        // {n/k} star polygon of radius 100: n * (k - 1) crossings.
        Contours starPolygon(int n, int k)
        {
            Contours star{{}};
            for (int i = 0; i < n; ++i)
            {
                const double a = 6.283185307179586 * double((i * k) % n) / n;
                star[0].push_back({float(std::cos(a) * 100.0), float(std::sin(a) * 100.0)});
            }
            return star;
        }

        // A tessellator over counted memory, deleted (and checked to give all
        // memory back) at the end of the test.
        class TessTest : public ::testing::Test
        {
        protected:
            void SetUp() override { tess = tessNewTess(&allocator.record); }
            void TearDown() override
            {
                tessDeleteTess(tess);
                EXPECT_EQ(allocator.live, 0) << "every block comes back";
            }

            void add(const Contours& contours) { vx::add(tess, contours); }

            test::CountingAllocator allocator;
            Tesselator* tess = nullptr;
        };

        struct OutputCase
        {
            const char* name;
            const Contours* contours;
            int rule, elementType, polySize, elements, vertices;
            double area;
        };

        class TessOutputTest : public TessTest, public ::testing::WithParamInterface<OutputCase>
        {
        };

        TEST_P(TessOutputTest, CountsAndArea)
        {
            const OutputCase& c = GetParam();
            add(*c.contours);
            ASSERT_EQ(tessTesselate(tess, c.rule, c.elementType, c.polySize, 2, nullptr), 1);
            EXPECT_EQ(tessGetElementCount(tess), c.elements);
            EXPECT_EQ(tessGetVertexCount(tess), c.vertices);
            EXPECT_NEAR(std::fabs(outputArea(tess, c.elementType, c.polySize)), c.area, 1e-6);
        }

        const Contours repeatedVertex{{{0, 0}, {1, 0}, {1, 0}, {1, 1}, {0, 1}}};
        const int odd = TESS_WINDING_ODD, positive = TESS_WINDING_POSITIVE, polygons = TESS_POLYGONS;
        const OutputCase outputCases[] = {
            {"Square", &ccwSquare, odd, polygons, 3, 2, 4, 1.0},
            {"SquareAsOneQuad", &ccwSquare, odd, polygons, 4, 1, 4, 1.0},
            {"SquareBoundary", &ccwSquare, odd, TESS_BOUNDARY_CONTOURS, 3, 1, 4, 1.0},
            // Contours are oriented to a positive total area first: clockwise fills alike.
            {"ClockwiseNonZero", &cwSquare, TESS_WINDING_NONZERO, polygons, 3, 2, 4, 1.0},
            {"ClockwisePositive", &cwSquare, positive, polygons, 3, 2, 4, 1.0},
            {"RepeatedVertexMerges", &repeatedVertex, odd, polygons, 3, 2, 4, 1.0},
            // The crossing at (1, 1) becomes a vertex; one lobe winds the other way.
            {"FigureEightOdd", &figureEight, odd, polygons, 3, 2, 5, 2.0},
            {"FigureEightPositive", &figureEight, positive, polygons, 3, 1, 3, 1.0},
        };

        INSTANTIATE_TEST_SUITE_P(Inputs, TessOutputTest, ::testing::ValuesIn(outputCases),
                                 [](const auto& info) { return std::string(info.param.name); });

        TEST_F(TessTest, ConnectedPolygonsHaveNoNeighbourOnTheOutline)
        {
            add(ccwSquare);
            ASSERT_EQ(tessTesselate(tess, TESS_WINDING_ODD, TESS_CONNECTED_POLYGONS, 3, 2, nullptr), 1);
            ASSERT_EQ(tessGetElementCount(tess), 2);
            const int* e = tessGetElements(tess);
            // Each triangle: 3 corners, then 3 neighbours; the diagonal is the
            // one shared edge, every other side is outline.
            for (int t = 0; t < 2; ++t)
            {
                const int* n = e + t * 6 + 3;
                EXPECT_EQ(std::count(n, n + 3, tessUndef), 2) << "triangle " << t;
                EXPECT_EQ(std::count(n, n + 3, 1 - t), 1) << "triangle " << t;
            }
        }

        TEST_F(TessTest, SecondCallWithoutNewContoursFails)
        {
            add(ccwSquare);
            ASSERT_EQ(tessTesselate(tess, TESS_WINDING_ODD, TESS_POLYGONS, 3, 2, nullptr), 1);
            EXPECT_EQ(tessTesselate(tess, TESS_WINDING_ODD, TESS_POLYGONS, 3, 2, nullptr), 0);
            EXPECT_EQ(tessGetElementCount(tess), 0);
            EXPECT_EQ(tessGetVertexCount(tess), 0);
            EXPECT_EQ(tessGetElements(tess), nullptr);
            EXPECT_EQ(tessGetVertices(tess), nullptr);
        }

        // One tessellator through inputs of different sizes: every answer is
        // a new tessellator's, and once each size has been seen the kept
        // memory serves it without another allocation.
        TEST_F(TessTest, ReusedTessellatorMatchesANewOneAndStopsAllocating)
        {
            Contours circle{{}};
            for (int i = 0; i < 700; ++i)
                circle[0].push_back({float(std::cos(i / 700.0 * 6.283185307179586) * 50.0),
                                     float(std::sin(i / 700.0 * 6.283185307179586) * 50.0)});
            const Contours star = starPolygon(101, 11);
            const std::vector<const Contours*> inputs{&figureEight, &star, &circle, &ccwSquare};
            long callsAfterFirstRound = 0;
            for (int round = 0; round < 2; ++round)
            {
                for (const Contours* input : inputs)
                {
                    Tesselator* fresh = tessNewTess(nullptr);
                    vx::add(fresh, *input);
                    ASSERT_EQ(tessTesselate(fresh, TESS_WINDING_NONZERO, TESS_POLYGONS, 3, 2, nullptr), 1);
                    add(*input);
                    ASSERT_EQ(tessTesselate(tess, TESS_WINDING_NONZERO, TESS_POLYGONS, 3, 2, nullptr), 1);
                    EXPECT_EQ(triangleOutput(tess), triangleOutput(fresh)) << "round " << round;
                    tessDeleteTess(fresh);
                }
                if (round == 0)
                    callsAfterFirstRound = allocator.calls;
            }
            EXPECT_EQ(allocator.calls, callsAfterFirstRound);
        }

        // A tessellator deleted on the default allocator is handed out by the
        // next tessNewTess(nullptr) with its memory, and must start as a new
        // one whatever the last use left in it.
        struct ParkedCase
        {
            const char* name;
            void (*lastUse)(Tesselator* tess);
        };

        class TessParkedTest : public ::testing::TestWithParam<ParkedCase>
        {
        };

        TEST_P(TessParkedTest, NextNewTessellatorIsTheParkedOneStartingClean)
        {
            test::CountingAllocator allocator;
            Tesselator* reference = tessNewTess(&allocator.record);
            add(reference, figureEight);
            ASSERT_EQ(tessTesselate(reference, TESS_WINDING_ODD, TESS_POLYGONS, 3, 2, nullptr), 1);

            Tesselator* waiting = tessNewTess(nullptr); // whatever another test parked
            Tesselator* last = tessNewTess(nullptr);
            GetParam().lastUse(last);
            tessDeleteTess(last);
            tessDeleteTess(waiting); // the place is taken: this one is freed

            Tesselator* next = tessNewTess(nullptr);
            EXPECT_EQ(next, last);
            EXPECT_NE(next->spareMesh, nullptr) << "the memory came along";
            EXPECT_EQ(tessGetElementCount(next), 0);
            EXPECT_EQ(tessGetVertices(next), nullptr);
            add(next, figureEight);
            ASSERT_EQ(tessTesselate(next, TESS_WINDING_ODD, TESS_POLYGONS, 3, 2, nullptr), 1);
            EXPECT_EQ(triangleOutput(next), triangleOutput(reference));
            tessDeleteTess(next);
            tessDeleteTess(reference);
            EXPECT_EQ(allocator.live, 0);
        }

        const ParkedCase parkedCases[] = {
            {"Tessellated",
             [](Tesselator* t)
             {
                 add(t, starPolygon(101, 11));
                 tessTesselate(t, TESS_WINDING_ODD, TESS_POLYGONS, 3, 2, nullptr);
             }},
            // Contours added but never tessellated must not join the next input.
            {"ContoursLeftOver", [](Tesselator* t) { add(t, starPolygon(101, 11)); }},
            // A normal given once stays for that tessellator's later calls only.
            {"NormalGiven",
             [](Tesselator* t)
             {
                 const float down[3] = {0.0f, 0.0f, -1.0f};
                 add(t, ccwSquare);
                 tessTesselate(t, TESS_WINDING_ODD, TESS_POLYGONS, 3, 2, down);
             }},
            {"FailedOnBadInput",
             [](Tesselator* t)
             {
                 add(t, ccwSquare);
                 tessTesselate(t, TESS_WINDING_ODD, TESS_POLYGONS, 3, 2, nullptr);
                 tessAddContour(t, 2, nullptr, 8, 4);
             }},
        };

        INSTANTIATE_TEST_SUITE_P(LastUses, TessParkedTest, ::testing::ValuesIn(parkedCases),
                                 [](const auto& info) { return std::string(info.param.name); });

        // A tessellator keeping more than a bounded amount of memory is freed,
        // not parked.
        TEST(TessParkedLimitTest, LargeTessellatorIsNotParked)
        {
            Contours circle{{}};
            for (int i = 0; i < 60000; ++i)
                circle[0].push_back({float(std::cos(i / 60000.0 * 6.283185307179586) * 1000.0),
                                     float(std::sin(i / 60000.0 * 6.283185307179586) * 1000.0)});
            Tesselator* waiting = tessNewTess(nullptr);
            Tesselator* large = tessNewTess(nullptr);
            add(large, circle);
            ASSERT_EQ(tessTesselate(large, TESS_WINDING_ODD, TESS_POLYGONS, 3, 2, nullptr), 1);
            tessDeleteTess(large);
            Tesselator* next = tessNewTess(nullptr);
            EXPECT_EQ(next->spareMesh, nullptr) << "a new tessellator, without kept memory";
            tessDeleteTess(next);
            tessDeleteTess(waiting);
        }

        // Threads making and deleting tessellators on the default allocator at
        // once: each gets one of its own, and the answers stay a new one's.
        TEST(TessParkedThreadsTest, ConcurrentNewAndDeleteGiveNewTessellatorsAnswers)
        {
            const Contours star = starPolygon(31, 7);
            const std::vector<test::Triangle> expected = test::tessTriangles(star, TESS_WINDING_NONZERO);
            std::atomic<int> mismatches{0};
            std::vector<std::thread> threads;
            for (int t = 0; t < 4; ++t)
                threads.emplace_back(
                    [&]
                    {
                        for (int i = 0; i < 50; ++i)
                            mismatches += test::tessTriangles(star, TESS_WINDING_NONZERO) != expected;
                    });
            for (auto& thread : threads)
                thread.join();
            EXPECT_EQ(mismatches, 0);
        }

        // Huge and denormal coordinates leave an inside face with an edge
        // inside it: merging into polygons of six must not treat that edge as
        // a join of two faces (it split the face and the walk never ended).
        TEST_F(TessTest, MergingIntoPolygonsEndsOnAFaceWithAnEdgeInside)
        {
            const Contours contours{{{0x1.005p-133f, 0x1p-148f},
                                     {0x1.31713p+34f, -0x1.a0a0ap-79f},
                                     {0x1.0028p-132f, -0x1.3p-78f},
                                     {0x1.a0a13p+33f, 0x1.a130ap+33f},
                                     {0x1.a0a1dcp+33f, -0x1.a0a0ap-79f},
                                     {0.0f, 0.0f},
                                     {0x1.dca0ap+34f, 0x1.a0a0ap+33f},
                                     {0x1.00493p-61f, 0x1.a0b6p+33f},
                                     {0x1.a0a0ap+33f, 0x1.28p-140f}}};
            add(contours);
            ASSERT_EQ(tessTesselate(tess, TESS_WINDING_ODD, TESS_POLYGONS, 6, 2, nullptr), 1);
            EXPECT_GT(tessGetElementCount(tess), 0);
        }

        struct DegenerateCase
        {
            const char* name;
            Contours contours;
        };

        class TessDegenerateTest : public TessTest, public ::testing::WithParamInterface<DegenerateCase>
        {
        };

        TEST_P(TessDegenerateTest, GivesNoTrianglesAndNoLeak)
        {
            add(GetParam().contours);
            for (int rule = 0; rule <= 4; ++rule)
            {
                add(GetParam().contours);
                tessTesselate(tess, rule, TESS_POLYGONS, 3, 2, nullptr);
                EXPECT_EQ(tessGetElementCount(tess), 0) << "rule " << rule;
            }
        }

        INSTANTIATE_TEST_SUITE_P(
            Inputs, TessDegenerateTest,
            ::testing::Values(DegenerateCase{"collinear", {{{0, 0}, {1, 1}, {2, 2}, {3, 3}}}},
                              DegenerateCase{"onePoint", {{{5, 5}}}}, DegenerateCase{"twoPoints", {{{0, 0}, {4, 1}}}},
                              DegenerateCase{"allTheSame", {{{2, 2}, {2, 2}, {2, 2}, {2, 2}}}},
                              DegenerateCase{"backAndForth", {{{0, 0}, {4, 0}, {0, 0}, {4, 0}}}},
                              DegenerateCase{"cancellingSquares",
                                             {{{0, 0}, {1, 0}, {1, 1}, {0, 1}}, {{0, 0}, {0, 1}, {1, 1}, {1, 0}}}}),
            [](const auto& info) { return std::string(info.param.name); });

        struct BadCoordinateCase
        {
            const char* name;
            float value;
        };

        class TessBadCoordinateTest : public TessTest, public ::testing::WithParamInterface<BadCoordinateCase>
        {
        };

        TEST_P(TessBadCoordinateTest, FailsWithEmptyOutput)
        {
            const Contours contours{{{0, 0}, {GetParam().value, 0}, {1, 1}, {0, 1}}};
            add(contours);
            EXPECT_EQ(tessTesselate(tess, TESS_WINDING_ODD, TESS_POLYGONS, 3, 2, nullptr), 0);
            EXPECT_EQ(tessGetElementCount(tess), 0);
            EXPECT_EQ(tessGetVertexCount(tess), 0);
            EXPECT_EQ(tessGetElements(tess), nullptr);
            // The tessellator stays usable.
            add(ccwSquare);
            EXPECT_EQ(tessTesselate(tess, TESS_WINDING_ODD, TESS_POLYGONS, 3, 2, nullptr), 1);
            EXPECT_EQ(tessGetElementCount(tess), 2);
        }

        INSTANTIATE_TEST_SUITE_P(
            Values, TessBadCoordinateTest,
            ::testing::Values(BadCoordinateCase{"nan", std::numeric_limits<float>::quiet_NaN()},
                              BadCoordinateCase{"infinity", std::numeric_limits<float>::infinity()},
                              BadCoordinateCase{"minusInfinity", -std::numeric_limits<float>::infinity()},
                              BadCoordinateCase{"beyondLimit", 2.0e18f}),
            [](const auto& info) { return std::string(info.param.name); });

        TEST_F(TessTest, BadArgumentsFailWithoutTouchingMemoryOutside)
        {
            add(ccwSquare);
            EXPECT_EQ(tessTesselate(tess, TESS_WINDING_ODD, TESS_POLYGONS, 2, 2, nullptr), 0) << "polySize below 3";
            add(ccwSquare);
            EXPECT_EQ(tessTesselate(tess, TESS_WINDING_ODD, 7, 3, 2, nullptr), 0) << "unknown element type";
            tessAddContour(tess, 2, nullptr, 8, 4);
            add(ccwSquare);
            EXPECT_EQ(tessTesselate(tess, TESS_WINDING_ODD, TESS_POLYGONS, 3, 2, nullptr), 0) << "null contour";
            EXPECT_EQ(tessGetElementCount(tess), 0);
        }

        TEST_F(TessTest, ThreeDimensionalContourIsProjectedAndKeepsZ)
        {
            // A square in the plane x = 2, seen along x.
            const float square[4][3] = {{2, 0, 0}, {2, 1, 0}, {2, 1, 1}, {2, 0, 1}};
            tessAddContour(tess, 3, square, sizeof(square[0]), 4);
            ASSERT_EQ(tessTesselate(tess, TESS_WINDING_ODD, TESS_POLYGONS, 3, 3, nullptr), 1);
            EXPECT_EQ(tessGetElementCount(tess), 2);
            ASSERT_EQ(tessGetVertexCount(tess), 4);
            for (int i = 0; i < 4; ++i)
                EXPECT_EQ(tessGetVertices(tess)[i * 3], 2.0f);
        }

        // Every allocation of a tessellation with crossings, holes and merges
        // failing in turn: a clean 0 each time, nothing leaked, and the
        // tessellator, with whatever the failure left in its kept memory,
        // answers the next call as a new one would.
        TEST(TessOutOfMemoryTest, EveryAllocationFailureIsCleanlyReported)
        {
            const Contours contours{{{0, 0}, {10, 10}, {10, 0}, {0, 10}},
                                    {{2, 2}, {8, 2}, {8, 8}, {2, 8}},
                                    {{5, 0}, {5, 10}, {6, 10}, {6, 0}}};
            Tesselator* reference = tessNewTess(nullptr);
            add(reference, contours);
            ASSERT_EQ(tessTesselate(reference, TESS_WINDING_NONZERO, TESS_POLYGONS, 3, 2, nullptr), 1);
            const auto expected = triangleOutput(reference);
            tessDeleteTess(reference);
            long successfulCalls = -1;
            for (long failAt = 0; failAt < 200; ++failAt)
            {
                test::CountingAllocator allocator;
                allocator.record.meshEdgeBucketSize = 16;
                allocator.record.meshVertexBucketSize = 16;
                allocator.record.meshFaceBucketSize = 16;
                allocator.record.dictNodeBucketSize = 16;
                allocator.record.regionBucketSize = 16;
                allocator.failAt = failAt;
                Tesselator* tess = tessNewTess(&allocator.record);
                int answer = 0;
                if (tess != nullptr)
                {
                    add(tess, contours);
                    answer = tessTesselate(tess, TESS_WINDING_NONZERO, TESS_POLYGONS, 3, 2, nullptr);
                    if (answer == 0)
                    {
                        EXPECT_EQ(tessGetElementCount(tess), 0);
                        EXPECT_EQ(tessGetElements(tess), nullptr);
                        add(tess, contours);
                        EXPECT_EQ(tessTesselate(tess, TESS_WINDING_NONZERO, TESS_POLYGONS, 3, 2, nullptr), 1)
                            << "after failing allocation " << failAt;
                        EXPECT_EQ(triangleOutput(tess), expected) << "after failing allocation " << failAt;
                    }
                    tessDeleteTess(tess);
                }
                EXPECT_EQ(allocator.live, 0) << "failing allocation " << failAt;
                if (answer == 1 && allocator.calls <= failAt)
                {
                    successfulCalls = allocator.calls;
                    break;
                }
            }
            EXPECT_GT(successfulCalls, 10) << "the loop reached a run without failure";
        }

        //==============================================================================
        // The sweep and triangulation leave a consistent mesh whose inside
        // faces are triangles.
        TEST(TessMeshAfterSweepTest, SweepAndTriangulationKeepTheMeshConsistent)
        {
            std::mt19937 random(20240611u);
            for (int round = 0; round < 40; ++round)
            {
                const auto shape = test::Shape(round % 6);
                const Contours contours = test::makeContours(shape, random);
                Tesselator* tess = tessNewTess(nullptr);
                add(tess, contours);
                ASSERT_EQ(test::checkMesh(tess->mesh), "") << "after adding contours";
                tess->windingRule = TESS_WINDING_NONZERO;
                tessProjectPolygon(tess);
                ASSERT_TRUE(tessComputeInterior(tess));
                ASSERT_EQ(test::checkMesh(tess->mesh), "") << "after the sweep, " << test::shapeName(shape);
                ASSERT_TRUE(tessMeshTessellateInterior(tess->mesh));
                ASSERT_EQ(test::checkMesh(tess->mesh), "") << "after triangulating, " << test::shapeName(shape);
                for (TessFace* f = tess->mesh->fHead.next; f != &tess->mesh->fHead; f = f->next)
                {
                    if (f->inside)
                    {
                        ASSERT_EQ(f->anEdge->lnext->lnext->lnext, f->anEdge) << "inside faces are triangles";
                    }
                }
                tessDeleteTess(tess);
            }
        }

        //==============================================================================
        // Seeded property test per input kind and winding rule: at sample points
        // away from the outline exactly the triangles the winding-number rule
        // asks for cover the point (one inside, none outside).
        struct PropertyCase
        {
            test::Shape shape;
            int rule;
        };

        std::string propertyCaseName(const ::testing::TestParamInfo<PropertyCase>& info)
        {
            static const char* rules[] = {"Odd", "NonZero", "Positive", "Negative", "AbsGeqTwo"};
            return std::string(test::shapeName(info.param.shape)) + rules[info.param.rule];
        }

        using TessPropertyTest = ::testing::TestWithParam<PropertyCase>;

        TEST_P(TessPropertyTest, MatchesTheWindingRule)
        {
            const auto [shape, rule] = GetParam();
            const unsigned seed = 1000u + unsigned(shape) * 10u + unsigned(rule);
            std::mt19937 random(seed);
            for (int round = 0; round < 12; ++round)
            {
                SCOPED_TRACE(::testing::Message() << "seed " << seed << " round " << round);
                const Contours contours = test::makeContours(shape, random);
                bool ok = false;
                const std::vector<test::Triangle> triangles = test::tessTriangles(contours, rule, &ok);
                ASSERT_TRUE(ok);
                EXPECT_EQ(test::tessTriangles(contours, rule), triangles) << "the same input, the same output";
                const double area = test::totalArea(triangles);

                double minX = INFINITY, maxX = -INFINITY, minY = INFINITY, maxY = -INFINITY;
                std::set<std::pair<float, float>> inputPoints;
                for (const auto& c : contours)
                    for (const auto& p : c)
                    {
                        minX = std::min(minX, double(p[0]));
                        maxX = std::max(maxX, double(p[0]));
                        minY = std::min(minY, double(p[1]));
                        maxY = std::max(maxY, double(p[1]));
                        inputPoints.insert({p[0], p[1]});
                    }
                const double size = std::max(maxX - minX, maxY - minY);
                const double eps = size * 1e-4;
                EXPECT_NEAR(area, test::totalArea(test::referenceTriangles(contours, rule)), size * size * 1e-5)
                    << "area against GLU's";

                // The boundary loops enclose the triangles' area (over counted memory).
                test::CountingAllocator allocator;
                Tesselator* tess = tessNewTess(&allocator.record);
                add(tess, contours);
                ASSERT_EQ(tessTesselate(tess, rule, TESS_BOUNDARY_CONTOURS, 3, 2, nullptr), 1);
                EXPECT_NEAR(std::fabs(outputArea(tess, TESS_BOUNDARY_CONTOURS, 0)), area, size * size * 1e-5);
                tessDeleteTess(tess);
                EXPECT_EQ(allocator.live, 0) << "allocation balances";

                // Output vertices are input vertices or lie on two input edges.
                for (const auto& t : triangles)
                    for (const auto& v : {t.a, t.b, t.c})
                    {
                        if (inputPoints.count({float(v[0]), float(v[1])}))
                            continue;
                        int edgesNear = 0;
                        for (const auto& c : contours)
                            for (size_t k = 0; k < c.size(); ++k)
                                edgesNear +=
                                    test::distanceToOutline({{c[k], c[(k + 1) % c.size()]}}, v[0], v[1]) <= eps;
                        EXPECT_GE(edgesNear, 2) << "vertex " << v[0] << ", " << v[1];
                    }

                // Coverage at sample points away from the outline.
                const int orientation = test::signedArea(contours) < 0 ? -1 : 1;
                std::uniform_real_distribution<double> sx(minX, maxX), sy(minY, maxY);
                for (int s = 0; s < 200; ++s)
                {
                    const double x = sx(random), y = sy(random);
                    if (test::distanceToOutline(contours, x, y) < eps)
                        continue;
                    const bool expected = test::isInsideByRule(orientation * test::windingNumber(contours, x, y), rule);
                    int covering = 0;
                    for (const auto& t : triangles)
                    {
                        const auto side = [&](const auto& a, const auto& b)
                        { return (b[0] - a[0]) * (y - a[1]) - (x - a[0]) * (b[1] - a[1]); };
                        const double d1 = side(t.a, t.b), d2 = side(t.b, t.c), d3 = side(t.c, t.a);
                        covering += ! ((d1 < 0 || d2 < 0 || d3 < 0) && (d1 > 0 || d2 > 0 || d3 > 0));
                    }
                    EXPECT_EQ(covering, expected ? 1 : 0) << "point " << x << ", " << y << " covered " << covering;
                }
            }
        }

        std::vector<PropertyCase> allPropertyCases()
        {
            std::vector<PropertyCase> cases;
            for (int s = 0; s <= int(test::Shape::tiny); ++s)
                for (int rule = 0; rule <= 4; ++rule)
                    cases.push_back({test::Shape(s), rule});
            return cases;
        }

        INSTANTIATE_TEST_SUITE_P(Seeded, TessPropertyTest, ::testing::ValuesIn(allPropertyCases()), propertyCaseName);

    } // namespace
} // namespace vx
