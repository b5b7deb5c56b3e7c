#include "engine/ffgl/VXFFGLApp.h"

#include "core/VXLog.h"
#include "engine/ffgl/VXVexkit.h"
#include "engine/gfx/VXContext.h"
#include "engine/gfx/VXContextManager.h"
#include "engine/gfx/VXTexture.h"

#include <epoxy/gl.h>

#include <cstdint>
#include <memory>
#include <vector>

unsigned int VXFFGLApp::instanceCount = 0;
unsigned int VXFFGLApp::initCount = 0;

namespace
{
    // The module ends only what its applications began. An effect linked to
    // a shared engine inside an application on that engine finds the root
    // made and its GL started by the application: it uses them and leaves
    // them, and the application's context entries, to the application.
    bool rootMadeHere = false;
    bool glStartedHere = false;

    // The host context the first initInternal started the engine's GL on;
    // forgotten when the last application leaves GL, so that a later first
    // instance starts it on whatever context is current then. Its entry is
    // taken out of the context manager only when it was added here.
    std::shared_ptr<vx::Context> registeredHostContext;
    bool hostContextAddedHere = false;

    // Nothing when the engine's GL runs already (started by the host).
    void startEngineGL(vx::Vexkit& root, void* nativeContext)
    {
        if (root.isInitialised())
            return;
        vx::ContextManager* contexts = root.getContextManager();
        registeredHostContext = contexts->getContextWithNativeContext(nativeContext);
        hostContextAddedHere = registeredHostContext == nullptr;
        if (hostContextAddedHere)
            registeredHostContext = contexts->addContext(nativeContext, 0, 0, true, true);
        glStartedHere = true;
        root.init();
    }

    // Host contexts other than the registered one that applications were
    // initialised on: each gets a renderer of its own (its built-in programs
    // and binding cache live in that context), shared by the applications on
    // it and forgotten with the last of them.
    struct OtherHostContext
    {
        std::shared_ptr<vx::Context> context;
        unsigned int users = 0;
        bool registeredHere = false;
    };
    std::vector<OtherHostContext> otherHostContexts;

    // Of the current context: desktop GL, and below 3.2 or without the core
    // profile bit (a 3.1 context without the compatibility extension counts
    // as compatible; no driver hands hosts one).
    bool hasCompatibilityProfile()
    {
        if (! epoxy_is_desktop_gl())
            return false;
        if (epoxy_gl_version() < 32)
            return true;
        GLint profile = 0;
        glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &profile);
        return (profile & GL_CONTEXT_CORE_PROFILE_BIT) == 0;
    }

    vx::Renderer* takeRendererFor(vx::Vexkit& root, void* nativeContext)
    {
        if (registeredHostContext != nullptr && registeredHostContext->getNativeContext() == nativeContext)
            return registeredHostContext->getRenderer();
        for (OtherHostContext& other : otherHostContexts)
            if (other.context->getNativeContext() == nativeContext)
            {
                ++other.users;
                return other.context->getRenderer();
            }
        vx::ContextManager* contexts = root.getContextManager();
        auto context = contexts->getContextWithNativeContext(nativeContext);
        const bool registeredHere = context == nullptr;
        if (registeredHere)
            context =
                contexts->addContext(nativeContext, 0, reinterpret_cast<std::uintptr_t>(nativeContext), false, true);
        if (context == nullptr)
            return nullptr;
        otherHostContexts.push_back({context, 1, registeredHere});
        return context->getRenderer();
    }

    // Runs with the application's own context current, so the renderer of a
    // context forgotten here ends on it.
    void giveBackRenderer(vx::Renderer* renderer)
    {
        if (renderer == nullptr)
            return;
        for (auto it = otherHostContexts.begin(); it != otherHostContexts.end(); ++it)
            if (it->context->getRenderer() == renderer)
            {
                if (--it->users > 0)
                    return;
                const OtherHostContext forgotten = *it;
                otherHostContexts.erase(it);
                if (! forgotten.registeredHere)
                    return;
                if (vx::Vexkit* root = vx::Vexkit::getInstanceWithoutCreating())
                    if (vx::ContextManager* contexts = root->getContextManager())
                        contexts->removeContext(forgotten.context);
                return;
            }
    }

    void stopEngineGL()
    {
        if (! glStartedHere)
            return;
        glStartedHere = false;
        const std::shared_ptr<vx::Context> hostContext = std::move(registeredHostContext);
        vx::Vexkit* root = vx::Vexkit::getInstanceWithoutCreating();
        if (root == nullptr)
            return;
        root->release();
        // Its renderer ends here, with the host's context still current.
        if (hostContext != nullptr && hostContextAddedHere)
            if (vx::ContextManager* contexts = root->getContextManager())
                contexts->removeContext(hostContext);
    }
}

