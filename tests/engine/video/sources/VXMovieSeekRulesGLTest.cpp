// The rules a movie's seeks keep to, one scripted case each, where a seeded
// run meets the fault only by chance: a movie with long key-frame groups
// played by the engine's timeline, fed by the DataDriver thread, silent
// (self-timed player) or with sound (seeking reader), its decoder held in the
// frame gate so that a seek lands where the case says. Each render is judged
// once: in the direction of play never beyond the play head's frame and never
// back, except as far as the play head jumped; at random never beyond it.

#include "VXHandClock.h"
#include "VXSourcesGLTestSupport.h"
#include "VXSourcesTestSupport.h"

#include "core/VXTimeInfo.h"
#include "core/VXTimeUnit.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamRange.h"
#include "engine/behaviours/VXBehaviourTimeline.h"
#include "engine/video/sources/VXVideoFormatReaderSource.h"
#include "support/VXFrameGate.h"
#include "support/VXMovieClips.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

namespace vx::test
{
    namespace
    {
        constexpr double msPerFrame = 40.0;
        constexpr double hostMs = 20.0; // 50 Hz
        constexpr std::chrono::seconds watchdog{60};

        // The clips: 270 frames with key frames at 0 and 250, and 1000
        // frames in one group, where a seek to the last frames decodes long.
        struct Clip
        {
            int frames, keyInterval;
        };
        constexpr Clip twoGroups{270, 250}, oneLongGroup{1000, 1000};

        // Frame n shows ten bars 64 pixels wide, bar b white when bit b of n
        // is set: drawn at 160 x 90 and scaled up without smoothing.
        std::string makeBarsClip(const std::string& path, bool sound, Clip clip)
        {
            const std::string seconds = std::to_string(clip.frames / 25.0);
            const std::string group = std::to_string(clip.keyInterval);
            std::string command = "ffmpeg -v error -y -f lavfi -i \"color=c=black:s=160x90:r=25:d=" + seconds +
                                  ",format=yuv420p,geq=lum='if(bitand(N\\,pow(2\\,floor(X/16)))\\,235\\,16)':cb=128:"
                                  "cr=128,scale=640:360:flags=neighbor\"";
            if (sound)
                command += " -f lavfi -i \"sine=frequency=440:duration=" + seconds + "\" -c:a pcm_s16le";
            command += " -frames:v " + std::to_string(clip.frames) + " -c:v libx264 -preset ultrafast -g " + group +
                       " -keyint_min " + group + " -sc_threshold 0 -pix_fmt yuv420p \"" + path + "\"";
            return std::system(command.c_str()) == 0 && File(path).exists() ? path : std::string();
        }

        // The frame a picture of the clip names; -1 when a bar is unclear.
        long frameOf(const Picture& picture)
        {
            if (picture.width < 640 || picture.pixels.empty())
                return -1;
            long index = 0;
            for (int bit = 0; bit < 10; ++bit)
            {
                const int level = picture.at(bit * 64 + 32, 180).g;
                if (level > 170)
                    index |= 1L << bit;
                else if (level > 70)
                    return -1;
            }
            return index;
        }

        // Counts the DataDriver's passes beside the file source.
        class PassCounter final : public PlainSource
        {
        public:
            void updateVideo() override { ++passes; }
            std::atomic<unsigned long> passes{0};
        };

        class MovieSeekRulesGLTest : public SourcesGLTest
        {
        protected:
            void SetUp() override
            {
                SourcesGLTest::SetUp();
                ASSERT_FALSE(HasFatalFailure());
                if (! hasFFmpegEncoder("libx264"))
                    GTEST_SKIP() << "ffmpeg has no libx264 encoder";
            }

            void TearDown() override
            {
                FrameGate::get().setOpen(true);
                driver.removeSource(&probe);
                if (source != nullptr)
                    source->release();
                source.reset();
                SourcesGLTest::TearDown();
            }

            // The clip loaded, with sound or silent, set to play as given, its
            // play head cued to frame n until that frame shows.
            void start(bool sound, ParamPlayDirection direction, long n, Clip clip = twoGroups)
            {
                const std::string path = makeBarsClip(temp.file(sound ? "sound.mov" : "silent.mov"), sound, clip);
                ASSERT_FALSE(path.empty());
                source.reset(VideoFormatReaderSource::createFromXML(
                    driver, *sourceElement("fileName=\"" + path + "\" LoadingThread=\"TTM_MESSAGE\""), nullptr));
                drainMessages();
                ASSERT_NE(source, nullptr);
                ASSERT_NE(source->getVideoFormatReader(), nullptr);
                ASSERT_EQ(source->getVideoFormatReader()->getHasAudio(), sound);
                ASSERT_EQ(source->getNumFrames(), unsigned(clip.frames));
                direct(direction);
                source->start(false, TimeUnit());
                cue(n);
                ASSERT_TRUE(showsBy(n, 0.0)) << "the first frame never showed";
            }

