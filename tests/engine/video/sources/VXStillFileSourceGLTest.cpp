// Still pictures played as file sources and read back: TIFFs with alpha of
// either kind show what the same picture as a PNG shows, grey pictures show
// grey with their own alpha, and a file that opens but cannot be decoded
// shows nothing, least of all the picture a source before it left in a
// pooled texture. The ffmpeg tool makes the files it writes; libtiff and
// libjpeg the layouts it does not (associated alpha, tiles, one-component
// JPEG).

#include "VXMoviePlayback.h"
#include "VXSourcesGLTestSupport.h"

#include "engine/video/formats/VXExifTestWriter.h"
#include "engine/video/formats/VXImageFormatReader.h"
#include "engine/video/formats/VXTIFFTestWriter.h"
#include "engine/video/sources/VXVideoFormatReaderSource.h"
#include "support/VXLargeAllocations.h"
#include "support/VXLogRecorder.h"
#include "support/VXMaxTextureSize.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <jpeglib.h>

namespace vx::test
{
    namespace
    {
        const int width = 32, height = 8;

        // Four bands of 8 columns, left first, in straight colour.
        const PixelRGBA8 bands[4] = {{224, 128, 64, 128}, {224, 128, 64, 255}, {40, 200, 120, 64}, {250, 20, 200, 200}};

        PixelRGBA8 bandAt(int x) { return bands[x / (width / 4)]; }

        PixelRGBA8 premultiplied(PixelRGBA8 p)
        {
            const auto times = [&](int c) { return std::uint8_t(std::lround(c * p.a / 255.0)); };
            return {times(p.r), times(p.g), times(p.b), p.a};
        }

        // An ffmpeg "geq" expression of X picking each band's value of a
        // channel, times scale.
        std::string bandsExpression(std::uint8_t PixelRGBA8::*channel, int scale)
        {
            std::string expression = std::to_string(bands[3].*channel * scale);
            for (int b = 2; b >= 0; --b)
                expression = "if(lt(X," + std::to_string((b + 1) * width / 4) + ")," +
                             std::to_string(bands[b].*channel * scale) + "," + expression + ")";
            return expression;
        }

        // The bands written by the ffmpeg tool in pixelFormat. Sixteen-bit
        // ones are drawn at 16 bits: the tool widens 8-bit values by a shift.
        bool ffmpegBands(const std::string& path, const std::string& pixelFormat)
        {
            const bool wide = pixelFormat == "rgba64le";
            const int scale = wide ? 257 : 1;
            const std::string command =
                "ffmpeg -v error -y -f lavfi -i \"color=c=black:s=" + std::to_string(width) + "x" +
                std::to_string(height) + ",format=" + (wide ? "rgba64le" : "rgba") + ",geq=r='" +
                bandsExpression(&PixelRGBA8::r, scale) + "':g='" + bandsExpression(&PixelRGBA8::g, scale) + "':b='" +
                bandsExpression(&PixelRGBA8::b, scale) + "':a='" + bandsExpression(&PixelRGBA8::a, scale) +
                "'\" -frames:v 1 -pix_fmt " + pixelFormat + " \"" + path + "\"";
            return std::system(command.c_str()) == 0;
        }

        // The bands as an associated-alpha (premultiplied) TIFF of 8 or 16
        // bits, RGBA or grey (the red channel) and alpha.
        bool associatedTiff(const std::string& path, int bits, bool grey)
        {
            RawTiff t;
            t.width = width;
            t.height = height;
            t.bitsPerSample = std::uint16_t(bits);
            t.samplesPerPixel = grey ? 2 : 4;
            t.photometric = grey ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB;
            t.extraSamples = {EXTRASAMPLE_ASSOCALPHA};
            std::vector<std::uint16_t> samples;
            for (int x = 0; x < width; ++x)
            {
                const PixelRGBA8 p = bandAt(x);
                const double alpha = p.a / 255.0;
                const double max = bits == 16 ? 65535.0 : 255.0;
                const auto stored = [&](int c) { return std::uint16_t(std::lround(c / 255.0 * alpha * max)); };
                if (grey)
                    samples.insert(samples.end(), {stored(p.r), stored(255)});
                else
                    samples.insert(samples.end(), {stored(p.r), stored(p.g), stored(p.b), stored(255)});
            }
            const std::vector<unsigned char> row =
                bits == 16 ? wideRow(samples) : std::vector<unsigned char>(samples.begin(), samples.end());
            t.rows.assign(height, row);
            return writeTiff(path, t);
        }

