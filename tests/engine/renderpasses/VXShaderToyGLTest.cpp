#include "engine/renderpasses/VXShaderToy.h"

#include "VXRenderPassTestSupport.h"
#include "core/VXFile.h"
#include "core/parameters/VXParamCollection.h"
#include "core/parameters/VXParamColor.h"
#include "core/parameters/VXParamEvent.h"
#include "core/parameters/VXParamPixels.h"
#include "core/parameters/VXParamScript.h"
#include "core/parameters/VXParamScripts.h"
#include "core/parameters/VXParamVector.h"
#include "core/xml/VXXmlAttributes.h"
#include "engine/gfx/VXScopedRenderState.h"
#include "engine/renderpasses/VXAudioSpectrumLink.h"
#include "engine/renderpasses/VXShaderToyEffect.h"
#include "engine/renderpasses/VXShaderToyMixer.h"
#include "engine/video/formats/VXPNGImageFormat.h"
#include "engine/video/formats/VXPixels.h"
#include "engine/video/formats/VXVideoFormatManager.h"
#include "support/VXLogRecorder.h"
#include "support/VXTempDir.h"

#include <ctime>
#include <fstream>

namespace vx::test
{
    namespace
    {
        // A generator drawn by a toy: the zero-input form of the passes.
        class ShaderToyGeneratorPass : public Generator
        {
        public:
            explicit ShaderToyGeneratorPass(const std::string& script) : toy(*this, script) {}
            bool init() override { return Generator::init() && toy.init(); }
            void release() override
            {
                toy.release();
                Generator::release();
            }
            bool render(Renderer& renderer) override
            {
                if (! begin(renderer))
                    return false;
                const bool ready = toy.prepareForRender();
                if (ready)
                    toy.render(renderer);
                end(renderer);
                return ready;
            }
            ShaderToy toy;
        };

        // 8-bit values travel through the shaders as value / 255.
        std::string script(const std::string& colour)
        {
            return "void mainImage( out vec4 fragColor, in vec2 fragCoord ) { fragColor = " + colour + "; }";
        }

        const PixelRGBA8 red{255, 0, 0, 255};
        const PixelRGBA8 blue{0, 0, 255, 255};

        class ShaderToyGLTest : public RenderPassGLTest
        {
        protected:
            void TearDown() override
            {
                restoresViewport = true;
                RenderPassGLTest::TearDown();
            }

            // The pass's output after one render; empty when it drew nothing.
            Picture renderAndRead(RenderPass& pass, bool* rendered = nullptr)
            {
                pass.retainOutput(true);
                bool ok = false;
                {
                    const ScopedRenderState state(renderer->getRenderContext());
                    ok = pass.render(*renderer);
                }
                if (rendered != nullptr)
                    *rendered = ok;
                Picture picture;
                if (ok && pass.getOutput(0)->texture != nullptr)
                    picture = readBack(*pass.getOutput(0)->texture);
                pass.retainOutput(false);
                return picture;
            }

            // An effect of size w x h over a uniform input of the same size.
            std::unique_ptr<ShaderToyEffect> makeEffect(const std::string& text, int w = 4, int h = 4,
                                                        PixelRGBA8 input = red)
            {
                auto effect = std::make_unique<ShaderToyEffect>();
                effect->setFragmentShader(text);
                effect->setSize(w, h);
                effect->setInput(0, makeInput(w, h, input), 0, 0);
                return effect;
            }

            // A PNG of w x h RGBA pixels from fill(x, y), y = 0 the file's first row.
            std::string writePng(const std::string& name, int w, int h, const std::function<PixelRGBA8(int, int)>& fill)
            {
                std::vector<PixelRGBA8> rgba;
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x)
                        rgba.push_back(fill(x, y));
                const std::string path = folder.file(name);
                std::ofstream out(path, std::ios::binary);
                EXPECT_TRUE(PNGImageFormat::writePixelsToStream(reinterpret_cast<const unsigned char*>(rgba.data()),
                                                                (unsigned long)w, (unsigned long)h, 4, out));
                return path;
            }

            TempDir folder;
        };

        // ---- Uniforms, each seen in the output.

        struct UniformCase
        {
            const char* name;
            const char* colour;
            PixelRGBA8 expected;
        };

        class ShaderToyUniformGLTest : public ShaderToyGLTest, public ::testing::WithParamInterface<UniformCase>
        {
        };

