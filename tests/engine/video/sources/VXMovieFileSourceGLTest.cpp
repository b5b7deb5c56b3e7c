// Movies made by the ffmpeg tool played as file sources, as a user plays
// them: loaded through the registry, fed by a thread standing in for the
// DataDriver while the test's thread renders, each frame read back from the
// source's output and named by the index it carries (VXIndexedClips.h).

#include "VXHandClock.h"
#include "VXSourcesGLTestSupport.h"

#include "core/VXTaskGroup.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamRange.h"
#include "engine/behaviours/VXBehaviourTimelineBase.h"
#include "engine/video/formats/avfoundation/VXAVFPlayer.h"
#include "engine/video/formats/avfoundation/VXCoreMedia.h"
#include "engine/video/formats/avfoundation/VXIndexedClips.h"
#include "engine/video/formats/avfoundation/VXMediaBackend.h"
#include "engine/video/sources/VXVideoFormatReaderSource.h"
#include "support/VXFrameGate.h"
#include "support/VXLogRecorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <thread>

namespace vx::test
{
    namespace
    {
        using Calls = std::vector<std::string>;
        constexpr long framesPerClip = 50; // 2 s at 25 fps
        // How long a wait for what the source must come to show may last: only
        // a fail-safe, a loaded machine decodes slowly.
        constexpr std::chrono::seconds watchdog{30};

        // The DataDriver's part played by a thread of the test's: it alone
        // moves the play head (a parameter is not for two threads) and reads
        // the frame at it every 2 ms.
        class Feeder
        {
        public:
            explicit Feeder(VideoFormatReaderSource& fed, double startMs = 0.0)
                : wanted(startMs), source(fed), thread(
                                   [this]
                                   {
                                       double set = -1.0;
                                       while (! stop.load())
                                       {
                                           const double position = wanted.load();
                                           if (position != set)
                                               source.getPositionParam()->setValue(set = position, ValueChangeInfo());
                                           source.updateVideo();
                                           std::this_thread::sleep_for(std::chrono::milliseconds(2));
                                       }
                                   })
            {
            }
            ~Feeder()
            {
                stop = true;
                thread.join();
            }

            std::atomic<double> wanted;

        private:
            VideoFormatReaderSource& source;
            std::atomic<bool> stop{false};
            std::thread thread;
        };

        class MovieFileSourceGLTest : public SourcesGLTest
        {
        protected:
            void SetUp() override
            {
                SourcesGLTest::SetUp();
                quiet.requestThreadStop();
                while (quiet.isThreadRunning())
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }

            // A source loading the file on the message queue, loaded.
            std::unique_ptr<VideoFormatReaderSource> opened(const std::string& path)
            {
                auto source = std::unique_ptr<VideoFormatReaderSource>(VideoFormatReaderSource::createFromXML(
                    quiet, *sourceElement("fileName=\"" + path + "\" LoadingThread=\"TTM_MESSAGE\""), nullptr));
                drainMessages();
                return source;
            }

            // The same, its first frame rendered.
            std::unique_ptr<VideoFormatReaderSource> load(const std::string& path)
            {
                auto source = opened(path);
                if (source != nullptr)
                    source->render(*renderer, info);
                return source;
            }

            // The silent clip (self-timed reader), loaded and rendered; null
            // when it could not be made.
            std::unique_ptr<VideoFormatReaderSource> loadSilent()
            {
                const std::string path = clipFile("silent.mov", false);
                return path.empty() ? nullptr : load(path);
            }

            // A clip of the test's, made on first use; empty when ffmpeg failed.
            std::string clipFile(const std::string& name, bool sound,
                                 const std::string& video = "-c:v mpeg4 -g 12 -q:v 2")
            {
                const std::string path = temp.file(name);
                IndexedClip clip;
                clip.video = video;
                clip.sound = sound;
                return File(path).exists() || makeIndexedClip(path, clip) ? path : std::string();
            }

            // Renders until the output shows n and 200 ms on (half a minute
            // without n is only the watchdog); answers each index shown that
            // differs from the one before it, starting from what showed before
            // (which may show until n lands).
            std::vector<long> settledOn(VideoFormatReaderSource& source, long n, long before)
            {
                std::vector<long> seen;
                const auto giveUp = std::chrono::steady_clock::now() + watchdog;
                auto keepUntil = giveUp;
                while (std::chrono::steady_clock::now() < std::min(giveUp, keepUntil))
                {
                    const long index = shown(source);
                    if (index != (seen.empty() ? before : seen.back()))
                        seen.push_back(index);
                    if (index == n && keepUntil == giveUp)
                        keepUntil = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                }
                if (seen.empty() && before == n)
                    seen.push_back(n);
                return seen;
            }

            // The index the source's output shows now; -1 for none. colour,
            // when given, becomes the middle of the first bar.
            long shown(VideoFormatReaderSource& source, PixelRGBA8* colour = nullptr)
            {
                const TextureRef output = source.render(*renderer, info);
                const Picture picture = readOutput(output);
                // Clips made at 128 pixels and scaled by their encoding
                // options have their bars scaled alike.
                const int width = std::max(source.getWidth(), 128);
                if (picture.width < width || output.get() == nullptr)
                    return -1;
                std::vector<int> row;
                for (int x = 0; x < 128; ++x)
                    row.push_back(picture.at(x * width / 128, output.get()->getHeight() / 2).g);
                if (colour != nullptr)
                    *colour = picture.at(8 * width / 128, output.get()->getHeight() / 2);
                return indexOfRow(row);
            }

            // Opens the clip at the first of positions (ms) with the play
            // direction given, waits until it shows the first of frames, then
            // moves the play head to each of the other positions: left there,
            // the source must come to show the frame beside it and show
            // nothing else for 200 ms.
            void expectShownAt(const std::string& path, ParamPlayDirection direction,
                               const std::vector<double>& positions, const std::vector<long>& frames)
            {
                auto source = opened(path);
                ASSERT_NE(source->getVideoFormatReader(), nullptr);
                source->getPositionParam()->setValue(positions.front(), ValueChangeInfo());
                source->getTimeline()->getPlayDirectionParam()->setValue(int(direction), ValueChangeInfo());
                shown(*source);
                Feeder feeder(*source, positions.front());
                long before = -1;
                const auto giveUp = std::chrono::steady_clock::now() + watchdog;
                while (before != frames.front() && std::chrono::steady_clock::now() < giveUp)
                {
                    before = shown(*source);
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                }
                ASSERT_EQ(before, frames.front()) << "at " << positions.front() << " ms";
                for (std::size_t i = 1; i < positions.size(); ++i)
                {
                    SCOPED_TRACE("at " + std::to_string(positions[i]) + " ms");
                    feeder.wanted = positions[i];
                    EXPECT_EQ(settledOn(*source, frames[i], before), std::vector<long>{frames[i]});
                    before = frames[i];
                }
            }

            // Moves the play head into frame k (frames msPerFrame long) and
            // renders until the output shows k (or the watchdog ends the
            // wait); every other index shown on the way is added to seen.
            long play(VideoFormatReaderSource& source, Feeder& feeder, long k, std::vector<long>* seen = nullptr,
                      double msPerFrame = 40.0)
            {
                feeder.wanted = (k + 0.5) * msPerFrame;
                const auto giveUp = std::chrono::steady_clock::now() + watchdog;
                long index = -1;
                do
                {
                    index = shown(source);
                    if (seen != nullptr && index >= 0 && (seen->empty() || seen->back() != index))
                        seen->push_back(index);
                    if (index == k)
                        break;
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                } while (std::chrono::steady_clock::now() < giveUp);
                return index;
            }

