#pragma once

namespace vx
{

    /** Scope of component-object use; there is none on this platform, so it only
        reports itself initialised. */
    class ScopedComUsage
    {
    public:
        ScopedComUsage() {}
        ~ScopedComUsage() {}
        ScopedComUsage(const ScopedComUsage&) = delete;
        ScopedComUsage& operator=(const ScopedComUsage&) = delete;

        bool isInitialized() const { return initialized; }

    private:
        bool initialized = true;
    };

} // namespace vx
