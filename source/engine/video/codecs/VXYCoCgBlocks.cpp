#include "engine/video/codecs/VXYCoCgBlocks.h"

#include <algorithm>
#include <cstring>

namespace vx
{
    namespace
    {
        // Encoder position q (0 = e1 ... 7 = e0) to the block's 3-bit index.
        constexpr std::uint8_t indexOfPosition[8] = {1, 7, 6, 5, 4, 3, 2, 0};
        // Weight of e0, in sevenths, of each index.
        constexpr int weightOfIndex[8] = {7, 0, 6, 5, 4, 3, 2, 1};

        // Alpha of the planes without alpha, as a 13-bit sample (255 after
        // rounding).
        constexpr std::uint16_t opaqueAlpha13 = 8176;

        void packIndices(std::uint8_t* block, const std::uint8_t* indices)
        {
            for (int group = 0; group < 2; ++group)
            {
                std::uint32_t bits = 0;
                for (int i = 0; i < 8; ++i)
                    bits |= static_cast<std::uint32_t>(indices[8 * group + i]) << (3 * i);
                block[2 + 3 * group] = static_cast<std::uint8_t>(bits);
                block[3 + 3 * group] = static_cast<std::uint8_t>(bits >> 8);
                block[4 + 3 * group] = static_cast<std::uint8_t>(bits >> 16);
            }
        }

        void minMax(const std::uint16_t* samples, int& mn, int& mx)
        {
            mn = mx = samples[0];
            for (int i = 1; i < 16; ++i)
            {
                mn = std::min<int>(mn, samples[i]);
                mx = std::max<int>(mx, samples[i]);
            }
        }

        // q from t by three compares against 4, 2 and 1 step(s) of `unit`:
        // round(7 x (v - low) / range) without a division.
        std::uint8_t positionOf(int t, int unit)
        {
            const int b2 = t >= 4 * unit;
            t -= b2 * 4 * unit;
            const int b1 = t >= 2 * unit;
            t -= b1 * 2 * unit;
            const int b0 = t >= unit;
            return static_cast<std::uint8_t>(4 * b2 + 2 * b1 + b0);
        }

        bool isTiledSize(int width, int height)
        {
            return width >= 0 && height >= 0 && width % 8 == 0 && height % 8 == 0;
        }

        // Chroma samples of a tile (4 x 4 groups of 2 x 2 pixels) into its BC5
        // block.
        void compressChroma(const std::uint8_t* tile, int stride, std::uint8_t* block)
        {
            std::uint16_t co[16], cg[16];
            for (int gy = 0; gy < 4; ++gy)
                for (int gx = 0; gx < 4; ++gx)
                {
                    int r = 0, g = 0, b = 0;
                    for (int py = 0; py < 2; ++py)
                        for (int px = 0; px < 2; ++px)
                        {
                            const std::uint8_t* p = tile + (2 * gy + py) * stride + 4 * (2 * gx + px);
                            r += p[0];
                            g += p[1];
                            b += p[2];
                        }
                    co[4 * gy + gx] = static_cast<std::uint16_t>((r - b) / 4 + 255);
                    cg[4 * gy + gx] = static_cast<std::uint16_t>((2 * g - r - b) / 8 + 255);
                }
            YCoCg_CompressBlockBC4_9bits(block, co);
            YCoCg_CompressBlockBC4_9bits(block + 8, cg);
        }

        // Luma (and alpha) of one 4 x 4 quarter.
        void quarterSamples(const std::uint8_t* quarter, int stride, std::uint16_t* y, std::uint16_t* alpha)
        {
            for (int r = 0; r < 4; ++r)
                for (int c = 0; c < 4; ++c)
                {
                    const std::uint8_t* p = quarter + r * stride + 4 * c;
                    y[4 * r + c] = static_cast<std::uint16_t>((p[0] + 2 * p[1] + p[2]) * 4);
                    if (alpha != nullptr)
                        alpha[4 * r + c] = p[3];
                }
        }

