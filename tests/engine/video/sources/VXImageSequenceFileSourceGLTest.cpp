// Image-sequence folders as file sources, restored from a show's element
// and read back: the sequence is the folder's pictures, whatever other
// systems leave beside them (AppleDouble twins, Thumbs.db, desktop.ini,
// notes, sub-folders, a cover of another kind, a frame copied as zero
// bytes), and a source restored as a sequence is saved as one, however many
// frames its folder held at the time.

#include "VXMoviePlayback.h"
#include "VXSourcesGLTestSupport.h"

#include "engine/video/formats/VXPNGTestWriter.h"
#include "engine/video/sources/VXVideoFormatReaderSource.h"
#include "support/VXLogRecorder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

namespace vx::test
{
    namespace
    {
        const int frameCount = 6; // enough for the block bufferer
        const double msPerFrame = 40.0;

        PixelRGBA8 colourOf(int frame)
        {
            return {std::uint8_t(20 + 40 * frame), std::uint8_t(230 - 35 * frame), 60, 255};
        }

        // A w x h picture of one colour as PNG bytes.
        std::string pngOf(PixelRGBA8 colour, unsigned w = 4, unsigned h = 2)
        {
            RawPng png;
            png.width = w;
            png.height = h;
            png.colorType = PNG_COLOR_TYPE_RGBA;
            png.rows.assign(h, std::vector<unsigned char>());
            for (auto& row : png.rows)
                for (unsigned x = 0; x < w; ++x)
                    row.insert(row.end(), {colour.r, colour.g, colour.b, colour.a});
            return writeRaw(png);
        }

        // What macOS writes beside a file on FAT and exFAT volumes and shares:
        // the AppleDouble header of its resource fork and attributes.
        std::string appleDouble()
        {
            std::string bytes("\x00\x05\x16\x07\x00\x02\x00\x00", 8);
            bytes += "Mac OS X        ";
            bytes += std::string("\x00\x02\x00\x00\x00\x09\x00\x00\x00\x32\x00\x00\x0e\xb0", 14);
            bytes += std::string(3760, '\0');
            return bytes;
        }

        class ImageSequenceFileSourceGLTest : public SourcesGLTest
        {
        protected:
            // The show's element for the sequence whose first frame is file.
            std::unique_ptr<VideoFormatReaderSource> restore(const std::string& file)
            {
                std::unique_ptr<VideoFormatReaderSource> source(VideoFormatReaderSource::createFromXML(
                    driver, *sourceElement("fileName=\"" + file + "\" isSequence=\"1\" LoadingThread=\"TTM_MESSAGE\""),
                    nullptr));
                drainMessages();
                return source;
            }

            // The picture the source shows with its play head in the middle of
            // frame, once it is of colour (20 s is only the watchdog); the last
            // one otherwise. The play head is held, the feeding done here.
            Picture showAt(VideoFormatReaderSource& source, int frame, PixelRGBA8 colour)
            {
                source.render(*renderer, info);
                driver.removeSource(&source);
                source.getPositionParam()->setValue((frame + 0.5) * msPerFrame, ValueChangeInfo());
                const auto shows = [&](const Picture& p) { return p.width > 0 && isUniform(p, colour); };
                Picture shown;
                const auto watchdog = std::chrono::steady_clock::now() + std::chrono::seconds(20);
                while (! shows(shown) && std::chrono::steady_clock::now() < watchdog)
                {
                    source.updateVideo();
                    const TextureRef output = source.render(*renderer, info);
                    if (output.get() != nullptr)
                        shown = cutTo(readBack(*output.get()), source.getWidth(), source.getHeight());
                    if (! shows(shown))
                        std::this_thread::sleep_for(std::chrono::milliseconds(2));
                }
                return shown;
            }

            // JPEG's colour conversion may be a few levels off.
            int tolerance = 1;

            bool isUniform(const Picture& p, PixelRGBA8 colour) const
            {
                for (const PixelRGBA8& pixel : p.pixels)
                    if (! isNear(pixel, colour, tolerance))
                        return false;
                return ! p.pixels.empty();
            }

