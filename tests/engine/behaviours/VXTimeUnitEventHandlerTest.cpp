#include "engine/behaviours/VXTimeUnitEventHandler.h"

#include "core/VXTimeInfo.h"
#include "engine/behaviours/VXTimeUnitEventHandlerAudio.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace vx
{
    namespace
    {
        TimeUnitEvent eventAt(std::int32_t type, double ms)
        {
            TimeUnitEvent event;
            event.type = type;
            event.time = TimeUnit::withTimestamp(ms);
            return event;
        }

        TimeInfo frame(double time, double delta, unsigned int samples = 1)
        {
            TimeInfo info(time);
            info.deltaTime = delta;
            info.stepCount = samples;
            return info;
        }

        TEST(TempoInfo, IncrementAdvancesPositionAndDelta)
        {
            TempoInfo tempo;
            tempo.bpm = 90.0;
            tempo.increment(1000.0);
            tempo.increment(1000.0);
            EXPECT_DOUBLE_EQ(static_cast<double>(tempo.beatPosition), 3.0);
            EXPECT_DOUBLE_EQ(tempo.beatDelta, 3.0);
        }

        TEST(TimeUnitEventHandler, EventAtTheFrameTimeFiresInTheNextFrame)
        {
            TimeUnitEventHandler handler;
            handler.set(eventAt(TimeUnitEvent::stop, 100.0));
            EXPECT_EQ(handler.update(frame(100.0, 16.0)), TimeUnitEventHandler::Result(-1, 0));
            EXPECT_EQ(handler.update(frame(116.0, 16.0)), TimeUnitEventHandler::Result(0, 2));
            EXPECT_TRUE(handler.get().time.isNow());
            EXPECT_EQ(handler.update(frame(132.0, 16.0)), TimeUnitEventHandler::Result(-1, 0));
        }

        TEST(TimeUnitEventHandler, OnlyTheLastScheduledEventFires)
        {
            TimeUnitEventHandler handler;
            handler.set(eventAt(TimeUnitEvent::startWithReset, 50.0));
            handler.set(eventAt(TimeUnitEvent::startWithoutReset, 70.0));
            EXPECT_EQ(handler.update(frame(60.0, 10.0)), TimeUnitEventHandler::Result(-1, 0));
            EXPECT_EQ(handler.update(frame(80.0, 10.0)), TimeUnitEventHandler::Result(0, 0));
        }

        struct AudioCase
        {
            const char* name;
            double eventMs;
            std::int32_t status;
        };

        using AudioOffset = ::testing::TestWithParam<AudioCase>;

        // A 512-sample frame from 1000 ms lasting 10 ms.
        TEST_P(AudioOffset, FiresWithTheSampleOffsetInsideTheFrame)
        {
            const AudioCase& c = GetParam();
            TimeUnitEventHandlerAudio handler;
            handler.set(eventAt(TimeUnitEvent::stop, c.eventMs));
            const auto result = handler.update(frame(1000.0, 10.0, 512));
            EXPECT_EQ(result.first, c.status);
            EXPECT_EQ(result.second, c.status < 0 ? 0 : 2);
            EXPECT_EQ(handler.get().time.isNow(), c.status >= 0);
        }

        INSTANTIATE_TEST_SUITE_P(
            TimeUnitEventHandlerAudio, AudioOffset,
            ::testing::Values(AudioCase{"AlreadyPast", 900.0, 0}, AudioCase{"AtFrameStart", 1000.0, 0},
                              AudioCase{"SecondHalf", 1007.5, 384}, AudioCase{"JustBeforeTheEnd", 1009.99999, 511},
                              AudioCase{"AtFrameEndWaits", 1010.0, -1}, AudioCase{"NextFrameWaits", 1015.0, -1}),
            [](const auto& info) { return std::string(info.param.name); });

        TEST(TimeUnitEventHandlerAudio, FrameWithoutSamplesStillReportsTheEvent)
        {
            TimeUnitEventHandlerAudio handler;
            handler.set(eventAt(TimeUnitEvent::startWithReset, 1005.0));
            EXPECT_EQ(handler.update(frame(1000.0, 10.0, 0)), TimeUnitEventHandler::Result(0, 1));
        }

        // One thread schedules while another polls: each poll sees either
        // nothing or one whole event, and nothing fires twice.
        TEST(TimeUnitEventHandler, SchedulingWhilePollingFromAnotherThread)
        {
            TimeUnitEventHandler handler;
            constexpr int events = 2000;
            std::atomic<bool> done{false};
            std::thread scheduler(
                [&]
                {
                    for (int i = 0; i < events; ++i)
                        handler.set(eventAt(i % 3, static_cast<double>(i)));
                    done = true;
                });

            int fired = 0;
            int badTypes = 0;
            for (double t = 0.0; ! done || fired == 0; t += 1.0)
            {
                const auto result = handler.update(frame(1e7 + t, 1.0));
                if (result.first == 0)
                {
                    ++fired;
                    badTypes += (result.second < 0 || result.second > 2) ? 1 : 0;
                }
            }
            scheduler.join();
            handler.update(frame(2e7, 1.0));
            EXPECT_EQ(handler.update(frame(3e7, 1.0)), TimeUnitEventHandler::Result(-1, 0));
            EXPECT_GE(fired, 1);
            EXPECT_LE(fired, events);
            EXPECT_EQ(badTypes, 0);
        }
    }
}
