#include "engine/gfx/VXRenderer.h"

#include "core/VXOrientedRect.h"
#include "engine/gfx/VXFonts.h"
#include "engine/gfx/VXGfxUtils.h"
#include "engine/gfx/VXRenderTargetTestSupport.h"
#include "engine/gfx/VXShaderProgram.h"
#include "engine/gfx/VXTexture.h"
#include "support/VXLogRecorder.h"

#include <cmath>
#include <memory>

namespace vx
{
    namespace
    {

        using test::PixelRGBA8;

        const PixelRGBA8 black{0, 0, 0, 255};
        const PixelRGBA8 red{255, 0, 0, 255};

        // The fixture's context wrapped as the host's, owning a real renderer.
        class RendererGLTest : public test::GLTest
        {
        protected:
            void SetUp() override
            {
                test::GLTest::SetUp();
                host = std::make_unique<test::ScopedHostRenderer>(manager);
                ASSERT_NE(host->renderer, nullptr);
                ASSERT_TRUE(host->context->isRendererInitialized());
                renderer = host->renderer;
            }

            void TearDown() override
            {
                host.reset();
                test::GLTest::TearDown();
            }

            // A w x h pixel space, (0, 0) top left, over a cleared test framebuffer.
            void beginPixelSpace(int w, int h)
            {
                renderer->setViewport(RectT<float>(0.0f, 0.0f, float(w), float(h)));
                renderer->setupGuiMatrices(100.0f);
                test::clearTo(0.0f, 0.0f, 0.0f, 1.0f);
                height = h;
            }

            // Pixel (x, y) of the pixel space; read-back rows go bottom-up.
            PixelRGBA8 at(int x, int y) const { return test::readPixel(x, height - 1 - y); }

            ContextManager manager;
            std::unique_ptr<test::ScopedHostRenderer> host;
            Renderer* renderer = nullptr;
            int height = 0;
        };

        // Flat red drawing over a 16 x 16 pixel space lights exactly the pixels
        // whose centres it covers.
        struct CoverageCase
        {
            const char* name;
            void (*draw)(Renderer&);
            bool (*lit)(int x, int y);
        };

        class RendererCoverageGLTest : public RendererGLTest, public ::testing::WithParamInterface<CoverageCase>
        {
        };

        TEST_P(RendererCoverageGLTest, LightsExactlyItsPixels)
        {
            test::ScopedTestFramebuffer target(16, 16);
            beginPixelSpace(16, 16);
            GetParam().draw(*renderer);
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x)
                    ASSERT_EQ(at(x, y), GetParam().lit(x, y) ? red : black) << "pixel " << x << ", " << y;
            EXPECT_EQ(test::getInteger(GL_CURRENT_PROGRAM), 0) << "flat drawing unbinds its program";
        }

        INSTANTIATE_TEST_SUITE_P(
            Shapes, RendererCoverageGLTest,
            ::testing::Values(
                CoverageCase{"FillRect",
                             [](Renderer& r) { r.fillRect(RectT<float>(2.0f, 3.0f, 6.0f, 8.0f), Color::red); },
                             [](int x, int y) { return x >= 2 && x < 6 && y >= 3 && y < 8; }},
                // One pixel short of the given size; width 1 is two triangles of no area.
                CoverageCase{"FillRectWithin",
                             [](Renderer& r)
                             {
                                 r.fillRectWithin(2.0f, 3.0f, 4.0f, 5.0f, Color::red);
                                 r.fillRectWithin(10.0f, 10.0f, 1.0f, 4.0f, Color::red);
                             },
                             [](int x, int y) { return x >= 2 && x < 5 && y >= 3 && y < 7; }},
                CoverageCase{"RectOutlineWithin",
                             [](Renderer& r) { r.drawRectWithin(RectT<float>(0.0f, 0.0f, 10.0f, 10.0f), Color::red); },
                             [](int x, int y) { return x < 10 && y < 10 && (x == 0 || x == 9 || y == 0 || y == 9); }},
                CoverageCase{"Points",
                             [](Renderer& r) {
                                 r.drawPoints({{1.0f, 1.0f}, {6.0f, 2.0f}}, Color::red);
                             },
                             [](int x, int y) { return (x == 1 && y == 1) || (x == 6 && y == 2); }},
                CoverageCase{"Line",
                             [](Renderer& r) {
                                 r.drawLine({0.0f, 5.0f}, {16.0f, 5.0f}, Color::red);
                             },
                             [](int, int y) { return y == 5; }}),
            [](const ::testing::TestParamInfo<CoverageCase>& info) { return std::string(info.param.name); });

