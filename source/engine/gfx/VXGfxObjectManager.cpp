#include "engine/gfx/VXGfxObjectManager.h"

#include "core/VXLog.h"
#include "core/VXScopeProfiler.h"
#include "core/VXScopedLock.h"
#include "core/VXThread.h"
#include "engine/gfx/VXManagedGfxObject.h"

#include <string>

namespace vx
{

    GfxObjectManager::~GfxObjectManager()
    {
        // Objects still queued are owed their release before they go.
        try
        {
            cleanAll();
        }
        catch (...)
        {
            logEscapedError("~GfxObjectManager", __LINE__, "Queued GPU objects could not be released");
        }
    }

    void GfxObjectManager::addForReleasing(std::shared_ptr<GfxObject> object)
    {
        if (object == nullptr)
            return;
        const ScopedLock scope(lock);
        releaseQueue.push_back({std::move(object), false});
        if (Thread::isThisRenderThread())
            releaseObjects();
        if (immediateMode)
            cleanAll();
    }

    void GfxObjectManager::addForDeletion(std::shared_ptr<GfxObject> object)
    {
        if (object == nullptr)
            return;
        const ScopedLock scope(lock);
        releaseQueue.push_back({std::move(object), true});
        if (immediateMode)
            cleanAll();
    }

    void GfxObjectManager::addForDeletion(GfxObject* object)
    {
        if (object == nullptr)
            return;
        addForDeletion(std::shared_ptr<GfxObject>(object));
    }

    void GfxObjectManager::releaseObjects()
    {
        const ScopedLock scope(lock);
        while (! releaseQueue.empty())
        {
            // Taken off first: release() may queue further objects.
            Entry entry = std::move(releaseQueue.front());
            releaseQueue.pop_front();
            entry.object->release();
            if (entry.deleteAfterwards)
                deletionQueue.push_back(std::move(entry.object));
        }
    }

    bool GfxObjectManager::deleteObjects()
    {
        const ScopedLock scope(lock);
        if (deletionQueue.empty())
            return false;

        const std::string count = std::to_string(deletionQueue.size());
        debugPrint("GfxObjectManager::deleteObjects() : num objects to delete " + count + ".");
        const ScopeProfiler profiler("Deleting " + count + " gfx objects took: ", ScopeProfiler::milliseconds);
        while (! deletionQueue.empty())
        {
            // Destroyed outside the queue: a destructor may queue further objects.
            std::shared_ptr<GfxObject> object = std::move(deletionQueue.front());
            deletionQueue.pop_front();
            object.reset();
        }
        return true;
    }

    void GfxObjectManager::cleanAll()
    {
        const ScopedLock scope(lock);
        while (! releaseQueue.empty() || ! deletionQueue.empty())
        {
            releaseObjects();
            deleteObjects();
        }
    }

    void GfxObjectManager::enableImmediateMode()
    {
        const ScopedLock scope(lock);
        cleanAll();
        immediateMode = true;
    }

    void GfxObjectManager::disableImmediateMode()
    {
        const ScopedLock scope(lock);
        immediateMode = false;
    }

    int GfxObjectManager::getNumReleasingObjects() const
    {
        const ScopedLock scope(lock);
        return static_cast<int>(releaseQueue.size());
    }

    int GfxObjectManager::getNumDeletingObjects() const
    {
        const ScopedLock scope(lock);
        return static_cast<int>(deletionQueue.size());
    }

    //==============================================================================
    void detail::queueGfxObjectForReleasing(std::shared_ptr<GfxObject> object)
    {
        if (object == nullptr)
            return;
        if (auto* manager = GfxObjectManager::getCurrent())
            manager->addForReleasing(std::move(object));
        else
            object->release();
    }

    void detail::queueGfxObjectForDeletion(std::shared_ptr<GfxObject> object)
    {
        if (object == nullptr)
            return;
        if (auto* manager = GfxObjectManager::getCurrent())
        {
            manager->addForDeletion(std::move(object));
            return;
        }
        object->release();
        object.reset();
    }

} // namespace vx
