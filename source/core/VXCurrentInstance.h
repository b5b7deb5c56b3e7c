#pragma once

#include <atomic>

namespace vx
{
    // The seam through which lower layers reach an object the engine root
    // owns (a manager, the host application): the root sets it when it makes
    // the object and clears it before the object goes, so code below the
    // root never includes the root. Null while there is none. Any thread may
    // read it; the root writes it.
    template <typename T>
    class CurrentInstance
    {
    public:
        static T* getCurrent() { return current.load(std::memory_order_acquire); }
        static void setCurrent(T* instance) { current.store(instance, std::memory_order_release); }
        // Clears the seam only while it still names instance, so an object
        // going away never unsets its successor.
        static void clearCurrent(T* instance)
        {
            current.compare_exchange_strong(instance, nullptr, std::memory_order_acq_rel);
        }

    private:
        static inline std::atomic<T*> current{nullptr};
    };
}