        TEST_F(RendererGLTest, FilledShapesAndFans)
        {
            test::ScopedTestFramebuffer target(32, 32);
            beginPixelSpace(32, 32);
            renderer->fillCircle(8.0f, 8.0f, 6.0f, 0, Color::red);
            EXPECT_EQ(at(8, 8), red);
            EXPECT_EQ(at(8, 3), red);
            EXPECT_EQ(at(3, 3), black) << "outside the rim";
            EXPECT_EQ(at(15, 8), black);

            renderer->fillRoundedRect(24.0f, 24.0f, 12.0f, 12.0f, 4.0f, Color::green);
            EXPECT_EQ(at(24, 24), (PixelRGBA8{0, 255, 0, 255}));
            EXPECT_EQ(at(18, 24), (PixelRGBA8{0, 255, 0, 255})) << "straight edge";
            EXPECT_EQ(at(18, 18), black) << "the corner is rounded off";

            OrientedRect rect(RectT<float>(2.0f, 20.0f, 10.0f, 30.0f));
            renderer->fill(rect, Color::blue);
            EXPECT_EQ(at(5, 25), (PixelRGBA8{0, 0, 255, 255}));
            EXPECT_EQ(at(11, 25), black);

            renderer->drawTriangles({{{20.0f, 2.0f}, {30.0f, 2.0f}, {20.0f, 12.0f}}}, Color::white);
            EXPECT_EQ(at(21, 3), (PixelRGBA8{255, 255, 255, 255}));
            EXPECT_EQ(at(29, 11), black);
        }

