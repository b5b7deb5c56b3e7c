#include "engine/video/codecs/VXQMVDecompressor.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "engine/gfx/VXContextManager.h"
#include "engine/gfx/VXGfxInfo.h"
#include "engine/gfx/VXGfxUtils.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/video/codecs/VXUVM.h"
#include "engine/video/codecs/VXUVMapCorpus.h"
#include "engine/video/codecs/VXYCoCgBlocks.h"
#include "engine/video/codecs/VXYCoCgTestCorpus.h"
#include "engine/gfx/VXRenderTargetTestSupport.h"
#include "support/gl/VXGLTestFixture.h"

// Decoded YCoCg and UV-map frames drawn by the decompressor's programs and
// read back. The programs work in floats on 8-bit texels: the YCoCg result may
// differ from the CPU expansion's 13-bit arithmetic by 2 of 255.

namespace vx::test
{
    namespace
    {
        class QMVDecompressorGLTest : public GLTest
        {
        protected:
            void SetUp() override
            {
                GLTest::SetUp();
                host = std::make_unique<ScopedHostRenderer>(manager);
                renderer = host->renderer;
                ASSERT_NE(renderer, nullptr);
            }

            void TearDown() override
            {
                decompressor.reset();
                host.reset();
                GLTest::TearDown();
            }

            QMVDecompressor& makeDecompressor(int w, int h, int type)
            {
                decompressor = std::make_unique<QMVDecompressor>(VideoCodecSettings(w, h, 25.0, nullptr),
                                                                 qmv::QMVType(type), 4, 0);
                return *decompressor;
            }

            // Draws into a w x h target; the read-back rows, bottom first.
            std::vector<PixelRGBA8> draw(int w, int h, const Bytes& data, bool* drawn)
            {
                ScopedTestFramebuffer target(w, h);
                gfx::setIdentityTransform();
                *drawn = decompressor->renderInternal(*renderer, data.data(), int(data.size()));
                std::vector<PixelRGBA8> pixels = readPixels(0, 0, w, h);
                gfx::resetViewport();
                return pixels;
            }

            ContextManager manager;
            std::unique_ptr<ScopedHostRenderer> host;
            Renderer* renderer = nullptr;
            std::unique_ptr<QMVDecompressor> decompressor;
        };
    }

    struct YCoCgDrawCase
    {
        const char* name;
        int type;
        Scene scene;
    };

    class QMVDecompressorYCoCgGLTest : public QMVDecompressorGLTest, public testing::WithParamInterface<YCoCgDrawCase>
    {
    };

    TEST_P(QMVDecompressorYCoCgGLTest, DrawsAsTheCpuExpands)
    {
        const int w = 64, h = 48;
        const bool alpha = GetParam().type == 3;
        const Bytes rgba = makeFrame(GetParam().scene, w, h, 4);
        Bytes planes(size_t(w) * h * (alpha ? 5 : 3) / 4);
        Bytes expected(size_t(w) * h * 4);
        if (alpha)
        {
            ASSERT_EQ(YACoCg10_Convertfrom_RGBA32(rgba.data(), w, h, planes.data()), 0);
            ASSERT_EQ(YACoCg10_ConvertInto_RGBA32(planes.data(), w, h, expected.data()), 0);
        }
        else
        {
            ASSERT_EQ(YCoCg6_Convertfrom_RGBA32(rgba.data(), w, h, planes.data()), 0);
            ASSERT_EQ(YCoCg6_ConvertInto_RGBA32(planes.data(), w, h, expected.data()), 0);
        }

        makeDecompressor(w, h, GetParam().type);
        bool drawn = false;
        const std::vector<PixelRGBA8> pixels = draw(w, h, planes, &drawn);
        ASSERT_TRUE(drawn);
        int mismatches = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
            {
                // Not flipped: the first data row is drawn at the top.
                const PixelRGBA8& got = pixels[size_t(h - 1 - y) * w + x];
                const std::uint8_t* want = &expected[(size_t(y) * w + x) * 4];
                const PixelRGBA8 wanted{want[0], want[1], want[2], alpha ? want[3] : std::uint8_t(255)};
                if (! isNear(got, wanted, 2) && mismatches++ < 5)
                    ADD_FAILURE() << "(" << x << ", " << y << "): " << got << " for " << wanted;
            }
        EXPECT_EQ(mismatches, 0);
    }

    INSTANTIATE_TEST_SUITE_P(Types, QMVDecompressorYCoCgGLTest,
                             testing::Values(YCoCgDrawCase{"YCoCg6Gradient", 2, Scene::gradient},
                                             YCoCgDrawCase{"YCoCg6Edges", 2, Scene::edges},
                                             YCoCgDrawCase{"YACoCg10AlphaRamp", 3, Scene::alphaRamp}),
                             [](const testing::TestParamInfo<YCoCgDrawCase>& info) { return std::string(info.param.name); });

    TEST_F(QMVDecompressorGLTest, UVMapPlanesDrawUVAndAlpha)
    {
        const int w = 40, h = 30;
        const Words map = makeUVMap(UVMap::holes, w, h, 3);
        Bytes stream(map.size() * 2);
        stream.resize(UVM_compress_RGBA16(stream.data(), stream.size(), map.data(), map.size() * 2, w, h));
        Bytes planes(size_t(w) * h * 5);
        ASSERT_EQ(UVM_decompress_LA16A8(planes.data(), w, h, stream.data(), stream.size()), planes.size());

        makeDecompressor(w, h, 6);
        bool drawn = false;
        const std::vector<PixelRGBA8> pixels = draw(w, h, planes, &drawn);
        ASSERT_TRUE(drawn);
        int mismatches = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
            {
                // Flipped: the first data row is at the bottom, where the read-back starts.
                const PixelRGBA8& got = pixels[size_t(y) * w + x];
                const size_t i = size_t(y) * w + x;
                std::uint16_t uv[2];
                std::memcpy(uv, &planes[4 * i], 4);
                const PixelRGBA8 wanted{std::uint8_t((uv[0] + 128) / 257), std::uint8_t((uv[1] + 128) / 257), 0,
                                        planes[size_t(w) * h * 4 + i]};
                if (! isNear(got, wanted, 1) && mismatches++ < 5)
                    ADD_FAILURE() << "(" << x << ", " << y << "): " << got << " for " << wanted;
            }
        EXPECT_EQ(mismatches, 0);
    }

    TEST_F(QMVDecompressorGLTest, RefusesShortDataAndBlockTypes)
    {
        const int w = 32, h = 16;
        Bytes planes(size_t(w) * h * 3 / 4, 0);
        bool drawn = true;
        makeDecompressor(w, h, 2);
        Bytes shortData(planes.size() - 1, 0);
        draw(w, h, shortData, &drawn);
        EXPECT_FALSE(drawn);
        for (int type : {0, 1, 4, 5, 7})
        {
            makeDecompressor(w, h, type);
            drawn = true;
            Bytes blocks(size_t(w) * h * 2, 0);
            draw(w, h, blocks, &drawn);
            EXPECT_FALSE(drawn) << type;
        }
    }
}
