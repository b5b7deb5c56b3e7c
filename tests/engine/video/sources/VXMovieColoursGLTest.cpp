// Movies of pure colours at SD and HD sizes, made by the ffmpeg tool and by
// the engine's own writer, played as file sources: what shows is the colour
// the movie holds, whether it is coded in RGB, in Y'CbCr tagged with its
// matrix and range, or in untagged Y'CbCr.

#include "VXMoviePlayback.h"
#include "VXSourcesGLTestSupport.h"

#include "engine/video/codecs/VXVideoCodecSettings.h"
#include "engine/video/formats/VXAVFVideoFormat.h"
#include "engine/video/formats/VXPixels.h"
#include "engine/video/formats/avfoundation/VXAVFVideoFormatWriter.h"
#include "engine/video/formats/avfoundation/VXCoreMedia.h"
#include "engine/video/sources/VXVideoFormatReaderSource.h"
#include "support/VXMovieClips.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace vx::test
{
    namespace
    {
        // Four vertical bands, left first: the primaries show a matrix
        // mixed up, the light grey a range mixed up (it does not saturate).
        const PixelRGBA8 bands[4] = {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {220, 220, 220, 255}};
        const char* const bandsInColour = "r='255*eq(floor(4*X/W),0)+220*eq(floor(4*X/W),3)'"
                                          ":g='255*eq(floor(4*X/W),1)+220*eq(floor(4*X/W),3)'"
                                          ":b='255*eq(floor(4*X/W),2)+220*eq(floor(4*X/W),3)'";
        const int clipFrames = 3;

        // A matrix mixed up puts a primary 19 or more off in a channel
        // (green through the other matrix shows as 214), a range mixed up
        // the grey 15 or more; 8-bit and lossy coding of flat bands stay
        // well within 10.
        const int tolerance = 10;

        class MovieColoursGLTest : public SourcesGLTest
        {
        protected:
            // Every band's middle has its colour's strongest channel lit: a
            // frame still black is not yet the picture.
            static bool showsBands(const Picture& picture, int w, int h)
            {
                if (picture.width != w || picture.height != h)
                    return false;
                for (int b = 0; b < 4; ++b)
                {
                    const PixelRGBA8 p = picture.at((2 * b + 1) * w / 8, h / 2);
                    if (std::max({p.r, p.g, p.b}) < 150)
                        return false;
                }
                return true;
            }

            // The file source's output while it plays, until it shows the bands.
            Picture playAsFileSource(const std::string& path, int w, int h)
            {
                VideoFormatReader* reader = root->getVideoFormatManager()->createReaderFor(
                    File(path), false, VideoFormatReader::purposePlayback);
                if (reader == nullptr)
                    return {};
                VideoFormatReaderSource source(driver, reader);
                const Picture shown = playUntil(source, driver, *renderer, info, 25.0,
                                                [&](const Picture& p) { return showsBands(p, w, h); });
                source.release();
                return shown;
            }

            // Each band's colour across the band's middle half, at three heights.
            static void expectBands(const Picture& shown, int w, int h)
            {
                ASSERT_EQ(shown.width, w);
                ASSERT_EQ(shown.height, h);
                for (int b = 0; b < 4; ++b)
                    for (int y : {h / 4, h / 2, 3 * h / 4})
                        for (int x = b * w / 4 + w / 16; x < (b + 1) * w / 4 - w / 16; x += w / 32)
                        {
                            const PixelRGBA8 p = shown.at(x, y), want = bands[b];
                            ASSERT_TRUE(std::abs(p.r - want.r) <= tolerance && std::abs(p.g - want.g) <= tolerance &&
                                        std::abs(p.b - want.b) <= tolerance)
                                << "band " << b << " at " << x << ", " << y << " shows " << p << ", not " << want;
                        }
            }
        };

        struct ToolCase
        {
            const char* name;
            int width, height;
            const char* encoder;
            const char* options;
        };
        class ToolMovieColoursTest : public MovieColoursGLTest, public ::testing::WithParamInterface<ToolCase>
        {
        };

        struct WriterCase
        {
            const char* name;
            const char* codec;
            const char* encoder;
            int width, height;
            unsigned bytesPerPixel;
        };
        class WrittenMovieColoursTest : public MovieColoursGLTest, public ::testing::WithParamInterface<WriterCase>
        {
        };
    }

    TEST_P(ToolMovieColoursTest, ShowTheColoursTheMovieHolds)
    {
        const ToolCase& c = GetParam();
        if (! hasFFmpegEncoder(c.encoder))
            GTEST_SKIP() << "ffmpeg has no " << c.encoder << " encoder";
        ClipSpec clip;
        clip.width = c.width;
        clip.height = c.height;
        clip.frames = clipFrames;
        clip.colour = bandsInColour;
        clip.codec = c.options;
        const std::string path = temp.file(std::string(c.name) + ".mov");
        ASSERT_TRUE(makeClip(path, clip));
        expectBands(playAsFileSource(path, c.width, c.height), c.width, c.height);
    }

    // The tool codes untagged Y'CbCr with BT.601 unless told otherwise;
    // untagged movies of 720 lines and more are taken for BT.709.
    INSTANTIATE_TEST_SUITE_P(
        Movies, ToolMovieColoursTest,
        ::testing::Values(
            ToolCase{"Animation_640x360", 640, 360, "qtrle", "-c:v qtrle"},
            ToolCase{"Animation_1280x720", 1280, 720, "qtrle", "-c:v qtrle"},
            ToolCase{"Animation_1920x1080", 1920, 1080, "qtrle", "-c:v qtrle"},
            ToolCase{"PNG_640x360", 640, 360, "png", "-c:v png"},
            ToolCase{"PNG_1280x720", 1280, 720, "png", "-c:v png"},
            ToolCase{"PNG_1920x1080", 1920, 1080, "png", "-c:v png"},
            ToolCase{
                "PNGPalette_1280x720", 1280, 720, "png",
                "-vf 'split[a][b];[a]palettegen=max_colors=16:reserve_transparent=0[p];[b][p]paletteuse=dither=none' "
                "-c:v png"},
            ToolCase{"H264RGB_640x360", 640, 360, "libx264rgb", "-c:v libx264rgb -qp 0 -preset ultrafast"},
            ToolCase{"H264RGB_1280x720", 1280, 720, "libx264rgb", "-c:v libx264rgb -qp 0 -preset ultrafast"},
            ToolCase{"H264RGB_1920x1080", 1920, 1080, "libx264rgb", "-c:v libx264rgb -qp 0 -preset ultrafast"},
            ToolCase{"H264Untagged_640x360", 640, 360, "libx264", "-c:v libx264 -qp 0 -pix_fmt yuv444p"},
            ToolCase{"H264Untagged709_1280x720", 1280, 720, "libx264",
                     "-vf scale=out_color_matrix=bt709 -c:v libx264 -qp 0 -pix_fmt yuv444p"},
            ToolCase{"H264Tagged709FullRange_640x360", 640, 360, "libx264",
                     "-vf scale=out_color_matrix=bt709:out_range=full -c:v libx264 -qp 0 -pix_fmt yuv444p "
                     "-colorspace bt709 -color_primaries bt709 -color_trc bt709 -color_range pc"},
            ToolCase{"H264Tagged601_1280x720", 1280, 720, "libx264",
                     "-vf scale=out_color_matrix=bt601 -c:v libx264 -qp 0 -pix_fmt yuv444p "
                     "-colorspace smpte170m -color_primaries smpte170m -color_trc smpte170m"},
            // Ten bits keep the decoder from naming full range by its pixel format.
            ToolCase{"H264TenBitFullRange_640x360", 640, 360, "libx264",
                     "-vf scale=out_range=full -c:v libx264 -qp 0 -pix_fmt yuv444p10le "
                     "-colorspace smpte170m -color_primaries smpte170m -color_trc smpte170m -color_range pc"}),
        [](const auto& info) { return std::string(info.param.name); });

    TEST_P(WrittenMovieColoursTest, PlayBackTheColoursWritten)
    {
        const WriterCase& c = GetParam();
        if (! hasFFmpegEncoder(c.encoder))
            GTEST_SKIP() << "ffmpeg has no " << c.encoder << " encoder";
        const std::string path = temp.file(std::string(c.name) + ".mov");
        VideoCodecSettings settings;
        settings.fourCC = CodecFourCC(av::fourCharCode(*reinterpret_cast<const char(*)[5]>(c.codec)));
        File file(path);
        AVFVideoFormat format;
        std::unique_ptr<VideoFormatWriter> writer(
            format.createWriterFor(file, 25.0, c.bytesPerPixel, c.width, c.height, 0, settings));
        ASSERT_NE(writer, nullptr);
        for (int n = 0; n < clipFrames; ++n)
        {
            // B,G,R,A bytes; eight bytes per pixel: native 16-bit R,G,B,A.
            auto frame = std::make_shared<Pixels>(c.width, c.height, static_cast<int>(c.bytesPerPixel), nullptr);
            for (int y = 0; y < c.height; ++y)
                for (int x = 0; x < c.width; ++x)
                {
                    const PixelRGBA8 colour = bands[x * 4 / c.width];
                    unsigned char* p = frame->data + (static_cast<std::size_t>(y) * c.width + x) * c.bytesPerPixel;
                    if (c.bytesPerPixel == 8)
                    {
                        const std::uint16_t wide[4] = {static_cast<std::uint16_t>(colour.r * 257),
                                                       static_cast<std::uint16_t>(colour.g * 257),
                                                       static_cast<std::uint16_t>(colour.b * 257), 65535};
                        std::memcpy(p, wide, sizeof(wide));
                    }
                    else
                    {
                        p[0] = colour.b;
                        p[1] = colour.g;
                        p[2] = colour.r;
                        p[3] = 255;
                    }
                }
            while (writer->isBusy())
                std::this_thread::yield();
            ASSERT_TRUE(writer->write(frame)) << n;
        }
        static_cast<AVFVideoFormatWriter&>(*writer).finishWriting();
        writer.reset();
        expectBands(playAsFileSource(path, c.width, c.height), c.width, c.height);
    }

    INSTANTIATE_TEST_SUITE_P(Codecs, WrittenMovieColoursTest,
                             ::testing::Values(WriterCase{"ProRes4444_640x360", "apch", "prores_ks", 640, 360, 4},
                                               WriterCase{"ProRes4444_1280x720", "apch", "prores_ks", 1280, 720, 4},
                                               WriterCase{"ProRes4444_1920x1080", "apch", "prores_ks", 1920, 1080, 4},
                                               WriterCase{"ProRes4444Deep_1920x1080", "apch", "prores_ks", 1920, 1080,
                                                          8},
                                               WriterCase{"ProRes422_640x360", "apcn", "prores_ks", 640, 360, 4},
                                               WriterCase{"ProRes422_1280x720", "apcn", "prores_ks", 1280, 720, 4},
                                               WriterCase{"ProRes422_1920x1080", "apcn", "prores_ks", 1920, 1080, 4},
                                               WriterCase{"H264_640x360", "h264", "libx264", 640, 360, 4},
                                               WriterCase{"H264_1280x720", "h264", "libx264", 1280, 720, 4},
                                               WriterCase{"H264_1920x1080", "h264", "libx264", 1920, 1080, 4},
                                               WriterCase{"MJPEG_640x360", "jpeg", "mjpeg", 640, 360, 4},
                                               WriterCase{"MJPEG_1280x720", "jpeg", "mjpeg", 1280, 720, 4},
                                               WriterCase{"MJPEG_1920x1080", "jpeg", "mjpeg", 1920, 1080, 4}),
                             [](const auto& info) { return std::string(info.param.name); });
}
