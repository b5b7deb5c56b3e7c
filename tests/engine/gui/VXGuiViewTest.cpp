#include "engine/gui/VXGuiView.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <string>
#include <thread>

namespace vx
{
    namespace
    {
        using Vec = TVec2<float>;

        class CountingListener : public GuiViewListener
        {
        public:
            void viewChanged() override { ++changes; }
            int changes = 0;
        };

        void expectNear(const Vec& a, const Vec& b, float tolerance = 1e-3f)
        {
            EXPECT_NEAR(a.x, b.x, tolerance);
            EXPECT_NEAR(a.y, b.y, tolerance);
        }

        void expectFinite(const GuiView::Matrix& m)
        {
            for (float e : m.m)
                EXPECT_TRUE(std::isfinite(e));
        }

        class GuiViewTest : public ::testing::Test
        {
        protected:
            void SetUp() override
            {
                view.init(800.0f, 600.0f, 1920.0f, 1080.0f, 0.0f);
                view.update();
                view.addListener(listener, false);
            }
            void TearDown() override { view.removeListener(listener); }

            GuiView view;
            CountingListener listener;
        };

        TEST_F(GuiViewTest, WideWorkAreaIsFittedWithBandsAboveAndBelow)
        {
            EXPECT_EQ(view.getFittedArea(), RectT<float>(0.0f, 75.0f, 800.0f, 525.0f));
            expectNear(view.toScreen(Vec(0.0f, 0.0f)), Vec(0.0f, 75.0f));
            expectNear(view.toScreen(Vec(1920.0f, 1080.0f)), Vec(800.0f, 525.0f));
            expectNear(view.toView(Vec(400.0f, 300.0f)), Vec(960.0f, 540.0f));
            EXPECT_NEAR(view.toScreen(1920.0f), 800.0f, 1e-3f);
            EXPECT_NEAR(view.toView(800.0f), 1920.0f, 1e-2f);
            const RectT<float> back = view.toView(view.toScreen(RectT<float>(10.0f, 20.0f, 30.0f, 40.0f)));
            EXPECT_NEAR(back.x2, 30.0f, 1e-3f);
            EXPECT_NEAR(back.y1, 20.0f, 1e-3f);
        }

        TEST_F(GuiViewTest, MarginIsCappedAtHalfTheShorterFittedSide)
        {
            view.init(800.0f, 600.0f, 1920.0f, 1080.0f, 1000.0f);
            // Fitted 800 x 450: the inset is capped at 225 on the long axis.
            const RectT<float> fitted = view.getFittedArea();
            EXPECT_FLOAT_EQ(fitted.x1, 225.0f);
            EXPECT_FLOAT_EQ(fitted.x2, 575.0f);
            EXPECT_FLOAT_EQ(fitted.y1, 75.0f + 126.5625f);
            EXPECT_FLOAT_EQ(fitted.y2, 525.0f - 126.5625f);
        }

        TEST_F(GuiViewTest, ZoomKeepsThePointUnderTheCursorAndStaysInItsLimits)
        {
            const Vec cursor(123.0f, 321.0f);
            const Vec under = view.toView(cursor);
            view.zoomAtPosition(cursor.x, cursor.y, 0, 0.0f);
            EXPECT_EQ(listener.changes, 0) << "zero steps change nothing";
            EXPECT_EQ(view.getViewMatrix(), GuiView::Matrix());

            view.zoomAtPosition(cursor.x, cursor.y, 3, 0.0f);
            EXPECT_EQ(listener.changes, 1);
            expectNear(view.toView(cursor), under, 1e-2f);
            EXPECT_GT(view.getZoomPercent(), 41.6667f * 1.14f);

            for (int i = 0; i < 400; ++i)
                view.zoomAtPosition(cursor.x, cursor.y, 5, 0.0f);
            EXPECT_FLOAT_EQ(view.getZoomPercent(), 10000.0f);
            expectNear(view.toView(cursor), under, 0.5f);
            for (int i = 0; i < 400; ++i)
                view.zoomAtPosition(cursor.x, cursor.y, -5, 0.0f);
            EXPECT_FLOAT_EQ(view.getZoomPercent(), 2.0f);
        }

        struct PercentCase
        {
            const char* name;
            float width, height, workWidth, workHeight, margin, percent;
        };

        using GuiViewZoomPercent = ::testing::TestWithParam<PercentCase>;

