#include "engine/gfx/VXTexture.h"

#include "engine/gfx/VXRenderTargetTestSupport.h"
#include "support/VXLogRecorder.h"

#include <cstring>
#include <vector>

namespace vx
{
    namespace
    {

        using test::PixelRGBA8;
        using test::readTexture;

        // Keeps the capability flags the test changes.
        class TextureGLTest : public test::GLTest
        {
        protected:
            void SetUp() override
            {
                test::GLTest::SetUp();
                GfxInfo::VX_GFX_CARD_SUPPORTS_NONPOWEROFTWOTEXTURES = true;
            }

            static std::vector<unsigned char> solid(int w, int h, PixelRGBA8 p)
            {
                std::vector<unsigned char> bytes;
                for (int i = 0; i < w * h; ++i)
                    bytes.insert(bytes.end(), {p.r, p.g, p.b, p.a});
                return bytes;
            }

            static GLint parameter(const Texture& t, GLenum name)
            {
                const GLint previous = test::getInteger(GL_TEXTURE_BINDING_2D);
                GLint value = 0;
                glBindTexture(GL_TEXTURE_2D, t.getGLName());
                glGetTexParameteriv(GL_TEXTURE_2D, name, &value);
                glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
                return value;
            }

            test::ScopedGfxInfo gfxInfo;
        };

        TEST_F(TextureGLTest, PadsToPowerOfTwoOnlyWithoutSupport)
        {
            const auto data = solid(100, 60, {255, 0, 0, 255});
            {
                GfxInfo::VX_GFX_CARD_SUPPORTS_NONPOWEROFTWOTEXTURES = false;
                Texture t;
                ASSERT_TRUE(t.create(data.data(), 100, 60, Texture::RGBA8));
                EXPECT_EQ(t.getHardwareWidth(), 128);
                EXPECT_EQ(t.getHardwareHeight(), 64);
                EXPECT_FLOAT_EQ(t.getMaxU(), 0.78125f);
                EXPECT_FLOAT_EQ(t.getMaxV(), 0.9375f);
                const auto pixels = readTexture(GL_TEXTURE_2D, t.getGLName());
                ASSERT_EQ(pixels.size(), 128u * 64u);
                EXPECT_EQ(pixels[59 * 128 + 99], (PixelRGBA8{255, 0, 0, 255}));
                EXPECT_EQ(pixels[59 * 128 + 100], (PixelRGBA8{0, 0, 0, 0})) << "padding is zeroed";
                EXPECT_EQ(pixels[60 * 128], (PixelRGBA8{0, 0, 0, 0}));
            }
            {
                GfxInfo::VX_GFX_CARD_SUPPORTS_NONPOWEROFTWOTEXTURES = true;
                Texture t;
                ASSERT_TRUE(t.create(data.data(), 100, 60, Texture::RGBA8));
                EXPECT_EQ(t.getHardwareWidth(), 100);
                EXPECT_EQ(t.getHardwareHeight(), 60);
                EXPECT_FLOAT_EQ(t.getMaxU(), 1.0f);
                EXPECT_EQ(t.getVRAMSize(), 100u * 60u * 4u);
                GLint internalFormat = 0;
                glBindTexture(GL_TEXTURE_2D, t.getGLName());
                glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &internalFormat);
                glBindTexture(GL_TEXTURE_2D, 0);
                EXPECT_EQ(internalFormat, GL_RGBA8);
                EXPECT_EQ(parameter(t, GL_TEXTURE_WRAP_S), GL_CLAMP_TO_EDGE);
            }
        }

        TEST_F(TextureGLTest, CompressedDataIsReadAsWholeBlocksOnly)
        {
            // 10 x 5 DXT1 is 3 x 2 blocks: exactly 48 bytes, so any read past them
            // is caught by the address sanitizer. Hardware size is 16 x 8 (4 x 2).
            const uint8_t redBlock[8] = {0x00, 0xF8, 0x00, 0xF8, 0, 0, 0, 0};
            std::vector<uint8_t> blocks;
            for (int i = 0; i < 6; ++i)
                blocks.insert(blocks.end(), redBlock, redBlock + 8);
            ASSERT_EQ(blocks.size(), Texture::getFrameSize(10, 5, Texture::DXT1_RGB));

            Texture t;
            ASSERT_TRUE(t.create(blocks.data(), 10, 5, Texture::DXT1_RGB));
            EXPECT_EQ(t.getHardwareWidth(), 16);
            EXPECT_EQ(t.getHardwareHeight(), 8);
            EXPECT_EQ(t.getCompressedSize(), 16 * 8 / 2);
            const auto pixels = readTexture(GL_TEXTURE_2D, t.getGLName());
            ASSERT_EQ(pixels.size(), 16u * 8u);
            EXPECT_EQ(pixels[0], (PixelRGBA8{255, 0, 0, 255}));
            EXPECT_EQ(pixels[7 * 16 + 11], (PixelRGBA8{255, 0, 0, 255})) << "last source block";
            EXPECT_EQ(pixels[12], (PixelRGBA8{0, 0, 0, 255})) << "padding blocks are zero";
        }

