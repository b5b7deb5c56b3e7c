// PNG decode and encode of a 1920x1080 RGBA8 picture beside bare libpng
// doing the same work with the same settings (default compression level and
// filters, one row per call, sBIT chunk, the decoder's RGBA transformations)
// on an in-memory buffer, and a memcpy of the same bytes; then the
// one-byte-per-pixel framebuffer read-back of the flake effect's edge pass
// (640x360).

#include <benchmark/benchmark.h>
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "../gfx/VXBenchGLContext.h"
#include "engine/video/formats/VXPNGImageFormat.h"
#include "engine/video/formats/VXPixelsUtils.h"

namespace
{
    constexpr int width = 1920;
    constexpr int height = 1080;

    // A smooth gradient with a little seeded noise: compressible like video,
    // not trivially so.
    const std::vector<unsigned char>& picture()
    {
        static const std::vector<unsigned char> bytes = []
        {
            std::vector<unsigned char> v(static_cast<size_t>(width) * height * 4);
            std::mt19937 rng(20261206u);
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                {
                    unsigned char* p = &v[(static_cast<size_t>(y) * width + x) * 4];
                    const int noise = static_cast<int>(rng() % 9) - 4;
                    p[0] = static_cast<unsigned char>(std::clamp(x * 255 / width + noise, 0, 255));
                    p[1] = static_cast<unsigned char>(std::clamp(y * 255 / height + noise, 0, 255));
                    p[2] = static_cast<unsigned char>((x + y) & 0xFF);
                    p[3] = 255;
                }
            return v;
        }();
        return bytes;
    }

    const std::string& encodedPicture()
    {
        static const std::string png = []
        {
            std::ostringstream out;
            vx::PNGImageFormat::writePixelsToStream(picture().data(), width, height, 4, out);
            return out.str();
        }();
        return png;
    }

    // Bare libpng, errors ending the benchmark run: the baselines own no
    // recovery path because their input is known good.
    [[noreturn]] void bareError(png_structp, png_const_charp message)
    {
        std::fprintf(stderr, "libpng: %s\n", message);
        std::abort();
    }

