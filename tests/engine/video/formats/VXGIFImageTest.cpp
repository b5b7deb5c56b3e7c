#include "engine/video/formats/VXGIFImage.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/parameters/VXParamChoice.h"
#include "engine/video/formats/VXGIFTestWriter.h"
#include "engine/video/formats/VXGIFVideoFormatReader.h"
#include "engine/video/formats/VXImageVideoFormat.h"
#include "engine/video/formats/VXPixels.h"
#include "support/VXLogRecorder.h"
#include "support/VXMovieClips.h"
#include "support/VXTempDir.h"

namespace vx::test
{
    namespace
    {
        using RGBA = std::array<unsigned char, 4>;

        const std::vector<GifColorType> palette = {{0, 0, 0},    {255, 0, 0},  {0, 255, 0},  {0, 0, 255},
                                                   {10, 20, 30}, {40, 50, 60}, {70, 80, 90}, {200, 200, 200}};

        RawGifFrame fill(int left, int top, int w, int h, unsigned char index)
        {
            RawGifFrame f;
            f.left = left;
            f.top = top;
            f.width = w;
            f.height = h;
            f.indexes.assign(static_cast<std::size_t>(w) * h, index);
            return f;
        }

        // The composition the file describes, computed here independently:
        // the canvas after each frame is drawn.
        class Composer
        {
        public:
            Composer(const RawGif& g, bool transparentBackground)
                : gif(g), alphaOfBackground(transparentBackground ? 0 : 255), canvas(g.width * g.height)
            {
                clear();
            }

            std::vector<std::vector<RGBA>> run()
            {
                std::vector<std::vector<RGBA>> shown;
                for (const RawGifFrame& f : gif.frames)
                {
                    const std::vector<RGBA> before = canvas;
                    for (int y = 0; y < f.height; ++y)
                        for (int x = 0; x < f.width; ++x)
                        {
                            const int cx = f.left + x, cy = f.top + y;
                            if (cx >= gif.width || cy >= gif.height)
                                continue;
                            const int index = f.indexes[y * f.width + x];
                            if (index >= static_cast<int>(gif.globalMap.size()))
                                continue;
                            RGBA& p = canvas[cy * gif.width + cx];
                            if (index != f.transparent || p[3] < 255)
                            {
                                const GifColorType& c = gif.globalMap[index];
                                p = {c.Red, c.Green, c.Blue,
                                     static_cast<unsigned char>(index == f.transparent ? 0 : 255)};
                            }
                        }
                    shown.push_back(canvas);
                    if (f.disposal == DISPOSE_BACKGROUND)
                        clear();
                    else if (f.disposal == DISPOSE_PREVIOUS)
                        canvas = before;
                }
                return shown;
            }

        private:
            void clear()
            {
                const GifColorType& c = gif.globalMap[gif.background];
                for (RGBA& p : canvas)
                    p = {c.Red, c.Green, c.Blue, alphaOfBackground};
            }

            const RawGif& gif;
            unsigned char alphaOfBackground;
            std::vector<RGBA> canvas;
        };

        std::vector<RGBA> asRGBA(const unsigned char* bytes, int pixels)
        {
            std::vector<RGBA> out(pixels);
            std::memcpy(out.data(), bytes, static_cast<std::size_t>(pixels) * 4);
            return out;
        }

        // Four frames over a 4 x 3 canvas: a full fill, a partly transparent
        // patch, a patch disposed to the background, a patch restored away.
        RawGif disposals()
        {
            RawGif g;
            g.width = 4;
            g.height = 3;
            g.background = 7;
            g.globalMap = palette;
            g.frames.push_back(fill(0, 0, 4, 3, 1));
            RawGifFrame patch = fill(1, 1, 2, 2, 2);
            patch.indexes[0] = 5; // transparent: the red below stays
            patch.transparent = 5;
            g.frames.push_back(patch);
            RawGifFrame gone = fill(0, 0, 1, 1, 3);
            gone.disposal = DISPOSE_BACKGROUND;
            g.frames.push_back(gone);
            RawGifFrame restored = fill(2, 0, 2, 1, 4);
            restored.disposal = DISPOSE_PREVIOUS;
            g.frames.push_back(restored);
            g.frames.push_back(fill(3, 2, 1, 1, 6));
            return g;
        }
    }

