#include "engine/gfx/VXPixelReadback.h"


#include "support/VXLogRecorder.h"
#include "support/gl/VXGLTestFixture.h"

namespace vx::test
{
    namespace
    {
        // Gives every row of the bound framebuffer its own colour: row y is
        // (10 y, 255 - 10 y, 7, 255) / 255.
        void paintRows(int width, int height)
        {
            glEnable(GL_SCISSOR_TEST);
            for (int y = 0; y < height; ++y)
            {
                glScissor(0, y, width, 1);
                glClearColor((10 * y) / 255.0f, (255 - 10 * y) / 255.0f, 7 / 255.0f, 1.0f);
                glClear(GL_COLOR_BUFFER_BIT);
            }
            glDisable(GL_SCISSOR_TEST);
            glClearColor(0, 0, 0, 0);
        }

        class PixelReadbackTest : public GLTest
        {
        protected:
            void TearDown() override
            {
                pixelProcessingBusy = false;
                GLTest::TearDown();
            }
        };
    }

    struct LayoutCase
    {
        const char* name;
        GLenum format;
        GLenum type;
        int bytesPerPixel;
    };

    class PixelReadbackLayout : public PixelReadbackTest, public ::testing::WithParamInterface<LayoutCase>
    {
    };

    TEST_P(PixelReadbackLayout, RowsArePackedTightlyBottomFirst)
    {
        const LayoutCase& c = GetParam();
        const int width = 5, height = 3; // odd width: 3-byte rows are not 4-aligned
        ScopedTestFramebuffer target(width, height);
        paintRows(width, height);

        PixelReadback readback(width, height, c.format, c.type);
        EXPECT_EQ(readback.getBytesPerPixel(), c.bytesPerPixel);
        EXPECT_EQ(readback.getReadbackBufferSize(), size_t(width * height * c.bytesPerPixel));
        EXPECT_TRUE(readback.usesPixelPackBuffer());
        const unsigned char* pixels = readback.beginPixelProcessing();
        ASSERT_NE(pixels, nullptr);
        const int componentSize = c.type == GL_UNSIGNED_SHORT ? 2 : 1;
        const bool bgr = c.format == GL_BGRA || c.format == GL_BGR;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
            {
                // High byte of each component (the only byte for 8-bit types).
                const unsigned char* p = pixels + (y * width + x) * c.bytesPerPixel + (componentSize - 1);
                const int red = p[(bgr ? 2 : 0) * componentSize];
                const int green = p[1 * componentSize];
                ASSERT_EQ(red, 10 * y) << "pixel " << x << ", " << y;
                ASSERT_EQ(green, 255 - 10 * y) << "pixel " << x << ", " << y;
            }
        readback.endPixelProcessing();
        EXPECT_FALSE(pixelProcessingBusy);
    }

    INSTANTIATE_TEST_SUITE_P(Layouts, PixelReadbackLayout,
                             ::testing::Values(LayoutCase{"rgba8", GL_RGBA, GL_UNSIGNED_BYTE, 4},
                                               LayoutCase{"bgra8", GL_BGRA, GL_UNSIGNED_BYTE, 4},
                                               LayoutCase{"rgb8", GL_RGB, GL_UNSIGNED_BYTE, 3},
                                               LayoutCase{"bgr8", GL_BGR, GL_UNSIGNED_BYTE, 3},
                                               LayoutCase{"rgba16", GL_RGBA, GL_UNSIGNED_SHORT, 8}),
                             [](const auto& info) { return std::string(info.param.name); });

