#include "engine/gfx/VXContext.h"

#include "core/VXLog.h"
#include "engine/gfx/VXGfxUtils.h"

namespace vx
{

    Context::RendererHooks Context::rendererHooks;

    Context::Context(void* nativeContextToUse, ContextProfile profileToUse, unsigned long long idToUse, bool isPrimary)
        : nativeContext(nativeContextToUse), profile(profileToUse), id(idToUse), primary(isPrimary)
    {
        if (rendererHooks.create != nullptr)
            renderer = rendererHooks.create(*this);
    }

    Context::~Context()
    {
        // A subclass normally ended the renderer with its context current.
        if (renderer != nullptr)
            destroyRenderer(getCurrentNativeContext() == nativeContext && nativeContext != nullptr);
    }

    void Context::destroyRenderer(bool contextIsCurrent)
    {
        if (renderer == nullptr)
            return;
        Renderer* ending = renderer;
        renderer = nullptr;
        rendererInitialized = false;
        if (rendererHooks.destroy != nullptr)
            rendererHooks.destroy(ending, contextIsCurrent);
    }

    bool Context::initialize()
    {
        const bool wasActive = isActive();
        if (! wasActive && ! activate())
        {
            logPrint(logError, "%s: Cannot make the context current.", "initialize");
            return false;
        }

        if (! gfx::initGL())
        {
            logPrint(logError, "%s: Cannot initialize OpenGL.", "initialize");
            if (! wasActive)
                deactivate();
            return false;
        }

        if (renderer != nullptr && rendererHooks.initialize != nullptr)
        {
            rendererInitialized = rendererHooks.initialize(*renderer, profile);
            if (! rendererInitialized)
                logPrint(logError, "Failed initializing renderer.");
        }
        else
        {
            // No renderer layer linked in: nothing to start.
            rendererInitialized = true;
        }

        if (! wasActive)
            deactivate();
        return rendererInitialized;
    }

    void Context::doCleanup()
    {
        if (! noCleanup && cleanupTask != nullptr)
            cleanupTask(*this);
    }

} // namespace vx
