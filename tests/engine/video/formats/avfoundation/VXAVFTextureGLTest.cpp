// Frames of the scripted backend handed to engine textures on real GL: the
// cache's rectangle textures adopted with the readers' arguments and read
// back, the 16-bit CPU path, and the refusal to adopt into a texture that
// owns its GL name.

#include "VXScriptedMediaBackend.h"

#include "core/VXFile.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/formats/VXAVFVideoFormat.h"
#include "engine/video/formats/avfoundation/VXAVFPlayer.h"
#include "engine/video/formats/avfoundation/VXAVFVideoFormatReader.h"
#include "engine/video/formats/avfoundation/VXCVOpenGLTextureCache.h"
#include "engine/video/formats/avfoundation/VXCVTextureStore.h"
#include "support/VXLogRecorder.h"
#include "support/gl/VXGLTestFixture.h"

namespace vx::test
{
    namespace
    {
        class AVFTextureGLTest : public GLTest
        {
        protected:
            ScriptedBackend backend;
            ManualClock clock;
            AVFVideoFormat format;

            std::unique_ptr<VideoFormatReader> open(const std::string& path)
            {
                return std::unique_ptr<VideoFormatReader>(format.createReaderFor(File(path)));
            }

            // BT.601 video range to full range, as the cache converts.
            static int greyOf(long k) { return static_cast<int>(std::lround((lumaOfFrame(k) - 16) * 255.0 / 219.0)); }
        };

        TEST_F(AVFTextureGLTest, SeekingReaderAdoptsTheCacheTextureShowingTheFrame)
        {
            backend.addMovie("/m/sound.mov", 1);
            auto reader = open("/m/sound.mov");
            ASSERT_NE(reader, nullptr);
            ASSERT_TRUE(reader->init(0, 0));
            backend.completeSeeks();
            reader->readFrame(7 * 40.0 + 20.0);
            backend.completeSeeks();
            Texture texture;
            ASSERT_TRUE(reader->updateTexture(&texture));
            EXPECT_EQ(texture.getTarget(), GL_TEXTURE_RECTANGLE_ARB);
            EXPECT_EQ(texture.getWidth(), 64);
            EXPECT_EQ(texture.getHeight(), 32);
            EXPECT_EQ(texture.getHardwareWidth(), 64);
            EXPECT_TRUE(texture.isForeign());
            int internalFormat = 0, minFilter = 0, magFilter = 0;
            texture.getGLData(nullptr, nullptr, nullptr, nullptr, &internalFormat, nullptr, &minFilter, &magFilter);
            EXPECT_EQ(internalFormat, 0x85B9); // kept as the metadata of a 4:2:2 frame
            EXPECT_EQ(minFilter, GL_LINEAR);
            EXPECT_EQ(magFilter, GL_LINEAR);
            EXPECT_TRUE(reader->isFlipped());
            const std::vector<PixelRGBA8> pixels = readTexture(GL_TEXTURE_RECTANGLE_ARB, texture.getGLName());
            ASSERT_EQ(pixels.size(), 64u * 32u);
            const int grey = greyOf(7);
            EXPECT_TRUE(isNear(
                pixels[0],
                PixelRGBA8{static_cast<uint8_t>(grey), static_cast<uint8_t>(grey), static_cast<uint8_t>(grey), 255}, 2))
                << pixels[0];
            // Nothing new at the same time: no new texture.
            EXPECT_FALSE(reader->updateTexture(&texture));
            reader->release();
        }

        TEST_F(AVFTextureGLTest, SixteenBitFramesGoThroughTheCPUAsNativeRGBA)
        {
            backend.addMovie("/m/sound.mov", 1);
            auto opened = open("/m/sound.mov");
            auto* reader = dynamic_cast<AVFVideoFormatReader*>(opened.get());
            ASSERT_NE(reader, nullptr);
            reader->usePixelFormat(av::pixelFormat64ARGB);
            EXPECT_EQ(reader->getTextureFormat(), &Texture::RGBA16I);
            ASSERT_TRUE(reader->init(0, 0));
            reader->readFrame(3 * 40.0 + 20.0);
            backend.completeSeeks();
            Texture texture;
            ASSERT_TRUE(texture.create(64, 32, Texture::RGBA16I));
            ASSERT_TRUE(reader->updateTexture(&texture));
            GLushort texel[4] = {};
            {
                const ScopedTextureBinding binding(GL_TEXTURE_2D, texture.getGLName());
                std::vector<GLushort> all(static_cast<std::size_t>(texture.getHardwareWidth()) *
                                          texture.getHardwareHeight() * 4);
                glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_SHORT, all.data());
                std::copy(all.begin(), all.begin() + 4, texel);
            }
            EXPECT_EQ(texel[0], 3);
            EXPECT_EQ(texel[1], 0x1234);
            EXPECT_EQ(texel[2], 0xABCD);
            EXPECT_EQ(texel[3], 0xFFFF);
            reader->release();
        }

