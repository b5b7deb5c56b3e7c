#include "engine/gfx/VXShaders.h"

#include "support/VXLogRecorder.h"
#include "support/gl/VXGLTestFixture.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace vx
{
    namespace
    {

        using test::PixelRGBA8;

        constexpr int size = 2;

        // Every built-in program is drawn over a 2 x 2 target with a full-viewport
        // quad whose texture coordinates put texel (i, j) on pixel (i, j). Read-backs
        // are compared within 1/255: GL may round a channel either way.
        class ShadersGLTest : public test::GLTest
        {
        protected:
            void SetUp() override
            {
                test::GLTest::SetUp();
                shaders = std::make_unique<Shaders>();
                ASSERT_TRUE(shaders->init());
                target = std::make_unique<test::ScopedTestFramebuffer>(size, size);
                glViewport(0, 0, size, size);
                glClearColor(0, 0, 0, 0);
                glClear(GL_COLOR_BUFFER_BIT);
            }

            void TearDown() override
            {
                glUseProgram(0);
                for (int unit = 3; unit >= 0; --unit)
                {
                    glActiveTexture(GLenum(GL_TEXTURE0 + unit));
                    glBindTexture(GL_TEXTURE_2D, 0);
                }
                for (GLuint t : textures)
                    glDeleteTextures(1, &t);
                target.reset();
                shaders.reset();
                test::GLTest::TearDown();
            }

            // A 2 x 2 RGBA8 texture, nearest filtered, bound on the unit.
            void makeTexture(int unit, const std::vector<PixelRGBA8>& texels)
            {
                GLuint name = 0;
                glGenTextures(1, &name);
                textures.push_back(name);
                glActiveTexture(GLenum(GL_TEXTURE0 + unit));
                glBindTexture(GL_TEXTURE_2D, name);
                glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
                glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
                glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
                glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
                glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, size, size, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
                glActiveTexture(GL_TEXTURE0);
            }

            void makeTexture(int unit, PixelRGBA8 texel) { makeTexture(unit, std::vector<PixelRGBA8>(4, texel)); }

            // Binds the program with identity matrices and an identity scroll.
            ShaderProgram& useEngineProgram(Shaders::Slot slot)
            {
                ShaderProgram& program = shaders->get(slot);
                EXPECT_TRUE(program.bind());
                const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
                program.setMatrix4x4("WorldViewProj", identity);
                program.setMatrix4x4("World", identity);
                program.setVec4("TexScroll", 1.0f, 1.0f, 0.0f, 0.0f);
                return program;
            }

            // The quad through the engine's attribute locations; the normal and
            // colour are constant attributes.
            static void drawEngineQuad(const float* normal = nullptr, const float* rgba = nullptr)
            {
                const float positions[12] = {-1, -1, 0, 1, -1, 0, 1, 1, 0, -1, 1, 0};
                const float coords[8] = {0, 0, 1, 0, 1, 1, 0, 1};
                glEnableVertexAttribArray(0);
                glEnableVertexAttribArray(2);
                glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 0, positions);
                glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, 0, coords);
                if (normal != nullptr)
                    glVertexAttrib3fv(1, normal);
                if (rgba != nullptr)
                    glVertexAttrib4fv(4, rgba);
                glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
                glDisableVertexAttribArray(2);
                glDisableVertexAttribArray(0);
                glUseProgram(0);
            }

            // The quad through the fixed-function vertex and texture-coordinate arrays.
            static void drawBuiltinQuad(ShaderProgram& program)
            {
                EXPECT_TRUE(program.bind());
                const float positions[8] = {-1, -1, 1, -1, 1, 1, -1, 1};
                const float coords[8] = {0, 0, 1, 0, 1, 1, 0, 1};
                glClientActiveTexture(GL_TEXTURE0);
                glEnableClientState(GL_VERTEX_ARRAY);
                glEnableClientState(GL_TEXTURE_COORD_ARRAY);
                glVertexPointer(2, GL_FLOAT, 0, positions);
                glTexCoordPointer(2, GL_FLOAT, 0, coords);
                glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
                glDisableClientState(GL_TEXTURE_COORD_ARRAY);
                glDisableClientState(GL_VERTEX_ARRAY);
                program.unbind();
            }

            static PixelRGBA8 bytes(double r, double g, double b, double a)
            {
                const auto toByte = [](double v) { return uint8_t(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)); };
                return {toByte(r), toByte(g), toByte(b), toByte(a)};
            }

            static void expectEveryPixel(PixelRGBA8 expected)
            {
                const auto pixels = test::readPixels(0, 0, size, size);
                for (size_t i = 0; i < pixels.size(); ++i)
                    EXPECT_TRUE(test::isNear(pixels[i], expected, 1))
                        << "pixel " << i << ": " << pixels[i] << " expected " << expected;
            }

            std::unique_ptr<Shaders> shaders;
            std::unique_ptr<test::ScopedTestFramebuffer> target;
            std::vector<GLuint> textures;
        };

        TEST_F(ShadersGLTest, VertexAndFlatColour)
        {
            useEngineProgram(Shaders::VertexColor);
            const float rgba[4] = {0.2f, 0.4f, 0.6f, 0.8f};
            drawEngineQuad(nullptr, rgba);
            expectEveryPixel({51, 102, 153, 204});

            ShaderProgram& flat = useEngineProgram(Shaders::FlatColor);
            EXPECT_TRUE(flat.setVec4("Color", 1.0f, 0.0f, 0.5f, 1.0f));
            drawEngineQuad();
            expectEveryPixel(bytes(1.0, 0.0, 0.5, 1.0));
        }

        TEST_F(ShadersGLTest, TexturedReproducesTheTextureAndAppliesAlbedoAndEmission)
        {
            const std::vector<PixelRGBA8> texels = {
                {255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 128}, {10, 20, 30, 40}};
            makeTexture(0, texels);

            ShaderProgram& program = useEngineProgram(Shaders::Textured);
            program.setSampler("Texture", 0);
            program.setVec4("Albedo", 1.0f, 1.0f, 1.0f, 1.0f);
            program.setVec4("Emission", 0.0f, 0.0f, 0.0f, 0.0f);
            drawEngineQuad();
            EXPECT_EQ(test::readPixels(0, 0, size, size), texels);

            useEngineProgram(Shaders::Textured);
            program.setVec4("Albedo", 0.5f, 0.5f, 0.5f, 1.0f);
            program.setVec4("Emission", 0.1f, 0.2f, 0.0f, 0.0f);
            drawEngineQuad();
            EXPECT_TRUE(test::isNear(test::readPixel(0, 0), bytes(0.5 + 0.1, 0.2, 0.0, 1.0), 1))
                << test::readPixel(0, 0);
        }

        TEST_F(ShadersGLTest, LitColourAlongTheLightIsBrighter)
        {
            ShaderProgram& program = useEngineProgram(Shaders::LitColor);
            program.setVec4("Color", 0.5f, 0.25f, 0.1f, 0.5f);
            const float alongLight[3] = {1.0f, 0.2f, 0.5f};
            drawEngineQuad(alongLight);
            expectEveryPixel(bytes(0.5 * 1.2, 0.25 * 1.2, 0.1 * 1.2, 0.5));

            // Facing away only the ambient part remains.
            useEngineProgram(Shaders::LitColor).setVec4("Color", 1.0f, 1.0f, 1.0f, 1.0f);
            const float away[3] = {-1.0f, -0.2f, -0.5f};
            drawEngineQuad(away);
            expectEveryPixel(bytes(0.2, 0.2, 0.2, 1.0));
        }

        TEST_F(ShadersGLTest, SwizzleSwapsRedAndBlueOrRotatesAlphaFirst)
        {
            makeTexture(0, PixelRGBA8{10, 20, 30, 40});
            ShaderProgram& program = shaders->get(Shaders::Swizzle);
            ASSERT_TRUE(program.bind());
            program.setSampler("inTex", 0);
            program.setInt("order", 1);
            drawBuiltinQuad(program);
            expectEveryPixel({30, 20, 10, 40});

            ASSERT_TRUE(program.bind());
            program.setInt("order", 0);
            drawBuiltinQuad(program);
            expectEveryPixel({40, 10, 20, 30});
        }

        struct ConversionCase
        {
            const char* name;
            PixelRGBA8 texel;
            int swizzleMode, premultiply, forceOpaque, yuv;
            PixelRGBA8 expected;
        };

        class FormatConversionGLTest : public ShadersGLTest, public ::testing::WithParamInterface<ConversionCase>
        {
        };

        TEST_P(FormatConversionGLTest, ConvertsInOrder)
        {
            const ConversionCase& c = GetParam();
            makeTexture(0, c.texel);

            ShaderProgram& program = useEngineProgram(Shaders::FormatConversion);
            program.setSampler("inputTexture", 0);
            program.setSampler("inputTextureRect", 1);
            program.setInt("useRectTexture", 0);
            program.setInt("premultiply", c.premultiply);
            program.setInt("swizzleMode", c.swizzleMode);
            program.setInt("YUVToRGBA", c.yuv);
            program.setInt("sequentialYUVToRGBA", 0);
            program.setInt("forceOpaque", c.forceOpaque);
            program.setFloat("width", float(size));
            program.setFloat("height", float(size));
            const float maxCoords[2] = {1.0f, 1.0f};
            program.setVec2("maxCoords", maxCoords);
            drawEngineQuad();
            expectEveryPixel(c.expected);
        }

        INSTANTIATE_TEST_SUITE_P(
            Modes, FormatConversionGLTest,
            ::testing::Values(
                ConversionCase{"PassThrough", {10, 20, 30, 40}, 0, 0, 0, 0, {10, 20, 30, 40}},
                ConversionCase{"SwapRedBlue", {26, 51, 77, 102}, 2, 0, 0, 0, {77, 51, 26, 102}},
                ConversionCase{"AlphaFirstToLast", {26, 51, 77, 102}, 1, 0, 0, 0, {51, 77, 102, 26}},
                ConversionCase{"OutOfRangeSwizzleIsNone", {26, 51, 77, 102}, 7, 0, 0, 0, {26, 51, 77, 102}},
                // Premultiplied by the alpha after reordering (the sampled red).
                ConversionCase{"PremultiplyAfterSwizzle", {128, 255, 255, 255}, 1, 1, 0, 0, {128, 128, 128, 128}},
                ConversionCase{"OpaqueAfterPremultiply", {255, 255, 255, 128}, 0, 1, 1, 0, {128, 128, 128, 255}},
                ConversionCase{"GreyYUV", {128, 128, 128, 128}, 0, 0, 0, 1, {128, 128, 128, 255}},
                ConversionCase{"BlackBelowZeroLuma", {0, 255, 0, 255}, 0, 0, 0, 1, {0, 0, 0, 255}}),
            [](const ::testing::TestParamInfo<ConversionCase>& info) { return std::string(info.param.name); });

        TEST_F(ShadersGLTest, HapScaledYCoCg)
        {
            // Co = 32/255 around the 128/255 centre, Cg = 0, scale 1, Y = 0.6.
            makeTexture(0, PixelRGBA8{160, 128, 0, 153});
            ShaderProgram& program = shaders->get(Shaders::HapYCoCg);
            ASSERT_TRUE(program.bind());
            program.setSampler("cocgsy_src", 0);
            drawBuiltinQuad(program);
            const double y = 153 / 255.0, co = 160 / 255.0 - 0.50196078431373;
            expectEveryPixel(bytes(y + co, y, y - co, 1.0));
        }

        TEST_F(ShadersGLTest, QMVYCoCgDecodesAndLimitsGreen)
        {
            ShaderProgram& program = shaders->get(Shaders::QMVYCoCg);
            ASSERT_TRUE(program.bind());
            program.setSampler("Y_TextureUnit", 0);
            program.setSampler("CoCg_TextureUnit", 1);

            // Y 0.502, Co +0.1, Cg +0.002: no limiting; R = Y - Cg + Co, B = 4Y - 2G - R.
            makeTexture(0, PixelRGBA8{128, 0, 0, 255});
            makeTexture(1, PixelRGBA8{153, 128, 0, 255});
            drawBuiltinQuad(program);
            const double y = 128 / 255.0, co = 153 / 255.0 - 0.5, cg = 128 / 255.0 - 0.5;
            const double g = y + cg, r = y - cg + co;
            expectEveryPixel(bytes(r, g, 4 * y - 2 * g - r, 1.0));

            // Y 0.2 with Cg +0.5: G is limited to 2Y, which leaves no room for R or B.
            ASSERT_TRUE(program.bind());
            makeTexture(0, PixelRGBA8{51, 0, 0, 255});
            makeTexture(1, PixelRGBA8{128, 255, 0, 255});
            drawBuiltinQuad(program);
            expectEveryPixel(bytes(0.0, 0.4, 0.0, 1.0));
        }

        TEST_F(ShadersGLTest, QMVYCoCgWithAlphaTakesAlphaFromGreen)
        {
            ShaderProgram& program = shaders->get(Shaders::QMVYCoCgAlpha);
            ASSERT_TRUE(program.bind());
            program.setSampler("YA_TextureUnit", 0);
            program.setSampler("CoCg_TextureUnit", 1);
            makeTexture(0, PixelRGBA8{51, 64, 0, 255});
            makeTexture(1, PixelRGBA8{128, 255, 0, 255});
            drawBuiltinQuad(program);
            expectEveryPixel(PixelRGBA8{0, 102, 0, 64});
        }

        TEST_F(ShadersGLTest, QMVTwoPlaneAlpha)
        {
            ShaderProgram& program = shaders->get(Shaders::QMVAlphaPlanes);
            ASSERT_TRUE(program.bind());
            program.setSampler("LA_TextureUnit", 0);
            program.setSampler("A_TextureUnit", 1);
            makeTexture(0, PixelRGBA8{70, 1, 2, 90});
            makeTexture(1, PixelRGBA8{3, 4, 5, 110});
            drawBuiltinQuad(program);
            expectEveryPixel(PixelRGBA8{70, 90, 0, 110});
        }

        double smoothstep(double e0, double e1, double x)
        {
            const double t = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
            return t * t * (3.0 - 2.0 * t);
        }

        TEST_F(ShadersGLTest, DistanceFieldTextSoftEdgeAndOutline)
        {
            // Distances 1, 0, 0.5 and 0.35 in the alpha channel.
            makeTexture(0, std::vector<PixelRGBA8>{{0, 0, 0, 255}, {0, 0, 0, 0}, {0, 0, 0, 128}, {0, 0, 0, 89}});

            ShaderProgram& program = useEngineProgram(Shaders::DistanceFieldText);
            program.setSampler("Texture", 0);
            program.setVec4("Albedo", 1.0f, 0.5f, 0.0f, 0.5f);
            program.setFloat("SoftEdge", 0.1f);
            program.setInt("Outline", 0);
            drawEngineQuad();
            auto pixels = test::readPixels(0, 0, size, size);
            // Premultiplied base; only alpha fades with the distance.
            EXPECT_TRUE(test::isNear(pixels[0], bytes(0.5, 0.25, 0.0, 0.5), 1)) << pixels[0];
            EXPECT_TRUE(test::isNear(pixels[1], bytes(0.5, 0.25, 0.0, 0.0), 1)) << pixels[1];
            EXPECT_TRUE(test::isNear(pixels[2], bytes(0.5, 0.25, 0.0, 0.5 * smoothstep(0.4, 0.6, 128 / 255.0)), 1))
                << pixels[2];

            useEngineProgram(Shaders::DistanceFieldText);
            program.setVec4("Albedo", 1.0f, 0.0f, 0.0f, 1.0f);
            program.setVec4("OutlineColour", 0.0f, 0.0f, 1.0f, 1.0f);
            program.setInt("Outline", 1);
            program.setFloat("Min0", 0.25f);
            program.setFloat("Min1", 0.75f);
            program.setFloat("Max0", 0.9f);
            program.setFloat("Max1", 1.0f);
            drawEngineQuad();
            pixels = test::readPixels(0, 0, size, size);
            const double f = smoothstep(0.25, 0.75, 128 / 255.0);
            EXPECT_TRUE(test::isNear(pixels[2], bytes(1.0 - f, 0.0, f, 1.0), 1)) << pixels[2];
            // Outside Min0..Max1 the plain threshold applies: d = 0 is transparent red.
            EXPECT_TRUE(test::isNear(pixels[1], bytes(1.0, 0.0, 0.0, 0.0), 1)) << pixels[1];
            // Inside the band the soft edge follows Min0 (0.35 is past 0.25 + 0.1).
            const double f3 = smoothstep(0.25, 0.75, 89 / 255.0);
            EXPECT_TRUE(test::isNear(pixels[3], bytes(1.0 - f3, 0.0, f3, smoothstep(0.15, 0.35, 89 / 255.0)), 1))
                << pixels[3];
        }

        TEST_F(ShadersGLTest, AlphaMaskTextTakesColourFromAlbedoAndAlphaFromTheTexture)
        {
            makeTexture(0, PixelRGBA8{255, 255, 255, 64});
            ShaderProgram& program = useEngineProgram(Shaders::AlphaMaskText);
            program.setSampler("Texture", 0);
            program.setVec4("Albedo", 0.2f, 0.4f, 0.6f, 0.1f);
            drawEngineQuad();
            expectEveryPixel({51, 102, 153, 64});
        }

        // The vertex texts no slot compiles, linked with a fragment program that
        // writes out what they pass on. Pixel (i, j) sits at texture coordinate
        // ((i + 0.5) / 2, (j + 0.5) / 2) of the first set.
        TEST_F(ShadersGLTest, Quad2PassesBothTextureCoordinatesAndTheColour)
        {
            ShaderProgram program;
            ASSERT_TRUE(program.loadString(vsQuad2, "varying vec4 color; void main() { gl_FragColor = "
                                                    "vec4(gl_TexCoord[0].x, gl_TexCoord[1].y, color.b, color.a); }"))
                << program.getLastError();
            // The second set runs top to bottom.
            const float secondCoords[8] = {0, 1, 0, 1, 0, 0, 0, 0};
            glClientActiveTexture(GL_TEXTURE1);
            glEnableClientState(GL_TEXTURE_COORD_ARRAY);
            glTexCoordPointer(2, GL_FLOAT, 0, secondCoords);
            glClientActiveTexture(GL_TEXTURE0);
            glColor4f(0.0f, 0.0f, 0.4f, 0.8f);
            drawBuiltinQuad(program);
            glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
            glClientActiveTexture(GL_TEXTURE1);
            glDisableClientState(GL_TEXTURE_COORD_ARRAY);
            glClientActiveTexture(GL_TEXTURE0);

            const auto pixels = test::readPixels(0, 0, size, size);
            const PixelRGBA8 expected[4] = {bytes(0.25, 0.75, 0.4, 0.8), bytes(0.75, 0.75, 0.4, 0.8),
                                            bytes(0.25, 0.25, 0.4, 0.8), bytes(0.75, 0.25, 0.4, 0.8)};
            for (size_t i = 0; i < pixels.size(); ++i)
                EXPECT_TRUE(test::isNear(pixels[i], expected[i], 1))
                    << "pixel " << i << ": " << pixels[i] << " expected " << expected[i];
        }

        // Moved right by half the target, the quad covers only the right column,
        // whose centres lie a quarter into the quad.
        TEST_F(ShadersGLTest, FormatConversionVertexTextAppliesTheModelViewProjection)
        {
            ShaderProgram program;
            ASSERT_TRUE(program.loadString(vsFormatConversion,
                                           "varying vec2 uv0; void main() { gl_FragColor = vec4(uv0, gl_Color.ba); }"))
                << program.getLastError();
            glMatrixMode(GL_MODELVIEW);
            glPushMatrix();
            glTranslatef(1.0f, 0.0f, 0.0f);
            glColor4f(0.0f, 0.0f, 0.4f, 0.8f);
            drawBuiltinQuad(program);
            glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
            glPopMatrix();

            const auto pixels = test::readPixels(0, 0, size, size);
            const PixelRGBA8 expected[4] = {
                {0, 0, 0, 0}, bytes(0.25, 0.25, 0.4, 0.8), {0, 0, 0, 0}, bytes(0.25, 0.75, 0.4, 0.8)};
            for (size_t i = 0; i < pixels.size(); ++i)
                EXPECT_TRUE(test::isNear(pixels[i], expected[i], 1))
                    << "pixel " << i << ": " << pixels[i] << " expected " << expected[i];
        }

        TEST_F(ShadersGLTest, ReleaseFreesOnlyTheDecoderPrograms)
        {
            shaders->release();
            for (int slot = 0; slot < Shaders::numSlots; ++slot)
            {
                const bool kept = slot < 4 || slot > 9;
                EXPECT_EQ(shaders->get(Shaders::Slot(slot)).isValid(), kept) << "slot " << slot;
            }
        }

        // Refuses the seventh vertex shader, as a compiler rejecting slot 6 would.
        struct RefuseSeventhVertexShader
        {
            static inline int vertexShaders = 0;
            static inline PFNGLCREATESHADERPROC original = nullptr;
            static GLuint hook(GLenum type)
            {
                if (type == GL_VERTEX_SHADER && ++vertexShaders == 7)
                    return 0;
                return original(type);
            }
        };

        TEST_F(ShadersGLTest, FailedSlotStopsInitialisation)
        {
            Shaders fresh;
            const auto saved = epoxy_glCreateShader;
            RefuseSeventhVertexShader::vertexShaders = 0;
            RefuseSeventhVertexShader::original =
                reinterpret_cast<PFNGLCREATESHADERPROC>(test::detail::getRealGLProc("glCreateShader"));
            epoxy_glCreateShader = &RefuseSeventhVertexShader::hook;
            const bool result = fresh.init();
            epoxy_glCreateShader = saved;

            EXPECT_FALSE(result);
            for (int slot = 0; slot < Shaders::numSlots; ++slot)
                EXPECT_EQ(fresh.get(Shaders::Slot(slot)).isValid(), slot < 6) << "slot " << slot;
        }

    } // namespace
} // namespace vx