        int convertFrom(const std::uint8_t* rgba, int width, int height, std::uint8_t* dst, bool withAlpha)
        {
            if (! isTiledSize(width, height))
                return 1;
            const int stride = 4 * width;
            const int blocksPerRow = width / 4;
            const int lumaBlockBytes = withAlpha ? 16 : 8;
            std::uint8_t* chroma = dst + static_cast<size_t>(width) * height * lumaBlockBytes / 16;
            std::uint16_t y[16], alpha[16];
            for (int ty = 0; ty < height / 8; ++ty)
                for (int tx = 0; tx < width / 8; ++tx)
                {
                    const std::uint8_t* tile = rgba + static_cast<size_t>(8 * ty) * stride + 32 * tx;
                    for (int qy = 0; qy < 2; ++qy)
                        for (int qx = 0; qx < 2; ++qx)
                        {
                            quarterSamples(tile + 4 * qy * stride + 16 * qx, stride, y, withAlpha ? alpha : nullptr);
                            const size_t index =
                                static_cast<size_t>(2 * ty + qy) * blocksPerRow + static_cast<size_t>(2 * tx + qx);
                            std::uint8_t* block = dst + index * lumaBlockBytes;
                            YCoCg_CompressBlockBC4_12bits(block, y);
                            if (withAlpha)
                                YCoCg_CompressBlockBC4_8bits(block + 8, alpha);
                        }
                    const size_t tileIndex = static_cast<size_t>(ty) * (width / 8) + static_cast<size_t>(tx);
                    compressChroma(tile, stride, chroma + 16 * tileIndex);
                }
            return 0;
        }

        // One 4 x 4 quarter of an 8 x 8 sample array.
        void quadrantOf(const std::uint16_t* full, int qx, int qy, std::uint16_t* quarter)
        {
            for (int r = 0; r < 4; ++r)
                for (int c = 0; c < 4; ++c)
                    quarter[4 * r + c] = full[8 * (4 * qy + r) + 4 * qx + c];
        }

        int convertInto(const std::uint8_t* planes, int width, int height, std::uint8_t* rgba, bool withAlpha)
        {
            if (! isTiledSize(width, height))
                return 1;
            const int stride = 4 * width;
            const int blocksPerRow = width / 4;
            const int lumaBlockBytes = withAlpha ? 16 : 8;
            const std::uint8_t* chroma = planes + static_cast<size_t>(width) * height * lumaBlockBytes / 16;
            std::uint16_t co4[16], cg4[16], co8[64], cg8[64];
            std::uint16_t y[16], alpha[16], co[16], cg[16];
            std::uint8_t pixels[64];
            std::fill(alpha, alpha + 16, opaqueAlpha13);
            for (int ty = 0; ty < height / 8; ++ty)
                for (int tx = 0; tx < width / 8; ++tx)
                {
                    const size_t tileIndex = static_cast<size_t>(ty) * (width / 8) + static_cast<size_t>(tx);
                    YCoCg_decodeBC4UBlock_13bits(chroma + 16 * tileIndex, co4);
                    YCoCg_decodeBC4UBlock_13bits(chroma + 16 * tileIndex + 8, cg4);
                    YCoCg_expand2X(co4, co8);
                    YCoCg_expand2X(cg4, cg8);
                    std::uint8_t* tile = rgba + static_cast<size_t>(8 * ty) * stride + 32 * tx;
                    for (int qy = 0; qy < 2; ++qy)
                        for (int qx = 0; qx < 2; ++qx)
                        {
                            const size_t index =
                                static_cast<size_t>(2 * ty + qy) * blocksPerRow + static_cast<size_t>(2 * tx + qx);
                            const std::uint8_t* block = planes + index * lumaBlockBytes;
                            YCoCg_decodeBC4UBlock_13bits(block, y);
                            if (withAlpha)
                                YCoCg_decodeBC4UBlock_13bits(block + 8, alpha);
                            quadrantOf(co8, qx, qy, co);
                            quadrantOf(cg8, qx, qy, cg);
                            YCoCg_CombineYACoCg_13bits_into_RGBA_32bits(y, alpha, co, cg, pixels);
                            std::uint8_t* quarter = tile + 4 * qy * stride + 16 * qx;
                            for (int r = 0; r < 4; ++r)
                                std::memcpy(quarter + r * stride, pixels + 16 * r, 16);
                        }
                }
            return 0;
        }
    }

    void YCoCg_CompressBlockBC4_12bits(std::uint8_t* block, const std::uint16_t* samples)
    {
        int mn, mx;
        minMax(samples, mn, mx);
        const int lo = mn & 0xFFF0;
        const int hi = (mx + 15) & 0xFFF0;
        const int d = hi - lo;
        block[0] = static_cast<std::uint8_t>(hi / 16);
        block[1] = static_cast<std::uint8_t>(lo / 16);
        std::uint8_t indices[16] = {};
        if (d != 0)
            for (int i = 0; i < 16; ++i)
                indices[i] = indexOfPosition[positionOf(7 * (samples[i] - lo) + d / 2 + 2, d)];
        packIndices(block, indices);
    }

