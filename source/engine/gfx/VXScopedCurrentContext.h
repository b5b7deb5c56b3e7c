#pragma once

namespace vx
{
    // Keeps what is current on the calling thread (display, draw and read
    // surfaces, context; or nothing) and puts exactly that back after, however
    // the scope changed it.
    class ScopedCurrentContext
    {
    public:
        ScopedCurrentContext();
        ~ScopedCurrentContext();
        ScopedCurrentContext(const ScopedCurrentContext&) = delete;
        ScopedCurrentContext& operator=(const ScopedCurrentContext&) = delete;

        // The native context that was current, or null.
        void* getSavedContext() const { return context; }

    private:
        void* display = nullptr;
        void* drawSurface = nullptr;
        void* readSurface = nullptr;
        void* context = nullptr;
    };
}
