// A generator's picture recorded into QMV movies (and a QMI image) by the
// format registry's writers, from its rendered texture, and played back as a
// file source: the played picture is the generated one, upright, within each
// codec's error.

#include "VXMoviePlayback.h"
#include "VXSourcesGLTestSupport.h"

#include "core/parameters/VXParamChoice.h"
#include "engine/video/codecs/VXQMVFrame.h"
#include "engine/video/codecs/VXVideoCodecInfoQMV.h"
#include "engine/video/formats/VXVideoFormatWriter.h"
#include "engine/video/sources/VXGeneratorVideoSource.h"
#include "engine/video/formats/VXPixels.h"
#include "engine/video/sources/VXVideoFormatReaderSource.h"
#include "support/VXMovieClips.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace vx::test
{
    namespace
    {
        // Four flat regions on 16-pixel blocks, none the mirror of another:
        // dark blue, with red low left, green high right and white high left.
        class QuadrantsGenerator : public Generator
        {
        public:
            QuadrantsGenerator() { setName(classType(), true); }
            static std::string classType() { return "TestQuadrants"; }
            static std::string classDisplayStr() { return "Quadrants"; }
            static RttiObject* creationFunc() { return new QuadrantsGenerator(); }
            std::string getClassType() const override { return classType(); }
            std::string getClassDisplayStr() const override { return classDisplayStr(); }

            bool render(Renderer& renderer) override
            {
                if (! begin(renderer))
                    return false;
                GLint viewport[4] = {};
                glGetIntegerv(GL_VIEWPORT, viewport);
                const int w = viewport[2], h = viewport[3];
                gfx::clear(0.1f, 0.1f, 0.5f, 1.0f);
                glEnable(GL_SCISSOR_TEST);
                const auto fill = [](int x, int y, int rw, int rh, float r, float g, float b)
                {
                    glScissor(x, y, rw, rh);
                    gfx::clear(r, g, b, 1.0f);
                };
                fill(0, 0, w / 4, h / 2, 0.9f, 0.1f, 0.1f);
                fill(w / 2, h / 2, w / 2, h / 2, 0.1f, 0.8f, 0.2f);
                fill(0, h / 2, w / 4, h / 2, 1.0f, 1.0f, 1.0f);
                glDisable(GL_SCISSOR_TEST);
                glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
                end(renderer);
                return true;
            }
        };

        struct CodecCase
        {
            const char* name;
            // "qmv" (three frames) or "qmi" (one image).
            const char* extension;
            int type;
            // Per channel, what the codec may change in a flat 16-pixel block.
            int tolerance;
        };

        class RecordedQMVGLTest : public SourcesGLTest, public ::testing::WithParamInterface<CodecCase>
        {
        protected:
            void SetUp() override
            {
                SourcesGLTest::SetUp();
                ASSERT_FALSE(HasFatalFailure());
                root->getRenderPassManager()->registerRenderPass<QuadrantsGenerator>(RenderPassCategoryGenerator, 0,
                                                                                     false, false);
            }
        };
    }

    TEST_P(RecordedQMVGLTest, PlaysBackUprightAsItWasGenerated)
    {
        const CodecCase& c = GetParam();
        const int w = 64, h = 32, frames = std::string(c.extension) == "qmv" ? 3 : 1;
        std::unique_ptr<GeneratorVideoSource> generator(
            dynamic_cast<GeneratorVideoSource*>(root->getRenderPassManager()->createSource("TestQuadrants")));
        ASSERT_NE(generator, nullptr);
        generator->setSize(w, h);
        TextureRef generated = generator->render(*renderer, info);
        ASSERT_NE(generated.get(), nullptr);
        const Picture expected = cutTo(readOutput(generated), w, h);
        ASSERT_EQ(expected.width, w);
        ASSERT_EQ(expected.height, h);

        const std::string path = temp.file(std::string(c.name) + "." + c.extension);
        {
            VideoCodecInfoQMV codecInfo;
            codecInfo.getFormatType()->setValue(c.type, ValueChangeInfo());
            VideoCodecSettings settings(w, h, 25.0, &codecInfo);
            File file(path);
            std::unique_ptr<VideoFormatWriter> writer(
                root->getVideoFormatManager()->createWriterFor(file, 25.0, 4, w, h, settings));
            ASSERT_NE(writer, nullptr);
            for (int n = 0; n < frames; ++n)
            {
                while (writer->isBusy())
                    std::this_thread::yield();
                ASSERT_TRUE(writer->writeFromTexture(generated.get())) << "frame " << n;
            }
        }

        VideoFormatReader* reader =
            root->getVideoFormatManager()->createReaderFor(File(path), false, VideoFormatReader::purposePlayback);
        ASSERT_NE(reader, nullptr);
        VideoFormatReaderSource source(driver, reader);
        for (int n = 0; n < frames; ++n)
        {
            source.getPositionParam()->setValue(n * 40.0 + 20.0, ValueChangeInfo());
            const Picture played = cutTo(readOutput(source.render(*renderer, info)), w, h);
            ASSERT_EQ(played.width, w) << "frame " << n;
            ASSERT_EQ(played.height, h) << "frame " << n;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    ASSERT_TRUE(isNear(played.at(x, y), expected.at(x, y), c.tolerance))
                        << "frame " << n << ", pixel " << x << ", " << y << " is " << played.at(x, y) << ", generated "
                        << expected.at(x, y);
        }
        source.release();
    }

    INSTANTIATE_TEST_SUITE_P(Codecs, RecordedQMVGLTest,
                             ::testing::Values(CodecCase{"DXT1", "qmv", qmv::typeDXT1, 12},
                                               CodecCase{"YCoCg6", "qmv", qmv::typeYCoCg6, 12},
                                               CodecCase{"DXT1Image", "qmi", qmv::typeDXT1, 12}),
                             [](const auto& info) { return std::string(info.param.name); });

    namespace
    {
        struct HighQualityCase
        {
            const char* name;
            int type;
            int width, height;
        };

        class RecordedHighQualityQMVGLTest : public SourcesGLTest,
                                             public ::testing::WithParamInterface<HighQualityCase>
        {
        };
    }

    // Sides that are not whole 16-pixel blocks: the padded planes' rows and
    // columns stay out of the picture, which plays at its size as recorded,
    // bottom rows and right columns included.
    TEST_P(RecordedHighQualityQMVGLTest, PlaysAtItsOwnSize)
    {
        const HighQualityCase& c = GetParam();
        const int w = c.width, h = c.height, frames = 2;
        // A test card softened to what the block coders keep within a few
        // levels; its bars, ramps and circles place every row and column.
        const std::string raw = captureCommand("ffmpeg -v error -f lavfi -i testsrc2=s=" + std::to_string(w) + "x" +
                                               std::to_string(h) +
                                               " -vf gblur=sigma=4 -frames:v 1 -f rawvideo -pix_fmt rgba -");
        ASSERT_EQ(raw.size(), size_t(w) * h * 4) << "ffmpeg made no picture";
        auto picture = std::make_shared<Pixels>(w, h, 4, reinterpret_cast<const unsigned char*>(raw.data()));

        const std::string path = temp.file(std::string(c.name) + ".qmv");
        {
            VideoCodecInfoQMV codecInfo;
            codecInfo.getFormatType()->setValue(c.type, ValueChangeInfo());
            VideoCodecSettings settings(w, h, 25.0, &codecInfo);
            File file(path);
            std::unique_ptr<VideoFormatWriter> writer(
                root->getVideoFormatManager()->createWriterFor(file, 25.0, 4, w, h, settings));
            ASSERT_NE(writer, nullptr);
            for (int n = 0; n < frames; ++n)
                ASSERT_TRUE(writer->write(picture)) << "frame " << n;
        }

        VideoFormatReader* reader =
            root->getVideoFormatManager()->createReaderFor(File(path), false, VideoFormatReader::purposePlayback);
        ASSERT_NE(reader, nullptr);
        VideoFormatReaderSource source(driver, reader);
        // On the softened card the coders stay within 24 levels at any pixel
        // and about 1.3 on average; the padding drawn into the picture is 255
        // off, and rows or columns taken from a little further along put the
        // average at 4 or more.
        const int tolerance = 24;
        const double meanTolerance = 2.5;
        for (int n = 0; n < frames; ++n)
        {
            source.getPositionParam()->setValue(n * 40.0 + 20.0, ValueChangeInfo());
            const Picture played = cutTo(readOutput(source.render(*renderer, info)), w, h);
            ASSERT_EQ(played.width, w) << "frame " << n;
            ASSERT_EQ(played.height, h) << "frame " << n;
            int worst = 0, worstX = 0, worstY = 0;
            long long total = 0;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                {
                    // Read back bottom row first; the card's rows come top first.
                    const unsigned char* want = picture->data + (size_t(h - 1 - y) * w + x) * 4;
                    const PixelRGBA8 got = played.at(x, y);
                    const int off = std::max({std::abs(got.r - want[0]), std::abs(got.g - want[1]),
                                              std::abs(got.b - want[2]), std::abs(got.a - 255)});
                    total += off;
                    if (off > worst)
                    {
                        worst = off;
                        worstX = x;
                        worstY = h - 1 - y;
                    }
                }
            EXPECT_LE(worst, tolerance) << "frame " << n << ": pixel " << worstX << ", " << worstY
                                        << " (from the top) is " << worst << " levels off";
            const double mean = double(total) / (double(w) * h);
            EXPECT_LE(mean, meanTolerance) << "frame " << n;
        }
        source.release();
    }

    INSTANTIATE_TEST_SUITE_P(
        Sizes, RecordedHighQualityQMVGLTest,
        ::testing::Values(HighQualityCase{"YCoCg6At1080p", qmv::typeYCoCg6, 1920, 1080},
                          HighQualityCase{"YCoCg6At854x480", qmv::typeYCoCg6, 854, 480},
                          HighQualityCase{"YACoCg10At1080p", qmv::typeYACoCg10, 1920, 1080},
                          HighQualityCase{"YACoCg10At854x480", qmv::typeYACoCg10, 854, 480}),
        [](const auto& info) { return std::string(info.param.name); });
}
