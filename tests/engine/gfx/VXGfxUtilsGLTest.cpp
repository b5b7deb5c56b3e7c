#include "engine/gfx/VXGfxUtils.h"

#include "core/VXColor.h"
#include "engine/gfx/VXTexture.h"
#include "support/VXLogRecorder.h"
#include "support/gl/VXGLTestFixture.h"

#include <vector>

namespace vx
{
    namespace
    {

        using test::PixelRGBA8;

        // Leaves the process-wide viewport stack empty and the fixed-function
        // matrices and state as the fixture expects them.
        class GfxUtilsGLTest : public test::GLTest
        {
        protected:
            void SetUp() override
            {
                test::GLTest::SetUp();
                viewports.clear();
                glGetIntegerv(GL_VIEWPORT, savedViewport);
            }

            void TearDown() override
            {
                viewports.clear();
                glViewport(savedViewport[0], savedViewport[1], savedViewport[2], savedViewport[3]);
                gfx::setIdentityTransform();
                glColor4f(1, 1, 1, 1);
                test::GLTest::TearDown();
            }

            static std::vector<GLint> viewport()
            {
                std::vector<GLint> v(4);
                glGetIntegerv(GL_VIEWPORT, v.data());
                return v;
            }

            GLint savedViewport[4] = {};
        };

        // Records the vertex count of every glDrawArrays while in scope.
        struct DrawArraysRecorder
        {
            static inline std::vector<GLsizei> counts;
            static inline PFNGLDRAWARRAYSPROC original = nullptr;
            static void hook(GLenum mode, GLint first, GLsizei count)
            {
                counts.push_back(count);
                original(mode, first, count);
            }

            DrawArraysRecorder()
            {
                counts.clear();
                saved = epoxy_glDrawArrays;
                original = reinterpret_cast<PFNGLDRAWARRAYSPROC>(test::detail::getRealGLProc("glDrawArrays"));
                epoxy_glDrawArrays = &hook;
            }
            ~DrawArraysRecorder() { epoxy_glDrawArrays = saved; }

            PFNGLDRAWARRAYSPROC saved = nullptr;
        };

        struct BlendCase
        {
            const char* name;
            gfx::BLENDMODE mode;
            GLenum source, destination;
        };

        class GfxBlendModeGLTest : public GfxUtilsGLTest, public ::testing::WithParamInterface<BlendCase>
        {
        };

        TEST_P(GfxBlendModeGLTest, EnablesBlendingWithItsFactors)
        {
            gfx::setBlendMode(GetParam().mode);
            EXPECT_TRUE(glIsEnabled(GL_BLEND));
            EXPECT_EQ(test::getInteger(GL_BLEND_SRC_RGB), GLint(GetParam().source));
            EXPECT_EQ(test::getInteger(GL_BLEND_DST_RGB), GLint(GetParam().destination));
            EXPECT_EQ(test::getInteger(GL_BLEND_SRC_ALPHA), GLint(GetParam().source));

            gfx::setBlendMode(gfx::BLEND_OFF);
            EXPECT_FALSE(glIsEnabled(GL_BLEND));
        }

        INSTANTIATE_TEST_SUITE_P(
            Modes, GfxBlendModeGLTest,
            ::testing::Values(BlendCase{"Alpha", gfx::BLEND_ALPHA, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA},
                              BlendCase{"Premultiplied", gfx::BLEND_PREMULTIPLIED, GL_ONE, GL_ONE_MINUS_SRC_ALPHA},
                              BlendCase{"Additive", gfx::BLEND_ADDITIVE, GL_SRC_ALPHA, GL_ONE},
                              BlendCase{"Multiply", gfx::BLEND_MULTIPLY, GL_ZERO, GL_SRC_COLOR}),
            [](const ::testing::TestParamInfo<BlendCase>& info) { return std::string(info.param.name); });

        TEST_F(GfxUtilsGLTest, ValuesOutsideTheTablesChangeNothing)
        {
            gfx::setBlendMode(gfx::BLEND_PREMULTIPLIED);
            gfx::setDepthFunc(gfx::CMP_LEQUAL);

            test::LogRecorder log;
            gfx::setBlendMode(gfx::BLENDMODE(4));
            gfx::setBlendMode(gfx::BLENDMODE(-1));
            gfx::setDepthFunc(gfx::DEPTHFUNC(8));
            gfx::setFillMode(gfx::FILLMODE(3));
            gfx::setStencilOp(gfx::STENCIL_KEEP, gfx::STENCIL_KEEP, gfx::STENCILOP(8));
            EXPECT_EQ(gfx::getGLPRIMITIVETYPE(gfx::PRIMITIVE(8)), gfx::invalidPrimitive);
            EXPECT_EQ(log.count(logError), 6u) << log.dump();

            EXPECT_TRUE(glIsEnabled(GL_BLEND));
            EXPECT_EQ(test::getInteger(GL_BLEND_SRC_RGB), GL_ONE);
            EXPECT_EQ(test::getInteger(GL_DEPTH_FUNC), GL_LEQUAL);
            gfx::setBlendMode(gfx::BLEND_OFF);
            gfx::setDepthFunc(gfx::CMP_LESS);
        }

