#pragma once

// A movie whose frames carry their numbers in bars, made by the ffmpeg tool
// with key frames far apart, played as a host plays it: the engine's timeline
// moves the play head on a hand-moved clock, the DataDriver thread feeds the
// file source, one render per host frame, judged once. In the direction of
// play the picture is never beyond the play head's frame and never goes back,
// except as far as the play head jumped; at random never beyond it.

#include "VXHandClock.h"
#include "VXSourcesGLTestSupport.h"
#include "VXSourcesTestSupport.h"

#include "core/VXTimeInfo.h"
#include "core/VXTimeUnit.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamRange.h"
#include "engine/behaviours/VXBehaviourTimelineBase.h"
#include "engine/video/sources/VXVideoFormatReaderSource.h"
#include "engine/video/sources/VXVideoSourceDataDriver.h"
#include "support/VXFrameGate.h"
#include "support/VXMovieClips.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

namespace vx::test
{
    // 25 frames a second, a key frame every keyInterval frames, width x
    // height (drawn at 160 x 90).
    struct BarsClip
    {
        int frames = 270, keyInterval = 250;
        int width = 640, height = 360;
    };

    // Played silent (self-timed player) or with sound (seeking reader).
    struct SoundCase
    {
        const char* name;
        bool sound;
    };

    // Frame n shows ten bars across, bar b white when bit b of n is set:
    // drawn at 160 x 90 and scaled up without smoothing; H.264.
    inline ClipSpec barsClipSpec(const BarsClip& clip, bool sound)
    {
        ClipSpec spec;
        spec.width = clip.width;
        spec.height = clip.height;
        spec.upscale = clip.width / 160;
        spec.frames = clip.frames;
        spec.luma = "if(bitand(N\\,pow(2\\,floor(X/16)))\\,235\\,16)";
        const std::string group = std::to_string(clip.keyInterval);
        spec.codec = "-c:v libx264 -preset ultrafast -g " + group + " -keyint_min " + group +
                     " -sc_threshold 0 -pix_fmt yuv420p";
        spec.sound = sound;
        return spec;
    }

    // The path, or empty when the clip could not be made.
    inline std::string makeBarsClip(const std::string& path, bool sound, BarsClip clip = {})
    {
        return makeClip(path, barsClipSpec(clip, sound)) ? path : std::string();
    }

    // The frame named by ten bars across row y of a picture, width wide (bar
    // b white when bit b of the frame is set); -1 when a bar is unclear.
    inline long frameInRow(const Picture& picture, int width, int y)
    {
        long index = 0;
        for (int bit = 0; bit < 10; ++bit)
        {
            const int level = picture.at(bit * (width / 10) + width / 20, y).g;
            if (level > 170)
                index |= 1L << bit;
            else if (level > 70)
                return -1;
        }
        return index;
    }

    // The frame a picture of width x height names in its bars, read across
    // its middle; -1 when a bar is unclear or the picture is smaller.
    inline long frameInBars(const Picture& picture, int width, int height)
    {
        if (picture.width < width || picture.height < height || picture.pixels.empty())
            return -1;
        return frameInRow(picture, width, height / 2);
    }

    // The same of a source's output, of which only the middle row is read
    // back (a whole picture a render is most of a render's time under the
    // sanitizers); -1 when there is none.
    inline long frameInBars(const TextureRef& output, int width, int height)
    {
        const Texture* texture = output.get();
        if (texture == nullptr || texture->getHardwareWidth() < width || texture->getHardwareHeight() < height)
            return -1;
        return frameInRow(Picture{width, 1, readTextureRows(texture->getGLName(), height / 2, width, 1)}, width, 0);
    }

    // A movie file played as a file source.
    class MovieSourceGLTest : public SourcesGLTest
    {
    protected:
        static constexpr double msPerFrame = 40.0;

        void TearDown() override
        {
            if (source != nullptr)
                source->release();
            source.reset();
            SourcesGLTest::TearDown();
        }

        // The movie at path opened as a file source fed by feeder: with
        // sound or silent, of frames frames.
        void open(const std::string& path, VideoSourceDataDriver& feeder, bool sound, int frames)
        {
            source.reset(VideoFormatReaderSource::createFromXML(
                feeder, *sourceElement("fileName=\"" + path + "\" LoadingThread=\"TTM_MESSAGE\""), nullptr));
            drainMessages();
            ASSERT_NE(source, nullptr);
            ASSERT_NE(source->getVideoFormatReader(), nullptr);
            ASSERT_EQ(source->getVideoFormatReader()->getHasAudio(), sound);
            ASSERT_EQ(source->getNumFrames(), unsigned(frames));
        }

        long headFrame() const { return static_cast<long>(std::floor(source->getPosition() / msPerFrame)); }

