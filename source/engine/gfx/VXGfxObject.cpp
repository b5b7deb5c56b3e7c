#include "engine/gfx/VXGfxObject.h"

#include "core/VXLog.h"
#include "core/VXThread.h"
#include "engine/gfx/VXContext.h"
#include "engine/gfx/VXGfxObjectManager.h"

namespace vx
{

    void GfxObject::release()
    {
        managedReleaseCalled = false;
    }

    void GfxObject::deleteUsingManager(GfxObject* object)
    {
        if (object == nullptr)
            return;

        if (auto* manager = GfxObjectManager::getCurrent())
        {
            manager->addForDeletion(object);
            return;
        }

        // No engine (the plugin's flags, or after shut-down): nobody would ever
        // drain a queue, so end the object here rather than leak it.
        if (! Thread::isThisRenderThread() && Context::getCurrentNativeContext() == nullptr)
            logPrint(logError,
                     "GfxObject::deleteUsingManager: no GPU-object manager and no GL context on this thread; "
                     "GL names of the object at %p are dropped",
                     static_cast<void*>(object));
        object->release();
        delete object;
    }

} // namespace vx
