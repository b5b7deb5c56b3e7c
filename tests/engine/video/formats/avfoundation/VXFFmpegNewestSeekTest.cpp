// The FFmpeg backend's decoding session given seeks faster than it lands
// them, as backward play of a long-GOP movie does: the newest wins, and no
// picture is decoded for nothing on the way.

#include "engine/video/formats/avfoundation/VXMediaBackend.h"
#include "support/VXFrameGate.h"
#include "support/VXMovieClips.h"
#include "support/VXTempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vx::test
{
    namespace
    {
        constexpr std::chrono::seconds watchdog{60};

        // A clip of frames numbered in luma, made with codec.
        ClipSpec numberedClip(int frames, const char* codec)
        {
            ClipSpec spec;
            spec.frames = frames;
            spec.luma = "N";
            spec.codec = codec;
            return spec;
        }

        // A decoding session of path giving 4:2:2 buffers, with its asset.
        struct Session
        {
            std::shared_ptr<av::MediaAsset> asset;
            std::unique_ptr<av::DecodingSession> session;
        };

        Session openSession(const std::string& path)
        {
            Session opened;
            opened.asset = av::MediaBackend::getDefault().openAsset(path);
            if (opened.asset != nullptr)
                opened.session = opened.asset->createSession();
            if (opened.session != nullptr)
                opened.session->setPixelFormat(av::pixelFormat422YpCbCr8);
            return opened;
        }

        // The frame a seek lands on, by its completion; -1 when none lands in time.
        long landOn(av::DecodingSession& session, long frame, double before)
        {
            std::mutex lock;
            std::condition_variable changed;
            bool done = false;
            session.seek(frame / 25.0, before, 0.0,
                         [&](double)
                         {
                             std::lock_guard<std::mutex> hold(lock);
                             done = true;
                             changed.notify_all();
                         });
            std::unique_lock<std::mutex> hold(lock);
            if (! changed.wait_for(hold, watchdog, [&] { return done; }))
                return -1;
            unsigned long landings = 0;
            const std::shared_ptr<av::PixelBuffer> landed = session.lastLandedFrame(landings);
            return landed != nullptr ? landed->frameIndex : -1;
        }

        // A clip of 60 frames (or as many as given) with a key frame every
        // 30, decoded by a session whose frames come through the gate; the
        // session null when either could not be made.
        struct GatedClip
        {
            explicit GatedClip(const char* codec = "-c:v mpeg4 -g 30", int frames = 60)
            {
                const std::string path = temp.file("gop30.mov");
                if (makeClip(path, numberedClip(frames, codec)))
                    opened = openSession(path);
                session = opened.session.get();
            }
            TempDir temp;
            // Outlives the session, whose frames it made.
            FrameGate::Use use;
            Session opened;
            av::DecodingSession* session = nullptr;
        };
    }

    // A seek to frame 200 is held as it lands; seeks to 190, 180 and 170
    // come meanwhile. 190 and 180, replaced before they started, are not
    // run: their completions come with 170's, at 170's time; then 170 shows.
    TEST(FFmpegNewestSeekTest, SeeksReplacedBeforeTheyStartAreDroppedAndTheLandedFrameShows)
    {
        if (! hasFFmpegEncoder("libx264"))
            GTEST_SKIP() << "ffmpeg has no libx264 encoder";
        TempDir temp;
        ClipSpec spec =
            numberedClip(250, "-c:v libx264 -preset ultrafast -g 250 -keyint_min 250 -sc_threshold 0 -pix_fmt yuv420p");
        spec.width = 320;
        spec.height = 180;
        const std::string path = temp.file("long.mov");
        ASSERT_TRUE(makeClip(path, spec));
        // Outlives the session, whose frames it made.
        FrameGate::Use use;
        FrameGate& gate = FrameGate::get();
        const Session opened = openSession(path);
        ASSERT_NE(opened.session, nullptr);
        av::DecodingSession* session = opened.session.get();

        std::mutex lock;
        std::condition_variable changed;
        std::vector<std::pair<long, double>> completed;
        const auto doneFor = [&](long frame)
        {
            return [&, frame](double reached)
            {
                std::lock_guard<std::mutex> hold(lock);
                completed.emplace_back(frame, reached);
                changed.notify_all();
            };
        };
        const auto at = [](long frame) { return frame / 25.0; };
        {
            // The format's own seek to the start lands first.
            std::shared_ptr<av::PixelBuffer> first;
            const auto giveUp = std::chrono::steady_clock::now() + watchdog;
            while ((first = session->frameForTime(0.0)) == nullptr && std::chrono::steady_clock::now() < giveUp)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ASSERT_NE(first, nullptr);
        }
        gate.setOpen(false);
        session->seek(at(200), 0.0, 0.0, doneFor(200));
        ASSERT_TRUE(gate.awaitWaiter(watchdog));
        session->seek(at(190), 0.0, 0.0, doneFor(190));
        session->seek(at(180), 0.0, 0.0, doneFor(180));
        session->seek(at(170), 0.0, 0.0, doneFor(170));
        gate.setOpen(true);
        std::unique_lock<std::mutex> hold(lock);
        ASSERT_TRUE(changed.wait_for(hold, watchdog, [&] { return completed.size() == 4; }));
        ASSERT_EQ(completed.front().first, 200);
        EXPECT_DOUBLE_EQ(completed.front().second, at(200));
        for (std::size_t i = 1; i < completed.size(); ++i)
            EXPECT_DOUBLE_EQ(completed[i].second, at(170)) << "the seek to " << completed[i].first;
        hold.unlock();
        std::shared_ptr<av::PixelBuffer> shown = session->frameForTime(at(170) + 0.001);
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(shown->frameIndex, 170);
    }

    // An MPEG program stream (no index of key frames; one every 15 frames)
    // sought with a tolerance before of any length, as at random: the seek
    // lands at or before the frame, never before its key frame, wherever the
    // decoder was and however far the demuxer had to go back.
    TEST(FFmpegNewestSeekTest, ASeekWithAnyToleranceBeforeLandsNoEarlierThanTheKeyFrameBefore)
    {
        TempDir temp;
        const std::string path = temp.file("gop15.mpg");
        ASSERT_TRUE(makeClip(path, numberedClip(103, "-c:v mpeg1video -g 15 -bf 2 -q:v 2 -f mpeg")));
        const Session opened = openSession(path);
        ASSERT_NE(opened.session, nullptr);
        av::DecodingSession* session = opened.session.get();
        const double any = std::numeric_limits<double>::infinity();
        for (const long frame : {101L, 65L, 69L, 36L, 100L, 4L, 89L, 52L})
        {
            const long landed = landOn(*session, frame, any);
            EXPECT_LE(landed, frame) << "sought " << frame;
            EXPECT_GE(landed, frame / 15 * 15) << "sought " << frame;
        }
    }

    // The frame a seek landed on stays the newest landed while a later seek
    // runs (whose start clears what is shown at a time); the later one,
    // landed, replaces it and counts higher.
    TEST(FFmpegNewestSeekTest, TheLastLandedFrameStaysWhileALaterSeekRuns)
    {
        const GatedClip clip;
        ASSERT_NE(clip.session, nullptr);
        av::DecodingSession* session = clip.session;
        FrameGate& gate = FrameGate::get();
        ASSERT_EQ(landOn(*session, 40, 0.0), 40);
        unsigned long first = 0;
        session->lastLandedFrame(first);
        gate.setOpen(false);
        session->seek(20 / 25.0, 0.0, 0.0, [](double) {});
        ASSERT_TRUE(gate.awaitWaiter(std::chrono::seconds(60)));
        unsigned long during = 0;
        const std::shared_ptr<av::PixelBuffer> held = session->lastLandedFrame(during);
        ASSERT_NE(held, nullptr);
        EXPECT_EQ(held->frameIndex, 40);
        EXPECT_EQ(during, first);
        EXPECT_EQ(session->frameForTime(40 / 25.0), nullptr);
        gate.setOpen(true);
        ASSERT_EQ(landOn(*session, 20, 0.0), 20);
        unsigned long after = 0;
        session->lastLandedFrame(after);
        EXPECT_GT(after, first);
    }

    // The picture's way forwards from a frame landed on, a seek is held as
    // it lands and a later one comes meanwhile. In the next key-frame
    // group (on its key frame too), the one held is given up: its frame never lands, its
    // completion comes with the later one's time. On in its own group, it
    // lands, and the later one is decoded on from it.
    TEST(FFmpegNewestSeekTest, ASeekUnderWayIsGivenUpForOneInAnotherGroupNotForOneOnInItsOwn)
    {
        FrameGate& gate = FrameGate::get();
        struct Case
        {
            long from, held, later;
            bool lands;
        };
        // Key frames at 0 and 30: the later seek exactly on the next key
        // frame lies in another group too.
        const Case cases[] = {{5, 20, 50, false}, {5, 10, 25, true}, {5, 20, 30, false}};
        for (const Case& c : cases)
        {
            SCOPED_TRACE(std::to_string(c.held) + " then " + std::to_string(c.later));
            // A movie of its own per case: one kept from an earlier case
            // would land the held frame at once, past the gate. The frames
            // change too much for the encoder's own key frames.
            const GatedClip clip("-c:v mpeg4 -g 30 -sc_threshold 1000000000");
            ASSERT_NE(clip.session, nullptr);
            av::DecodingSession* session = clip.session;
            ASSERT_EQ(landOn(*session, c.from, 0.0), c.from);
            session->setPictureWay(c.from, 1);
            unsigned long before = 0;
            session->lastLandedFrame(before);
            std::mutex lock;
            std::condition_variable changed;
            std::vector<double> reached;
            const auto done = [&](double seconds)
            {
                std::lock_guard<std::mutex> hold(lock);
                reached.push_back(seconds);
                changed.notify_all();
            };
            gate.setOpen(false);
            session->seek(c.held / 25.0, 0.0, 0.0, done);
            ASSERT_TRUE(gate.awaitWaiter(watchdog));
            session->seek(c.later / 25.0, 0.0, 0.0, done);
            // The held seek's frame out; the later seek waits with its own.
            ASSERT_TRUE(gate.passOne(watchdog));
            unsigned long during = 0;
            const std::shared_ptr<av::PixelBuffer> landed = session->lastLandedFrame(during);
            {
                std::lock_guard<std::mutex> hold(lock);
                EXPECT_EQ(reached, c.lands ? std::vector<double>{c.held / 25.0} : std::vector<double>{});
            }
            if (c.lands)
            {
                ASSERT_NE(landed, nullptr);
                EXPECT_EQ(landed->frameIndex, c.held);
            }
            else
                EXPECT_EQ(during, before) << "the frame given up landed";
            gate.setOpen(true);
            std::unique_lock<std::mutex> hold(lock);
            ASSERT_TRUE(changed.wait_for(hold, watchdog, [&] { return reached.size() == 2; }));
            EXPECT_DOUBLE_EQ(reached.back(), c.later / 25.0);
            hold.unlock();
            const std::shared_ptr<av::PixelBuffer> shown = session->frameForTime(c.later / 25.0 + 0.001);
            ASSERT_NE(shown, nullptr);
            EXPECT_EQ(shown->frameIndex, c.later);
        }
    }

    // Played forward, the session is decoding on towards a frame until it
    // is queued; not when paused, nor beyond what it decodes ahead, nor
    // while a seek waits to bring the frame.
    TEST(FFmpegNewestSeekTest, PlayedForwardItDecodesTowardAFrameUntilItIsThere)
    {
        const GatedClip clip;
        ASSERT_NE(clip.session, nullptr);
        av::DecodingSession* session = clip.session;
        FrameGate& gate = FrameGate::get();
        const auto at = [](long frame) { return frame / 25.0; };
        const auto settles = [session](double seconds)
        {
            const auto giveUp = std::chrono::steady_clock::now() + watchdog;
            while (session->isDecodingToward(seconds))
                if (std::chrono::steady_clock::now() > giveUp)
                    return false;
                else
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return true;
        };
        ASSERT_EQ(landOn(*session, 10, 0.0), 10);
        EXPECT_FALSE(session->isDecodingToward(at(12))) << "paused";
        gate.setOpen(false);
        session->setRate(1.0f);
        ASSERT_TRUE(gate.awaitWaiter(watchdog));
        EXPECT_TRUE(session->isDecodingToward(at(12)));
        EXPECT_FALSE(session->isDecodingToward(at(10))) << "the frame landed on is there";
        gate.setOpen(true);
        ASSERT_TRUE(settles(at(12)));
        const std::shared_ptr<av::PixelBuffer> shown = session->frameForTime(at(12));
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(shown->frameIndex, 12);
        EXPECT_TRUE(settles(at(40))) << "beyond the frames decoded ahead";
        gate.setOpen(false);
        session->seek(at(50), 0.0, 0.0, [](double) {});
        EXPECT_FALSE(session->isDecodingToward(at(50))) << "a seek brings it";
        gate.setOpen(true);
        EXPECT_EQ(landOn(*session, 50, 0.0), 50);
    }

    // Played backwards by key-frame groups, a frame-exact seek two groups
    // down with the picture's way turned forwards (a cue and a turn, as the
    // player asks them) is taken by the worker; the rate turns forwards
    // while it is held as it lands, or as it completes (its frame queued).
    // Forward play goes on from that seek's frame: not from the frame
    // backward play was on (kept, it would land at once after it, with the
    // kept frames after it queued above the play head), nor with the
    // landed frame dropped from the queue; either way the play head's frame
    // would never show.
    TEST(FFmpegNewestSeekTest, TurnedForwardsWhileItsSeekIsUnderWayPlayGoesOnFromThatSeeksFrame)
    {
        FrameGate& gate = FrameGate::get();
        for (const bool asItCompletes : {false, true})
        {
            SCOPED_TRACE(asItCompletes ? "turned as the seek completes" : "turned while the seek is held");
            const GatedClip clip("-c:v mpeg4 -g 30 -sc_threshold 1000000000", 90);
            ASSERT_NE(clip.session, nullptr);
            av::DecodingSession* session = clip.session;
            const auto at = [](long frame) { return frame / 25.0 + 0.001; };
            // Shows frame within the watchdog, asked for as the player does.
            const auto shows = [session, &at](long frame)
            {
                const auto giveUp = std::chrono::steady_clock::now() + watchdog;
                for (;;)
                {
                    session->isDecodingToward(at(frame));
                    const std::shared_ptr<av::PixelBuffer> shown = session->frameForTime(at(frame));
                    if (shown != nullptr && shown->frameIndex == frame)
                        return true;
                    if (std::chrono::steady_clock::now() > giveUp)
                        return false;
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
            };
            ASSERT_EQ(landOn(*session, 80, 0.0), 80);
            session->setPictureWay(80, -1);
            session->setRate(-1.0f);
            for (long frame = 80; frame >= 75; --frame)
                ASSERT_TRUE(shows(frame)) << frame;
            // Until the worker has nothing left to do: the seek is the one
            // held.
            const auto giveUp = std::chrono::steady_clock::now() + watchdog;
            while (session->isDecodingToward(at(75)) && std::chrono::steady_clock::now() < giveUp)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            gate.setOpen(false);
            session->setPictureWay(10, 1);
            std::mutex lock;
            std::condition_variable changed;
            bool landed = false;
            session->seek(10 / 25.0, 0.0, 0.0,
                          [&](double)
                          {
                              if (asItCompletes)
                                  session->setRate(1.0f);
                              std::lock_guard<std::mutex> hold(lock);
                              landed = true;
                              changed.notify_all();
                          });
            ASSERT_TRUE(gate.awaitWaiter(watchdog));
            if (! asItCompletes)
                session->setRate(1.0f);
            gate.setOpen(true);
            {
                std::unique_lock<std::mutex> hold(lock);
                ASSERT_TRUE(changed.wait_for(hold, watchdog, [&] { return landed; }));
            }
            ASSERT_TRUE(shows(10));
            EXPECT_TRUE(shows(12));
        }
    }

    // Followed backwards by seeks (the reader with sound): a part decodes
    // from key frame 0 toward frame 25, a seek to 20 comes on its way and
    // lands as it is decoded; the next seek, asked while 20 is converted
    // (held in the gate), wants 20 again or 19, both held. The part ends
    // there: no picture above them is decoded (the play head has passed).
    TEST(FFmpegNewestSeekTest, FollowedBackwardsAPartEndsAtTheFrameOfASeekAskedWhileTheLastLands)
    {
        FrameGate& gate = FrameGate::get();
        for (const long next : {20L, 19L})
        {
            SCOPED_TRACE("then a seek to " + std::to_string(next));
            const GatedClip clip("-c:v mpeg4 -g 30 -sc_threshold 1000000000", 60);
            ASSERT_NE(clip.session, nullptr);
            av::DecodingSession* session = clip.session;
            ASSERT_EQ(landOn(*session, 0, 0.0), 0);
            session->setPictureWay(40, -1);
            gate.setPace(std::chrono::milliseconds(20));
            gate.setOpen(false);
            session->seek(25 / 25.0, 0.0, 0.0, {});
            const auto giveUp = std::chrono::steady_clock::now() + watchdog;
            while (gate.decoded().empty() && std::chrono::steady_clock::now() < giveUp)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            session->seek(20 / 25.0, 0.0, 0.0, {});
            ASSERT_LT(gate.decoded().back().frame, 20) << "decoded past frame 20 before its seek was asked";
            ASSERT_TRUE(gate.awaitWaiter(watchdog));
            std::mutex lock;
            std::condition_variable changed;
            bool landed = false;
            std::vector<FrameGate::Decoded> decoded;
            session->seek(next / 25.0, 0.0, 0.0,
                          [&](double)
                          {
                              std::vector<FrameGate::Decoded> sofar = gate.decoded();
                              std::lock_guard<std::mutex> hold(lock);
                              decoded = std::move(sofar);
                              landed = true;
                              changed.notify_all();
                          });
            gate.setOpen(true);
            std::unique_lock<std::mutex> hold(lock);
            ASSERT_TRUE(changed.wait_for(hold, watchdog, [&] { return landed; }));
            ASSERT_FALSE(decoded.empty());
            EXPECT_EQ(decoded.back().frame, 20) << "decoded on to frame " << decoded.back().frame;
        }
    }

    // Played backwards by key-frame groups, the play head moves down frame
    // by frame as the player asks: at each the picture (the render), then,
    // while another frame shows, whether its own is on the way (the player,
    // before the next render). Once not on the way it is there. The play
    // head moved by the render is news to a worker waiting idle: taken for
    // idle before the worker has looked, the next render would show the
    // frame above the play head's.
    TEST(FFmpegNewestSeekTest, PlayedBackwardsEachFrameShowsOrIsOnTheWay)
    {
        const GatedClip clip("-c:v mpeg4 -g 10 -sc_threshold 1000000000", 100);
        ASSERT_NE(clip.session, nullptr);
        av::DecodingSession* session = clip.session;
        const auto at = [](long frame) { return frame / 25.0 + 0.001; };
        ASSERT_EQ(landOn(*session, 99, 0.0), 99);
        session->setPictureWay(99, -1);
        session->setRate(-1.0f);
        const auto giveUp = std::chrono::steady_clock::now() + watchdog;
        for (long frame = 99; frame >= 0; --frame)
        {
            std::shared_ptr<av::PixelBuffer> shown = session->frameForTime(at(frame));
            while ((shown == nullptr || shown->frameIndex != frame) && session->isDecodingToward(at(frame)))
            {
                ASSERT_LT(std::chrono::steady_clock::now(), giveUp) << "frame " << frame << " never showed";
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                shown = session->frameForTime(at(frame));
            }
            // Not on the way any more: there.
            if (shown == nullptr || shown->frameIndex != frame)
                shown = session->frameForTime(at(frame));
            ASSERT_NE(shown, nullptr) << "frame " << frame << " taken for there or not due, nothing showing";
            ASSERT_EQ(shown->frameIndex, frame) << "frame " << frame << " taken for there or not due";
        }
    }

    // A seek to frame 29 of a movie with four B-frames in a row and a key
    // frame every 30: key frame 30 is decoded several frames before 29 is
    // shown, so by the index (of decoding times) the demuxer lands on it.
    // Whether sought frame-exactly or followed backwards (the part ending at
    // 29 decoded for backward play), the pictures decoded up to 29 come from
    // key frame 0: none of the group above is decoded for nothing first.
    TEST(FFmpegNewestSeekTest, ASeekToTheFrameBeforeAKeyFrameDecodesNothingOfTheGroupAbove)
    {
        if (! hasFFmpegEncoder("libx265"))
            GTEST_SKIP() << "ffmpeg has no libx265 encoder";
        FrameGate& gate = FrameGate::get();
        for (const bool backwards : {false, true})
        {
            SCOPED_TRACE(backwards ? "followed backwards" : "frame-exact");
            const GatedClip clip("-c:v libx265 -preset ultrafast -x265-params "
                                 "keyint=30:min-keyint=30:scenecut=0:bframes=4:log-level=error -pix_fmt yuv420p",
                                 60);
            ASSERT_NE(clip.session, nullptr);
            ASSERT_EQ(landOn(*clip.session, 0, 0.0), 0);
            if (backwards)
                clip.session->setPictureWay(40, -1);
            gate.setPace(std::chrono::milliseconds(1));
            ASSERT_EQ(landOn(*clip.session, 29, 0.0), 29);
            const std::vector<FrameGate::Decoded> decoded = gate.decoded();
            const auto reached = std::find_if(decoded.begin(), decoded.end(),
                                              [](const FrameGate::Decoded& picture) { return picture.frame >= 29; });
            ASSERT_NE(reached, decoded.end());
            EXPECT_EQ(reached->frame, 29) << "decoded frame " << reached->frame << " on the way to 29";
        }
    }

    // Followed backwards by seeks (the reader with sound) while a part of
    // the key-frame group below decodes ahead (or, at frame 0, the movie's
    // end for a loop's wrap), each picture paced: a seek to a held frame
    // lands from what is held, its frame converted in the closed gate, and
    // the next seek (to the frame below, held too) comes meanwhile. Both
    // land, and the decoding ahead goes on: none of its pictures is decoded
    // twice by the time the play head reaches its top (stopped for the seek,
    // it would start afresh from its key frame).
    TEST(FFmpegNewestSeekTest, FollowedBackwardsASeekAskedWhileTheLastLandsLeavesTheDecodingAheadGoingOn)
    {
        const struct
        {
            const char* name;
            long from, ahead, last;
        } cases[] = {
            {"the part below", 59, 0, 29},
            {"the movie's end", 5, 30, 59},
        };
        FrameGate& gate = FrameGate::get();
        for (const auto& c : cases)
        {
            SCOPED_TRACE(c.name);
            const GatedClip clip("-c:v mpeg4 -g 30 -sc_threshold 1000000000", 60);
            ASSERT_NE(clip.session, nullptr);
            av::DecodingSession* session = clip.session;
            ASSERT_EQ(landOn(*session, 0, 0.0), 0);
            session->setPictureWay(c.from + 1, -1);
            gate.setPace(std::chrono::milliseconds(20));
            ASSERT_EQ(landOn(*session, c.from, 0.0), c.from);
            const auto decodedAhead = [&]
            {
                std::vector<long> frames;
                for (const FrameGate::Decoded& picture : gate.decoded())
                    if (c.ahead <= picture.frame && picture.frame <= c.last)
                        frames.push_back(picture.frame);
                return frames;
            };
            const auto giveUp = std::chrono::steady_clock::now() + watchdog;
            while (decodedAhead().empty() && std::chrono::steady_clock::now() < giveUp)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ASSERT_FALSE(decodedAhead().empty()) << "nothing decoded ahead";
            gate.setOpen(false);
            session->seek((c.from - 1) / 25.0, 0.0, 0.0, {});
            ASSERT_TRUE(gate.awaitWaiter(watchdog));
            std::mutex lock;
            std::condition_variable changed;
            bool landed = false;
            session->seek((c.from - 2) / 25.0, 0.0, 0.0,
                          [&](double)
                          {
                              std::lock_guard<std::mutex> hold(lock);
                              landed = true;
                              changed.notify_all();
                          });
            gate.setOpen(true);
            {
                std::unique_lock<std::mutex> hold(lock);
                ASSERT_TRUE(changed.wait_for(hold, watchdog, [&] { return landed; }));
            }
            // The play head at the top of what was decoded ahead.
            ASSERT_EQ(landOn(*session, c.last, 0.0), c.last);
            const std::vector<long> frames = decodedAhead();
            const auto again = std::adjacent_find(frames.begin(), frames.end(), std::greater_equal<long>());
            EXPECT_TRUE(again == frames.end()) << "decoded frame " << again[1] << " again after " << again[0];
        }
    }
}
