// The Kelvo effect driven as a host drives it, through plugMain, on the
// shared headless context.

#include "plugin/FFGLPlugin.h"

#include "core/VXTime.h"
#include "engine/ffgl/FFGLPlugMain.h"
#include "engine/ffgl/VXFFGLHostFrame.h"
#include "engine/ffgl/VXFFGLPlugin.h"
#include "engine/video/formats/VXPixels.h"
#include "support/VXLogRecorder.h"
#include "support/gl/VXGLTestFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

namespace
{
    using vx::test::FFGLHostFrame;
    using vx::test::HostGLState;
    using vx::test::PixelRGBA8;

    constexpr FFGL::Word failWord = 0xFFFFFFFFu;
    constexpr int width = 320;
    constexpr int height = 180;

    enum ParamIndex : std::uint32_t
    {
        sizeIndex = 0,
        speedIndex = 1,
        amountIndex = 2,
        spreadIndex = 3,
        thresholdIndex = 4,
        showImageIndex = 5
    };

    // Black, with an opaque white bar across the lower middle: edges for the
    // flakes to settle on. Rows bottom-up as GL stores them.
    std::vector<PixelRGBA8> barPicture()
    {
        std::vector<PixelRGBA8> pixels(static_cast<std::size_t>(width * height), PixelRGBA8{0, 0, 0, 255});
        for (int row = 40; row < 70; ++row)
            for (int column = 40; column < 280; ++column)
                pixels[static_cast<std::size_t>(row * width + column)] = PixelRGBA8{255, 255, 255, 255};
        // A coloured block, so the picture is not grey only.
        for (int row = 120; row < 160; ++row)
            for (int column = 20; column < 60; ++column)
                pixels[static_cast<std::size_t>(row * width + column)] = PixelRGBA8{200, 40, 90, 255};
        return pixels;
    }

    // A host frame whose input texture holds the bar picture.
    class PictureFrame : public FFGLHostFrame
    {
    public:
        PictureFrame() : FFGLHostFrame(width, height, 0.0f, 0.0f, 0.0f), picture(barPicture())
        {
            GLint previous = 0;
            glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
            glBindTexture(GL_TEXTURE_2D, input->getTexture());
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, picture.data());
            glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
        }

        std::vector<PixelRGBA8> readOutput() const { return vx::test::readPixels(0, 0, width, height); }

