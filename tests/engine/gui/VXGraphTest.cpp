#include "engine/gui/VXGraph.h"

#include "core/VXTaskProfiler.h"
#include "engine/gfx/VXFonts.h"
#include "engine/gui/VXTaskProfilerView.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <string>

namespace vx
{
    namespace
    {
        using Entry = ValueHistory::Entry;

        class GraphTest : public ::testing::Test
        {
        };

        TEST_F(GraphTest, PointsRunFromTheWindowStartToNowAndFromMinToMax)
        {
            const double now = 1000.0;
            const std::vector<Entry> entries{{now - 10.0, 0.0f, ""}, {now - 5.0, 5.0f, ""}, {now, 10.0f, ""}};
            const auto p = Graph::layoutPoints(entries, now, 10.0f, 20.0f, 30.0f, 103.0f, 53.0f, 0.0f, 10.0f);
            ASSERT_EQ(p.size(), 3u);
            EXPECT_FLOAT_EQ(p[0].x, 21.0f);
            EXPECT_FLOAT_EQ(p[0].y, 81.0f);
            EXPECT_FLOAT_EQ(p[1].x, 71.0f);
            EXPECT_FLOAT_EQ(p[1].y, 56.0f);
            EXPECT_FLOAT_EQ(p[2].x, 121.0f);
            EXPECT_FLOAT_EQ(p[2].y, 31.0f);
        }

        // Equal values span no range: no 0 / 0, the line sits in the middle.
        TEST_F(GraphTest, EqualValuesLieInTheMiddle)
        {
            const std::vector<Entry> entries{{1.0, 4.0f, ""}, {2.0, 4.0f, ""}};
            for (const auto& p : Graph::layoutPoints(entries, 2.0, 10.0f, 0.0f, 0.0f, 100.0f, 103.0f, 4.0f, 0.0f))
            {
                EXPECT_TRUE(std::isfinite(p.x));
                EXPECT_FLOAT_EQ(p.y, 51.0f);
            }
        }

        // After a day of uptime a float clock steps by 8 ms: ages taken in
        // double keep a 1 ms entry apart from now.
        TEST_F(GraphTest, AgesStayPreciseAfterADay)
        {
            const double now = 86400.0 * 3 + 0.123;
            const std::vector<Entry> entries{{now - 0.001, 1.0f, ""}, {now, 1.0f, ""}};
            const auto p = Graph::layoutPoints(entries, now, 0.01f, 0.0f, 0.0f, 1003.0f, 10.0f, 0.0f, 1.0f);
            EXPECT_NEAR(p[1].x - p[0].x, 100.0f, 0.01f);
        }

        TEST_F(GraphTest, FixedBoundsReplaceTheEntryRange)
        {
            Graph graph(10.0f);
            float min = 0.0f, max = 0.0f;
            graph.addEntry(-3.0f, nullptr);
            graph.addEntry(-1.0f, "b");
            graph.resolveMinMax(min, max);
            EXPECT_EQ(min, -3.0f);
            EXPECT_EQ(max, -1.0f);
            graph.setMinMax(-10.0f, FLT_MIN);
            graph.resolveMinMax(min, max);
            EXPECT_EQ(min, -10.0f);
            EXPECT_EQ(max, -1.0f) << "FLT_MIN leaves the maximum free";
            graph.setMinMax(FLT_MAX, 7.0f);
            graph.resolveMinMax(min, max);
            EXPECT_EQ(min, -3.0f);
            EXPECT_EQ(max, 7.0f);
            graph.clear();
            graph.getMinMaxEntryValues(min, max);
            EXPECT_EQ(min, FLT_MAX);
        }

        TEST_F(GraphTest, LegendWrapsNamesOntoLinesStartingAtX)
        {
            const Font& font = Fonts::small14;
            const auto wide = TaskProfilerView::layoutLegend(font, 10.0f, 20.0f, 2000.0f);
            for (const auto& p : wide)
                EXPECT_EQ(p.y, 34.0f);
            EXPECT_EQ(wide[0].x, 10.0f);
            EXPECT_FLOAT_EQ(wide[1].x, 10.0f + font.getStringSize("Renderer") + 5.0f);

            const float narrow = font.getStringSize("Threaded") + 1.0f;
            const auto wrapped = TaskProfilerView::layoutLegend(font, 10.0f, 20.0f, narrow);
            for (size_t i = 0; i < wrapped.size(); ++i)
            {
                EXPECT_EQ(wrapped[i].x, 10.0f) << i;
                EXPECT_EQ(wrapped[i].y, 34.0f + 14.0f * float(i)) << i;
            }
        }

        TEST_F(GraphTest, ProfilerViewSharesOneScaleOfAtLeastTen)
        {
            TaskProfiler profiler;
            TaskProfilerView view(profiler);
            EXPECT_EQ(view.computeScale(), 10.0f) << "empty queues";
            profiler.taskQueued(TaskThreadMode::Message, 79, 80);
            profiler.makeSnapshot();
            EXPECT_EQ(view.computeScale(), 80.0f);
        }

    } // namespace
} // namespace vx