        // Real milliseconds from the start to frame n showing, paused, the
        // movie just opened (0 when it never does within a minute); released
        // after. A reader may keep what it decoded through a release: what
        // is played after this is opened afresh.
        double pausedSeekMs(long n, TimeInfo& time)
        {
            source->getTimeline()->getPlayDirectionParam()->setValue(int(playPause), ValueChangeInfo());
            source->getPositionParam()->setValue((n + 0.25) * msPerFrame, ValueChangeInfo());
            source->start(false, TimeUnit());
            const auto started = std::chrono::steady_clock::now();
            double took = 0.0;
            while (took == 0.0 && std::chrono::steady_clock::now() < started + std::chrono::minutes(1))
            {
                time.increment(1.0);
                source->update(time);
                source->updateVideo();
                if (frameInBars(source->render(*renderer, info), source->getWidth(),
                                source->getHeight()) == n)
                    took = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
                               .count();
                else
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            source->release();
            return took;
        }

        // The share of real time a clock on the real one moves by, so that
        // playMs of play last at least three times seekMs (a race detector,
        // a busy machine): 1 where they do already.
        static double paceFor(double playMs, double seekMs)
        {
            const double pace = std::min(1.0, playMs / (3.0 * seekMs));
            if (pace < 1.0)
                std::printf("[ measured ] a paused seek took %.0f ms: the clock runs at %.2f\n", seekMs, pace);
            return pace;
        }

        std::unique_ptr<VideoFormatReaderSource> source;
    };

    class MovieBarsGLTest : public MovieSourceGLTest
    {
    protected:
        static constexpr double hostMs = 20.0; // 50 Hz
        static constexpr std::chrono::seconds watchdog{60};

        // Counts the DataDriver's passes beside the file source.
        class PassCounter final : public PlainSource
        {
        public:
            void updateVideo() override { ++passes; }
            std::atomic<unsigned long> passes{0};
        };

        void SetUp() override
        {
            SourcesGLTest::SetUp();
            ASSERT_FALSE(HasFatalFailure());
            if (! hasFFmpegEncoder("libx264"))
                GTEST_SKIP() << "ffmpeg has no libx264 encoder";
        }

        void TearDown() override
        {
            driver.removeSource(&probe);
            MovieSourceGLTest::TearDown();
        }

        // The clip made and loaded, with sound or silent, set to play as
        // given, started.
        void load(bool sound, ParamPlayDirection direction, BarsClip clip = {})
        {
            const std::string path = makeBarsClip(temp.file(sound ? "sound.mov" : "silent.mov"), sound, clip);
            ASSERT_FALSE(path.empty());
            open(path, driver, sound, clip.frames);
            ASSERT_FALSE(HasFatalFailure());
            direct(direction);
            source->start(false, TimeUnit());
        }

        // Sends the play head to the start of frame n and a quarter: a cue.
        // The picture may go back as far as it.
        void cue(long n)
        {
            source->getPositionParam()->setValue((n + 0.25) * msPerFrame, ValueChangeInfo());
            if (way > 0 ? n < bound : n > bound)
                bound = n;
        }

        // A new direction of play: the picture may go on from the play
        // head's frame.
        void direct(ParamPlayDirection direction)
        {
            way = direction == playForward ? 1 : direction == playBackward ? -1 : 0;
            source->getTimeline()->getPlayDirectionParam()->setValue(int(direction), ValueChangeInfo());
            bound = headFrame();
        }

        // Until the DataDriver has made a whole pass that began after this
        // call (adding the counter it holds waits for the pass under way to
        // end).
        void awaitPass()
        {
            driver.addSource(&probe);
            const unsigned long from = probe.passes.load();
            const auto giveUp = std::chrono::steady_clock::now() + watchdog;
            while (probe.passes.load() == from && std::chrono::steady_clock::now() < giveUp)
                std::this_thread::sleep_for(std::chrono::microseconds(500));
            driver.addSource(&probe);
        }

        // The clock and the play head move ms on.
        void move(double ms)
        {
            clock.seconds = clock.seconds.load() + ms / 1000.0;
            time.increment(ms);
            source->update(time);
        }

        // The clock and the play head move ms on, the DataDriver reads at the
        // play head.
        void advance(double ms)
        {
            move(ms);
            if (source->isInitialized())
                awaitPass();
        }

        // One render, judged.
        void look()
        {
            judge(frameInBars(source->render(*renderer, info), source->getWidth(), source->getHeight()));
        }

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
        // play head's (at random any up to the play head's), the watchdog at
        // most; false when it never does.
        bool showsBy(long n, double ms)
        {
            const auto there = [&]
            {
                const long at = headFrame();
                if (way == 0)
                    return 0 <= shown && shown <= at;
                return way > 0 ? n <= shown && shown <= at : at <= shown && shown <= n;
            };
            const auto giveUp = std::chrono::steady_clock::now() + watchdog;
            while (! there() && ! HasFatalFailure() && std::chrono::steady_clock::now() < giveUp)
                tick(ms);
            return there();
        }

        // Host frames of ms until frame n shows, the watchdog at most;
        // false when it never does.
        bool showsFrame(long n, double ms = 0.0)
        {
            const auto giveUp = std::chrono::steady_clock::now() + watchdog;
            while (shown != n && ! HasFatalFailure() && std::chrono::steady_clock::now() < giveUp)
                tick(ms);
            return shown == n;
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

        PassCounter probe;
        HandClock clock;
        TimeInfo time{0.0};
        long shown = -1, bound = -1;
        // 1 forwards, -1 backwards, 0 at random.
        int way = 1;
        int renders = 0;
    };
}
