// A movie with one key frame in 250 played forwards by the engine's timeline,
// fed by the DataDriver thread, silent (self-timed player) and with sound
// (seeking reader), cued twice in quick succession as a VJ does: to frame 240
// (cue A) and, while cue A's seek waits on the decoder, to frame 20 (cue B);
// cued on into the same or a later key-frame group, or in a burst; and, with
// one key frame in 60, dragged by the user's hand across groups.
// The decoder is let through frame by frame, so the test does not depend on
// how fast the machine decodes: cue B is acted on at once, cue A's seek is
// dropped, and with cue A's seek landing no frame but cue B's shows. Each
// render is judged once: in the direction of play the picture is never
// beyond the play head's frame and never goes back, except as far as the play
// head jumped.

#include "VXHandClock.h"
#include "VXSourcesGLTestSupport.h"
#include "VXSourcesTestSupport.h"

#include "core/VXTimeInfo.h"
#include "core/VXTimeUnit.h"
#include "core/parameters/VXParamBase.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamRange.h"
#include "engine/behaviours/VXBehaviourTimelineBase.h"
#include "engine/video/formats/avfoundation/VXMediaBackend.h"
#include "engine/video/sources/VXVideoFormatReaderSource.h"
#include "support/VXFrameGate.h"
#include "support/VXMovieClips.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>
#include <vector>

namespace vx::test
{
    namespace
    {
        constexpr int clipFrames = 270;
        constexpr double msPerFrame = 40.0;
        constexpr double hostMs = 20.0; // 50 Hz
        constexpr std::chrono::seconds watchdog{60};

