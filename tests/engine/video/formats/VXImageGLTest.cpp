#include "engine/video/formats/VXImage.h"

#include <memory>
#include <vector>

#include "core/VXColor.h"
#include "engine/gfx/VXContextManager.h"
#include "engine/gfx/VXGfxInfo.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXTexture.h"
#include "engine/gfx/VXRenderTargetTestSupport.h"
#include "support/gl/VXGLTestFixture.h"

namespace vx::test
{
    namespace
    {
        const PixelRGBA8 black{0, 0, 0, 255};
        const PixelRGBA8 red{255, 0, 0, 255};
        const PixelRGBA8 blue{0, 0, 255, 255};

        // The fixture's context wrapped as the host's, with its renderer drawing
        // in a pixel space over a test framebuffer.
        class ImageGLTest : public GLTest
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
                host.reset();
                GLTest::TearDown();
            }

            void beginPixelSpace(int size)
            {
                renderer->setViewport(RectT<float>(0.0f, 0.0f, float(size), float(size)));
                renderer->setupGuiMatrices(100.0f);
                clearTo(0.0f, 0.0f, 0.0f, 1.0f);
                height = size;
            }

            PixelRGBA8 at(int x, int y) const { return readPixel(x, height - 1 - y); }

            ContextManager manager;
            std::unique_ptr<ScopedHostRenderer> host;
            Renderer* renderer = nullptr;
            int height = 0;
        };

        TEST_F(ImageGLTest, DrawsAtItsOwnSizeAndReuploadsWhenDirty)
        {
            ScopedTestFramebuffer target(16, 16);
            beginPixelSpace(16);
            Image image(3, 2, 0);
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 3; ++x)
                    image.setPixel(x, y, Color::red);
            image.draw(*renderer, 4.0f, 5.0f, 0.0f, 0.0f, true, Color::white);
            ASSERT_NE(image.getTexture(), nullptr);
            EXPECT_EQ(image.getTexture()->getFormat(), Texture::RGB8);
            EXPECT_FALSE(image.isDirty());
            for (int y = 3; y < 9; ++y)
                for (int x = 2; x < 9; ++x)
                {
                    const bool inside = x >= 4 && x < 7 && y >= 5 && y < 7;
                    EXPECT_EQ(at(x, y), inside ? red : black) << x << ", " << y;
                }

            image.setPixel(1, 1, Color::blue);
            EXPECT_TRUE(image.isDirty());
            image.draw(*renderer, 4.0f, 5.0f, 0.0f, 0.0f, true, Color::white);
            EXPECT_EQ(at(5, 6), blue);
            EXPECT_EQ(at(5, 5), red);
        }

        TEST_F(ImageGLTest, TexturesFollowTheFormat)
        {
            Image grey(5, 3, 2);
            ASSERT_NE(grey.getTexture(), nullptr);
            EXPECT_EQ(grey.getTexture()->getFormat(), Texture::I8);
            Image rgba(5, 3, 1);
            ASSERT_NE(rgba.getTexture(), nullptr);
            EXPECT_EQ(rgba.getTexture()->getFormat(), Texture::RGBA8);
            Image none;
            EXPECT_EQ(none.getTexture(), nullptr);
            EXPECT_FALSE(none.updateTexture());
        }

        struct GrabCase
        {
            const char* name;
            int format;
            std::vector<unsigned char> expectedFirstPixel;
        };

        class ImageGrab : public ImageGLTest, public ::testing::WithParamInterface<GrabCase>
        {
        };

        // Widths whose rows are not a multiple of 4 bytes: with the default pack
        // alignment GL would pad rows and write past the buffer.
        TEST_P(ImageGrab, ReadsRowsTightlyPacked)
        {
            const GrabCase& c = GetParam();
            ScopedTestFramebuffer target(7, 5);
            clearTo(1.0f, 0.0f, 0.0f, 1.0f);
            glPixelStorei(GL_PACK_ALIGNMENT, 8);
            Image image;
            ASSERT_TRUE(image.grabFrameBuffer(7, 5, c.format));
            EXPECT_EQ(getInteger(GL_PACK_ALIGNMENT), 8) << "the pack state comes back";
            glPixelStorei(GL_PACK_ALIGNMENT, 4);
            ASSERT_EQ(image.getDataSize(), size_t(7 * 5 * Image::bytesPerPixelOfFormat(c.format)));
            const int bpp = image.getBytesPerPixel();
            const unsigned char* last = image.getData() + image.getDataSize() - size_t(bpp);
            EXPECT_EQ(std::vector<unsigned char>(image.getData(), image.getData() + bpp), c.expectedFirstPixel);
            EXPECT_EQ(std::vector<unsigned char>(last, last + bpp), c.expectedFirstPixel);
            EXPECT_TRUE(image.isDirty());
        }

        INSTANTIATE_TEST_SUITE_P(Formats, ImageGrab,
                                 ::testing::Values(GrabCase{"Rgb", 0, {255, 0, 0}},
                                                   GrabCase{"BlueGreenRedAlpha", 1, {0, 0, 255, 255}},
                                                   GrabCase{"Luminance", 2, {255}}),
                                 [](const auto& info) { return std::string(info.param.name); });

    } // namespace
} // namespace vx::test