VXFFGLApp::VXFFGLApp(unsigned int moduleFlags) : params("Params", true)
{
    if (! counted)
        return;
    if (instanceCount++ == 0 && vx::Vexkit::getInstanceWithoutCreating() == nullptr)
    {
        rootMadeHere = true;
        vx::Vexkit::create(moduleFlags)->initialise(false);
    }
}

VXFFGLApp::~VXFFGLApp()
{
    try
    {
        for (vx::Texture*& texture : inputTextures)
        {
            delete texture;
            texture = nullptr;
        }
        if (! counted)
            return;

        vx::Renderer* const ownRenderer = renderer;
        renderer = nullptr;

        // An application destroyed while still in GL (its plugin never
        // de-initialised) leaves the count balanced all the same.
        if (initCounted)
        {
            giveBackRenderer(ownRenderer);
            initCounted = false;
            if (initCount > 0 && --initCount == 0)
                stopEngineGL();
        }
        if (instanceCount > 0 && --instanceCount == 0 && rootMadeHere)
        {
            rootMadeHere = false;
            // The root's managers go before the root, so a host that loads,
            // uses and unloads the module loses nothing.
            if (vx::Vexkit* root = vx::Vexkit::getInstanceWithoutCreating())
                root->shutdown();
            vx::Vexkit::deleteInstance();
        }
    }
    catch (...)
    {
        vx::logEscapedError("~VXFFGLApp", __LINE__, "Engine shut-down failed");
    }
}

bool VXFFGLApp::initInternal()
{
    if (counted && ! initCounted)
    {
        // Nothing is counted or touched without a context to hand over.
        void* nativeContext = vx::Context::getCurrentNativeContext();
        if (nativeContext == nullptr)
        {
            vx::logPrint(vx::logError, "%s: No OpenGL context is current.", "VXFFGLApp::initInternal");
            return false;
        }
        // The engine and the adapter draw with the fixed-function pipeline,
        // the matrix and the attribute stacks: a context without them would
        // fail every one of those calls, frame after frame.
        if (! hasCompatibilityProfile())
        {
            vx::logPrint(vx::logError, "%s: The current OpenGL context has no compatibility profile.",
                         "VXFFGLApp::initInternal");
            return false;
        }
        vx::Vexkit* root = vx::Vexkit::getInstanceWithoutCreating();
        if (root == nullptr || root->getContextManager() == nullptr)
        {
            vx::logPrint(vx::logError, "%s: The engine root is not running.", "VXFFGLApp::initInternal");
            return false;
        }

        initCounted = true;
        if (initCount++ == 0)
            startEngineGL(*root, nativeContext);
        renderer = takeRendererFor(*root, nativeContext);
    }
    initEntered = true;
    return init();
}

void VXFFGLApp::exitInternal()
{
    if (initEntered)
    {
        initEntered = false;
        exit();
    }
    if (counted && initCounted)
    {
        giveBackRenderer(renderer);
        renderer = nullptr;
        initCounted = false;
        if (initCount > 0 && --initCount == 0)
            stopEngineGL();
    }
}

void VXFFGLApp::valueChanged(vx::ParamBase&, vx::ChangeInfo)
{
}

const char* VXFFGLApp::getParameterDisplay(vx::ParamBase*)
{
    return nullptr;
}

void VXFFGLApp::resize(int, int)
{
}

void VXFFGLApp::connect()
{
}

void VXFFGLApp::disconnect()
{
}

bool VXFFGLApp::startedEngineGL()
{
    return glStartedHere;
}

vx::Texture* VXFFGLApp::getInputTexture(int slot) const
{
    return slot >= 0 && slot < numInputSlots ? inputTextures[slot] : nullptr;
}