        std::vector<PixelRGBA8> picture;
    };

    // One GL instance, de-instantiated when it goes unless the test ended it.
    class Instance
    {
    public:
        explicit Instance(FFGLViewportStructTag viewport)
        {
            word = plugMain(FFGL::instantiateGL, FFGL::fromPointer(&viewport), 0);
        }
        ~Instance() { end(); }
        Instance(const Instance&) = delete;
        Instance& operator=(const Instance&) = delete;

        bool isValid() const { return word != failWord && word != 0; }
        FFGL::Word operator()(std::uint32_t code, FFGL::Word input = 0) const { return plugMain(code, input, word); }
        void end()
        {
            if (isValid())
                plugMain(FFGL::deInstantiateGL, 0, word);
            word = 0;
        }
        Plugin& effect() const
        {
            auto* plugin = dynamic_cast<VXFFGLPlugin*>(FFGL::toPointer<CFreeFrameGLPlugin>(word));
            return *dynamic_cast<Plugin*>(plugin->getApp());
        }
        void setFloat(std::uint32_t index, float value) const
        {
            SetParameterStruct parameter{index, FFGL::fromFloat(value)};
            EXPECT_EQ((*this)(FFGL::setParameter, FFGL::fromPointer(&parameter)), 0u);
        }

    private:
        FFGL::Word word = 0;
    };

    class KelvoGLTest : public vx::test::GLTest
    {
    protected:
        void TearDown() override
        {
            plugMain(FFGL::deInitialise, 0, 0);
            GLTest::TearDown();
        }

        // Frames paced about 16 ms apart, as a host at 60 Hz sends them.
        static void renderFor(const Instance& instance, PictureFrame& frame, int frames)
        {
            for (int i = 0; i < frames; ++i)
            {
                ASSERT_EQ(instance(FFGL::processOpenGL, frame.recordWord()), 0u) << "frame " << i;
                std::this_thread::sleep_for(std::chrono::milliseconds(16));
            }
        }
    };

    struct ParameterCase
    {
        const char* name;
        std::uint32_t type;
        float defaultValue;  // normalised
        const char* display; // at the default
    };

    const ParameterCase parameterCases[] = {
        {"Size", FFGL::typeStandard, 0.2f, "1.00"},
        {"Speed", FFGL::typeStandard, 0.8f / 2.8f, "1.00"},
        {"Amount", FFGL::typeStandard, 19.0f / 49.0f, "20.00"},
        {"Spread", FFGL::typeStandard, 0.245f / 0.495f, "0.25"},
        {"Threshold", FFGL::typeStandard, 0.25f / 0.75f, "0.50"},
        {"Show Image", FFGL::typeBoolean, 1.0f, "1"},
        {"Smart Edges", FFGL::typeBoolean, 1.0f, "1"},
    };

    TEST_F(KelvoGLTest, HostsSeeTheParameterTableAndDisplayTexts)
    {
        // Asked before initialise: the prototype is made on demand.
        ASSERT_EQ(plugMain(FFGL::getNumParameters, 0, 0), std::size(parameterCases));
        PictureFrame frame;
        Instance instance(frame.viewport);
        ASSERT_TRUE(instance.isValid());
        for (std::uint32_t i = 0; i < std::size(parameterCases); ++i)
        {
            const ParameterCase& c = parameterCases[i];
            SCOPED_TRACE(c.name);
            EXPECT_STREQ(FFGL::toPointer<const char>(plugMain(FFGL::getParameterName, i, 0)), c.name);
            EXPECT_EQ(plugMain(FFGL::getParameterType, i, 0), c.type);
            EXPECT_NEAR(FFGL::toFloat(plugMain(FFGL::getParameterDefault, i, 0)), c.defaultValue, 1e-6f);
            EXPECT_STREQ(FFGL::toPointer<const char>(instance(FFGL::getParameterDisplay, i)), c.display);
        }
        // A quarter of the way through "Amount" (1 to 50) is 13.25.
        instance.setFloat(amountIndex, 0.25f);
        EXPECT_STREQ(FFGL::toPointer<const char>(instance(FFGL::getParameterDisplay, amountIndex)), "13.25");
        EXPECT_EQ(FFGL::toFloat(instance(FFGL::getParameter, amountIndex)), 0.25f);
    }

    TEST_F(KelvoGLTest, TheFirstFrameIsTheInputWithShowImageAndTransparentBlackWithout)
    {
        PictureFrame frame;
        // Made at another size: the frame after the resize covers the whole new viewport.
        Instance instance(FFGLViewportStructTag{0, 0, 64, 64});
        ASSERT_TRUE(instance.isValid());
        EXPECT_EQ(instance(FFGL::resize, frame.viewportWord()), 0u);

        // Flakes are born above the picture: nothing of them shows yet.
        ASSERT_EQ(instance(FFGL::processOpenGL, frame.recordWord()), 0u);
        const auto shown = frame.readOutput();
        int differing = 0;
        for (std::size_t i = 0; i < shown.size(); ++i)
            differing += vx::test::isNear(shown[i], frame.picture[i], 1) ? 0 : 1;
        EXPECT_EQ(differing, 0) << "first pixel " << shown[0] << " vs " << frame.picture[0];
        EXPECT_FALSE(instance.effect().getSimulation().getParticles().empty());
        instance.end();

        // A first frame again (a later one would show flakes that fell for
        // as long as the machine took between the frames); the output still
        // holds the opaque picture, so every pixel must be cleared.
        Instance without(frame.viewport);
        ASSERT_TRUE(without.isValid());
        without.setFloat(showImageIndex, 0.0f);
        ASSERT_EQ(without(FFGL::processOpenGL, frame.recordWord()), 0u);
        EXPECT_FALSE(without.effect().getSimulation().getParticles().empty());
        for (const PixelRGBA8& pixel : frame.readOutput())
            ASSERT_EQ(pixel, (PixelRGBA8{0, 0, 0, 0}));
    }

    struct TranslucentCase
    {
        const char* name;
        PixelRGBA8 input;
        GLenum hostBlendEquation; // left by the host, kept by the effect
    };

    void PrintTo(const TranslucentCase& c, std::ostream* os)
    {
        *os << c.name;
    }

    class KelvoTranslucentGLTest : public KelvoGLTest, public testing::WithParamInterface<TranslucentCase>
    {
    };

    // The picture is alpha-blended over the transparent black the frame
    // starts from: to the bit what that blend gives, whichever equation the
    // host left. A uniform input makes the sampled colour exact everywhere.
    TEST_P(KelvoTranslucentGLTest, ThePictureIsBlendedOverTransparentBlackToTheBit)
    {
        const TranslucentCase& c = GetParam();
        PictureFrame frame;
        const std::vector<PixelRGBA8> uniform(static_cast<std::size_t>(width * height), c.input);
        glBindTexture(GL_TEXTURE_2D, frame.input->getTexture());
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, uniform.data());
        glBindTexture(GL_TEXTURE_2D, 0);
        glBlendEquation(c.hostBlendEquation);

        std::vector<PixelRGBA8> expected;
        {
            const vx::test::ScopedTestFramebuffer reference(width, height);
            vx::test::clearTo(0.0f, 0.0f, 0.0f, 0.0f);
            glEnable(GL_BLEND);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
            glColor4ub(c.input.r, c.input.g, c.input.b, c.input.a);
            glRectf(-1.0f, -1.0f, 1.0f, 1.0f);
            glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
            glBlendFunc(GL_ONE, GL_ZERO);
            glDisable(GL_BLEND);
            expected = vx::test::readPixels(0, 0, width, height);
        }

        Instance instance(frame.viewport);
        ASSERT_TRUE(instance.isValid());
        // A first frame: the flakes are still above the picture.
        ASSERT_EQ(instance(FFGL::processOpenGL, frame.recordWord()), 0u);
        const auto output = frame.readOutput();
        glBlendEquation(GL_FUNC_ADD);

        int differing = 0;
        for (std::size_t i = 0; i < output.size(); ++i)
            differing += output[i] == expected[i] ? 0 : 1;
        EXPECT_EQ(differing, 0) << "shown " << output[0] << ", blended " << expected[0];
    }

    INSTANTIATE_TEST_SUITE_P(
        Cases, KelvoTranslucentGLTest,
        testing::Values(TranslucentCase{"HalfAlpha", PixelRGBA8{200, 120, 40, 128}, GL_FUNC_ADD},
                        TranslucentCase{"NearlyTransparent", PixelRGBA8{255, 255, 255, 3}, GL_FUNC_ADD},
                        TranslucentCase{"Transparent", PixelRGBA8{90, 180, 255, 0}, GL_FUNC_ADD},
                        TranslucentCase{"Opaque", PixelRGBA8{17, 230, 101, 255}, GL_FUNC_ADD},
                        TranslucentCase{"HostSubtracts", PixelRGBA8{200, 120, 40, 128}, GL_FUNC_SUBTRACT},
                        TranslucentCase{"HostReverseSubtracts", PixelRGBA8{200, 120, 40, 128},
                                        GL_FUNC_REVERSE_SUBTRACT},
                        TranslucentCase{"HostTakesTheMaximum", PixelRGBA8{200, 120, 40, 128}, GL_MAX}),
        [](const auto& info) { return std::string(info.param.name); });

    // Per-fragment state a host may leave on that sees the picture's colour
    // or alpha before the blend does.
    struct FragmentStateCase
    {
        const char* name;
        void (*setUp)();
        void (*tearDown)();
    };

    void PrintTo(const FragmentStateCase& c, std::ostream* os)
    {
        *os << c.name;
    }

    class KelvoFragmentStateGLTest : public KelvoGLTest, public testing::WithParamInterface<FragmentStateCase>
    {
    };

    // The host's state works on the picture as it would on any colour blended
    // over transparent black: to the bit.
    TEST_P(KelvoFragmentStateGLTest, ThePictureMeetsTheHostsStateAsBlended)
    {
        const FragmentStateCase& c = GetParam();
        const PixelRGBA8 input{200, 120, 40, 128};
        PictureFrame frame;
        const std::vector<PixelRGBA8> uniform(static_cast<std::size_t>(width * height), input);
        glBindTexture(GL_TEXTURE_2D, frame.input->getTexture());
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, uniform.data());
        glBindTexture(GL_TEXTURE_2D, 0);

        std::vector<PixelRGBA8> expected;
        {
            const vx::test::ScopedTestFramebuffer reference(width, height);
            vx::test::clearTo(0.0f, 0.0f, 0.0f, 0.0f);
            c.setUp();
            glEnable(GL_BLEND);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
            glColor4ub(input.r, input.g, input.b, input.a);
            glRectf(-1.0f, -1.0f, 1.0f, 1.0f);
            glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
            glBlendFunc(GL_ONE, GL_ZERO);
            glDisable(GL_BLEND);
            c.tearDown();
            expected = vx::test::readPixels(0, 0, width, height);
        }

        Instance instance(frame.viewport);
        ASSERT_TRUE(instance.isValid());
        c.setUp();
        // A first frame: the flakes are still above the picture.
        ASSERT_EQ(instance(FFGL::processOpenGL, frame.recordWord()), 0u);
        c.tearDown();
        const auto output = frame.readOutput();
        int differing = 0;
        for (std::size_t i = 0; i < output.size(); ++i)
            differing += output[i] == expected[i] ? 0 : 1;
        EXPECT_EQ(differing, 0) << "shown " << output[0] << ", blended " << expected[0];
    }

    // Passes alpha 128 and would drop 128 x 128.
    void alphaTestOn()
    {
        glEnable(GL_ALPHA_TEST);
        glAlphaFunc(GL_GREATER, 0.4f);
    }

    void alphaTestOff()
    {
        glAlphaFunc(GL_ALWAYS, 0.0f);
        glDisable(GL_ALPHA_TEST);
    }

    // Half fog colour at depth 0, mixed in before the blend.
    void fogOn()
    {
        const float fogColour[4] = {0.0f, 1.0f, 1.0f, 1.0f};
        glEnable(GL_FOG);
        glFogi(GL_FOG_MODE, GL_LINEAR);
        glFogf(GL_FOG_START, -1.0f);
        glFogfv(GL_FOG_COLOR, fogColour);
    }

    void fogOff()
    {
        const float noFog[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        glFogfv(GL_FOG_COLOR, noFog);
        glFogi(GL_FOG_MODE, GL_EXP);
        glFogf(GL_FOG_START, 0.0f);
        glDisable(GL_FOG);
    }

    // Takes the place of the blend.
    void logicOpOn()
    {
        glEnable(GL_COLOR_LOGIC_OP);
        glLogicOp(GL_COPY_INVERTED);
    }

    void logicOpOff()
    {
        glLogicOp(GL_COPY);
        glDisable(GL_COLOR_LOGIC_OP);
    }

    INSTANTIATE_TEST_SUITE_P(Cases, KelvoFragmentStateGLTest,
                             testing::Values(FragmentStateCase{"AlphaTest", alphaTestOn, alphaTestOff},
                                             FragmentStateCase{"Fog", fogOn, fogOff},
                                             FragmentStateCase{"LogicOp", logicOpOn, logicOpOff}),
                             [](const auto& info) { return std::string(info.param.name); });

    // ---- The picture under every input format and texture environment.

    constexpr int pictureSize = 64;

    // An input a host may hand over: a texture of one internal format,
    // uploaded from the same RGBA levels (GL keeps what the format holds),
    // which the float formats stretch past 0 and 1.
    struct InputFormatCase
    {
        const char* name;
        GLenum internalFormat;
        float low, high; // where the levels 0 and 1 go
    };

    GLuint makeInput(const InputFormatCase& c)
    {
        std::vector<float> levels;
        for (int y = 0; y < pictureSize; ++y)
            for (int x = 0; x < pictureSize; ++x)
                for (const int step : {x, y, (x * 7 + y * 3) % pictureSize, (x * 5 + y * 11) % pictureSize})
                    levels.push_back(c.low + (c.high - c.low) * static_cast<float>(step) / (pictureSize - 1));
        GLuint texture = 0;
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(c.internalFormat), pictureSize, pictureSize, 0, GL_RGBA,
                     GL_FLOAT, levels.data());
        glBindTexture(GL_TEXTURE_2D, 0);
        return texture;
    }

    // Texture state a host may leave, set up before the frame and taken
    // down after it.
    struct HostStateCase
    {
        const char* name;
        void (*setUp)();
        void (*tearDown)();
    };

    void setMode(GLint mode)
    {
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, mode);
    }

    void setEnvironmentColour(float r, float g, float b, float a)
    {
        const float colour[4] = {r, g, b, a};
        glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, colour);
    }

    void resetEnvironment()
    {
        setMode(GL_MODULATE);
        setEnvironmentColour(0.0f, 0.0f, 0.0f, 0.0f);
        glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_MODULATE);
        glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, GL_MODULATE);
        glTexEnvi(GL_TEXTURE_ENV, GL_SRC1_RGB, GL_PREVIOUS);
        glTexEnvf(GL_TEXTURE_ENV, GL_RGB_SCALE, 1.0f);
        glTexEnvf(GL_TEXTURE_ENV, GL_ALPHA_SCALE, 1.0f);
    }

    // The scales act in GL_COMBINE only.
    void modulateScaledTwice()
    {
        glTexEnvf(GL_TEXTURE_ENV, GL_RGB_SCALE, 2.0f);
        glTexEnvf(GL_TEXTURE_ENV, GL_ALPHA_SCALE, 2.0f);
    }

    void blendWithColour()
    {
        setMode(GL_BLEND);
        setEnvironmentColour(0.2f, 0.6f, 1.0f, 0.5f);
    }

    // Texture times a constant, doubled; the texture's alpha.
    void hostCombiner()
    {
        setMode(GL_COMBINE);
        glTexEnvi(GL_TEXTURE_ENV, GL_SRC1_RGB, GL_CONSTANT);
        glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, GL_REPLACE);
        setEnvironmentColour(0.5f, 0.75f, 1.0f, 1.0f);
        glTexEnvf(GL_TEXTURE_ENV, GL_RGB_SCALE, 2.0f);
    }

    // Unit 1 multiplies by one translucent texel.
    GLuint secondUnitTexture = 0;

    void secondUnitModulates()
    {
        const float texel[4] = {0.5f, 0.25f, 1.0f, 0.5f};
        glGenTextures(1, &secondUnitTexture);
        glActiveTexture(GL_TEXTURE1);
        glBindTexture(GL_TEXTURE_2D, secondUnitTexture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_FLOAT, texel);
        glEnable(GL_TEXTURE_2D);
        glActiveTexture(GL_TEXTURE0);
    }

    void secondUnitOff()
    {
        glActiveTexture(GL_TEXTURE1);
        glDisable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, 0);
        glDeleteTextures(1, &secondUnitTexture);
        glActiveTexture(GL_TEXTURE0);
    }

    // Unlit by any light, the colour is the ambient term (0.04 grey).
    void lighting()
    {
        glEnable(GL_LIGHTING);
    }

    void lightingOff()
    {
        glDisable(GL_LIGHTING);
    }

    void colourSum()
    {
        glEnable(GL_COLOR_SUM);
        glSecondaryColor3f(0.25f, 0.0f, 0.5f);
    }

    void colourSumOff()
    {
        glSecondaryColor3f(0.0f, 0.0f, 0.0f);
        glDisable(GL_COLOR_SUM);
    }

    const InputFormatCase inputFormats[] = {
        {"RGBA8", GL_RGBA8, 0.0f, 1.0f},
        {"RGB8", GL_RGB8, 0.0f, 1.0f},
        {"RG8", GL_RG8, 0.0f, 1.0f},
        {"Luminance8", GL_LUMINANCE8, 0.0f, 1.0f},
        {"Luminance8Alpha8", GL_LUMINANCE8_ALPHA8, 0.0f, 1.0f},
        {"Alpha8", GL_ALPHA8, 0.0f, 1.0f},
        {"Intensity8", GL_INTENSITY8, 0.0f, 1.0f},
        {"SRGB8Alpha8", GL_SRGB8_ALPHA8, 0.0f, 1.0f},
        {"RGBA16F", GL_RGBA16F, -0.25f, 1.5f},
        {"RGBA32F", GL_RGBA32F, -0.25f, 1.5f},
    };

    // Where texture unit 0 alone shows the texel: every input format.
    const HostStateCase texelEnvironments[] = {
        {"Modulate", [] {}, resetEnvironment},
        {"ModulateScaledTwice", modulateScaledTwice, resetEnvironment},
        {"Replace", [] { setMode(GL_REPLACE); }, resetEnvironment},
    };

    // Where the host's state makes a picture of its own.
    const HostStateCase otherStates[] = {
        {"Decal", [] { setMode(GL_DECAL); }, resetEnvironment},
        {"Add", [] { setMode(GL_ADD); }, resetEnvironment},
        {"BlendWithColour", blendWithColour, resetEnvironment},
        {"HostCombiner", hostCombiner, resetEnvironment},
        {"SecondUnitModulates", secondUnitModulates, secondUnitOff},
        {"Lighting", lighting, lightingOff},
        {"ColourSum", colourSum, colourSumOff},
    };

    using PictureCase = std::tuple<InputFormatCase, HostStateCase>;

    std::vector<PictureCase> pictureCases()
    {
        std::vector<PictureCase> cases;
        for (const InputFormatCase& format : inputFormats)
            for (const HostStateCase& state : texelEnvironments)
                cases.emplace_back(format, state);
        for (const HostStateCase& state : otherStates)
            cases.emplace_back(inputFormats[0], state);
        return cases;
    }

    void PrintTo(const PictureCase& c, std::ostream* os)
    {
        *os << std::get<0>(c).name << " under " << std::get<1>(c).name;
    }

    class KelvoPictureGLTest : public KelvoGLTest, public testing::WithParamInterface<PictureCase>
    {
    };

    // The picture is what the alpha blend over transparent black gives for
    // the input under the host's state and a white colour; the host gets
    // every piece of its state back, its colour among it.
    TEST_P(KelvoPictureGLTest, ThePictureIsTheInputBlendedUnderTheHostsState)
    {
        const auto& [input, hostState] = GetParam();
        FFGLHostFrame frame(pictureSize, pictureSize, 0.0f, 0.0f, 0.0f);
        const GLuint texture = makeInput(input);
        frame.texture.Handle = texture;

        std::vector<PixelRGBA8> expected;
        {
            const vx::test::ScopedTestFramebuffer reference(pictureSize, pictureSize);
            vx::test::clearTo(0.0f, 0.0f, 0.0f, 0.0f);
            hostState.setUp();
            glEnable(GL_TEXTURE_2D);
            glBindTexture(GL_TEXTURE_2D, texture);
            glEnable(GL_BLEND);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
            glBegin(GL_QUADS);
            for (const auto& [s, t] : {std::pair{0.0f, 0.0f}, {1.0f, 0.0f}, {1.0f, 1.0f}, {0.0f, 1.0f}})
            {
                glTexCoord2f(s, t);
                glVertex2f(s * 2.0f - 1.0f, t * 2.0f - 1.0f);
            }
            glEnd();
            glTexCoord4f(0.0f, 0.0f, 0.0f, 1.0f);
            glBlendFunc(GL_ONE, GL_ZERO);
            glDisable(GL_BLEND);
            glBindTexture(GL_TEXTURE_2D, 0);
            glDisable(GL_TEXTURE_2D);
            hostState.tearDown();
            expected = vx::test::readPixels(0, 0, pictureSize, pictureSize);
        }

        Instance instance(frame.viewport);
        ASSERT_TRUE(instance.isValid());
        hostState.setUp();
        glColor4f(0.25f, 0.5f, 0.75f, 0.625f);
        const HostGLState before = HostGLState::capture();
        // A first frame: the flakes are still above the picture.
        EXPECT_EQ(instance(FFGL::processOpenGL, frame.recordWord()), 0u);
        EXPECT_EQ(before.differencesTo(HostGLState::capture()), std::vector<std::string>{});
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        hostState.tearDown();

        // Within a level: where the premultiplying texture unit stands in for
        // the blend, the two round some products to neighbouring levels.
        const auto output = vx::test::readPixels(0, 0, pictureSize, pictureSize);
        int differing = 0;
        for (std::size_t i = 0; i < output.size(); ++i)
            if (! vx::test::isNear(output[i], expected[i], 1) && differing++ < 3)
                ADD_FAILURE() << "pixel " << i << " shows " << output[i] << ", blended " << expected[i];
        EXPECT_EQ(differing, 0);
        glDeleteTextures(1, &texture);
    }

    INSTANTIATE_TEST_SUITE_P(Cases, KelvoPictureGLTest, testing::ValuesIn(pictureCases()),
                             [](const auto& info) {
                                 return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
                             });

    // Client arrays a host may leave enabled: a colour, a normal and a unit 1
    // texture coordinate array, read from a buffer object at an offset or
    // from the host's memory (odd colours, a few vertices' worth).
    class KelvoHostArraysGLTest : public KelvoGLTest, public testing::WithParamInterface<bool>
    {
    };

    TEST_P(KelvoHostArraysGLTest, TheEffectDrawsOnlyItsOwnArraysAndTheHostsComeBack)
    {
        const bool fromBuffer = GetParam();
        PictureFrame frame;
        std::vector<PixelRGBA8> clean;
        {
            // A first frame each: the flakes are still above the picture.
            Instance instance(frame.viewport);
            ASSERT_TRUE(instance.isValid());
            ASSERT_EQ(instance(FFGL::processOpenGL, frame.recordWord()), 0u);
            clean = frame.readOutput();
        }

        // Eight vertices: a colour, a normal and a coordinate pair each.
        std::vector<float> data;
        for (int i = 0; i < 8; ++i)
            data.insert(data.end(),
                        {1.0f, 0.0f, 0.5f * static_cast<float>(i % 2), 0.25f, 0.0f, 0.0f, 1.0f, 0.5f, 0.5f});
        constexpr GLsizei stride = 9 * sizeof(float);
        GLuint buffer = 0;
        if (fromBuffer)
        {
            glGenBuffers(1, &buffer);
            glBindBuffer(GL_ARRAY_BUFFER, buffer);
            glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(data.size() * sizeof(float)), data.data(),
                         GL_STATIC_DRAW);
        }
        // An offset into the buffer, or the address in the host's memory.
        const auto at = [&](std::size_t floats) -> const void*
        {
            if (fromBuffer)
                return reinterpret_cast<const void*>(floats * sizeof(float));
            return data.data() + floats;
        };
        glColorPointer(4, GL_FLOAT, stride, at(0));
        glNormalPointer(GL_FLOAT, stride, at(4));
        glClientActiveTexture(GL_TEXTURE1);
        glTexCoordPointer(2, GL_FLOAT, stride, at(7));
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glEnableClientState(GL_COLOR_ARRAY);
        glEnableClientState(GL_NORMAL_ARRAY);

        Instance instance(frame.viewport);
        ASSERT_TRUE(instance.isValid());
        const HostGLState before = HostGLState::capture();
        EXPECT_EQ(instance(FFGL::processOpenGL, frame.recordWord()), 0u);
        EXPECT_EQ(before.differencesTo(HostGLState::capture()), std::vector<std::string>{});

        glDisableClientState(GL_NORMAL_ARRAY);
        glDisableClientState(GL_COLOR_ARRAY);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(4, GL_FLOAT, 0, nullptr);
        glClientActiveTexture(GL_TEXTURE0);
        glNormalPointer(GL_FLOAT, 0, nullptr);
        glColorPointer(4, GL_FLOAT, 0, nullptr);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glDeleteBuffers(1, &buffer);

        const auto output = frame.readOutput();
        int differing = 0;
        for (std::size_t i = 0; i < output.size(); ++i)
            if (! vx::test::isNear(output[i], clean[i], 1) && differing++ < 3)
                ADD_FAILURE() << "pixel " << i << " shows " << output[i] << ", a clean host's frame " << clean[i];
        EXPECT_EQ(differing, 0);
    }

    INSTANTIATE_TEST_SUITE_P(Cases, KelvoHostArraysGLTest, testing::Values(true, false),
                             [](const auto& info) { return std::string(info.param ? "FromABuffer" : "FromMemory"); });

    // Every level of every channel under every alpha: the picture shows each
    // channel times alpha (alpha times itself) rounded to the nearest level,
    // as the alpha blend over transparent black defines it.
    TEST_F(KelvoGLTest, EveryColourUnderEveryAlphaShowsPremultipliedToTheNearestLevel)
    {
        constexpr int levels = 256;
        FFGLHostFrame frame(levels, levels, 0.0f, 0.0f, 0.0f);
        std::vector<PixelRGBA8> picture;
        for (int alpha = 0; alpha < levels; ++alpha)
            for (int level = 0; level < levels; ++level)
                picture.push_back({static_cast<std::uint8_t>(level), static_cast<std::uint8_t>(255 - level),
                                   static_cast<std::uint8_t>(level * 37 % levels), static_cast<std::uint8_t>(alpha)});
        glBindTexture(GL_TEXTURE_2D, frame.input->getTexture());
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, levels, levels, GL_RGBA, GL_UNSIGNED_BYTE, picture.data());
        glBindTexture(GL_TEXTURE_2D, 0);

        Instance instance(frame.viewport);
        ASSERT_TRUE(instance.isValid());
        // A first frame: the flakes are still above the picture.
        ASSERT_EQ(instance(FFGL::processOpenGL, frame.recordWord()), 0u);
        const auto output = vx::test::readPixels(0, 0, levels, levels);

        const auto times = [](std::uint8_t value, std::uint8_t alpha)
        { return static_cast<std::uint8_t>((value * alpha + 127) / 255); };
        int differing = 0;
        for (std::size_t i = 0; i < output.size(); ++i)
        {
            const PixelRGBA8& p = picture[i];
            const PixelRGBA8 expected{times(p.r, p.a), times(p.g, p.a), times(p.b, p.a), times(p.a, p.a)};
            if (output[i] != expected && differing++ < 5)
                ADD_FAILURE() << "input " << p << " shows " << output[i] << ", not " << expected;
        }
        EXPECT_EQ(differing, 0);
    }

    // The flakes are drawn under the host's texture environment whether the
    // picture went under them or not: over a transparent picture, with the
    // effect's clock held, a frame with "Show Image" is the frame without.
    TEST_F(KelvoGLTest, TheFlakesDrawAlikeOverATransparentPicture)
    {
        PictureFrame frame;
        const std::vector<PixelRGBA8> transparent(static_cast<std::size_t>(width * height), PixelRGBA8{});
        glBindTexture(GL_TEXTURE_2D, frame.input->getTexture());
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, transparent.data());
        glBindTexture(GL_TEXTURE_2D, 0);

        Instance instance(frame.viewport);
        ASSERT_TRUE(instance.isValid());
        for (const std::uint32_t index : {sizeIndex, speedIndex, amountIndex})
            instance.setFloat(index, 1.0f);
        double now = 1000.0;
        instance.effect().setClock([&now] { return now; });
        // A second and a half of 60 Hz frames at 3x speed brings them down.
        for (int i = 0; i < 90; ++i)
        {
            now += 1000.0 / 60.0;
            ASSERT_EQ(instance(FFGL::processOpenGL, frame.recordWord()), 0u);
        }

        instance.setFloat(showImageIndex, 0.0f);
        ASSERT_EQ(instance(FFGL::processOpenGL, frame.recordWord()), 0u);
        const auto without = frame.readOutput();
        instance.setFloat(showImageIndex, 1.0f);
        ASSERT_EQ(instance(FFGL::processOpenGL, frame.recordWord()), 0u);
        const auto with = frame.readOutput();
        instance.effect().setClock({});

        EXPECT_GT(std::count_if(without.begin(), without.end(), [](const PixelRGBA8& p) { return p.a != 0; }), 100);
        int differing = 0;
        for (std::size_t i = 0; i < with.size(); ++i)
            if (with[i] != without[i] && differing++ < 3)
                ADD_FAILURE() << "pixel " << i << " shows " << with[i] << " with the picture, " << without[i]
                              << " without";
        EXPECT_EQ(differing, 0);
    }

    TEST_F(KelvoGLTest, AfterAFewSecondsNearWhiteFlakesShowAndSettleOnTheEdges)
    {
        PictureFrame frame;
        Instance instance(frame.viewport);
        ASSERT_TRUE(instance.isValid());
        instance.setFloat(showImageIndex, 0.0f);
        instance.setFloat(sizeIndex, 1.0f);  // 3x: flakes of up to 27 pixels here
        instance.setFloat(speedIndex, 1.0f); // 3x
        instance.setFloat(amountIndex, 1.0f);
        // Straight down: only the vertical step decides landing, however
        // long the frames of a busy machine get.
        instance.setFloat(spreadIndex, 0.0f);

        const auto coveredPixels = [&frame]
        {
            const auto output = frame.readOutput();
            return std::count_if(output.begin(), output.end(), [](const PixelRGBA8& pixel) { return pixel.a != 0; });
        };
        const auto settledFlakes = [&instance]
        {
            const auto& particles = instance.effect().getSimulation().getParticles();
            return std::count_if(particles.begin(), particles.end(),
                                 [](const kelvo::Particle& p) { return ! p.falling; });
        };

        renderFor(instance, frame, 120); // about 2 s at 3x speed
        // A busy machine's long frames move flakes in steps that more often
        // jump the bar's edge than land on it: it gets more frames, up to a
        // minute, rather than a failure.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while ((settledFlakes() == 0 || coveredPixels() <= 500) && std::chrono::steady_clock::now() < deadline)
            renderFor(instance, frame, 10);

        const auto output = frame.readOutput();
        int covered = 0;
        PixelRGBA8 brightest;
        for (const PixelRGBA8& pixel : output)
        {
            if (pixel.a == 0)
                continue;
            ++covered;
            if (pixel.a > brightest.a)
                brightest = pixel;
            // Blue's hue with little saturation: blue is never the weakest.
            EXPECT_GE(pixel.b + 1, pixel.r);
        }
        EXPECT_GT(covered, 500);
        // Blending with (alpha, 1 - alpha) over transparent black scales
        // colour by alpha; an opaque flake centre stays near white.
        EXPECT_GE(brightest.a, 200) << brightest;
        EXPECT_GE(brightest.r, 200) << brightest;
        EXPECT_GE(brightest.g, 200) << brightest;
        EXPECT_GE(brightest.b, 220) << brightest;

        EXPECT_GT(settledFlakes(), 0);
        EXPECT_GT(instance.effect().getSimulation().getNumEdgePoints(), 0u);
    }

    // At 1024 x 576 the edge pass reads back the lower left 512 x 288; the
    // host's box straddles that area's corner.
    TEST_F(KelvoGLTest, AHostsScissorBoxKeepsEveryPixelOutsideItAsTheHostLeftIt)
    {
        constexpr int wide = 1024, high = 576;
        FFGLHostFrame frame(wide, high, 0.2f, 0.4f, 0.6f);
        vx::test::clearTo(0.1f, 0.9f, 0.3f, 0.5f);
        const PixelRGBA8 hostLeft = vx::test::readPixel(0, 0);
        const PixelRGBA8 input{51, 102, 153, 255};

        Instance instance(frame.viewport);
        ASSERT_TRUE(instance.isValid());
        glEnable(GL_SCISSOR_TEST);
        glScissor(256, 144, 512, 288);
        // A first frame: an edge pass, and the flakes still above the picture.
        ASSERT_EQ(instance(FFGL::processOpenGL, frame.recordWord()), 0u);
        glDisable(GL_SCISSOR_TEST);
        glScissor(0, 0, wide, high);
        EXPECT_EQ(instance.effect().getReadbackBuffer()->width, 512);

        const auto output = vx::test::readPixels(0, 0, wide, high);
        int differing = 0;
        for (int row = 0; row < high; ++row)
            for (int column = 0; column < wide; ++column)
            {
                const bool inside = column >= 256 && column < 768 && row >= 144 && row < 432;
                const PixelRGBA8 shown = output[static_cast<std::size_t>(row * wide + column)];
                const PixelRGBA8 expected = inside ? input : hostLeft;
                if (! vx::test::isNear(shown, expected, 1) && differing++ < 5)
                    ADD_FAILURE() << "(" << column << ", " << row << ") shows " << shown << ", not " << expected;
            }
        EXPECT_EQ(differing, 0);
    }

    TEST_F(KelvoGLTest, EveryFrameGivesTheHostItsStateBack)
    {
        PictureFrame frame;
        Instance instance(frame.viewport);
        ASSERT_TRUE(instance.isValid());

        // A host with its own state in place, a vertex buffer among it.
        GLuint buffer = 0;
        glGenBuffers(1, &buffer);
        glBindBuffer(GL_ARRAY_BUFFER, buffer);
        glBufferData(GL_ARRAY_BUFFER, 64, nullptr, GL_STATIC_DRAW);
        glViewport(3, 4, 100, 50);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, 10, 0, 10, -1, 1);
        glMatrixMode(GL_TEXTURE);
        glTranslatef(0.5f, 0.0f, 0.0f);
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE, GL_ZERO);

        const HostGLState before = HostGLState::capture();
        for (int i = 0; i < 8; ++i)
        {
            ASSERT_EQ(instance(FFGL::processOpenGL, frame.recordWord()), 0u);
            const HostGLState after = HostGLState::capture();
            EXPECT_EQ(before.differencesTo(after), std::vector<std::string>{}) << "frame " << i;
            if (i == 0)
            {
                // Drawn from the effect's own arrays, not the host's buffer.
                const auto output = frame.readOutput();
                for (const int pixel : {50 * width + 100, 150 * width + 30, 10 * width + 10})
                    EXPECT_TRUE(vx::test::isNear(output[pixel], frame.picture[pixel], 1)) << output[pixel];
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }

        glDisable(GL_BLEND);
        glBlendFunc(GL_ONE, GL_ZERO);
        glLoadIdentity();
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glViewport(0, 0, vx::test::GLTestContext::defaultFramebufferSize,
                   vx::test::GLTestContext::defaultFramebufferSize);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glDeleteBuffers(1, &buffer);
    }

    TEST_F(KelvoGLTest, NonFiniteValuesFromTheHostNeitherBreakAFrameNorStay)
    {
        PictureFrame frame;
        Instance instance(frame.viewport);
        ASSERT_TRUE(instance.isValid());
        const auto display = [&instance](std::uint32_t index)
        { return std::string(FFGL::toPointer<const char>(instance(FFGL::getParameterDisplay, index))); };
        const auto& particles = instance.effect().getSimulation().getParticles();
        const float nan = std::numeric_limits<float>::quiet_NaN();
        const float infinity = std::numeric_limits<float>::infinity();

        // Infinities end at the ends of the range; NaN is kept as it came.
        instance.setFloat(amountIndex, infinity);
        EXPECT_EQ(display(amountIndex), "50.00");
        instance.setFloat(amountIndex, -infinity);
        EXPECT_EQ(display(amountIndex), "1.00");
        for (const std::uint32_t index : {sizeIndex, speedIndex, amountIndex, spreadIndex, thresholdIndex})
            instance.setFloat(index, nan);
        EXPECT_TRUE(std::isnan(FFGL::toFloat(instance(FFGL::getParameter, speedIndex))));

        const HostGLState before = HostGLState::capture();
        const auto renderChecked = [&](const char* stage)
        {
            SCOPED_TRACE(stage);
            for (int i = 0; i < 8; ++i)
            {
                ASSERT_EQ(instance(FFGL::processOpenGL, frame.recordWord()), 0u) << "frame " << i;
                EXPECT_EQ(before.differencesTo(HostGLState::capture()), std::vector<std::string>{});
                // Flakes of a speed that is not a number go at the next update.
                EXPECT_LE(particles.size(), 20u);
                std::this_thread::sleep_for(std::chrono::milliseconds(16));
            }
            const auto output = frame.readOutput();
            EXPECT_TRUE(vx::test::isNear(output[150 * width + 30], frame.picture[150 * width + 30], 1));
        };

        // No amount: nothing spawns.
        renderChecked("all NaN");
        EXPECT_TRUE(particles.empty());
        // Flakes are born, but with no speed, spread or size.
        instance.setFloat(amountIndex, FFGL::toFloat(plugMain(FFGL::getParameterDefault, amountIndex, 0)));
        renderChecked("amount only");

        // Sound values again: flakes born from now on are whole.
        for (const std::uint32_t index : {sizeIndex, speedIndex, spreadIndex, thresholdIndex})
            instance.setFloat(index, FFGL::toFloat(plugMain(FFGL::getParameterDefault, index, 0)));
        renderFor(instance, frame, 3);
        EXPECT_GT(std::count_if(particles.begin(), particles.end(),
                                [](const kelvo::Particle& p)
                                { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.width); }),
                  0);
    }

    struct ResizeCase
    {
        const char* name;
        std::uint32_t width, height;
        int bufferWidth, bufferHeight;
        float aspect;
    };

    class KelvoResizeGLTest : public KelvoGLTest, public testing::WithParamInterface<ResizeCase>
    {
    };

    TEST_P(KelvoResizeGLTest, TheReadbackShrinksByWholeMultiplesOf512)
    {
        const ResizeCase& c = GetParam();
        FFGLViewportStructTag start{0, 0, 64, 64};
        Instance instance(start);
        ASSERT_TRUE(instance.isValid());

        FFGLViewportStructTag viewport{0, 0, c.width, c.height};
        EXPECT_EQ(instance(FFGL::resize, FFGL::fromPointer(&viewport)), 0u);
        const vx::Pixels* buffer = instance.effect().getReadbackBuffer();
        ASSERT_NE(buffer, nullptr);
        EXPECT_EQ(buffer->width, c.bufferWidth);
        EXPECT_EQ(buffer->height, c.bufferHeight);
        EXPECT_EQ(buffer->bytesPerPixel, 1);
        EXPECT_FLOAT_EQ(instance.effect().getSimulation().getAspectRatio(), c.aspect);
    }

    INSTANTIATE_TEST_SUITE_P(Cases, KelvoResizeGLTest,
                             testing::Values(ResizeCase{"FullHD", 1920, 1080, 640, 360, 0.5625f},
                                             ResizeCase{"Divisor1", 1000, 800, 1000, 800, 0.8f},
                                             ResizeCase{"Divisor2", 1024, 768, 512, 384, 0.75f},
                                             ResizeCase{"Portrait", 300, 600, 300, 600, 0.5f},
                                             ResizeCase{"Empty", 0, 0, 0, 0, 1.0f}),
                             [](const auto& info) { return std::string(info.param.name); });

    TEST_F(KelvoGLTest, DisconnectDropsTheFlakesAndConnectRestartsTheTimers)
    {
        PictureFrame frame;
        Instance instance(frame.viewport);
        ASSERT_TRUE(instance.isValid());
        renderFor(instance, frame, 3);
        ASSERT_FALSE(instance.effect().getSimulation().getParticles().empty());
        ASSERT_GT(instance.effect().getLastEdgePassTime(), 0.0);

        EXPECT_EQ(instance(FFGL::disconnect), 0u);
        EXPECT_TRUE(instance.effect().getSimulation().getParticles().empty());
        EXPECT_EQ(instance(FFGL::connect), 0u);
        EXPECT_EQ(instance.effect().getLastEdgePassTime(), 0.0);
        EXPECT_EQ(instance.effect().getSimulation().getLastSpawnTime(), 0.0);

        // The next frame spawns and finds edges at once.
        ASSERT_EQ(instance(FFGL::processOpenGL, frame.recordWord()), 0u);
        EXPECT_FALSE(instance.effect().getSimulation().getParticles().empty());
        EXPECT_GT(instance.effect().getSimulation().getNumEdgePoints(), 0u);
    }

    TEST_F(KelvoGLTest, EachInstanceMeasuresItsFrameFromItsOwnPreviousFrame)
    {
        PictureFrame frame;
        Instance first(frame.viewport);
        Instance second(frame.viewport);
        ASSERT_TRUE(first.isValid());
        ASSERT_TRUE(second.isValid());

        ASSERT_EQ(first(FFGL::processOpenGL, frame.recordWord()), 0u);
        ASSERT_EQ(second(FFGL::processOpenGL, frame.recordWord()), 0u);
        for (int i = 0; i < 3; ++i)
        {
            const double start = vx::getTickCount();
            std::this_thread::sleep_for(std::chrono::milliseconds(15));
            ASSERT_EQ(second(FFGL::processOpenGL, frame.recordWord()), 0u);
            std::this_thread::sleep_for(std::chrono::milliseconds(15));
            ASSERT_EQ(first(FFGL::processOpenGL, frame.recordWord()), 0u);
            // The first instance's frame spans both sleeps; the process-wide
            // clock only saw the time since the second one's frame.
            EXPECT_GE(first.effect().getLastFrameMsecs(), vx::getCurrentTime() - start - 0.001);
            EXPECT_GE(first.effect().getLastFrameMsecs(), 30.0);
            EXPECT_LT(vx::getFrameMsecs(), first.effect().getLastFrameMsecs());
        }
    }

    TEST_F(KelvoGLTest, TheEdgePassRunsAtMostEvery50Ms)
    {
        PictureFrame frame;
        Instance instance(frame.viewport);
        ASSERT_TRUE(instance.isValid());
        ASSERT_EQ(instance(FFGL::processOpenGL, frame.recordWord()), 0u);
        const double firstPass = instance.effect().getLastEdgePassTime();
        ASSERT_GT(firstPass, 0.0);
        const std::size_t points = instance.effect().getSimulation().getNumEdgePoints();
        ASSERT_GT(points, 0u);

        ASSERT_EQ(instance(FFGL::processOpenGL, frame.recordWord()), 0u);
        if (vx::getTickCount() - firstPass <= 50.0)
        {
            EXPECT_EQ(instance.effect().getLastEdgePassTime(), firstPass);
        }

        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        ASSERT_EQ(instance(FFGL::processOpenGL, frame.recordWord()), 0u);
        EXPECT_GT(instance.effect().getLastEdgePassTime(), firstPass + 50.0);
        EXPECT_EQ(instance.effect().getSimulation().getNumEdgePoints(), points);
    }

    TEST_F(KelvoGLTest, InstancesEndInAnyOrderAndANewOneStartsAfterAll)
    {
        PictureFrame frame;
        for (const bool firstEndsFirst : {true, false})
        {
            SCOPED_TRACE(firstEndsFirst ? "first ends first" : "second ends first");
            Instance first(frame.viewport);
            Instance second(frame.viewport);
            ASSERT_TRUE(first.isValid());
            ASSERT_TRUE(second.isValid());
            EXPECT_EQ(first(FFGL::processOpenGL, frame.recordWord()), 0u);
            EXPECT_EQ(second(FFGL::processOpenGL, frame.recordWord()), 0u);

            Instance& ending = firstEndsFirst ? first : second;
            Instance& staying = firstEndsFirst ? second : first;
            ending.end();
            EXPECT_EQ(staying(FFGL::processOpenGL, frame.recordWord()), 0u);
            EXPECT_TRUE(vx::test::isNear(frame.readOutput()[50 * width + 100], PixelRGBA8{255, 255, 255, 255}, 1));
            staying.end();
            plugMain(FFGL::deInitialise, 0, 0);
        }

        // Everything ended: a new instance starts the engine's GL again.
        Instance again(frame.viewport);
        ASSERT_TRUE(again.isValid());
        EXPECT_EQ(again(FFGL::processOpenGL, frame.recordWord()), 0u);
        EXPECT_TRUE(vx::test::isNear(frame.readOutput()[150 * width + 30], frame.picture[150 * width + 30], 1));
    }

    // ---- Hosts' GL state: each scenario's host leaves a piece of state of
    // its own, and gets it back with no error, while the picture and the
    // edges found are a clean host's.

    // What a scenario's host made, ended by its tear-down.
    struct HostObjects
    {
        GLuint program = 0, vertexArray = 0, buffers[2] = {};
        GLuint framebuffer = 0, renderbuffer = 0, texture = 0;
        GLuint sampler = 0, query = 0;
        GLuint drawnTexture = 0; // what the host draws into, when not the frame's output texture
        bool multisampled = false;
    };

    struct HostScenario
    {
        const char* name;
        void (*setUp)(HostObjects&, PictureFrame&);
        void (*tearDown)(HostObjects&, PictureFrame&);
        bool hostDraws; // a quad with its own program and arrays, before and after the frame
        // What the host sees of state no query tells (null: nothing), before
        // and after the frame alike.
        int (*hostSees)(const HostObjects&);
    };

    void PrintTo(const HostScenario& c, std::ostream* os)
    {
        *os << c.name;
    }

    GLuint buildProgram(const char* vertexSource, const char* capturedOutput = nullptr)
    {
        const char* const fragmentSource =
            "#version 410 compatibility\nout vec4 colour;\nvoid main() { colour = vec4(1.0); }\n";
        const GLuint program = glCreateProgram();
        for (const auto& [type, source] :
             {std::pair{GL_VERTEX_SHADER, vertexSource}, {GL_FRAGMENT_SHADER, fragmentSource}})
        {
            const GLuint shader = glCreateShader(type);
            glShaderSource(shader, 1, &source, nullptr);
            glCompileShader(shader);
            glAttachShader(program, shader);
            glDeleteShader(shader);
        }
        glBindAttribLocation(program, 1, "position");
        if (capturedOutput != nullptr)
            glTransformFeedbackVaryings(program, 1, &capturedOutput, GL_INTERLEAVED_ATTRIBS);
        glLinkProgram(program);
        GLint linked = 0;
        glGetProgramiv(program, GL_LINK_STATUS, &linked);
        EXPECT_EQ(linked, GL_TRUE);
        return program;
    }

    constexpr int quadSize = 64;

    // Pixels the host's quad covers in a framebuffer of its own, drawn
    // with its program from the arrays bound now.
    int hostQuadPixels(const HostObjects& host, bool elements)
    {
        const vx::test::ScopedTestFramebuffer target(quadSize, quadSize);
        vx::test::clearTo(0.0f, 0.0f, 0.0f, 0.0f);
        glUseProgram(host.program);
        if (elements)
            glDrawElements(GL_TRIANGLE_FAN, 4, GL_UNSIGNED_SHORT, nullptr);
        else
            glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
        glUseProgram(0);
        const auto pixels = vx::test::readPixels(0, 0, quadSize, quadSize);
        return static_cast<int>(
            std::count_if(pixels.begin(), pixels.end(), [](const PixelRGBA8& p) { return p.r != 0; }));
    }

    // A 64-bit position read through a binding point of its own, at offsets
    // in the buffer and in the vertex.
    void separateAttributeFormat(HostObjects& host, PictureFrame&)
    {
        host.program = buildProgram("#version 410 compatibility\nin dvec2 position;\n"
                                    "void main() { gl_Position = vec4(vec2(position), 0.0, 1.0); }\n");
        std::vector<double> data = {7.0, 7.0};
        for (const auto& [x, y] : {std::pair{-1.0, -1.0}, {1.0, -1.0}, {1.0, 1.0}, {-1.0, 1.0}})
            data.insert(data.end(), {9.0, x, y});
        glGenBuffers(1, host.buffers);
        glBindBuffer(GL_ARRAY_BUFFER, host.buffers[0]);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(data.size() * sizeof(double)), data.data(),
                     GL_STATIC_DRAW);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glVertexAttribLFormat(1, 2, GL_DOUBLE, sizeof(double));
        glVertexAttribBinding(1, 5);
        glBindVertexBuffer(5, host.buffers[0], 2 * sizeof(double), 3 * sizeof(double));
        glEnableVertexAttribArray(1);
    }

    void separateAttributeFormatOff(HostObjects& host, PictureFrame&)
    {
        glDisableVertexAttribArray(1);
        glVertexAttribFormat(1, 4, GL_FLOAT, GL_FALSE, 0);
        glVertexAttribBinding(1, 1);
        glBindVertexBuffer(5, 0, 0, 16);
        glDeleteBuffers(1, host.buffers);
        glDeleteProgram(host.program);
    }

    // The host's vertex array object holds its buffers by object only: their
    // names were deleted while another object was bound.
    void vertexArrayOfDeletedNames(HostObjects& host, PictureFrame&)
    {
        host.program = buildProgram("#version 410 compatibility\nin vec2 position;\n"
                                    "void main() { gl_Position = vec4(position, 0.0, 1.0); }\n");
        const float corners[8] = {-1.0f, -1.0f, 1.0f, -1.0f, 1.0f, 1.0f, -1.0f, 1.0f};
        const GLushort indices[4] = {0, 1, 2, 3};
        glGenVertexArrays(1, &host.vertexArray);
        glBindVertexArray(host.vertexArray);
        glGenBuffers(2, host.buffers);
        glBindBuffer(GL_ARRAY_BUFFER, host.buffers[0]);
        glBufferData(GL_ARRAY_BUFFER, sizeof corners, corners, GL_STATIC_DRAW);
        glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
        glEnableVertexAttribArray(1);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, host.buffers[1]);
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, sizeof indices, indices, GL_STATIC_DRAW);
        glBindVertexArray(0);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glDeleteBuffers(2, host.buffers);
        glBindVertexArray(host.vertexArray);
    }

    void vertexArrayOff(HostObjects& host, PictureFrame&)
    {
        glBindVertexArray(0);
        glDeleteVertexArrays(1, &host.vertexArray);
        if (host.program != 0)
            glDeleteProgram(host.program);
    }

    void emptyVertexArray(HostObjects& host, PictureFrame&)
    {
        glGenVertexArrays(1, &host.vertexArray);
        glBindVertexArray(host.vertexArray);
    }

    // Unit 0's texture coordinates turned upside down, unit 1 active.
    void flipOnUnitZeroUnitOneActive(HostObjects&, PictureFrame&)
    {
        glMatrixMode(GL_TEXTURE);
        glTranslatef(0.0f, 1.0f, 0.0f);
        glScalef(1.0f, -1.0f, 1.0f);
        glMatrixMode(GL_MODELVIEW);
        glActiveTexture(GL_TEXTURE1);
    }

    void flipOff(HostObjects&, PictureFrame&)
    {
        glActiveTexture(GL_TEXTURE0);
        glMatrixMode(GL_TEXTURE);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
    }

    // The modelview, projection, unit 0 texture and client attribute stacks
    // full, each level its own matrix.
    void fullStacks(HostObjects&, PictureFrame&)
    {
        for (const auto& [mode, maximum] : {std::pair{GL_MODELVIEW, GL_MAX_MODELVIEW_STACK_DEPTH},
                                            {GL_PROJECTION, GL_MAX_PROJECTION_STACK_DEPTH},
                                            {GL_TEXTURE, GL_MAX_TEXTURE_STACK_DEPTH}})
        {
            glMatrixMode(mode);
            for (int level = 1; level < vx::test::getInteger(maximum); ++level)
            {
                glPushMatrix();
                glTranslatef(0.125f * static_cast<float>(level), 0.0f, 0.0f);
            }
        }
        glMatrixMode(GL_MODELVIEW);
        while (vx::test::getInteger(GL_CLIENT_ATTRIB_STACK_DEPTH) <
               vx::test::getInteger(GL_MAX_CLIENT_ATTRIB_STACK_DEPTH))
            glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    }

    void fullStacksOff(HostObjects&, PictureFrame&)
    {
        for (const auto& [mode, depth] : {std::pair{GL_TEXTURE, GL_TEXTURE_STACK_DEPTH},
                                          {GL_PROJECTION, GL_PROJECTION_STACK_DEPTH},
                                          {GL_MODELVIEW, GL_MODELVIEW_STACK_DEPTH}})
        {
            glMatrixMode(mode);
            while (vx::test::getInteger(depth) > 1)
                glPopMatrix();
            glLoadIdentity();
        }
        while (vx::test::getInteger(GL_CLIENT_ATTRIB_STACK_DEPTH) > 0)
            glPopClientAttrib();
    }

    // Another layer, opaque white, bound for reading; the frame's framebuffer
    // for drawing.
    void anotherLayerForReading(HostObjects& host, PictureFrame&)
    {
        const GLint drawing = vx::test::getInteger(GL_DRAW_FRAMEBUFFER_BINDING);
        glGenTextures(1, &host.texture);
        glBindTexture(GL_TEXTURE_2D, host.texture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        glBindTexture(GL_TEXTURE_2D, 0);
        glGenFramebuffers(1, &host.framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, host.framebuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, host.texture, 0);
        vx::test::clearTo(1.0f, 1.0f, 1.0f, 1.0f);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(drawing));
    }

    void anotherLayerOff(HostObjects& host, PictureFrame& frame)
    {
        glBindFramebuffer(GL_FRAMEBUFFER, frame.record.HostFBO);
        glDeleteFramebuffers(1, &host.framebuffer);
        glDeleteTextures(1, &host.texture);
    }

    // The frame's framebuffer has four samples per pixel.
    void multisampledFramebuffer(HostObjects& host, PictureFrame& frame)
    {
        glGenRenderbuffers(1, &host.renderbuffer);
        glBindRenderbuffer(GL_RENDERBUFFER, host.renderbuffer);
        glRenderbufferStorageMultisample(GL_RENDERBUFFER, 4, GL_RGBA8, width, height);
        glBindRenderbuffer(GL_RENDERBUFFER, 0);
        glGenFramebuffers(1, &host.framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, host.framebuffer);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, host.renderbuffer);
        vx::test::clearTo(0.0f, 0.0f, 0.0f, 0.0f);
        frame.record.HostFBO = host.framebuffer;
        host.multisampled = true;
    }

    void multisampledOff(HostObjects& host, PictureFrame& frame)
    {
        frame.record.HostFBO = frame.output->getFramebuffer();
        glBindFramebuffer(GL_FRAMEBUFFER, frame.record.HostFBO);
        glDeleteFramebuffers(1, &host.framebuffer);
        glDeleteRenderbuffers(1, &host.renderbuffer);
    }

    void nothing(HostObjects&, PictureFrame&)
    {
    }

    // A sampler object whose filter asks for mipmaps the input lacks, on
    // unit 0.
    void samplerWithMipmapFilter(HostObjects& host, PictureFrame&)
    {
        glGenSamplers(1, &host.sampler);
        glSamplerParameteri(host.sampler, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        glBindSampler(0, host.sampler);
    }

    void samplerOff(HostObjects& host, PictureFrame&)
    {
        glBindSampler(0, 0);
        glDeleteSamplers(1, &host.sampler);
    }

    // The host draws into a second attachment; the first holds another
    // layer, opaque white, and stays the read buffer.
    void drawingIntoTheSecondAttachment(HostObjects& host, PictureFrame&)
    {
        glGenTextures(1, &host.drawnTexture);
        glBindTexture(GL_TEXTURE_2D, host.drawnTexture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        glBindTexture(GL_TEXTURE_2D, 0);
        glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT1, GL_TEXTURE_2D, host.drawnTexture, 0);
        vx::test::clearTo(1.0f, 1.0f, 1.0f, 1.0f);
        glDrawBuffer(GL_COLOR_ATTACHMENT1);
        vx::test::clearTo(0.0f, 0.0f, 0.0f, 0.0f);
    }

    void secondAttachmentOff(HostObjects& host, PictureFrame& frame)
    {
        glBindFramebuffer(GL_FRAMEBUFFER, frame.record.HostFBO);
        glDrawBuffer(GL_COLOR_ATTACHMENT0);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT1, GL_TEXTURE_2D, 0, 0);
        glDeleteTextures(1, &host.drawnTexture);
    }

    void secondAttachmentAnotherLayerForReading(HostObjects& host, PictureFrame& frame)
    {
        drawingIntoTheSecondAttachment(host, frame);
        anotherLayerForReading(host, frame);
    }

    void secondAttachmentAnotherLayerOff(HostObjects& host, PictureFrame& frame)
    {
        anotherLayerOff(host, frame);
        secondAttachmentOff(host, frame);
    }

    // Two draw buffers: the second adds, the first keeps the alpha blend's
    // factors (one equation for both).
    void blendPerDrawBuffer(HostObjects& host, PictureFrame& frame)
    {
        drawingIntoTheSecondAttachment(host, frame);
        const GLenum both[2] = {GL_COLOR_ATTACHMENT0, GL_COLOR_ATTACHMENT1};
        glDrawBuffers(2, both);
        // The picture is read from the first.
        host.texture = std::exchange(host.drawnTexture, 0u);
        glBlendFunci(0, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glBlendFunci(1, GL_ONE, GL_ONE);
    }

    void blendOff(HostObjects& host, PictureFrame& frame)
    {
        glBlendFunc(GL_ONE, GL_ZERO);
        host.drawnTexture = host.texture;
        secondAttachmentOff(host, frame);
    }

    void clipOriginUpperLeft(HostObjects&, PictureFrame&)
    {
        glClipControl(GL_UPPER_LEFT, GL_ZERO_TO_ONE);
    }

    void clipOriginOff(HostObjects&, PictureFrame&)
    {
        glClipControl(GL_LOWER_LEFT, GL_NEGATIVE_ONE_TO_ONE);
    }

    void depthTestOverADepthBuffer(HostObjects& host, PictureFrame&)
    {
        glGenRenderbuffers(1, &host.renderbuffer);
        glBindRenderbuffer(GL_RENDERBUFFER, host.renderbuffer);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
        glBindRenderbuffer(GL_RENDERBUFFER, 0);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, host.renderbuffer);
        glClear(GL_DEPTH_BUFFER_BIT);
        glEnable(GL_DEPTH_TEST);
    }

    void depthTestOff(HostObjects& host, PictureFrame&)
    {
        glDisable(GL_DEPTH_TEST);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, 0);
        glDeleteRenderbuffers(1, &host.renderbuffer);
    }

    void cullingWithClockwiseFrontFaces(HostObjects&, PictureFrame&)
    {
        glEnable(GL_CULL_FACE);
        glFrontFace(GL_CW);
    }

    void cullingOff(HostObjects&, PictureFrame&)
    {
        glFrontFace(GL_CCW);
        glDisable(GL_CULL_FACE);
    }

    void rasterizerDiscard(HostObjects&, PictureFrame&)
    {
        glEnable(GL_RASTERIZER_DISCARD);
    }

    void rasterizerDiscardOff(HostObjects&, PictureFrame&)
    {
        glDisable(GL_RASTERIZER_DISCARD);
    }

    // Conditional on a count of samples that passed none: every draw is
    // discarded.
    void conditionalRenderingThatDiscards(HostObjects& host, PictureFrame&)
    {
        glGenQueries(1, &host.query);
        glBeginQuery(GL_SAMPLES_PASSED, host.query);
        glEndQuery(GL_SAMPLES_PASSED);
        glBeginConditionalRender(host.query, GL_QUERY_WAIT);
    }

    void conditionalRenderingOff(HostObjects& host, PictureFrame&)
    {
        glEndConditionalRender();
        glDeleteQueries(1, &host.query);
    }

    // Pixels a white rectangle of the host covers in a framebuffer of its own.
    int hostRectanglePixels(const HostObjects&)
    {
        const vx::test::ScopedTestFramebuffer target(quadSize, quadSize);
        vx::test::clearTo(0.0f, 0.0f, 0.0f, 0.0f);
        glRectf(-1.0f, -1.0f, 1.0f, 1.0f);
        const auto pixels = vx::test::readPixels(0, 0, quadSize, quadSize);
        return static_cast<int>(
            std::count_if(pixels.begin(), pixels.end(), [](const PixelRGBA8& p) { return p.r != 0; }));
    }

    // On a multisampled framebuffer, where the mask decides.
    void zeroSampleMask(HostObjects& host, PictureFrame& frame)
    {
        multisampledFramebuffer(host, frame);
        glEnable(GL_SAMPLE_MASK);
        glSampleMaski(0, 0u);
    }

    void sampleMaskOff(HostObjects& host, PictureFrame& frame)
    {
        glSampleMaski(0, ~0u);
        glDisable(GL_SAMPLE_MASK);
        multisampledOff(host, frame);
    }

    // Keeps x >= 0: the right half.
    void userClipPlane(HostObjects&, PictureFrame&)
    {
        const GLdouble rightHalf[4] = {1.0, 0.0, 0.0, 0.0};
        glClipPlane(GL_CLIP_PLANE0, rightHalf);
        glEnable(GL_CLIP_PLANE0);
    }

    void clipPlaneOff(HostObjects&, PictureFrame&)
    {
        const GLdouble none[4] = {0.0, 0.0, 0.0, 0.0};
        glDisable(GL_CLIP_PLANE0);
        glClipPlane(GL_CLIP_PLANE0, none);
    }

    void polygonModeLine(HostObjects&, PictureFrame&)
    {
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    }

    void polygonModeOff(HostObjects&, PictureFrame&)
    {
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    }

    // Coordinates s and t from the vertex's x and y (the default planes).
    void textureGenerationOnUnitZero(HostObjects&, PictureFrame&)
    {
        glEnable(GL_TEXTURE_GEN_S);
        glEnable(GL_TEXTURE_GEN_T);
    }

    void textureGenerationOff(HostObjects&, PictureFrame&)
    {
        glDisable(GL_TEXTURE_GEN_T);
        glDisable(GL_TEXTURE_GEN_S);
    }

    // The host's program records points into a buffer.
    void transformFeedbackOfPoints(HostObjects& host, PictureFrame&)
    {
        host.program = buildProgram("#version 410 compatibility\nout float captured;\n"
                                    "void main() { captured = 1.0; gl_Position = vec4(0.0, 0.0, 0.0, 1.0); }\n",
                                    "captured");
        glGenBuffers(1, host.buffers);
        glBindBufferBase(GL_TRANSFORM_FEEDBACK_BUFFER, 0, host.buffers[0]);
        glBufferData(GL_TRANSFORM_FEEDBACK_BUFFER, 4096, nullptr, GL_STREAM_COPY);
        glUseProgram(host.program);
        glBeginTransformFeedback(GL_POINTS);
    }

    void transformFeedbackOff(HostObjects& host, PictureFrame&)
    {
        glEndTransformFeedback();
        glUseProgram(0);
        glBindBufferBase(GL_TRANSFORM_FEEDBACK_BUFFER, 0, 0);
        glBindBuffer(GL_TRANSFORM_FEEDBACK_BUFFER, 0);
        glDeleteBuffers(1, host.buffers);
        glDeleteProgram(host.program);
    }

    const HostScenario hostScenarios[] = {
        {"SeparateAttributeFormat", separateAttributeFormat, separateAttributeFormatOff, true, nullptr},
        {"VertexArrayOfDeletedBufferNames", vertexArrayOfDeletedNames, vertexArrayOff, true, nullptr},
        {"EmptyVertexArrayBound", emptyVertexArray, vertexArrayOff, false, nullptr},
        {"FlipOnUnitZeroUnitOneActive", flipOnUnitZeroUnitOneActive, flipOff, false, nullptr},
        {"FullMatrixAndClientStacks", fullStacks, fullStacksOff, false, nullptr},
        {"AnotherLayerBoundForReading", anotherLayerForReading, anotherLayerOff, false, nullptr},
        {"MultisampledFramebuffer", multisampledFramebuffer, multisampledOff, false, nullptr},
        {"SamplerWithMipmapFilterOnUnitZero", samplerWithMipmapFilter, samplerOff, false, nullptr},
        {"DrawingIntoTheSecondAttachment", drawingIntoTheSecondAttachment, secondAttachmentOff, false, nullptr},
        {"SecondAttachmentAnotherLayerForReading", secondAttachmentAnotherLayerForReading,
         secondAttachmentAnotherLayerOff, false, nullptr},
        {"BlendPerDrawBuffer", blendPerDrawBuffer, blendOff, false, nullptr},
        {"ClipOriginUpperLeft", clipOriginUpperLeft, clipOriginOff, false, nullptr},
        {"DepthTestOverADepthBuffer", depthTestOverADepthBuffer, depthTestOff, false, nullptr},
        {"CullingWithClockwiseFrontFaces", cullingWithClockwiseFrontFaces, cullingOff, false, nullptr},
        {"RasterizerDiscard", rasterizerDiscard, rasterizerDiscardOff, false, nullptr},
        {"ConditionalRenderingThatDiscards", conditionalRenderingThatDiscards, conditionalRenderingOff, false,
         hostRectanglePixels},
        {"ZeroSampleMask", zeroSampleMask, sampleMaskOff, false, nullptr},
        {"UserClipPlane", userClipPlane, clipPlaneOff, false, nullptr},
        {"PolygonModeLine", polygonModeLine, polygonModeOff, false, nullptr},
        {"TextureGenerationOnUnitZero", textureGenerationOnUnitZero, textureGenerationOff, false, nullptr},
        {"TransformFeedbackOfPoints", transformFeedbackOfPoints, transformFeedbackOff, false, nullptr},
        {"Clean", nothing, nothing, false, nullptr},
    };

    // What the frame drew (resolved first from a multisampled framebuffer),
    // read before the host's tear-down.
    std::vector<PixelRGBA8> drawnPicture(const HostObjects& host, PictureFrame& frame)
    {
        if (host.multisampled)
        {
            const GLint read = vx::test::getInteger(GL_READ_FRAMEBUFFER_BINDING);
            const GLint draw = vx::test::getInteger(GL_DRAW_FRAMEBUFFER_BINDING);
            glBindFramebuffer(GL_READ_FRAMEBUFFER, host.framebuffer);
            glBindFramebuffer(GL_DRAW_FRAMEBUFFER, frame.output->getFramebuffer());
            glBlitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
            glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(read));
            glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(draw));
        }
        return vx::test::readTexture(GL_TEXTURE_2D,
                                     host.drawnTexture != 0 ? host.drawnTexture : frame.output->getTexture());
    }

    // Frames of a tenth of a second on a held clock, from a fixed seed, with
    // the largest, fastest and most flakes: by the last one flakes are down
    // over the picture. The scenario's host (if any) leaves its state for
    // every frame and gets it back. Answers the last frame's picture.
    std::vector<PixelRGBA8> fallingFlakes(PictureFrame& frame, const HostScenario* scenario)
    {
        std::srand(29);
        Instance instance(frame.viewport);
        if (! instance.isValid())
        {
            ADD_FAILURE() << "no instance";
            return {};
        }
        for (const std::uint32_t index : {sizeIndex, speedIndex, amountIndex})
            instance.setFloat(index, 1.0f);
        double now = 1000.0;
        instance.effect().setClock([&now] { return now; });
        HostObjects host;
        if (scenario != nullptr)
            scenario->setUp(host, frame);
        const HostGLState before = HostGLState::capture();
        for (int i = 0; i < 12; ++i)
        {
            now += 100.0;
            EXPECT_EQ(instance(FFGL::processOpenGL, frame.recordWord()), 0u) << "frame " << i;
        }
        EXPECT_EQ(before.differencesTo(HostGLState::capture()), std::vector<std::string>{});
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        auto picture = drawnPicture(host, frame);
        if (scenario != nullptr)
            scenario->tearDown(host, frame);
        instance.effect().setClock({});
        return picture;
    }

    class KelvoHostStateGLTest : public KelvoGLTest, public testing::WithParamInterface<HostScenario>
    {
    };

    TEST_P(KelvoHostStateGLTest, TheHostGetsItsStateBackAndTheFrameIsAsOnACleanHost)
    {
        const HostScenario& c = GetParam();
        PictureFrame frame;
        std::size_t cleanEdgePoints = 0;
        {
            Instance clean(frame.viewport);
            ASSERT_TRUE(clean.isValid());
            ASSERT_EQ(clean(FFGL::processOpenGL, frame.recordWord()), 0u);
            cleanEdgePoints = clean.effect().getSimulation().getNumEdgePoints();
        }
        ASSERT_GT(cleanEdgePoints, 0u);
        vx::test::clearTo(0.0f, 0.0f, 0.0f, 0.0f);

        Instance instance(frame.viewport);
        ASSERT_TRUE(instance.isValid());
        HostObjects host;
        c.setUp(host, frame);
        const bool elements = host.vertexArray != 0;
        if (c.hostDraws)
        {
            EXPECT_EQ(hostQuadPixels(host, elements), quadSize * quadSize) << "before the frame";
        }
        const int seenBefore = c.hostSees != nullptr ? c.hostSees(host) : 0;
        const HostGLState before = HostGLState::capture();
        // A first frame: an edge pass, and the flakes still above the picture.
        EXPECT_EQ(instance(FFGL::processOpenGL, frame.recordWord()), 0u);
        EXPECT_EQ(before.differencesTo(HostGLState::capture()), std::vector<std::string>{});
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        if (c.hostSees != nullptr)
        {
            EXPECT_EQ(c.hostSees(host), seenBefore);
        }
        if (c.hostDraws)
        {
            EXPECT_EQ(hostQuadPixels(host, elements), quadSize * quadSize) << "after the frame";
        }

        const auto output = drawnPicture(host, frame);
        c.tearDown(host, frame);
        EXPECT_EQ(instance.effect().getSimulation().getNumEdgePoints(), cleanEdgePoints);
        int differing = 0;
        for (std::size_t i = 0; i < output.size(); ++i)
            if (! vx::test::isNear(output[i], frame.picture[i], 1) && differing++ < 3)
                ADD_FAILURE() << "pixel " << i << " shows " << output[i] << ", not " << frame.picture[i];
        EXPECT_EQ(differing, 0);
    }

    // Flakes fall, settle and draw as on a clean host; a multisampled
    // framebuffer smooths their edges, so it is left out.
    TEST_P(KelvoHostStateGLTest, TheFlakesFallAsOnACleanHost)
    {
        const HostScenario& c = GetParam();
        if (c.setUp == multisampledFramebuffer || c.setUp == zeroSampleMask)
            GTEST_SKIP() << "multisampled flake edges differ from a single-sampled frame's";
        PictureFrame frame;
        const auto clean = fallingFlakes(frame, nullptr);
        int flakePixels = 0;
        for (std::size_t i = 0; i < clean.size(); ++i)
            flakePixels += vx::test::isNear(clean[i], frame.picture[i], 1) ? 0 : 1;
        ASSERT_GT(flakePixels, 500);
        vx::test::clearTo(0.0f, 0.0f, 0.0f, 0.0f);
        const auto output = fallingFlakes(frame, &c);
        int differing = 0;
        for (std::size_t i = 0; i < output.size(); ++i)
            if (output[i] != clean[i] && differing++ < 3)
                ADD_FAILURE() << "pixel " << i << " shows " << output[i] << ", a clean host's " << clean[i];
        EXPECT_EQ(differing, 0);
    }

    INSTANTIATE_TEST_SUITE_P(Cases, KelvoHostStateGLTest, testing::ValuesIn(hostScenarios),
                             [](const auto& info) { return std::string(info.param.name); });

    // A frame's state takes one level of the attribute stack: on a full
    // stack the frame is refused, and every level stays the host's.
    TEST_F(KelvoGLTest, AFullAttributeStackRefusesTheFrameAndKeepsEveryLevel)
    {
        PictureFrame frame;
        Instance instance(frame.viewport);
        ASSERT_TRUE(instance.isValid());
        const int maximum = vx::test::getInteger(GL_MAX_ATTRIB_STACK_DEPTH);
        for (int level = 0; level < maximum; ++level)
        {
            glPointSize(static_cast<float>(level + 2));
            glPushAttrib(GL_POINT_BIT);
        }
        glPointSize(64.0f);
        const HostGLState before = HostGLState::capture();
        vx::test::LogRecorder log;
        EXPECT_EQ(instance(FFGL::processOpenGL, frame.recordWord()), failWord);
        EXPECT_EQ(instance(FFGL::processOpenGL, frame.recordWord()), failWord);
        EXPECT_EQ(before.differencesTo(HostGLState::capture()), std::vector<std::string>{});
        EXPECT_EQ(log.lines().size(), 1u) << log.dump();
        EXPECT_TRUE(log.contains("The host's attribute stack is full")) << log.dump();
        for (int level = maximum - 1; level >= 0; --level)
        {
            glPopAttrib();
            GLfloat size = 0.0f;
            glGetFloatv(GL_POINT_SIZE, &size);
            EXPECT_EQ(size, static_cast<float>(level + 2)) << "level " << level;
        }
        glPointSize(1.0f);

        // With room again, frames are drawn.
        EXPECT_EQ(instance(FFGL::processOpenGL, frame.recordWord()), 0u);
    }

    // An input the effect cannot draw from: the frame is refused with one
    // line, however many come, and the host's state and error flag stay.
    TEST_F(KelvoGLTest, ARectangleTextureInputRefusesTheFrameWithOneLine)
    {
        PictureFrame frame;
        GLuint rectangle = 0;
        glGenTextures(1, &rectangle);
        glBindTexture(GL_TEXTURE_RECTANGLE, rectangle);
        glTexImage2D(GL_TEXTURE_RECTANGLE, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     frame.picture.data());
        glBindTexture(GL_TEXTURE_RECTANGLE, 0);
        frame.texture.Handle = rectangle;

        Instance instance(frame.viewport);
        ASSERT_TRUE(instance.isValid());
        const HostGLState before = HostGLState::capture();
        vx::test::LogRecorder log;
        EXPECT_EQ(instance(FFGL::processOpenGL, frame.recordWord()), failWord);
        EXPECT_EQ(instance(FFGL::processOpenGL, frame.recordWord()), failWord);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        EXPECT_EQ(before.differencesTo(HostGLState::capture()), std::vector<std::string>{});
        EXPECT_EQ(log.lines().size(), 1u) << log.dump();
        EXPECT_TRUE(log.contains("is not a 2D texture")) << log.dump();
        for (const PixelRGBA8& pixel : frame.readOutput())
            ASSERT_EQ(pixel, (PixelRGBA8{0, 0, 0, 0}));

        // A 2D input again: frames are drawn.
        frame.texture.Handle = frame.input->getTexture();
        EXPECT_EQ(instance(FFGL::processOpenGL, frame.recordWord()), 0u);
        glDeleteTextures(1, &rectangle);
    }
}
