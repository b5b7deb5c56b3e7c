#include "engine/gui/VXTransformer.h"

#include "engine/gui/VXGuiView.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

namespace vx
{
    namespace
    {
        using Vec = TVec2<float>;
        using Matrix = Transformer::Matrix;

        constexpr float degrees = 57.29577f;

        void expectNear(const Vec& a, const Vec& b, float tolerance = 1e-3f)
        {
            EXPECT_NEAR(a.x, b.x, tolerance);
            EXPECT_NEAR(a.y, b.y, tolerance);
        }

        void expectRect(const OrientedRect& r, float x1, float y1, float x2, float y2, float tolerance = 1e-2f)
        {
            const auto c = r.getCorners();
            expectNear(c[0], Vec(x1, y1), tolerance);
            expectNear(c[2], Vec(x2, y2), tolerance);
        }

        // A 1000 x 1000 view of a 1000 x 1000 work area: view units are pixels.
        class TransformerTest : public ::testing::Test
        {
        protected:
            void SetUp() override
            {
                view.init(1000.0f, 1000.0f, 1000.0f, 1000.0f, 0.0f);
                view.update();
                tool.setFromRect(RectT<float>(100.0f, 100.0f, 300.0f, 200.0f));
            }

            int frame(const std::function<void()>& events = {})
            {
                if (events)
                    events();
                view.begin();
                const int answer = tool.handleInteraction(view, snap);
                view.end();
                return answer;
            }

            // Press at from, move to to, release there; answers what the
            // release frame answered.
            int drag(const Vec& from, const Vec& to)
            {
                EXPECT_EQ(frame([&] { view.mouseDown(int(from.x), int(from.y), 0); }), Transformer::dragging);
                EXPECT_EQ(frame([&] { view.mouseMove(int(to.x), int(to.y)); }), Transformer::dragging);
                return frame([&] { view.mouseUp(int(to.x), int(to.y), 0); });
            }

            void hold(Keyboard::Modifier modifier) { view.getKeyboard().setModifierState(modifier, true); }

            GuiView view;
            Transformer tool;
            bool snap = true;
        };

        TEST_F(TransformerTest, MovePreviewsWhileDraggingAppliesOnReleaseAndIsConsumedOnce)
        {
            frame([&] { view.mouseDown(200, 150, 0); });
            frame([&] { view.mouseMove(210, 150); });
            EXPECT_EQ(tool.getMode(), Transformer::modeTranslate);
            expectRect(tool.getTransformedOrientedRect(), 110.0f, 100.0f, 310.0f, 200.0f);
            expectRect(tool.getOrientedRect(), 100.0f, 100.0f, 300.0f, 200.0f);
            frame([&] { view.mouseMove(230, 170); });
            EXPECT_EQ(frame([&] { view.mouseUp(230, 170, 0); }), Transformer::applied);
            expectRect(tool.getOrientedRect(), 130.0f, 120.0f, 330.0f, 220.0f);
            EXPECT_EQ(tool.getInteractionMatrix(), Matrix());
            EXPECT_EQ(frame(), Transformer::idle) << "the release answers 2 once";
            const Matrix moved = tool.consumeTransform();
            EXPECT_FLOAT_EQ(moved.m[6], 30.0f);
            EXPECT_FLOAT_EQ(moved.m[7], 20.0f);
            EXPECT_EQ(tool.consumeTransform(), Matrix());
        }

        TEST_F(TransformerTest, ModifierZeroMovesAlongOneAxis)
        {
            hold(Keyboard::shiftModifier);
            drag(Vec(200.0f, 150.0f), Vec(230.0f, 170.0f));
            expectRect(tool.getOrientedRect(), 130.0f, 100.0f, 330.0f, 200.0f);
        }

        struct ScaleCase
        {
            const char* name;
            Vec press;
            Vec release;
            int modifiers; // bit 0: proportional, bit 1: about the centre
            float x1, y1, x2, y2;
        };

        class TransformerScale : public TransformerTest, public ::testing::WithParamInterface<ScaleCase>
        {
        };

        // The 200 x 100 rectangle at (100, 100) dragged by one of its handles.
        TEST_P(TransformerScale, HandlesScaleAboutTheirAnchor)
        {
            const ScaleCase& c = GetParam();
            if (c.modifiers & 1)
                hold(Keyboard::shiftModifier);
            if (c.modifiers & 2)
                hold(Keyboard::altModifier);
            EXPECT_EQ(drag(c.press, c.release), Transformer::applied);
            expectRect(tool.getOrientedRect(), c.x1, c.y1, c.x2, c.y2);
        }

