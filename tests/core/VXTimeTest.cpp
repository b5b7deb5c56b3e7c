#include "core/VXTime.h"
#include "core/VXOverrideableTimer.h"
#include "core/VXScopeProfiler.h"

#include "support/VXLogRecorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace
{

    TEST(Clock, TickCountIsMonotonicMilliseconds)
    {
        const double first = vx::getTickCount();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const double second = vx::getTickCount();
        EXPECT_GE(second - first, 19.0);
        EXPECT_LT(second - first, 60000.0);

        const long long wall = vx::getTimeOfDay();
        const long long expected =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
                .count();
        EXPECT_NEAR(double(wall), double(expected), 1000.0);
    }

    TEST(Clock, UpdateTimeTakesValueOrReadsClockOnMinusOne)
    {
        vx::updateTime(500.0);
        vx::updateTime(0.0); // 0 is a value like any other
        EXPECT_EQ(vx::getCurrentTime(), 0.0);
        EXPECT_EQ(vx::getFrameMsecs(), -500.0);

        vx::updateTime(250.0);
        EXPECT_EQ(vx::getFrameMsecs(), 250.0);
        EXPECT_EQ(vx::getFrameSeconds(), 0.25);
        EXPECT_EQ(vx::getCurrentTimeSeconds(), 0.25);

        const double before = vx::getTickCount();
        vx::updateTime(-1.0);
        EXPECT_GE(vx::getCurrentTime(), before);
        EXPECT_LE(vx::getCurrentTime(), vx::getTickCount());
        EXPECT_EQ(vx::getFrameMsecs(), vx::getCurrentTime() - 250.0);
    }

    // The meter is process-wide and keeps its state between tests (and repeats
    // of the suite), so each test first brings it to a known window.
    class FrameRateMeter : public testing::Test
    {
    protected:
        // Past any time used before, so a window left open is closed.
        static constexpr double start = 1.0e9;

        void SetUp() override
        {
            vx::setTargetFps(60.0);
            // The first call closes a window left open, or opens the very first
            // one; the second closes whichever is open. The meter then stands
            // at a fresh window starting at start + 2000 with no frames counted.
            frameAt(previousEnd + start);
            frameAt(previousEnd + start + 2000.0);
            windowStart = previousEnd + start + 2000.0;
        }

        void TearDown() override
        {
            vx::setTargetFps(60.0);
            previousEnd = vx::getCurrentTime();
        }

        void frameAt(double t)
        {
            vx::updateTime(t);
            vx::calculateFPS();
            ++calls;
        }

        static double previousEnd;
        double windowStart = 0.0;
        int calls = 0;
    };

    double FrameRateMeter::previousEnd = 0.0;

    // Run in a fresh process: before its first window closes the meter reads 60.
    TEST(FrameRateMeterDeathTest, ReadsSixtyUntilTheFirstWindowCloses)
    {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        EXPECT_EXIT(
            {
                bool ok = vx::getFPS() == 60.0 && vx::getFpsRatio() == 1.0 && vx::getFpsAsString() == "FPS 60.00";
                for (int i = 0; i < 63; ++i)
                {
                    vx::updateTime(5000.0 + 16.0 * i);
                    vx::calculateFPS();
                    ok = ok && vx::getFPS() == 60.0 && vx::getFpsRatio() == 1.0;
                }
                vx::updateTime(5000.0 + 16.0 * 63);
                vx::calculateFPS();
                ok = ok && vx::getFPS() == 64000.0 / 1008.0;
                std::exit(ok ? 0 : 1);
            },
            testing::ExitedWithCode(0), "");
    }

    TEST_F(FrameRateMeter, ClosesWholeWindowsOnly)
    {
        const double before = vx::getFPS();
        // The first frame of a window counts itself: with a frame every 16 ms
        // the window closes on its 64th frame, 1008 ms after the first.
        for (int i = 0; i < 63; ++i)
            frameAt(windowStart + 16.0 * i);
        EXPECT_EQ(vx::getFPS(), before) << "window closed early, after " << calls << " calls";

        frameAt(windowStart + 16.0 * 63);
        EXPECT_DOUBLE_EQ(vx::getFPS(), 64000.0 / 1008.0);
        EXPECT_DOUBLE_EQ(vx::getFpsRatio(), 60.0 / (64000.0 / 1008.0));
        EXPECT_EQ(vx::getFpsAsString(), "FPS 63.49");

        // Later windows start with no frame counted: 63 frames in 1008 ms.
        const double second = windowStart + 16.0 * 63;
        for (int i = 1; i <= 62; ++i)
            frameAt(second + 16.0 * i);
        EXPECT_DOUBLE_EQ(vx::getFPS(), 64000.0 / 1008.0);
        frameAt(second + 16.0 * 63);
        EXPECT_DOUBLE_EQ(vx::getFPS(), 62.5);

        // Exactly 1000 ms elapsed does not close a window; a hair more does.
        const double third = second + 16.0 * 63;
        frameAt(third + 1000.0);
        EXPECT_DOUBLE_EQ(vx::getFPS(), 62.5);
        vx::setTargetFps(30.0);
        frameAt(third + 1000.5);
        EXPECT_DOUBLE_EQ(vx::getFPS(), 2000.0 / 1000.5);
        EXPECT_DOUBLE_EQ(vx::getFpsRatio(), 30.0 / (2000.0 / 1000.5));
    }

    TEST(TimeInfo, SetTimeIncrementAndReset)
    {
        vx::TimeInfo info(0.0);
        EXPECT_EQ(info.frameCount, 1u);
        // Frames scale by the speed and tempo they carry: a frame made without them runs at 1x and 120 bpm.
        EXPECT_EQ(info.tempo.bpm, 120.0);
        EXPECT_EQ(info.speed.speed, 1.0);

        // A stored time of exactly 0 gives delta 0 even for a large new time.
        info.setTime(90000.0);
        EXPECT_EQ(info.deltaTime, 0.0);
        EXPECT_EQ(info.time, 90000.0);
        info.setTime(90016.0);
        EXPECT_EQ(info.deltaTime, 16.0);
        EXPECT_EQ(info.frameCount, 3u);

        info.increment(4.0);
        EXPECT_EQ(info.time, 90020.0);
        EXPECT_EQ(info.deltaTime, 4.0);
        EXPECT_EQ(info.frameCount, 4u);

        info.stepCount = 512;
        info.timeOffset = 7.0;
        info.tempo.bpm = 90.0;
        info.reset();
        EXPECT_EQ(info.time, 0.0);
        EXPECT_EQ(info.deltaTime, 0.0);
        EXPECT_EQ(info.frameCount, 0u);
        EXPECT_EQ(info.timeOffset, 0.0);
        EXPECT_EQ(info.stepCount, 512u);
        EXPECT_EQ(info.tempo.bpm, 90.0);
    }

    TEST(TimeInfo, AssignmentKeepsTimecodesWhileCopiesTakeThem)
    {
        vx::TimeInfo source(1000.0);
        source.setTime(1040.0);
        source.stepCount = 64;
        source.timeOffset = 3.0;
        source.tempo.beatPosition = 8.0L;
        source.speed.speed = 2.0;
        source.timecode = vx::SMPTEFrame(2000.0, 25, 1);
        source.timecodeEnd = vx::SMPTEFrame(3000.0, 25, 1);

        vx::TimeInfo target(0.0);
        target.timecode = vx::SMPTEFrame(40.0, 25, 1);
        target = source;
        EXPECT_EQ(target.time, 1040.0);
        EXPECT_EQ(target.deltaTime, 40.0);
        EXPECT_EQ(target.frameCount, source.frameCount);
        EXPECT_EQ(target.stepCount, 64u);
        EXPECT_EQ(target.timeOffset, 3.0);
        EXPECT_EQ(target.tempo.beatPosition, 8.0L);
        EXPECT_EQ(target.speed.speed, 2.0);
        EXPECT_EQ(target.timecode.getMilliseconds(), 40.0);
        EXPECT_EQ(target.timecodeEnd.getMilliseconds(), 0.0);

        const vx::TimeInfo sliced = vx::TimeInfo::withDeltaTimeAndBeats(source, 5.0, 0.25);
        EXPECT_EQ(sliced.deltaTime, 5.0);
        EXPECT_EQ(sliced.tempo.beatDelta, 0.25);
        EXPECT_EQ(sliced.time, 1040.0);
        EXPECT_EQ(sliced.timecode.getMilliseconds(), 2000.0);
        EXPECT_EQ(sliced.timecodeEnd.getMilliseconds(), 3000.0);
        EXPECT_EQ(vx::TimeInfo::withDeltaTime(source, 1.0).timecode.getMilliseconds(), 2000.0);
    }

    TEST(TimeUnit, ConvertsThroughTempo)
    {
        vx::TimeInfo info(10000.0);
        info.tempo.beatPosition = 16.0L;

        const vx::TimeUnit ahead = vx::TimeUnit::withPosition(20.0);
        EXPECT_DOUBLE_EQ(ahead.asTimestamp(info), 12000.0); // 4 beats at 120 bpm
        EXPECT_DOUBLE_EQ(ahead.asPosition(info), 20.0);

        const vx::TimeUnit later = vx::TimeUnit::withTimestamp(10500.0);
        EXPECT_DOUBLE_EQ(later.asPosition(info), 17.0);
        EXPECT_DOUBLE_EQ(later.asTimestamp(info), 10500.0);

        vx::TimeUnit now;
        EXPECT_TRUE(now.isNow());
        EXPECT_EQ(now.asTimestamp(info), 10000.0);
        EXPECT_EQ(now.asPosition(info), 16.0);

        now += 5.0;
        EXPECT_TRUE(now.isNow()); // arithmetic keeps the flag
        now.setValue(10250.0);
        EXPECT_FALSE(now.isNow());
        EXPECT_DOUBLE_EQ(now.asPosition(info), 16.5);
        now.setNow();
        EXPECT_EQ(double(now), 10250.0);

        EXPECT_DOUBLE_EQ(vx::TempoInfo::millisecondsToBeats(500.0, 120.0), 1.0);
        EXPECT_DOUBLE_EQ(vx::TempoInfo::beatsToMilliseconds(4.0, 120.0), 2000.0);
    }

    // The number of "<prefix><number><suffix>" if it has 5 decimals, else -1.
    double profiledTime(const std::string& line, const std::string& prefix, const std::string& suffix)
    {
        if (line.size() < prefix.size() + suffix.size() || line.rfind(prefix, 0) != 0 ||
            line.compare(line.size() - suffix.size(), suffix.size(), suffix) != 0)
            return -1.0;
        const std::string number = line.substr(prefix.size(), line.size() - prefix.size() - suffix.size());
        const size_t point = number.find('.');
        const bool fiveDecimals = point != std::string::npos && point > 0 && number.size() - point == 6 &&
                                  number.find_first_not_of("0123456789.") == std::string::npos;
        return fiveDecimals ? std::stod(number) : -1.0;
    }

    TEST(ScopeProfiler, LogsNameAsTextWithUnit)
    {
        vx::test::LogRecorder log;
        float taken = 0.0f;
        {
            vx::ScopeProfiler profiler("100% load %s took: ", vx::ScopeProfiler::microseconds);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            profiler.stop();
            taken = profiler.getTimeTaken();
            EXPECT_GE(taken, 4.5f);
        }
        ASSERT_EQ(log.count(), 1u) << log.dump();
        // Time since the last start is added again when the scope ends.
        EXPECT_GE(profiledTime(log.lines()[0].text, "INFO: 100% load %s took: ", " microseconds"), taken * 1000.0f)
            << log.dump();
        log.clear();
        {
            vx::ScopeProfiler profiler("x", vx::ScopeProfiler::seconds);
        }
        const double seconds = profiledTime(log.lines().at(0).text, "INFO: x", " seconds");
        EXPECT_TRUE(seconds >= 0.0 && seconds < 1.0) << log.dump();
    }

    class CountingTimer : public vx::OverrideableTimer
    {
    public:
        void timerCallback() override { ++ticks; }
        int ticks = 0;
    };

    struct RecordingService : vx::OverrideableTimer::Collection
    {
        void add(vx::OverrideableTimer*) override { events.push_back("add"); }
        void remove(vx::OverrideableTimer*) override { events.push_back("remove"); }
        void start(vx::OverrideableTimer*, int ms) override { events.push_back("start " + std::to_string(ms)); }
        void stop(vx::OverrideableTimer*) override { events.push_back("stop"); }
        std::vector<std::string> events;
    };

    // Timers made before a service exists wait in a list; with one, every call goes to it.
    TEST(OverrideableTimer, ListedWithoutServiceAndForwardedToOne)
    {
        ASSERT_FALSE(vx::OverrideableTimer::Collection::instance);
        auto& pending = vx::OverrideableTimer::Collection::uninitializedTimers;
        const size_t before = pending.size();
        {
            CountingTimer timer;
            EXPECT_EQ(std::count(pending.begin(), pending.end(), &timer), 1);
            timer.startTimer(20);
            EXPECT_TRUE(timer.isTimerRunning());
            EXPECT_EQ(timer.getTimerInterval(), 20);
            timer.stopTimer();
            EXPECT_FALSE(timer.isTimerRunning());
            EXPECT_EQ(timer.ticks, 0);
        }
        EXPECT_EQ(pending.size(), before);

        auto service = std::make_shared<RecordingService>();
        vx::OverrideableTimer::Collection::instance = service;
        {
            CountingTimer timer;
            timer.startTimer(15);
            timer.stopTimer();
        }
        vx::OverrideableTimer::Collection::instance.reset();
        EXPECT_EQ(service->events, (std::vector<std::string>{"add", "start 15", "stop", "remove"}));
        EXPECT_EQ(pending.size(), before);
    }

} // namespace