            // Every frame of the sequence shown at its play head, in order:
            // frames[k] is the colour of the k-th frame.
            void expectPlays(VideoFormatReaderSource& source, const std::vector<PixelRGBA8>& frames)
            {
                ASSERT_NE(source.getVideoFormatReader(), nullptr) << "the folder opens as nothing";
                ASSERT_EQ(source.getNumFrames(), int(frames.size()));
                ASSERT_EQ(source.getWidth(), 4);
                ASSERT_EQ(source.getHeight(), 2);
                for (int k = 0; k < int(frames.size()); ++k)
                {
                    const Picture shown = showAt(source, k, frames[size_t(k)]);
                    ASSERT_TRUE(isUniform(shown, frames[size_t(k)]))
                        << "frame " << k << ": " << (shown.pixels.empty() ? "nothing" : "shows ")
                        << (shown.pixels.empty() ? PixelRGBA8{} : shown.at(0, 0)) << ", expected " << frames[size_t(k)];
                }
            }
        };
    }

    TEST_F(ImageSequenceFileSourceGLTest, TheSequenceIsTheFoldersPicturesWhateverLiesBesideThem)
    {
        struct Case
        {
            const char* name;
            const char* frameName; // printf pattern of the frames' names
            // Writes what lies beside the frames in the folder.
            std::function<void(TempDir&, const std::string& folder)> beside;
        };
        const Case cases[] = {
            {"AppleDouble twins and .DS_Store", "frame_%03d.png",
             [](TempDir& t, const std::string& folder)
             {
                 for (int f = 0; f < frameCount; ++f)
                 {
                     char name[32];
                     std::snprintf(name, sizeof name, "/._frame_%03d.png", f);
                     t.writeFile(folder + name, appleDouble());
                 }
                 t.writeFile(folder + "/.DS_Store", std::string("\x00\x00\x00\x01" "Bud1", 8));
                 t.writeFile(folder + "/._.DS_Store", appleDouble());
             }},
            {"AppleDouble twins of capitalised frames", "FRAME_%03d.PNG",
             [](TempDir& t, const std::string& folder)
             {
                 t.writeFile(folder + "/._FRAME_000.PNG", appleDouble());
                 t.writeFile(folder + "/._FRAME_001.PNG", appleDouble());
             }},
            {"Thumbs.db and desktop.ini", "frame_%03d.png",
             [](TempDir& t, const std::string& folder)
             {
                 t.writeFile(folder + "/Thumbs.db", std::string("\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1", 8) +
                                                        std::string(504, '\0'));
                 t.writeFile(folder + "/desktop.ini", "[.ShellClassInfo]\r\nIconResource=x.dll,0\r\n");
             }},
            {"a note, a sub-folder and a cover of another kind", "frame_%03d.png",
             [](TempDir& t, const std::string& folder)
             {
                 t.writeFile(folder + "/README.txt", "rendered at 25 fps\n");
                 t.writeFile(folder + "/a_proxies/frame_000.png", pngOf(PixelRGBA8{255, 255, 255, 255}));
                 // A picture that opens, of another size: it sorts first.
                 const std::string cover = t.file(folder + "/_cover.jpg");
                 ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i color=c=white:s=16x16 -frames:v 1 \"" +
                                        cover + "\"").c_str()),
                           0);
             }},
            {"a first frame copied as zero bytes", "frame_%03d.png",
             [](TempDir& t, const std::string& folder) { t.writeFile(folder + "/frame.png", ""); }},
        };
        for (const Case& c : cases)
        {
            SCOPED_TRACE(c.name);
            TempDir t(temp.path());
            std::string first;
            std::vector<PixelRGBA8> colours;
            for (int f = 0; f < frameCount; ++f)
            {
                char name[32];
                std::snprintf(name, sizeof name, c.frameName, f);
                const std::string path = t.writeFile(std::string("shot/") + name, pngOf(colourOf(f)));
                if (f == 0)
                    first = path;
                colours.push_back(colourOf(f));
            }
            c.beside(t, "shot");
            auto source = restore(first);
            expectPlays(*source, colours);
            // Saved, it names the sequence's first frame.
            XmlPool pool;
            const XmlNode* child = source->writeState(pool, true)->first_node("VideoFormatReaderSource");
            ASSERT_NE(child, nullptr);
            EXPECT_EQ(readAttribute(child->first_attribute("fileName"), std::string()), first);
            source->release();
        }
    }

    // A show opened while its folder held one frame (a partial copy) and
    // saved is still a sequence once the whole folder is back.
    TEST_F(ImageSequenceFileSourceGLTest, ASourceRestoredAsASequenceIsSavedAsOne)
    {
        const std::string first = temp.writeFile("shot/frame_000.png", pngOf(colourOf(0)));
        auto partial = restore(first);
        ASSERT_NE(partial->getVideoFormatReader(), nullptr);
        EXPECT_EQ(partial->getNumFrames(), 1);
        XmlPool pool;
        XmlNode* saved = partial->writeState(pool, true);
        const XmlNode* child = saved->first_node("VideoFormatReaderSource");
        ASSERT_NE(child, nullptr);
        bool sequence = false;
        EXPECT_TRUE(readAttribute(child->first_attribute("isSequence"), &sequence));
        EXPECT_TRUE(sequence);
        partial->release();

        std::vector<PixelRGBA8> colours{colourOf(0)};
        for (int f = 1; f < frameCount; ++f)
        {
            temp.writeFile("shot/frame_00" + std::to_string(f) + ".png", pngOf(colourOf(f)));
            colours.push_back(colourOf(f));
        }
        std::unique_ptr<VideoFormatReaderSource> whole(VideoFormatReaderSource::createFromXML(driver, *saved, nullptr));
        ASSERT_NE(whole, nullptr);
        drainMessages();
        expectPlays(*whole, colours);
        whole->release();
    }
}