        TEST_P(GuiViewZoomPercent, AnswersThePercentageSet)
        {
            const PercentCase& c = GetParam();
            GuiView view;
            view.init(c.width, c.height, c.workWidth, c.workHeight, c.margin);
            view.update();
            view.zoomPercent(c.percent);
            EXPECT_NEAR(view.getZoomPercent(), c.percent, c.percent * 1e-5f);
            // Centred: the work area's middle stays at the fitted area's middle.
            const RectT<float>& f = view.getFittedArea();
            expectNear(view.toScreen(Vec(c.workWidth / 2.0f, c.workHeight / 2.0f)),
                       Vec((f.x1 + f.x2) / 2.0f, (f.y1 + f.y2) / 2.0f), 0.05f);
        }

        INSTANTIATE_TEST_SUITE_P(Sizes, GuiViewZoomPercent,
                                 ::testing::Values(PercentCase{"WideWork", 800, 600, 1920, 1080, 0, 100},
                                                   PercentCase{"TallWork", 640, 480, 300, 900, 0, 100},
                                                   PercentCase{"WithMargin", 1024, 768, 1280, 720, 40, 100},
                                                   PercentCase{"Quarter", 800, 600, 1920, 1080, 0, 25},
                                                   PercentCase{"Tenfold", 300, 200, 50, 50, 10, 1000}),
                                 [](const auto& info) { return std::string(info.param.name); });

        TEST_F(GuiViewTest, PanMovesTheContentByTheScreenDistance)
        {
            view.zoomPercent(300.0f);
            const Vec before = view.toScreen(Vec(100.0f, 100.0f));
            view.pan(10.0f, -4.0f);
            expectNear(view.toScreen(Vec(100.0f, 100.0f)), before + Vec(10.0f, -4.0f));
            EXPECT_EQ(listener.changes, 2);
            view.resetToDefaultView();
            EXPECT_EQ(view.getViewMatrix(), GuiView::Matrix());
        }

        // A surface of no size, or a collapsed view, keeps the matrices it had
        // instead of filling them with infinities.
        TEST_F(GuiViewTest, ZeroSizeViewsKeepTheirMatrices)
        {
            GuiView empty;
            empty.init(0.0f, 0.0f, 1920.0f, 1080.0f, 0.0f);
            empty.update();
            expectFinite(empty.getCombinedMatrix());
            expectFinite(empty.getInverseMatrix());
            EXPECT_TRUE(std::isfinite(empty.toView(10.0f)));
            EXPECT_TRUE(std::isfinite(empty.sizeToView(Vec(10.0f, 10.0f)).y));
            const Vec p = empty.toView(Vec(5.0f, 5.0f));
            EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y));
            empty.zoomAtPosition(5.0f, 5.0f, 3, 0.0f);
            empty.zoomPercent(100.0f);
            expectFinite(empty.getViewMatrix());
            EXPECT_EQ(empty.getViewMatrix(), GuiView::Matrix());

