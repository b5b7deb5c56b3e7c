#include "engine/gfx/VXContextOSX.h"

#include "core/VXLog.h"
#include "engine/gfx/VXScopedCurrentContext.h"

namespace vx
{

    ContextOSX::ContextOSX(void* nativeContext, ContextProfile profile, unsigned long long id, bool primary)
        : Context(nativeContext, profile, id, primary), native(NativePimpl::wrap(nativeContext))
    {
    }

    ContextOSX::ContextOSX(NativePimpl* ownedNative, ContextProfile profile, unsigned long long id, bool primary)
        : Context(ownedNative != nullptr ? ownedNative->getHandle() : nullptr, profile, id, primary),
          native(ownedNative)
    {
    }

    ContextOSX::~ContextOSX()
    {
        try
        {
            // The renderer's GL objects go while their context still exists and
            // is current; whatever the thread had current comes back after.
            if (getRenderer() != nullptr)
            {
                const ScopedCurrentContext previous;
                const bool current = native.get() != nullptr && (native->isCurrent() || native->makeCurrent());
                destroyRenderer(current);
            }
            doCleanup();
        }
        catch (...)
        {
        }
    }

    bool ContextOSX::shareWithMaster(Context&)
    {
        return false;
    }

    bool ContextOSX::isActive()
    {
        return native.get() != nullptr && native->isCurrent();
    }

    bool ContextOSX::activate()
    {
        return native.get() != nullptr && native->makeCurrent() && isActive();
    }

    bool ContextOSX::swapBuffers()
    {
        return native.get() != nullptr && native->swapBuffers();
    }

    bool ContextOSX::setSwapInterval(int interval)
    {
        if (native.get() != nullptr)
            native->setSwapInterval(interval);
        return true;
    }

    //==============================================================================
    bool Context::deactivate()
    {
        ContextOSX::NativePimpl::clearCurrent();
        return true;
    }

    void* Context::getCurrentNativeContext()
    {
        return ContextOSX::NativePimpl::getCurrentHandle();
    }

    Context* Context::createOffscreenContext(bool primary, unsigned long long id, Context* share)
    {
        // Whatever the caller had current is put back at the end.
        const ScopedCurrentContext previous;

        auto* native = ContextOSX::NativePimpl::createOffscreen(share != nullptr ? share->getNativeContext() : nullptr);
        if (native == nullptr)
        {
            logPrint(logError, "%s: Failed initializing context.", "createOffscreenContext");
            return nullptr;
        }

        auto* context = new ContextOSX(native, 0, primary ? 0 : id, primary);
        context->setCleanupTask(cleanUpOffscreenContext);
        context->setSwapInterval(0);
        if (! context->initialize())
        {
            logPrint(logError, "%s: Failed initializing context.", "createOffscreenContext");
            delete context;
            return nullptr;
        }
        return context;
    }

    void cleanUpOffscreenContext(Context& context)
    {
        if (auto* osx = dynamic_cast<ContextOSX*>(&context))
            osx->getNative().destroyNative();
    }

} // namespace vx
