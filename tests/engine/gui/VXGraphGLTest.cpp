#include "engine/gui/VXGraph.h"

#include "VXGuiGLFixture.h"
#include "core/VXTaskProfiler.h"
#include "core/VXTime.h"
#include "core/VXValueHistory.h"
#include "engine/gui/VXTaskProfilerView.h"

#include <cfloat>
#include <chrono>
#include <cmath>
#include <ostream>
#include <string>
#include <thread>

namespace vx::test
{
    namespace
    {
        constexpr int size = 64;
        const PixelRGBA8 black{0, 0, 0, 255};
        const PixelRGBA8 outlineRed{255, 0, 0, 255};

        // Only the elements a test looks at: no texts, no points.
        GraphStyle quietStyle()
        {
            GraphStyle style;
            style.setTextColor(Color::transparentBlack);
            style.setPointColor(Color::transparentBlack);
            style.setBGColor(Color::transparentBlack);
            style.setLineColor(Color::white);
            return style;
        }

        void pause(int milliseconds)
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        }

        class GraphGLTest : public GuiGLTest
        {
        protected:
            // Pixels of the row with the given colour, inside the outline.
            int countInRow(int y, const PixelRGBA8& colour) const
            {
                int count = 0;
                for (int x = 1; x < size - 1; ++x)
                    count += at(x, y) == colour ? 1 : 0;
                return count;
            }
        };

        TEST_F(GraphGLTest, OneEntryDrawsBackgroundAndOutlineOnly)
        {
            beginPixelSpace(size, size);
            Graph graph(10.0f);
            GraphStyle style;
            style.setBGColor(Color(0.0f, 0.0f, 1.0f, 1.0f));
            graph.setStyle(style);
            graph.addEntry(3.0f, "only");
            graph.draw(*renderer, 0.0f, 0.0f, float(size), float(size));
            EXPECT_EQ(at(0, 0), outlineRed);
            EXPECT_EQ(at(size - 1, size / 2), outlineRed);
            EXPECT_EQ(at(size / 2, size - 1), outlineRed);
            for (int y = 2; y < size - 2; ++y)
                EXPECT_EQ(countInRow(y, PixelRGBA8{0, 0, 255, 255}), size - 2) << "row " << y;
            EXPECT_EQ(getInteger(GL_BLEND), GL_FALSE) << "blending is left off";
        }

