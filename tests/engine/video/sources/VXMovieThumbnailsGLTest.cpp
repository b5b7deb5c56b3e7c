// Thumbnails of movies made by the ffmpeg tool, asked of file sources over
// both movie readers: a phone's portrait movie, stored on its side with a
// display matrix turning it, gives an upright thumbnail.

#include "VXSourcesGLTestSupport.h"

#include "engine/video/formats/VXPixels.h"
#include "engine/video/formats/avfoundation/VXAVFSelfTimedVideoFormatReader.h"
#include "engine/video/formats/avfoundation/VXAVFVideoFormatReader.h"
#include "engine/video/sources/VXVideoFormatReaderSource.h"
#include "support/VXMovieClips.h"

#include <gtest/gtest.h>

namespace vx::test
{
    namespace
    {
        struct ThumbnailCase
        {
            const char* name;
            bool sound; // the seeking reader; without sound the self-timed one
            int rotation;
            // Thumbnail size and the corner the stored top-left lands in.
            int width, height;
            bool right, bottom;
        };

        class MovieThumbnailsGLTest : public SourcesGLTest, public ::testing::WithParamInterface<ThumbnailCase>
        {
        protected:
            // The grey of the thumbnail's pixel (first row the top).
            static int greyAt(const Pixels& pixels, int x, int y)
            {
                return pixels.data[(static_cast<std::size_t>(y) * pixels.width + x) * pixels.bytesPerPixel + 1];
            }
        };
    }

    TEST_P(MovieThumbnailsGLTest, ShowThePictureTurnedAsTheMovieSays)
    {
        const ThumbnailCase& c = GetParam();
        // 128 x 32 stored, light in the top-left 32 x 16 only.
        ClipSpec clip;
        clip.width = 128;
        clip.height = 32;
        clip.luma = "if(lt(X,32)*lt(Y,16),235,16)";
        clip.codec = "-c:v mpeg4 -q:v 2";
        clip.sound = c.sound;
        clip.rotation = c.rotation;
        const std::string path = temp.file(std::string(c.name) + ".mov");
        ASSERT_TRUE(makeClip(path, clip));

        VideoFormatReader* reader =
            root->getVideoFormatManager()->createReaderFor(File(path), false, VideoFormatReader::purposeThumbnail);
        ASSERT_NE(reader, nullptr);
        if (c.sound)
            EXPECT_NE(dynamic_cast<AVFVideoFormatReader*>(reader), nullptr);
        else
            EXPECT_NE(dynamic_cast<AVFSelfTimedVideoFormatReader*>(reader), nullptr);
        VideoFormatReaderSource source(driver, reader);
        ASSERT_TRUE(source.hasCustomThumbnail());
        const std::shared_ptr<Pixels> thumbnail = source.getCustomThumbnail();
        source.release();
        ASSERT_NE(thumbnail, nullptr);
        ASSERT_EQ(thumbnail->width, c.width);
        ASSERT_EQ(thumbnail->height, c.height);
        // Only the corner the light block turned to is light.
        for (bool right : {false, true})
            for (bool bottom : {false, true})
            {
                const int grey = greyAt(*thumbnail, right ? c.width - 4 : 3, bottom ? c.height - 4 : 3);
                if (right == c.right && bottom == c.bottom)
                    EXPECT_GT(grey, 200) << (bottom ? "bottom " : "top ") << (right ? "right" : "left");
                else
                    EXPECT_LT(grey, 50) << (bottom ? "bottom " : "top ") << (right ? "right" : "left");
            }
    }

    INSTANTIATE_TEST_SUITE_P(Movies, MovieThumbnailsGLTest,
                             ::testing::Values(ThumbnailCase{"Landscape", false, 0, 128, 32, false, false},
                                               ThumbnailCase{"PortraitSilent", false, 90, 32, 128, true, false},
                                               ThumbnailCase{"PortraitWithSound", true, 90, 32, 128, true, false},
                                               ThumbnailCase{"UpsideDownWithSound", true, 180, 128, 32, true, true},
                                               ThumbnailCase{"TurnedLeftSilent", false, 270, 32, 128, false, true}),
                             [](const auto& info) { return std::string(info.param.name); });
}