        INSTANTIATE_TEST_SUITE_P(
            Handles, TransformerScale,
            ::testing::Values(ScaleCase{"CornerFree", {300, 200}, {340, 220}, 0, 100, 100, 340, 220},
                              ScaleCase{"CornerProportional", {300, 200}, {340, 250}, 1, 100, 100, 350, 225},
                              ScaleCase{"CornerAboutCentre", {300, 200}, {340, 220}, 2, 60, 80, 340, 220},
                              ScaleCase{"TopLeftCorner", {100, 100}, {80, 90}, 0, 80, 90, 300, 200},
                              ScaleCase{"RightEdge", {300, 150}, {350, 180}, 0, 100, 100, 350, 200},
                              ScaleCase{"RightEdgeProportional", {300, 150}, {350, 180}, 1, 100, 87.5, 350, 212.5},
                              ScaleCase{"BottomEdgeAboutCentre", {200, 200}, {230, 220}, 2, 100, 80, 300, 220},
                              ScaleCase{"TopEdgeProportionalAboutCentre", {200, 100}, {200, 90}, 3, 80, 90, 320, 210}),
            [](const auto& info) { return std::string(info.param.name); });

        TEST_F(TransformerTest, ScalingToZeroKeepsATinyFactor)
        {
            frame([&] { view.mouseDown(300, 150, 0); });
            frame([&] { view.mouseMove(100, 150); });
            EXPECT_EQ(tool.getEdgeIndex(), 1);
            EXPECT_FLOAT_EQ(tool.getScale().x, 0.001f);
            EXPECT_FLOAT_EQ(tool.getScale().y, 1.0f);
        }

        // A rectangle of no width has no factor to scale by: the tool keeps
        // its matrices instead of filling them with infinities.
        TEST_F(TransformerTest, ZeroWidthRectanglesAreNotScaled)
        {
            tool.setFromRect(RectT<float>(100.0f, 100.0f, 100.0f, 300.0f));
            tool.setSize(50.0f, 50.0f);
            EXPECT_EQ(tool.getTransform(), Matrix());
            frame([&] { view.mouseDown(100, 300, 0); });
            frame([&] { view.mouseMove(150, 350); });
            for (float e : tool.getInteractionMatrix().m)
                EXPECT_TRUE(std::isfinite(e));
            frame([&] { view.mouseUp(150, 350, 0); });
            EXPECT_EQ(tool.getOrientedRect().getWidth(), 0.0f);
        }

        TEST_F(TransformerTest, RotationFollowsTheRingAndItsSteps)
        {
            snap = false;
            const Vec centre(200.0f, 150.0f);
            const Vec start(310.0f, 210.0f); // on corner 2's ring, off its square
            const auto turned = [&](float angle)
            {
                const float a = angle / degrees;
                const Vec d = start - centre;
                return Vec(centre.x + d.x * std::cos(a) - d.y * std::sin(a),
                           centre.y + d.x * std::sin(a) + d.y * std::cos(a));
            };
            frame([&] { view.mouseDown(int(start.x), int(start.y), 0); });
            EXPECT_EQ(tool.getMode(), Transformer::modeRotate);
            EXPECT_EQ(tool.getCornerIndex(), 2);
            const Vec to = turned(30.0f);
            frame([&] { view.mouseMove(int(std::round(to.x)), int(std::round(to.y))); });
            frame([&] { view.mouseUp(int(std::round(to.x)), int(std::round(to.y)), 0); });
            EXPECT_NEAR(tool.getOrientedRect().getOrientation() * degrees, 30.0f, 0.51f);
            EXPECT_NEAR(std::remainder(tool.getRotation() * degrees, 0.5f), 0.0f, 0.011f) << "steps of 0.5 degrees";
            EXPECT_NEAR(tool.getOrientedRect().getWidth(), 200.0f, 0.01f);

            tool.setFromRect(RectT<float>(100.0f, 100.0f, 300.0f, 200.0f));
            hold(Keyboard::shiftModifier);
            frame([&] { view.mouseDown(int(start.x), int(start.y), 0); });
            const Vec near45 = turned(37.0f);
            frame([&] { view.mouseMove(int(std::round(near45.x)), int(std::round(near45.y))); });
            frame([&] { view.mouseUp(int(std::round(near45.x)), int(std::round(near45.y)), 0); });
            EXPECT_NEAR(tool.getOrientedRect().getOrientation() * degrees, 45.0f, 0.01f);
        }

        TEST_F(TransformerTest, SetRotationTakesTheShortWayRound)
        {
            tool.setRotation(170.0f);
            tool.consumeTransform();
            tool.setRotation(-170.0f);
            const Matrix turn = tool.getTransform();
            EXPECT_NEAR(std::atan2(turn.m[1], turn.m[0]) * degrees, 20.0f, 0.01f);
            EXPECT_NEAR(std::remainder(tool.getOrientedRect().getOrientation() * degrees - 190.0f, 360.0f), 0.0f,
                        0.02f);
        }