            // Opens a clip on the first of frames (reading it once before the
            // first render when readFirst is set), then moves the play head to
            // each of the others. On each frame, left there, the source must
            // come to show it and show nothing else for 200 ms. The self-timed
            // reader plays on from the frame it lands on: the source shows the
            // frame it has got to when a render takes it (passed frames stand
            // in until that one is decoded), which a loaded
            // machine may bring late; at most as many frames on as the time
            // taken since the source opened allows (its seeks aim ahead by what
            // the ones before took).
            void expectLeftOn(bool sound, bool readFirst, const std::vector<long>& frames)
            {
                const std::string path = clipFile(sound ? "sound.mov" : "silent.mov", sound);
                ASSERT_FALSE(path.empty());
                AVFPlayer::lastSeekTime = 0.0;
                const auto started = std::chrono::steady_clock::now();
                auto source = opened(path);
                ASSERT_NE(source->getVideoFormatReader(), nullptr);
                const double opened = frames.front() * 40.0 + 20.0;
                source->getPositionParam()->setValue(opened, ValueChangeInfo());
                if (readFirst)
                    source->updateVideo();
                long before = shown(*source);
                Feeder feeder(*source, opened);
                for (const long n : frames)
                {
                    SCOPED_TRACE(std::string(sound ? "with sound" : "silent") + ", frame " + std::to_string(n));
                    feeder.wanted = n * 40.0 + 20.0;
                    if (sound)
                    {
                        EXPECT_EQ(settledOn(*source, n, before), std::vector<long>{n});
                        before = n;
                        continue;
                    }
                    // Opened on n, what the first render showed may be it already.
                    const bool opening = n == frames.front() && before >= n;
                    const std::vector<long> seen = settledOnOrAfter(*source, n, before, opening);
                    const long framesTaken =
                        static_cast<long>((std::chrono::steady_clock::now() - started) / std::chrono::milliseconds(40));
                    // Frames the player has passed may stand in while the one
                    // it is on is decoded (a loaded machine renders between):
                    // a frame or two on the way up, never a run of play.
                    ASSERT_FALSE(seen.empty());
                    EXPECT_LE(seen.size(), 3u) << ::testing::PrintToString(seen);
                    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end())) << ::testing::PrintToString(seen);
                    EXPECT_GE(seen.front(), n) << ::testing::PrintToString(seen);
                    EXPECT_LE(seen.back(), n + 2 * framesTaken + 1);
                    before = seen.back();
                }
            }

            // Renders until the output shows a frame other than before (or
            // before itself, when it counts), at n or after it, and 200 ms on
            // (half a minute without is only the watchdog); answers each index
            // shown that differs from the one before it.
            std::vector<long> settledOnOrAfter(VideoFormatReaderSource& source, long n, long before,
                                               bool beforeCounts)
            {
                std::vector<long> seen;
                if (beforeCounts)
                    seen.push_back(before);
                const auto giveUp = std::chrono::steady_clock::now() + watchdog;
                auto keepUntil = giveUp;
                while (std::chrono::steady_clock::now() < std::min(giveUp, keepUntil))
                {
                    const long index = shown(source);
                    if (index != (seen.empty() ? before : seen.back()))
                        seen.push_back(index);
                    if (! seen.empty() && index >= n && keepUntil == giveUp)
                        keepUntil = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                }
                return seen;
            }

