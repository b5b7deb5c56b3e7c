// A 720p HEVC movie (key frames at 0 and 250) whose decoder takes 20 ms a
// picture, half a frame's time (the gate paced), played backwards by the
// engine's timeline, fed by the DataDriver thread, silent (self-timed
// player) and with sound (seeking reader): each part of a group decodes from
// its key frame, more pictures than the play head passes frames meanwhile.
// Each render is judged once: the picture never goes back up and is never
// below the play head; it never stands longer than decoding from the play
// head's key frame to the play head takes (half again, and a second). No
// picture is decoded above the play head (passed), and every part decoded
// (each run of pictures from a key frame) puts a picture on the screen: none
// is left half-done or decoded again for nothing. And a cue decodes its
// group once, from its key frame.

#include "VXMovieBarsPlayback.h"

#include <algorithm>
#include <string>
#include <vector>

namespace vx::test
{
    namespace
    {
        constexpr long keyInterval = 250;
        constexpr std::chrono::milliseconds pace{20};
        // A frame a render.
        constexpr double renderMs = 40.0;

        class MovieSlowDecodingGLTest : public MovieBarsGLTest, public ::testing::WithParamInterface<SoundCase>
        {
        protected:
            void SetUp() override
            {
                MovieBarsGLTest::SetUp();
                if (HasFatalFailure() || IsSkipped())
                    return;
                if (! hasFFmpegEncoder("libx265"))
                    GTEST_SKIP() << "ffmpeg has no libx265 encoder";
                const std::string path = temp.file(GetParam().sound ? "sound.mov" : "silent.mov");
                ClipSpec clip = barsClipSpec(BarsClip{400, int(keyInterval), 1280, 720}, GetParam().sound);
                clip.codec = "-c:v libx265 -preset ultrafast -x265-params keyint=250:min-keyint=250:scenecut=0:"
                             "log-level=error -pix_fmt yuv420p";
                ASSERT_TRUE(makeClip(path, clip));
                open(path, driver, GetParam().sound, 400);
                ASSERT_FALSE(HasFatalFailure());
                direct(playPause);
                source->start(false, TimeUnit());
            }

            // One host frame, at least its time after the one before (the
            // decoder's pace is real time), judged; then how long the
            // picture has stood while the play head moved past it.
            void step()
            {
                const auto due = last + std::chrono::milliseconds(int(renderMs));
                while (std::chrono::steady_clock::now() < due)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                last = std::chrono::steady_clock::now();
                const long before = shown;
                tick(renderMs);
                if (HasFatalFailure())
                    return;
                const long at = headFrame();
                heads.push_back({last, at});
                if (shown != before || (shown >= 0 && shown <= at))
                {
                    stood = 0;
                    return;
                }
                if (stood++ == 0)
                    standFrom = at;
                // Renders it takes to decode from the key frame to where the
                // play head was when the stand began.
                const double decodes = double(standFrom - standFrom / keyInterval * keyInterval);
                const long most = std::lround(decodes * double(pace.count()) / renderMs * 1.5) + 25;
                ASSERT_LE(stood, most) << "the picture stood " << stood << " renders on frame " << shown
                                       << ", the play head from frame " << standFrom << " to " << at;
            }

            // Where the play head was at the last render before time (-1
            // before the first).
            long headAt(std::chrono::steady_clock::time_point time) const
            {
                const auto after = std::upper_bound(heads.begin(), heads.end(), time,
                                                    [](const auto& at, const auto& head) { return at < head.first; });
                return after == heads.begin() ? -1 : std::prev(after)->second;
            }

            std::chrono::steady_clock::time_point last = std::chrono::steady_clock::now();
            // Where the play head was at each render (step).
            std::vector<std::pair<std::chrono::steady_clock::time_point, long>> heads;
            long standFrom = -1;
            long stood = 0;
        };

        // A run of pictures decoded from a key frame on, and when its last
        // one came.
        struct DecodedRun
        {
            std::vector<long> frames;
            std::chrono::steady_clock::time_point ended;
        };

        std::vector<DecodedRun> runsOf(const std::vector<FrameGate::Decoded>& decoded)
        {
            std::vector<DecodedRun> runs;
            for (const FrameGate::Decoded& picture : decoded)
            {
                if (runs.empty() || picture.frame <= runs.back().frames.back())
                    runs.emplace_back();
                runs.back().frames.push_back(picture.frame);
                runs.back().ended = picture.at;
            }
            return runs;
        }
    }

