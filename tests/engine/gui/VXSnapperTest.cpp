#include "engine/gui/VXSnapper.h"

#include "engine/gui/VXGuiView.h"
#include "engine/gui/VXTransformer.h"
#include "support/VXLogRecorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace vx
{
    namespace
    {
        using Vec = TVec2<float>;
        using Snap = Snapper::Snap;

        const Vec onePixel(1.0f, 1.0f);

        Polygon square(float x, float y, float size)
        {
            return Polygon(RectT<float>(x, y, x + size, y + size));
        }

        void expectNear(const Vec& a, const Vec& b, float tolerance = 1e-3f)
        {
            EXPECT_NEAR(a.x, b.x, tolerance);
            EXPECT_NEAR(a.y, b.y, tolerance);
        }

        class SnapperTest : public ::testing::Test
        {
        protected:
            // The frame every test snaps to: a 100 x 100 rectangle at the
            // origin, reached from 10 pixels.
            void SetUp() override { snapper.addSnapShape(square(0.0f, 0.0f, 100.0f), 10.0f); }

            Snapper snapper;
        };

        TEST(SnapperEmpty, WithNothingToSnapToNothingMoves)
        {
            Snapper snapper;
            Vec d(3.0f, 4.0f);
            Vec f(1.5f, 2.0f);
            Vec point(1.0f, 1.0f);
            const Polygon p = square(0.0f, 0.0f, 10.0f);
            EXPECT_FALSE(snapper.snapTranslation(p, d, onePixel));
            EXPECT_FALSE(snapper.snapScaleEdge(p, 1, Vec(), f, onePixel, false));
            EXPECT_FALSE(snapper.snapScaleCorner(p, 2, Vec(), f, onePixel, true));
            EXPECT_FALSE(snapper.snapToCorners(point, onePixel));
            EXPECT_EQ(d, Vec(3.0f, 4.0f));
            EXPECT_EQ(f, Vec(1.5f, 2.0f));
            EXPECT_EQ(point, Vec(1.0f, 1.0f));
        }

        struct ReachCase
        {
            const char* name;
            float dx;
            bool snaps;
        };

        class SnapperReach : public SnapperTest, public ::testing::WithParamInterface<ReachCase>
        {
        };

        // A 40-unit square far below the frame's centre line, moved left so its
        // left edge comes near the frame's right edge (x = 100).
        TEST_P(SnapperReach, TheReachItselfStillSnaps)
        {
            Vec d(GetParam().dx, 0.0f);
            const bool snapped = snapper.snapTranslation(square(200.0f, 300.0f, 40.0f), d, onePixel);
            EXPECT_EQ(snapped, GetParam().snaps);
            EXPECT_FLOAT_EQ(d.x, GetParam().snaps ? -100.0f : GetParam().dx);
            EXPECT_EQ(d.y, 0.0f);
        }

        INSTANTIATE_TEST_SUITE_P(Distances, SnapperReach,
                                 ::testing::Values(ReachCase{"Inside", -95.0f, true},
                                                   ReachCase{"AtTheReach", -90.0f, true},
                                                   ReachCase{"JustOutside", -89.5f, false},
                                                   ReachCase{"Beyond", -105.0f, true}),
                                 [](const auto& info) { return std::string(info.param.name); });

        // Near a corner of the frame both axes snap: two active snaps with
        // perpendicular directions, each guide through its vertex's final place.
        TEST_F(SnapperTest, NearACornerBothAxesSnap)
        {
            Vec d(-95.0f, -96.0f);
            ASSERT_TRUE(snapper.snapTranslation(square(200.0f, 200.0f, 40.0f), d, onePixel));
            expectNear(d, Vec(-100.0f, -100.0f));
            const Snap& a = snapper.getSnap(0);
            const Snap& b = snapper.getSnap(1);
            EXPECT_NEAR(a.direction.dot(b.direction), 0.0f, 1e-6f);
            EXPECT_NE(a.direction, Vec());
            // The bottom edge caught vertex (145, 104), the right edge (105, 144).
            expectNear(a.position, Vec(140.0f, 100.0f));
            expectNear(b.position, Vec(100.0f, 140.0f));
            snapper.resetSnaps();
            EXPECT_EQ(snapper.getSnap(0).direction, Vec());
        }

        TEST_F(SnapperTest, CentresSnapToCentreLines)
        {
            // The square's centre (x + 20) meets the frame's vertical centre line.
            Vec d(-153.0f, 0.0f);
            ASSERT_TRUE(snapper.snapTranslation(square(180.0f, 300.0f, 40.0f), d, onePixel));
            EXPECT_FLOAT_EQ(d.x, -150.0f);
        }

        // At nearly equal distances (within 0.1) the longer line wins,
        // otherwise the nearer one; the pick does not depend on the order.
        TEST(SnapperOrdering, NearlyEqualDistancesGoByLineExtent)
        {
            const auto snapAt = [](float distance, float extent) {
                return Snap{Vec(1.0f, 0.0f), distance, Vec(), Vec(0.0f, extent), Vec()};
            };
            const Snap shortLine = snapAt(5.0f, 1.0f);
            const Snap longLine = snapAt(5.08f, 3.0f);
            const Snap middle = snapAt(5.16f, 2.0f);
            EXPECT_TRUE(Snapper::isBetter(longLine, shortLine));
            EXPECT_TRUE(Snapper::isBetter(shortLine, middle)) << "0.16 apart: the nearer";
            EXPECT_TRUE(Snapper::isBetter(longLine, middle));

            // Not transitive, so never a sort: every order picks the long line.
            std::vector<Snap> candidates{shortLine, longLine, middle};
            std::vector<int> order{0, 1, 2};
            do
            {
                std::vector<Snap> permuted;
                for (int i : order)
                    permuted.push_back(candidates[size_t(i)]);
                const Snap* best = Snapper::findBest(permuted);
                ASSERT_NE(best, nullptr);
                EXPECT_FLOAT_EQ(best->distance, 5.08f);
            } while (std::next_permutation(order.begin(), order.end()));
            EXPECT_EQ(Snapper::findBest({}), nullptr);
        }

        TEST_F(SnapperTest, TheGridUsesOnlyItsOwnDistance)
        {
            snapper.setupSnapGrid(50.0f, 50.0f, 2.0f);
            // The square's left vertices 3 units short of the grid line x = 50,
            // on the frame's centre line's 10 pixels.
            Vec d(3.0f, 0.0f);
            EXPECT_FALSE(snapper.snapTranslation(square(44.0f, 10.0f, 20.0f), d, onePixel))
                << "the frame's 10 pixels do not count";
            d = Vec(4.5f, 0.0f);
            ASSERT_TRUE(snapper.snapTranslation(square(44.0f, 10.0f, 20.0f), d, onePixel));
            EXPECT_FLOAT_EQ(d.x, 6.0f);
            snapper.clearSnapGrid();
            EXPECT_FALSE(snapper.isSnapGridEnabled());
        }

        TEST_F(SnapperTest, GridsWithoutCellsAreRefused)
        {
            test::LogRecorder log;
            snapper.setupSnapGrid(0.0f, 50.0f, 2.0f);
            EXPECT_FALSE(snapper.isSnapGridEnabled());
            snapper.setupSnapGrid(50.0f, std::nanf(""), 2.0f);
            EXPECT_FALSE(snapper.isSnapGridEnabled());
            EXPECT_EQ(log.count(logError), 2u);
        }

        // A 100 x 50 rectangle at (100, 100) scaled about its left edge until
        // its right edge nears the frame's (a 300 x 300 frame here).
        TEST(SnapperScale, EdgesAndCornersLandOnTheFrame)
        {
            Snapper snapper;
            snapper.addSnapShape(square(0.0f, 0.0f, 300.0f), 10.0f);
            const Polygon p(RectT<float>(100.0f, 100.0f, 200.0f, 150.0f));
            const Vec anchor(100.0f, 100.0f);

            Vec f(1.95f, 1.0f);
            ASSERT_TRUE(snapper.snapScaleEdge(p, 1, anchor, f, onePixel, false));
            EXPECT_NEAR(f.x, 2.0f, 1e-5f);
            EXPECT_FLOAT_EQ(f.y, 1.0f);

            f = Vec(1.95f, 1.0f);
            ASSERT_TRUE(snapper.snapScaleEdge(p, 1, anchor, f, onePixel, true));
            EXPECT_NEAR(f.y, 200.0f / 195.0f, 1e-5f) << "proportional: both factors";

            f = Vec(1.95f, 3.9f);
            ASSERT_TRUE(snapper.snapScaleCorner(p, 2, anchor, f, onePixel, false));
            EXPECT_NEAR(f.x, 2.0f, 1e-5f);
            EXPECT_NEAR(f.y, 4.0f, 1e-5f);
            EXPECT_NEAR(snapper.getSnap(0).direction.dot(snapper.getSnap(1).direction), 0.0f, 1e-6f);

            f = Vec(1.5f, 1.0f);
            EXPECT_FALSE(snapper.snapScaleEdge(p, 1, anchor, f, onePixel, false));
            EXPECT_EQ(f, Vec(1.5f, 1.0f));
        }

        TEST_F(SnapperTest, PointsAreDrawnToTheNearestCornerInReach)
        {
            Vec point(104.0f, 97.0f);
            ASSERT_TRUE(snapper.snapToCorners(point, onePixel));
            EXPECT_EQ(point, Vec(100.0f, 100.0f));
            point = Vec(112.0f, 100.0f);
            EXPECT_FALSE(snapper.snapToCorners(point, onePixel));
            // At 50 % a pixel is two units: the reach doubles.
            EXPECT_TRUE(snapper.snapToCorners(point, Vec(2.0f, 2.0f)));
        }

        TEST(SnapperVertex, ScaledAlongTheBasisAxes)
        {
            TMatrix3x3<float> basis;
            basis.rotate(float(M_PI / 2.0));
            // Axes (0, 1) and (-1, 0): x stretches vertically, y horizontally.
            expectNear(Snapper::getScaledVertex(basis, Vec(10.0f, 10.0f), Vec(2.0f, 3.0f), Vec(10.0f, 12.0f)),
                       Vec(10.0f, 14.0f));
            expectNear(Snapper::getScaledVertex(basis, Vec(10.0f, 10.0f), Vec(2.0f, 3.0f), Vec(8.0f, 10.0f)),
                       Vec(4.0f, 10.0f));
        }

        // Dragged with snapping on, the transform tool lands on the shapes its
        // owner registered.
        TEST(SnapperTransformer, DragsSnapToRegisteredShapes)
        {
            GuiView view;
            view.init(1000.0f, 1000.0f, 1000.0f, 1000.0f, 0.0f);
            view.update();
            Transformer tool;
            tool.setFromRect(RectT<float>(100.0f, 100.0f, 300.0f, 200.0f));
            tool.getSnapper().addSnapShape(Polygon(RectT<float>(0.0f, 0.0f, 1000.0f, 1000.0f)), 10.0f);
            const auto frame = [&](const std::function<void()>& events)
            {
                events();
                view.begin();
                const int answer = tool.handleInteraction(view, true);
                view.end();
                return answer;
            };
            frame([&] { view.mouseDown(200, 150, 0); });
            frame([&] { view.mouseMove(107, 150); });
            frame([&] { view.mouseUp(107, 150, 0); });
            const auto corners = tool.getOrientedRect().getCorners();
            expectNear(corners[0], Vec(0.0f, 100.0f), 1e-2f);

            // Scaling the right edge to near the frame's centre line.
            frame([&] { view.mouseDown(200, 150, 0); });
            frame([&] { view.mouseMove(497, 150); });
            frame([&] { view.mouseUp(497, 150, 0); });
            expectNear(tool.getOrientedRect().getCorners()[1], Vec(500.0f, 100.0f), 1e-2f);
        }

    } // namespace
} // namespace vx
