#pragma once

#include "core/VXCurrentInstance.h"

#include "core/VXCriticalSection.h"
#include "engine/gfx/VXGfxObject.h"

#include <deque>
#include <memory>

namespace vx
{

    /** The queue through which GPU objects are released (GL names freed) and then
        deleted on the render thread. Any thread may queue; releaseObjects,
        deleteObjects and cleanAll run release() and destructors on the calling
        thread, which must hold the GL context. Every operation holds the
        manager's re-entrant lock. */
    class GfxObjectManager : public CurrentInstance<GfxObjectManager>
    {
    public:
        GfxObjectManager() = default;
        /** Releases and deletes what is still queued (cleanAll), on the calling
            thread. */
        ~GfxObjectManager();

        GfxObjectManager(const GfxObjectManager&) = delete;
        GfxObjectManager& operator=(const GfxObjectManager&) = delete;

        /** Queues for release only; on the render thread releases at once. */
        void addForReleasing(std::shared_ptr<GfxObject> object);
        /** Queues for release and then deletion. */
        void addForDeletion(std::shared_ptr<GfxObject> object);
        /** Takes ownership of the raw pointer. */
        void addForDeletion(GfxObject* object);

        /** Releases every queued object, moving those to delete to the deletion queue. */
        void releaseObjects();
        /** Drops the deletion queue's references; false when it was empty. */
        bool deleteObjects();
        /** Releases and deletes until both queues are empty. */
        void cleanAll();

        /** cleanAll, then every hand-over empties both queues at once. */
        void enableImmediateMode();
        void disableImmediateMode();

        int getNumReleasingObjects() const;
        int getNumDeletingObjects() const;

    private:
        struct Entry
        {
            std::shared_ptr<GfxObject> object;
            bool deleteAfterwards = false;
        };

        CriticalSection lock;
        std::deque<Entry> releaseQueue;
        std::deque<std::shared_ptr<GfxObject>> deletionQueue;
        bool immediateMode = false;
    };

} // namespace vx
