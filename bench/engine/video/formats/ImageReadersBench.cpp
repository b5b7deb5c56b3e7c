// The image readers beside the bare libraries doing the same work on the
// same 1920x1080 pictures, each into a buffer allocated once: PNG (RGBA and
// palette) against png_read_image and stb_image, a JPEG (as stored and with
// an EXIF quarter turn) against stb_image, TIFF (RGB, grey, palette)
// against TIFFReadRGBAImage, a 100-frame GIF against DGifSlurp with a plain
// compose loop, a stored GIF frame against lzf_decompress and a copy; then a
// 100-frame 1080p PNG sequence played forward at 25 frames per second
// through the block bufferer: the time the render side waits in getFrame
// against one decode, and the tasks made per frame.

#include <benchmark/benchmark.h>
#include <gif_lib.h>
#include <lzf.h>
#include <png.h>
#include <tiffio.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include "../../../VXScratchFolder.h"

#include "core/VXFile.h"
#include "core/VXTaskManager.h"
#include "engine/video/formats/VXGIFImage.h"
#include "engine/video/formats/VXGIFVideoFormatReader.h"
#include "engine/video/formats/VXImageUtils.h"
#include "engine/video/formats/VXPNGImageFormat.h"
#include "engine/video/formats/VXPNGImageFormatReader.h"
#include "engine/video/formats/VXPixels.h"
#include "engine/video/formats/VXSequentialBlockFramesBufferer.h"
#include "engine/video/formats/VXTIFFImage.h"

namespace
{
    constexpr int width = 1920;
    constexpr int height = 1080;

    // Removed with what the benchmarks wrote when the program ends.
    const std::string& folder()
    {
        static const vx::bench::ScratchFolder scratch("vx-image-readers-bench-");
        return scratch.getPath();
    }

    // A smooth gradient with seeded noise: compressible like video, not trivially.
    std::vector<unsigned char> picture(int channels, unsigned seed)
    {
        std::vector<unsigned char> v(static_cast<size_t>(width) * height * channels);
        std::mt19937 rng(seed);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                for (int c = 0; c < channels; ++c)
                {
                    const int noise = static_cast<int>(rng() % 9) - 4;
                    const int base = c == 0 ? x * 255 / width : c == 1 ? y * 255 / height : c == 2 ? (x + y + static_cast<int>(seed)) & 0xFF : 255;
                    v[(static_cast<size_t>(y) * width + x) * channels + c] =
                        static_cast<unsigned char>(c == 3 ? 255 : std::clamp(base + noise, 0, 255));
                }
        return v;
    }