            VideoFormatReader& reader() { return *source->getVideoFormatReader(); }

            long headFrame() const { return static_cast<long>(std::floor(source->getPosition() / msPerFrame)); }

            // Sends the play head to the start of frame n and a quarter: a
            // cue. The picture may go back as far as it.
            void cue(long n)
            {
                source->getPositionParam()->setValue((n + 0.25) * msPerFrame, ValueChangeInfo());
                if (way > 0 ? n < bound : n > bound)
                    bound = n;
            }

            // The picture may go on from the play head's frame.
            void direct(ParamPlayDirection direction)
            {
                way = direction == playForward ? 1 : direction == playBackward ? -1 : 0;
                source->getTimeline()->getPlayDirectionParam()->setValue(int(direction), ValueChangeInfo());
                bound = headFrame();
            }

            // Until the DataDriver has made a whole pass that began after
            // this call (adding the counter it holds waits for the pass
            // under way to end).
            void awaitPass()
            {
                driver.addSource(&probe);
                const unsigned long from = probe.passes.load();
                const auto giveUp = std::chrono::steady_clock::now() + watchdog;
                while (probe.passes.load() == from && std::chrono::steady_clock::now() < giveUp)
                    std::this_thread::sleep_for(std::chrono::microseconds(500));
                driver.addSource(&probe);
            }

            // The clock and the play head move ms on, the DataDriver reads
            // at the play head.
            void advance(double ms)
            {
                clock.seconds = clock.seconds.load() + ms / 1000.0;
                time.increment(ms);
                source->update(time);
                if (source->isInitialized())
                    awaitPass();
            }

            // One render, judged.
            void look() { judge(frameOf(readOutput(source->render(*renderer, info)))); }

            // One host frame of ms.
            void tick(double ms)
            {
                advance(ms);
                look();
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
                }
                if (n < 0 || n == shown)
                    return;
                if (way >= 0)
                {
                    ASSERT_LE(n, at) << "shows frame " << n << " beyond the play head; " << where;
                }
                else
                {
                    ASSERT_GE(n, at) << "shows frame " << n << " beyond the play head; " << where;
                }
                if (way > 0)
                {
                    ASSERT_GE(n, bound) << "goes back to frame " << n << "; " << where;
                }
                else if (way < 0)
                {
                    ASSERT_LE(n, bound) << "goes back to frame " << n << "; " << where;
                }
                shown = bound = n;
            }

            // Host frames of ms until the picture shows a frame from n to the
            // play head's (any at or before it at random), the watchdog at
            // most; false when it never does.
            bool showsBy(long n, double ms)
            {
                const auto there = [&]
                {
                    const long at = headFrame();
                    return way > 0 ? n <= shown && shown <= at : way < 0 ? at <= shown && shown <= n : 0 <= shown && shown <= at;
                };
                const auto giveUp = std::chrono::steady_clock::now() + watchdog;
                while (! there() && ! HasFatalFailure() && std::chrono::steady_clock::now() < giveUp)
                    tick(ms);
                return there();
            }

            // Closes the gate and plays forwards until the decoder, decoding
            // ahead, waits in it.
            bool holdDecodingAhead()
            {
                FrameGate& gate = FrameGate::get();
                gate.setOpen(false);
                for (int i = 0; i < 25 && ! HasFatalFailure() && ! gate.awaitWaiter(std::chrono::milliseconds(100)); ++i)
                    tick(hostMs);
                return gate.awaitWaiter(watchdog);
            }

            // Lets the held decoder through frame by frame until the play
            // head's frame is decoded.
            void letThroughToPlayHead()
            {
                FrameGate& gate = FrameGate::get();
                const auto giveUp = std::chrono::steady_clock::now() + watchdog;
                while (reader().isCatchingUp() && std::chrono::steady_clock::now() < giveUp)
                {
                    if (gate.waiters() > 0)
                    {
                        gate.admit(1);
                        gate.awaitAdmitted(watchdog);
                    }
                    else
                        std::this_thread::sleep_for(std::chrono::microseconds(500));
                }
            }

