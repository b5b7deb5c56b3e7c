// A host that starts the engine, plays a movie, releases and deletes the
// engine and then starts a new one: the second engine plays movies as the
// first did.

#include "VXMoviePlayback.h"

#include "engine/gfx/VXRenderTargetTestSupport.h"
#include "engine/video/formats/VXVideoFormatManager.h"
#include "engine/video/sources/VXVideoSourceDataDriver.h"
#include "support/VXMovieClips.h"
#include "support/VXTempDir.h"

#include <gtest/gtest.h>

namespace vx::test
{
    namespace
    {
        class MovieEngineRootsGLTest : public GLTest
        {
        protected:
            void TearDown() override
            {
                if (Vexkit::getInstanceWithoutCreating() != nullptr)
                {
                    Vexkit::getInstanceWithoutCreating()->shutdown();
                    Vexkit::deleteInstance();
                }
                ASSERT_TRUE(GLTestContext::makeCurrent());
                GLTest::TearDown();
            }

            // One engine's life on the test's context, as the host's: start,
            // play the movie as a file source, release, delete. Answers the
            // grey of the picture's centre (-1 when nothing showed).
            static int playInOneEngine(const std::string& path)
            {
                Vexkit* root = Vexkit::create(0x1 | 0x4 | 0x80 | 0x200);
                EXPECT_TRUE(root->initialise(false));
                int grey = -1;
                {
                    ScopedHostRenderer host(*root->getContextManager());
                    root->init();
                    EXPECT_TRUE(root->isInitialised());
                    {
                        VideoSourceDataDriver driver;
                        VideoFormatReader* reader = root->getVideoFormatManager()->createReaderFor(
                            File(path), false, VideoFormatReader::purposePlayback);
                        EXPECT_NE(reader, nullptr);
                        if (reader != nullptr)
                        {
                            VideoFormatReaderSource source(driver, reader);
                            const Picture shown =
                                playUntil(source, driver, *host.renderer, RenderInfo(), 25.0,
                                          [](const Picture& p)
                                          { return ! p.pixels.empty() && p.at(p.width / 2, p.height / 2).g > 100; });
                            if (! shown.pixels.empty())
                                grey = shown.at(shown.width / 2, shown.height / 2).g;
                            source.release();
                        }
                    }
                    root->release();
                }
                root->shutdown();
                Vexkit::deleteInstance();
                return grey;
            }
        };
    }

    TEST_F(MovieEngineRootsGLTest, ASecondEngineAfterTheFirstIsReleasedPlaysMovies)
    {
        if (! hasFFmpegEncoder("mpeg4"))
            GTEST_SKIP() << "ffmpeg has no mpeg4 encoder";
        TempDir dir;
        ClipSpec clip;
        clip.frames = 5;
        clip.luma = "180";
        const std::string path = dir.file("grey.mov");
        ASSERT_TRUE(makeClip(path, clip));
        // Luma 180 in video range is grey 191.
        EXPECT_NEAR(playInOneEngine(path), 191, 12) << "first engine";
        EXPECT_NEAR(playInOneEngine(path), 191, 12) << "second engine";
    }
}