namespace vx::test
{
    // A frame among good ones that does not decode (a PNG cut short by an
    // interrupted copy, a JPEG copied as zero bytes) shows nothing or the
    // frame before it, never a frame from elsewhere in the sequence; the
    // frames after it play.
    TEST_F(ImageSequenceFileSourceGLTest, AFrameThatDoesNotDecodeShowsNoFrameFromElsewhere)
    {
        const int bad = 3;
        for (const bool jpeg : {false, true})
        {
            SCOPED_TRACE(jpeg ? "JPEG of zero bytes" : "PNG cut short");
            tolerance = jpeg ? 4 : 1;
            TempDir t(temp.path());
            t.makeDirectory("shot");
            std::string first;
            for (int f = 0; f < frameCount; ++f)
            {
                const std::string path = t.file("shot/frame_00" + std::to_string(f) + (jpeg ? ".jpg" : ".png"));
                if (! jpeg)
                {
                    std::string bytes = pngOf(colourOf(f), 64, 32);
                    if (f == bad)
                        bytes.resize(bytes.size() * 2 / 3);
                    t.writeFile("shot/frame_00" + std::to_string(f) + ".png", bytes);
                }
                else if (f == bad)
                    t.writeFile("shot/frame_00" + std::to_string(f) + ".jpg", "");
                else
                {
                    char colour[8];
                    std::snprintf(colour, sizeof colour, "%02x%02x%02x", colourOf(f).r, colourOf(f).g, colourOf(f).b);
                    ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i color=c=0x" + std::string(colour) +
                                           ":s=64x32 -frames:v 1 -q:v 1 \"" + path + "\"")
                                              .c_str()),
                              0);
                }
                if (f == 0)
                    first = path;
            }
            LogRecorder log;
            auto source = restore(first);
            ASSERT_NE(source->getVideoFormatReader(), nullptr);
            ASSERT_EQ(source->getNumFrames(), frameCount);
            // Every frame from the first on, so the one before the bad one is shown.
            for (int k = 0; k < bad; ++k)
                ASSERT_TRUE(isUniform(showAt(*source, k, colourOf(k)), colourOf(k))) << k;
            source->getPositionParam()->setValue((bad + 0.5) * msPerFrame, ValueChangeInfo());
            // The PNG's frame is decoded by the bufferer's tasks: until it says so.
            const char* failure = jpeg ? nullptr : "decodeImage failed";
            const auto watchdog = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            int renders = 0;
            while ((renders < 30 || (failure != nullptr && ! log.contains(failure))) &&
                   std::chrono::steady_clock::now() < watchdog)
            {
                source->updateVideo();
                const TextureRef output = source->render(*renderer, info);
                ++renders;
                if (output.get() == nullptr)
                    continue;
                const Picture shown = cutTo(readBack(*output.get()), source->getWidth(), source->getHeight());
                ASSERT_TRUE(isUniform(shown, colourOf(bad - 1)))
                    << "render " << renders << " shows " << shown.at(0, 0) << ", " << shown.width << " x "
                    << shown.height;
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            if (failure != nullptr)
            {
                EXPECT_TRUE(log.contains(failure)) << log.dump();
            }
            for (int k = bad + 1; k < frameCount; ++k)
                ASSERT_TRUE(isUniform(showAt(*source, k, colourOf(k)), colourOf(k))) << k;
            source->release();
        }
    }
}