            GuiView::Matrix collapsed;
            collapsed.m[0] = collapsed.m[4] = 0.0f;
            view.setViewMatrix(collapsed);
            view.zoomAtPosition(5.0f, 5.0f, 3, 0.0f);
            EXPECT_EQ(view.getViewMatrix(), collapsed);
            view.zoomPercent(0.0f);
            view.zoomPercent(std::nanf(""));
            EXPECT_EQ(view.getViewMatrix(), collapsed);
            EXPECT_TRUE(std::isfinite(view.toViewY(3.0f)));
        }

        TEST_F(GuiViewTest, PushedMatricesComeBackInOrder)
        {
            view.popMatrix();
            EXPECT_EQ(view.getMatrixStackDepth(), 0u) << "an empty stack pops nothing";
            GuiView::Matrix shift;
            shift.translate(Vec(10.0f, 0.0f));
            const GuiView::Matrix combinedBefore = view.getCombinedMatrix();
            {
                GuiView child(view, shift);
                EXPECT_EQ(child.getMatrixStackDepth(), 1u);
                expectNear(child.toScreen(Vec(0.0f, 0.0f)), view.toScreen(Vec(10.0f, 0.0f)));
                child.pushMatrix(shift);
                expectNear(child.toScreen(Vec(0.0f, 0.0f)), view.toScreen(Vec(20.0f, 0.0f)));
                child.popMatrix();
                child.popMatrix();
                EXPECT_EQ(child.getCombinedMatrix(), combinedBefore);
            }
            EXPECT_EQ(listener.changes, 0) << "pushing is not a change of the user's view";
        }

        TEST_F(GuiViewTest, HitTestsCountRimsInAndEdgesOut)
        {
            GuiView square;
            square.init(100.0f, 100.0f, 100.0f, 100.0f, 0.0f);
            square.update();
            const Vec c(50.0f, 50.0f);
            EXPECT_TRUE(square.isPointInCircleFixed(Vec(60.0f, 50.0f), c, 10.0f));
            EXPECT_FALSE(square.isPointInCircleFixed(Vec(60.01f, 50.0f), c, 10.0f));
            EXPECT_FALSE(square.isPointInRectFixed(Vec(55.0f, 50.0f), c, 10.0f, 10.0f));
            EXPECT_TRUE(square.isPointInRectFixed(Vec(54.99f, 54.99f), c, 10.0f, 10.0f));
            // Sizes are screen pixels: zoomed to 200 % a 10-pixel circle spans 5 units.
            square.zoomPercent(200.0f);
            EXPECT_TRUE(square.isPointInCircleFixed(Vec(55.0f, 50.0f), c, 10.0f));
            EXPECT_FALSE(square.isPointInCircleFixed(Vec(56.0f, 50.0f), c, 10.0f));
        }

        TEST_F(GuiViewTest, AttenuationRunsFromOneToItsMinimum)
        {
            const Vec a(0.0f, 0.0f);
            EXPECT_FLOAT_EQ(GuiView::attenuation(a, Vec(3.0f, 4.0f), 5.0f, 200.0f), 1.0f);
            EXPECT_FLOAT_EQ(GuiView::attenuation(a, Vec(205.0f, 0.0f), 5.0f, 200.0f), 0.75f);
            EXPECT_FLOAT_EQ(GuiView::attenuation(a, Vec(1000.0f, 0.0f), 5.0f, 200.0f), 0.75f);
            EXPECT_FLOAT_EQ(GuiView::attenuation(a, Vec(105.0f, 0.0f), 5.0f, 200.0f), 0.25f * 0.125f + 0.75f);
            EXPECT_FLOAT_EQ(GuiView::attenuation(a, Vec(1.0f, 0.0f), 5.0f, 0.0f), 1.0f);
            EXPECT_FLOAT_EQ(GuiView::attenuation(a, Vec(9.0f, 0.0f), 5.0f, 0.0f), 0.75f);
        }

        TEST_F(GuiViewTest, MouseEventsAreReadThroughScaleOffsetAndTheViewFromTheNextFrame)
        {
            view.setMouseScale(Vec(2.0f, 2.0f));
            view.setMouseOffset(Vec(0.0f, 75.0f));
            view.mouseMove(100, 0);
            view.begin();
            expectNear(view.getMousePos(), Vec(480.0f, 0.0f));
            view.end();
            view.begin();
            view.mouseMove(200, 0); // during a frame: seen from the next one
            expectNear(view.getMousePos(), Vec(480.0f, 0.0f));
            view.end();
            view.begin();
            expectNear(view.getMousePos(), Vec(960.0f, 0.0f));
            expectNear(view.getMouseDelta(), Vec(240.0f, 0.0f));
            view.end();
            view.mouseDown(400, 300, 0);
            view.mouseUp(410, 300, 0);
            view.begin();
            EXPECT_TRUE(view.getMouse().buttonReleased(0));
            expectNear(view.getMousePos(), view.toView(Vec(820.0f, 675.0f)));
            view.end();
            view.begin();
            EXPECT_FALSE(view.getMouse().buttonReleased(0));
            view.end();
        }

        // Moves from an event thread while frames run: each frame sees one
        // whole position that was sent (never x of one and y of another), in
        // order, and the last one once the moves stop.
        TEST_F(GuiViewTest, MouseMovesFromAnotherThreadArriveWholeAndInOrder)
        {
            constexpr int moves = 2000;
            std::atomic<bool> done{false};
            std::thread events(
                [&]
                {
                    for (int i = 1; i <= moves; ++i)
                        view.mouseMove(i, 2 * i);
                    done = true;
                });
            float lastX = 0.0f;
            bool wasDone = false;
            while (! wasDone)
            {
                wasDone = done.load();
                view.begin();
                const TVec2<float> raw = view.getMouse().getPosition();
                view.end();
                ASSERT_EQ(raw.y, 2.0f * raw.x);
                ASSERT_GE(raw.x, lastX);
                lastX = raw.x;
            }
            events.join();
            EXPECT_EQ(lastX, float(moves));
        }

    } // namespace
} // namespace vx
