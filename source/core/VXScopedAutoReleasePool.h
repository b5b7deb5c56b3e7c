#pragma once

namespace vx
{

    /** Scope of a platform object pool for temporary objects. There is no such
        pool on this platform, so the guard does nothing. */
    class ScopedAutoReleasePool
    {
    public:
        ScopedAutoReleasePool() {}
        ~ScopedAutoReleasePool() {}
        ScopedAutoReleasePool(const ScopedAutoReleasePool&) = delete;
        ScopedAutoReleasePool& operator=(const ScopedAutoReleasePool&) = delete;
    };

} // namespace vx
