// Movies of 16-aligned, odd and common sizes, made by the ffmpeg tool, played
// as a user plays them: silent ones as file sources, ones with sound through
// the seeking reader the registry makes. Every decoded frame sits in a block
// with an inaccessible page right behind it, so a conversion writing past
// the frame faults instead of passing unseen.

#include "VXMoviePlayback.h"
#include "VXSourcesGLTestSupport.h"

#include "engine/video/formats/avfoundation/VXCoreMedia.h"
#include "engine/video/sources/VXVideoFormatReaderSource.h"
#include "support/VXMovieClips.h"

#include <gtest/gtest.h>

namespace vx::test
{
    namespace
    {
        struct SizeCase
        {
            const char* name;
            int width, height;
            const char* encoder;
            const char* codec;
            bool sound;
        };

        // Every frame is the same picture.
        const int clipFrames = 10;
        // Grey top half, lighter bottom half, the last column near white: a
        // picture cut short, turned over or missing its last column shows.
        const char* const pictureLuma = "if(eq(X,W-1),220,if(lt(Y,H/2),60,120))";
        // The grey a video-range luma shows as.
        int shownGrey(int luma)
        {
            return static_cast<int>((luma - 16) * 255.0 / 219.0 + 0.5);
        }

        class MovieFrameSizesGLTest : public SourcesGLTest, public ::testing::WithParamInterface<SizeCase>
        {
        protected:
            void SetUp() override
            {
                SourcesGLTest::SetUp();
                av::FrameAllocator::setCurrent(&av::FrameAllocator::getGuarded());
            }
            void TearDown() override
            {
                SourcesGLTest::TearDown();
                av::FrameAllocator::setCurrent(nullptr);
            }

            // A read-back (bottom row first) turned over: its top row first.
            static Picture topFirst(Picture picture)
            {
                for (int y = 0; y < picture.height / 2; ++y)
                    std::swap_ranges(picture.pixels.begin() + y * picture.width,
                                     picture.pixels.begin() + (y + 1) * picture.width,
                                     picture.pixels.end() - (y + 1) * picture.width);
                return picture;
            }

            // The last column light, the top half dark (a frame still black or
            // upside down is not yet the picture).
            static bool looksRight(const Picture& picture, int w, int h)
            {
                return picture.width >= w && picture.height >= h && picture.at(w - 1, h / 4).g > 200 &&
                       picture.at(0, h / 4).g < 90;
            }

            // The file source's output while it plays, until it shows the picture.
            Picture playAsFileSource(const std::string& path, int w, int h)
            {
                VideoFormatReader* reader = root->getVideoFormatManager()->createReaderFor(
                    File(path), false, VideoFormatReader::purposePlayback);
                if (reader == nullptr)
                    return {};
                VideoFormatReaderSource source(driver, reader);
                const Picture shown =
                    topFirst(playUntil(source, driver, *renderer, info, 25.0,
                                       [&](const Picture& p) { return looksRight(topFirst(p), w, h); }));
                source.release();
                return shown;
            }

            // The seeking reader's texture (its first row the picture's top)
            // after a seek, until it shows the picture (a minute is only the
            // watchdog).
            Picture playWithSeekingReader(const std::string& path, int w, int h)
            {
                std::unique_ptr<VideoFormatReader> reader(root->getVideoFormatManager()->createReaderFor(
                    File(path), false, VideoFormatReader::purposePlayback));
                if (reader == nullptr || ! reader->getHasAudio() || ! reader->init(0, 0))
                    return {};
                Texture texture;
                Picture shown;
                reader->readFrame(100.0);
                const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
                while (! looksRight(shown, w, h) && std::chrono::steady_clock::now() < deadline)
                {
                    if (reader->updateTexture(&texture))
                        shown = {texture.getWidth(), texture.getHeight(),
                                 readTexture(GL_TEXTURE_RECTANGLE_ARB, texture.getGLName())};
                    std::this_thread::sleep_for(std::chrono::milliseconds(3));
                }
                reader->release();
                return shown;
            }
        };
    }

    TEST_P(MovieFrameSizesGLTest, TheWholePictureShowsUpright)
    {
        const SizeCase& c = GetParam();
        if (! hasFFmpegEncoder(c.encoder))
            GTEST_SKIP() << "ffmpeg has no " << c.encoder << " encoder";
        ClipSpec clip;
        clip.frames = clipFrames;
        clip.width = c.width;
        clip.height = c.height;
        clip.luma = pictureLuma;
        clip.codec = c.codec;
        clip.sound = c.sound;
        const std::string path = temp.file(std::string(c.name) + ".mov");
        ASSERT_TRUE(makeClip(path, clip));

        const Picture shown =
            c.sound ? playWithSeekingReader(path, c.width, c.height) : playAsFileSource(path, c.width, c.height);
        ASSERT_EQ(shown.width, c.width);
        ASSERT_EQ(shown.height, c.height);
        // Lossy codecs ring beside the sharp edges: those pixels are not
        // checked, the rest within 24 of the grey the luma stands for.
        const int tolerance = 24;
        for (int y = 0; y < c.height; ++y)
        {
            if (std::abs(y - c.height / 2) <= 2)
                continue;
            const int grey = shownGrey(y < c.height / 2 ? 60 : 120);
            for (int x = 0; x < c.width - 9; x += 3)
                ASSERT_NEAR(shown.at(x, y).g, grey, tolerance) << "pixel " << x << ", " << y << " from the top";
            ASSERT_NEAR(shown.at(c.width - 1, y).g, shownGrey(220), tolerance) << "last column, row " << y;
        }
    }

    INSTANTIATE_TEST_SUITE_P(
        Sizes, MovieFrameSizesGLTest,
        ::testing::Values(SizeCase{"H264_160x96", 160, 96, "libx264", "-c:v libx264 -qp 0 -pix_fmt yuv420p", false},
                          SizeCase{"H264_100x60", 100, 60, "libx264", "-c:v libx264 -qp 0 -pix_fmt yuv420p", false},
                          SizeCase{"MPEG4_101x61", 101, 61, "mpeg4", "-c:v mpeg4 -q:v 2 -bf 2", false},
                          SizeCase{"ProRes_102x60", 102, 60, "prores_ks", "-c:v prores_ks -profile:v 3", false},
                          SizeCase{"MJPEG_854x480", 854, 480, "mjpeg", "-c:v mjpeg -q:v 2", false},
                          SizeCase{"H264_1366x768", 1366, 768, "libx264", "-c:v libx264 -qp 0 -pix_fmt yuv420p", false},
                          SizeCase{"H264_161x97", 161, 97, "libx264", "-c:v libx264 -qp 0 -pix_fmt yuv444p", false},
                          SizeCase{"MJPEG_161x97", 161, 97, "mjpeg", "-c:v mjpeg -q:v 2 -pix_fmt yuvj444p", false},
                          SizeCase{"H264Sound_101x61", 101, 61, "libx264", "-c:v libx264 -qp 0 -pix_fmt yuv444p", true},
                          SizeCase{"H264Sound_854x480", 854, 480, "libx264", "-c:v libx264 -qp 0 -pix_fmt yuv420p",
                                   true}),
        [](const auto& info) { return std::string(info.param.name); });
}
