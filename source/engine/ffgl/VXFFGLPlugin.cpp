#include "engine/ffgl/VXFFGLPlugin.h"

#include "core/VXLog.h"
#include "core/VXTime.h"
#include "core/parameters/VXParamEvent.h"
#include "core/parameters/VXParamRange.h"
#include "engine/ffgl/VXFFGLApp.h"
#include "engine/ffgl/VXVexkit.h"
#include "engine/gfx/VXContextManager.h"
#include "engine/gfx/VXGfxObjectManager.h"
#include "engine/gfx/VXGlobalFBO.h"
#include "engine/gfx/VXRenderTargetManager.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXScopedBufferBinding.h"
#include "engine/gfx/VXScopedClientAttribs.h"
#include "engine/gfx/VXScopedCurrentColor.h"
#include "engine/gfx/VXScopedDrawBufferBlends.h"
#include "engine/gfx/VXScopedFramebufferBinding.h"
#include "engine/gfx/VXScopedIdentityMatrices.h"
#include "engine/gfx/VXScopedNoClientArrays.h"
#include "engine/gfx/VXScopedNoConditionalRender.h"
#include "engine/gfx/VXScopedNoDiscard.h"
#include "engine/gfx/VXScopedNoSamplers.h"
#include "engine/gfx/VXScopedProgram.h"
#include "engine/gfx/VXScopedReadBuffer.h"
#include "engine/gfx/VXScopedTextureUnit.h"
#include "engine/gfx/VXScopedTransformFeedbackPause.h"
#include "engine/gfx/VXTexture.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <iterator>
#include <string>

namespace
{
    constexpr GLbitfield allAttributeGroups = 0xFFFFF;
}

VXFFGLPlugin::VXFFGLPlugin(VXFFGLApp* appToOwn, int minInputs, int maxInputs) : app(appToOwn)
{
    SetMinInputs(minInputs);
    SetMaxInputs(maxInputs);
    if (app.get() == nullptr)
        vx::logPrint(vx::logError, "%s: No application to run.", "VXFFGLPlugin");
    initParameters();
}

VXFFGLPlugin::~VXFFGLPlugin()
{
    // A host that destroys a live instance still balances the engine's counts.
    if (glInitialised && app.get() != nullptr)
        app->exitInternal();
    if (glInitialised)
        conditionalRenderQueries.release();
}

void VXFFGLPlugin::initParameters()
{
    if (app.get() == nullptr)
        return;
    const vx::ParamContainer& params = app->getParams();
    for (int i = 0; i < params.getNumParams(); ++i)
    {
        const auto param = params.getParam(i);
        const auto index = static_cast<std::uint32_t>(i);
        const char* name = param->getName().c_str();

        // Events first: an event is a bool parameter too.
        if (auto* event = dynamic_cast<vx::ParamEvent*>(param.get()))
            SetParamInfo(index, name, FFGL::typeEvent, event->getValue());
        else if (auto* boolean = dynamic_cast<vx::Param<bool>*>(param.get()))
            SetParamInfo(index, name, FFGL::typeBoolean, boolean->getValue());
        else if (auto* range = dynamic_cast<vx::ParamRange*>(param.get()))
            SetParamInfo(index, name, FFGL::typeStandard, static_cast<float>(range->getValueNormalized()));
        else if (auto* text = dynamic_cast<vx::Param<std::string>*>(param.get()))
            SetParamInfo(index, name, FFGL::typeText, text->getValue().c_str());
        else
            SetParamInfo(index, name, FFGL::typeStandard, 0.0f);
    }
}

namespace
{
    std::shared_ptr<vx::ParamBase> paramAt(VXFFGLApp* app, std::uint32_t index)
    {
        if (app == nullptr || index >= static_cast<std::uint32_t>(app->getParams().getNumParams()))
            return {};
        return app->getParams().getParam(static_cast<int>(index));
    }
}