    // From frame 390 down across key frame 250 to frame 150.
    TEST_P(MovieSlowDecodingGLTest, PlayedBackwardsEachPartDecodedShowsAndPicturesKeepComing)
    {
        FrameGate& gate = FrameGate::get();
        FrameGate::Use use;
        cue(390);
        ASSERT_TRUE(showsFrame(390)) << "frame 390 never showed";
        gate.setPace(pace);
        direct(playBackward);
        std::vector<long> shownFrames;
        // Renders until the play head is at or below frame, each judged,
        // the frames shown recorded. It moves a frame a render: twice the
        // renders that takes are the most (the time they take is the
        // machine's).
        const auto playsDownTo = [&](long frame)
        {
            for (long most = 2 * (headFrame() - frame) + 2; most > 0 && headFrame() > frame && ! HasFatalFailure();
                 --most)
            {
                const long before = shown;
                step();
                if (shown != before)
                    shownFrames.push_back(shown);
            }
        };
        playsDownTo(150);
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_LE(headFrame(), 150) << "the play head did not move down a frame a render";
        ASSERT_LT(shown, 250) << "no frame of the first group showed";
        // A part that met the play head as it reached frame 150 shows at
        // the renders after: ten more, judged alike.
        const auto reached = std::chrono::steady_clock::now();
        playsDownTo(140);
        ASSERT_FALSE(HasFatalFailure());
        const std::vector<FrameGate::Decoded> decoded = gate.decoded();
        // No picture is decoded above where the play head was at the
        // render before (it has passed there): decoding stops where it
        // meets the play head.
        for (const FrameGate::Decoded& picture : decoded)
        {
            const long head = headAt(picture.at);
            if (head >= 0)
            {
                ASSERT_LE(picture.frame, head + 2) << "decoded frame " << picture.frame << ", the play head on frame "
                                                   << head << " at the render before";
            }
        }
        // Every run ended by the time the play head reached frame 150 but
        // the last (it may be under way) shows a frame of its own: above
        // where the next run from its key frame ends.
        const std::vector<DecodedRun> runs = runsOf(decoded);
        ASSERT_GE(runs.size(), 2u);
        // Each run, its frames and where the play head was as it ended.
        std::string told;
        for (const DecodedRun& run : runs)
            told += " " + std::to_string(run.frames.front()) + "-" + std::to_string(run.frames.back()) + "@" +
                    std::to_string(headAt(run.ended));
        for (std::size_t r = 0; r + 1 < runs.size() && runs[r].ended <= reached; ++r)
        {
            const std::vector<long>& run = runs[r].frames;
            const std::vector<long>& next = runs[r + 1].frames;
            const long floor = next.front() == run.front() ? next.back() : run.front() - 1;
            const bool shows = std::any_of(shownFrames.begin(), shownFrames.end(),
                                           [&](long n) { return floor < n && n <= run.back(); });
            EXPECT_TRUE(shows) << "the pictures decoded from frame " << run.front() << " to " << run.back()
                               << " never showed (run " << r + 1 << " of " << runs.size() << ";" << told << ")";
        }
    }

    // Paused, a cue to frame 300 decodes from key frame 250 up to it, once:
    // not first on past it, then again from the group before.
    TEST_P(MovieSlowDecodingGLTest, ACueDecodesFromItsKeyFrameOnce)
    {
        FrameGate& gate = FrameGate::get();
        FrameGate::Use use;
        ASSERT_TRUE(showsFrame(0)) << "frame 0 never showed";
        gate.setPace(std::chrono::milliseconds(1));
        cue(300);
        ASSERT_TRUE(showsFrame(300)) << "frame 300 never showed";
        const std::vector<FrameGate::Decoded> decoded = gate.decoded();
        ASSERT_FALSE(decoded.empty());
        EXPECT_EQ(decoded.front().frame, keyInterval);
        EXPECT_EQ(runsOf(decoded).size(), 1u) << "decoded from frame " << decoded.front().frame << " to "
                                              << decoded.back().frame << " more than once";
        EXPECT_LE(decoded.size(), 300u - keyInterval + 8u) << "decoded past frame 300";
    }

    INSTANTIATE_TEST_SUITE_P(Readers, MovieSlowDecodingGLTest,
                             ::testing::Values(SoundCase{"Silent", false}, SoundCase{"WithSound", true}),
                             [](const auto& info) { return std::string(info.param.name); });
}
