// A movie with one key frame in 250 played backwards by the engine's
// timeline at its own speed on a host clock moved by the real time passed,
// fed by the DataDriver thread, silent (self-timed player) and with sound
// (seeking reader): started from a late frame, and again after a release
// while it plays. Each render is judged once: the picture is never beyond
// the play head's frame (below it) and never goes back up; once a picture
// shows, a picture shows at every render. How soon the first picture shows
// and how closely the picture follows the play head is bound generously (a
// group of this size decodes in well under a second): a frame-exact seek
// per frame, each taking longer than the play head stays on a frame, shows
// nothing at all. Where showing that frame paused, the movie just opened,
// takes more than a third of the bound here and now (a race detector, a
// busy machine), the clock moves slower than the real one, so that the
// bound is three times that: such a seek per frame still takes far longer
// than a frame.

#include "VXMovieBarsPlayback.h"

#include <algorithm>

namespace vx::test
{
    namespace
    {
        constexpr int clipFrames = 260;
        constexpr std::chrono::seconds watchdog{60};
        // Frames the play head moves down (at 25 a second) before a picture
        // must show, and how far the picture may trail it after that.
        constexpr long firstPictureWithin = 100;
        constexpr long trailsAtMost = 50;

        struct ClipCase
        {
            const char* name;
            bool sound;
            // The encoder, its options and the file's extension.
            const char* encoder;
            const char* codec;
            const char* extension;
            // Also released while playing backwards.
            bool released;
        };

        class MovieBackwardsGLTest : public MovieSourceGLTest, public ::testing::WithParamInterface<ClipCase>
        {
        protected:
            void SetUp() override
            {
                MovieSourceGLTest::SetUp();
                ASSERT_FALSE(HasFatalFailure());
                if (! hasFFmpegEncoder(GetParam().encoder))
                    GTEST_SKIP() << "ffmpeg has no " << GetParam().encoder << " encoder";
                const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
                if (! GetParam().released && test.find("Release") != std::string::npos)
                    GTEST_SKIP() << "started backwards only";
                const std::string path = temp.file(std::string("clip.") + GetParam().extension);
                // Frame n shows ten bars 64 pixels wide.
                ClipSpec clip = barsClipSpec(BarsClip{clipFrames}, GetParam().sound);
                clip.codec = GetParam().codec;
                ASSERT_TRUE(makeClip(path, clip));
                open(path, driver, GetParam().sound, clipFrames);
                ASSERT_FALSE(HasFatalFailure());
                const double seekMs = pausedSeekMs(240, time);
                source.reset();
                open(path, driver, GetParam().sound, clipFrames);
                ASSERT_GT(seekMs, 0.0) << "frame 240 never showed paused";
                pace = paceFor(firstPictureWithin * msPerFrame, seekMs);
            }

            // From frame n and a quarter, backwards.
            void startBackwards(long n)
            {
                source->getPositionParam()->setValue((n + 0.25) * msPerFrame, ValueChangeInfo());
                source->getTimeline()->getPlayDirectionParam()->setValue(int(playBackward), ValueChangeInfo());
                source->start(false, TimeUnit());
                last = std::chrono::steady_clock::now();
            }

            // One host frame, at least 20 ms after the one before: the
            // clock and the timeline's play head move by the real time
            // passed at the pace, the source reads at it, one render, judged.
            void tick()
            {
                auto now = std::chrono::steady_clock::now();
                while (now - last < std::chrono::milliseconds(20))
                {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    now = std::chrono::steady_clock::now();
                }
                const double ms = pace * std::chrono::duration<double, std::milli>(now - last).count();
                last = now;
                clock.seconds = clock.seconds.load() + ms / 1000.0;
                time.increment(ms);
                source->update(time);
                source->updateVideo();
                judge(frameInBars(source->render(*renderer, info), 640, 360));
            }

            void judge(long n)
            {
                ++renders;
                const long at = headFrame();
                const std::string where = "render " + std::to_string(renders) + ", play head at frame " +
                                          std::to_string(at) + ", shown before " + std::to_string(shown);
                if (shown >= 0)
                {
                    ASSERT_GE(n, 0) << "shows nothing or an unclear picture; " << where;
                    ASSERT_LE(n - at, trailsAtMost) << "trails the play head; " << where;
                }
                if (n < 0 || n == shown)
                    return;
                ASSERT_GE(n, at) << "shows frame " << n << " beyond the play head; " << where;
                if (bound >= 0)
                {
                    ASSERT_LE(n, bound) << "goes back up to frame " << n << "; " << where;
                }
                shown = bound = n;
            }

            // Renders until a picture shows; false when the play head moved
            // down more than firstPictureWithin frames from `from` first.
            bool showsWithin(long from)
            {
                while (shown < 0 && ! HasFatalFailure() && headFrame() > from - firstPictureWithin)
                    tick();
                return shown >= 0;
            }

            // Renders while the play head moves down to frame n.
            void playDownTo(long n)
            {
                const auto giveUp = std::chrono::steady_clock::now() + watchdog;
                while (headFrame() > n && ! HasFatalFailure() && std::chrono::steady_clock::now() < giveUp)
                    tick();
            }

            HandClock clock;
            // The share of real time the clock moves by.
            double pace = 1.0;
            TimeInfo time{0.0};
            std::chrono::steady_clock::time_point last;
            long shown = -1, bound = -1;
            int renders = 0;
        };
    }

    // From frame 240 (its key frame is 0) backwards: a picture shows soon,
    // and the picture follows the play head down.
    TEST_P(MovieBackwardsGLTest, BackwardsFromALateFrameShowsAPictureSoonAndFollowsThePlayHead)
    {
        startBackwards(240);
        ASSERT_TRUE(showsWithin(240)) << "no picture while the play head moved down " << firstPictureWithin
                                      << " frames";
        playDownTo(std::min(shown, 200L) - 40);
    }

    // Released while playing backwards deep in a group, the picture is gone:
    // a picture shows again soon, and follows the play head down.
    TEST_P(MovieBackwardsGLTest, AReleaseWhilePlayingBackwardsShowsAPictureSoon)
    {
        startBackwards(240);
        ASSERT_TRUE(showsWithin(240)) << "no picture before the release";
        playDownTo(std::min(shown, 230L) - 5);
        ASSERT_FALSE(HasFatalFailure());
        source->release();
        shown = -1;
        const long from = headFrame();
        ASSERT_TRUE(showsWithin(from)) << "no picture while the play head moved down " << firstPictureWithin
                                       << " frames after the release at frame " << from;
        playDownTo(from - 80);
    }

    constexpr const char* x264 = "-c:v libx264 -preset ultrafast -g 250 -keyint_min 250 -sc_threshold 0 -pix_fmt yuv420p";
    INSTANTIATE_TEST_SUITE_P(
        Clips, MovieBackwardsGLTest,
        ::testing::Values(ClipCase{"Silent", false, "libx264", x264, "mov", true},
                          ClipCase{"WithSound", true, "libx264", x264, "mov", true},
                          ClipCase{"SilentHEVC", false, "libx265",
                                   "-c:v libx265 -preset ultrafast -x265-params "
                                   "keyint=250:min-keyint=250:scenecut=0:log-level=error -pix_fmt yuv420p",
                                   "mov", false},
                          ClipCase{"SilentTheoraAvi", false, "libtheora", "-c:v libtheora -g 250 -q:v 7", "avi", false}),
        [](const auto& info) { return std::string(info.param.name); });
}