        TEST_F(TextureGLTest, HalfFloatLayoutUploadsEightBytesPerPixel)
        {
            // (1.0, 0.5, 0.0, 1.0) as half floats; an exact 2 x 2 buffer.
            const uint16_t pixel[4] = {0x3C00, 0x3800, 0x0000, 0x3C00};
            std::vector<uint16_t> data;
            for (int i = 0; i < 4; ++i)
                data.insert(data.end(), pixel, pixel + 4);
            Texture t;
            ASSERT_TRUE(t.create(data.data(), 2, 2, Texture::RGBA16F));
            EXPECT_EQ(t.getVRAMSize(), 2u * 2u * 8u);
            EXPECT_EQ(Texture::RGBA16F.getInternalBytesPerPixel(), Texture::RGBA16F.bytesPerPixel);
            // One step of 8-bit rounding for 0.5.
            EXPECT_TRUE(test::isNear(readTexture(GL_TEXTURE_2D, t.getGLName())[3], {255, 128, 0, 255}, 1));
        }

        TEST_F(TextureGLTest, RefusesWhatGLCannotHold)
        {
            test::LogRecorder log;
            Texture t;
            EXPECT_FALSE(t.create(16, 16, Texture::YCBCR_422));
            EXPECT_TRUE(log.contains("YCBCR")) << log.dump();
            EXPECT_FALSE(t.create(0, 16, Texture::RGBA8));
            GfxInfo::VX_MAX_TEXTURE_SIZE = 256;
            EXPECT_FALSE(t.create(257, 16, Texture::RGBA8));
            EXPECT_FALSE(t.create(16, 16, Texture::UNKNOWN_FORMAT));
            EXPECT_FALSE(t.isValid());
            EXPECT_EQ(log.count(logError), 4u) << log.dump();
        }

        TEST_F(TextureGLTest, UpdateToTheEdgeFromAnOffset)
        {
            Texture t;
            ASSERT_TRUE(t.create(64, 48, Texture::RGBA8));
            const auto white = solid(54, 28, {255, 255, 255, 255});
            EXPECT_TRUE(t.update(white.data(), 10, 20, 0, 0));
            const auto pixels = readTexture(GL_TEXTURE_2D, t.getGLName());
            EXPECT_EQ(pixels[19 * 64 + 9], (PixelRGBA8{0, 0, 0, 0}));
            EXPECT_EQ(pixels[20 * 64 + 10], (PixelRGBA8{255, 255, 255, 255}));
            EXPECT_EQ(pixels[47 * 64 + 63], (PixelRGBA8{255, 255, 255, 255}));

            test::LogRecorder log;
            EXPECT_FALSE(t.update(white.data(), 60, 0, 54, 28)) << "outside the texture";
            EXPECT_FALSE(t.update(white.data(), 70, 0, 0, 0));
            EXPECT_EQ(log.count(logError), 2u);
        }

        TEST_F(TextureGLTest, PaddedRowsUploadInPlaceAndBadStridesAreRefused)
        {
            Texture t;
            ASSERT_TRUE(t.create(3, 2, Texture::RGBA8));
            // Rows of 5 pixels, 3 of them the picture, under a caller's row length.
            std::vector<unsigned char> rows(5 * 4 * 2, 0xEE);
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 3; ++x)
                    std::memcpy(&rows[size_t(y * 20 + x * 4)],
                                std::vector<unsigned char>{uint8_t(x), uint8_t(y), 7, 255}.data(), 4);
            glPixelStorei(GL_UNPACK_ROW_LENGTH, 2);
            EXPECT_TRUE(t.updateRows(rows.data(), 3, 2, 20));
            EXPECT_EQ(test::getInteger(GL_UNPACK_ROW_LENGTH), 2) << "the caller's unpack state comes back";
            glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
            const auto pixels = readTexture(GL_TEXTURE_2D, t.getGLName());
            const int stride = t.getHardwareWidth();
            EXPECT_EQ(pixels[size_t(stride + 2)], (PixelRGBA8{2, 1, 7, 255}));
            EXPECT_EQ(pixels[0], (PixelRGBA8{0, 0, 7, 255}));