    TEST_F(PixelReadbackTest, OnlyOneReadbackIsProcessedAtATime)
    {
        ScopedTestFramebuffer target(4, 4);
        PixelReadback first(4, 4, GL_RGBA, GL_UNSIGNED_BYTE);
        PixelReadback second(4, 4, GL_RGBA, GL_UNSIGNED_BYTE);
        ASSERT_NE(first.beginPixelProcessing(), nullptr);

        LogRecorder log;
        EXPECT_EQ(second.beginPixelProcessing(), nullptr);
        EXPECT_TRUE(log.contains("beginPixelProcessing: Cannot have multiple readbacks processing at the same time."))
            << log.dump();
        second.endPixelProcessing(); // must not release the first one's claim
        EXPECT_TRUE(pixelProcessingBusy);

        first.endPixelProcessing();
        ASSERT_NE(second.beginPixelProcessing(), nullptr);
        second.endPixelProcessing();

        {
            PixelReadback destroyedWhileProcessing(4, 4, GL_BGRA, GL_UNSIGNED_BYTE);
            ASSERT_NE(destroyedWhileProcessing.beginPixelProcessing(), nullptr);
        }
        EXPECT_FALSE(pixelProcessingBusy) << "destroying it released the claim";
    }

    TEST_F(PixelReadbackTest, ReadsAgainForEveryFrame)
    {
        ScopedTestFramebuffer target(2, 2);
        clearTo(1, 0, 0, 1);
        PixelReadback readback(2, 2, GL_RGBA, GL_UNSIGNED_BYTE);
        clearTo(0, 0, 1, 1);
        const unsigned char* pixels = readback.beginPixelProcessing();
        ASSERT_NE(pixels, nullptr);
        EXPECT_EQ(pixels[0], 255) << "the read started in the constructor";
        readback.endPixelProcessing();

        readback.startPixelRead();
        pixels = readback.beginPixelProcessing();
        ASSERT_NE(pixels, nullptr);
        EXPECT_EQ(pixels[0], 0);
        EXPECT_EQ(pixels[2], 255);
        readback.endPixelProcessing();
    }

    TEST_F(PixelReadbackTest, HostPackBufferAndClientReadsAreUntouched)
    {
        ScopedTestFramebuffer target(4, 4);
        clearTo(0, 1, 0, 1);

        {
            const ScopedHostPackBuffer host(16);
            PixelReadback readback(4, 4, GL_RGBA, GL_UNSIGNED_BYTE);
            const unsigned char* pixels = readback.beginPixelProcessing();
            ASSERT_NE(pixels, nullptr);
            EXPECT_EQ(pixels[1], 255);
            readback.endPixelProcessing();
            EXPECT_EQ(GLuint(getInteger(GL_PIXEL_PACK_BUFFER_BINDING)), host.get());
        }

        // A later read into client memory still lands in client memory.
        PixelReadback readback(4, 4, GL_RGBA, GL_UNSIGNED_BYTE);
        EXPECT_EQ(readPixel(0, 0), (PixelRGBA8{0, 255, 0, 255}));
    }

    TEST_F(PixelReadbackTest, LayoutsWithoutPixelSizeReadNothing)
    {
        ScopedTestFramebuffer target(4, 4);
        LogRecorder log;
        PixelReadback readback(4, 4, GL_RED, GL_UNSIGNED_BYTE);
        EXPECT_EQ(readback.getReadbackBufferSize(), 0u);
        EXPECT_FALSE(readback.usesPixelPackBuffer());
        EXPECT_EQ(readback.beginPixelProcessing(), nullptr);
        EXPECT_FALSE(pixelProcessingBusy);
        readback.startPixelRead();

        PixelReadback empty(0, 4, GL_RGBA, GL_UNSIGNED_BYTE);
        EXPECT_EQ(empty.beginPixelProcessing(), nullptr);
        EXPECT_EQ(log.count(logError), 4u) << log.dump();
    }

    TEST_F(PixelReadbackTest, TypesWiderThanTheBufferAreRefused)
    {
        ScopedTestFramebuffer target(4, 4);
        LogRecorder log;
        PixelReadback readback(4, 4, GL_RGBA, GL_FLOAT);
        EXPECT_FALSE(readback.usesPixelPackBuffer());
        EXPECT_EQ(readback.beginPixelProcessing(), nullptr);
        EXPECT_FALSE(pixelProcessingBusy);
        EXPECT_EQ(log.count(logError), 2u) << log.dump();
    }
}
