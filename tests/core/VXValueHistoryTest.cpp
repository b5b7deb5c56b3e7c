#include "core/VXValueHistory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cfloat>
#include <limits>
#include <thread>
#include <vector>

namespace vx
{
    namespace
    {

        class ValueHistoryTest : public ::testing::Test
        {
        };

        TEST_F(ValueHistoryTest, MinMaxOfEmptyAndNegativeHistories)
        {
            ValueHistory history(10.0f);
            float min = 0.0f, max = 0.0f;
            history.getMinMaxEntryValues(min, max);
            EXPECT_EQ(min, FLT_MAX);
            EXPECT_EQ(max, std::numeric_limits<float>::lowest()) << "not FLT_MIN, which is positive";

            for (float v : {-7.0f, -2.5f, -30.0f})
                history.addEntry(v, nullptr);
            history.getMinMaxEntryValues(min, max);
            EXPECT_EQ(min, -30.0f);
            EXPECT_EQ(max, -2.5f);
        }

        TEST_F(ValueHistoryTest, EntriesKeepLabelsAndOrderUntilTheyAreTooOld)
        {
            ValueHistory history(10.0f);
            history.addEntry(1.0f, "first");
            history.addEntry(2.0f, nullptr);
            const auto entries = history.snapshot(ValueHistory::nowSeconds());
            ASSERT_EQ(entries.size(), 2u);
            EXPECT_EQ(entries[0].label, "first");
            EXPECT_EQ(entries[1].label, "");
            EXPECT_LE(entries[0].time, entries[1].time);
            // Entries older than the time given are dropped for good.
            EXPECT_EQ(history.snapshot(entries[1].time + 11.0).size(), 0u);
            EXPECT_EQ(history.size(), 0u);
        }

        // A history nobody reads must not grow without end: adding drops what
        // left the window.
        TEST_F(ValueHistoryTest, AddingDropsEntriesOutsideTheWindow)
        {
            ValueHistory history(0.05f);
            for (int i = 0; i < 10; ++i)
                history.addEntry(float(i), nullptr);
            std::this_thread::sleep_for(std::chrono::milliseconds(120));
            history.addEntry(99.0f, nullptr);
            EXPECT_EQ(history.size(), 1u);
            float min = 0.0f, max = 0.0f;
            history.getMinMaxEntryValues(min, max);
            EXPECT_EQ(min, 99.0f);
        }

        // Writers on several threads while a reader takes snapshots: every
        // entry arrives, none is torn.
        TEST_F(ValueHistoryTest, ConcurrentWritersAndReader)
        {
            ValueHistory history(60.0f);
            constexpr int writers = 4, perWriter = 2000;
            std::atomic<bool> done{false};
            std::thread reader(
                [&]
                {
                    while (! done.load())
                        for (const auto& entry : history.snapshot(ValueHistory::nowSeconds()))
                            ASSERT_TRUE(entry.value >= 0.0f && entry.value < float(writers));
                });
            std::vector<std::thread> threads;
            for (int w = 0; w < writers; ++w)
                threads.emplace_back(
                    [&history, w]
                    {
                        for (int i = 0; i < perWriter; ++i)
                            history.addEntry(float(w), (i % 100) == 0 ? "mark" : nullptr);
                    });
            for (auto& t : threads)
                t.join();
            done = true;
            reader.join();
            EXPECT_EQ(history.size(), size_t(writers * perWriter));
        }

    } // namespace
} // namespace vx
