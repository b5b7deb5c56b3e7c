#include "FFGLPlugin.h"

#include "FlakeSprite.h"

#include "core/VXColor.h"
#include "core/VXLog.h"
#include "core/VXTime.h"
#include "core/parameters/VXParam.h"
#include "core/parameters/VXParamRange.h"
#include "core/parameters/VXValueRange.h"
#include "engine/ffgl/FFGLPluginInfo.h"
#include "engine/ffgl/VXFFGLPlugin.h"
#include "engine/gfx/VXGfxObject.h"
#include "engine/gfx/VXGfxUtils.h"
#include "engine/gfx/VXRenderContext.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXScopedFramebufferBinding.h"
#include "engine/gfx/VXScopedNoArrayBuffer.h"
#include "engine/gfx/VXScopedScissorState.h"
#include "engine/gfx/VXScopedTextureBinding.h"
#include "engine/gfx/VXScopedTextureEnvironment.h"
#include "engine/gfx/VXScopedUnpackState.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/formats/VXImageUtils.h"
#include "engine/video/formats/VXPixels.h"
#include "engine/video/formats/VXPixelsUtils.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <optional>

namespace
{
    const char* const edgeVertexShader = R"(
void main()
{
    gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex;
    gl_TexCoord[0] = gl_MultiTexCoord0;
    gl_FrontColor = gl_Color;
}
)";

    // Sobel over the nine neighbours c[3i + j], i - 1 the horizontal and
    // j - 1 the vertical offset in pixels of the reduced picture.
    const char* const edgeFragmentShader = R"(
uniform sampler2D texture;
uniform vec2 iResolution;
uniform float threshold;
const vec3 grayScaleWeights = vec3(0.3588, 0.4020, 0.2392);

void main()
{
    vec2 position = gl_TexCoord[0].xy * iResolution;
    vec3 c[9];
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            c[3 * i + j] = texture2D(texture, (position + vec2(float(i - 1), float(j - 1))) / iResolution).rgb;
    vec3 gx = 2.0 * (c[7] - c[1]) + c[6] + c[8] - c[2] - c[0];
    vec3 gy = 2.0 * (c[3] - c[5]) + c[6] + c[0] - c[2] - c[8];
    float l = dot(sqrt(gx * gx + gy * gy), grayScaleWeights);
    gl_FragColor = l >= threshold ? vec4(l, l, l, 1.0) : vec4(0.0, 0.0, 0.0, 0.0);
}
)";

    const char* const particleVertexShader = R"(
varying vec2 pos;

void main()
{
    gl_Position = ftransform();
    pos = gl_Vertex.xy;
}
)";

    const char* const particleFragmentShader = R"(
uniform sampler2D texture;
varying vec2 pos;