        // One step of 8-bit rounding.
        TEST_P(ShaderToyUniformGLTest, SeenInTheOutput)
        {
            auto effect = makeEffect(script(GetParam().colour), 8, 4);
            effect->update(TimeInfo(2500.0));
            const Picture picture = renderAndRead(*effect);
            expectUniform(picture, 8, 4, GetParam().expected, 1);
            EXPECT_EQ(effect->getToy().getStatus().getValue(), "Shader OK!");
        }

        INSTANTIATE_TEST_SUITE_P(
            Table, ShaderToyUniformGLTest,
            ::testing::Values(
                UniformCase{"Resolution", "vec4( iResolution / 255.0, 1.0 )", {8, 4, 1, 255}},
                UniformCase{"TimeInSeconds", "vec4( iGlobalTime / 10.0, 0.0, 0.0, 1.0 )", {64, 0, 0, 255}},
                UniformCase{"MouseAtRest", "vec4( 0.5 ) + iMouse", {128, 128, 128, 128}},
                UniformCase{"SampleRate", "vec4( iSampleRate / 44100.0 )", {255, 255, 255, 255}},
                UniformCase{"InputResolution", "vec4( iChannelResolution[ 0 ] / 255.0, 1.0 )", {8, 4, 1, 255}},
                UniformCase{"InputAsChannel0", "texture2D( iChannel0, fragCoord / iResolution.xy )", red}),
            [](const ::testing::TestParamInfo<UniformCase>& info) { return info.param.name; });

        TEST_F(ShaderToyGLTest, DateIsTheWallClockInUTC)
        {
            auto effect = makeEffect(script("vec4( iDate.x - 2000.0, iDate.y, iDate.z, iDate.w ) / 255.0"));
            const std::time_t now = std::time(nullptr);
            effect->update(TimeInfo(0.0));
            std::tm utc{};
            gmtime_r(&now, &utc);
            const Picture picture = renderAndRead(*effect);
            ASSERT_GT(picture.width, 0);
            const PixelRGBA8 p = picture.at(0, 0);
            EXPECT_EQ(p.r, utc.tm_year + 1900 - 2000);
            EXPECT_EQ(p.g, utc.tm_mon + 1);
            EXPECT_EQ(p.b, utc.tm_mday);
            EXPECT_LE(p.a, 59);
        }

        // ---- The three forms.