    std::string bareEncode(const unsigned char* pixels, png_uint_32 w, png_uint_32 h)
    {
        std::string out;
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, bareError, nullptr);
        png_infop info = png_create_info_struct(png);
        png_set_write_fn(
            png, &out,
            [](png_structp s, png_bytep data, png_size_t n)
            { static_cast<std::string*>(png_get_io_ptr(s))->append(reinterpret_cast<const char*>(data), n); },
            [](png_structp) {});
        png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                     PNG_FILTER_TYPE_DEFAULT);
        png_color_8 significant = {};
        significant.red = significant.green = significant.blue = significant.alpha = 8;
        png_set_sBIT(png, info, &significant);
        png_write_info(png, info);
        for (png_uint_32 y = 0; y < h; ++y)
            png_write_row(png, pixels + static_cast<size_t>(y) * w * 4);
        png_write_end(png, nullptr);
        png_destroy_write_struct(&png, &info);
        return out;
    }

    struct MemoryReader
    {
        const char* next;
        const char* end;
    };

    unsigned char* bareDecode(const std::string& file, png_uint_32& w, png_uint_32& h)
    {
        MemoryReader reader{file.data(), file.data() + file.size()};
        png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, bareError, nullptr);
        png_infop info = png_create_info_struct(png);
        png_set_read_fn(png, &reader,
                        [](png_structp s, png_bytep data, png_size_t n)
                        {
                            auto* r = static_cast<MemoryReader*>(png_get_io_ptr(s));
                            if (static_cast<size_t>(r->end - r->next) < n)
                                png_error(s, "short read");
                            std::memcpy(data, r->next, n);
                            r->next += n;
                        });
        png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
        png_read_info(png, info);
        int bitDepth = 0, colorType = 0;
        png_get_IHDR(png, info, &w, &h, &bitDepth, &colorType, nullptr, nullptr, nullptr);
        if (colorType == PNG_COLOR_TYPE_PALETTE)
            png_set_expand(png);
        if (png_get_valid(png, info, PNG_INFO_tRNS) != 0)
            png_set_tRNS_to_alpha(png);
        if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
            png_set_gray_to_rgb(png);
        png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
        png_set_interlace_handling(png);
        png_read_update_info(png, info);
        const size_t rowSize = png_get_rowbytes(png, info);
        auto* pixels = static_cast<unsigned char*>(std::malloc(rowSize * h));
        std::vector<png_bytep> rows(h);
        for (png_uint_32 y = 0; y < h; ++y)
            rows[y] = pixels + y * rowSize;
        png_read_image(png, rows.data());
        png_read_end(png, nullptr);
        png_destroy_read_struct(&png, &info, nullptr);
        return pixels;
    }

    void BM_MemcpyBaseline(benchmark::State& state)
    {
        const auto& source = picture();
        std::vector<unsigned char> target(source.size());
        for (auto _ : state)
        {
            std::memcpy(target.data(), source.data(), source.size());
            benchmark::ClobberMemory();
        }
        state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(source.size()));
    }
    BENCHMARK(BM_MemcpyBaseline)->Name("BM_MemcpyBaseline/1920x1080")->Unit(benchmark::kMillisecond);

    void BM_PNGEncode(benchmark::State& state)
    {
        const auto& source = picture();
        size_t encodedSize = 0;
        for (auto _ : state)
        {
            std::ostringstream out;
            if (! vx::PNGImageFormat::writePixelsToStream(source.data(), width, height, 4, out))
                state.SkipWithError("encode failed");
            encodedSize = static_cast<size_t>(out.tellp());
        }
        state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(source.size()));
        state.counters["ratio"] = static_cast<double>(source.size()) / static_cast<double>(encodedSize);
    }
    BENCHMARK(BM_PNGEncode)->Name("BM_PNGEncode/1920x1080")->Unit(benchmark::kMillisecond);

    void BM_PNGDecode(benchmark::State& state)
    {
        const std::string& png = encodedPicture();
        for (auto _ : state)
        {
            std::istringstream in(png);
            unsigned long w = 0, h = 0;
            unsigned char* pixels = vx::PNGImageFormat::decodeImage(in, &w, &h, nullptr, nullptr, nullptr);
            if (pixels == nullptr)
                state.SkipWithError("decode failed");
            benchmark::DoNotOptimize(pixels);
            std::free(pixels);
        }
        state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(picture().size()));
    }
    BENCHMARK(BM_PNGDecode)->Name("BM_PNGDecode/1920x1080")->Unit(benchmark::kMillisecond);

    void BM_PNGEncodeBareLibpng(benchmark::State& state)
    {
        const auto& source = picture();
        size_t encodedSize = 0;
        for (auto _ : state)
        {
            const std::string png = bareEncode(source.data(), width, height);
            encodedSize = png.size();
            benchmark::DoNotOptimize(png.data());
        }
        state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(source.size()));
        state.counters["ratio"] = static_cast<double>(source.size()) / static_cast<double>(encodedSize);
    }
    BENCHMARK(BM_PNGEncodeBareLibpng)->Name("BM_PNGEncodeBareLibpng/1920x1080")->Unit(benchmark::kMillisecond);

    void BM_PNGDecodeBareLibpng(benchmark::State& state)
    {
        const std::string& png = encodedPicture();
        for (auto _ : state)
        {
            png_uint_32 w = 0, h = 0;
            unsigned char* pixels = bareDecode(png, w, h);
            benchmark::DoNotOptimize(pixels);
            std::free(pixels);
        }
        state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(picture().size()));
    }
    BENCHMARK(BM_PNGDecodeBareLibpng)->Name("BM_PNGDecodeBareLibpng/1920x1080")->Unit(benchmark::kMillisecond);

    void BM_ReadFromFrameBufferToBuffer(benchmark::State& state)
    {
        if (! vx::bench::makeBenchGLContextCurrent())
        {
            state.SkipWithError("no GL context");
            return;
        }
        constexpr int readWidth = 640, readHeight = 360;
        GLuint texture = 0, framebuffer = 0;
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, readWidth, readHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        glBindTexture(GL_TEXTURE_2D, 0);
        glGenFramebuffers(1, &framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
        glClearColor(0.5f, 0.25f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);

        std::vector<unsigned char> buffer(static_cast<size_t>(readWidth) * readHeight);
        for (auto _ : state)
        {
            vx::PixelsUtils::readFromFrameBufferToBuffer(0, 0, readWidth, readHeight, 1, buffer.data(),
                                                         GL_UNSIGNED_BYTE, GL_RED);
            benchmark::ClobberMemory();
        }
        state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(buffer.size()));

        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &framebuffer);
        glDeleteTextures(1, &texture);
    }
    BENCHMARK(BM_ReadFromFrameBufferToBuffer)->Name("BM_ReadFromFrameBufferToBuffer/640x360x1");
}