    std::string readFile(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    [[noreturn]] void fail(const char* what)
    {
        std::fprintf(stderr, "bench setup: %s\n", what);
        std::abort();
    }

    // ---- PNG

    std::string pngFile(bool palette)
    {
        const std::string path = folder() + (palette ? "/palette.png" : "/rgba.png");
        if (std::filesystem::exists(path))
            return path;
        if (! palette)
        {
            const auto pixels = picture(4, 1);
            if (! vx::ImageUtils::writeToPng(vx::File(path), width, height, 4, pixels.data(), 0))
                fail("png");
            return path;
        }
        FILE* f = std::fopen(path.c_str(), "wb");
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        png_init_io(png, f);
        png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        std::vector<png_color> colours(256);
        for (int i = 0; i < 256; ++i)
            colours[i] = {static_cast<png_byte>(i), static_cast<png_byte>(255 - i), static_cast<png_byte>(i * 7)};
        png_set_PLTE(png, info, colours.data(), 256);
        png_write_info(png, info);
        const auto grey = picture(1, 2);
        for (int y = 0; y < height; ++y)
            png_write_row(png, const_cast<png_bytep>(grey.data() + static_cast<size_t>(y) * width));
        png_write_end(png, nullptr);
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return path;
    }

    struct MemoryReader
    {
        const char* next;
        const char* end;
    };

    // Bare libpng with the reader's transformations into rows of a buffer
    // allocated once.
    void bareDecodeInto(const std::string& file, unsigned char* pixels)
    {
        MemoryReader reader{file.data(), file.data() + file.size()};
        png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        png_set_read_fn(png, &reader,
                        [](png_structp s, png_bytep data, png_size_t n)
                        {
                            auto* r = static_cast<MemoryReader*>(png_get_io_ptr(s));
                            std::memcpy(data, r->next, n);
                            r->next += n;
                        });
        png_read_info(png, info);
        png_uint_32 w = 0, h = 0;
        int bitDepth = 0, colorType = 0;
        png_get_IHDR(png, info, &w, &h, &bitDepth, &colorType, nullptr, nullptr, nullptr);
        if (colorType == PNG_COLOR_TYPE_PALETTE)
            png_set_expand(png);
        if (png_get_valid(png, info, PNG_INFO_tRNS) != 0)
            png_set_tRNS_to_alpha(png);
        if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
            png_set_gray_to_rgb(png);
        png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
        png_read_update_info(png, info);
        std::vector<png_bytep> rows(h);
        for (png_uint_32 y = 0; y < h; ++y)
            rows[y] = pixels + static_cast<size_t>(y) * w * 4;
        png_read_image(png, rows.data());
        png_read_end(png, nullptr);
        png_destroy_read_struct(&png, &info, nullptr);
    }

    void BM_PNGReaderFrame(benchmark::State& state)
    {
        const bool palette = state.range(0) != 0;
        vx::PNGImageFormatReader reader{vx::File(pngFile(palette))};
        int count = 1;
        reader.prepareFrames(0, count, nullptr);
        std::vector<unsigned char> frame(reader.getFrameSize());
        for (auto _ : state)
        {
            unsigned char* target = frame.data();
            if (! reader.decompressPreparedFrame(0, &target))
                state.SkipWithError("decode failed");
            benchmark::ClobberMemory();
        }
    }
    BENCHMARK(BM_PNGReaderFrame)->Arg(0)->Arg(1)->ArgName("palette")->Name("BM_PNGReaderFrame/1920x1080")->Unit(benchmark::kMillisecond);

    void BM_PNGBareLibpng(benchmark::State& state)
    {
        const std::string file = readFile(pngFile(state.range(0) != 0));
        std::vector<unsigned char> frame(static_cast<size_t>(width) * height * 4);
        for (auto _ : state)
        {
            bareDecodeInto(file, frame.data());
            benchmark::ClobberMemory();
        }
    }
    BENCHMARK(BM_PNGBareLibpng)->Arg(0)->Arg(1)->ArgName("palette")->Name("BM_PNGBareLibpng/1920x1080")->Unit(benchmark::kMillisecond);

    void BM_PNGStbImage(benchmark::State& state)
    {
        const std::string file = readFile(pngFile(state.range(0) != 0));
        for (auto _ : state)
        {
            int w = 0, h = 0, channels = 0;
            unsigned char* pixels = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(file.data()),
                                                          static_cast<int>(file.size()), &w, &h, &channels, 4);
            benchmark::DoNotOptimize(pixels);
            stbi_image_free(pixels);
        }
    }
    BENCHMARK(BM_PNGStbImage)->Arg(0)->Arg(1)->ArgName("palette")->Name("BM_PNGStbImage/1920x1080")->Unit(benchmark::kMillisecond);

    // ---- JPEG stills: the engine's decode (segment checks, stb, and the
    // EXIF turn when the file names one) against bare stb_image.

    std::string jpegBytes(int orientation)
    {
        static const std::string plain = []
        {
            const auto pixels = picture(3, 3);
            std::string out;
            const auto append = [](void* context, void* data, int size)
            { static_cast<std::string*>(context)->append(static_cast<const char*>(data), size_t(size)); };
            if (stbi_write_jpg_to_func(append, &out, width, height, 3, pixels.data(), 90) == 0)
                fail("jpeg");
            return out;
        }();
        if (orientation == 1)
            return plain;
        // A little-endian EXIF block naming the orientation, after SOI.
        const std::string tiff = std::string("II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0", 18) +
                                 char(orientation) + std::string(7, '\0');
        const std::string body = std::string("Exif\0\0", 6) + tiff;
        const std::size_t length = body.size() + 2;
        return plain.substr(0, 2) + "\xFF\xE1" + char(length >> 8) + char(length & 0xFF) + body + plain.substr(2);
    }