        TEST_F(AVFTextureGLTest, SelfTimedPlayerAdoptsIntoPlainTexturesButNeverIntoOwnedOnes)
        {
            backend.addMovie("/m/silent.mov");
            AVFPlayer::lastSeekTime = 0.0;
            auto reader = open("/m/silent.mov");
            ASSERT_NE(reader, nullptr);
            ASSERT_TRUE(reader->init(0, 0));
            ASSERT_TRUE(reader->readFrame(5 * 40.0 + 20.0));
            // Nothing is handed over before the seek to frame 5 lands.
            Texture early;
            EXPECT_FALSE(reader->updateTexture(&early));
            EXPECT_EQ(backend.completeSeeks(), 1);
            clock.advance(0.2);

            // A texture holding a GL name of its own, as a pooled one does.
            Texture owned;
            ASSERT_TRUE(owned.create(64, 32, Texture::RGBA8));
            const unsigned ownName = owned.getGLName();
            LogRecorder log;
            EXPECT_FALSE(reader->updateTexture(&owned));
            EXPECT_EQ(owned.getGLName(), ownName);
            EXPECT_FALSE(owned.isForeign());
            EXPECT_TRUE(log.contains("owns its GL texture")) << log.dump();

            Texture plain;
            ASSERT_TRUE(reader->updateTexture(&plain));
            EXPECT_TRUE(plain.isForeign());
            EXPECT_EQ(plain.getTarget(), GL_TEXTURE_RECTANGLE_ARB);
            const std::vector<PixelRGBA8> pixels = readTexture(GL_TEXTURE_RECTANGLE_ARB, plain.getGLName());
            // Played 0.2 s on from frame 5 with the play head left on frame 5:
            // frame 5 shows, never one beyond the play head.
            EXPECT_NEAR(pixels[0].r, greyOf(5), 2);
            reader->release();
        }

        TEST_F(AVFTextureGLTest, CacheMadeOnceOnTheCurrentContext)
        {
            CVOpenGLTextureCache& cache = CVOpenGLTextureCache::getInstance();
            EXPECT_TRUE(cache.init());
            EXPECT_TRUE(cache.init());
            ASSERT_NE(cache.getCache(), nullptr);
            // Reused by size: a texture given back and flushed once serves the next frame.
            auto buffer = av::PixelBuffer::create(8, 4, av::pixelFormat422YpCbCr8);
            std::string error;
            auto first = cache.getCache()->createTextureFromImage(*buffer, &error);
            ASSERT_NE(first, nullptr) << error;
            const unsigned name = first->getName();
            first.reset();
            cache.flush();
            auto second = cache.getCache()->createTextureFromImage(*buffer, &error);
            ASSERT_NE(second, nullptr);
            EXPECT_EQ(second->getName(), name);
            second.reset();
            cache.flush();
            cache.flush();
            EXPECT_EQ(cache.getCache()->getTextureCount(), 0);
            // A format without a texture layout is refused.
            auto wide = av::PixelBuffer::create(8, 4, av::pixelFormat64ARGB);
            EXPECT_EQ(cache.getCache()->createTextureFromImage(*wide, &error), nullptr);
        }

        struct MatrixCase
        {
            const char* name;
            int height;
            unsigned char cb, cr;
        };
        class AVFConversionTest : public ::testing::TestWithParam<MatrixCase>
        {
        };

        TEST_P(AVFConversionTest, ColourMatrixFollowsTheHeight)
        {
            // Pure red in each matrix: the other matrix gives a visibly different colour.
            const MatrixCase& c = GetParam();
            std::vector<unsigned char> uyvy(static_cast<std::size_t>(2) * 2 * c.height);
            const unsigned char y = c.height >= 720 ? 63 : 81;
            for (std::size_t i = 0; i < uyvy.size(); i += 4)
            {
                uyvy[i] = c.cb;
                uyvy[i + 1] = y;
                uyvy[i + 2] = c.cr;
                uyvy[i + 3] = y;
            }
            std::vector<unsigned char> rgba(static_cast<std::size_t>(2) * c.height * 4);
            av::convert422ToRGBA(uyvy.data(), 4, 2, c.height, rgba.data(), c.height >= 720);
            EXPECT_NEAR(rgba[0], 255, 3);
            EXPECT_NEAR(rgba[1], 0, 3);
            EXPECT_NEAR(rgba[2], 0, 3);
            EXPECT_EQ(rgba[3], 255);
        }

        INSTANTIATE_TEST_SUITE_P(Matrices, AVFConversionTest,
                                 ::testing::Values(MatrixCase{"BT601", 480, 90, 240},
                                                   MatrixCase{"BT709", 720, 102, 240}),
                                 [](const auto& info) { return std::string(info.param.name); });
    }
}
