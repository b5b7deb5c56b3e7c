// File sources resized as an application sizes them to its layers: movies
// left paused (silent, and with sound through the seeking reader), PNG and
// JPEG pictures and a PNG sequence, all made by the ffmpeg tool, show their
// whole picture at once at each new size, smaller, larger and back, without
// the play head moving.

#include "VXMoviePlayback.h"
#include "VXSourcesGLTestSupport.h"

#include "engine/video/sources/VXVideoFormatReaderSource.h"
#include "support/VXMovieClips.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace vx::test
{
    namespace
    {
        const int width = 64, height = 32;
        // The left half of every picture, and the right.
        const PixelRGBA8 left{200, 60, 40, 255}, right{30, 90, 220, 255};
        const char* const splitColour = "r='if(lt(X,W/2),200,30)':g='if(lt(X,W/2),60,90)':b='if(lt(X,W/2),40,220)'";

        class FileSourceResizeGLTest : public SourcesGLTest
        {
        protected:
            // frames pictures of the split colours written by the ffmpeg tool
            // to pattern (a file name, or a numbered one for a sequence).
            bool writePictures(const std::string& pattern, int frames)
            {
                const std::string command =
                    "ffmpeg -v error -y -f lavfi -i \"color=c=black:s=" + std::to_string(width) + "x" +
                    std::to_string(height) + ",format=gbrp,geq=" + splitColour + "\" -frames:v " +
                    std::to_string(frames) + " \"" + pattern + "\"";
                return std::system(command.c_str()) == 0;
            }

            // Whether the w x h corner of picture is the whole split picture
            // scaled to it: the left colour in its left quarter, the right
            // colour in its right quarter.
            static bool showsWhole(const Picture& picture, int w, int h)
            {
                if (picture.width < w || picture.height < h)
                    return false;
                for (const int y : {h / 4, h / 2, 3 * h / 4})
                    for (int x = 0; x < w / 4; ++x)
                        if (! isNear(picture.at(x, y), left, 12) || ! isNear(picture.at(w - 1 - x, y), right, 12))
                            return false;
                return true;
            }

            // Resizes the source showing its picture, and back, rendering
            // once at each size with the play head where it is.
            void expectShownAtEachSize(VideoFormatReaderSource& source)
            {
                for (const auto& [w, h] : {std::pair{32, 16}, std::pair{160, 80}, std::pair{width, height}})
                {
                    SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
                    source.setSize(w, h);
                    const TextureRef output = source.render(*renderer, info);
                    ASSERT_NE(output.get(), nullptr) << "nothing shown";
                    EXPECT_EQ(output.get()->getWidth(), w);
                    EXPECT_EQ(output.get()->getHeight(), h);
                    EXPECT_TRUE(showsWhole(readOutput(output), w, h));
                }
            }
        };
    }

    TEST_F(FileSourceResizeGLTest, APausedMovieShowsAtOnceAtEachNewSize)
    {
        for (const bool sound : {false, true})
        {
            SCOPED_TRACE(sound ? "with sound" : "silent");
            ClipSpec clip;
            clip.width = width;
            clip.height = height;
            clip.colour = splitColour;
            clip.sound = sound;
            const std::string path = temp.file(sound ? "sound.mov" : "silent.mov");
            ASSERT_TRUE(makeClip(path, clip));
            VideoFormatReader* reader =
                root->getVideoFormatManager()->createReaderFor(File(path), false, VideoFormatReader::purposePlayback);
            ASSERT_NE(reader, nullptr);
            ASSERT_EQ(reader->getHasAudio(), sound);
            VideoFormatReaderSource source(driver, reader);
            // Left in its first frame from here on.
            const Picture first = playUntil(source, driver, *renderer, info, clip.fps,
                                            [](const Picture& p) { return showsWhole(p, width, height); });
            ASSERT_TRUE(showsWhole(first, width, height));
            expectShownAtEachSize(source);
            source.release();
        }
    }

    TEST_F(FileSourceResizeGLTest, PicturesAndSequencesShowAtOnceAtEachNewSize)
    {
        for (const char* name : {"still.png", "still.jpg", "sequence"})
        {
            SCOPED_TRACE(name);
            const bool sequence = std::string(name) == "sequence";
            VideoFormatManager& formats = *root->getVideoFormatManager();
            VideoFormatReader* reader = nullptr;
            if (sequence)
            {
                // Enough files for the block bufferer.
                const std::string directory = temp.makeDirectory("sequence");
                ASSERT_TRUE(writePictures(directory + "/frame%03d.png", 6));
                reader = formats.createReaderForImageSequence(File(directory));
            }
            else
            {
                ASSERT_TRUE(writePictures(temp.file(name), 1));
                reader = formats.createReaderFor(File(temp.file(name)), false, VideoFormatReader::purposePlayback);
            }
            ASSERT_NE(reader, nullptr);
            VideoFormatReaderSource source(driver, reader);
            const Picture first = playUntil(source, driver, *renderer, info, reader->getFps(),
                                            [](const Picture& p) { return showsWhole(p, width, height); });
            ASSERT_TRUE(showsWhole(first, width, height));
            expectShownAtEachSize(source);
            source.release();
        }
    }
}