        // A non-finite angle never comes into range: it is ignored instead of
        // looping for ever.
        TEST_F(TransformerTest, NonFiniteAnglesAreIgnored)
        {
            for (float angle : {std::nanf(""), INFINITY, -INFINITY})
                tool.setRotation(angle);
            expectRect(tool.getOrientedRect(), 100.0f, 100.0f, 300.0f, 200.0f);
            tool.setRotation(1e30f);
            for (float e : tool.getTransform().m)
                EXPECT_TRUE(std::isfinite(e));
        }

        // A turned target of another aspect is reached exactly: sized in the
        // rectangle's own axes, not sheared in screen axes.
        TEST_F(TransformerTest, TransformIntoATurnedTargetDoesNotShear)
        {
            OrientedRect target(RectT<float>(0.0f, 0.0f, 50.0f, 400.0f));
            target.rotate(0.6f);
            target.translate(Vec(500.0f, 300.0f));
            tool.transformInto(target);
            const OrientedRect& r = tool.getOrientedRect();
            EXPECT_NEAR(r.getWidth(), 50.0f, 0.05f);
            EXPECT_NEAR(r.getHeight(), 400.0f, 0.05f);
            EXPECT_NEAR(r.getOrientation(), 0.6f, 1e-4f);
            const auto got = r.getCorners();
            const auto want = target.getCorners();
            for (int i = 0; i < 4; ++i)
                expectNear(got[size_t(i)], want[size_t(i)], 0.05f);
        }

        TEST_F(TransformerTest, SettersApplyAtOnce)
        {
            tool.setSize(100.0f, 40.0f);
            expectRect(tool.getOrientedRect(), 150.0f, 130.0f, 250.0f, 170.0f);
            tool.setTopLeft(0.0f, 0.0f);
            expectRect(tool.getOrientedRect(), 0.0f, 0.0f, 100.0f, 40.0f);
            tool.setCenter(500.0f, 500.0f);
            expectRect(tool.getOrientedRect(), 450.0f, 480.0f, 550.0f, 520.0f);
            EXPECT_TRUE(tool.isTransformPending());
        }

        TEST_F(TransformerTest, ShortEdgesOfferNoHandle)
        {
            // 20 x 200: the 20-unit edges are not longer than 2 x 15 pixels.
            tool.setFromRect(RectT<float>(100.0f, 100.0f, 120.0f, 300.0f));
            const auto edges = tool.getEdgeDraggers();
            const Vec topMiddle(110.0f, 100.0f);
            EXPECT_EQ(tool.testDraggers(view, edges, topMiddle, false), -1);
            EXPECT_EQ(tool.testDraggers(view, edges, Vec(120.0f, 200.0f), false), 1);
            // At 200 % the same edge spans 40 pixels.
            view.zoomPercent(200.0f);
            EXPECT_EQ(tool.testDraggers(view, edges, topMiddle, false), 0);
        }

        TEST_F(TransformerTest, HandlesAreHitInTheRectanglesOwnFrame)
        {
            tool.setRotation(90.0f);
            // Turned about (200, 150): corner 0 now sits at (250, 50).
            EXPECT_EQ(tool.testDraggers(view, tool.getCornerDraggers(), Vec(250.0f, 50.0f), true), 0);
            EXPECT_EQ(tool.testDraggers(view, tool.getCornerDraggers(), Vec(261.0f, 50.0f), true), 4);
            EXPECT_TRUE(tool.isPointIn(view, Vec(200.0f, 200.0f)));
            EXPECT_FALSE(tool.isPointIn(view, Vec(300.0f, 150.0f)));
            tool.setRotationEnabled(false);
            EXPECT_EQ(tool.testDraggers(view, tool.getCornerDraggers(), Vec(261.0f, 50.0f), true), -1);
        }

        TEST_F(TransformerTest, BoundsHoldMovesAndScales)
        {
            tool.setConstrainToBounds(true);
            tool.setBounds(RectT<float>(0.0f, 0.0f, 400.0f, 400.0f));
            drag(Vec(200.0f, 150.0f), Vec(500.0f, 150.0f));
            expectRect(tool.getOrientedRect(), 200.0f, 100.0f, 400.0f, 200.0f);
            drag(Vec(400.0f, 200.0f), Vec(400.0f, 600.0f));
            expectRect(tool.getOrientedRect(), 200.0f, 100.0f, 400.0f, 400.0f);
        }

    } // namespace
} // namespace vx
