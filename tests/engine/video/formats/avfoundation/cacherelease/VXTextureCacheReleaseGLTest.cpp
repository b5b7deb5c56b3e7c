// The process-wide texture cache is released by the movie format's release
// (the engine root's GL release) and made again by the next init: a binary of
// its own, since the cache is the process's.

#include "engine/video/formats/VXAVFVideoFormat.h"
#include "engine/video/formats/avfoundation/VXCVOpenGLTextureCache.h"
#include "engine/video/formats/avfoundation/VXCVTextureStore.h"
#include "support/gl/VXGLTestFixture.h"

namespace vx::test
{
    namespace
    {
        class TextureCacheReleaseGLTest : public GLTest
        {
        };

        TEST_F(TextureCacheReleaseGLTest, AReleasedCacheIsMadeAgainByTheNextInit)
        {
            CVOpenGLTextureCache& cache = CVOpenGLTextureCache::getInstance();
            ASSERT_TRUE(cache.init());
            auto buffer = av::PixelBuffer::create(4, 2, av::pixelFormat32BGRA);
            auto texture = cache.getCache()->createTextureFromImage(*buffer, nullptr);
            ASSERT_NE(texture, nullptr);
            const GLuint name = texture->getName();
            EXPECT_TRUE(glIsTexture(name));

            AVFVideoFormat format;
            format.release();
            EXPECT_EQ(cache.getCache(), nullptr);
            // A texture still held outlives the cache and gives its name back to GL.
            EXPECT_TRUE(glIsTexture(name));
            texture.reset();
            EXPECT_FALSE(glIsTexture(name));

            ASSERT_TRUE(cache.init());
            ASSERT_NE(cache.getCache(), nullptr);
            EXPECT_NE(cache.getCache()->createTextureFromImage(*buffer, nullptr), nullptr);
            format.release();
        }
    }
}