    TEST(GIFImageTest, ComposesAsTheFileDescribes)
    {
        TempDir dir;
        const RawGif g = disposals();
        ASSERT_TRUE(writeGif(dir.file("a.gif"), g));
        GIFImage image(dir.file("a.gif").c_str(), true);
        ASSERT_TRUE(image.isValid());
        ASSERT_EQ(image.getNumFrames(), 5u);
        EXPECT_FALSE(image.isTransparentBackground());
        const auto expected = Composer(g, false).run();
        for (unsigned i = 0; i < 5; ++i)
        {
            const unsigned char* frame = image.getFrame(i);
            ASSERT_NE(frame, nullptr);
            EXPECT_EQ(asRGBA(frame, 12), expected[i]) << "frame " << i;
        }
        // Random access through the snapshots, and past the end.
        EXPECT_EQ(asRGBA(image.getFrame(1), 12), expected[1]);
        EXPECT_EQ(asRGBA(image.getFrame(99), 12), expected[4]);
        // Disposal 2 left the background for frame 3; disposal 3 hid frame 3's patch again.
        EXPECT_EQ(expected[3][0], (RGBA{200, 200, 200, 255}));
        EXPECT_EQ(expected[4][2], (RGBA{200, 200, 200, 255}));
    }

    TEST(GIFImageTest, ATransparentBackgroundIsClearAfterDisposal)
    {
        TempDir dir;
        RawGif g = disposals();
        g.frames[1].transparent = g.background;
        g.frames[1].indexes[0] = static_cast<unsigned char>(g.background);
        ASSERT_TRUE(writeGif(dir.file("a.gif"), g));
        GIFImage image(dir.file("a.gif").c_str(), true);
        ASSERT_TRUE(image.isTransparentBackground());
        const auto expected = Composer(g, true).run();
        for (unsigned i = 0; i < 5; ++i)
            EXPECT_EQ(asRGBA(image.getFrame(i), 12), expected[i]) << "frame " << i;
        EXPECT_EQ(expected[3][1][3], 0);
    }

    TEST(GIFImageTest, RectanglesAreClippedToTheCanvas)
    {
        TempDir dir;
        RawGif g;
        g.width = 3;
        g.height = 2;
        g.background = 0;
        g.globalMap = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
        g.frames.push_back(fill(0, 0, 3, 2, 1));
        g.frames.push_back(fill(2, 1, 3, 3, 2)); // reaches past both edges
        ASSERT_TRUE(writeGif(dir.file("a.gif"), g));
        GIFImage image(dir.file("a.gif").c_str(), true);
        ASSERT_TRUE(image.isValid());
        const auto canvas = asRGBA(image.getFrame(1), 6);
        EXPECT_EQ(canvas[5], (RGBA{0, 255, 0, 255}));
        EXPECT_EQ(canvas[4], (RGBA{255, 0, 0, 255}));
    }