void main()
{
    gl_FragColor = texture2D(texture, pos);
}
)";

    CFFGLPluginInfo pluginInfo(createPluginInstance, "A189", "Kelvo", 1, 500, 1, 0, FFGL::pluginEffect, "Kelvo",
                               "Quarlite");

    // One quad over (x, y, w, h) with the texture's used area; under the
    // effect's y-down projection flip false draws the picture upright.
    void drawTextureLocal(const vx::Texture& texture, float x, float y, float w, float h, bool flip)
    {
        const vx::ScopedNoArrayBuffer noArrayBuffer;
        const float u = texture.getMaxU();
        const float v = texture.getMaxV();
        const float corners[8] = {x, y, x, y + h, x + w, y + h, x + w, y};
        const float upright[8] = {0.0f, v, 0.0f, 0.0f, u, 0.0f, u, v};
        const float flipped[8] = {0.0f, 0.0f, 0.0f, v, u, v, u, 0.0f};

        glClientActiveTexture(GL_TEXTURE0);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, 0, flip ? flipped : upright);
        glEnableClientState(GL_VERTEX_ARRAY);
        glVertexPointer(2, GL_FLOAT, 0, corners);
        glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
        glDisableClientState(GL_VERTEX_ARRAY);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }

    // Whether drawing the picture premultiplied, blending off, writes what
    // the alpha blend over transparent black writes: the host's blend
    // equations add or subtract the destination's term, which is zero there,
    // and nothing after texture unit 0 sees the colour or alpha it gives (no
    // other unit, colour sum, alpha test, fog, coverage or logic op), nor
    // gives the colour other than the white set (lighting, a colour array,
    // the host's assembly programs).
    bool premultipliedIsTheBlend()
    {
        GLint rgbEquation = 0, alphaEquation = 0;
        glGetIntegerv(GL_BLEND_EQUATION_RGB, &rgbEquation);
        glGetIntegerv(GL_BLEND_EQUATION_ALPHA, &alphaEquation);
        const auto keepsSourceTerm = [](GLint equation)
        { return equation == GL_FUNC_ADD || equation == GL_FUNC_SUBTRACT; };
        if (! keepsSourceTerm(rgbEquation) || ! keepsSourceTerm(alphaEquation))
            return false;
        for (const GLenum capability :
             {GL_ALPHA_TEST, GL_FOG, GL_COLOR_LOGIC_OP, GL_LIGHTING, GL_COLOR_SUM, GL_COLOR_ARRAY, GL_POLYGON_SMOOTH,
              GL_SAMPLE_ALPHA_TO_COVERAGE, GL_SAMPLE_ALPHA_TO_ONE})
            if (glIsEnabled(capability))
                return false;
        static const bool assemblyPrograms =
            epoxy_has_gl_extension("GL_ARB_vertex_program") && epoxy_has_gl_extension("GL_ARB_fragment_program");
        if (assemblyPrograms && (glIsEnabled(GL_VERTEX_PROGRAM_ARB) || glIsEnabled(GL_FRAGMENT_PROGRAM_ARB)))
            return false;

        GLint active = GL_TEXTURE0, units = 1;
        glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
        glGetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
        bool othersOff = true;
        for (GLint unit = 1; unit < units && othersOff; ++unit)
        {
            glActiveTexture(static_cast<GLenum>(GL_TEXTURE0 + unit));
            for (const GLenum target :
                 {GL_TEXTURE_1D, GL_TEXTURE_2D, GL_TEXTURE_3D, GL_TEXTURE_CUBE_MAP, GL_TEXTURE_RECTANGLE})
                othersOff = othersOff && ! glIsEnabled(target);
        }
        glActiveTexture(static_cast<GLenum>(active));
        return othersOff;
    }

    // What texture unit 0 (active) gives of the picture, bound there, in the
    // blended draw, if the combiner can give the same premultiplied: the
    // texel itself under the host's GL_MODULATE or GL_REPLACE with the white
    // colour (an alpha-only texel white with its alpha), sampled from the 2D
    // target, its channels unsigned normalised (float texels may lie past 0
    // and 1, and the blend clamps before it multiplies).
    enum class UnitZeroGives
    {
        texel,
        whiteWithAlpha,
        other
    };

    UnitZeroGives whatUnitZeroGives()
    {
        GLint mode = 0;
        glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
        if ((mode != GL_MODULATE && mode != GL_REPLACE) || glIsEnabled(GL_TEXTURE_CUBE_MAP) ||
            glIsEnabled(GL_TEXTURE_3D) || glIsEnabled(GL_TEXTURE_RECTANGLE))
            return UnitZeroGives::other;
        bool colour = false;
        for (const GLenum channel :
             {GL_TEXTURE_RED_TYPE, GL_TEXTURE_GREEN_TYPE, GL_TEXTURE_BLUE_TYPE, GL_TEXTURE_ALPHA_TYPE,
              GL_TEXTURE_LUMINANCE_TYPE, GL_TEXTURE_INTENSITY_TYPE, GL_TEXTURE_DEPTH_TYPE})
        {
            GLint type = GL_NONE;
            glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, channel, &type);
            if (type == GL_NONE)
                continue;
            if (type != GL_UNSIGNED_NORMALIZED || channel == GL_TEXTURE_DEPTH_TYPE)
                return UnitZeroGives::other;
            colour = colour || channel != GL_TEXTURE_ALPHA_TYPE;
        }
        return colour ? UnitZeroGives::texel : UnitZeroGives::whiteWithAlpha;
    }

    // The picture over the transparent black just cleared, as the alpha blend
    // leaves it: colour times alpha, alpha times alpha. Where the host's state
    // lets that be, texture unit 0 multiplies and blending stays off, so the
    // largest draw of the frame only writes the framebuffer instead of
    // reading it back; otherwise the blend does it. The picture is bound to
    // unit 0, which is active. Leaves the alpha blend on and the unit's
    // environment as the host left it (the flakes use it).
    void drawPictureOverClearedFrame(const vx::Texture& picture)
    {
        const UnitZeroGives gives = premultipliedIsTheBlend() ? whatUnitZeroGives() : UnitZeroGives::other;
        if (gives == UnitZeroGives::other)
        {
            glBlendFunc(GL_SRC_ALPHA, GL_ZERO); // the destination is zero
            drawTextureLocal(picture, -1.0f, -1.0f, 2.0f, 2.0f, false);
            vx::gfx::setBlendMode(vx::gfx::BLEND_ALPHA);
            return;
        }
        {
            const vx::ScopedTextureEnvironment hostEnvironment;
            glDisable(GL_BLEND);
            glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
            if (gives == UnitZeroGives::texel)
            {
                glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_MODULATE);
                glTexEnvi(GL_TEXTURE_ENV, GL_SRC0_RGB, GL_TEXTURE);
                glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_RGB, GL_SRC_COLOR);
                glTexEnvi(GL_TEXTURE_ENV, GL_SRC1_RGB, GL_TEXTURE);
                glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND1_RGB, GL_SRC_ALPHA);
            }
            else
            {
                // GL_COMBINE reads an alpha-only texel's colour as black.
                glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_REPLACE);
                glTexEnvi(GL_TEXTURE_ENV, GL_SRC0_RGB, GL_TEXTURE);
                glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_RGB, GL_SRC_ALPHA);
            }
            glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, GL_MODULATE);
            glTexEnvi(GL_TEXTURE_ENV, GL_SRC0_ALPHA, GL_TEXTURE);
            glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_ALPHA, GL_SRC_ALPHA);
            glTexEnvi(GL_TEXTURE_ENV, GL_SRC1_ALPHA, GL_TEXTURE);
            glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND1_ALPHA, GL_SRC_ALPHA);
            glTexEnvf(GL_TEXTURE_ENV, GL_RGB_SCALE, 1.0f);
            glTexEnvf(GL_TEXTURE_ENV, GL_ALPHA_SCALE, 1.0f);
            drawTextureLocal(picture, -1.0f, -1.0f, 2.0f, 2.0f, false);
        }
        vx::gfx::setBlendMode(vx::gfx::BLEND_ALPHA);
    }

    // Clears the read-back area (from the origin, width x height) within the
    // host's scissor box, if it left one. The edge pass draws and reads only
    // there, and the output's clear covers the whole framebuffer after it, so
    // every pixel ends as clearing the whole framebuffer here would leave it.
    void clearReadbackArea(int width, int height)
    {
        GLint left = 0, bottom = 0, right = width, top = height;
        if (glIsEnabled(GL_SCISSOR_TEST))
        {
            GLint box[4] = {};
            glGetIntegerv(GL_SCISSOR_BOX, box);
            left = std::max(left, box[0]);
            bottom = std::max(bottom, box[1]);
            right = std::min(right, box[0] + box[2]);
            top = std::min(top, box[1] + box[3]);
        }
        const vx::ScopedScissorState hostScissor;
        glEnable(GL_SCISSOR_TEST);
        glScissor(left, bottom, std::max(0, right - left), std::max(0, top - bottom));
        vx::gfx::clear(vx::Color::transparentBlack, true, 1.0f);
    }

    // A framebuffer of one colour texture of its own, bound for drawing and
    // reading while it lives and cleared to transparent black: where the edge
    // pass draws when the host's framebuffer is multisampled, which cannot be
    // read back. The host's bindings come back before its names go.
    class SingleSampledFramebuffer
    {
    public:
        SingleSampledFramebuffer(int width, int height)
        {
            glGenTextures(1, &texture);
            {
                const vx::ScopedTextureBinding binding(GL_TEXTURE_2D, texture);
                const vx::ScopedUnpackState noHostBuffer;
                glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
            }
            glGenFramebuffers(1, &framebuffer);
            glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
            glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
            const vx::ScopedScissorState hostScissor;
            glDisable(GL_SCISSOR_TEST);
            vx::gfx::clear(vx::Color::transparentBlack, false, 1.0f);
        }

        ~SingleSampledFramebuffer()
        {
            hostFramebuffers.restore();
            glDeleteFramebuffers(1, &framebuffer);
            glDeleteTextures(1, &texture);
        }

        SingleSampledFramebuffer(const SingleSampledFramebuffer&) = delete;
        SingleSampledFramebuffer& operator=(const SingleSampledFramebuffer&) = delete;

    private:
        const vx::ScopedFramebufferBinding hostFramebuffers;
        GLuint texture = 0, framebuffer = 0;
    };

    constexpr double edgePassIntervalMs = 50.0;
    constexpr int readbackWidthStep = 512;
}

