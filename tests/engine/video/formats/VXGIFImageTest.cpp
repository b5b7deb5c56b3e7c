#include "engine/video/formats/VXGIFImage.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "core/parameters/VXParamChoice.h"
#include "engine/video/formats/VXGIFTestWriter.h"
#include "engine/video/formats/VXGIFVideoFormatReader.h"
#include "engine/video/formats/VXImageVideoFormat.h"
#include "engine/video/formats/VXPixels.h"
#include "support/VXLogRecorder.h"
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
        int side;
        bool wholeFirstImage;
        bool opens;
    };

    class GIFCanvasTest : public ::testing::TestWithParam<CanvasCase>
    {
    };

    // Eight images of a pixel each: on a canvas past the unpainted limit the
    // header's claim is refused, with a line, before a canvas is made;
    // beneath it, or with a first image filling the canvas, the file opens.
    TEST_P(GIFCanvasTest, ACanvasItsImagesDoNotPaintIsRefused)
    {
        const CanvasCase& c = GetParam();
        TempDir dir;
        RawGif g;
        g.width = c.side;
        g.height = c.side;
        g.globalMap = palette;
        if (c.wholeFirstImage)
            g.frames.push_back(fill(0, 0, c.side, c.side, 1));
        for (int i = 0; i < 8; ++i)
            g.frames.push_back(fill(i, i, 1, 1, 2));
        const File file(dir.file("canvas.gif"));
        ASSERT_TRUE(writeGif(file.getFullPath(), g));
        LogRecorder log;
        GIFImage image(file.getFullPath().c_str(), true);
        EXPECT_EQ(image.isValid(), c.opens);
        EXPECT_EQ(image.getNumFrames(), c.opens ? g.frames.size() : 0u);
        EXPECT_EQ(log.count(logError), c.opens ? 0u : 1u) << log.dump();
        EXPECT_EQ(log.contains("canvas its images do not paint"), ! c.opens) << log.dump();
        std::unique_ptr<VideoFormatReader> reader(ImageVideoFormat().createReaderFor(file));
        EXPECT_EQ(reader != nullptr, c.opens);
    }

    INSTANTIATE_TEST_SUITE_P(Canvases, GIFCanvasTest,
                             ::testing::Values(CanvasCase{"TinyImagesPastTheLimit", 4096, false, false},
                                               CanvasCase{"TinyImagesAtTheLimit", 2048, false, true},
                                               CanvasCase{"AWholeFirstImagePastTheLimit", 2100, true, true}),
                             [](const auto& info) { return std::string(info.param.name); });

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