            PassCounter probe;
            HandClock clock;
            TimeInfo time{0.0};
            std::unique_ptr<VideoFormatReaderSource> source;
            long shown = -1, bound = -1;
            int way = 1;
            int renders = 0;
        };
    }

    // Played forwards, a silent movie is cued back to frame 980 (a seek
    // decoding from the key frame at 0) and cued there again at every host
    // frame while that seek runs, as a pad held down retriggers: the seek
    // asked again for its own frame runs on, reaches its frame, and the frame
    // shows once let out.
    TEST_F(MovieSeekRulesGLTest, ACueRetriggeredWhileItsSeekRunsLandsWithoutStartingOver)
    {
        start(false, playForward, 990, oneLongGroup);
        ASSERT_FALSE(HasFatalFailure());
        FrameGate& gate = FrameGate::get();
        FrameGate::Use use;
        ASSERT_TRUE(holdDecodingAhead()) << "the decoder was never held";
        ASSERT_FALSE(HasFatalFailure());

        cue(980);
        tick(0.0);
        // The frame decoding ahead passes; the seek runs.
        gate.admit(1);
        ASSERT_TRUE(gate.awaitAdmitted(watchdog));
        int asks = 0;
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (gate.waiters() == 0 && ! HasFatalFailure() && std::chrono::steady_clock::now() < giveUp)
        {
            advance(msPerFrame);
            cue(980);
            tick(0.0);
            ++asks;
        }
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_GT(gate.waiters(), 0) << "asked again " << asks << " times, the seek never reached its frame";
        gate.setOpen(true);
        EXPECT_TRUE(showsBy(980, 0.0)) << "the cue's frame never showed (showing " << shown << ")";
    }

    // Played forwards, a silent movie is cued back a few frames from the
    // frame shown, and that seek is held with its frame; the play head is
    // then cued up exactly onto the frame shown. The frames below it are left
    // behind: the frame held never shows, the picture goes on from the frame
    // shown.
    TEST_F(MovieSeekRulesGLTest, APlayHeadBackExactlyOnTheFrameShownWhileASeekIsHeldLeavesTheFramesBelowBehind)
    {
        start(false, playForward, 252);
        ASSERT_FALSE(HasFatalFailure());
        FrameGate& gate = FrameGate::get();
        for (int i = 0; i < 10 && ! HasFatalFailure(); ++i)
            tick(hostMs);
        FrameGate::Use use;
        ASSERT_TRUE(holdDecodingAhead()) << "the decoder was never held";
        ASSERT_FALSE(HasFatalFailure());

        const long left = shown;
        cue(left - 6);
        tick(0.0);
        ASSERT_TRUE(gate.passOne(watchdog)) << "the seek back never ran";
        cue(left);
        tick(0.0);
        bound = left;
        gate.setOpen(true);
        for (int i = 0; i < 4 && ! HasFatalFailure(); ++i)
            tick(0.0);
        EXPECT_TRUE(showsBy(left, 0.0)) << "the frame shown went (showing " << shown << ")";
        for (int i = 0; i < 10 && ! HasFatalFailure(); ++i)
            tick(hostMs);
        EXPECT_TRUE(showsBy(headFrame(), 0.0)) << "never came to the play head's frame";
    }

    // A silent movie played forwards whose player's clock runs 50 ms ahead
    // of the host's frame times reaches its end with the play head in its
    // last frame. Its decoder let through to each frame the play head comes
    // to, every frame shows in turn, the last one too, before the wrap takes
    // the picture to frame 0.
    TEST_F(MovieSeekRulesGLTest, ASelfTimedMovieWhoseClockRunsAheadShowsItsLastFrameBeforeTheWrap)
    {
        start(false, playForward, 262);
        ASSERT_FALSE(HasFatalFailure());
        clock.seconds = clock.seconds.load() + 0.05;
        FrameGate::Use use;
        FrameGate::get().setOpen(false);
        for (long n = 263; n < twoGroups.frames && ! HasFatalFailure(); ++n)
        {
            advance(msPerFrame);
            ASSERT_EQ(headFrame(), n);
            letThroughToPlayHead();
            look();
            ASSERT_FALSE(HasFatalFailure());
            ASSERT_EQ(shown, n) << "frame " << n << " did not show in turn";
        }
        advance(msPerFrame);
        ASSERT_EQ(headFrame(), 0) << "the play head did not wrap";
        bound = 0;
        FrameGate::get().setOpen(true);
        EXPECT_TRUE(showsBy(0, 0.0)) << "frame 0 never showed after the wrap (showing " << shown << ")";
    }

    // At random, a silent movie shows frame 262; the play head is cued to
    // key frame 250, that seek held with its frame, then to frame 249 below
    // it. Frame 250 landing lies between the frame shown and the play head
    // but beyond the play head: it never shows.
    TEST_F(MovieSeekRulesGLTest, AtRandomAFrameLandedOneBeyondThePlayHeadNeverShows)
    {
        // Lands on the key frame before it, and decodes on from there to 262.
        start(false, playRandom, 260);
        ASSERT_FALSE(HasFatalFailure());
        FrameGate& gate = FrameGate::get();
        cue(262);
        const auto giveUp = std::chrono::steady_clock::now() + watchdog;
        while (shown != 262 && ! HasFatalFailure() && std::chrono::steady_clock::now() < giveUp)
            tick(0.0);
        ASSERT_EQ(shown, 262) << "the seek on from the key frame did not land on its frame";
        FrameGate::Use use;
        gate.setOpen(false);

        cue(250);
        tick(0.0);
        ASSERT_TRUE(gate.awaitWaiter(watchdog)) << "the seek to frame 250 never ran";
        cue(249);
        tick(0.0);
        gate.admit(1);
        ASSERT_TRUE(gate.awaitAdmitted(watchdog));
        for (int i = 0; i < 4 && ! HasFatalFailure(); ++i)
            tick(0.0);
        ASSERT_FALSE(HasFatalFailure());
        gate.setOpen(true);
        EXPECT_TRUE(showsBy(249, 0.0)) << "the play head's frame (or a sync frame before it) never showed";
    }

    // Played forwards with sound, the movie is cued on to frame 262, the
    // frame lands and the feeding thread takes it; before a render uploads it
    // the play head is cued back to 256, between the frame shown and 262. Frame 262, taken for the earlier seek, is off
    // the way to 256 and never shows.
    TEST_F(MovieSeekRulesGLTest, WithSoundAFrameTakenForASeekThePlayHeadLeftNeverShows)
    {
        start(true, playForward, 252);
        ASSERT_FALSE(HasFatalFailure());
        FrameGate& gate = FrameGate::get();
        FrameGate::Use use;
        ASSERT_TRUE(holdDecodingAhead()) << "the decoder was never held";
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_LT(shown, 256);

        // The reader, held on a seek of forward play, is let through frame
        // by frame, no render coming, until it has taken frame 262 in.
        cue(262);
        const auto giveUp = std::chrono::steady_clock::now() + watchdog;
        while ((reader().getCurrentFrame() != 262 || reader().isAwaitingFrame()) &&
               std::chrono::steady_clock::now() < giveUp)
        {
            if (gate.waiters() > 0)
            {
                gate.admit(1);
                gate.awaitAdmitted(watchdog);
            }
            advance(0.0);
        }
        ASSERT_EQ(reader().getCurrentFrame(), 262);
        ASSERT_FALSE(reader().isAwaitingFrame()) << "the frame landed was never taken";
        cue(256);
        tick(0.0);
        ASSERT_FALSE(HasFatalFailure());
        gate.setOpen(true);
        EXPECT_TRUE(showsBy(256, 0.0)) << "the second cue's frame never showed (showing " << shown << ")";
    }

    // A silent movie of predicted frames told to play backwards follows the
    // play head down by a seek to each frame, from frame 990 at half speed
    // (each seek decodes from the key frame at 0). A seek under way whose
    // frame lies on the way down is not given up for the frames asked after
    // it: one reaches its frame before the play head has gone 120 frames.
    TEST_F(MovieSeekRulesGLTest, FollowedDownByASeekToEachFrameASeekOnTheWayReachesItsFrame)
    {
        start(false, playPause, 990, oneLongGroup);
        ASSERT_FALSE(HasFatalFailure());
        FrameGate& gate = FrameGate::get();
        FrameGate::Use use;
        gate.setOpen(false);
        auto timeline = std::dynamic_pointer_cast<BehaviourTimeline>(source->getTimeline());
        ASSERT_NE(timeline, nullptr);
        timeline->getSpeedParam()->setValue(0.5, ValueChangeInfo());
        direct(playBackward);
        while (gate.waiters() == 0 && headFrame() > 870 && ! HasFatalFailure())
            tick(msPerFrame);
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_GT(gate.waiters(), 0) << "no seek reached its frame while the play head went down to " << headFrame();
        gate.setOpen(true);
        EXPECT_TRUE(showsBy(headFrame(), 0.0)) << "the play head's frame never showed (showing " << shown << ")";
    }
}