        // A one-component (greyscale) baseline JPEG of the bands' red values.
        bool greyJpeg(const std::string& path)
        {
            FILE* file = std::fopen(path.c_str(), "wb");
            if (file == nullptr)
                return false;
            std::vector<unsigned char> row(width);
            for (int x = 0; x < width; ++x)
                row[size_t(x)] = bandAt(x).r;
            jpeg_compress_struct c{};
            jpeg_error_mgr errors{};
            c.err = jpeg_std_error(&errors);
            jpeg_create_compress(&c);
            jpeg_stdio_dest(&c, file);
            c.image_width = width;
            c.image_height = height;
            c.input_components = 1;
            c.in_color_space = JCS_GRAYSCALE;
            jpeg_set_defaults(&c);
            jpeg_set_quality(&c, 98, TRUE);
            jpeg_start_compress(&c, TRUE);
            JSAMPROW rows[1] = {row.data()};
            while (c.next_scanline < c.image_height)
                jpeg_write_scanlines(&c, rows, 1);
            jpeg_finish_compress(&c);
            jpeg_destroy_compress(&c);
            return std::fclose(file) == 0;
        }

        // A w x h 16-bit grey TIFF in 16 x 16 tiles, every sample value.
        bool tiledGreyTiff(const std::string& path, int w, int h, std::uint16_t value)
        {
            TIFF* tiff = TIFFOpen(path.c_str(), "w");
            if (tiff == nullptr)
                return false;
            TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, std::uint32_t(w));
            TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, std::uint32_t(h));
            TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, std::uint16_t(16));
            TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, std::uint16_t(1));
            TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
            TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
            TIFFSetField(tiff, TIFFTAG_TILEWIDTH, std::uint32_t(16));
            TIFFSetField(tiff, TIFFTAG_TILELENGTH, std::uint32_t(16));
            const std::vector<std::uint16_t> tile(16 * 16, value);
            bool ok = true;
            for (int y = 0; y < h; y += 16)
                for (int x = 0; x < w; x += 16)
                    ok = ok && TIFFWriteTile(tiff, const_cast<std::uint16_t*>(tile.data()), std::uint32_t(x),
                                             std::uint32_t(y), 0, 0) >= 0;
            TIFFClose(tiff);
            return ok;
        }

        class StillFileSourceGLTest : public SourcesGLTest
        {
        protected:
            // The source's output once it shows a picture of the file's size;
            // empty when the file gives no reader or nothing shows.
            Picture play(const std::string& path)
            {
                return play(root->getVideoFormatManager()->createReaderFor(File(path), false,
                                                                          VideoFormatReader::purposePlayback));
            }

            // The same for a reader in hand (the source takes it).
            Picture play(VideoFormatReader* reader)
            {
                if (reader == nullptr)
                    return {};
                VideoFormatReaderSource source(driver, reader);
                const Picture shown = playUntil(source, driver, *renderer, info, 25.0,
                                                [](const Picture& p) { return p.width > 0 && p.height > 0; });
                source.release();
                return shown;
            }

            static void expectBands(const Picture& shown, const std::function<PixelRGBA8(int x)>& expected,
                                    int tolerance, const char* what)
            {
                ASSERT_EQ(shown.width, width) << what;
                ASSERT_EQ(shown.height, height) << what;
                for (int y = 0; y < height; ++y)
                    for (int x = 0; x < width; ++x)
                        ASSERT_TRUE(isNear(shown.at(x, y), expected(x), tolerance))
                            << what << ": pixel " << x << ", " << y << " is " << shown.at(x, y) << ", expected "
                            << expected(x);
            }
        };

        struct AlphaTiffCase
        {
            const char* name;
            // Written by the ffmpeg tool in this pixel format; otherwise
            // written with associated alpha at bits.
            const char* ffmpegFormat;
            int bits;
            bool grey;
        };

        class TIFFAlphaGLTest : public StillFileSourceGLTest, public ::testing::WithParamInterface<AlphaTiffCase>
        {
        };
    }

    TEST_P(TIFFAlphaGLTest, ShowsWhatThePNGShows)
    {
        const AlphaTiffCase& c = GetParam();
        const std::string tiff = temp.file(std::string(c.name) + ".tif");
        ASSERT_TRUE(c.ffmpegFormat != nullptr ? ffmpegBands(tiff, c.ffmpegFormat)
                                              : associatedTiff(tiff, c.bits, c.grey));
        // Each colour multiplied by its alpha once, as the output holds it.
        const auto expected = [&](int x)
        {
            PixelRGBA8 p = bandAt(x);
            if (c.grey)
                p.g = p.b = p.r;
            return premultiplied(p);
        };
        const Picture asTIFF = play(tiff);
        expectBands(asTIFF, expected, 2, "TIFF");
        // The tool makes grey from colour by its own weights: only colour
        // TIFFs have the same picture as a PNG to compare with.
        if (c.grey)
            return;
        const std::string png = temp.file("bands.png");
        ASSERT_TRUE(ffmpegBands(png, "rgba"));
        const Picture asPNG = play(png);
        expectBands(asPNG, expected, 2, "PNG");
        expectBands(asTIFF, [&](int x) { return asPNG.at(x, 0); }, 1, "TIFF against the PNG");
    }

    INSTANTIATE_TEST_SUITE_P(
        Kinds, TIFFAlphaGLTest,
        ::testing::Values(AlphaTiffCase{"UnassociatedRGBA8ByFFmpeg", "rgba", 8, false},
                          AlphaTiffCase{"UnassociatedRGBA16ByFFmpeg", "rgba64le", 16, false},
                          AlphaTiffCase{"AssociatedRGBA8", nullptr, 8, false},
                          AlphaTiffCase{"AssociatedRGBA16", nullptr, 16, false},
                          AlphaTiffCase{"AssociatedGreyAlpha8", nullptr, 8, true}),
        [](const auto& info) { return std::string(info.param.name); });

    // A one-component JPEG shows grey and opaque, dark parts included.
    TEST_F(StillFileSourceGLTest, OneComponentJPEGShowsOpaqueGrey)
    {
        const std::string path = temp.file("grey.jpg");
        ASSERT_TRUE(greyJpeg(path));
        expectBands(
            play(path),
            [](int x)
            {
                const std::uint8_t v = bandAt(x).r;
                return PixelRGBA8{v, v, v, 255};
            },
            3, "JPEG");
    }

    // A grey and alpha PNG read by the general reader (two channels from
    // stb): grey with its own alpha.
    TEST_F(StillFileSourceGLTest, GreyAndAlphaThroughTheGeneralReader)
    {
        const std::string lower = temp.file("grey.png");
        ASSERT_TRUE(ffmpegBands(lower, "ya8"));
        // The PNG reader's picture of the same file is the reference: the
        // tool makes the grey from the colour bands.
        const Picture reference = play(lower);
        ASSERT_EQ(reference.width, width);
        for (int x = 0; x < width; ++x)
        {
            const PixelRGBA8 p = reference.at(x, 0);
            ASSERT_EQ(p.a, bandAt(x).a) << x;
            ASSERT_TRUE(p.r == p.g && p.g == p.b) << x << ": " << p;
        }
        std::unique_ptr<ImageFormatReader> general(new ImageFormatReader(File(lower)));
        ASSERT_TRUE(general->isOpened());
        expectBands(play(general.release()), [&](int x) { return reference.at(x, 0); }, 1, "grey and alpha");
    }

    // A phone's shot stored sideways, its EXIF block naming the quarter turn,
    // shows upright and at the upright picture's size.
    TEST_F(StillFileSourceGLTest, AShotStoredSidewaysShowsUpright)
    {
        const std::string upright = temp.file("upright.png"), stored = temp.file("stored.jpg");
        ASSERT_TRUE(ffmpegBands(upright, "rgb24"));
        ASSERT_EQ(std::system(("ffmpeg -v error -y -i \"" + upright +
                               "\" -vf transpose=2 -pix_fmt yuvj444p -q:v 1 \"" + stored + "\"")
                                  .c_str()),
                  0);
        const std::string photo =
            temp.writeFile("IMG_0001.JPG", exif::withOrientation(temp.readFile("stored.jpg"), 6, false));
        // JPEG's colour conversion may be a few levels off.
        expectBands(
            play(photo),
            [](int x)
            {
                PixelRGBA8 p = bandAt(x);
                p.a = 255;
                return p;
            },
            6, "the turned JPEG");
    }

    namespace
    {
        struct UndecodableCase
        {
            const char* name;
            // Writes a file that decodes and one of the same size and pixel
            // layout that opens but does not decode.
            bool (*make)(TempDir& temp, std::string& good, std::string& bad);
            // What the failed decode logs.
            const char* failure;
        };

        bool truncatedPNG(TempDir& temp, std::string& good, std::string& bad)
        {
            good = temp.file("whole.png");
            if (! ffmpegBands(good, "rgba"))
                return false;
            const std::string bytes = temp.readFile("whole.png");
            // Header and the start of the picture's data: an interrupted copy.
            bad = temp.writeFile("cut.png", bytes.substr(0, bytes.size() * 2 / 3));
            return bytes.size() > 60;
        }

        bool tiledTIFF(TempDir& temp, std::string& good, std::string& bad)
        {
            good = temp.file("strips.tif");
            bad = temp.file("tiles.tif");
            RawTiff t;
            t.width = width;
            t.height = height;
            t.bitsPerSample = 16;
            t.rows.assign(height, wideRow(std::vector<std::uint16_t>(width, 50000)));
            return writeTiff(good, t) && tiledGreyTiff(bad, width, height, 20000);
        }

        class UndecodableFileGLTest : public StillFileSourceGLTest,
                                      public ::testing::WithParamInterface<UndecodableCase>
        {
        };
    }

    TEST_P(UndecodableFileGLTest, ShowsNothingOfTheFileBefore)
    {
        const UndecodableCase& c = GetParam();
        std::string good, bad;
        ASSERT_TRUE(c.make(temp, good, bad));
        // The good file's picture goes back to the texture pool with its source.
        const Picture before = play(good);
        ASSERT_EQ(before.width, width);

        LogRecorder log;
        VideoFormatReader* reader =
            root->getVideoFormatManager()->createReaderFor(File(bad), false, VideoFormatReader::purposePlayback);
        ASSERT_NE(reader, nullptr) << "the file opens";
        VideoFormatReaderSource source(driver, reader);
        source.render(*renderer, info);
        driver.removeSource(&source);
        const auto watchdog = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (! log.contains(c.failure) && std::chrono::steady_clock::now() < watchdog)
        {
            source.updateVideo();
            source.render(*renderer, info);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ASSERT_TRUE(log.contains(c.failure)) << log.dump();
        for (int n = 0; n < 5; ++n)
        {
            source.updateVideo();
            const TextureRef output = source.render(*renderer, info);
            if (output.get() == nullptr)
                continue;
            // Drawn at all, it is cleared.
            const Picture shown = cutTo(readBack(*output.get()), width, height);
            for (int x = 0; x < width; ++x)
                ASSERT_EQ(shown.at(x, 0), (PixelRGBA8{0, 0, 0, 0})) << "render " << n << ", pixel " << x;
        }
        source.release();
        size_t failures = 0;
        for (const LogRecorder::Line& line : log.lines())
            failures += line.text.find(c.failure) != std::string::npos ? 1 : 0;
        EXPECT_EQ(failures, 1u) << log.dump();
    }

    INSTANTIATE_TEST_SUITE_P(
        Files, UndecodableFileGLTest,
        ::testing::Values(UndecodableCase{"PNGCutShort", truncatedPNG, "decodeImage failed"},
                          UndecodableCase{"TiledSixteenBitGreyTIFF", tiledTIFF, "decompressToBytes failed"}),
        [](const auto& info) { return std::string(info.param.name); });

    // A composition giving a picture source a size GL cannot hold, in the
    // source's element, the reader's or both: restored, the source says so in
    // one line and shows nothing, and nothing of that size is allocated. At
    // the tests' GL's own limit and at a smaller GPU's.
    TEST_F(StillFileSourceGLTest, ACompositionAskingForMoreThanGLHoldsShowsNothing)
    {
        const std::string png = temp.path() + "/bands.png", jpeg = temp.path() + "/grey.jpg";
        ASSERT_TRUE(ffmpegBands(png, "rgba"));
        ASSERT_TRUE(greyJpeg(jpeg));
        struct Case
        {
            const char* what;
            int most; // the largest texture; 0: this GL's
            int side;
            bool inSource, inReader;
        };
        const Case cases[] = {
            {"65535 x 65535 in both elements", 0, 65535, true, true},
            {"1024 x 1024 on a GPU of 256, in the source's element", 256, 1024, true, false},
            {"1024 x 1024 on a GPU of 256, in the reader's element", 256, 1024, false, true},
        };
        for (const std::string& file : {png, jpeg})
            for (const Case& c : cases)
            {
                SCOPED_TRACE(file + ", " + c.what);
                std::unique_ptr<MaxTextureSize> smaller(c.most > 0 ? new MaxTextureSize(c.most) : nullptr);
                const std::string side = std::to_string(c.side);
                const std::string size = "width=\"" + side + "\" height=\"" + side + "\"";
                LogRecorder log;
                // A frame of the size at two bytes a pixel, or more.
                const LargeAllocations large(std::size_t(c.side) * std::size_t(c.side) * 2);
                std::unique_ptr<VideoSource> source(VideoFormatReaderSource::createFromXML(
                    driver,
                    *sourceElement("fileName=\"" + file + "\" LoadingThread=\"TTM_MESSAGE\" " +
                                       (c.inReader ? size : std::string()),
                                   c.inSource ? size : "width=\"32\" height=\"8\""),
                    nullptr));
                ASSERT_NE(source, nullptr);
                drainMessages();
                for (int n = 0; n < 3; ++n)
                {
                    source->updateVideo();
                    EXPECT_EQ(source->render(*renderer, info).get(), nullptr) << "render " << n;
                }
                source->release();
                size_t refusals = 0;
                for (const LogRecorder::Line& line : log.lines())
                    refusals += line.message.find("cannot be shown") != std::string::npos ? 1 : 0;
                EXPECT_EQ(refusals, 1u) << log.dump();
                EXPECT_EQ(large.count(), 0u) << "the largest allocation was " << large.largest() << " bytes";
                EXPECT_EQ(source->getWidth(), 0);
            }
    }
}