            test::LogRecorder log;
            EXPECT_FALSE(t.updateRows(rows.data(), 3, 2, 18)) << "not whole pixels";
            EXPECT_FALSE(t.updateRows(rows.data(), 3, 2, 8)) << "shorter than a row";
            EXPECT_EQ(log.count(logError), 2u) << log.dump();
        }

        TEST_F(TextureGLTest, UploadsIgnoreTheCallersUnpackStateAndKeepIt)
        {
            GLuint unpackBuffer = 0;
            glGenBuffers(1, &unpackBuffer);
            glBindBuffer(GL_PIXEL_UNPACK_BUFFER, unpackBuffer);
            glBufferData(GL_PIXEL_UNPACK_BUFFER, 64, nullptr, GL_STREAM_DRAW);
            glPixelStorei(GL_UNPACK_ROW_LENGTH, 7);
            GLuint bound = 0;
            glGenTextures(1, &bound);
            glBindTexture(GL_TEXTURE_2D, bound);

            const auto green = solid(3, 3, {0, 255, 0, 255});
            Texture t;
            ASSERT_TRUE(t.create(green.data(), 3, 3, Texture::RGBA8));

            EXPECT_EQ(test::getInteger(GL_PIXEL_UNPACK_BUFFER_BINDING), static_cast<GLint>(unpackBuffer));
            EXPECT_EQ(test::getInteger(GL_UNPACK_ROW_LENGTH), 7);
            EXPECT_EQ(test::getInteger(GL_UNPACK_ALIGNMENT), 4);
            EXPECT_EQ(test::getInteger(GL_TEXTURE_BINDING_2D), static_cast<GLint>(bound));

            glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
            glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
            glBindTexture(GL_TEXTURE_2D, 0);
            EXPECT_EQ(readTexture(GL_TEXTURE_2D, t.getGLName())[8], (PixelRGBA8{0, 255, 0, 255}));
            glDeleteTextures(1, &bound);
            glDeleteBuffers(1, &unpackBuffer);
        }

        TEST_F(TextureGLTest, FilterStacksAndTheDefaultFilter)
        {
            Texture t;
            ASSERT_TRUE(t.create(8, 8, Texture::RGBA8));
            {
                test::LogRecorder log;
                t.popMinFilter();
                EXPECT_TRUE(log.contains(
                    "Escaped from error in popMinFilter(420): You cannot pop the initial minification filter setting."))
                    << log.dump();
                t.popMagFilter();
                EXPECT_TRUE(log.contains("popMagFilter(436)"));
            }
            EXPECT_EQ(parameter(t, GL_TEXTURE_MIN_FILTER), GL_LINEAR);

            test::GLCallCounter<&epoxy_glTexParameteri> calls("glTexParameteri");
            t.pushMinFilter(Texture::NEAREST);
            EXPECT_EQ(calls.count(), 1);
            t.pushMinFilter(Texture::NEAREST);
            EXPECT_EQ(calls.count(), 1) << "same filter on top: no GL call";
            t.popMinFilter();
            EXPECT_EQ(calls.count(), 1);
            EXPECT_EQ(parameter(t, GL_TEXTURE_MIN_FILTER), GL_NEAREST) << "two pushes need two pops";
            t.popMinFilter();
            EXPECT_EQ(calls.count(), 2);
            EXPECT_EQ(parameter(t, GL_TEXTURE_MIN_FILTER), GL_LINEAR);

            Texture::defaultFilter = Texture::NEAREST;
            Texture nearest;
            const bool created = nearest.create(4, 4, Texture::RGB8);
            Texture::defaultFilter = Texture::LINEAR;
            ASSERT_TRUE(created);
            EXPECT_EQ(parameter(nearest, GL_TEXTURE_MAG_FILTER), GL_NEAREST);
            EXPECT_EQ(parameter(nearest, GL_TEXTURE_MIN_FILTER), GL_NEAREST);
        }

        TEST_F(TextureGLTest, ForeignTexturesAreNeverDeleted)
        {
            GLuint names[2] = {0, 0};
            glGenTextures(2, names);
            for (GLuint name : names)
            {
                glBindTexture(GL_TEXTURE_2D, name);
                glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 4, 4, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
            }
            glBindTexture(GL_TEXTURE_2D, 0);

            Texture host, adopted;
            host.setGLData(4, 4, 4, 4, GL_TEXTURE_2D, names[0], GL_RGBA8, GL_NEAREST, GL_LINEAR, true);
            adopted.setGLData(4, 4, 4, 4, GL_TEXTURE_2D, names[1], GL_RGBA8, GL_LINEAR, GL_LINEAR, false);
            EXPECT_TRUE(host.isForeign());
            host.release();
            adopted.release();
            EXPECT_TRUE(glIsTexture(names[0]));
            EXPECT_FALSE(glIsTexture(names[1]));

            // Adopting over a texture made here releases that one first.
            Texture t;
            ASSERT_TRUE(t.create(4, 4, Texture::RGBA8));
            const GLuint made = t.getGLName();
            t.setGLData(4, 4, 4, 4, GL_TEXTURE_2D, names[0], GL_RGBA8, GL_LINEAR, GL_LINEAR, true);
            EXPECT_FALSE(glIsTexture(made)) << "the texture made here would otherwise be lost";
            t.release();
            glDeleteTextures(1, &names[0]);
        }

        TEST_F(TextureGLTest, ResizeRelabelsWithinTheHardwareSize)
        {
            GfxInfo::VX_GFX_CARD_SUPPORTS_NONPOWEROFTWOTEXTURES = false;
            Texture t;
            {
                test::LogRecorder log;
                EXPECT_FALSE(t.resize(8, 8)) << "no GL texture yet";
            }
            ASSERT_TRUE(t.create(100, 60, Texture::RGBA8));
            const GLuint name = t.getGLName();
            EXPECT_TRUE(t.resize(120, 50));
            EXPECT_EQ(t.getGLName(), name);
            EXPECT_EQ(t.getWidth(), 120);
            EXPECT_FLOAT_EQ(t.getMaxU(), 120.0f / 128.0f);
            EXPECT_TRUE(t.resize(200, 50));
            EXPECT_EQ(t.getHardwareWidth(), 256);
            EXPECT_EQ(t.getHardwareHeight(), 64);
        }

        TEST_F(TextureGLTest, GrabsTheFramebuffer)
        {
            test::ScopedTestFramebuffer target(16, 16);
            test::clearTo(0.0f, 1.0f, 0.0f, 1.0f);
            Texture t;
            ASSERT_TRUE(t.create(8, 8, Texture::RGBA8));
            EXPECT_TRUE(t.grabFrameBuffer());
            EXPECT_EQ(readTexture(GL_TEXTURE_2D, t.getGLName())[63], (PixelRGBA8{0, 255, 0, 255}));
        }

        TEST_F(TextureGLTest, LockReadsAndWritesInTheRequestedLayout)
        {
            const auto data = solid(8, 4, {10, 20, 30, 40});
            Texture t;
            ASSERT_TRUE(t.create(data.data(), 8, 4, Texture::RGBA8));

            auto* own = static_cast<unsigned char*>(t.lock(Texture::LOCK_READ | Texture::LOCK_WRITE));
            ASSERT_NE(own, nullptr);
            EXPECT_EQ(t.getLockPitch(), 32);
            EXPECT_EQ(own[4 * 8 + 1], 20);
            own[0] = 200;
            EXPECT_TRUE(t.unlock());
            EXPECT_EQ(readTexture(GL_TEXTURE_2D, t.getGLName())[0], (PixelRGBA8{200, 20, 30, 40}));

            // One byte per pixel: the pitch and the upload follow the request.
            auto* red = static_cast<unsigned char*>(
                t.lock(Texture::LOCK_READ | Texture::LOCK_WRITE, GL_RED, GL_UNSIGNED_BYTE, 1));
            ASSERT_NE(red, nullptr);
            EXPECT_EQ(t.getLockPitch(), 8);
            EXPECT_EQ(red[31], 10);
            std::memset(red, 99, 32);
            EXPECT_TRUE(t.unlock());
            // GL fills the channels the layout lacks with 0 and alpha with 1.
            EXPECT_EQ(readTexture(GL_TEXTURE_2D, t.getGLName())[31], (PixelRGBA8{99, 0, 0, 255}));
            EXPECT_FALSE(t.unlock());
        }

        TEST_F(TextureGLTest, LockReadIgnoresTheCallersPackSkipsAndKeepsThem)
        {
            const auto data = solid(8, 4, {10, 20, 30, 40});
            Texture t;
            ASSERT_TRUE(t.create(data.data(), 8, 4, Texture::RGBA8));
            // Skips left by a host would move the read past the end of the lock buffer.
            glPixelStorei(GL_PACK_SKIP_ROWS, 3);
            glPixelStorei(GL_PACK_SKIP_PIXELS, 5);

            auto* own = static_cast<unsigned char*>(t.lock(Texture::LOCK_READ));
            ASSERT_NE(own, nullptr);
            EXPECT_EQ(own[0], 10);
            EXPECT_EQ(own[8 * 4 * 4 - 1], 40);
            EXPECT_TRUE(t.unlock());

            EXPECT_EQ(test::getInteger(GL_PACK_SKIP_ROWS), 3);
            EXPECT_EQ(test::getInteger(GL_PACK_SKIP_PIXELS), 5);
            glPixelStorei(GL_PACK_SKIP_ROWS, 0);
            glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
        }

        TEST_F(TextureGLTest, LockRefusesInconsistentRequests)
        {
            Texture t;
            test::LogRecorder log;
            EXPECT_EQ(t.lock(Texture::LOCK_READ), nullptr) << "no GL texture";
            ASSERT_TRUE(t.create(4, 4, Texture::RGBA8));
            EXPECT_EQ(t.lock(Texture::LOCK_READ, GL_RGBA, GL_UNSIGNED_BYTE, 1), nullptr)
                << "GL would write 4 bytes a pixel";
            ASSERT_NE(t.lock(Texture::LOCK_READ), nullptr);
            EXPECT_EQ(t.lock(Texture::LOCK_READ), nullptr) << "already locked";
            EXPECT_TRUE(t.unlock());
            EXPECT_EQ(log.count(logError), 3u) << log.dump();
        }

        TEST_F(TextureGLTest, ReleaseWithoutAContextDropsTheName)
        {
            Texture t;
            ASSERT_TRUE(t.create(4, 4, Texture::RGBA8));
            const GLuint name = t.getGLName();
            test::GLTestContext::release();
            {
                test::LogRecorder log;
                t.release();
                EXPECT_TRUE(log.contains("no GL context")) << log.dump();
            }
            ASSERT_TRUE(test::GLTestContext::makeCurrent());
            EXPECT_FALSE(t.isValid());
            glDeleteTextures(1, &name);
        }

        //==============================================================================
        TEST(TextureTest, AdoptedRectangleUsesTexelCoordinates)
        {
            Texture t;
            t.setGLData(640, 480, 640, 480, GL_TEXTURE_RECTANGLE_ARB, 12345, GL_RGBA8, GL_LINEAR, GL_LINEAR, true);
            EXPECT_FLOAT_EQ(t.getMaxU(), 640.0f);
            EXPECT_FLOAT_EQ(t.getMaxV(), 480.0f);
            EXPECT_EQ(t.buildScrollVector(0.0f, 0.0f, true), (TVec4<float>{640.0f, -480.0f, 0.0f, 480.0f}));
            EXPECT_EQ(t.buildScrollVector(0.5f, 0.25f, false), (TVec4<float>{640.0f, 480.0f, 320.0f, 120.0f}));
        }

        TEST(TextureTest, Adopted2DScrollVectorAndMatrices)
        {
            Texture t;
            t.setGLData(100, 60, 128, 64, GL_TEXTURE_2D, 7, GL_RGBA8, GL_NEAREST, GL_NEAREST, true);
            EXPECT_EQ(t.buildScrollVector(0.1f, 0.2f, true), (TVec4<float>{0.78125f, -0.9375f, 0.1f, 0.2f + 0.9375f}));

            const auto unflipped = t.buildMatrix(10.0f, 20.0f, 30.0f, 40.0f, true);
            const auto corner = unflipped * TVec3<float>(1.0f, 1.0f, 0.0f);
            EXPECT_FLOAT_EQ(corner.x, 40.0f);
            EXPECT_FLOAT_EQ(corner.y, 60.0f);
            const auto mirrored = t.buildMatrix(10.0f, 20.0f, 30.0f, 40.0f, false) * TVec3<float>(0.0f, 0.0f, 0.0f);
            EXPECT_FLOAT_EQ(mirrored.y, 60.0f);
            t.ignoreFlip = true;
            const auto forced = t.buildMatrix(10.0f, 20.0f, 30.0f, 40.0f, true) * TVec3<float>(0.0f, 0.0f, 0.0f);
            EXPECT_FLOAT_EQ(forced.y, 60.0f) << "ignoreFlip always mirrors";
        }

    } // namespace
} // namespace vx