        TEST_F(GfxUtilsGLTest, StencilOpsPerFaceAndCullWinding)
        {
            gfx::setStencilOp(gfx::STENCIL_INCR_WRAP, gfx::STENCIL_DECR_WRAP, gfx::STENCIL_REPLACE, gfx::STENCIL_ZERO,
                              gfx::STENCIL_INVERT, gfx::STENCIL_INCR);
            EXPECT_EQ(test::getInteger(GL_STENCIL_FAIL), GL_INCR_WRAP);
            EXPECT_EQ(test::getInteger(GL_STENCIL_PASS_DEPTH_PASS), GL_REPLACE);
            EXPECT_EQ(test::getInteger(GL_STENCIL_BACK_FAIL), GL_ZERO);
            EXPECT_EQ(test::getInteger(GL_STENCIL_BACK_PASS_DEPTH_PASS), GL_INCR);
            gfx::setStencilOp(gfx::STENCIL_KEEP, gfx::STENCIL_KEEP, gfx::STENCIL_KEEP);
            EXPECT_EQ(test::getInteger(GL_STENCIL_BACK_FAIL), GL_KEEP);

            gfx::setCullMode(gfx::CULL_CCW);
            EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
            EXPECT_EQ(test::getInteger(GL_CULL_FACE_MODE), GL_BACK);
            EXPECT_EQ(test::getInteger(GL_FRONT_FACE), GL_CCW);
            gfx::setCullMode(gfx::CULLMODE(9));
            EXPECT_EQ(test::getInteger(GL_FRONT_FACE), GL_CW);
            gfx::setCullMode(gfx::CULL_NONE);
            EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
            glFrontFace(GL_CCW);
        }

        TEST_F(GfxUtilsGLTest, ScissorBoxFromCornerAndSize)
        {
            gfx::setScissor(10, 20, 30, 40);
            EXPECT_TRUE(glIsEnabled(GL_SCISSOR_TEST));
            std::vector<GLint> box(4);
            glGetIntegerv(GL_SCISSOR_BOX, box.data());
            EXPECT_EQ(box, (std::vector<GLint>{10, 20, 30, 40}));

            // Corners in either order give the same box.
            gfx::setScissor(RectT<int>(5, 50, 15, 10));
            glGetIntegerv(GL_SCISSOR_BOX, box.data());
            EXPECT_EQ(box, (std::vector<GLint>{5, 50, 10, 40}));

            gfx::disableScissor();
            EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
            glScissor(0, 0, test::GLTestContext::defaultFramebufferSize, test::GLTestContext::defaultFramebufferSize);
        }

        TEST_F(GfxUtilsGLTest, ViewportStack)
        {
            gfx::setViewport(1, 2, 30, 40);
            ASSERT_EQ(viewports.size(), 1u);
            EXPECT_EQ(viewports.back(), RectT<int>(1, 2, 31, 42));
            EXPECT_EQ(viewport(), (std::vector<GLint>{1, 2, 30, 40}));

            gfx::pushViewport(RectT<int>(5, 6, 15, 26));
            EXPECT_EQ(viewports.size(), 2u);
            EXPECT_EQ(viewport(), (std::vector<GLint>{5, 6, 10, 20}));

            gfx::setViewport(RectT<int>(7, 8, 9, 10));
            EXPECT_EQ(viewports.size(), 2u);
            EXPECT_EQ(viewport(), (std::vector<GLint>{7, 8, 2, 2}));

            gfx::popViewport();
            EXPECT_EQ(viewports.size(), 1u);
            EXPECT_EQ(viewport(), (std::vector<GLint>{1, 2, 30, 40}));

            gfx::popViewport(); // the last entry stays
            EXPECT_EQ(viewports.size(), 1u);
            EXPECT_EQ(viewport(), (std::vector<GLint>{1, 2, 30, 40}));
        }

        TEST_F(GfxUtilsGLTest, PushOnAnEmptyStackKeepsGLsViewportBelow)
        {
            glViewport(3, 4, 50, 60);
            gfx::pushViewport(0, 0, 8, 8);
            ASSERT_EQ(viewports.size(), 2u);
            EXPECT_EQ(viewports.front(), RectT<int>(3, 4, 53, 64));
            gfx::popViewport();
            EXPECT_EQ(viewport(), (std::vector<GLint>{3, 4, 50, 60}));
        }