            // Its thread stopped: the sources here are fed by a Feeder.
            VideoSourceDataDriver quiet;
        };

        struct ClipCase
        {
            const char* name;
            const char* encoder;
            const char* video;
        };

        class SeekingMovieTest : public MovieFileSourceGLTest, public ::testing::WithParamInterface<ClipCase>
        {
        };

        struct RateCase
        {
            const char* name;
            int numerator, denominator; // frames per second, as a fraction
            const char* encoder;
            const char* video;
        };

        class FrameRateMovieTest : public MovieFileSourceGLTest, public ::testing::WithParamInterface<RateCase>
        {
        };

        class VariableRateMovieTest : public MovieFileSourceGLTest, public ::testing::WithParamInterface<ClipCase>
        {
        };

        struct PaletteCase
        {
            const char* name;
            const char* encoder;
            const char* video;
            const char* extension;
        };

        class PaletteMovieTest : public MovieFileSourceGLTest, public ::testing::WithParamInterface<PaletteCase>
        {
        };

        // An indexed clip of exactly frames frames at numerator/denominator
        // frames a second; its sound, if any, lasts a frame longer.
        bool makeClipOfFrames(const std::string& path, const std::string& video, int numerator, int denominator,
                              long frames, bool sound)
        {
            IndexedClip clip;
            clip.video = video;
            clip.sound = sound;
            clip.fps = std::to_string(numerator) + "/" + std::to_string(denominator);
            clip.seconds = (frames + 1.0) * denominator / numerator;
            clip.filter = "trim=end_frame=" + std::to_string(frames);
            return makeIndexedClip(path, clip);
        }

        struct CountCase
        {
            const char* name;
            int numerator, denominator; // frames per second, as a fraction
            long frames;
            const char* encoder = "mjpeg";
            // Codec and container options; with sound they may name the
            // sound's codec too.
            const char* video = "-c:v mjpeg -q:v 2";
            const char* extension = "mov";
            // The file ends where its index began (an AVI whose writing
            // was cut short).
            bool withoutIndex = false;
        };

        // Cuts an AVI file where its index chunk begins; false when it has none.
        bool dropAviIndex(const std::string& path)
        {
            std::string bytes;
            {
                std::ifstream file(path, std::ios::binary);
                bytes.assign((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
            }
            const std::size_t index = bytes.rfind("idx1");
            if (index == std::string::npos)
                return false;
            std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<long>(index));
            return true;
        }

        class FrameCountMovieTest : public MovieFileSourceGLTest, public ::testing::WithParamInterface<CountCase>
        {
        };

        struct SpeedCase
        {
            const char* name;
            double speed;
        };

        class SpeedMovieTest : public MovieFileSourceGLTest, public ::testing::WithParamInterface<SpeedCase>
        {
        };

        struct RenderRateCase
        {
            const char* name;
            int hertz;    // renders a second
            double phase; // how far into its frame the play head starts
        };

        class RenderRateMovieTest : public MovieFileSourceGLTest,
                                    public ::testing::WithParamInterface<RenderRateCase>
        {
        };

        struct ContainerCase
        {
            const char* name;
            const char* encoder;
            // Codec and container options, after the bars are drawn at
            // 128 x 32 (a preset may scale them).
            const char* video;
            const char* extension;
            int numerator, denominator; // frames per second, as a fraction
            long frames;
        };

        class ContainerMovieTest : public MovieFileSourceGLTest, public ::testing::WithParamInterface<ContainerCase>
        {
        protected:
            // The case's clip, with sound or silent; empty when ffmpeg failed.
            std::string clipFor(const ContainerCase& c, bool sound)
            {
                const std::string path = temp.file(std::string(sound ? "sound." : "silent.") + c.extension);
                return makeClipOfFrames(path, c.video, c.numerator, c.denominator, c.frames, sound) ? path
                                                                                                  : std::string();
            }

            static double msPerFrame(const ContainerCase& c) { return 1000.0 * c.denominator / c.numerator; }
        };

        // HEVC as libx265 writes it by default, in MPEG streams (no seek index).
        class RandomAccessMovieTest : public MovieFileSourceGLTest,
                                      public ::testing::WithParamInterface<ContainerCase>
        {
        };

        // Bytes this process has read from files so far.
        long long bytesRead()
        {
            std::ifstream io("/proc/self/io");
            std::string key;
            long long value = 0;
            while (io >> key >> value)
                if (key == "rchar:")
                    return value;
            return -1;
        }
    }

    // Movies with sound go to the seeking reader: every frame in order, then
    // 40 random frame-exact seeks, while another thread reads the reader's
    // facts as a user interface would.
    TEST_P(SeekingMovieTest, ShowsEveryFrameInOrderAndLandsEveryRandomSeek)
    {
        const ClipCase& c = GetParam();
        if (! hasFFmpegEncoder(c.encoder))
            GTEST_SKIP() << "ffmpeg has no " << c.encoder << " encoder";
        const std::string path = temp.file("clip.mov");
        IndexedClip clip;
        clip.video = c.video;
        clip.sound = true;
        ASSERT_TRUE(makeIndexedClip(path, clip));
        auto source = load(path);
        ASSERT_NE(source, nullptr);
        VideoFormatReader* reader = source->getVideoFormatReader();
        ASSERT_NE(reader, nullptr);
        EXPECT_TRUE(reader->getHasAudio());
        EXPECT_EQ(source->getNumFrames(), framesPerClip);

        struct Facts
        {
            std::atomic<bool> done{false};
            std::thread thread;
            ~Facts()
            {
                done = true;
                thread.join();
            }
        } facts;
        facts.thread = std::thread(
            [&]
            {
                while (! facts.done.load())
                {
                    EXPECT_FALSE(reader->getCodecName().empty());
                    EXPECT_EQ(reader->getLength(), 2000.0);
                    EXPECT_EQ(reader->getTotalFrames(), static_cast<unsigned>(framesPerClip));
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
            });

        Feeder feeder(*source);
        std::vector<long> seen;
        for (long k = 0; k < framesPerClip; ++k)
            ASSERT_EQ(play(*source, feeder, k, &seen), k) << "playing in order";
        std::vector<long> expected(framesPerClip);
        for (long k = 0; k < framesPerClip; ++k)
            expected[static_cast<std::size_t>(k)] = k;
        EXPECT_EQ(seen, expected);

        std::mt19937 random(37);
        for (int i = 0; i < 40; ++i)
        {
            const long k = static_cast<long>(random() % framesPerClip);
            EXPECT_EQ(play(*source, feeder, k), k) << "seek " << i;
        }
        EXPECT_EQ(play(*source, feeder, 3), 3) << "a seek back";
    }

    INSTANTIATE_TEST_SUITE_P(
        Clips, SeekingMovieTest,
        ::testing::Values(ClipCase{"H264", "libx264", "-c:v libx264 -preset ultrafast -g 12 -bf 2"},
                          ClipCase{"H264OpenGOP", "libx264",
                                   "-c:v libx264 -preset ultrafast -x264-params "
                                   "keyint=12:min-keyint=12:scenecut=0:bframes=2:open-gop=1"},
                          ClipCase{"MPEG4OpenGOP", "mpeg4", "-c:v mpeg4 -g 12 -bf 2 -q:v 2"},
                          ClipCase{"ProRes", "prores_ks", "-c:v prores_ks -profile:v 3 -pix_fmt yuv422p10le"},
                          ClipCase{"MJPEG", "mjpeg", "-c:v mjpeg -q:v 2"}),
        [](const auto& info) { return std::string(info.param.name); });

    // Scrubbed while paused, silent (self-timed reader) and with sound
    // (seeking reader), a movie at 24000/1001, 30000/1001 or 60000/1001 frames
    // a second shows exactly the frame the play head is in, an odd one too,
    // the play head a quarter of a millisecond into it.
    TEST_P(FrameRateMovieTest, AMovieScrubbedShowsExactlyTheFrameScrubbedTo)
    {
        const RateCase& c = GetParam();
        if (! hasFFmpegEncoder(c.encoder))
            GTEST_SKIP() << "ffmpeg has no " << c.encoder << " encoder";
        const std::vector<long> frames = {4, 11, 31, 20, 45};
        std::vector<double> positions;
        for (const long n : frames)
            positions.push_back(n * 1000.0 * c.denominator / c.numerator + 0.25);
        for (const bool sound : {false, true})
        {
            SCOPED_TRACE(sound ? "with sound" : "silent");
            const std::string path = temp.file(sound ? "sound.mov" : "silent.mov");
            IndexedClip clip;
            clip.video = c.video;
            clip.sound = sound;
            clip.fps = std::to_string(c.numerator) + "/" + std::to_string(c.denominator);
            ASSERT_TRUE(makeIndexedClip(path, clip));
            expectShownAt(path, playPause, positions, frames);
        }
    }

    INSTANTIATE_TEST_SUITE_P(
        Rates, FrameRateMovieTest,
        ::testing::Values(RateCase{"MJPEGAt23976", 24000, 1001, "mjpeg", "-c:v mjpeg -q:v 2"},
                          RateCase{"H264At23976", 24000, 1001, "libx264", "-c:v libx264 -preset ultrafast -g 12 -bf 2"},
                          RateCase{"MJPEGAt2997", 30000, 1001, "mjpeg", "-c:v mjpeg -q:v 2"},
                          RateCase{"H264At5994", 60000, 1001, "libx264", "-c:v libx264 -preset ultrafast -g 12 -bf 2"}),
        [](const auto& info) { return std::string(info.param.name); });

    // A movie with sound whose picture holds still for a second, as screen
    // recordings do: frames 0 to 25 at 25 fps, frame 25 held from 1 s to 2 s,
    // frames 50 to 74 from 2 s on (17 frames a second on average). A play head
    // moved into the held second, from before it or after it, shows the frame
    // held there.
    TEST_P(VariableRateMovieTest, APlayHeadMovedIntoAHeldSecondShowsTheFrameHeld)
    {
        const ClipCase& c = GetParam();
        if (! hasFFmpegEncoder(c.encoder))
            GTEST_SKIP() << "ffmpeg has no " << c.encoder << " encoder";
        const std::string path = temp.file("held.mov");
        IndexedClip clip;
        clip.video = std::string(c.video) + " -fps_mode passthrough";
        clip.sound = true;
        clip.seconds = 3.0;
        clip.filter = "select='not(between(n\\,26\\,49))'";
        ASSERT_TRUE(makeIndexedClip(path, clip));
        expectShownAt(path, playForward, {700.0, 1500.0, 2600.0, 1900.0}, {16, 25, 64, 25});
    }

    INSTANTIATE_TEST_SUITE_P(Clips, VariableRateMovieTest,
                             ::testing::Values(ClipCase{"H264", "libx264",
                                                        "-c:v libx264 -preset ultrafast -g 12 -bf 2"},
                                               ClipCase{"MJPEG", "mjpeg", "-c:v mjpeg -q:v 2"}),
                             [](const auto& info) { return std::string(info.param.name); });

    // 8-bit palette movies show their palette's colours: frames named by
    // their bars, made yellow, the first bar of an odd frame the colour the
    // ffmpeg tool decodes (yellow from the AVI's palette, grey from the
    // QuickTime one's).
    TEST_P(PaletteMovieTest, APaletteMovieShowsItsColours)
    {
        const PaletteCase& c = GetParam();
        if (! hasFFmpegEncoder(c.encoder))
            GTEST_SKIP() << "ffmpeg has no " << c.encoder << " encoder";
        const std::string path = temp.file(std::string("palette.") + c.extension);
        IndexedClip clip;
        clip.video = c.video;
        clip.sound = true;
        clip.filter = "format=rgb24,lutrgb=b=0";
        ASSERT_TRUE(makeIndexedClip(path, clip));
        const std::string reference = captureCommand("ffmpeg -v error -i \"" + path +
                                                     "\" -vf \"select=eq(n\\,7)\" -frames:v 1 -f rawvideo "
                                                     "-pix_fmt rgb24 - 2>/dev/null");
        ASSERT_EQ(reference.size(), 128u * 32u * 3u);
        const auto* bar = reinterpret_cast<const unsigned char*>(reference.data()) + (16 * 128 + 8) * 3;
        auto source = load(path);
        ASSERT_NE(source, nullptr);
        Feeder feeder(*source);
        for (const long k : {7L, 29L, 3L})
        {
            SCOPED_TRACE("frame " + std::to_string(k));
            EXPECT_EQ(play(*source, feeder, k), k);
            PixelRGBA8 colour{};
            EXPECT_EQ(shown(*source, &colour), k);
            // Through 4:2:2 Y'CbCr and back, within a few levels.
            EXPECT_TRUE(isNear(colour, PixelRGBA8{bar[0], bar[1], bar[2], 255}, 8))
                << colour << " for " << int(bar[0]) << ", " << int(bar[1]) << ", " << int(bar[2]);
        }
    }

    INSTANTIATE_TEST_SUITE_P(
        Codecs, PaletteMovieTest,
        ::testing::Values(PaletteCase{"QuickTimeAnimationGreys", "qtrle", "-c:v qtrle -pix_fmt gray", "mov"},
                          PaletteCase{"UncompressedAVI", "rawvideo", "-c:v rawvideo -pix_fmt pal8", "avi"}),
        [](const auto& info) { return std::string(info.param.name); });

    // Whole numbers of frames at rates whose frame is no whole number of
    // milliseconds, and one-frame movies: silent (self-timed reader) and
    // with sound (seeking reader), the movie counts exactly its frames, and
    // paused on the last one the source shows it.
    TEST_P(FrameCountMovieTest, AMovieCountsEveryFrameAndShowsTheLastWhenPaused)
    {
        const CountCase& c = GetParam();
        if (! hasFFmpegEncoder(c.encoder))
            GTEST_SKIP() << "ffmpeg has no " << c.encoder << " encoder";
        const long last = c.frames - 1;
        const double lastPosition = (last + 0.5) * 1000.0 * c.denominator / c.numerator;
        for (const bool sound : {false, true})
        {
            SCOPED_TRACE(sound ? "with sound" : "silent");
            const std::string path = temp.file(std::string(sound ? "sound." : "silent.") + c.extension);
            ASSERT_TRUE(makeClipOfFrames(path, c.video, c.numerator, c.denominator, c.frames, sound));
            if (c.withoutIndex)
            {
                ASSERT_TRUE(dropAviIndex(path));
            }
            {
                auto source = opened(path);
                ASSERT_NE(source->getVideoFormatReader(), nullptr);
                EXPECT_EQ(source->getVideoFormatReader()->getHasAudio(), sound);
                EXPECT_EQ(source->getVideoFormatReader()->getTotalFrames(), static_cast<unsigned>(c.frames));
                EXPECT_EQ(source->getNumFrames(), c.frames);
            }
            // The bars name a frame by the low 8 bits of its index.
            expectShownAt(path, playPause, {lastPosition}, {last % 256});
        }
    }

    INSTANTIATE_TEST_SUITE_P(
        Rates, FrameCountMovieTest,
        ::testing::Values(
            CountCase{"At30", 30, 1, 120}, CountCase{"At2997", 30000, 1001, 120}, CountCase{"At5994", 60000, 1001, 240},
            CountCase{"At60", 60, 1, 120}, CountCase{"At120", 120, 1, 120}, CountCase{"At11988", 120000, 1001, 120},
            CountCase{"OneFrameAt2997", 30000, 1001, 1}, CountCase{"OneFrameAt11988", 120000, 1001, 1},
            // The last packet's length rounded down to whole ticks.
            CountCase{"DVDAt23976", 24000, 1001, 48, "mpeg2video", "-target ntsc-dvd -r 24000/1001", "mpg"},
            // Small frames, several to a packet, only the first stamped.
            CountCase{"SmallFramesMPEG1", 25, 1, 103, "mpeg1video", "-c:v mpeg1video -q:v 4 -c:a mp2 -f mpeg", "mpg"},
            // With B-frames too: the picture shown last is a reference
            // picture without a stamp of its own, decoded before the last
            // B-frames, and a seek lands in the middle of a picture.
            CountCase{"SmallFramesMPEG1BFrames", 25, 1, 100, "mpeg1video",
                      "-c:v mpeg1video -q:v 4 -g 15 -bf 2 -c:a mp2 -f mpeg", "mpg"},
            CountCase{"H264BFramesInMpg", 25, 1, 150, "libx264",
                      "-c:v libx264 -preset ultrafast -bf 2 -c:a mp2 -f mpeg", "mpg"},
            CountCase{"HEVCBFramesInMpg", 25, 1, 100, "libx265",
                      "-c:v libx265 -x265-params log-level=error -c:a mp2 -f mpeg", "mpg"},
            // Every picture after the first in one packet, only the first
            // stamped, which a seek near the start joins midway.
            CountCase{"HEVCShortInMpg", 25, 1, 30, "libx265",
                      "-c:v libx265 -x265-params log-level=error -c:a mp2 -f mpeg", "mpg"},
            CountCase{"HEVCBFramesInTs", 25, 1, 100, "libx265",
                      "-c:v libx265 -x265-params log-level=error -c:a mp2 -f mpegts", "mpg"},
            CountCase{"HEVCShortInTs", 25, 1, 30, "libx265",
                      "-c:v libx265 -x265-params log-level=error -c:a mp2 -f mpegts", "mpg"},
            // A second key frame last: the container claims a frame more.
            CountCase{"HEVCPastAKeyFrameInMpg", 25, 1, 251, "libx265",
                      "-c:v libx265 -x265-params log-level=error -c:a mp2 -f mpeg", "mpg"},
            CountCase{"H264BFramesInTs", 25, 1, 100, "libx264",
                      "-c:v libx264 -preset ultrafast -bf 2 -c:a mp2 -f mpegts", "mpg"},
            CountCase{"H264AVIWithoutIndex", 25, 1, 100, "libx264", "-c:v libx264 -preset ultrafast -bf 2", "avi",
                      true},
            // Whole-millisecond stamps.
            CountCase{"MatroskaAt23976", 24000, 1001, 250, "mjpeg", "-c:v mjpeg -q:v 2 -f matroska", "mov"},
            CountCase{"LongMatroskaAt23976", 24000, 1001, 1001, "mjpeg", "-c:v mjpeg -q:v 2 -f matroska", "mov"},
            // The first picture stamped after the stream's start, which
            // with sound is the file's.
            CountCase{"ShortMatroskaAt120", 120, 1, 3, "libx264", "-c:v libx264 -c:a aac -f matroska", "mov"},
            CountCase{"WebMAt23976", 24000, 1001, 250, "libvpx", "-c:v libvpx -deadline realtime -c:a libopus -f webm",
                      "mov"},
            // Without sound the stream has no average rate, only its base rate.
            CountCase{"OggTheoraAt25", 25, 1, 50, "libtheora", "-c:v libtheora -q:v 7 -c:a libvorbis -f ogg", "mov"}),
        [](const auto& info) { return std::string(info.param.name); });

    // Movies as users make them for disc players and older programs: MPEG-2
    // program streams (the DVD preset, 720 x 480), MPEG-1 (the VCD preset,
    // 352 x 240) and MPEG-TS, all named .mpg and without a seek index, and AVI
    // files whose B-frames come without their own times (MPEG-4 Part 2 as Xvid
    // writes it, H.264). Scrubbed while paused, silent (self-timed reader) and
    // with sound (seeking reader), each shows exactly the frame scrubbed to:
    // frames inside a group of pictures, the first and the last.
    TEST_P(ContainerMovieTest, AMovieScrubbedWhilePausedShowsEachFrameScrubbedTo)
    {
        const ContainerCase& c = GetParam();
        if (! hasFFmpegEncoder(c.encoder))
            GTEST_SKIP() << "ffmpeg has no " << c.encoder << " encoder";
        const std::vector<long> frames = {0, 5, 13, 1, c.frames - 1, 22, 9};
        std::vector<double> positions;
        for (const long n : frames)
            positions.push_back((n + 0.5) * msPerFrame(c));
        for (const bool sound : {false, true})
        {
            SCOPED_TRACE(sound ? "with sound" : "silent");
            const std::string path = clipFor(c, sound);
            ASSERT_FALSE(path.empty());
            expectShownAt(path, playPause, positions, frames);
        }
    }

    // Played forward, the same movies show every frame in order, from the
    // first to the last: silent on a host clock the test moves a frame at a
    // time with the play head (the self-timed player runs on it and never
    // needs a corrective seek), with sound by each frame's seek.
    TEST_P(ContainerMovieTest, AMoviePlayedShowsEveryFrameInOrder)
    {
        const ContainerCase& c = GetParam();
        if (! hasFFmpegEncoder(c.encoder))
            GTEST_SKIP() << "ffmpeg has no " << c.encoder << " encoder";
        for (const bool sound : {false, true})
        {
            SCOPED_TRACE(sound ? "with sound" : "silent");
            const std::string path = clipFor(c, sound);
            ASSERT_FALSE(path.empty());
            HandClock clock;
            const double started = clock.seconds.load();
            auto source = opened(path);
            ASSERT_NE(source->getVideoFormatReader(), nullptr);
            EXPECT_EQ(source->getVideoFormatReader()->getHasAudio(), sound);
            ASSERT_EQ(source->getNumFrames(), c.frames);
            source->getPositionParam()->setValue(0.5 * msPerFrame(c), ValueChangeInfo());
            shown(*source);
            Feeder feeder(*source, 0.5 * msPerFrame(c));
            std::vector<long> seen, expected;
            for (long k = 0; k < c.frames; ++k)
            {
                clock.seconds = started + k * msPerFrame(c) / 1000.0;
                ASSERT_EQ(play(*source, feeder, k, &seen, msPerFrame(c)), k) << ::testing::PrintToString(seen);
                expected.push_back(k);
            }
            EXPECT_EQ(seen, expected);
        }
    }

    INSTANTIATE_TEST_SUITE_P(
        Containers, ContainerMovieTest,
        ::testing::Values(
            ContainerCase{"DVDProgramStream", "mpeg2video", "-target ntsc-dvd", "mpg", 30000, 1001, 30},
            ContainerCase{"VCDMPEG1", "mpeg1video", "-target ntsc-vcd", "mpg", 30000, 1001, 30},
            ContainerCase{"TransportStreamNamedMpg", "mpeg2video", "-c:v mpeg2video -bf 2 -q:v 2 -c:a mp2 -f mpegts",
                          "mpg", 30000, 1001, 30},
            ContainerCase{"XvidAVI", "mpeg4", "-c:v mpeg4 -vtag XVID -g 12 -bf 2 -q:v 2", "avi", 25, 1, 25},
            ContainerCase{"H264AVI", "libx264", "-c:v libx264 -preset ultrafast -g 12 -bf 2", "avi", 25, 1, 25}),
        [](const auto& info) { return std::string(info.param.name); });

    // A silent movie (self-timed reader) played at a speed the source hands
    // its reader, on a host clock the test moves by a frame of the movie at
    // that speed, with the play head a frame on each time: the player runs
    // at the speed, so each frame the play head enters shows in turn, none
    // passed over and none gone back to.
    TEST_P(SpeedMovieTest, AMoviePlayedAtASpeedShowsEachFrameThePlayHeadEnters)
    {
        const double speed = GetParam().speed;
        if (! hasFFmpegEncoder("mjpeg"))
            GTEST_SKIP() << "ffmpeg has no mjpeg encoder";
        const std::string path = clipFile("intra.mov", false, "-c:v mjpeg -q:v 2");
        ASSERT_FALSE(path.empty());
        AVFPlayer::lastSeekTime = 0.0;
        HandClock clock;
        const double started = clock.seconds.load();
        auto source = opened(path);
        ASSERT_NE(source->getVideoFormatReader(), nullptr);
        source->getPositionParam()->setValue(20.0, ValueChangeInfo());
        shown(*source);
        Feeder feeder(*source, 20.0);
        std::vector<long> seen;
        ASSERT_EQ(play(*source, feeder, 0, &seen), 0);
        // Told while it plays, as the source tells it every engine frame.
        source->setPlaybackSpeed(speed);
        std::vector<long> expected = {0};
        for (long k = 1; k < 40; ++k)
        {
            clock.seconds = started + k * 0.04 / speed;
            feeder.wanted = (k + 0.5) * 40.0;
            // Until the frame or one after it shows (a player run too fast
            // has passed it).
            long index = -1;
            const auto giveUp = std::chrono::steady_clock::now() + watchdog;
            while (index < k && std::chrono::steady_clock::now() < giveUp)
            {
                index = shown(*source);
                if (index >= 0 && seen.back() != index)
                    seen.push_back(index);
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            ASSERT_EQ(index, k) << ::testing::PrintToString(seen);
            expected.push_back(k);
        }
        EXPECT_EQ(seen, expected);
    }

    INSTANTIATE_TEST_SUITE_P(Speeds, SpeedMovieTest,
                             ::testing::Values(SpeedCase{"Half", 0.5}, SpeedCase{"Double", 2.0}),
                             [](const auto& info) { return std::string(info.param.name); });

    // A 25 fps movie under a host rendering at the same rate or faster, its
    // clock moved by hand a render at a time with the play head, started
    // anywhere in a frame, silent (self-timed reader, running on that clock)
    // and with sound (seeking reader): each render shows the frame the play
    // head is in, so every frame it passes shows, in order, none left out.
    // A frame not decoded yet at its first render may have the one before
    // stand in until it is.
    TEST_P(RenderRateMovieTest, AMoviePlayedShowsEveryFrameThePlayHeadPasses)
    {
        const RenderRateCase& c = GetParam();
        if (! hasFFmpegEncoder("libx264"))
            GTEST_SKIP() << "ffmpeg has no libx264 encoder";
        // Six runs of the five-frame pattern 60 Hz makes of 25 fps.
        constexpr long frames = 30;
        for (const bool sound : {false, true})
        {
            SCOPED_TRACE(sound ? "with sound" : "silent");
            const std::string path = temp.file(sound ? "sound.mov" : "silent.mov");
            IndexedClip clip;
            clip.video = "-c:v libx264 -preset ultrafast -g 12 -bf 2";
            clip.sound = sound;
            clip.filter = "scale=640:360:flags=neighbor";
            clip.seconds = 1.4;
            ASSERT_TRUE(makeIndexedClip(path, clip));
            HandClock clock;
            const double started = clock.seconds.load();
            auto source = opened(path);
            ASSERT_NE(source->getVideoFormatReader(), nullptr);
            ASSERT_EQ(source->getWidth(), 640);
            std::vector<long> seen;
            for (long n = 0;; ++n)
            {
                const double position = (c.phase + n * 25.0 / c.hertz) * 40.0;
                if (position >= frames * 40.0)
                    break;
                clock.seconds = started + n / static_cast<double>(c.hertz);
                source->getPositionParam()->setValue(position, ValueChangeInfo());
                // On a frame's start the parameter may give the position back
                // a hair before it: the frame starting there is still due.
                const long k = static_cast<long>(position / 40.0);
                long index = -1;
                const auto giveUp = std::chrono::steady_clock::now() + watchdog;
                do
                {
                    // The DataDriver's read, then the render.
                    source->updateVideo();
                    index = shown(*source);
                    if (index >= 0 && (seen.empty() || seen.back() != index))
                        seen.push_back(index);
                    const bool standIn = (index == -1 && seen.empty()) || (index == k - 1 && index >= 0);
                    if (! standIn)
                        break;
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                } while (std::chrono::steady_clock::now() < giveUp);
                ASSERT_EQ(index, k) << "render " << n << ", shown so far " << ::testing::PrintToString(seen);
            }
            std::vector<long> expected;
            for (long k = 0; k < frames; ++k)
                expected.push_back(k);
            EXPECT_EQ(seen, expected);
        }
    }

    INSTANTIATE_TEST_SUITE_P(
        Rates, RenderRateMovieTest,
        ::testing::Values(RenderRateCase{"At60FromAThird", 60, 0.3}, RenderRateCase{"At60FromHalfway", 60, 0.5},
                          RenderRateCase{"At60FromSevenTenths", 60, 0.7}, RenderRateCase{"At60NearTheEnd", 60, 0.95},
                          RenderRateCase{"At50FromSevenTenths", 50, 0.7}, RenderRateCase{"At25FromHalfway", 25, 0.5}),
        [](const auto& info) { return std::string(info.param.name); });

    // In a stream without an index a seek lands on whatever packet, and
    // libx265's default of one key frame in 250 leaves only the first one
    // here: scrubbed while paused, silent and with sound, each frame shows
    // itself, never a picture predicted from references never decoded.
    TEST_P(RandomAccessMovieTest, AMovieScrubbedWhilePausedShowsEachFrameScrubbedTo)
    {
        const ContainerCase& c = GetParam();
        if (! hasFFmpegEncoder(c.encoder))
            GTEST_SKIP() << "ffmpeg has no " << c.encoder << " encoder";
        const std::vector<long> frames = {0, 5, 13, 1, 22, 9, 26};
        std::vector<double> positions;
        for (const long n : frames)
            positions.push_back((n + 0.5) * 1000.0 * c.denominator / c.numerator);
        for (const bool sound : {false, true})
        {
            SCOPED_TRACE(sound ? "with sound" : "silent");
            const std::string path = temp.file(std::string(sound ? "sound." : "silent.") + c.extension);
            ASSERT_TRUE(makeClipOfFrames(path, c.video, c.numerator, c.denominator, c.frames, sound));
            {
                auto source = opened(path);
                ASSERT_NE(source->getVideoFormatReader(), nullptr);
                ASSERT_EQ(source->getNumFrames(), c.frames);
            }
            expectShownAt(path, playPause, positions, frames);
        }
    }

    INSTANTIATE_TEST_SUITE_P(
        HEVCStreams, RandomAccessMovieTest,
        ::testing::Values(ContainerCase{"HEVCProgramStream", "libx265",
                                        "-c:v libx265 -x265-params log-level=error -c:a mp2 -f mpeg", "mpg", 25, 1, 30},
                          ContainerCase{"HEVCTransportStreamNamedMpg", "libx265",
                                        "-c:v libx265 -x265-params log-level=error -c:a mp2 -f mpegts", "mpg", 25, 1,
                                        30}),
        [](const auto& info) { return std::string(info.param.name); });

    // A movie with sound and the encoders' default key-frame interval (250,
    // scene cuts off so the bars make none), played forward from deep in its
    // group of pictures: each frame is decoded on from the one before, not
    // by going back to the key frame and decoding all the way again (which
    // reads the movie from its start for every frame).
    TEST_F(MovieFileSourceGLTest, AMovieWithSoundPlayedOnDecodesOnFromTheFrameBefore)
    {
        if (! hasFFmpegEncoder("libx264"))
            GTEST_SKIP() << "ffmpeg has no libx264 encoder";
        const std::string path = temp.file("longgop.mov");
        IndexedClip clip;
        clip.video = "-c:v libx264 -sc_threshold 0";
        clip.sound = true;
        clip.seconds = 6.0;
        ASSERT_TRUE(makeIndexedClip(path, clip));
        const long long fileSize = static_cast<long long>(File(path).getFileSize());
        auto source = load(path);
        ASSERT_NE(source, nullptr);
        ASSERT_TRUE(source->getVideoFormatReader()->getHasAudio());
        Feeder feeder(*source);
        ASSERT_EQ(play(*source, feeder, 100), 100);
        const long long before = bytesRead();
        ASSERT_GE(before, 0) << "no /proc/self/io";
        std::vector<long> seen, expected = {100};
        for (long k = 101; k <= 140; ++k)
        {
            ASSERT_EQ(play(*source, feeder, k, &seen), k) << ::testing::PrintToString(seen);
            expected.push_back(k);
        }
        EXPECT_EQ(seen, expected);
        // 40 frames are a quarter of the movie; going back to the key frame
        // for each would read it all 40 times over.
        EXPECT_LT(bytesRead() - before, fileSize) << "of a movie of " << fileSize << " bytes";
    }

    // An H.264 transport stream with B-frames named .mpg, its first picture
    // stamped after its first packet, in one group of pictures (scene cuts
    // off, so the bars make no key frame): played forward across the loop,
    // silent on a host clock the test moves a frame at a time with the play
    // head and with sound by each frame's seek, it shows the last frame, then
    // frame 0 and each frame after it in turn. The wrap goes straight to the
    // stream's start, not to frame 0's stamp (past the first packet, where
    // no picture decodes before the stream ends) and back from there.
    TEST_F(MovieFileSourceGLTest, AMovieLoopedShowsFrameZeroOnAtOnceFromTheStreamsStart)
    {
        if (! hasFFmpegEncoder("libx264"))
            GTEST_SKIP() << "ffmpeg has no libx264 encoder";
        constexpr long frames = 50;
        for (const bool sound : {false, true})
        {
            SCOPED_TRACE(sound ? "with sound" : "silent");
            const std::string path = temp.file(sound ? "sound.mpg" : "silent.mpg");
            // Noise makes the frames big: what a wrap reads tells how far
            // back it went.
            IndexedClip clip;
            clip.video = "-c:v libx264 -preset ultrafast -bf 2 -sc_threshold 0 -qp 4 -x264-params b-adapt=0 "
                         "-c:a mp2 -f mpegts";
            clip.sound = sound;
            clip.seconds = (frames + 1) / 25.0;
            clip.filter = "noise=alls=10:allf=t,trim=end_frame=" + std::to_string(frames);
            ASSERT_TRUE(makeIndexedClip(path, clip));
            const long long fileSize = static_cast<long long>(File(path).getFileSize());
            AVFPlayer::lastSeekTime = 0.0;
            HandClock clock;
            const double started = clock.seconds.load();
            auto source = opened(path);
            ASSERT_NE(source->getVideoFormatReader(), nullptr);
            ASSERT_EQ(source->getNumFrames(), frames);
            source->getPositionParam()->setValue(20.0, ValueChangeInfo());
            shown(*source);
            Feeder feeder(*source, 20.0);
            std::vector<long> seen, expected;
            long long wrapRead = 0;
            for (long step = 0; step < frames + 13; ++step)
            {
                const long k = step % frames;
                clock.seconds = started + step * 0.04;
                const long long before = bytesRead();
                ASSERT_EQ(play(*source, feeder, k, &seen), k) << ::testing::PrintToString(seen);
                if (step == frames)
                    wrapRead = bytesRead() - before;
                expected.push_back(k);
            }
            EXPECT_EQ(seen, expected);
            EXPECT_LT(wrapRead, fileSize / 2) << "of a movie of " << fileSize << " bytes";
        }
    }

    // A Matroska file (named .mov) claiming 1e15 ms: the source counts the
    // frames the stream has, accepts positions and shows pictures, with
    // sound (seeking reader) and without (self-timed reader).
    TEST_F(MovieFileSourceGLTest, AMovieClaimingAHugeDurationPlaysItsOwnLength)
    {
        if (! hasFFmpegEncoder("mpeg4"))
            GTEST_SKIP() << "ffmpeg has no mpeg4 encoder";
        for (const bool sound : {true, false})
        {
            SCOPED_TRACE(sound ? "with sound" : "silent");
            const std::string path = temp.file(sound ? "sound.mov" : "silent.mov");
            IndexedClip clip;
            clip.video = "-c:v mpeg4 -g 12 -q:v 2";
            clip.sound = sound;
            clip.container = "-f matroska";
            ASSERT_TRUE(makeIndexedClip(path, clip));
            {
                // The Duration element (0x4489) as an 8-byte float.
                std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
                std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
                const std::size_t at = bytes.find(std::string("\x44\x89\x88", 3));
                ASSERT_NE(at, std::string::npos);
                const double huge = 1e15;
                std::uint64_t bits = 0;
                std::memcpy(&bits, &huge, sizeof bits);
                char bigEndian[8];
                for (int i = 0; i < 8; ++i)
                    bigEndian[i] = static_cast<char>(bits >> (56 - 8 * i));
                file.seekp(static_cast<std::streamoff>(at + 3));
                file.write(bigEndian, 8);
            }
            auto source = load(path);
            ASSERT_NE(source, nullptr);
            VideoFormatReader* reader = source->getVideoFormatReader();
            ASSERT_NE(reader, nullptr);
            EXPECT_EQ(reader->getHasAudio(), sound);
            EXPECT_EQ(source->getNumFrames(), framesPerClip);
            EXPECT_NEAR(reader->getLength(), 2000.0, 40.0);
            Feeder feeder(*source);
            if (sound)
            {
                EXPECT_EQ(play(*source, feeder, 0), 0);
                EXPECT_EQ(play(*source, feeder, 30), 30);
            }
            else
            {
                // The self-timed reader runs on its own clock: played along
                // at its rate, looping, its frames show.
                long index = -1;
                const auto started = std::chrono::steady_clock::now();
                while (index < 0 && std::chrono::steady_clock::now() - started < watchdog)
                {
                    const long k = static_cast<long>((std::chrono::steady_clock::now() - started) /
                                                     std::chrono::milliseconds(40));
                    feeder.wanted = (k % framesPerClip) * 40.0 + 20.0;
                    index = shown(*source);
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                }
                EXPECT_GE(index, 0);
                EXPECT_LT(index, framesPerClip);
            }
        }
    }

    // What is no movie gets no reader: a PNG signature named .mp4.
    TEST_F(MovieFileSourceGLTest, ABarePngSignatureNamedMp4IsNoMovie)
    {
        const std::string path = temp.writeFile("signature.mp4", std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16));
        EXPECT_EQ(root->getVideoFormatManager()->createReaderFor(File(path), false, VideoFormatReader::purposePlayback),
                  nullptr);
        RecordingListener listener;
        auto source = std::unique_ptr<VideoFormatReaderSource>(VideoFormatReaderSource::createFromXML(
            driver, *sourceElement("fileName=\"" + path + "\" LoadingThread=\"TTM_MESSAGE\""), nullptr));
        EXPECT_TRUE(source->listenForAvailability(listener, false));
        drainMessages();
        const Calls calls = listener.get();
        ASSERT_GE(calls.size(), 2u);
        EXPECT_EQ(calls[calls.size() - 2], "unavailable 2");
        EXPECT_EQ(source->getVideoFormatReader(), nullptr);
        source->removeListener(listener);
    }

    // A load whose task group goes unrun (destroyed on another thread while
    // this one asks) fails and says so; a source going at the same time as
    // its group is never told anything.
    TEST_F(MovieFileSourceGLTest, ALoadDroppedUnrunFailsAndTellsItsListeners)
    {
        const std::string path = scriptedFile();
        for (int round = 0; round < 10; ++round)
        {
            SCOPED_TRACE(round);
            LogRecorder log;
            RecordingListener listener;
            auto group = std::make_unique<TaskGroup>();
            auto source = std::unique_ptr<VideoFormatReaderSource>(VideoFormatReaderSource::createFromXML(
                driver, *sourceElement("fileName=\"" + path + "\" LoadingThread=\"TTM_MESSAGE\""), group.get()));
            ASSERT_TRUE(source->listenForAvailability(listener, false));
            std::thread dropper([&] { group.reset(); });
            const auto giveUp = std::chrono::steady_clock::now() + watchdog;
            while (source->isLoading() && std::chrono::steady_clock::now() < giveUp)
                std::this_thread::yield();
            dropper.join();
            EXPECT_FALSE(source->isLoading());
            EXPECT_EQ(listener.get(), (Calls{"unavailable 2", "progress 1.0"}));
            EXPECT_FALSE(source->listenIfLoading(listener));
            EXPECT_FALSE(source->enforceReaderAvailability());
            EXPECT_TRUE(log.contains("was dropped before it ran")) << log.dump();
            source->removeListener(listener);

            RecordingListener other;
            group = std::make_unique<TaskGroup>();
            source.reset(VideoFormatReaderSource::createFromXML(
                driver, *sourceElement("fileName=\"" + path + "\" LoadingThread=\"TTM_MESSAGE\""), group.get()));
            source->addListener(other, false);
            std::thread both([&] { group.reset(); });
            source.reset();
            both.join();
            const Calls told = other.get();
            EXPECT_TRUE(told.empty() || told == (Calls{"unavailable 2", "progress 1.0"}));
        }
        EXPECT_EQ(ScriptedFormat::last, nullptr);
    }

    // Opened on a frame, or moved to one, and left there, with sound (seeking
    // reader) and without (self-timed reader): once the frame is there the
    // source shows it, though the play head never moves to announce it again.
    TEST_F(MovieFileSourceGLTest, ASourceLeftOnAFrameShowsItOnceItIsThere)
    {
        if (! hasFFmpegEncoder("mpeg4"))
            GTEST_SKIP() << "ffmpeg has no mpeg4 encoder";
        for (const bool sound : {true, false})
        {
            expectLeftOn(sound, false, {0, 30, 3});
            expectLeftOn(sound, false, {7});
        }
    }

    // The same when the play head was read before the source's first render,
    // as a feeding thread may: the readers' init then makes or rewinds their
    // player, which must still be brought to the play head and started.
    TEST_F(MovieFileSourceGLTest, ASourceReadBeforeItsFirstRenderShowsTheFrameItIsLeftOn)
    {
        if (! hasFFmpegEncoder("mpeg4"))
            GTEST_SKIP() << "ffmpeg has no mpeg4 encoder";
        for (const bool sound : {true, false})
        {
            expectLeftOn(sound, true, {0});
            expectLeftOn(sound, true, {7});
        }
    }

    // Paused on a frame and released (its GL objects let go, as for a hidden
    // layer), with sound (seeking reader) and silent (self-timed reader), a
    // movie shows that frame again at the next renders, twice over, and
    // nothing else on the way.
    TEST_F(MovieFileSourceGLTest, APausedMovieReleasedShowsItsFrameAgain)
    {
        if (! hasFFmpegEncoder("mpeg4"))
            GTEST_SKIP() << "ffmpeg has no mpeg4 encoder";
        for (const bool sound : {true, false})
        {
            SCOPED_TRACE(sound ? "with sound" : "silent");
            const std::string path = clipFile(sound ? "sound.mov" : "silent.mov", sound);
            ASSERT_FALSE(path.empty());
            auto source = opened(path);
            ASSERT_NE(source->getVideoFormatReader(), nullptr);
            source->getTimeline()->getPlayDirectionParam()->setValue(int(playPause), ValueChangeInfo());
            source->getPositionParam()->setValue(7 * 40.0 + 20.0, ValueChangeInfo());
            for (int round = 0; round < 3; ++round)
            {
                SCOPED_TRACE("round " + std::to_string(round));
                if (round > 0)
                    source->release();
                // The DataDriver's reads, between renders.
                std::vector<long> seen;
                const auto giveUp = std::chrono::steady_clock::now() + watchdog;
                while ((seen.empty() || seen.back() != 7) && std::chrono::steady_clock::now() < giveUp)
                {
                    const long index = shown(*source);
                    if (index >= 0)
                        seen.push_back(index);
                    source->updateVideo();
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                }
                EXPECT_EQ(seen, std::vector<long>(seen.size(), 7L));
                ASSERT_FALSE(seen.empty());
            }
        }
    }

    // Paused while it plays, a silent movie (self-timed reader) shows exactly
    // each frame it is scrubbed to, however long after the read the render
    // comes (a movie run on would have moved by then), and stays on it.
    TEST_F(MovieFileSourceGLTest, APausedMovieShowsEachFrameItIsScrubbedToAndStaysThere)
    {
        if (! hasFFmpegEncoder("mpeg4"))
            GTEST_SKIP() << "ffmpeg has no mpeg4 encoder";
        auto source = loadSilent();
        ASSERT_NE(source, nullptr);
        Feeder feeder(*source, 20.0);
        // Playing on its own clock: near frame 3, not exactly on it.
        feeder.wanted = 3 * 40.0 + 20.0;
        long before = -1;
        const auto giveUp = std::chrono::steady_clock::now() + watchdog;
        while (before < 0 && std::chrono::steady_clock::now() < giveUp)
        {
            before = shown(*source);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        EXPECT_GE(before, 0);
        // Paused, it comes to exactly the play head's frame (the frame it had
        // run on to may show until then) and stays there.
        source->getTimeline()->getPlayDirectionParam()->setValue(int(playPause), ValueChangeInfo());
        const std::vector<long> paused = settledOn(*source, 3, before);
        ASSERT_FALSE(paused.empty());
        EXPECT_EQ(paused.back(), 3) << ::testing::PrintToString(paused);
        before = 3;
        for (const long n : {30L, 7L, 19L, 20L})
        {
            SCOPED_TRACE("frame " + std::to_string(n));
            feeder.wanted = n * 40.0 + 20.0;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            EXPECT_EQ(settledOn(*source, n, before), std::vector<long>{n});
            before = n;
        }
    }

    // A silent movie (self-timed reader) played on a host clock the test
    // moves: the frame the player is on when the source renders may not be
    // decoded yet. The frame before stands in, and the frame shows once it is
    // decoded, though the play head does not move again to announce it.
    TEST_F(MovieFileSourceGLTest, AFramePlayedBeforeItIsDecodedShowsOnceItIs)
    {
        if (! hasFFmpegEncoder("mjpeg"))
            GTEST_SKIP() << "ffmpeg has no mjpeg encoder";
        const std::string path = clipFile("intra.mov", false, "-c:v mjpeg -q:v 2");
        ASSERT_FALSE(path.empty());
        HandClock clock;
        const double started = clock.seconds.load();
        auto source = opened(path);
        ASSERT_NE(source->getVideoFormatReader(), nullptr);
        // Made after the source, gone before it: every way out of the test
        // opens the gate before the source joins its decoder.
        FrameGate::Use use;
        FrameGate& gate = FrameGate::get();
        const auto showFrame = [&](long k, bool waitForIt)
        {
            clock.seconds = started + k * 0.04;
            source->getPositionParam()->setValue(k * 40.0 + 20.0, ValueChangeInfo());
            source->updateVideo();
            long index = shown(*source);
            const auto giveUp = std::chrono::steady_clock::now() + watchdog;
            while (waitForIt && index != k && std::chrono::steady_clock::now() < giveUp)
            {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                index = shown(*source);
            }
            return index;
        };
        for (long k = 0; k < 4; ++k)
            ASSERT_EQ(showFrame(k, true), k);
        // Closed wherever the decoder is (up to four frames ahead, fewer on a
        // loaded machine): the frames it has decoded show at once; the first
        // it has not is held in the gate, and the frame before stands in.
        gate.setOpen(false);
        long held = 4;
        for (; held < 12; ++held)
        {
            if (showFrame(held, false) == held)
                continue;
            // Not decoded yet: once the decoder waits in the gate nothing
            // more comes, so what shows now stays.
            ASSERT_TRUE(gate.awaitWaiter(watchdog));
            const long index = showFrame(held, false);
            if (index == held)
                continue;
            EXPECT_EQ(index, held - 1);
            break;
        }
        ASSERT_LT(held, 12);
        gate.setOpen(true);
        // The play head stays on the held frame; rendering on shows it.
        long index = -1;
        const auto giveUp = std::chrono::steady_clock::now() + watchdog;
        while (index != held && std::chrono::steady_clock::now() < giveUp)
        {
            index = shown(*source);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        EXPECT_EQ(index, held);
    }

    // A silent movie played forwards into its loop on a host clock the test
    // moves a frame at a time with the play head. The first corrective seek,
    // aimed ahead by a long last seek, lands the player two frames ahead of
    // the play head, so it reaches the end first: it waits there until the
    // play head starts over, and the last frames show in turn, then frame 0
    // and on (starting over at once, it showed the next loop's frame 0 in
    // frame 49).
    TEST_F(MovieFileSourceGLTest, APlayerReachingTheEndBeforeThePlayHeadStartsOverWithIt)
    {
        if (! hasFFmpegEncoder("mjpeg"))
            GTEST_SKIP() << "ffmpeg has no mjpeg encoder";
        const std::string path = clipFile("intra.mov", false, "-c:v mjpeg -q:v 2");
        ASSERT_FALSE(path.empty());
        AVFPlayer::lastSeekTime = 80.0;
        HandClock clock;
        const double started = clock.seconds.load();
        auto source = load(path);
        ASSERT_NE(source->getVideoFormatReader(), nullptr);
        ASSERT_EQ(source->getNumFrames(), framesPerClip);
        std::vector<long> seen;
        for (long step = 0; step < 8; ++step)
        {
            const long k = (46 + step) % framesPerClip;
            clock.seconds = started + step * 0.04;
            source->getPositionParam()->setValue(k * 40.0 + 20.0, ValueChangeInfo());
            source->updateVideo();
            const auto giveUp = std::chrono::steady_clock::now() + watchdog;
            if (step == 0)
            {
                // The seek lands before the clock moves on.
                while (source->getVideoFormatReader()->isAwaitingFrame() && std::chrono::steady_clock::now() < giveUp)
                {
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                    source->updateVideo();
                }
                ASSERT_FALSE(source->getVideoFormatReader()->isAwaitingFrame());
            }
            // Frames 46 and 47 were skipped by the seek; from 48 on each shows.
            // Rendered, not read again, until a new picture shows: read again,
            // a player started over would be sent back before it showed.
            if (step < 2)
            {
                shown(*source);
                continue;
            }
            long index = -1;
            do
            {
                index = shown(*source);
                if (index >= 0 && (seen.empty() || seen.back() != index))
                {
                    seen.push_back(index);
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            } while (std::chrono::steady_clock::now() < giveUp);
            ASSERT_EQ(index, k) << ::testing::PrintToString(seen);
        }
        EXPECT_EQ(seen, (std::vector<long>{48, 49, 0, 1, 2, 3}));
    }

    // The FFmpeg backend with movies that cannot play backwards: a player
    // told to holds still and follows the play head down by seeks.
    class ForwardOnlyBackend final : public av::MediaBackend
    {
    public:
        ForwardOnlyBackend() { av::MediaBackend::setCurrent(this); }
        ~ForwardOnlyBackend() override { av::MediaBackend::setCurrent(nullptr); }
        std::shared_ptr<av::MediaAsset> openAsset(const std::string& path) override
        {
            auto media = av::MediaBackend::getDefault().openAsset(path);
            return media != nullptr ? std::make_shared<Asset>(media) : nullptr;
        }
        std::unique_ptr<av::MovieEncoder> createEncoder(const av::EncoderSettings& settings) override
        {
            return av::MediaBackend::getDefault().createEncoder(settings);
        }

    private:
        class Asset final : public av::MediaAsset
        {
        public:
            explicit Asset(std::shared_ptr<av::MediaAsset> media) : inner(std::move(media)), facts(inner->getFacts())
            {
                facts.canPlayReverse = false;
            }
            const av::AssetFacts& getFacts() const override { return facts; }
            std::unique_ptr<av::DecodingSession> createSession() override { return inner->createSession(); }
            av::CGImageRef copyImageAtTime(double seconds, double* actual, std::string* error) override
            {
                return inner->copyImageAtTime(seconds, actual, error);
            }

        private:
            std::shared_ptr<av::MediaAsset> inner;
            av::AssetFacts facts;
        };
    };

    // A silent movie that cannot play backwards stepped backwards (a seek per
    // frame) and played forwards while its seek to frame 39 is held up, with
    // frame 40 showing: once the seek lands, frame 39 is not shown; the
    // picture goes on from 40 as the play head moves on.
    TEST_F(MovieFileSourceGLTest, AMoviePlayedForwardsNeverGoesBackToAFrameASeekBeforeBrought)
    {
        if (! hasFFmpegEncoder("mpeg4"))
            GTEST_SKIP() << "ffmpeg has no mpeg4 encoder";
        const std::string path = clipFile("silent.mov", false);
        ASSERT_FALSE(path.empty());
        HandClock clock;
        ForwardOnlyBackend backend;
        auto source = opened(path);
        ASSERT_NE(source->getVideoFormatReader(), nullptr);
        source->getTimeline()->getPlayDirectionParam()->setValue(int(playBackward), ValueChangeInfo());
        const auto showUntil = [&](long k, std::vector<long>* seen)
        {
            const auto giveUp = std::chrono::steady_clock::now() + watchdog;
            long index = -1;
            do
            {
                source->updateVideo();
                index = shown(*source);
                if (seen != nullptr && index >= 0 && (seen->empty() || seen->back() != index))
                    seen->push_back(index);
                if (index == k)
                    break;
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            } while (std::chrono::steady_clock::now() < giveUp);
            return index;
        };
        source->getPositionParam()->setValue(40 * 40.0 + 20.0, ValueChangeInfo());
        ASSERT_EQ(showUntil(40, nullptr), 40);
        // Made after the source, gone before it.
        FrameGate::Use use;
        FrameGate& gate = FrameGate::get();
        gate.setOpen(false);
        source->getPositionParam()->setValue(39 * 40.0 + 20.0, ValueChangeInfo());
        source->updateVideo();
        EXPECT_EQ(shown(*source), 40);
        source->getTimeline()->getPlayDirectionParam()->setValue(int(playForward), ValueChangeInfo());
        clock.seconds = clock.seconds.load() + 0.04;
        source->getPositionParam()->setValue(40 * 40.0 + 20.0, ValueChangeInfo());
        source->updateVideo();
        EXPECT_EQ(shown(*source), 40);
        gate.setOpen(true);
        clock.seconds = clock.seconds.load() + 0.04;
        source->getPositionParam()->setValue(41 * 40.0 + 20.0, ValueChangeInfo());
        std::vector<long> seen = {40};
        EXPECT_EQ(showUntil(41, &seen), 41);
        EXPECT_EQ(seen, (std::vector<long>{40, 41}));
    }

    // A direction given before the first render is kept once the reader's
    // init has made its new player: paused near the end, the movie stays on
    // the frame it is on and shows the frame scrubbed to (run on, it would
    // have ended and gone back to 0); played backwards with the play head, the
    // frames shown go down with it and never above where it started (run
    // forwards, the player would show the frames after it, and its first
    // corrective seek, aimed ahead by a long last seek, would land above the
    // play head, not below it). How closely they follow the play head is the
    // machine's: a loaded one decodes and seeks late.
    TEST_F(MovieFileSourceGLTest, ADirectionGivenBeforeTheFirstRenderIsKept)
    {
        if (! hasFFmpegEncoder("mjpeg"))
            GTEST_SKIP() << "ffmpeg has no mjpeg encoder";
        const std::string path = clipFile("intra.mov", false, "-c:v mjpeg -q:v 2");
        ASSERT_FALSE(path.empty());
        AVFPlayer::lastSeekTime = 200.0;
        for (const ParamPlayDirection direction : {playPause, playBackward})
        {
            SCOPED_TRACE(direction == playPause ? "paused" : "backwards");
            auto source = opened(path);
            ASSERT_NE(source->getVideoFormatReader(), nullptr);
            const double start = 45 * 40.0 + 20.0;
            source->getPositionParam()->setValue(start, ValueChangeInfo());
            source->getTimeline()->getPlayDirectionParam()->setValue(int(direction), ValueChangeInfo());
            shown(*source);
            Feeder feeder(*source, start);
            if (direction == playPause)
            {
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                EXPECT_EQ(settledOn(*source, 45, -1), std::vector<long>{45});
                feeder.wanted = 2 * 40.0 + 20.0;
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                EXPECT_EQ(settledOn(*source, 2, 45), std::vector<long>{2});
                continue;
            }
            // The play head moves down a frame every 40 ms, to frame 5.
            std::vector<long> seen;
            const auto started = std::chrono::steady_clock::now();
            for (long k = 45; k > 5;)
            {
                const auto elapsed = std::chrono::steady_clock::now() - started;
                k = 45 - static_cast<long>(elapsed / std::chrono::milliseconds(40));
                feeder.wanted = std::max(k, 5L) * 40.0 + 20.0;
                const long index = shown(*source);
                if (index >= 0 && (seen.empty() || seen.back() != index))
                    seen.push_back(index);
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            // Held at frame 5, the source comes to it.
            const auto giveUp = std::chrono::steady_clock::now() + watchdog;
            while ((seen.empty() || seen.back() > 8) && std::chrono::steady_clock::now() < giveUp)
            {
                const long index = shown(*source);
                if (index >= 0 && (seen.empty() || seen.back() != index))
                    seen.push_back(index);
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            ASSERT_FALSE(seen.empty());
            // Every seek lands at or below the play head, and the player goes
            // down from there.
            EXPECT_LE(*std::max_element(seen.begin(), seen.end()), 45) << ::testing::PrintToString(seen);
            EXPECT_LE(seen.back(), 8) << ::testing::PrintToString(seen);
        }
    }

    // The reader's init, run again on the render thread, makes a new player
    // while the feeding thread reads through the one before.
    TEST_F(MovieFileSourceGLTest, AMovieInitialisedAgainWhileItIsFedPlaysOn)
    {
        if (! hasFFmpegEncoder("mpeg4"))
            GTEST_SKIP() << "ffmpeg has no mpeg4 encoder";
        auto source = loadSilent();
        ASSERT_NE(source, nullptr);
        Feeder feeder(*source, 20.0);
        for (long k = 0; k < 12; ++k)
        {
            feeder.wanted = k * 3 * 40.0 + 20.0;
            EXPECT_TRUE(source->getVideoFormatReader()->init(source->getWidth(), source->getHeight()));
            shown(*source);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        // Its corrective seeks aim ahead by what the seeks before took (long
        // on a loaded machine), and a player within a tenth of a second of
        // the play head runs on unseeked: it comes to a frame from 27 (two
        // and a half frames behind) to a little after 30.
        feeder.wanted = 30 * 40.0 + 20.0;
        const std::vector<long> seen = settledOnOrAfter(*source, 27, -2, false);
        ASSERT_FALSE(seen.empty());
        EXPECT_GE(seen.back(), 27) << ::testing::PrintToString(seen);
        EXPECT_LE(seen.back(), 36) << ::testing::PrintToString(seen);
    }
}