std::uint32_t createPluginInstance(CFreeFrameGLPlugin** instance)
{
    if (instance == nullptr)
        return FFGL::fail;
    *instance = new VXFFGLPlugin(new Plugin(), 1, 1);
    return FFGL::success;
}

Plugin::Plugin() : VXFFGLApp(3)
{
    size = params.addParamRange("Size", 1.0, vx::ValueRange<double>(0.5, 3.0, "range"));
    speed = params.addParamRange("Speed", 1.0, vx::ValueRange<double>(0.2, 3.0, "range"));
    amount = params.addParamRange("Amount", 20.0, vx::ValueRange<double>(1.0, 50.0, "range"));
    spread = params.addParamRange("Spread", 0.25, vx::ValueRange<double>(0.005, 0.5, "range"));
    threshold = params.addParamRange("Threshold", 0.5, vx::ValueRange<double>(0.25, 1.0, "range"));
    showImage = params.addParamBool("Show Image", true);
    smartEdges = params.addParamBool("Smart Edges", true);
}

Plugin::~Plugin()
{
    // Normally exit has freed these with the host's context current.
    if (flakeTexture)
        vx::GfxObject::deleteUsingManager(flakeTexture.release());
}

kelvo::FlakeSimulation::Settings Plugin::currentSettings() const
{
    kelvo::FlakeSimulation::Settings settings;
    settings.size = size->getValue();
    settings.speed = speed->getValue();
    settings.amount = amount->getValue();
    settings.spread = spread->getValue();
    return settings;
}

