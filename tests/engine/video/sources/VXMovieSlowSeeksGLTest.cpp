// Movies whose seeks take longer than the play head takes to move on, as on a
// slow machine, played as file sources: the source shows each frame its
// reader lands on, late, rather than sending the reader on to the play head
// before anything lands.

#include "VXSourcesGLTestSupport.h"

#include "core/parameters/VXParamRange.h"
#include "engine/video/formats/VXAVFVideoFormat.h"
#include "engine/video/formats/avfoundation/VXAVFPlayer.h"
#include "engine/video/formats/avfoundation/VXScriptedMediaBackend.h"
#include "engine/video/sources/VXVideoFormatReaderSource.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <deque>
#include <set>

namespace vx::test
{
    namespace
    {
        // The scripted movies' decoding, its seeks landing one at a time on
        // the test's word: a seek makes what was decoded stale, and the frame
        // a seek lands on is kept only when no later seek waits (that one is
        // what will show), as the decoding worker does.
        class TrailingSession final : public av::DecodingSession
        {
        public:
            explicit TrailingSession(std::unique_ptr<av::DecodingSession> scripted) : decoded(std::move(scripted)) {}

            void setPixelFormat(av::FourCharCode format) override { decoded->setPixelFormat(format); }
            void seek(double seconds, double, double, std::function<void(double)> done) override
            {
                std::lock_guard<std::mutex> hold(lock);
                waiting.push_back({seconds, std::move(done)});
                kept.reset();
            }
            void setRate(float rate) override { decoded->setRate(rate); }
            void setAudioVolume(int track, float volume) override { decoded->setAudioVolume(track, volume); }
            std::shared_ptr<av::PixelBuffer> frameForTime(double) override
            {
                std::lock_guard<std::mutex> hold(lock);
                return kept;
            }

            // Lands the oldest seek; false when none waits.
            bool landOldest()
            {
                std::pair<double, std::function<void(double)>> seek;
                {
                    std::lock_guard<std::mutex> hold(lock);
                    if (waiting.empty())
                        return false;
                    seek = std::move(waiting.front());
                    waiting.pop_front();
                    std::shared_ptr<av::PixelBuffer> frame = decoded->frameForTime(seek.first);
                    if (waiting.empty())
                        kept = frame;
                    landedFrame = frame != nullptr ? frame->frameIndex : -1;
                }
                if (seek.second)
                    seek.second(seek.first);
                return true;
            }
            std::size_t getNumWaiting()
            {
                std::lock_guard<std::mutex> hold(lock);
                return waiting.size();
            }
            long getLandedFrame()
            {
                std::lock_guard<std::mutex> hold(lock);
                return landedFrame;
            }

        private:
            std::unique_ptr<av::DecodingSession> decoded;
            std::mutex lock;
            std::deque<std::pair<double, std::function<void(double)>>> waiting;
            std::shared_ptr<av::PixelBuffer> kept;
            long landedFrame = -1;
        };

        class TrailingAsset final : public av::MediaAsset
        {
        public:
            TrailingAsset(std::shared_ptr<av::MediaAsset> scripted, TrailingSession*& made)
                : asset(std::move(scripted)), session(made)
            {
            }
            const av::AssetFacts& getFacts() const override { return asset->getFacts(); }
            std::unique_ptr<av::DecodingSession> createSession() override
            {
                auto trailing = std::make_unique<TrailingSession>(asset->createSession());
                session = trailing.get();
                return trailing;
            }
            av::CGImageRef copyImageAtTime(double seconds, double* actual, std::string* error) override
            {
                return asset->copyImageAtTime(seconds, actual, error);
            }

        private:
            std::shared_ptr<av::MediaAsset> asset;
            TrailingSession*& session;
        };

        // The scripted backend's movies with trailing seeks; the session of
        // the movie opened last.
        class TrailingBackend final : public av::MediaBackend
        {
        public:
            TrailingBackend() { av::MediaBackend::setCurrent(this); }
            ~TrailingBackend() override { av::MediaBackend::setCurrent(nullptr); }

            std::shared_ptr<av::MediaAsset> openAsset(const std::string& path) override
            {
                std::shared_ptr<av::MediaAsset> asset = scripted.openAsset(path);
                return asset != nullptr ? std::make_shared<TrailingAsset>(asset, session) : nullptr;
            }
            std::unique_ptr<av::MovieEncoder> createEncoder(const av::EncoderSettings& settings) override
            {
                return scripted.createEncoder(settings);
            }

            ScriptedBackend scripted;
            TrailingSession* session = nullptr;
        };

        struct SoundCase
        {
            const char* name;
            int audioTracks; // with sound the seeking reader, without the self-timed one
        };

