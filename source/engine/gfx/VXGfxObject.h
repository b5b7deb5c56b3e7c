#pragma once

namespace vx
{

    /** Base of every engine object that owns GPU resources. GL names may only be
        freed on the render thread, so such objects are handed to the engine's
        GfxObjectManager, which calls release() and then deletes them there. */
    class GfxObject
    {
    public:
        GfxObject() = default;
        virtual ~GfxObject() = default;

        GfxObject(const GfxObject&) = delete;
        GfxObject& operator=(const GfxObject&) = delete;

        /** Frees the object's GL resources; render thread only. Overrides call
            the base, which clears the managed-release-called flag. */
        virtual void release();

        /** Hands the object to the engine root's GfxObjectManager for release and
            deletion on the render thread; null does nothing. Without a manager
            the object is released and deleted at once (with an error line when
            the caller holds no GL context). The deleter of shared pointers to
            render passes and chains. */
        static void deleteUsingManager(GfxObject* object);

        void enableDebugging(bool shouldDebug) { debugging = shouldDebug; }
        void setManagedState(bool isNowManaged) { managed = isNowManaged; }
        void flagManagedReleaseCall() { managedReleaseCalled = true; }

        bool isDebugging() const { return debugging; }
        bool isManaged() const { return managed; }
        bool isManagedReleaseCalled() const { return managedReleaseCalled; }

    protected:
        bool debugging = false;
        bool managed = false;
        bool managedReleaseCalled = false;
    };

} // namespace vx