    TEST(GIFVideoFormatReaderTest, TimingFromTheShortestDelay)
    {
        TempDir dir;
        RawGif g;
        g.width = 2;
        g.height = 2;
        g.globalMap = palette;
        for (int delay : {10, 10, 20})
        {
            g.frames.push_back(fill(0, 0, 2, 2, static_cast<unsigned char>(g.frames.size() + 1)));
            g.frames.back().delay = delay;
        }
        ASSERT_TRUE(writeGif(dir.file("t.gif"), g));
        GIFImage image(dir.file("t.gif").c_str(), true);
        EXPECT_EQ(image.getDuration(), 400);
        EXPECT_EQ(image.getMininumDelay(), 100);
        EXPECT_EQ(image.findFrameForTime(0.0), 0u);
        EXPECT_EQ(image.findFrameForTime(100.0), 0u);
        EXPECT_EQ(image.findFrameForTime(100.5), 1u);
        EXPECT_EQ(image.findFrameForTime(200.0), 1u);
        EXPECT_EQ(image.findFrameForTime(400.0), 2u);
        EXPECT_EQ(image.findFrameForTime(401.0), 0u);

        std::unique_ptr<VideoFormatReader> reader(ImageVideoFormat().createReaderFor(File(dir.file("t.gif"))));
        ASSERT_NE(dynamic_cast<GIFVideoFormatReader*>(reader.get()), nullptr);
        EXPECT_EQ(reader->getFps(), 10.0);
        EXPECT_EQ(reader->getMsecPerFrame(), 100.0);
        // Every frame for its own delay: the sum of the delays.
        EXPECT_EQ(reader->getLength(), 400.0);
        EXPECT_TRUE(reader->isSequence());
        EXPECT_EQ(reader->getCodecName(), "GIF");
        EXPECT_EQ(reader->getAlphaType().getValue(), 1);

        EXPECT_TRUE(reader->read(150.0));
        EXPECT_EQ(reader->getCurrentFrame(), 1);
        std::shared_ptr<Pixels> pixels;
        ASSERT_TRUE(reader->updatePixels(pixels));
        EXPECT_EQ(pixels->data[1], 255) << "green, frame 1";
        // Within the same frame: nothing new, the answer only says a picture waits.
        EXPECT_TRUE(reader->read(180.0));
        EXPECT_EQ(reader->getCurrentFrame(), 1);
        long frame = -1;
        for (const auto& [ms, expected] : {std::pair{199.9, 1L}, {200.0, 2L}, {399.9, 2L}, {400.0, 2L}})
        {
            EXPECT_EQ(reader->updatePosition(ms, frame), expected != 1) << ms;
            EXPECT_EQ(frame, expected) << ms;
        }
        // A rate set on the reader stretches every delay alike.
        reader->setFrameRate(20.0);
        EXPECT_EQ(reader->getLength(), 150.0);
        EXPECT_FALSE(reader->updatePosition(74.9, frame)) << "frame 1 still: 200 ms at the file's rate";
        EXPECT_TRUE(reader->updatePosition(75.0, frame));
        EXPECT_EQ(frame, 2);
    }

    TEST(GIFVideoFormatReaderTest, OneFrameNoDelaysAndUnreadableFiles)
    {
        TempDir dir;
        RawGif g;
        g.width = 2;
        g.height = 1;
        g.globalMap = palette;
        g.frames.push_back(fill(0, 0, 2, 1, 3));
        g.frames.back().control = false;
        ASSERT_TRUE(writeGif(dir.file("one.gif"), g));
        GIFVideoFormatReader one{File(dir.file("one.gif"))};
        ASSERT_TRUE(one.isOpened());
        EXPECT_EQ(one.getTotalFrames(), 1u);
        EXPECT_FALSE(one.isSequence());
        EXPECT_EQ(one.getLength(), 0.0);
        EXPECT_EQ(one.getFps(), 10.0) << "no delay: 100 ms per frame";
        const auto thumbnail = one.getCustomThumbnail();
        ASSERT_NE(thumbnail, nullptr);
        EXPECT_EQ(std::vector<unsigned char>(thumbnail->data, thumbnail->data + 8),
                  (std::vector<unsigned char>{0, 0, 255, 255, 0, 0, 255, 255}));

        g.frames.push_back(fill(0, 0, 2, 1, 4));
        for (auto& f : g.frames)
        {
            f.control = true;
            f.delay = 0;
        }
        ASSERT_TRUE(writeGif(dir.file("zero.gif"), g));
        GIFVideoFormatReader zero{File(dir.file("zero.gif"))};
        EXPECT_EQ(zero.getFps(), 10.0);
        EXPECT_EQ(zero.getLength(), 200.0);

        const File junk(dir.writeFile("junk.gif", "GIF89a but not really"));
        GIFVideoFormatReader broken{junk};
        EXPECT_FALSE(broken.isOpened());
        EXPECT_FALSE(broken.readFrame(0.0));
        EXPECT_EQ(ImageVideoFormat().createReaderFor(junk), nullptr);
    }

    struct CanvasCase
    {
        const char* name;
        int width, height;
        bool wholeFirstImage;
        bool opens;
    };

    void PrintTo(const CanvasCase& c, std::ostream* out)
    {
        *out << c.name;
    }

    class GIFCanvasTest : public ::testing::TestWithParam<CanvasCase>
    {
    };