double Plugin::readClock() const
{
    return clock ? clock() : vx::getTickCount();
}

bool Plugin::init()
{
    if (! edgeProgram.loadString(edgeVertexShader, edgeFragmentShader, std::string(), nullptr))
    {
        vx::logPrint(vx::logError, "Kelvo: the edge program does not build: %s", edgeProgram.getLastError().c_str());
        return false;
    }
    if (! particleProgram.loadString(particleVertexShader, particleFragmentShader, std::string(), nullptr))
    {
        vx::logPrint(vx::logError, "Kelvo: the particle program does not build: %s",
                     particleProgram.getLastError().c_str());
        return false;
    }
    flakeTexture.reset(
        vx::ImageUtils::textureFromMemory(Pimsel::Flake_png, static_cast<int>(Pimsel::Flake_png_size), 4));
    if (! flakeTexture)
    {
        vx::logPrint(vx::logError, "Kelvo: the flake sprite (%u bytes) does not decode",
                     static_cast<unsigned int>(Pimsel::Flake_png_size));
        return false;
    }
    resize(viewport.width, viewport.height);
    lastEdgePassTime = 0.0;
    simulation.setLastSpawnTime(0.0);
    return true;
}

void Plugin::resize(int, int)
{
    const int width = std::max(0, viewport.width);
    const int height = std::max(0, viewport.height);
    const int larger = std::max(width, height);
    // An empty viewport keeps round flakes rather than a ratio of 0 / 0.
    simulation.setAspectRatio(larger > 0 ? static_cast<float>(std::min(width, height)) / static_cast<float>(larger)
                                         : 1.0f);
    const int divisor = std::max(1, width / readbackWidthStep);
    readbackBuffer = std::make_shared<vx::Pixels>(width / divisor, height / divisor, 1, nullptr);
}

