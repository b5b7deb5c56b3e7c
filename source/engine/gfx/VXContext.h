#pragma once

namespace vx
{

    class Renderer;

    /** Handed to a context's renderer; the engine passes 0 everywhere. */
    using ContextProfile = int;

    /** An OpenGL context the engine draws with: the host's, wrapped, or an
        offscreen one made here. Each carries its own renderer. The native
        context is a stable, comparable handle. */
    class Context
    {
    public:
        using CleanupTask = void (*)(Context&);

        /** How a context makes, starts and ends its renderer; filled by the
            renderer layer at start-up. Without them a context has no renderer and
            initialize() succeeds without one. destroy is told whether the
            context is current, so the renderer may make GL calls, or must drop
            its names without them. */
        struct RendererHooks
        {
            Renderer* (*create)(Context&) = nullptr;
            bool (*initialize)(Renderer&, ContextProfile) = nullptr;
            void (*destroy)(Renderer*, bool contextIsCurrent) = nullptr;
        };
        static RendererHooks rendererHooks;

        Context(void* nativeContext, ContextProfile profile, unsigned long long id, bool primary);
        /** Ends the renderer if a subclass has not already done so. */
        virtual ~Context();

        Context(const Context&) = delete;
        Context& operator=(const Context&) = delete;

        virtual bool shareWithMaster(Context& master) = 0;
        /** Current on the calling thread. */
        virtual bool isActive() = 0;
        /** Makes it current on the calling thread; false when it cannot be (for
            instance while current on another thread). */
        virtual bool activate() = 0;
        virtual bool swapBuffers() = 0;
        virtual bool setSwapInterval(int interval) = 0;

        /** Activates the context if needed, starts OpenGL and the renderer, and
            deactivates again if it activated. False (logged) on failure. */
        bool initialize();

        Renderer* getRenderer() const { return renderer; }
        bool isRendererInitialized() const { return rendererInitialized; }
        void* getNativeContext() const { return nativeContext; }
        ContextProfile getProfile() const { return profile; }
        unsigned long long getId() const { return id; }
        bool isPrimary() const { return primary; }

        void setCleanupTask(CleanupTask task) { cleanupTask = task; }
        /** Set for contexts owned by someone else: their cleanup never runs. */
        void setNoCleanup(bool shouldSkipCleanup) { noCleanup = shouldSkipCleanup; }
        bool isNoCleanup() const { return noCleanup; }
        /** Runs the cleanup task unless the no-cleanup flag is set. */
        void doCleanup();

        /** Makes no context current on the calling thread; true. */
        static bool deactivate();
        /** The calling thread's current native context, or null. */
        static void* getCurrentNativeContext();
        /** A new hidden offscreen context (owned by the caller), sharing objects
            with share when given; id 0 when primary. Null (logged) on failure.
            Leaves no context current. */
        static Context* createOffscreenContext(bool primary, unsigned long long id, Context* share);

    protected:
        /** Ends the renderer; contextIsCurrent tells it whether it may make GL
            calls. Subclasses call it in their destructor, with their context made
            current when possible, before their native context goes. */
        void destroyRenderer(bool contextIsCurrent);

    private:
        void* nativeContext;
        bool noCleanup = false;
        ContextProfile profile;
        unsigned long long id;
        bool primary;
        CleanupTask cleanupTask = nullptr;
        Renderer* renderer = nullptr;
        bool rendererInitialized = false;
    };

    /** The cleanup task of offscreen contexts: destroys the native context. */
    void cleanUpOffscreenContext(Context& context);

} // namespace vx