    // Eight images of a pixel each, a few kilobytes: a canvas past the pixel
    // limit is refused, with a line, before its images are read; any other opens
    // (however little of it the images paint) at the cost of one canvas,
    // never a canvas a frame.
    TEST_P(GIFCanvasTest, ACanvasCostsWhatItHoldsAndPastTheLimitIsRefused)
    {
        const CanvasCase& c = GetParam();
        TempDir dir;
        RawGif g;
        g.width = c.width;
        g.height = c.height;
        g.globalMap = palette;
        if (c.wholeFirstImage)
            g.frames.push_back(fill(0, 0, c.width, c.height, 1));
        for (int i = 0; i < 8; ++i)
            g.frames.push_back(fill(i, i, 1, 1, 2));
        const File file(dir.file("canvas.gif"));
        ASSERT_TRUE(writeGif(file.getFullPath(), g));
        LogRecorder log;
        GIFImage image(file.getFullPath().c_str(), true);
        EXPECT_EQ(image.isValid(), c.opens);
        EXPECT_EQ(image.getNumFrames(), c.opens ? g.frames.size() : 0u);
        EXPECT_EQ(log.count(logError), c.opens ? 0u : 1u) << log.dump();
        EXPECT_EQ(log.contains("canvas, more than"), ! c.opens) << log.dump();
        const unsigned long long canvasPixels = static_cast<unsigned long long>(c.width) * c.height;
        if (c.opens)
        {
            // The background once, the first image, one base after it, the pixels.
            EXPECT_LE(image.getWork(), 3 * canvasPixels + 8);
            EXPECT_LE(image.getKeptBytes(), canvasPixels * 4 + canvasPixels / 8);
        }
        std::unique_ptr<VideoFormatReader> reader(ImageVideoFormat().createReaderFor(file));
        EXPECT_EQ(reader != nullptr, c.opens);
    }

    INSTANTIATE_TEST_SUITE_P(Canvases, GIFCanvasTest,
                             ::testing::Values(CanvasCase{"TinyImagesOnA4096Canvas", 4096, 4096, false, true},
                                               CanvasCase{"TinyImagesOnA2048Canvas", 2048, 2048, false, true},
                                               CanvasCase{"AWholeFirstImage", 2100, 2100, true, true},
                                               CanvasCase{"TinyImagesOnAnEightKCanvas", 7680, 4320, false, true},
                                               CanvasCase{"OnePixelPastTheLimit", 8193, 8192, false, false},
                                               CanvasCase{"AClaimOf16384Squared", 16384, 16384, false, false}),
                             [](const auto& info) { return std::string(info.param.name); });

    // Many frames of a pixel on a 4096 x 4096 canvas, disposed of every way:
    // opening and showing any frame costs a canvas or two, not one a frame.
    TEST(GIFImageTest, OnePixelFramesCostTheirPixelsNotACanvasEach)
    {
        TempDir dir;
        RawGif g;
        g.width = 4096;
        g.height = 4096;
        g.globalMap = palette;
        for (int i = 0; i < 300; ++i)
        {
            g.frames.push_back(fill((i * 997) % 4096, (i * 389) % 4096, 1, 1, static_cast<unsigned char>(1 + i % 6)));
            g.frames.back().disposal = i % 3 == 0 ? DISPOSE_DO_NOT : i % 3 == 1 ? DISPOSE_BACKGROUND : DISPOSE_PREVIOUS;
        }
        const File file(dir.file("dots.gif"));
        ASSERT_TRUE(writeGif(file.getFullPath(), g));
        GIFImage image(file.getFullPath().c_str(), true);
        ASSERT_TRUE(image.isValid());
        const unsigned long long canvasPixels = 4096ull * 4096;
        EXPECT_LE(image.getWork(), canvasPixels + 1000);
        EXPECT_LE(image.getKeptBytes(), canvasPixels * 4 + 1000);
        const unsigned long long opened = image.getWork();
        ASSERT_NE(image.getFrame(10), nullptr);
        ASSERT_NE(image.getFrame(299), nullptr);
        ASSERT_NE(image.getFrame(150), nullptr);
        EXPECT_LE(image.getWork() - opened, 2 * canvasPixels + 1000);
        // Frame 150 shows alone on the background frames 148 and 149 left.
        const unsigned char* canvas = image.getFrame(150);
        const std::size_t at = (std::size_t((150 * 389) % 4096) * 4096 + (150 * 997) % 4096) * 4;
        EXPECT_EQ(asRGBA(canvas + at, 1)[0], (RGBA{255, 0, 0, 255}));
        EXPECT_EQ(asRGBA(canvas, 1)[0], (RGBA{0, 0, 0, 255}));
    }