std::uint32_t VXFFGLPlugin::InitGL(const FFGLViewportStructTag* viewport)
{
    if (viewport == nullptr || app.get() == nullptr)
        return FFGL::fail;

    std::printf("The input viewport is: %d %d %d %d\n", static_cast<int>(viewport->x), static_cast<int>(viewport->y),
                static_cast<int>(viewport->width), static_cast<int>(viewport->height));
    app->viewport.x = static_cast<int>(viewport->x);
    app->viewport.y = static_cast<int>(viewport->y);
    app->viewport.width = static_cast<int>(viewport->width);
    app->viewport.height = static_cast<int>(viewport->height);
    std::printf("The app viewport is: %d %d %d %d\n", app->viewport.x, app->viewport.y, app->viewport.width,
                app->viewport.height);

    if (! app->initInternal())
        return FFGL::fail;
    glInitialised = true;
    previousFrameTime = vx::getTickCount();
    return FFGL::success;
}

std::uint32_t VXFFGLPlugin::DeInitGL()
{
    if (app.get() != nullptr)
        app->exitInternal();
    if (glInitialised)
        conditionalRenderQueries.release();
    glInitialised = false;
    return FFGL::success;
}

char* VXFFGLPlugin::GetParameterDisplay(std::uint32_t index)
{
    const auto param = paramAt(app.get(), index);
    if (param == nullptr)
    {
        std::puts("No param!");
        return nullptr;
    }
    if (const char* own = app->getParameterDisplay(param.get()))
        return const_cast<char*>(own);

    if (auto* boolean = dynamic_cast<vx::Param<bool>*>(param.get()))
    {
        std::snprintf(displayBuffer, sizeof displayBuffer, "%d", boolean->getValue() ? 1 : 0);
        return displayBuffer;
    }
    if (auto* range = dynamic_cast<vx::ParamRange*>(param.get()))
    {
        std::snprintf(displayBuffer, sizeof displayBuffer, "%.2f", range->getValue());
        return displayBuffer;
    }
    if (auto* text = dynamic_cast<vx::Param<std::string>*>(param.get()))
        return const_cast<char*>(text->getValue().c_str());
    return nullptr;
}

std::uint32_t VXFFGLPlugin::SetFloatParameter(std::uint32_t index, float value)
{
    const auto param = paramAt(app.get(), index);
    // NaN is not 0, so it counts as true.
    const bool asBool = ! (value == 0.0f);
    if (auto* event = dynamic_cast<vx::ParamEvent*>(param.get()))
    {
        event->setValue(asBool, vx::ValueChangeInfo());
        return FFGL::success;
    }
    if (auto* boolean = dynamic_cast<vx::Param<bool>*>(param.get()))
    {
        boolean->setValue(asBool, vx::ValueChangeInfo());
        return FFGL::success;
    }
    if (auto* range = dynamic_cast<vx::ParamRange*>(param.get()))
    {
        range->setValueNormalized(value, vx::ValueChangeInfo());
        return FFGL::success;
    }
    return FFGL::fail;
}

std::uint32_t VXFFGLPlugin::SetTextParameter(std::uint32_t index, const char* text)
{
    const auto param = paramAt(app.get(), index);
    auto* textParam = dynamic_cast<vx::Param<std::string>*>(param.get());
    if (textParam == nullptr || text == nullptr)
        return FFGL::fail;
    textParam->setValue(std::string(text), vx::ValueChangeInfo());
    return FFGL::success;
}

float VXFFGLPlugin::GetFloatParameter(std::uint32_t index)
{
    const auto param = paramAt(app.get(), index);
    if (auto* boolean = dynamic_cast<vx::Param<bool>*>(param.get()))
        return boolean->getValue() ? 1.0f : 0.0f;
    if (auto* range = dynamic_cast<vx::ParamRange*>(param.get()))
        return static_cast<float>(range->getValueNormalized());
    return 0.0f;
}

FFGL::Word VXFFGLPlugin::GetTextParameter(std::uint32_t index)
{
    const auto param = paramAt(app.get(), index);
    if (auto* text = dynamic_cast<vx::Param<std::string>*>(param.get()))
        return FFGL::fromPointer(text->getValue().c_str());
    return 0;
}

namespace
{
    // On the primary context only: objects queued there hold its GL names.
    void releaseQueuedGPUObjects(vx::Vexkit* root)
    {
        if (root == nullptr || root->getGfxObjectManager() == nullptr || root->getContextManager() == nullptr)
            return;
        const auto primary = root->getContextManager()->getPrimaryContext();
        if (primary != nullptr && primary->isActive())
            root->getGfxObjectManager()->cleanAll();
    }