        TEST_F(GfxUtilsGLTest, TopLeftRectangleToGLOrigin)
        {
            EXPECT_EQ(gfx::toViewportRect(RectT<int>(10, 20, 50, 60), 100), RectT<int>(10, 40, 50, 80));
        }

        TEST_F(GfxUtilsGLTest, CircleSegmentCounts)
        {
            DrawArraysRecorder recorder;
            gfx::drawCircle({0.0f, 0.0f}, 10.0f, 0, 1.0f);
            gfx::drawCircle({0.0f, 0.0f}, 0.1f, 0, 1.0f);
            gfx::fillCircle({0.0f, 0.0f}, 10.0f, 0, 1.0f);
            gfx::drawCircle({0.0f, 0.0f}, 10.0f, 5, 1.0f);
            gfx::drawEllipse({0.0f, 0.0f}, 10.0f, 2.0f, 0, 0.5f);
            gfx::fillEllipse({0.0f, 0.0f}, 1.0f, 1.0f, 1, 1.0f);
            EXPECT_EQ(DrawArraysRecorder::counts, (std::vector<GLsizei>{62, 2, 64, 5, 31, 4}));
        }

        TEST_F(GfxUtilsGLTest, OrthoPutsTheFirstYAtTheTop)
        {
            test::ScopedTestFramebuffer target(4, 4);
            glViewport(0, 0, 4, 4);
            gfx::clear(Color(0.0f, 0.0f, 0.0f, 1.0f));
            glClearColor(0.0f, 0.0f, 0.0f, 0.0f); // clear() leaves its colour set

            gfx::setOrtho(-1.0f, -1.0f, 2.0f, 2.0f, -1.0f, 1.0f);
            gfx::color(1.0f, 0.0f, 0.0f, 1.0f);
            gfx::fillRect(-1.0f, -1.0f, 2.0f, 0.5f); // the first quarter of y

            EXPECT_EQ(test::readPixel(1, 3), (PixelRGBA8{255, 0, 0, 255})); // top row (rows are bottom-up)
            EXPECT_EQ(test::readPixel(1, 0), (PixelRGBA8{0, 0, 0, 255}));
        }

        TEST_F(GfxUtilsGLTest, TwoDViewShowsPixelsOneToOne)
        {
            test::ScopedTestFramebuffer target(8, 8);
            glViewport(0, 0, 8, 8);
            gfx::clear(0.0f, 0.0f, 0.0f, 1.0f, true, 1.0f);
            glClearColor(0.0f, 0.0f, 0.0f, 0.0f); // clear() leaves its colour set

            gfx::set2DView(8.0f, 8.0f, 0);
            gfx::color(0.0f, 1.0f, 0.0f, 1.0f);
            gfx::fillRect(2.0f, 1.0f, 3.0f, 2.0f); // x 2..5, y 1..3 from the top

            const auto pixels = test::readPixels(0, 0, 8, 8);
            for (int row = 0; row < 8; ++row)
            {
                for (int column = 0; column < 8; ++column)
                {
                    const int yFromTop = 7 - row;
                    const bool inside = column >= 2 && column < 5 && yFromTop >= 1 && yFromTop < 3;
                    EXPECT_EQ(pixels[size_t(row * 8 + column)].g, inside ? 255 : 0) << column << ", " << yFromTop;
                }
            }

            test::LogRecorder log;
            const Matrix4x4 before = gfx::getProjectionMatrix();
            gfx::set2DView(0.0f, 8.0f, 0);
            EXPECT_EQ(log.count(logError), 1u);
            EXPECT_EQ(gfx::getProjectionMatrix(), before);
        }

        TEST_F(GfxUtilsGLTest, MatrixHelpers)
        {
            gfx::setIdentityTransform();
            gfx::translate(3.0f, 4.0f, 0.0f);
            gfx::scale(2.0f);
            const TMatrix3x3<float> m = gfx::getModelViewMatrix3x3();
            const float expected[9] = {2, 0, 0, 0, 2, 0, 3, 4, 1};
            for (int i = 0; i < 9; ++i)
                EXPECT_EQ(m.m[i], expected[i]) << i;

            gfx::pushMatrix(Matrix4x4::translation(1.0f, 0.0f, 0.0f));
            EXPECT_EQ(gfx::getModelViewMatrix().m[12], 5.0f);
            gfx::popMatrix();
            EXPECT_EQ(gfx::getModelViewMatrix().m[12], 3.0f);
        }

