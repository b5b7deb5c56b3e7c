#include "engine/ffgl/VXFFGLApp.h"

#include "core/VXLog.h"
#include "engine/ffgl/VXVexkit.h"
#include "engine/gfx/VXContext.h"
#include "engine/gfx/VXContextManager.h"
#include "engine/gfx/VXTexture.h"

#include <memory>

unsigned int VXFFGLApp::instanceCount = 0;
unsigned int VXFFGLApp::initCount = 0;

namespace
{
    // The host context handed to the engine by the first initInternal; taken
    // out again when the last application leaves GL, so that a later first
    // instance registers whatever context is current then.
    std::shared_ptr<vx::Context> registeredHostContext;

    void startEngineGL(vx::Vexkit& root, void* nativeContext)
    {
        vx::ContextManager* contexts = root.getContextManager();
        registeredHostContext = contexts->getContextWithNativeContext(nativeContext);
        if (registeredHostContext == nullptr)
            registeredHostContext = contexts->addContext(nativeContext, 0, 0, true, true);
        root.init();
    }

    void stopEngineGL()
    {
        vx::Vexkit* root = vx::Vexkit::getInstanceWithoutCreating();
        if (root == nullptr)
            return;
        root->release();
        if (registeredHostContext != nullptr)
        {
            // Its renderer ends here, with the host's context still current.
            if (vx::ContextManager* contexts = root->getContextManager())
                contexts->removeContext(registeredHostContext);
            registeredHostContext.reset();
        }
    }
}

VXFFGLApp::VXFFGLApp(unsigned int moduleFlags) : params("Params", true)
{
    if (! counted)
        return;
    if (instanceCount++ == 0)
    {
        vx::Vexkit::create(moduleFlags);
        vx::Vexkit::getInstance()->initialise(false);
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

        renderer = nullptr;
        // An application destroyed while still in GL (its plugin never
        // de-initialised) leaves the count balanced all the same.
        if (initCounted)
        {
            initCounted = false;
            if (initCount > 0 && --initCount == 0)
                stopEngineGL();
        }
        if (instanceCount > 0 && --instanceCount == 0)
        {
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
        vx::Vexkit* root = vx::Vexkit::getInstanceWithoutCreating();
        if (root == nullptr || root->getContextManager() == nullptr)
        {
            vx::logPrint(vx::logError, "%s: The engine root is not running.", "VXFFGLApp::initInternal");
            return false;
        }

        initCounted = true;
        if (initCount++ == 0)
            startEngineGL(*root, nativeContext);
        renderer = root->getPrimaryRenderer();
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

vx::Texture* VXFFGLApp::getInputTexture(int slot) const
{
    return slot >= 0 && slot < numInputSlots ? inputTextures[slot] : nullptr;
}