    // Whether the frame itself brings a usable texture for input slot i
    // (hosts pass null for inputs that are not connected).
    bool isSupplied(const ProcessOpenGLStructTag& frame, std::uint32_t i)
    {
        if (i >= frame.numInputTextures || frame.inputTextures == nullptr)
            return false;
        const FFGLTextureStruct* input = frame.inputTextures[i];
        return input != nullptr && input->Handle != 0;
    }

    struct TextureTarget
    {
        GLenum target, binding;
    };

    constexpr TextureTarget textureTargets[] = {
        {GL_TEXTURE_1D, GL_TEXTURE_BINDING_1D},
        {GL_TEXTURE_2D, GL_TEXTURE_BINDING_2D},
        {GL_TEXTURE_3D, GL_TEXTURE_BINDING_3D},
        {GL_TEXTURE_1D_ARRAY, GL_TEXTURE_BINDING_1D_ARRAY},
        {GL_TEXTURE_2D_ARRAY, GL_TEXTURE_BINDING_2D_ARRAY},
        {GL_TEXTURE_RECTANGLE, GL_TEXTURE_BINDING_RECTANGLE},
        {GL_TEXTURE_CUBE_MAP, GL_TEXTURE_BINDING_CUBE_MAP},
        {GL_TEXTURE_CUBE_MAP_ARRAY, GL_TEXTURE_BINDING_CUBE_MAP_ARRAY},
        {GL_TEXTURE_BUFFER, GL_TEXTURE_BINDING_BUFFER},
        {GL_TEXTURE_2D_MULTISAMPLE, GL_TEXTURE_BINDING_2D_MULTISAMPLE},
        {GL_TEXTURE_2D_MULTISAMPLE_ARRAY, GL_TEXTURE_BINDING_2D_MULTISAMPLE_ARRAY},
    };

    // The target of a host's texture, found without an error where GL binds
    // a texture to whatever target it has (GL 4.4): bound so on unit 0, the
    // target whose binding became the texture is its own; every binding is
    // the host's again after. GL_TEXTURE_2D where GL cannot tell, and for a
    // name that holds no texture yet (binding it as 2D makes it one).
    GLenum textureTarget(GLuint texture)
    {
        if (epoxy_gl_version() < 44 || ! glIsTexture(texture))
            return GL_TEXTURE_2D;
        const vx::ScopedTextureUnit unitZero(0);
        GLint previous[std::size(textureTargets)] = {};
        for (std::size_t i = 0; i < std::size(textureTargets); ++i)
        {
            glGetIntegerv(textureTargets[i].binding, &previous[i]);
            if (static_cast<GLuint>(previous[i]) == texture)
                return textureTargets[i].target;
        }
        glBindTextures(0, 1, &texture);
        for (std::size_t i = 0; i < std::size(textureTargets); ++i)
        {
            GLint now = 0;
            glGetIntegerv(textureTargets[i].binding, &now);
            if (static_cast<GLuint>(now) != texture)
                continue;
            glBindTexture(textureTargets[i].target, static_cast<GLuint>(previous[i]));
            return textureTargets[i].target;
        }
        return GL_TEXTURE_2D;
    }

    // What every pass of the application assumes, set on the frame's level
    // of the attribute stack, whose pop gives the host's back: no depth test,
    // culling, clip planes or texture generation on unit 0 (active), filled
    // polygons, GL's own clip origin and depth range.
    void putDrawingStateInPlace()
    {
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_CULL_FACE);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        GLint clipPlanes = 0;
        glGetIntegerv(GL_MAX_CLIP_PLANES, &clipPlanes);
        for (GLint plane = 0; plane < clipPlanes; ++plane)
            glDisable(static_cast<GLenum>(GL_CLIP_PLANE0 + plane));
        for (const GLenum coordinate : {GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T, GL_TEXTURE_GEN_R, GL_TEXTURE_GEN_Q})
            glDisable(coordinate); // unit 0 is active
        static const bool clipControl = epoxy_gl_version() >= 45 || epoxy_has_gl_extension("GL_ARB_clip_control");
        if (clipControl)
            glClipControl(GL_LOWER_LEFT, GL_NEGATIVE_ONE_TO_ONE);
    }
}