        class GfxTextureQuadGLTest : public GfxUtilsGLTest
        {
        protected:
            void SetUp() override
            {
                GfxUtilsGLTest::SetUp();
                ASSERT_TRUE(texture.create(texels.data(), 2, 2, Texture::RGBA8));
                texture.setMinFilter(Texture::NEAREST);
                texture.setMagFilter(Texture::NEAREST);
                target = std::make_unique<test::ScopedTestFramebuffer>(2, 2);
                glViewport(0, 0, 2, 2);
                gfx::setOrtho(2.0f, 2.0f);
            }

            void TearDown() override
            {
                glBindTexture(GL_TEXTURE_2D, 0);
                glDisable(GL_TEXTURE_2D);
                target.reset();
                texture.release();
                GfxUtilsGLTest::TearDown();
            }

            // Data rows bottom-up as GL stores them: bottom row red, green; top row blue, white.
            const std::vector<PixelRGBA8> texels = {
                {255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {255, 255, 255, 255}};
            Texture texture;
            std::unique_ptr<test::ScopedTestFramebuffer> target;
        };

        TEST_F(GfxTextureQuadGLTest, DrawTextureUprightOrFlipped)
        {
            drawTexture(texture, 0.0f, 0.0f, 2.0f, 2.0f, false);
            EXPECT_EQ(test::readPixels(0, 0, 2, 2), texels);
            EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY));
            EXPECT_FALSE(glIsEnabled(GL_TEXTURE_COORD_ARRAY));

            drawTexture(texture, 0.0f, 0.0f, 2.0f, 2.0f, true);
            EXPECT_EQ(test::readPixels(0, 0, 2, 2),
                      (std::vector<PixelRGBA8>{texels[2], texels[3], texels[0], texels[1]}));
        }

        TEST_F(GfxTextureQuadGLTest, PartsAndCoordinateRanges)
        {
            // The left column of the texture stretched over the whole target.
            drawTexturePart(texture, 0.0f, 0.0f, 2.0f, 2.0f, 0.0f, 0.0f, 0.5f, 1.0f, false);
            EXPECT_EQ(test::readPixels(0, 0, 2, 2),
                      (std::vector<PixelRGBA8>{texels[0], texels[0], texels[2], texels[2]}));

            // Corner form: the top half of the texture (t 0..0.5 from the top) into the top row.
            gfx::clear(0.0f, 0.0f, 0.0f, 0.0f);
            drawTexture(texture, 0.0f, 0.0f, 2.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.5f, false);
            const auto pixels = test::readPixels(0, 0, 2, 2);
            EXPECT_EQ(pixels[2], texels[2]);
            EXPECT_EQ(pixels[3], texels[3]);
            EXPECT_EQ(pixels[0], (PixelRGBA8{0, 0, 0, 0}));
            EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY));
        }

        TEST_F(GfxTextureQuadGLTest, QuadFormsUseTheBoundTextureInWhite)
        {
            glBindTexture(GL_TEXTURE_2D, texture.getGLName());
            glEnable(GL_TEXTURE_2D);
            gfx::color(0.0f, 0.0f, 0.0f, 1.0f);
            drawTextureQuad(texture, 0.0f, 0.0f, 2.0f, 2.0f, false);
            EXPECT_EQ(test::readPixels(0, 0, 2, 2), texels);

            GLfloat colour[4] = {};
            glGetFloatv(GL_CURRENT_COLOR, colour);
            EXPECT_EQ(colour[1], 1.0f);

            // (0, 0) at the first corner: the first data row lands at the top.
            drawTextureQuadZ(texture, 0.0f, 0.0f, 0.0f, 2.0f, 2.0f);
            EXPECT_EQ(test::readPixels(0, 0, 2, 2),
                      (std::vector<PixelRGBA8>{texels[2], texels[3], texels[0], texels[1]}));
        }

        TEST_F(GfxTextureQuadGLTest, ClientArraysDoNotReadFromABoundBuffer)
        {
            GLuint buffer = 0;
            glGenBuffers(1, &buffer);
            glBindBuffer(GL_ARRAY_BUFFER, buffer);
            glBufferData(GL_ARRAY_BUFFER, 4, nullptr, GL_STATIC_DRAW);

            gfx::color(1.0f, 0.0f, 0.0f, 1.0f);
            gfx::fillRect(0.0f, 0.0f, 2.0f, 2.0f);
            EXPECT_EQ(test::readPixel(1, 1), (PixelRGBA8{255, 0, 0, 255}));
            EXPECT_EQ(test::getInteger(GL_ARRAY_BUFFER_BINDING), GLint(buffer));

            glBindBuffer(GL_ARRAY_BUFFER, 0);
            glDeleteBuffers(1, &buffer);
        }

    } // namespace
} // namespace vx
