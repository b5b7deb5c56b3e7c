// The self-timed player notices the end of its movie when the movie ends,
// with nobody asking for frames or time, on a movie the ffmpeg tool makes.
// Half a minute is only the watchdog: a loaded machine wakes threads late.

#include "VXIndexedClips.h"

#include "engine/video/formats/avfoundation/VXAVFPlayer.h"
#include "support/VXTempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace vx::test
{
    TEST(AVFPlayerEndTest, APlayedMovieStopsPlayingWhenItEnds)
    {
        if (! hasFFmpegEncoder("mpeg4"))
            GTEST_SKIP() << "ffmpeg has no mpeg4 encoder";
        TempDir dir;
        const std::string path = dir.file("short.mov");
        IndexedClip clip;
        clip.video = "-c:v mpeg4 -q:v 2";
        clip.seconds = 0.6;
        ASSERT_TRUE(makeIndexedClip(path, clip));
        AVFPlayer player(path.c_str());
        ASSERT_TRUE(player.isValid());
        EXPECT_EQ(player.getNumFrames(), 15u);
        const auto started = std::chrono::steady_clock::now();
        player.play();
        EXPECT_TRUE(player.isPlaying());
        while (player.isPlaying() && std::chrono::steady_clock::now() - started < std::chrono::seconds(30))
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        EXPECT_FALSE(player.isPlaying());
        EXPECT_GE(took, 0.55) << "ended before the movie did";

        // Played again it ends again.
        player.play();
        EXPECT_TRUE(player.isPlaying());
        const auto again = std::chrono::steady_clock::now();
        while (player.isPlaying() && std::chrono::steady_clock::now() - again < std::chrono::seconds(30))
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_FALSE(player.isPlaying());
    }
}