void VXFFGLPlugin::setupInputTextures(ProcessOpenGLStructTag* frame)
{
    const auto count = std::min<std::uint32_t>(frame->numInputTextures, VXFFGLApp::numInputSlots);
    for (std::uint32_t i = 0; i < count; ++i)
    {
        if (! isSupplied(*frame, i))
            continue;
        const FFGLTextureStruct* input = frame->inputTextures[i];
        vx::Texture*& slot = app->inputTextures[i];
        if (slot == nullptr)
        {
            slot = new vx::Texture();
            slot->init();
        }
        slot->setGLData(static_cast<int>(input->Width), static_cast<int>(input->Height),
                        static_cast<int>(input->HardwareWidth), static_cast<int>(input->HardwareHeight), GL_TEXTURE_2D,
                        static_cast<long>(input->Handle), GL_RGBA8, GL_LINEAR, GL_LINEAR, true);
    }
}

std::uint32_t VXFFGLPlugin::ProcessOpenGL(ProcessOpenGLStructTag* frame)
{
    // Without InitGL the engine holds no context to draw with.
    if (frame == nullptr || app.get() == nullptr || ! glInitialised)
        return FFGL::fail;

    const double now = vx::getTickCount();
    double frameTime = now - previousFrameTime;
    if (frameTime > 1000.0)
        frameTime = 30.0;
    app->frameTime = frameTime;
    previousFrameTime = now;

    setupInputTextures(frame);

    // Every input the plugin needs must come with this very frame: a wrapper
    // left from an earlier frame may name a texture the host has deleted.
    const int required = std::min(GetMinInputs(), VXFFGLApp::numInputSlots);
    for (int i = 0; i < required; ++i)
        if (! isSupplied(*frame, static_cast<std::uint32_t>(i)))
            return FFGL::fail;
    // Inputs are drawn from as 2D textures: another kind (a rectangle
    // texture) cannot be, and binding it so would leave the host an error.
    for (int i = 0; i < required; ++i)
    {
        const FFGLTextureStruct& input = *frame->inputTextures[i];
        const GLenum target = textureTarget(input.Handle);
        if (target == GL_TEXTURE_2D)
            continue;
        if (! undrawableInputReported)
            vx::logPrint(vx::logError,
                         "%s: The host's input %d (texture %u) is not a 2D texture (target 0x%04X): no frame is drawn.",
                         "VXFFGLPlugin::ProcessOpenGL", i, static_cast<unsigned int>(input.Handle),
                         static_cast<unsigned int>(target));
        undrawableInputReported = true;
        return FFGL::fail;
    }
    undrawableInputReported = false;

    // The frame keeps the host's state on one level of the attribute stack;
    // on a full stack its push would fail and its pop take the host's level.
    GLint attributeDepth = 0, maximumAttributeDepth = 0;
    glGetIntegerv(GL_ATTRIB_STACK_DEPTH, &attributeDepth);
    glGetIntegerv(GL_MAX_ATTRIB_STACK_DEPTH, &maximumAttributeDepth);
    if (attributeDepth >= maximumAttributeDepth)
    {
        if (! fullStackReported)
            vx::logPrint(vx::logError, "%s: The host's attribute stack is full (%d levels): no frame is drawn.",
                         "VXFFGLPlugin::ProcessOpenGL", static_cast<int>(attributeDepth));
        fullStackReported = true;
        return FFGL::fail;
    }
    fullStackReported = false;

    // An engine whose GL the host started (a shared engine inside an
    // application on it) is the host's: its main framebuffer is the host's
    // again after the frame, and the host drains its GPU-object queue.
    const bool drivesEngine = VXFFGLApp::startedEngineGL();
    vx::Vexkit* root = vx::Vexkit::getInstanceWithoutCreating();
    vx::GlobalFBO* fbo = nullptr;
    if (root != nullptr)
        if (vx::RenderTargetManager* targets = root->getRenderTargetManager())
            fbo = targets->getGlobalFBO();
    const unsigned int hostMainFbo = fbo != nullptr ? fbo->getMainFboId() : 0;
    if (fbo != nullptr)
        fbo->setMainFboId(frame->HostFBO);

    {
        // The attribute stack's pop alone may not give the host its current
        // colour back: set again last, after everything below.
        const vx::ScopedCurrentColor hostColour;
        // Resumed once the host's program is current again.
        const vx::ScopedTransformFeedbackPause hostTransformFeedback;
        // Host state the attribute stack does not hold, put back after the
        // application drew (pixel store first, the framebuffers last).
        const vx::ScopedFramebufferBinding hostFramebuffers;
        const vx::ScopedProgram hostProgram;
        const vx::ScopedBufferBinding hostPackBuffer(GL_PIXEL_PACK_BUFFER, GL_PIXEL_PACK_BUFFER_BINDING);
        const vx::ScopedBufferBinding hostUnpackBuffer(GL_PIXEL_UNPACK_BUFFER, GL_PIXEL_UNPACK_BUFFER_BINDING);
        // The application draws from its own arrays only, on the zero vertex
        // array object: none of the host's stays enabled meanwhile, the
        // host's own object is not touched, and all come back as they were,
        // with the element and array buffer bindings.
        const vx::ScopedNoClientArrays hostClientArrays;
        const vx::ScopedClientAttribs hostPixelStore(GL_CLIENT_PIXEL_STORE_BIT);
        // Modelview selected, unit 0 active: the attribute stack's pop gives
        // both back as they are here, this guard the host's after it.
        const vx::ScopedIdentityMatrices hostMatrices;
        // Set again after the pop, which gives every draw buffer buffer 0's.
        const vx::ScopedDrawBufferBlends hostBlends;
        const vx::ScopedNoDiscard hostDiscard;
        vx::Renderer* renderer = app->getRenderer();
        // The units the engine binds textures through sample as its
        // textures say.
        const vx::ScopedNoSamplers hostSamplers(
            renderer != nullptr ? static_cast<unsigned int>(renderer->getRenderContext().getNumTextureUnits()) : 1u);
        glPushAttrib(allAttributeGroups);

        // What the frame draws is what it reads back: the host's draw
        // framebuffer is the read framebuffer too until the frame ends, its
        // first draw buffer the read buffer.
        GLint drawFramebuffer = 0;
        glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawFramebuffer);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(drawFramebuffer));
        const vx::ScopedReadBuffer hostReadBuffer;

        // The engine's binding cache must match GL: start from no program on
        // unit 0, whatever the host left bound.
        glUseProgram(0);
        if (renderer != nullptr)
            renderer->getRenderContext().assumeDefaultContextState();
        putDrawingStateInPlace();
        // Begun again (discarding) after the pop.
        const vx::ScopedNoConditionalRender hostConditionalRender(conditionalRenderQueries);

        // GPU objects handed over since the last frame end here, on the
        // engine's context: in the plugin no other render task drains them.
        if (drivesEngine)
            releaseQueuedGPUObjects(root);

        app->update();
        app->draw();

        // The draw and read buffers the attribute stack restores are valid
        // only for the host's framebuffer.
        hostFramebuffers.restore();
        glPopAttrib();
    }
    if (fbo != nullptr && ! drivesEngine)
        fbo->setMainFboId(hostMainFbo);

    // What the host binds between frames is unknown to the engine's cache.
    if (vx::Renderer* renderer = app->getRenderer())
        renderer->getRenderContext().assumeDefaultContextState();
    return FFGL::success;
}

std::uint32_t VXFFGLPlugin::SetTime(double)
{
    return FFGL::success;
}

std::uint32_t VXFFGLPlugin::Connect()
{
    if (app.get() != nullptr)
        app->connect();
    return FFGL::success;
}

std::uint32_t VXFFGLPlugin::Disconnect()
{
    if (app.get() != nullptr)
        app->disconnect();
    return FFGL::success;
}

std::uint32_t VXFFGLPlugin::Resize(const FFGLViewportStructTag* viewport)
{
    if (viewport == nullptr || app.get() == nullptr)
        return FFGL::fail;
    app->viewport.x = static_cast<int>(viewport->x);
    app->viewport.y = static_cast<int>(viewport->y);
    app->viewport.width = static_cast<int>(viewport->width);
    app->viewport.height = static_cast<int>(viewport->height);
    app->resize(app->viewport.width, app->viewport.height);
    return FFGL::success;
}
