#pragma once

#include "core/VXScopedPointer.h"
#include "engine/gfx/VXContext.h"

namespace vx
{

    /** A context over the platform's native OpenGL context. The native side sits
        behind NativePimpl, implemented per platform. */
    class ContextOSX : public Context
    {
    public:
        /** One native context: either wrapped (someone else's, never destroyed
            here) or made here for offscreen drawing. */
        class NativePimpl
        {
        public:
            virtual ~NativePimpl() = default;

            virtual void* getHandle() const = 0;
            virtual bool isCurrent() const = 0;
            virtual bool makeCurrent() = 0;
            virtual bool swapBuffers() = 0;
            virtual bool setSwapInterval(int interval) = 0;
            /** Frees a context made here; nothing for a wrapped one. */
            virtual void destroyNative() = 0;

            /** Wraps a foreign native context; when it is current on the calling
                thread its surfaces are recorded so makeCurrent restores them. */
            static NativePimpl* wrap(void* nativeHandle);
            /** A new hidden offscreen context sharing with shareHandle (may be
                null), made current. Null on failure. */
            static NativePimpl* createOffscreen(void* shareHandle);

            static bool clearCurrent();
            static void* getCurrentHandle();

            /** What is current on the calling thread, to put back later. */
            struct CurrentState
            {
                void* display = nullptr;
                void* drawSurface = nullptr;
                void* readSurface = nullptr;
                void* context = nullptr;
            };
            static CurrentState getCurrentState();
            static bool restoreCurrentState(const CurrentState& state);
        };

        /** Wraps a native context. */
        ContextOSX(void* nativeContext, ContextProfile profile, unsigned long long id, bool primary);
        /** Takes over a native context made here. */
        ContextOSX(NativePimpl* ownedNative, ContextProfile profile, unsigned long long id, bool primary);
        /** Ends the renderer with the context current, then runs the cleanup. */
        ~ContextOSX() override;

        bool shareWithMaster(Context& master) override;
        bool isActive() override;
        bool activate() override;
        bool swapBuffers() override;
        bool setSwapInterval(int interval) override;

        NativePimpl& getNative() const { return *native; }

    private:
        ScopedPointer<NativePimpl> native;
    };

} // namespace vx
