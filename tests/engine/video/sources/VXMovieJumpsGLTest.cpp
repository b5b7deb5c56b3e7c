// A 720p H.264 movie with one key frame in 250 played as a file source, silent
// (self-timed player) and with sound (seeking reader), on a host clock the
// test moves: the play head jumps, is scrubbed and turns while it plays. Each
// render is judged once, at its own clock time: in the direction of play the
// picture is never beyond the play head's frame and never goes back, except
// as far as the play head jumped or turned; it comes to the play head's frame
// after each jump. The test waits for the seeks a render asks for to land
// before it moves the clock on (a fast machine), never for a picture.

#include "VXMovieBarsPlayback.h"

#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamRange.h"
#include "engine/behaviours/VXBehaviourTimelineBase.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/formats/avfoundation/VXAVFPlayer.h"
#include "engine/video/formats/avfoundation/VXCVTextureStore.h"
#include "engine/video/formats/avfoundation/VXMediaBackend.h"
#include "engine/video/sources/VXVideoFormatReaderSource.h"
#include "support/VXFrameGate.h"
#include "support/VXMovieClips.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace vx::test
{
    namespace
    {
        constexpr int clipFrames = 300; // 12 s at 25 fps
        constexpr int hostHz = 50;
        constexpr std::chrono::seconds watchdog{60};

        class MovieJumpsGLTest : public MovieSourceGLTest, public ::testing::WithParamInterface<SoundCase>
        {
        protected:
            void SetUp() override
            {
                MovieSourceGLTest::SetUp();
                ASSERT_FALSE(HasFatalFailure());
                quiet.requestThreadStop();
                while (quiet.isThreadRunning())
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                if (! hasFFmpegEncoder("libx264"))
                    GTEST_SKIP() << "ffmpeg has no libx264 encoder";
                // Frame n shows ten bars 128 pixels wide.
                path = makeBarsClip(temp.file(GetParam().sound ? "sound720.mov" : "silent720.mov"), GetParam().sound,
                                    BarsClip{clipFrames, 250, 1280, 720});
                ASSERT_FALSE(path.empty());
                // A slow seek before: a player that aims its seeks ahead by it
                // lands ahead of the play head.
                AVFPlayer::lastSeekTime = 400.0;
                open(path, quiet, GetParam().sound, clipFrames);
            }

            long headFrame() const { return static_cast<long>(std::floor(head / msPerFrame)); }

            void direct(ParamPlayDirection direction)
            {
                source->getTimeline()->getPlayDirectionParam()->setValue(int(direction), ValueChangeInfo());
            }

            // The play head set to frame n's middle: a jump. The picture may
            // go back as far as it.
            void jumpTo(long n)
            {
                head = (n + 0.5) * msPerFrame;
                if ((forward && n < bound) || (! forward && n > bound))
                    bound = n;
                reached = false;
            }

            void turn(bool toForward)
            {
                forward = toForward;
                direct(toForward ? playForward : playBackward);
                bound = headFrame();
                reached = false;
            }

            // One host frame: the clock and the play head move on by speed,
            // the source reads at the play head (and again until the seeks
            // it asked for have landed), renders once and is judged.
            void hostFrame(double speed)
            {
                clock.seconds = clock.seconds.load() + 1.0 / hostHz;
                head += (forward ? 1.0 : -1.0) * speed * 1000.0 / hostHz;
                head = std::clamp(head, 0.5 * msPerFrame, (clipFrames - 0.5) * msPerFrame);
                source->getPositionParam()->setValue(head, ValueChangeInfo());
                settle();
                judge();
            }

            void settle()
            {
                source->updateVideo();
                if (! waitsForSeeks)
                    return;
                const auto giveUp = std::chrono::steady_clock::now() + watchdog;
                while (source->getVideoFormatReader()->isAwaitingFrame() && std::chrono::steady_clock::now() < giveUp)
                {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    source->updateVideo();
                }
            }

            void judge()
            {
                ++renders;
                const TextureRef output = source->render(*renderer, info);
                const long n = frameInBars(output, 1280, source->getHeight());
                const long at = headFrame();
                const std::string where = "render " + std::to_string(renders) + ", play head at frame " +
                                          std::to_string(at) + ", shown before " + std::to_string(shown);
                if (shown >= 0)
                {
                    ASSERT_GE(n, 0) << "shows nothing or an unclear picture; " << where;
                }
                // At random a seek may stop at the key frame before: nothing is
                // judged but that something shows.
                if (n < 0 || n == shown || scrubbing)
                {
                    if (scrubbing && n >= 0)
                        shown = n;
                    reached = reached || n == at;
                    return;
                }
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
                reached = reached || n == at;
            }

            // The first picture, the clock standing still: a loaded machine
            // may take a while to decode it.
            void loaded()
            {
                const auto giveUp = std::chrono::steady_clock::now() + watchdog;
                long n = -1;
                while (n < 0 && std::chrono::steady_clock::now() < giveUp)
                {
                    settle();
                    n = frameInBars(source->render(*renderer, info), 1280, source->getHeight());
                }
                ASSERT_EQ(n, headFrame());
                shown = bound = n;
            }

            // Plays count host frames, then expects the picture to have come
            // to the play head's frame.
            void play(int count, double speed)
            {
                for (int i = 0; i < count && ! HasFatalFailure(); ++i)
                    hostFrame(speed);
                EXPECT_TRUE(reached || ! waitsForSeeks) << "never came to the play head's frame (at " << headFrame() << ", showing "
                                     << shown << ")";
            }

            HandClock clock;
            VideoSourceDataDriver quiet;
            std::string path;
            double head = 0.5 * msPerFrame;
            bool forward = true;
            long shown = -1, bound = -1;
            bool reached = false;
            bool scrubbing = false;
            // Off, the clock moves on while seeks are under way, as on a slow
            // machine: nothing is expected to come to the play head.
            bool waitsForSeeks = true;
            int renders = 0;
        };
    }

    // Played forwards, the play head jumps to frame 240 (decoded from the key
    // frame at 0), back to 20, is scrubbed, and plays on at 2x.
    TEST_P(MovieJumpsGLTest, AMoviePlayedThroughJumpsAndScrubsNeverShowsAFrameAheadOrGoesBack)
    {
        direct(playForward);
        loaded();
        play(20, 1.0);
        jumpTo(240);
        play(30, 1.0);
        jumpTo(20);
        play(30, 1.0);
        direct(playRandom);
        scrubbing = true;
        for (const long n : {100L, 30L, 180L})
        {
            jumpTo(n);
            hostFrame(0.0);
        }
        scrubbing = false;
        direct(playForward);
        bound = headFrame();
        play(40, 2.0);
    }

    // Played backwards from frame 90 for 0.6 s, then forwards: the
    // picture goes down with the play head, then up from where it turned,
    // never showing a frame of the backward play during the forward play.
    TEST_P(MovieJumpsGLTest, AMovieTurnedFromBackwardsToForwardsFollowsThePlayHeadUp)
    {
        direct(playPause);
        jumpTo(90);
        source->getPositionParam()->setValue(head, ValueChangeInfo());
        loaded();
        turn(false);
        play(30, 1.0);
        turn(true);
        play(30, 1.0);
        turn(false);
        play(15, 1.0);
        turn(true);
        play(15, 1.0);
    }

    class MovieTurnGLTest : public MovieJumpsGLTest
    {
    };

    // Played backwards, a seek is held under way while the play head turns
    // to forwards and jumps near the start: the source asks for the play
    // head's frame at once, and renders come while both seeks are under way
    // (a slow machine), and after they land: the frame of the seek asked
    // before the turn, beyond the play head, never shows.
    TEST_P(MovieTurnGLTest, AMovieTurnedWhileASeekIsUnderWayNeverShowsThatSeeksFrame)
    {
        direct(playPause);
        jumpTo(205);
        source->getPositionParam()->setValue(head, ValueChangeInfo());
        loaded();
        turn(false);
        play(10, 1.0);
        // Made after the source, gone before it: every way out of the test
        // opens the gate before the source joins its decoder.
        FrameGate::Use use;
        FrameGate& gate = FrameGate::get();
        gate.setOpen(false);
        waitsForSeeks = false;
        jumpTo(190);
        hostFrame(0.0);
        ASSERT_TRUE(gate.awaitWaiter(watchdog)) << "no seek under way";
        turn(true);
        jumpTo(10);
        hostFrame(1.0);
        ASSERT_EQ(source->getVideoFormatReader()->getCurrentFrame(), headFrame())
            << "the play head's frame was not asked for";
        hostFrame(1.0);
        gate.setOpen(true);
        waitsForSeeks = true;
        play(40, 1.0);
    }

    class MovieStopGLTest : public MovieJumpsGLTest
    {
    };

    // The self-timed player played forwards a second, then stopped: once the
    // seek to time zero has landed it hands over frame 0.
    TEST_P(MovieStopGLTest, AStoppedPlayerShowsFrameZero)
    {
        source.reset();
        AVFPlayer player(path.c_str());
        ASSERT_TRUE(player.isValid());
        player.initGL();
        ASSERT_TRUE(player.setDirection(playForward));
        const auto landed = [&]
        {
            const auto giveUp = std::chrono::steady_clock::now() + watchdog;
            while (player.isSeeking() && std::chrono::steady_clock::now() < giveUp)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return ! player.isSeeking();
        };
        Texture texture;
        for (long k = 0; k < 25; ++k)
        {
            clock.seconds = clock.seconds.load() + msPerFrame / 1000.0;
            player.setRequestedFrame(k);
            if (! player.isPlaying())
                player.play();
            ASSERT_TRUE(landed());
            player.fillTexture(texture);
        }
        player.stop();
        ASSERT_TRUE(landed());
        ASSERT_TRUE(player.fillTexture(texture)) << "no frame after the stop";
        const std::vector<PixelRGBA8> pixels = readTexture(texture.getTarget(), texture.getGLName());
        ASSERT_EQ(pixels.size(), 1280u * 720u);
        Picture picture{1280, 720, pixels};
        EXPECT_EQ(frameInBars(picture, 1280, 720), 0);
    }

    INSTANTIATE_TEST_SUITE_P(Readers, MovieJumpsGLTest,
                             ::testing::Values(SoundCase{"Silent", false}, SoundCase{"WithSound", true}),
                             [](const auto& info) { return std::string(info.param.name); });
    INSTANTIATE_TEST_SUITE_P(Readers, MovieTurnGLTest, ::testing::Values(SoundCase{"WithSound", true}),
                             [](const auto& info) { return std::string(info.param.name); });
    INSTANTIATE_TEST_SUITE_P(Player, MovieStopGLTest, ::testing::Values(SoundCase{"Silent", false}),
                             [](const auto& info) { return std::string(info.param.name); });
}