    // Seeded files of patches, transparency and every disposal on a small
    // canvas, where the images paint many canvases' worth: every frame is the
    // composition the file describes, shown in order, backwards and at random.
    TEST(GIFImageTest, EveryFrameComposesInAnyOrder)
    {
        TempDir dir;
        for (unsigned seed = 1; seed <= 6; ++seed)
        {
            SCOPED_TRACE("seed " + std::to_string(seed));
            std::mt19937 random(seed);
            auto below = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
            RawGif g;
            g.width = 13;
            g.height = 9;
            g.background = below(8);
            g.globalMap = palette;
            for (int i = 0; i < 60; ++i)
            {
                const int left = below(13), top = below(9);
                RawGifFrame f = fill(left, top, 1 + below(15 - left), 1 + below(11 - top), 0);
                for (auto& index : f.indexes)
                    index = static_cast<unsigned char>(below(8));
                f.disposal = below(4);
                f.transparent = below(3) == 0 ? NO_TRANSPARENT_COLOR : below(8);
                g.frames.push_back(f);
            }
            const File file(dir.file("r" + std::to_string(seed) + ".gif"));
            ASSERT_TRUE(writeGif(file.getFullPath(), g));
            GIFImage image(file.getFullPath().c_str(), true);
            ASSERT_TRUE(image.isValid());
            const auto expected = Composer(g, image.isTransparentBackground()).run();
            std::vector<unsigned> order;
            for (unsigned i = 0; i < 60; ++i)
                order.push_back(i);
            for (unsigned i = 60; i-- > 0;)
                order.push_back(i);
            for (int i = 0; i < 60; ++i)
                order.push_back(static_cast<unsigned>(below(60)));
            for (unsigned i : order)
            {
                const unsigned char* frame = image.getFrame(i);
                ASSERT_NE(frame, nullptr) << "frame " << i;
                ASSERT_EQ(asRGBA(frame, 13 * 9), expected[i]) << "frame " << i;
            }
        }
    }

    // Files as other programs write them: a transparent UHD overlay from the
    // ffmpeg tool (frames cropped to the part that changes, disposed to the
    // background) opens, and its frames are the ones ffmpeg decodes.
    TEST(GIFImageTest, AnFFmpegUHDOverlayOpensAsFFmpegShowsIt)
    {
        TempDir dir;
        const std::string path = dir.file("overlay.gif");
        // Ten frames of 320 x 240 moving over a transparent 3840 x 2160 canvas.
        const std::string filters = "[1]split[s][t];[s]palettegen=reserve_transparent=1[p];"
                                    "[0][t]overlay=x=200+n*40:y=300+n*20[v];"
                                    "[v][p]paletteuse=dither=none:alpha_threshold=128";
        const std::string made =
            captureCommand("ffmpeg -v error -y -f lavfi -i 'color=c=black@0.0:s=3840x2160:r=10:d=1,format=rgba' "
                           "-f lavfi -i 'testsrc=s=320x240:r=10:d=1,format=rgba' -filter_complex '" +
                           filters + "' '" + path + "' 2>&1 && echo made");
        ASSERT_NE(made.find("made"), std::string::npos) << made;
        GIFImage image(path.c_str(), true);
        ASSERT_TRUE(image.isValid());
        ASSERT_EQ(image.getNumFrames(), 10u);
        EXPECT_EQ(image.getCanvasWidth(), 3840);
        EXPECT_EQ(image.getCanvasHeight(), 2160);
        const std::size_t frameBytes = std::size_t(3840) * 2160 * 4;
        const std::string theirs =
            captureCommand("ffmpeg -v error -i '" + path +
                           "' -vf \"select='eq(n,0)+eq(n,9)'\" -vsync passthrough -f rawvideo -pix_fmt rgba -");
        ASSERT_EQ(theirs.size(), 2 * frameBytes);
        for (unsigned f : {0u, 9u})
        {
            const unsigned char* ours = image.getFrame(f);
            ASSERT_NE(ours, nullptr);
            const unsigned char* decoded =
                reinterpret_cast<const unsigned char*>(theirs.data()) + (f == 0 ? 0 : frameBytes);
            std::size_t differing = 0, opaque = 0;
            for (std::size_t i = 0; i < frameBytes; i += 4)
            {
                // Transparent pixels agree on alpha; colour counts where it shows.
                const bool same = ours[i + 3] == decoded[i + 3] &&
                                  (decoded[i + 3] == 0 || std::memcmp(ours + i, decoded + i, 3) == 0);
                differing += same ? 0 : 1;
                opaque += decoded[i + 3] == 255 ? 1 : 0;
            }
            EXPECT_EQ(differing, 0u) << "frame " << f;
            EXPECT_GT(opaque, 320u * 200) << "frame " << f;
        }
        std::unique_ptr<VideoFormatReader> reader(ImageVideoFormat().createReaderFor(File(path)));
        ASSERT_NE(reader, nullptr);
        EXPECT_EQ(reader->getTextureWidth(), 3840);
    }