    void YCoCg_CompressBlockBC4_9bits(std::uint8_t* block, const std::uint16_t* samples)
    {
        int mn, mx;
        minMax(samples, mn, mx);
        const int e1 = mn / 2;
        const int e0 = (mx + 1) / 2;
        const int d = e0 - e1;
        block[0] = static_cast<std::uint8_t>(e0);
        block[1] = static_cast<std::uint8_t>(e1);
        std::uint8_t indices[16] = {};
        // Samples have twice the endpoints' precision: the steps are 2d.
        if (d != 0)
            for (int i = 0; i < 16; ++i)
                indices[i] = indexOfPosition[positionOf(7 * samples[i] - 14 * e1 + d + 2, 2 * d)];
        packIndices(block, indices);
    }

    void YCoCg_CompressBlockBC4_8bits(std::uint8_t* block, const std::uint16_t* samples)
    {
        int mn, mx;
        minMax(samples, mn, mx);
        const int d = mx - mn;
        block[0] = static_cast<std::uint8_t>(mx);
        block[1] = static_cast<std::uint8_t>(mn);
        std::uint8_t indices[16] = {};
        if (d != 0)
        {
            const int bias = d < 8 ? d - 1 : d / 2 + 2;
            for (int i = 0; i < 16; ++i)
                indices[i] = indexOfPosition[positionOf(7 * (samples[i] - mn) + bias, d)];
        }
        packIndices(block, indices);
    }

    void YCoCg_decodeBC4UBlock_13bits(const std::uint8_t* block, std::uint16_t* samples)
    {
        const int a = block[0] * 32;
        const int b = block[1] * 32;
        if (a == b)
        {
            std::fill(samples, samples + 16, static_cast<std::uint16_t>(b));
            return;
        }
        const int d = (a - b) & 0xFFE0;
        std::uint16_t palette[8];
        for (int i = 0; i < 8; ++i)
            palette[i] = static_cast<std::uint16_t>(b + weightOfIndex[i] * d / 7);
        for (int group = 0; group < 2; ++group)
        {
            const std::uint32_t bits = block[2 + 3 * group] | (block[3 + 3 * group] << 8) | (block[4 + 3 * group] << 16);
            for (int i = 0; i < 8; ++i)
                samples[8 * group + i] = palette[(bits >> (3 * i)) & 7];
        }
    }

    void YCoCg_expand2X(const std::uint16_t* quarter, std::uint16_t* full)
    {
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 8; ++c)
                full[8 * r + c] = quarter[4 * (r / 2) + c / 2];
    }

    void YCoCg_CombineYACoCg_13bits_into_RGBA_32bits(const std::uint16_t* y, const std::uint16_t* a,
                                                     const std::uint16_t* co, const std::uint16_t* cg,
                                                     std::uint8_t* rgba)
    {
        for (int i = 0; i < 16; ++i)
        {
            const int luma = y[i];
            const int orange = co[i] - 4080;
            const int t = cg[i] + luma - 4080;
            const int g2 = t < 0 ? 0 : std::min({2 * luma, t, 8176});
            const int r = luma - g2 / 2;
            const int rc = r + orange / 2;
            const int r2 = rc < 0 ? 0 : std::min({rc, 2 * r, 4088});
            const int b = std::clamp(r - r2 / 2, 0, 2044);
            rgba[4 * i] = static_cast<std::uint8_t>((r2 + 7) >> 4);
            rgba[4 * i + 1] = static_cast<std::uint8_t>((g2 + 15) >> 5);
            rgba[4 * i + 2] = static_cast<std::uint8_t>((b + 3) >> 3);
            // Only blocks with e0 below e1 decode above 8191.
            rgba[4 * i + 3] = static_cast<std::uint8_t>(std::min((a[i] + 15) >> 5, 255));
        }
    }

    int YCoCg6_Convertfrom_RGBA32(const std::uint8_t* rgba, int width, int height, std::uint8_t* dst)
    {
        return convertFrom(rgba, width, height, dst, false);
    }

    int YACoCg10_Convertfrom_RGBA32(const std::uint8_t* rgba, int width, int height, std::uint8_t* dst)
    {
        return convertFrom(rgba, width, height, dst, true);
    }

    int YCoCg6_ConvertInto_RGBA32(const std::uint8_t* planes, int width, int height, std::uint8_t* rgba)
    {
        return convertInto(planes, width, height, rgba, false);
    }

    int YACoCg10_ConvertInto_RGBA32(const std::uint8_t* planes, int width, int height, std::uint8_t* rgba)
    {
        return convertInto(planes, width, height, rgba, true);
    }
}