        TEST_F(GraphGLTest, TransparentColoursHideTheirElements)
        {
            beginPixelSpace(size, size);
            Graph graph(10.0f);
            GraphStyle style = quietStyle();
            style.setLineColor(Color::transparentBlack);
            style.setOutlineColor(Color::transparentBlack);
            style.setMarkerColor(Color::transparentBlack);
            graph.setStyle(style);
            graph.addEntry(0.0f, "marked");
            graph.addEntry(10.0f, "marked");
            graph.draw(*renderer, 0.0f, 0.0f, float(size), float(size));
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x)
                    ASSERT_EQ(at(x, y), black) << x << ", " << y;
        }

        TEST_F(GraphGLTest, MarkersDrawAVerticalLineAtTheirEntry)
        {
            beginPixelSpace(size, size);
            const double window = 10.0;
            Graph graph{float(window)};
            GraphStyle style = quietStyle();
            style.setLineColor(Color::transparentBlack);
            style.setOutlineColor(Color::transparentBlack);
            graph.setStyle(style);
            const double before = ValueHistory::nowSeconds();
            graph.addEntry(1.0f, "then");
            pause(300);
            graph.addEntry(0.0f, nullptr);
            graph.draw(*renderer, 0.0f, 0.0f, float(size), float(size));
            const double after = ValueHistory::nowSeconds();
            // The marker stands where its entry is, left of the right edge by
            // its age at the draw (the pause at least, at most all the time
            // measured: a loaded machine may stretch it): a vertical line over
            // the whole height.
            int bestColumn = -1, bestCount = 0;
            for (int x = 0; x < size; ++x)
            {
                int count = 0;
                for (int y = 20; y < size; ++y)
                    count += at(x, y) == PixelRGBA8{255, 255, 0, 255} ? 1 : 0;
                if (count > bestCount)
                {
                    bestCount = count;
                    bestColumn = x;
                }
            }
            EXPECT_GT(bestCount, 40);
            const auto columnAtAge = [&](double age) { return double(size) - age / window * double(size); };
            EXPECT_GE(bestColumn, int(std::floor(columnAtAge(after - before))) - 1);
            EXPECT_LE(bestColumn, int(std::ceil(columnAtAge(0.3))));
            EXPECT_LT(bestColumn, size - 1) << "some pixels left of the right edge";
        }

        // A narrower range shrinks the axis by the frame time, never past the
        // range; a wider one applies at once.
        TEST_F(GraphGLTest, AxisNarrowsGraduallyAndWidensAtOnce)
        {
            beginPixelSpace(size, size);
            Graph graph(10.0f);
            graph.setStyle(quietStyle());
            graph.addEntry(0.0f, nullptr);
            graph.addEntry(100.0f, nullptr);
            graph.draw(*renderer, 0.0f, 0.0f, float(size), float(size));
            EXPECT_EQ(graph.getDisplayedRange(), 100.0f);

            graph.clear();
            graph.addEntry(0.0f, nullptr);
            graph.addEntry(10.0f, nullptr);
            updateTime(1000.0);
            updateTime(1500.0);
            graph.draw(*renderer, 0.0f, 0.0f, float(size), float(size));
            EXPECT_FLOAT_EQ(graph.getDisplayedRange(), 55.0f);

            updateTime(4500.0); // a three-second frame
            graph.draw(*renderer, 0.0f, 0.0f, float(size), float(size));
            EXPECT_FLOAT_EQ(graph.getDisplayedRange(), 10.0f) << "no overshoot below the range";

            graph.addEntry(200.0f, nullptr);
            graph.draw(*renderer, 0.0f, 0.0f, float(size), float(size));
            EXPECT_FLOAT_EQ(graph.getDisplayedRange(), 200.0f);
            updateTime(-1.0);
        }

        TEST_F(GraphGLTest, ProfilerViewDrawsAllQueuesOverOneFrame)
        {
            beginPixelSpace(128, 128);
            TaskProfiler profiler;
            TaskProfilerView view(profiler);
            pause(400); // samples every 20 ms: the newest lines span a few pixels
            // A starved sampling thread may not have sampled yet: every graph
            // needs a second entry to draw (half a minute is only the watchdog).
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            const auto sampled = [&]
            {
                for (int mode = 0; mode < numTaskThreadModes; ++mode)
                    if (profiler.getHistory(TaskThreadMode(mode))->snapshot(ValueHistory::nowSeconds()).size() < 2)
                        return false;
                return true;
            };
            while (! sampled() && std::chrono::steady_clock::now() < giveUp)
                pause(5);
            ASSERT_TRUE(sampled());
            view.render(*renderer, 0.0f, 0.0f, 128.0f, 128.0f);
            float min = 0.0f, max = 0.0f;
            view.getGraph(5).resolveMinMax(min, max);
            EXPECT_EQ(min, 0.0f);
            EXPECT_EQ(max, 10.0f) << "empty queues draw against 0..10";
            EXPECT_EQ(at(0, 0), outlineRed) << "the first graph's outline";
            // All six lie on the bottom line; the last drawn, Control, shows.
            EXPECT_EQ(at(125, 126), (PixelRGBA8{0, 128, 255, 255}));
            // The legend: the first name, "Renderer", in yellow near (0, 14).
            int yellow = 0;
            for (int y = 0; y < 20; ++y)
                for (int x = 1; x < 60; ++x)
                    yellow += at(x, y).r > 100 && at(x, y).g > 100 && at(x, y).b < 80 ? 1 : 0;
            EXPECT_GT(yellow, 5);
            EXPECT_EQ(getInteger(GL_BLEND), GL_FALSE);
        }

        // The caller's blending, as a host may leave it, comes back after each
        // of the drawing calls that set their own blend modes.
        struct BlendCase
        {
            const char* name;
            bool enabled;
            GLenum sourceRGB, destinationRGB, sourceAlpha, destinationAlpha;
            GLenum equationRGB, equationAlpha;
        };

        void PrintTo(const BlendCase& c, std::ostream* out)
        {
            *out << c.name;
        }

        struct BlendState
        {
            GLint enabled, sourceRGB, destinationRGB, sourceAlpha, destinationAlpha, equationRGB, equationAlpha;
            bool operator==(const BlendState&) const = default;
        };

        std::ostream& operator<<(std::ostream& out, const BlendState& s)
        {
            return out << "enabled " << s.enabled << std::hex << " func 0x" << s.sourceRGB << " 0x" << s.destinationRGB
                       << " 0x" << s.sourceAlpha << " 0x" << s.destinationAlpha << " equation 0x" << s.equationRGB
                       << " 0x" << s.equationAlpha;
        }

        BlendState readBlendState()
        {
            return {GLint(glIsEnabled(GL_BLEND)),       getInteger(GL_BLEND_SRC_RGB),
                    getInteger(GL_BLEND_DST_RGB),       getInteger(GL_BLEND_SRC_ALPHA),
                    getInteger(GL_BLEND_DST_ALPHA),     getInteger(GL_BLEND_EQUATION_RGB),
                    getInteger(GL_BLEND_EQUATION_ALPHA)};
        }

        class GraphBlendGLTest : public GraphGLTest, public ::testing::WithParamInterface<BlendCase>
        {
        protected:
            void TearDown() override
            {
                glDisable(GL_BLEND);
                glBlendFunc(GL_ONE, GL_ZERO);
                glBlendEquation(GL_FUNC_ADD);
                GraphGLTest::TearDown();
            }
        };

        TEST_P(GraphBlendGLTest, DrawingPutsTheCallersBlendingBack)
        {
            const BlendCase& c = GetParam();
            beginPixelSpace(128, 128);
            if (c.enabled)
                glEnable(GL_BLEND);
            glBlendFuncSeparate(c.sourceRGB, c.destinationRGB, c.sourceAlpha, c.destinationAlpha);
            glBlendEquationSeparate(c.equationRGB, c.equationAlpha);
            const BlendState callers = readBlendState();
            ASSERT_EQ(callers.enabled, GLint(c.enabled));

            // Every element on: background, line, points, texts, markers.
            Graph graph(10.0f);
            graph.addEntry(1.0f, "start");
            graph.addEntry(4.0f, "end");
            graph.draw(*renderer, 0.0f, 0.0f, 128.0f, 128.0f);
            EXPECT_EQ(readBlendState(), callers) << "Graph::draw";
            graph.drawMinMax(*renderer, 0.0f, 0.0f, 128.0f, 128.0f, 1.0f, 4.0f);
            EXPECT_EQ(readBlendState(), callers) << "Graph::drawMinMax";

            TaskProfiler profiler;
            TaskProfilerView view(profiler);
            view.render(*renderer, 0.0f, 0.0f, 128.0f, 128.0f);
            EXPECT_EQ(readBlendState(), callers) << "TaskProfilerView::render";
        }

        INSTANTIATE_TEST_SUITE_P(
            CallersBlending, GraphBlendGLTest,
            ::testing::Values(BlendCase{"Off", false, GL_ONE, GL_ZERO, GL_ONE, GL_ZERO, GL_FUNC_ADD, GL_FUNC_ADD},
                              BlendCase{"AlphaBlending", true, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA,
                                        GL_ONE_MINUS_SRC_ALPHA, GL_FUNC_ADD, GL_FUNC_ADD},
                              BlendCase{"SeparateAdditiveWithMax", true, GL_ONE, GL_ONE, GL_ZERO, GL_ONE, GL_FUNC_ADD,
                                        GL_MAX},
                              BlendCase{"OffWithPremultipliedFactors", false, GL_ONE, GL_ONE_MINUS_SRC_ALPHA, GL_ONE,
                                        GL_ONE_MINUS_SRC_ALPHA, GL_FUNC_REVERSE_SUBTRACT, GL_FUNC_ADD}),
            [](const auto& info) { return std::string(info.param.name); });

    } // namespace
} // namespace vx::test
