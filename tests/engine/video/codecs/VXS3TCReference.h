#pragma once

// A plain S3TC decoder, the reference the tests hold block data to: DXT1
// (three-colour blocks with transparent black when c0 <= c1) and DXT5
// (interpolated alpha, colour always in four-colour mode), into tightly
// packed RGBA8 of whole blocks.

#include <cstdint>
#include <vector>

namespace vx::test
{
    namespace s3tc
    {
        inline void expand565(unsigned c, int* rgb)
        {
            const int r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
            rgb[0] = (r << 3) | (r >> 2);
            rgb[1] = (g << 2) | (g >> 4);
            rgb[2] = (b << 3) | (b >> 2);
        }

        // The colour half at block into 16 RGBA pixels.
        inline void colourHalf(const std::uint8_t* block, bool fourColourAlways, std::uint8_t* out)
        {
            const unsigned c0 = block[0] | block[1] << 8, c1 = block[2] | block[3] << 8;
            int palette[4][4];
            expand565(c0, palette[0]);
            expand565(c1, palette[1]);
            palette[0][3] = palette[1][3] = palette[2][3] = palette[3][3] = 255;
            for (int ch = 0; ch < 3; ++ch)
            {
                if (c0 > c1 || fourColourAlways)
                {
                    palette[2][ch] = (2 * palette[0][ch] + palette[1][ch]) / 3;
                    palette[3][ch] = (palette[0][ch] + 2 * palette[1][ch]) / 3;
                }
                else
                {
                    palette[2][ch] = (palette[0][ch] + palette[1][ch]) / 2;
                    palette[3][ch] = 0;
                }
            }
            if (! (c0 > c1 || fourColourAlways))
                palette[3][3] = 0;
            const std::uint32_t indices = block[4] | block[5] << 8 | block[6] << 16 | std::uint32_t(block[7]) << 24;
            for (int i = 0; i < 16; ++i)
                for (int ch = 0; ch < 4; ++ch)
                    out[4 * i + ch] = static_cast<std::uint8_t>(palette[(indices >> (2 * i)) & 3][ch]);
        }

        inline void alphaHalf(const std::uint8_t* block, std::uint8_t* out)
        {
            int a[8] = {block[0], block[1]};
            for (int i = 2; i < 8; ++i)
                a[i] = a[0] > a[1] ? ((8 - i) * a[0] + (i - 1) * a[1]) / 7
                       : i < 6     ? ((6 - i) * a[0] + (i - 1) * a[1]) / 5
                       : i == 6    ? 0
                                   : 255;
            std::uint64_t bits = 0;
            for (int i = 0; i < 6; ++i)
                bits |= std::uint64_t(block[2 + i]) << (8 * i);
            for (int i = 0; i < 16; ++i)
                out[4 * i + 3] = static_cast<std::uint8_t>(a[(bits >> (3 * i)) & 7]);
        }
    }

    // Blocks of a width x height image (both multiples of 4) to RGBA8.
    inline std::vector<std::uint8_t> decodeS3TC(const std::uint8_t* blocks, int width, int height, bool dxt5)
    {
        std::vector<std::uint8_t> rgba(static_cast<size_t>(width) * height * 4);
        const int blockBytes = dxt5 ? 16 : 8;
        std::uint8_t pixels[64];
        for (int by = 0; by < height / 4; ++by)
            for (int bx = 0; bx < width / 4; ++bx)
            {
                const std::uint8_t* block = blocks + (static_cast<size_t>(by) * (width / 4) + bx) * blockBytes;
                s3tc::colourHalf(dxt5 ? block + 8 : block, dxt5, pixels);
                if (dxt5)
                    s3tc::alphaHalf(block, pixels);
                for (int r = 0; r < 4; ++r)
                    for (int c = 0; c < 16; ++c)
                        rgba[((static_cast<size_t>(by) * 4 + r) * width + bx * 4) * 4 + c] = pixels[16 * r + c];
            }
        return rgba;
    }
}