    // A UHD still cropped without its canvas reset: one image of 640 x 360
    // placed on a 3840 x 2160 canvas. ImageMagick writes it where the machine
    // has it; else the writer here, the same structure. It opens, the image
    // at its place.
    TEST(GIFImageTest, AUHDStillCroppedWithoutItsCanvasResetOpens)
    {
        TempDir dir;
        const std::string path = dir.file("still.gif");
        std::string crop;
        const bool magick = captureCommand("convert -version 2>/dev/null").find("ImageMagick") != std::string::npos;
        if (magick)
        {
            const std::string made = captureCommand(
                "convert -size 3840x2160 gradient:red-blue -crop 640x360+1000+500 '" + path + "' 2>&1 && echo made");
            ASSERT_NE(made.find("made"), std::string::npos) << made;
            crop = captureCommand("convert '" + path + "' +repage -depth 8 rgba:-");
        }
        else
        {
            RawGif g;
            g.width = 3840;
            g.height = 2160;
            g.globalMap = palette;
            g.frames.push_back(fill(1000, 500, 640, 360, 0));
            for (std::size_t i = 0; i < g.frames[0].indexes.size(); ++i)
                g.frames[0].indexes[i] = static_cast<unsigned char>(i % 640 / 80);
            g.frames[0].control = false;
            ASSERT_TRUE(writeGif(path, g));
            for (const unsigned char index : g.frames[0].indexes)
                crop += std::string{char(palette[index].Red), char(palette[index].Green), char(palette[index].Blue),
                                    char(255)};
        }
        ASSERT_EQ(crop.size(), std::size_t(640) * 360 * 4);
        LogRecorder log;
        std::unique_ptr<VideoFormatReader> reader(ImageVideoFormat().createReaderFor(File(path)));
        ASSERT_NE(reader, nullptr) << log.dump();
        EXPECT_EQ(reader->getTextureWidth(), 3840);
        EXPECT_EQ(reader->getTextureHeight(), 2160);
        const auto picture = reader->getCustomThumbnail();
        ASSERT_NE(picture, nullptr);
        for (int y = 0; y < 360; ++y)
            ASSERT_EQ(0, std::memcmp(picture->data + ((std::size_t(500) + y) * 3840 + 1000) * 4,
                                     crop.data() + std::size_t(y) * 640 * 4, 640 * 4))
                << "row " << y;
    }

    // The fuzz target's seeds are files giflib reads: every one composes.
    TEST(GIFImageTest, FuzzSeedsCompose)
    {
        const char* data = std::getenv("VX_TEST_DATA");
        ASSERT_NE(data, nullptr) << "VX_TEST_DATA names the tests' data folder";
        int seen = 0;
        for (const auto& entry : std::filesystem::directory_iterator(std::string(data) + "/fuzz/GifReadFuzz"))
        {
            GIFImage image(entry.path().c_str(), true);
            EXPECT_TRUE(image.isValid()) << entry.path();
            EXPECT_GT(image.getNumFrames(), 0u) << entry.path();
            EXPECT_TRUE(image.loadAllImages()) << entry.path();
            ++seen;
        }
        EXPECT_GE(seen, 9);
    }
}