        TEST_F(ShaderToyGLTest, DefaultEffectCopiesItsInput)
        {
            auto effect = std::make_unique<ShaderToyEffect>();
            effect->setSize(4, 4);
            effect->setInput(0,
                             makeInput(4, 4,
                                       [](int x, int y) {
                                           return PixelRGBA8{uint8_t(x * 60), uint8_t(y * 60), 7, 255};
                                       }),
                             0, 0);
            const Picture picture = renderAndRead(*effect);
            ASSERT_EQ(effect->getToy().getStatus().getValue(), "Shader OK!");
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 4; ++x)
                    EXPECT_TRUE(isNear(picture.at(x, y), PixelRGBA8{uint8_t(x * 60), uint8_t(y * 60), 7, 255}, 1))
                        << x << ", " << y << ": " << picture.at(x, y);
        }

        TEST_F(ShaderToyGLTest, DefaultMixerCompilesAndMixesBothInputs)
        {
            ShaderToyMixer mixer;
            mixer.setSize(4, 4);
            mixer.setInput(0, makeInput(4, 4, red), 0, 0);
            mixer.setInput(1, makeInput(4, 4, blue), 0, 0);
            const Picture picture = renderAndRead(mixer);
            EXPECT_EQ(mixer.getToy().getStatus().getValue(), "Shader OK!");
            expectUniform(picture, 4, 4, PixelRGBA8{128, 0, 128, 255}, 1);
        }

        TEST_F(ShaderToyGLTest, MixerSecondInputIsChannel1WithItsResolution)
        {
            ShaderToyMixer mixer;
            mixer.setFragmentShader(script("vec4( texture2D( iChannel1, gl_TexCoord[ 1 ].st ).rgb, "
                                           "iChannelResolution[ 1 ].x / 255.0 )"));
            mixer.setSize(4, 4);
            mixer.setInput(0, makeInput(4, 4, red), 0, 0);
            mixer.setInput(1, makeInput(6, 6, blue), 0, 0);
            expectUniform(renderAndRead(mixer), 4, 4, PixelRGBA8{0, 0, 255, 6}, 1);
        }

        TEST_F(ShaderToyGLTest, GeneratorDrawsWithoutInput)
        {
            ShaderToyGeneratorPass generator(script("vec4( fragCoord / iResolution.xy, 0.0, 1.0 )"));
            generator.setSize(4, 4);
            const Picture picture = renderAndRead(generator);
            ASSERT_GE(picture.width, 4);
            // Pixel centres at 0.125, 0.375, ...
            EXPECT_TRUE(isNear(picture.at(0, 0), PixelRGBA8{32, 32, 0, 255}, 1)) << picture.at(0, 0);
            EXPECT_TRUE(isNear(picture.at(3, 1), PixelRGBA8{223, 96, 0, 255}, 1)) << picture.at(3, 1);
        }

        // ---- Status and compile errors.

        TEST_F(ShaderToyGLTest, ScriptThatFailsKeepsTheLastGoodProgramAndShowsTheLog)
        {
            auto effect = makeEffect(script("vec4( 0.0, 1.0, 0.0, 1.0 )"));
            expectUniform(renderAndRead(*effect), 4, 4, PixelRGBA8{0, 255, 0, 255}, 1);

            effect->setFragmentShader("void mainImage( out vec4 c, in vec2 p ) { c = undefinedThing; }");
            bool rendered = false;
            const Picture picture = renderAndRead(*effect, &rendered);
            EXPECT_TRUE(rendered);
            expectUniform(picture, 4, 4, PixelRGBA8{0, 255, 0, 255}, 1);
            const std::string status = effect->getToy().getStatus().getValue();
            EXPECT_NE(status, "Shader OK!");
            EXPECT_NE(status.find("undefinedThing"), std::string::npos) << status;

            effect->setFragmentShader(script("vec4( 0.0, 0.0, 1.0, 1.0 )"));
            expectUniform(renderAndRead(*effect), 4, 4, blue, 1);
            EXPECT_EQ(effect->getToy().getStatus().getValue(), "Shader OK!");
        }

        TEST_F(ShaderToyGLTest, FirstScriptThatFailsDrawsNothing)
        {
            auto effect = makeEffect("this is no shader");
            bool rendered = true;
            renderAndRead(*effect, &rendered);
            EXPECT_FALSE(rendered);
            EXPECT_FALSE(effect->getToy().getStatus().getValue().empty());
            EXPECT_NE(effect->getToy().getStatus().getValue(), "Shader OK!");
            renderAndRead(*effect, &rendered);
            EXPECT_FALSE(rendered);
        }

        // ---- User parameters.

        struct UserParamCase
        {
            const char* name;
            std::function<std::shared_ptr<ParamBase>()> make;
            const char* colour;
            PixelRGBA8 expected;
        };

        class ShaderToyUserParamGLTest : public ShaderToyGLTest, public ::testing::WithParamInterface<UserParamCase>
        {
        };

        TEST_P(ShaderToyUserParamGLTest, MirroredAsUniform)
        {
            auto effect = makeEffect(script(GetParam().colour));
            renderAndRead(*effect); // built once, without the parameter
            // A new parameter rebuilds although the script did not change.
            effect->getToy().getScripts().getUserParams()->addParam(GetParam().make());
            const Picture picture = renderAndRead(*effect);
            EXPECT_EQ(effect->getToy().getStatus().getValue(), "Shader OK!");
            expectUniform(picture, 4, 4, GetParam().expected, 1);
        }

        INSTANTIATE_TEST_SUITE_P(
            Table, ShaderToyUserParamGLTest,
            ::testing::Values(
                UserParamCase{"Range",
                              [] { return std::make_shared<ParamRange>("gain", 0.5, ValueRange<double>()); },
                              "vec4( gain, 0.0, 0.0, 1.0 )",
                              {128, 0, 0, 255}},
                UserParamCase{"PlainDouble",
                              [] { return std::make_shared<Param<double>>("amount", 0.25); },
                              "vec4( amount, 0.0, 0.0, 1.0 )",
                              {64, 0, 0, 255}},
                UserParamCase{"Bool",
                              [] { return std::make_shared<Param<bool>>("on", true); },
                              "vec4( on, 0.0, 0.0, 1.0 )",
                              {255, 0, 0, 255}},
                UserParamCase{"TriggeredEvent",
                              []
                              {
                                  auto event = std::make_shared<ParamEvent>("hit");
                                  event->trigger();
                                  return event;
                              },
                              "vec4( hit, 0.0, 0.0, 1.0 )",
                              {255, 0, 0, 255}},
                UserParamCase{"Colour",
                              [] { return std::make_shared<ParamColor>("tint", Color(0.0f, 1.0f, 0.5f, 1.0f)); },
                              "tint",
                              {0, 255, 128, 255}},
                // No declaration: a script naming it would not compile.
                UserParamCase{"TextIsIgnored",
                              [] { return std::make_shared<Param<std::string>>("label", "x"); },
                              "vec4( 0.0, 0.0, 1.0, 1.0 )",
                              {0, 0, 255, 255}}),
            [](const ::testing::TestParamInfo<UserParamCase>& info) { return info.param.name; });

        TEST_F(ShaderToyGLTest, ScriptAndUserParametersPersistInXml)
        {
            auto effect = makeEffect(script("vec4( gain, 0.0, 1.0, 1.0 )"));
            effect->getToy().getScripts().getUserParams()->addParamRange("gain", 0.25);
            renderAndRead(*effect);

            XmlPool pool;
            XmlNode* element = effect->writeState(pool, true);
            ASSERT_NE(element, nullptr);

            auto restored = makeEffect(ShaderToyEffect::defaultScript());
            restored->readState(element, false);
            EXPECT_EQ(restored->getToy().getFragmentScript().getValue(), script("vec4( gain, 0.0, 1.0, 1.0 )"));
            ParamContainer& user = *restored->getToy().getScripts().getUserParams();
            ASSERT_EQ(user.getNumParams(), 1);
            auto gain = std::dynamic_pointer_cast<ParamRange>(user.getParam(0));
            ASSERT_NE(gain, nullptr);
            EXPECT_DOUBLE_EQ(gain->getValue(), 0.25);
            expectUniform(renderAndRead(*restored), 4, 4, PixelRGBA8{64, 0, 255, 255}, 1);
        }

        // ---- Image channels.

        class ShaderToyChannelGLTest : public ShaderToyGLTest
        {
        protected:
            void SetUp() override
            {
                ShaderToyGLTest::SetUp();
                PixelsLoader::setCurrent(&formats);
            }
            void TearDown() override
            {
                PixelsLoader::clearCurrent(&formats);
                ShaderToyGLTest::TearDown();
            }
            VideoFormatManager formats;
        };

        TEST_F(ShaderToyChannelGLTest, ImageFilesFillChannelsUpright)
        {
            // Top row red, bottom row blue in the file.
            const std::string path = writePng("channel.png", 2, 2, [](int, int y) { return y == 0 ? red : blue; });
            auto effect = makeEffect(script("vec4( texture2D( iChannel2, gl_TexCoord[ 2 ].st ).rgb, "
                                            "iChannelResolution[ 2 ].x / 255.0 )"));
            ASSERT_TRUE(effect->getToy().loadChannel(File(path), 1));
            EXPECT_FALSE(effect->getToy().loadChannel(File(path), 3));
            EXPECT_FALSE(effect->getToy().loadChannel(File(path), -1));

            const Picture picture = renderAndRead(*effect);
            ASSERT_GE(picture.height, 4);
            // Read-back rows go bottom-up: the file's top row shows at the top.
            EXPECT_TRUE(isNear(picture.at(0, 3), PixelRGBA8{255, 0, 0, 2}, 1)) << picture.at(0, 3);
            EXPECT_TRUE(isNear(picture.at(0, 0), PixelRGBA8{0, 0, 255, 2}, 1)) << picture.at(0, 0);
        }

        TEST_F(ShaderToyChannelGLTest, ChannelsUploadOnlyWhenTheirPixelsChange)
        {
            auto effect = makeEffect(script("texture2D( iChannel3, gl_TexCoord[ 3 ].st )"));
            ShaderToy& toy = effect->getToy();
            const uint8_t redPixel[4] = {255, 0, 0, 255};
            ASSERT_TRUE(toy.loadChannel(std::make_shared<Pixels>(1, 1, 4, redPixel), 2));
            renderAndRead(*effect);
            ASSERT_NE(toy.getChannelTexture(2), nullptr);

            GLCallCounter<&epoxy_glTexSubImage2D> uploads("glTexSubImage2D");
            expectUniform(renderAndRead(*effect), 4, 4, red, 1);
            EXPECT_EQ(uploads.count(), 0);

            const uint8_t bluePixel[4] = {0, 0, 255, 255};
            ASSERT_TRUE(toy.loadChannel(std::make_shared<Pixels>(1, 1, 4, bluePixel), 2));
            expectUniform(renderAndRead(*effect), 4, 4, blue, 1);
            EXPECT_EQ(uploads.count(), 1);
        }

        TEST_F(ShaderToyChannelGLTest, ImageTooSmallForItsSizeIsRefused)
        {
            auto effect = makeEffect(script("vec4( texture2D( iChannel1, gl_TexCoord[ 1 ].st ).rgb, 1.0 )"));
            auto pixels = std::make_shared<Pixels>(2, 2, 4, static_cast<const unsigned char*>(nullptr));
            pixels->width = 64; // a header that claims more than the buffer holds
            ASSERT_TRUE(effect->getToy().loadChannel(pixels, 0));
            LogRecorder log;
            renderAndRead(*effect);
            EXPECT_EQ(effect->getToy().getChannelTexture(0), nullptr);
            EXPECT_TRUE(log.contains("cannot be uploaded")) << log.dump();
        }

        // ---- The audio channel.

        class ShaderToyAudioGLTest : public ShaderToyGLTest
        {
        protected:
            void SetUp() override
            {
                ShaderToyGLTest::SetUp();
                ASSERT_NE(AudioSpectrumLinks::getCurrent(), nullptr);
                spectrum->setPath("/audioengine/compositionfft");
                ParamCollection::getCurrent()->addParam(spectrum);
            }
            void TearDown() override
            {
                ParamCollection::getCurrent()->removeParam(spectrum);
                ShaderToyGLTest::TearDown();
            }
            void send(const std::vector<float>& bins, double timeMs)
            {
                spectrum->getValue() = bins;
                spectrum->stateChanged(ChangeInfo(StateChange_Value, timeMs));
            }
            std::shared_ptr<ParamVector<float>> spectrum = std::make_shared<ParamVector<float>>("compositionfft");
        };

        const char* const audioScript = "void mainImage( out vec4 fragColor, in vec2 fragCoord ) { fragColor = "
                                        "vec4( texture2D( iChannel1, vec2( fragCoord.x / iResolution.x, 0.5 ) ).r, "
                                        "iChannelResolution[ 1 ].xy / 255.0, 1.0 ); }";

        TEST_F(ShaderToyAudioGLTest, SpectrumReplacesChannel1AndFollowsItsLength)
        {
            auto effect = makeEffect(audioScript, 4, 1);
            const uint8_t white[4] = {255, 255, 255, 255};
            ASSERT_TRUE(effect->getToy().loadChannel(std::make_shared<Pixels>(1, 1, 4, white), 0));
            renderAndRead(*effect); // links on its first render
            ASSERT_TRUE(effect->getToy().getAudioLink()->isLinked());
            send({0.0f, 0.25f, 0.5f, 1.0f}, 1000.0);

            Picture picture = renderAndRead(*effect);
            ASSERT_GE(picture.width, 4);
            const uint8_t firstRow[4] = {0, 64, 128, 255};
            for (int x = 0; x < 4; ++x)
                EXPECT_TRUE(isNear(picture.at(x, 0), PixelRGBA8{firstRow[x], 4, 1, 255}, 1)) << picture.at(x, 0);

            // Eight bins, same time (no fall): the texture is eight wide now.
            send({1.0f, 1.0f, 0.0f, 0.0f, 1.0f, 1.0f, 0.0f, 0.0f}, 1000.0);
            picture = renderAndRead(*effect);
            ASSERT_EQ(effect->getToy().getChannelTexture(0)->getWidth(), 8);
            const uint8_t secondRow[4] = {255, 0, 255, 0};
            for (int x = 0; x < 4; ++x)
                EXPECT_TRUE(isNear(picture.at(x, 0), PixelRGBA8{secondRow[x], 8, 1, 255}, 1)) << picture.at(x, 0);

            // Without the spectrum the image is back in its channel.
            effect->release();
            ParamCollection::getCurrent()->removeParam(spectrum);
            picture = renderAndRead(*effect);
            EXPECT_TRUE(isNear(picture.at(0, 0), PixelRGBA8{255, 1, 1, 255}, 1)) << picture.at(0, 0);
        }

        TEST_F(ShaderToyAudioGLTest, NoSpectrumYetLeavesTheImageChannel)
        {
            auto effect = makeEffect(audioScript, 4, 1);
            const uint8_t grey[4] = {128, 128, 128, 255};
            ASSERT_TRUE(effect->getToy().loadChannel(std::make_shared<Pixels>(1, 1, 4, grey), 0));
            const Picture picture = renderAndRead(*effect);
            EXPECT_TRUE(effect->getToy().getAudioLink()->isLinked());
            EXPECT_TRUE(isNear(picture.at(2, 0), PixelRGBA8{128, 1, 1, 255}, 1)) << picture.at(2, 0);
        }
    }
}
