#pragma once

#include <png.h>

#include <string>
#include <vector>

namespace vx::test
{
    // A PNG file written straight through libpng, for layouts our encoder
    // never produces (palette, low bit depths, grey with alpha) and for
    // decoders other than ours.
    struct RawPng
    {
        unsigned width = 0, height = 0;
        int bitDepth = 8;
        int colorType = PNG_COLOR_TYPE_GRAY;
        std::vector<std::vector<unsigned char>> rows; // packed as PNG stores them
        std::vector<png_color> palette;
        std::vector<unsigned char> paletteAlpha;
        bool interlaced = false;
    };

    struct TestPngError
    {
    };

    inline std::string writeRaw(const RawPng& p)
    {
        std::string out;
        png_structp png = png_create_write_struct(
            PNG_LIBPNG_VER_STRING, nullptr, [](png_structp, png_const_charp) { throw TestPngError(); }, nullptr);
        png_infop info = png_create_info_struct(png);
        png_set_write_fn(
            png, &out,
            [](png_structp s, png_bytep data, png_size_t n)
            { static_cast<std::string*>(png_get_io_ptr(s))->append(reinterpret_cast<char*>(data), n); },
            [](png_structp) {});
        png_set_IHDR(png, info, p.width, p.height, p.bitDepth, p.colorType,
                     p.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                     PNG_FILTER_TYPE_DEFAULT);
        if (! p.palette.empty())
            png_set_PLTE(png, info, p.palette.data(), static_cast<int>(p.palette.size()));
        if (! p.paletteAlpha.empty())
            png_set_tRNS(png, info, p.paletteAlpha.data(), static_cast<int>(p.paletteAlpha.size()), nullptr);
        png_write_info(png, info);
        std::vector<png_bytep> rows;
        for (auto& r : p.rows)
            rows.push_back(const_cast<png_bytep>(r.data()));
        png_write_image(png, rows.data());
        png_write_end(png, nullptr);
        png_destroy_write_struct(&png, &info);
        return out;
    }
}