        // Frame n shows ten bars 64 pixels wide, bar b white when bit b of n
        // is set: drawn at 160 x 90 and scaled up without smoothing.
        std::string makeCueClip(const std::string& path, bool sound, int keyInterval)
        {
            const std::string seconds = std::to_string(clipFrames / 25.0);
            std::string command = "ffmpeg -v error -y -f lavfi -i \"color=c=black:s=160x90:r=25:d=" + seconds +
                                  ",format=yuv420p,geq=lum='if(bitand(N\\,pow(2\\,floor(X/16)))\\,235\\,16)':cb=128:"
                                  "cr=128,scale=640:360:flags=neighbor\"";
            if (sound)
                command += " -f lavfi -i \"sine=frequency=440:duration=" + seconds + "\" -c:a pcm_s16le";
            command += " -frames:v " + std::to_string(clipFrames) + " -c:v libx264 -preset ultrafast -g " +
                       std::to_string(keyInterval) + " -keyint_min " + std::to_string(keyInterval) +
                       " -sc_threshold 0 -pix_fmt yuv420p \"" + path + "\"";
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

        struct SoundCase
        {
            const char* name;
            bool sound;
        };

        // Counts the DataDriver's passes beside the file source.
        class PassCounter final : public PlainSource
        {
        public:
            void updateVideo() override { ++passes; }
            std::atomic<unsigned long> passes{0};
        };

        class MovieCuesGLTest : public SourcesGLTest, public ::testing::WithParamInterface<SoundCase>
        {
        protected:
            void SetUp() override
            {
                SourcesGLTest::SetUp();
                ASSERT_FALSE(HasFatalFailure());
                if (! hasFFmpegEncoder("libx264"))
                    GTEST_SKIP() << "ffmpeg has no libx264 encoder";
                const std::string path = makeCueClip(temp.file(GetParam().sound ? "sound.mov" : "silent.mov"),
                                                     GetParam().sound, keyInterval);
                ASSERT_FALSE(path.empty());
                source.reset(VideoFormatReaderSource::createFromXML(
                    driver, *sourceElement("fileName=\"" + path + "\" LoadingThread=\"TTM_MESSAGE\""), nullptr));
                drainMessages();
                ASSERT_NE(source, nullptr);
                ASSERT_NE(source->getVideoFormatReader(), nullptr);
                ASSERT_EQ(source->getVideoFormatReader()->getHasAudio(), GetParam().sound);
                ASSERT_EQ(source->getNumFrames(), unsigned(clipFrames));
                source->getTimeline()->getPlayDirectionParam()->setValue(int(playForward), ValueChangeInfo());
                source->start(false, TimeUnit());
            }

            void TearDown() override
            {
                driver.removeSource(&probe);
                if (source != nullptr)
                    source->release();
                source.reset();
                SourcesGLTest::TearDown();
            }

            long headFrame() const { return static_cast<long>(std::floor(source->getPosition() / msPerFrame)); }

            // Sends the play head to the start of frame n and a quarter: a
            // cue. The picture may go back as far as it; ahead of it, no
            // frame before it shows.
            void cue(long n)
            {
                source->getPositionParam()->setValue((n + 0.25) * msPerFrame, ValueChangeInfo());
                bound = n;
            }

            // The picture may go on from the play head's frame.
            void turn(bool toForward)
            {
                forward = toForward;
                source->getTimeline()->getPlayDirectionParam()->setValue(int(toForward ? playForward : playBackward),
                                                                         ValueChangeInfo());
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

            // One host frame of ms: the clock moves, the timeline moves the
            // play head, the DataDriver reads at it, one render, judged.
            void tick(double ms)
            {
                clock.seconds = clock.seconds.load() + ms / 1000.0;
                time.increment(ms);
                source->update(time);
                if (source->isInitialized())
                    awaitPass();
                judge(frameOf(readOutput(source->render(*renderer, info))));
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
                if (forward)
                {
                    ASSERT_LE(n, at) << "shows frame " << n << " beyond the play head; " << where;
                    ASSERT_GE(n, bound) << "goes back to frame " << n << "; " << where;
                }
                else
                {
                    ASSERT_GE(n, at) << "shows frame " << n << " beyond the play head; " << where;
                    ASSERT_LE(n, bound) << "goes back to frame " << n << "; " << where;
                }
                shown = bound = n;
            }

            // Played forwards from frame n, shown, for ten host frames, then
            // the decoder held (closed gate) while it decodes ahead; false
            // when it never was.
            bool playsFromThenHoldsTheDecoder(long n)
            {
                cue(n);
                if (! showsBy(n, 0.0))
                    return false;
                for (int i = 0; i < 10 && ! HasFatalFailure(); ++i)
                    tick(hostMs);
                FrameGate& gate = FrameGate::get();
                gate.setOpen(false);
                for (int i = 0; i < 25 && ! gate.awaitWaiter(std::chrono::milliseconds(100)); ++i)
                    tick(hostMs);
                return gate.awaitWaiter(watchdog) && ! HasFatalFailure();
            }

            // Host frames of ms until the picture shows a frame from n to the
            // play head's, the watchdog at most; false when it never does.
            bool showsBy(long n, double ms)
            {
                const auto there = [&]
                { return forward ? n <= shown && shown <= headFrame() : headFrame() <= shown && shown <= n; };
                const auto giveUp = std::chrono::steady_clock::now() + watchdog;
                while (! there() && ! HasFatalFailure() && std::chrono::steady_clock::now() < giveUp)
                    tick(ms);
                return there();
            }

            // Frames from one key frame to the next.
            int keyInterval = 250;
            PassCounter probe;
            HandClock clock;
            TimeInfo time{0.0};
            std::unique_ptr<VideoFormatReaderSource> source;
            long shown = -1, bound = -1;
            bool forward = true;
            int renders = 0;
        };
    }

    // Played forwards from frame 252, the decoder is held while it decodes
    // ahead; cue A sends the play head to frame 240 (a seek from the key
    // frame at 0) and 60 ms later cue B to frame 20. The decoder is then let
    // through two frames, the one it was held in and one more, the clock
    // standing still: that frame is cue B's, which shows. Opened, the movie
    // plays on from there.
    TEST_P(MovieCuesGLTest, ASecondCueWhileTheFirstsSeekWaitsShowsAtOnceAndTheFirstsFrameNever)
    {
        FrameGate& gate = FrameGate::get();
        cue(252);
        ASSERT_TRUE(showsBy(252, 0.0)) << "the first frame never showed";
        for (int i = 0; i < 10 && ! HasFatalFailure(); ++i)
            tick(hostMs);
        ASSERT_FALSE(HasFatalFailure());
        FrameGate::Use use;
        gate.setOpen(false);
        // The decoder decodes ahead of the play head into the gate.
        for (int i = 0; i < 25 && ! gate.awaitWaiter(std::chrono::milliseconds(100)); ++i)
            tick(hostMs);
        ASSERT_TRUE(gate.awaitWaiter(watchdog)) << "the decoder was never held";
        ASSERT_FALSE(HasFatalFailure());

        cue(240);
        tick(hostMs);
        ASSERT_EQ(source->getVideoFormatReader()->getCurrentFrame(), 240) << "cue A was not read";
        for (int i = 0; i < 3 && ! HasFatalFailure(); ++i)
            tick(hostMs);
        cue(20);
        tick(hostMs);
        awaitPass();
        ASSERT_FALSE(HasFatalFailure());
        gate.admit(2);
        EXPECT_TRUE(showsBy(20, 0.0)) << "cue B's frame never showed (showing " << shown << ")";
        ASSERT_FALSE(HasFatalFailure());

        gate.setOpen(true);
        for (int i = 0; i < 40 && ! HasFatalFailure(); ++i)
            tick(hostMs);
        EXPECT_TRUE(showsBy(headFrame(), 0.0)) << "never came to the play head's frame";
        EXPECT_LT(shown, 240);
    }

    // Played forwards from frame 10, the play head is sent to frame 18 and
    // that seek is held as it lands; the play head runs on to frame 20 and
    // turns backwards. Moving down, the play head has left frame 18 behind:
    // a seek to its own frame is asked at once, frame 18 never shows (it
    // lands while that seek runs), and the picture follows the play head
    // down.
    TEST_P(MovieCuesGLTest, ATurnToBackwardsWhileASeekOfForwardPlayRunsNeverShowsThatSeeksFrame)
    {
        FrameGate& gate = FrameGate::get();
        cue(10);
        ASSERT_TRUE(showsBy(10, 0.0)) << "the first frame never showed";
        for (int i = 0; i < 4 && ! HasFatalFailure(); ++i)
            tick(hostMs);
        ASSERT_FALSE(HasFatalFailure());
        FrameGate::Use use;
        gate.setOpen(false);
        for (int i = 0; i < 25 && ! gate.awaitWaiter(std::chrono::milliseconds(100)); ++i)
            tick(hostMs);
        ASSERT_TRUE(gate.awaitWaiter(watchdog)) << "the decoder was never held";
        ASSERT_FALSE(HasFatalFailure());

        cue(18);
        tick(hostMs);
        // The frame decoding ahead passes; the seek to frame 18 runs and
        // waits with its frame.
        ASSERT_TRUE(gate.passOne(watchdog)) << "the seek to frame 18 never ran";
        for (int i = 0; i < 3 && ! HasFatalFailure(); ++i)
            tick(hostMs);
        turn(false);
        tick(hostMs);
        awaitPass();
        // The seek to frame 18 lands (its frame decoded before it was left
        // behind); the one to the play head's frame runs and waits with its
        // frame while renders come.
        ASSERT_TRUE(gate.passOne(watchdog)) << "the play head's frame was not asked for";
        for (int i = 0; i < 3 && ! HasFatalFailure(); ++i)
            tick(0.0);
        ASSERT_FALSE(HasFatalFailure());
        gate.admit(1);
        EXPECT_TRUE(showsBy(headFrame(), 0.0)) << "the play head's frame never showed (showing " << shown << ")";
        ASSERT_FALSE(HasFatalFailure());

        gate.setOpen(true);
        for (int i = 0; i < 20 && ! HasFatalFailure(); ++i)
            tick(hostMs);
        EXPECT_TRUE(showsBy(headFrame(), 0.0)) << "never came to the play head's frame";
    }

    // Played forwards from frame 20, the decoder is held while it decodes
    // ahead; cue A's seek runs and waits with its frame, and the cues after
    // it come 60 ms apart, the last one B. The decoder is then let through
    // two frames, the clock standing still: cue A's seek ends unshown and
    // cue B's frame shows, whatever group either lies in; no frame before
    // cue B's shows after it was given.
    TEST_P(MovieCuesGLTest, TheLastOfCuesGivenWhileTheFirstsSeekRunsShowsAtOnceAndNoFrameBeforeIt)
    {
        struct Case
        {
            const char* name;
            std::vector<long> cues;
        };
        // Key frames at 0 and 250.
        const Case cases[] = {{"into a later group", {200, 260}},
                              {"within the group", {100, 200}},
                              {"a burst", {100, 230, 60, 150, 260}}};
        FrameGate& gate = FrameGate::get();
        for (const Case& c : cases)
        {
            SCOPED_TRACE(c.name);
            FrameGate::Use use;
            ASSERT_TRUE(playsFromThenHoldsTheDecoder(20)) << "frame 20 never showed or the decoder was never held";

            cue(c.cues.front());
            tick(hostMs);
            // The frame decoding ahead passes; cue A's seek runs and waits
            // with its frame.
            ASSERT_TRUE(gate.passOne(watchdog)) << "cue A's seek never ran";
            for (std::size_t n = 1; n < c.cues.size(); ++n)
            {
                for (int i = 0; i < 2 && ! HasFatalFailure(); ++i)
                    tick(hostMs);
                cue(c.cues[n]);
                tick(hostMs);
            }
            awaitPass();
            ASSERT_FALSE(HasFatalFailure());
            gate.admit(2);
            EXPECT_TRUE(showsBy(c.cues.back(), 0.0)) << "cue B's frame never showed (showing " << shown << ")";
            ASSERT_FALSE(HasFatalFailure());
            gate.setOpen(true);
            for (int i = 0; i < 5 && ! HasFatalFailure(); ++i)
                tick(hostMs);
            EXPECT_TRUE(showsBy(headFrame(), 0.0)) << "never came to the play head's frame";
            ASSERT_FALSE(HasFatalFailure());
        }
    }

    INSTANTIATE_TEST_SUITE_P(Readers, MovieCuesGLTest,
                             ::testing::Values(SoundCase{"Silent", false}, SoundCase{"WithSound", true}),
                             [](const auto& info) { return std::string(info.param.name); });

    namespace
    {
        // The clip with a key frame every 60 frames.
        class MovieDragsGLTest : public MovieCuesGLTest
        {
        protected:
            MovieDragsGLTest() { keyInterval = 60; }
            long keyFrameOf(long n) const { return n / keyInterval * keyInterval; }
        };
    }

    // Played forwards from frame 20, the decoder is held while it decodes
    // ahead; the user's hand takes the play head and drags it ten frames a
    // render to frame 200, three groups on, the first step's seek running
    // and waiting with its frame, then rests. Each render: no frame beyond
    // the hand, none behind the key frame before where the hand was 15
    // renders (300 ms) earlier, never back. Let through two frames, the
    // clock standing still, the picture comes into the hand's group; the
    // decoder free, to the hand's frame itself; let go, the movie plays on.
    TEST_P(MovieDragsGLTest, ADragAcrossGroupsShowsNoGroupTheHandLeftAndItsFrameOnceItRests)
    {
        constexpr std::size_t lag = 15;
        FrameGate& gate = FrameGate::get();
        FrameGate::Use use;
        ASSERT_TRUE(playsFromThenHoldsTheDecoder(20)) << "frame 20 never showed or the decoder was never held";

        const auto& position = source->getPositionParam();
        position->setUserState(ParamBase::UserState_Editing);
        std::vector<long> hand;
        // The hand on frame n for a render.
        const auto handAt = [&](long n)
        {
            position->setValue((n + 0.25) * msPerFrame, ValueChangeInfo());
            hand.push_back(n);
            if (hand.size() > lag)
                bound = std::max(bound, keyFrameOf(hand[hand.size() - 1 - lag]));
            tick(hostMs);
        };
        handAt(30);
        awaitPass();
        ASSERT_TRUE(gate.passOne(watchdog)) << "the drag's first seek never ran";
        for (long n = 40; n <= 200 && ! HasFatalFailure(); n += 10)
            handAt(n);
        for (std::size_t i = 0; i < lag && ! HasFatalFailure(); ++i)
            handAt(200);
        awaitPass();
        ASSERT_FALSE(HasFatalFailure());
        gate.admit(2);
        EXPECT_TRUE(showsBy(keyFrameOf(200), 0.0)) << "never came into the hand's group (showing " << shown << ")";
        ASSERT_FALSE(HasFatalFailure());
        gate.setOpen(true);
        EXPECT_TRUE(showsBy(200, 0.0)) << "never came to the hand's frame (showing " << shown << ")";
        ASSERT_FALSE(HasFatalFailure());

        position->setUserState(ParamBase::UserState_None);
        for (int i = 0; i < 10 && ! HasFatalFailure(); ++i)
            tick(hostMs);
        EXPECT_TRUE(showsBy(headFrame(), 0.0)) << "never came to the play head's frame";
    }

    INSTANTIATE_TEST_SUITE_P(Readers, MovieDragsGLTest,
                             ::testing::Values(SoundCase{"Silent", false}, SoundCase{"WithSound", true}),
                             [](const auto& info) { return std::string(info.param.name); });
}