        class MovieSlowSeeksGLTest : public SourcesGLTest, public ::testing::WithParamInterface<SoundCase>
        {
        protected:
            void SetUp() override
            {
                SourcesGLTest::SetUp();
                quiet.requestThreadStop();
                while (quiet.isThreadRunning())
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }

            // The scripted frame the output shows (k modulo 27, by its
            // grey); -1 for none.
            long shownFrame(VideoFormatReaderSource& source)
            {
                const Picture picture = readOutput(source.render(*renderer, info));
                if (picture.pixels.empty())
                    return -1;
                const PixelRGBA8 p = picture.at(picture.width / 4, picture.height / 4);
                for (long k = 0; k < 27; ++k)
                    if (std::abs(int(p.g) - int(std::lround((lumaOfFrame(k) - 16) * 255.0 / 219.0))) <= 4)
                        return k;
                ADD_FAILURE() << "no scripted frame shows " << p;
                return -2;
            }

            ManualClock clock;
            TrailingBackend backend;
            // Its thread stopped: the test is the feeding thread.
            VideoSourceDataDriver quiet;
        };
    }

    // The play head moves a frame every 40 ms of the clock; each seek lands
    // only after the play head has moved 12 frames on. After each landing the
    // play head enters another frame before the next render, as it does when
    // the feeding thread passes first: that render shows the frame landed on.
    TEST_P(MovieSlowSeeksGLTest, EachFrameLandedOnShowsThoughThePlayHeadHasMovedOn)
    {
        backend.scripted.addMovie("/m/movie.mov", GetParam().audioTracks);
        AVFVideoFormat format;
        VideoFormatReader* reader = format.createReaderFor(File("/m/movie.mov"));
        ASSERT_NE(reader, nullptr);
        ASSERT_EQ(reader->getHasAudio(), GetParam().audioTracks > 0);
        AVFPlayer::lastSeekTime = 0.0;
        VideoFormatReaderSource source(quiet, reader);
        double position = 10000.0 + 20.0;
        source.getPositionParam()->setValue(position, ValueChangeInfo());
        const auto step = [&]
        {
            clock.advance(0.04);
            position += 40.0;
            source.getPositionParam()->setValue(position, ValueChangeInfo());
            source.updateVideo();
        };
        EXPECT_EQ(shownFrame(source), -1) << "nothing has landed yet";
        ASSERT_NE(backend.session, nullptr);

        // Distinct frames landed on (their pictures repeat every 27 frames).
        std::set<long> landedOn;
        for (int round = 0; round < 3; ++round)
        {
            SCOPED_TRACE("round " + std::to_string(round));
            const std::size_t asked = backend.session->getNumWaiting();
            ASSERT_GE(asked, 1u) << "the reader was not sent to the play head";
            for (int i = 0; i < 12; ++i)
            {
                step();
                shownFrame(source);
            }
            for (std::size_t i = 0; i < asked; ++i)
                ASSERT_TRUE(backend.session->landOldest());
            const long landed = backend.session->getLandedFrame();
            step();
            EXPECT_EQ(shownFrame(source), landed % 27) << "landed on frame " << landed;
            landedOn.insert(landed);
            step();
        }
        EXPECT_EQ(landedOn.size(), 3u);
        source.release();
    }

    // The reader with sound takes a landed frame in as it is read, so the
    // source sends it on to the play head at once: a frame of that later
    // seek landing before the render is what the render shows, not the one
    // landed before it.
    TEST_F(MovieSlowSeeksGLTest, ASeekingReaderShowsTheLaterFrameLandedBeforeTheRender)
    {
        backend.scripted.addMovie("/m/movie.mov", 1);
        AVFVideoFormat format;
        VideoFormatReader* reader = format.createReaderFor(File("/m/movie.mov"));
        ASSERT_NE(reader, nullptr);
        VideoFormatReaderSource source(quiet, reader);
        source.getPositionParam()->setValue(5 * 40.0 + 20.0, ValueChangeInfo());
        EXPECT_EQ(shownFrame(source), -1) << "nothing has landed yet";
        ASSERT_NE(backend.session, nullptr);
        while (backend.session->landOldest())
        {
        }
        // The play head moves on before a render took frame 5.
        source.getPositionParam()->setValue(9 * 40.0 + 20.0, ValueChangeInfo());
        source.updateVideo();
        ASSERT_EQ(backend.session->getNumWaiting(), 1u) << "the reader was not sent on to the play head";
        ASSERT_TRUE(backend.session->landOldest());
        source.updateVideo();
        EXPECT_EQ(shownFrame(source), 9);
        EXPECT_EQ(shownFrame(source), 9);
        source.release();
    }

    INSTANTIATE_TEST_SUITE_P(Readers, MovieSlowSeeksGLTest,
                             ::testing::Values(SoundCase{"Silent", 0}, SoundCase{"WithSound", 1}),
                             [](const auto& info) { return std::string(info.param.name); });
}
