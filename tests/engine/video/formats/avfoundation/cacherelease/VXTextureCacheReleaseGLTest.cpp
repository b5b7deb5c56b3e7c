// The process-wide texture cache is released by the movie format's release
// and not made again: a binary of its own, since the release lasts for the
// process.

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

        TEST_F(TextureCacheReleaseGLTest, AReleasedCacheIsNotMadeAgain)
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
            EXPECT_FALSE(cache.init());
            // A texture still held outlives the cache and gives its name back to GL.
            EXPECT_TRUE(glIsTexture(name));
            texture.reset();
            EXPECT_FALSE(glIsTexture(name));
        }
    }
}