    void BM_JPEGStill(benchmark::State& state)
    {
        const std::string file = jpegBytes(int(state.range(0)));
        for (auto _ : state)
        {
            unsigned long w = 0, h = 0;
            int channels = 0;
            unsigned char* pixels = vx::ImageUtils::imageFromMemory(
                reinterpret_cast<const unsigned char*>(file.data()), static_cast<int>(file.size()), &w, &h, &channels, 0);
            if (pixels == nullptr || w != static_cast<unsigned long>(state.range(0) >= 5 ? height : width))
                fail("jpeg decode");
            benchmark::DoNotOptimize(pixels);
            std::free(pixels);
        }
    }
    BENCHMARK(BM_JPEGStill)->Arg(1)->Arg(6)->ArgName("orientation")->Name("BM_JPEGStill/1920x1080")->Unit(benchmark::kMillisecond);

    void BM_JPEGStbImage(benchmark::State& state)
    {
        const std::string file = jpegBytes(1);
        for (auto _ : state)
        {
            int w = 0, h = 0, channels = 0;
            unsigned char* pixels = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(file.data()),
                                                          static_cast<int>(file.size()), &w, &h, &channels, 0);
            benchmark::DoNotOptimize(pixels);
            stbi_image_free(pixels);
        }
    }
    BENCHMARK(BM_JPEGStbImage)->Name("BM_JPEGStbImage/1920x1080")->Unit(benchmark::kMillisecond);

    // ---- TIFF

    enum TiffKind
    {
        tiffRGB = 0,
        tiffGrey = 1,
        tiffPalette = 2
    };

    std::string tiffFile(int kind)
    {
        static const char* names[] = {"/rgb.tif", "/grey.tif", "/palette.tif"};
        const std::string path = folder() + names[kind];
        if (std::filesystem::exists(path))
            return path;
        TIFF* t = TIFFOpen(path.c_str(), "w");
        const int channels = kind == tiffRGB ? 3 : 1;
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, height);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, channels);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC,
                     kind == tiffRGB ? PHOTOMETRIC_RGB : kind == tiffGrey ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_PALETTE);
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 16);
        std::vector<uint16_t> r(256), g(256), b(256);
        for (int i = 0; i < 256; ++i)
        {
            r[i] = static_cast<uint16_t>(i * 257);
            g[i] = static_cast<uint16_t>((255 - i) * 257);
            b[i] = static_cast<uint16_t>((i * 7 % 256) * 257);
        }
        if (kind == tiffPalette)
            TIFFSetField(t, TIFFTAG_COLORMAP, r.data(), g.data(), b.data());
        const auto pixels = picture(channels, 3);
        for (int y = 0; y < height; ++y)
            TIFFWriteScanline(t, const_cast<unsigned char*>(pixels.data() + static_cast<size_t>(y) * width * channels), y, 0);
        TIFFClose(t);
        return path;
    }

    void BM_TIFFImage(benchmark::State& state)
    {
        const std::string path = tiffFile(static_cast<int>(state.range(0)));
        std::vector<unsigned char> frame;
        for (auto _ : state)
        {
            std::unique_ptr<vx::TIFFImageBase> image(vx::TIFFImageFormat::load(path.c_str()));
            frame.resize(image->getOutputSize());
            if (! image->decompressIntoBuffer(frame.data()))
                state.SkipWithError("decode failed");
            benchmark::ClobberMemory();
        }
    }
    BENCHMARK(BM_TIFFImage)->Arg(tiffRGB)->Arg(tiffGrey)->Arg(tiffPalette)->ArgName("kind")->Name("BM_TIFFImage/1920x1080")->Unit(benchmark::kMillisecond);

    void BM_TIFFReadRGBAImage(benchmark::State& state)
    {
        const std::string path = tiffFile(static_cast<int>(state.range(0)));
        std::vector<uint32_t> frame(static_cast<size_t>(width) * height);
        for (auto _ : state)
        {
            TIFF* t = TIFFOpen(path.c_str(), "r");
            TIFFReadRGBAImageOriented(t, width, height, frame.data(), ORIENTATION_TOPLEFT, 0);
            TIFFClose(t);
            benchmark::ClobberMemory();
        }
    }
    BENCHMARK(BM_TIFFReadRGBAImage)->Arg(tiffRGB)->Arg(tiffGrey)->Arg(tiffPalette)->ArgName("kind")->Name("BM_TIFFReadRGBAImage/1920x1080")->Unit(benchmark::kMillisecond);

    // ---- GIF

    constexpr int gifWidth = 640, gifHeight = 360, gifFrames = 100;

    // A full first frame, then moving patches with transparency and every
    // disposal method.
    std::string gifFile()
    {
        const std::string path = folder() + "/anim.gif";
        if (std::filesystem::exists(path))
            return path;
        int error = 0;
        GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
        EGifSetGifVersion(gif, true);
        std::vector<GifColorType> colours(256);
        for (int i = 0; i < 256; ++i)
            colours[i] = {static_cast<GifByteType>(i), static_cast<GifByteType>(i * 3), static_cast<GifByteType>(255 - i)};
        ColorMapObject* map = GifMakeMapObject(256, colours.data());
        EGifPutScreenDesc(gif, gifWidth, gifHeight, 8, 0, map);
        std::mt19937 rng(7);
        for (int f = 0; f < gifFrames; ++f)
        {
            const int w = f == 0 ? gifWidth : 160, h = f == 0 ? gifHeight : 120;
            const int left = f == 0 ? 0 : (f * 37) % (gifWidth - w), top = f == 0 ? 0 : (f * 23) % (gifHeight - h);
            GraphicsControlBlock gcb{f % 7 == 3 ? 2 : f % 7 == 5 ? 3 : 1, false, 4, f == 0 ? NO_TRANSPARENT_COLOR : 0};
            GifByteType extension[4];
            EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(EGifGCBToExtension(&gcb, extension)), extension);
            EGifPutImageDesc(gif, left, top, w, h, false, nullptr);
            std::vector<GifPixelType> row(w);
            for (int y = 0; y < h; ++y)
            {
                for (int x = 0; x < w; ++x)
                    row[x] = static_cast<GifPixelType>(((x / 8 + y / 8 + f) % 32 == 0) ? 0 : (x + y + f * 3 + static_cast<int>(rng() % 3)) & 0xFF);
                EGifPutLine(gif, row.data(), w);
            }
        }
        GifFreeMapObject(map);
        EGifCloseFile(gif, &error);
        return path;
    }

    void BM_GIFImageCompose(benchmark::State& state)
    {
        const std::string path = gifFile();
        std::vector<unsigned char> frames(static_cast<size_t>(gifWidth) * gifHeight * 4);
        for (auto _ : state)
        {
            // Slurp and compose every frame; the last one copied out.
            vx::GIFImage image(path.c_str(), false);
            std::memcpy(frames.data(), image.getFrame(gifFrames - 1), frames.size());
            benchmark::ClobberMemory();
        }
    }
    BENCHMARK(BM_GIFImageCompose)->Name("BM_GIFImageCompose/640x360x100")->Unit(benchmark::kMillisecond);

    void BM_GIFBareSlurpCompose(benchmark::State& state)
    {
        const std::string path = gifFile();
        std::vector<unsigned char> canvas(static_cast<size_t>(gifWidth) * gifHeight * 4), saved, frames(canvas.size());
        for (auto _ : state)
        {
            int error = 0;
            GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
            DGifSlurp(gif);
            const GifColorType& bg = gif->SColorMap->Colors[gif->SBackGroundColor];
            for (size_t p = 0; p < canvas.size(); p += 4)
                canvas[p] = bg.Red, canvas[p + 1] = bg.Green, canvas[p + 2] = bg.Blue, canvas[p + 3] = 255;
            for (int i = 0; i < gif->ImageCount; ++i)
            {
                GraphicsControlBlock gcb{};
                gcb.TransparentColor = NO_TRANSPARENT_COLOR;
                DGifSavedExtensionToGCB(gif, i, &gcb);
                const SavedImage& image = gif->SavedImages[i];
                const ColorMapObject* map = image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
                if (gcb.DisposalMode == DISPOSE_PREVIOUS)
                    saved = canvas;
                const GifImageDesc& d = image.ImageDesc;
                for (int y = 0; y < d.Height; ++y)
                    for (int x = 0; x < d.Width; ++x)
                    {
                        const int index = image.RasterBits[y * d.Width + x];
                        unsigned char* p = &canvas[((static_cast<size_t>(d.Top) + y) * gifWidth + d.Left + x) * 4];
                        if (index != gcb.TransparentColor || p[3] < 255)
                        {
                            const GifColorType& c = map->Colors[index];
                            p[0] = c.Red, p[1] = c.Green, p[2] = c.Blue, p[3] = index == gcb.TransparentColor ? 0 : 255;
                        }
                    }
                if (i == gif->ImageCount - 1)
                    std::memcpy(frames.data(), canvas.data(), canvas.size());
                if (gcb.DisposalMode == DISPOSE_BACKGROUND)
                    for (size_t p = 0; p < canvas.size(); p += 4)
                        canvas[p] = bg.Red, canvas[p + 1] = bg.Green, canvas[p + 2] = bg.Blue, canvas[p + 3] = 255;
                else if (gcb.DisposalMode == DISPOSE_PREVIOUS)
                    canvas = saved;
            }
            DGifCloseFile(gif, &error);
            benchmark::ClobberMemory();
        }
    }
    BENCHMARK(BM_GIFBareSlurpCompose)->Name("BM_GIFBareSlurpCompose/640x360x100")->Unit(benchmark::kMillisecond);

    void BM_GIFStoredFrame(benchmark::State& state)
    {
        vx::GIFVideoFormatReader reader{vx::File(gifFile())};
        const double step = reader.getMsecPerFrame();
        int frame = 0;
        for (auto _ : state)
        {
            frame = (frame + 37) % gifFrames;
            reader.readFrame(frame * step + 1.0);
            benchmark::ClobberMemory();
        }
    }
    BENCHMARK(BM_GIFStoredFrame)->Name("BM_GIFStoredFrame/640x360")->Unit(benchmark::kMicrosecond);

    void BM_GIFLzfDecompressAndCopy(benchmark::State& state)
    {
        // The composed frames, LZF-compressed as the reader keeps them, then
        // decompressed and copied.
        vx::GIFVideoFormatReader reader{vx::File(gifFile())};
        const size_t size = static_cast<size_t>(gifWidth) * gifHeight * 4;
        std::vector<std::vector<unsigned char>> stored;
        for (int i = 0; i < gifFrames; ++i)
        {
            reader.readFrame(i * reader.getMsecPerFrame() + 1.0);
            std::shared_ptr<vx::Pixels> frame;
            if (! reader.updatePixels(frame))
                fail("gif frame");
            std::vector<unsigned char> packed(size + size / 16 + 67);
            packed.resize(lzf_compress(frame->data, static_cast<unsigned>(size), packed.data(),
                                       static_cast<unsigned>(packed.size())));
            stored.push_back(std::move(packed));
        }
        std::vector<unsigned char> decoded(size), copy(size);
        int frame = 0;
        for (auto _ : state)
        {
            frame = (frame + 37) % gifFrames;
            lzf_decompress(stored[frame].data(), static_cast<unsigned>(stored[frame].size()), decoded.data(),
                           static_cast<unsigned>(size));
            std::memcpy(copy.data(), decoded.data(), size);
            benchmark::ClobberMemory();
        }
    }
    BENCHMARK(BM_GIFLzfDecompressAndCopy)->Name("BM_GIFLzfDecompressAndCopy/640x360")->Unit(benchmark::kMicrosecond);

    // ---- PNG sequence

    constexpr int sequenceFrames = 100;

    // A frame of a moving picture: gradients, a moving disc and sparse noise,
    // compressed about as camera footage is.
    std::vector<unsigned char> videoFrame(int f)
    {
        std::vector<unsigned char> v(static_cast<size_t>(width) * height * 4);
        std::mt19937 rng(static_cast<unsigned>(f) + 100u);
        const int cx = 200 + f * 15, cy = 540;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
            {
                unsigned char* p = &v[(static_cast<size_t>(y) * width + x) * 4];
                const bool disc = (x - cx) * (x - cx) + (y - cy) * (y - cy) < 150 * 150;
                const int noise = (x % 7 == 0 && y % 5 == 0) ? static_cast<int>(rng() % 9) - 4 : 0;
                p[0] = static_cast<unsigned char>(std::clamp((disc ? 230 : x * 255 / width) + noise, 0, 255));
                p[1] = static_cast<unsigned char>(std::clamp((disc ? 40 : y * 255 / height) + noise, 0, 255));
                p[2] = static_cast<unsigned char>((x / 4 + f) & 0xFF);
                p[3] = 255;
            }
        return v;
    }

    const std::string& sequenceFolder()
    {
        static const std::string path = []
        {
            const std::string p = folder() + "/sequence-video";
            std::filesystem::create_directories(p);
            for (int f = 0; f < sequenceFrames; ++f)
            {
                char name[32];
                std::snprintf(name, sizeof(name), "/f%03d.png", f);
                if (std::filesystem::exists(p + name))
                    continue;
                const auto pixels = videoFrame(f);
                if (! vx::ImageUtils::writeToPng(vx::File(p + name), width, height, 4, pixels.data(), 0))
                    fail("sequence");
            }
            return p;
        }();
        return path;
    }

    // One pass over the sequence at 25 frames per second; the manual time is
    // the render side's wait in getFrame per warm frame (the first five warm
    // the block up).
    void BM_PNGSequenceBlockedInGetFrame(benchmark::State& state)
    {
        const std::string& path = sequenceFolder();
        vx::TaskManager tasks(4);
        vx::TaskManager::setCurrent(&tasks);
        double tasksPerFrame = 0.0, decodesWaited = 0.0, blockedUs = 0.0;
        for (auto _ : state)
        {
            vx::PNGImageFormatReader reader{vx::File(path + "/f000.png")};
            for (int f = 1; f < sequenceFrames; ++f)
            {
                char name[32];
                std::snprintf(name, sizeof(name), "/f%03d.png", f);
                reader.addFile(vx::File(path + name), false);
            }
            auto* bufferer = new vx::SequentialBlockFramesBufferer(1, 3, true, reader);
            reader.setBufferer(bufferer);
            double blocked = 0.0;
            int waited = 0;
            const auto start = std::chrono::steady_clock::now();
            for (int f = 0; f < sequenceFrames; ++f)
            {
                std::this_thread::sleep_until(start + std::chrono::milliseconds(40 * f));
                reader.read(f * 40.0 + 1.0);
                const auto before = std::chrono::steady_clock::now();
                const unsigned char* data = reader.getFrame(static_cast<unsigned>(f));
                const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count();
                reader.releaseFrame();
                if (data == nullptr)
                    state.SkipWithError("frame missing");
                if (f >= 5)
                {
                    blocked += seconds;
                    waited += seconds > 0.001 ? 1 : 0;
                }
            }
            state.SetIterationTime(blocked / (sequenceFrames - 5));
            blockedUs = blocked / (sequenceFrames - 5) * 1e6;
            tasksPerFrame = static_cast<double>(bufferer->getNumTasksMade()) / sequenceFrames;
            decodesWaited = waited;
            reader.release();
        }
        vx::TaskManager::setCurrent(nullptr);
        state.counters["tasksPerFrame"] = tasksPerFrame;
        state.counters["framesWaitedOver1ms"] = decodesWaited;
        state.counters["blockedUsPerFrame"] = blockedUs;
    }
    BENCHMARK(BM_PNGSequenceBlockedInGetFrame)->Name("BM_PNGSequenceBlockedInGetFrame/1920x1080x100")->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);

    void BM_PNGSequenceOneDecode(benchmark::State& state)
    {
        const std::string& path = sequenceFolder();
        vx::PNGImageFormatReader reader{vx::File(path + "/f050.png")};
        int count = 1;
        reader.prepareFrames(0, count, nullptr);
        std::vector<unsigned char> frame(reader.getFrameSize());
        for (auto _ : state)
        {
            unsigned char* target = frame.data();
            reader.decompressPreparedFrame(0, &target);
            benchmark::ClobberMemory();
        }
    }
    BENCHMARK(BM_PNGSequenceOneDecode)->Name("BM_PNGSequenceOneDecode/1920x1080")->Unit(benchmark::kMillisecond);
}
