#include "engine/video/formats/VXVideoTextureBuffer.h"

#include <memory>

#include "engine/gfx/VXGfxInfo.h"
#include "engine/gfx/VXTexture.h"
#include "engine/gfx/VXTextureManager.h"
#include "engine/video/formats/VXFakeReaders.h"
#include "engine/video/formats/VXSingleFrameBufferer.h"
#include "support/gl/VXGLTestFixture.h"

namespace vx::test
{
    namespace
    {
        class VideoTextureBufferGLTest : public GLTest
        {
        protected:
            void SetUp() override
            {
                GLTest::SetUp();
                GfxInfo::filloutGfxInfo();
            }
        };
    }

    TEST_F(VideoTextureBufferGLTest, FillsItsTextureFromAReaderAtTheReadersSize)
    {
        FakeBufferableReader reader(File("/nowhere/a.fake"), 6, 5, 3);
        reader.setBufferer(new SingleFrameBufferer(reader));
        VideoTextureBuffer buffer(2, 8, 8, nullptr);
        ASSERT_EQ(buffer.getNumTextures(), 2);
        EXPECT_FALSE(buffer.readTextureFromVideoReader(reader, 2));
        EXPECT_FALSE(buffer.readTextureFromVideoReader(reader, -1));

        ASSERT_TRUE(reader.read(81.0));
        ASSERT_TRUE(buffer.readTextureFromVideoReader(reader, 1));
        Texture* texture = buffer.getTexture(1);
        ASSERT_TRUE(texture->isValid());
        EXPECT_EQ(texture->getWidth(), 5);
        EXPECT_EQ(texture->getHeight(), 3);
        const auto pixels = readTexture(GL_TEXTURE_2D, texture->getGLName());
        ASSERT_FALSE(pixels.empty());
        EXPECT_EQ(pixels[0], (PixelRGBA8{3, 3, 3, 3}));
        EXPECT_FALSE(buffer.getTexture(0)->isValid()) << "only the texture asked for is filled";
    }

    TEST_F(VideoTextureBufferGLTest, PooledTexturesGoBackToTheManager)
    {
        TextureManager manager;
        TextureManager::setCurrent(&manager);
        {
            VideoTextureBuffer buffer(1, 4, 2, &Texture::RGBA8);
            ASSERT_TRUE(buffer.getTexture(0)->isValid());
            EXPECT_EQ(manager.getUsedTextureCount(), 1u);
            FakeBufferableReader reader(File("/nowhere/a.fake"), 6, 8, 4);
            ASSERT_TRUE(reader.read(0.0));
            ASSERT_TRUE(buffer.readTextureFromVideoReader(reader, 0));
            EXPECT_EQ(buffer.getTexture(0)->getWidth(), 8) << "replaced at the reader's size";
            EXPECT_EQ(manager.getUsedTextureCount(), 1u);
        }
        EXPECT_EQ(manager.getUsedTextureCount(), 0u);
        TextureManager::clearCurrent(&manager);
        manager.release();
    }

    // A pooled texture holds what its last user left until a reader's
    // upload fills it; one made by the buffer holds nothing of anyone else.
    TEST_F(VideoTextureBufferGLTest, PooledTexturesCountAsFilledOnlyOnceAReaderUploaded)
    {
        TextureManager manager;
        TextureManager::setCurrent(&manager);
        {
            VideoTextureBuffer pooled(1, 4, 2, &Texture::RGBA8);
            EXPECT_FALSE(pooled.isFilled(0));
            FakeBufferableReader reader(File("/nowhere/a.fake"), 6, 4, 2);
            EXPECT_FALSE(pooled.readTextureFromVideoReader(reader, 0)) << "nothing read yet";
            EXPECT_FALSE(pooled.isFilled(0));
            ASSERT_TRUE(reader.read(0.0));
            ASSERT_TRUE(pooled.readTextureFromVideoReader(reader, 0));
            EXPECT_TRUE(pooled.isFilled(0));

            FakeBufferableReader larger(File("/nowhere/b.fake"), 6, 8, 4);
            EXPECT_FALSE(pooled.readTextureFromVideoReader(larger, 0));
            EXPECT_EQ(pooled.getTexture(0)->getWidth(), 8) << "replaced from the pool";
            EXPECT_FALSE(pooled.isFilled(0));

            VideoTextureBuffer own(1, 4, 2, nullptr);
            EXPECT_TRUE(own.isFilled(0));
            EXPECT_FALSE(own.isFilled(1));
        }
        TextureManager::clearCurrent(&manager);
        manager.release();
    }
}
