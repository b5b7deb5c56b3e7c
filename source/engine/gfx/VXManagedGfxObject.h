#pragma once

#include "engine/gfx/VXGfxObject.h"

#include <memory>

namespace vx
{

    namespace detail
    {
        /** Hand-over to the engine's GPU-object manager; without one the object is
            released (and the reference dropped) at once. */
        void queueGfxObjectForReleasing(std::shared_ptr<GfxObject> object);
        void queueGfxObjectForDeletion(std::shared_ptr<GfxObject> object);
    }

    /** Holds one T (a GfxObject) and routes its end through the GPU-object
        manager, so the holder may be destroyed on any thread. */
    template <typename T>
    class ManagedGfxObject
    {
    public:
        ManagedGfxObject() : object(std::make_shared<T>()) { object->setManagedState(true); }

        ~ManagedGfxObject() noexcept
        {
            try
            {
                handOverForDeletion();
            }
            catch (...)
            {
            }
        }

        ManagedGfxObject(const ManagedGfxObject&) = delete;
        ManagedGfxObject& operator=(const ManagedGfxObject&) = delete;

        /** Flags the release call and queues the object for releasing. */
        void managedRelease()
        {
            object->flagManagedReleaseCall();
            detail::queueGfxObjectForReleasing(object);
        }

        /** Queues the current object for deletion and makes a fresh one. */
        void recreate()
        {
            handOverForDeletion();
            object = std::make_shared<T>();
            object->setManagedState(true);
        }

        T* get() const { return object.get(); }
        T* operator->() const { return object.get(); }
        T& operator*() const { return *object; }
        const std::shared_ptr<T>& getShared() const { return object; }

    private:
        void handOverForDeletion()
        {
            if (object == nullptr)
                return;
            object->setManagedState(false);
            detail::queueGfxObjectForDeletion(std::move(object));
            object.reset();
        }

        std::shared_ptr<T> object;
    };

} // namespace vx