        TEST_F(RendererGLTest, CircleAndRoundedOutlinePoints)
        {
            EXPECT_EQ(Renderer::buildCirclePoints(0.0f, 0.0f, 10.0f, 0).size(), 62u);
            EXPECT_EQ(Renderer::buildCirclePoints(0.0f, 0.0f, 0.1f, 0).size(), 2u);
            EXPECT_EQ(Renderer::buildCirclePoints(0.0f, 0.0f, 5.0f, 1).size(), 2u);

            const auto points = Renderer::buildRoundedRectPoints(50.0f, 50.0f, 40.0f, 20.0f, 5.0f);
            ASSERT_EQ(points.size(), 28u);
            EXPECT_NEAR(points[0].x, 65.0f, 1e-4f);
            EXPECT_NEAR(points[0].y, 40.0f, 1e-4f) << "starts on the top edge";
            EXPECT_NEAR(points[6].x, 70.0f, 1e-3f) << "a quarter turn later on the right edge";
            EXPECT_NEAR(points[6].y, 45.0f, 1e-3f);
            EXPECT_NEAR(points[7].x, 70.0f, 1e-3f) << "bottom-right corner starts on the right edge";
            EXPECT_NEAR(points[7].y, 55.0f, 1e-3f);

            // A radius over half the shorter side becomes a quarter of it.
            EXPECT_EQ(Renderer::buildRoundedRectPoints(0.0f, 0.0f, 40.0f, 20.0f, 15.0f).size(), 4u * 7u);

            // One point per corner: the four corner starts, no division by zero.
            const auto one = Renderer::buildRoundedRectPoints(0.0f, 0.0f, 10.0f, 10.0f, 0.8f);
            ASSERT_EQ(one.size(), 4u);
            for (const auto& p : one)
                EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y));
            EXPECT_NEAR(one[1].x, 5.0f, 1e-4f);
            EXPECT_TRUE(Renderer::buildRoundedRectPoints(0.0f, 0.0f, 10.0f, 10.0f, 0.5f).empty());
            EXPECT_TRUE(Renderer::buildRoundedRectPoints(0.0f, 0.0f, 10.0f, 10.0f, -3.0f).empty());
        }

        TEST_F(RendererGLTest, BindingCacheSkipsRepeatedCalls)
        {
            RenderContext& cache = renderer->getRenderContext();
            GLuint texture = 0;
            glGenTextures(1, &texture);
            {
                test::GLCallCounter<&epoxy_glBindTexture> binds("glBindTexture");
                test::GLCallCounter<&epoxy_glActiveTexture> actives("glActiveTexture");
                EXPECT_TRUE(cache.bind2DTexture(3, texture));
                EXPECT_TRUE(cache.bind2DTexture(3, texture));
                EXPECT_EQ(binds.count(), 1);
                EXPECT_EQ(actives.count(), 1);
                EXPECT_EQ(cache.getActiveSampler(), 3u);

                EXPECT_TRUE(cache.bind2DTexture(0, texture));
                EXPECT_EQ(binds.count(), 2);
                EXPECT_EQ(actives.count(), 2);
                EXPECT_EQ(test::getInteger(GL_ACTIVE_TEXTURE), GLint(GL_TEXTURE0));

                cache.ensureSamplerActive(0);
                EXPECT_EQ(actives.count(), 2);
            }
            EXPECT_EQ(cache.getBoundTexture(3), texture);
            EXPECT_FALSE(cache.bind2DTexture(cache.getNumTextureUnits(), texture));
            EXPECT_EQ(cache.getBoundTexture(cache.getNumTextureUnits() + 5), 0u) << "out of range answers 0";
            Texture unmade;
            EXPECT_FALSE(cache.bind2DTexture(0, unmade));

            {
                test::GLCallCounter<&epoxy_glUseProgram> uses("glUseProgram");
                const ShaderProgram& flat = renderer->getShaders().get(Shaders::FlatColor);
                EXPECT_TRUE(cache.bindShader(flat));
                EXPECT_TRUE(cache.bindShader(flat));
                EXPECT_EQ(uses.count(), 1);
                cache.unbindShader();
                cache.unbindShader();
                EXPECT_EQ(uses.count(), 2);
                EXPECT_FALSE(cache.bindShader(ShaderProgram()));
            }
            cache.unbind2DTextures();
            glActiveTexture(GL_TEXTURE3);
            EXPECT_EQ(test::getInteger(GL_TEXTURE_BINDING_2D), 0);
            glActiveTexture(GL_TEXTURE0);
            cache.assumeDefaultContextState();
            glDeleteTextures(1, &texture);
        }

        TEST_F(RendererGLTest, UnbindingEveryUnitEnablesTexturingOncePerUnitItVisits)
        {
            RenderContext& cache = renderer->getRenderContext();
            GLuint texture = 0;
            glGenTextures(1, &texture);
            cache.bind2DTexture(0, texture);
            cache.bind2DTexture(3, texture);
            for (GLenum unit : {GL_TEXTURE0, GL_TEXTURE3})
            {
                glActiveTexture(unit);
                glDisable(GL_TEXTURE_2D);
            }
            {
                test::GLCallCounter<&epoxy_glEnable> enables("glEnable");
                test::GLCallCounter<&epoxy_glBindTexture> binds("glBindTexture");
                cache.unbind2DTextures();
                // Units 3 (active on entry), 0, then 3 again: the units a
                // per-unit bind2DTexture(unit, 0) would enable texturing on.
                EXPECT_EQ(enables.count(), 3);
                EXPECT_EQ(binds.count(), 2);
            }
            for (GLenum unit : {GL_TEXTURE0, GL_TEXTURE1, GL_TEXTURE3})
            {
                glActiveTexture(unit);
                EXPECT_EQ(test::getInteger(GL_TEXTURE_BINDING_2D), 0) << "unit " << unit - GL_TEXTURE0;
                EXPECT_EQ(glIsEnabled(GL_TEXTURE_2D) == GL_TRUE, unit != GL_TEXTURE1) << "unit " << unit - GL_TEXTURE0;
                glDisable(GL_TEXTURE_2D);
            }
            glActiveTexture(GL_TEXTURE0);
            cache.assumeDefaultContextState();
            glDeleteTextures(1, &texture);
        }

        TEST_F(RendererGLTest, GuiMatricesMapTheViewportCorners)
        {
            renderer->setViewport(RectT<float>(0.0f, 0.0f, 640.0f, 480.0f));
            renderer->setupGuiMatrices(100.0f);
            const Matrix4x4& wvp = renderer->getMatrixStack().getWorldViewProjMatrix();
            const TVec4<float> topLeft = wvp * TVec4<float>(0.0f, 0.0f, 0.0f, 1.0f);
            const TVec4<float> bottomRight = wvp * TVec4<float>(640.0f, 480.0f, 0.0f, 1.0f);
            EXPECT_NEAR(topLeft.x / topLeft.w, -1.0f, 1e-5f);
            EXPECT_NEAR(topLeft.y / topLeft.w, 1.0f, 1e-5f);
            EXPECT_NEAR(bottomRight.x / bottomRight.w, 1.0f, 1e-5f);
            EXPECT_NEAR(bottomRight.y / bottomRight.w, -1.0f, 1e-5f);
            glViewport(0, 0, test::GLTestContext::defaultFramebufferSize, test::GLTestContext::defaultFramebufferSize);
        }

        TEST_F(RendererGLTest, MatrixStackKeepsItsLastEntry)
        {
            const Matrix4x4 moved = Matrix4x4::translation(3.0f, 4.0f, 0.0f);
            renderer->setWorldMatrix(moved);
            renderer->pushMatrix();
            renderer->setViewMatrix(Matrix4x4::scaling(2.0f, 2.0f, 1.0f));
            EXPECT_EQ(renderer->getMatrixStack().getWorldViewMatrix(), Matrix4x4::scaling(2.0f, 2.0f, 1.0f) * moved);
            renderer->popMatrix();
            EXPECT_EQ(renderer->getMatrixStack().getViewMatrix(), Matrix4x4());

            test::LogRecorder log;
            renderer->popMatrix();
            EXPECT_TRUE(log.contains("Escaped from error in pop(53): You cannot pop the last matrices from the stack."))
                << log.dump();
            EXPECT_EQ(renderer->getMatrixStack().getDepth(), 1u);
            EXPECT_EQ(renderer->getMatrixStack().getWorldMatrix(), moved);

            renderer->clearMatrices(true, false, false);
            EXPECT_EQ(renderer->getMatrixStack().getWorldViewProjMatrix(), Matrix4x4());
        }

        TEST_F(RendererGLTest, FixedFunctionMatricesAndPixelOffset)
        {
            glMatrixMode(GL_MODELVIEW);
            glPushMatrix();
            glLoadIdentity();
            glScalef(2.0f, 4.0f, 1.0f);
            renderer->updateMatricesFromFFP();
            EXPECT_FLOAT_EQ(renderer->getPixelOffset().x, 0.1875f);
            EXPECT_FLOAT_EQ(renderer->getPixelOffset().y, 0.09375f);
            EXPECT_EQ(renderer->getMatrixStack().getViewMatrix(), Matrix4x4::scaling(2.0f, 4.0f, 1.0f));

            glLoadIdentity();
            glScalef(0.0f, 0.0f, 1.0f);
            renderer->updateMatricesFromFFP();
            EXPECT_TRUE(std::isfinite(renderer->getPixelOffset().x)) << "a zero scale divides nothing";
            glPopMatrix();
        }

        TEST_F(RendererGLTest, TextureQuadsKeepTheirOrientation)
        {
            // Rows as uploaded: red, green over blue, white.
            const uint8_t texels[16] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};
            Texture texture;
            ASSERT_TRUE(texture.create(texels, 2, 2, Texture::RGBA8));
            texture.setMinFilter(Texture::NEAREST);
            texture.setMagFilter(Texture::NEAREST);

            test::ScopedTestFramebuffer target(8, 8);
            beginPixelSpace(8, 8);
            renderer->drawTexture(texture, 0.0f, 0.0f, 8.0f, 8.0f, false);
            // Unflipped, the first uploaded row lands on the framebuffer's first row.
            EXPECT_EQ(test::readPixel(1, 1), red);
            EXPECT_EQ(test::readPixel(6, 1), (PixelRGBA8{0, 255, 0, 255}));
            EXPECT_EQ(test::readPixel(1, 6), (PixelRGBA8{0, 0, 255, 255}));
            EXPECT_EQ(test::readPixel(6, 6), (PixelRGBA8{255, 255, 255, 255}));

            renderer->drawTexture(texture, 0.0f, 0.0f, 8.0f, 8.0f, true, Color(1.0f, 1.0f, 1.0f, 1.0f));
            EXPECT_EQ(test::readPixel(1, 6), red) << "flipped";

            // Clipped to the left half: the texture's left column stretched no further.
            beginPixelSpace(8, 8);
            renderer->drawTextureClipped(texture, 1.0f, 2.0f, false, Color::white);
            EXPECT_EQ(test::readPixel(0, 7), (PixelRGBA8{0, 0, 255, 255}));
            EXPECT_EQ(test::readPixel(0, 6), red);
            EXPECT_EQ(test::readPixel(1, 7), black);

            renderer->drawTexture(texture, OrientedRect(RectT<float>(4.0f, 0.0f, 8.0f, 4.0f)), Color::white);
            EXPECT_NE(at(6, 2), black);
            EXPECT_EQ(renderer->getRenderContext().getBoundTexture(0), 0u) << "unbinds every unit";
        }

        TEST_F(RendererGLTest, TextLandsInsideItsGlyphBoxes)
        {
            Font& font = Fonts::big32;
            ASSERT_TRUE(font.createGLData());
            test::ScopedTestFramebuffer target(64, 64);
            beginPixelSpace(64, 64);

            CharacterQuad h;
            ASSERT_TRUE(font.getCharacter(h, 'H'));
            renderer->drawText(font, 10.0f, 40.0f, Color::white, "H");
            const int x0 = int(std::floor(10.0f + h.xOffset)), x1 = int(std::ceil(10.0f + h.xOffset + h.width));
            const int y0 = int(std::floor(40.0f + h.yOffset)), y1 = int(std::ceil(40.0f + h.yOffset + h.height));
            int lit = 0;
            for (int y = 0; y < 64; ++y)
                for (int x = 0; x < 64; ++x)
                    if (at(x, y).r > 0)
                    {
                        ++lit;
                        ASSERT_TRUE(x >= x0 && x < x1 && y >= y0 && y < y1)
                            << "lit outside the glyph box at " << x << ", " << y;
                    }
            EXPECT_GT(lit, 60);
            // The H's left stem, in the middle of its height, is fully covered.
            EXPECT_EQ(at(x0 + 3, (y0 + y1) / 2).r, 255);

            EXPECT_EQ(test::getInteger(GL_BLEND), 0) << "blending ends off";
            EXPECT_EQ(renderer->getRenderContext().getBoundTexture(0), 0u);

            // A font without atlas texture draws nothing.
            beginPixelSpace(64, 64);
            renderer->drawText(Fonts::small12, 10.0f, 40.0f, Color::white, "H");
            EXPECT_EQ(at(12, 36), black);
            font.release();
        }

        TEST_F(RendererGLTest, BuiltInFontsGetTexturesForTheGLLifetime)
        {
            Fonts::initialize();
            for (const Font* font :
                 {&Fonts::uni9, &Fonts::small12, &Fonts::small14, &Fonts::big32, &Fonts::bigNumbers64})
            {
                ASSERT_NE(font->getTexture(), nullptr);
                EXPECT_EQ(font->getTexture()->getWidth(), font->getAtlasWidth());
                EXPECT_EQ(font->getTexture()->getFormat(), Texture::I8);
            }
            // Vertical text runs down the screen: a long text lights rows far below
            // its start and stays in a narrow column.
            test::ScopedTestFramebuffer target(64, 64);
            beginPixelSpace(64, 64);
            Font* previous = gfx::getFont();
            gfx::setFont(&Fonts::small12);
            glMatrixMode(GL_PROJECTION);
            glPushMatrix();
            glLoadIdentity();
            glOrtho(0.0, 64.0, 64.0, 0.0, -1.0, 1.0);
            glMatrixMode(GL_MODELVIEW);
            gfx::drawTextVertical(*renderer, Color::white, 4.0f, -20.0f, "%s", "IIIIIIIIII");
            glMatrixMode(GL_PROJECTION);
            glPopMatrix();
            glMatrixMode(GL_MODELVIEW);
            gfx::setFont(previous);
            int litBelow = 0, litWide = 0;
            for (int y = 0; y < 64; ++y)
                for (int x = 0; x < 64; ++x)
                    if (at(x, y).r > 0)
                    {
                        litBelow += y > 30;
                        litWide += x < 8 || x > 30;
                    }
            EXPECT_GT(litBelow, 0);
            EXPECT_EQ(litWide, 0);
            Fonts::release();
            EXPECT_EQ(Fonts::uni9.getTexture(), nullptr);
            EXPECT_FALSE(Fonts::uni9.getAtlas().empty()) << "the atlas data stays";
        }

        TEST_F(RendererGLTest, TexturedFanAndCustomPrograms)
        {
            const uint8_t white[4] = {255, 255, 255, 255};
            Texture texture;
            ASSERT_TRUE(texture.create(white, 1, 1, Texture::RGBA8));
            test::ScopedTestFramebuffer target(8, 8);
            beginPixelSpace(8, 8);
            renderer->drawTrianglesFanTextured({{0, 0}, {4, 0}, {4, 4}, {0, 4}}, {{0, 0}, {1, 0}, {1, 1}, {0, 1}},
                                               Color(0.0f, 1.0f, 0.0f, 1.0f), texture);
            EXPECT_EQ(at(1, 1), (PixelRGBA8{0, 255, 0, 255}));
            EXPECT_EQ(at(6, 6), black);
            EXPECT_EQ(GLuint(test::getInteger(GL_CURRENT_PROGRAM)),
                      renderer->getShaders().get(Shaders::Textured).getProgram())
                << "stays bound";

            ShaderProgram& flat = renderer->getShaders().get(Shaders::FlatColor);
            EXPECT_TRUE(renderer->beginShader(flat));
            ShaderProgram none;
            EXPECT_FALSE(renderer->beginShader(none));
            renderer->beginTextRendering(true);
            EXPECT_EQ(GLuint(test::getInteger(GL_CURRENT_PROGRAM)),
                      renderer->getShaders().get(Shaders::DistanceFieldText).getProgram());
            renderer->endTextRendering();
            EXPECT_EQ(test::getInteger(GL_CURRENT_PROGRAM), 0);
        }

        TEST_F(RendererGLTest, NewlinesStartANewLineAtTheStartX)
        {
            std::vector<float> one, two;
            const Font& font = Fonts::uni9;
            Renderer::buildTextVertices(font, 5.0f, 20.0f, 12.0f, "a", one);
            Renderer::buildTextVertices(font, 5.0f, 20.0f, 12.0f, "a\nb", two);
            ASSERT_EQ(one.size(), 24u);
            ASSERT_EQ(two.size(), 48u);
            std::vector<float> b;
            Renderer::buildTextVertices(font, 5.0f, 32.0f, 12.0f, "b", b);
            for (size_t i = 0; i < 24; ++i)
                EXPECT_FLOAT_EQ(two[24 + i], b[i]) << "vertex float " << i;

            std::vector<float> skipped;
            Renderer::buildTextVertices(font, 0.0f, 0.0f, 9.0f, std::string("a") + char(200) + "\tb", skipped);
            std::vector<float> plain;
            Renderer::buildTextVertices(font, 0.0f, 0.0f, 9.0f, "ab", plain);
            EXPECT_EQ(skipped, plain) << "characters the font lacks neither draw nor advance";
        }

        TEST_F(RendererGLTest, CubeIsLitInItsQuadrant)
        {
            test::ScopedTestFramebuffer target(16, 16);
            test::clearTo(0.0f, 0.0f, 0.0f, 1.0f);
            renderer->clearMatrices(true, true, true);
            renderer->drawCube(Color::white);
            EXPECT_NE(test::readPixel(12, 12), black);
            EXPECT_EQ(test::readPixel(3, 3), black);
        }

    } // namespace
} // namespace vx