void Plugin::connect()
{
    lastEdgePassTime = 0.0;
    simulation.setLastSpawnTime(0.0);
}

void Plugin::disconnect()
{
    simulation.clearParticles();
}

void Plugin::exit()
{
    simulation.clearParticles();
    readbackBuffer.reset();
    flakeTexture.reset();
    // Their GL names go now, while the host's context is current.
    edgeProgram.release();
    particleProgram.release();
}

void Plugin::update()
{
    // The process-wide clock still advances; the frame length is this
    // instance's own, so other instances' frames do not shorten it.
    vx::updateTime(readClock());
    const double now = vx::getCurrentTime();
    lastFrameMsecs = frameClock.tick(now);
    simulation.update(now, lastFrameMsecs, currentSettings());
}

void Plugin::runEdgePass(const vx::Texture& input)
{
    vx::Pixels& buffer = *readbackBuffer;
    GLint sampleBuffers = 0;
    glGetIntegerv(GL_SAMPLE_BUFFERS, &sampleBuffers);
    std::optional<SingleSampledFramebuffer> readable;
    if (sampleBuffers > 0)
        readable.emplace(buffer.width, buffer.height);

    vx::gfx::setViewport(0, 0, buffer.width, buffer.height);
    vx::gfx::setOrtho(-1.0f, -1.0f, 2.0f, 2.0f, -1.0f, 1.0f);
    clearReadbackArea(buffer.width, buffer.height);

    vx::RenderContext& context = renderer->getRenderContext();
    context.bind2DTexture(0, input);
    if (renderer->beginShader(edgeProgram))
    {
        edgeProgram.setSampler("texture", 0);
        const float resolution[2] = {static_cast<float>(buffer.width), static_cast<float>(buffer.height)};
        edgeProgram.setVec2("iResolution", resolution);
        edgeProgram.setFloat("threshold", static_cast<float>(threshold->getValue()));
        drawTextureLocal(input, -1.0f, -1.0f, 2.0f, 2.0f, false);
        context.unbindAll();
    }

    vx::PixelsUtils::readFromFrameBufferToBuffer(0, 0, buffer.width, buffer.height, 1, buffer.data, GL_UNSIGNED_BYTE,
                                                 GL_RED);
    simulation.findEdgePoints(&buffer, smartEdges->getValue());
}

void Plugin::draw()
{
    vx::Texture* input = getInputTexture(0);
    if (input == nullptr || ! flakeTexture || renderer == nullptr)
        return;

    const double now = readClock();
    if (now - lastEdgePassTime > edgePassIntervalMs)
    {
        lastEdgePassTime = now;
        // A buffer without pixels (empty viewport) has nothing to read.
        if (readbackBuffer != nullptr && readbackBuffer->data != nullptr)
            runEdgePass(*input);
        else
            simulation.findEdgePoints(nullptr, 0, 0, false);
    }

    vx::gfx::setViewport(0, 0, viewport.width, viewport.height);
    vx::gfx::setOrtho(-1.0f, -1.0f, 2.0f, 2.0f, -1.0f, 1.0f);
    vx::gfx::clear(vx::Color::transparentBlack, true, 1.0f);
    vx::gfx::setBlendMode(vx::gfx::BLEND_ALPHA);
    vx::gfx::color(vx::Color::white);

    vx::RenderContext& context = renderer->getRenderContext();
    context.bind2DTexture(0, *input);
    context.ensureSamplerActive(0);
    if (showImage->getValue())
        drawPictureOverClearedFrame(*input);

    context.bind2DTexture(0, *flakeTexture);
    simulation.drawParticles(*flakeTexture);
    context.bind2DTexture(0, *flakeTexture);
}
