#pragma once

namespace vx
{

    class AsyncUpdatable;

    /** Decides when an AsyncUpdatable's callback runs. Each updatable makes one
        through the global creationFunc and keeps it for life. An implementation
        that defers must call the owner's asyncCallback once per trigger (triggers
        may merge), withdraw calls on cancel, and never call the owner after its
        cleanup() or destructor has run. */
    class AsyncUpdatableImpl
    {
    public:
        explicit AsyncUpdatableImpl(AsyncUpdatable& ownerToCall) : owner(ownerToCall) {}
        virtual ~AsyncUpdatableImpl() = default;
        AsyncUpdatableImpl(const AsyncUpdatableImpl&) = delete;
        AsyncUpdatableImpl& operator=(const AsyncUpdatableImpl&) = delete;

        /** The delayed trigger; this base ignores the delay. */
        virtual void triggerAsyncUpdateDerived(unsigned int delayMs);
        virtual void triggerAsyncUpdateDerived() = 0;
        virtual void cancelPendingUpdateDerived() = 0;

        using CreationFunc = AsyncUpdatableImpl* (*)(AsyncUpdatable&);

        /** The factory every new AsyncUpdatable asks; createDummy at load
            (constant-initialised, so safe to read during static initialisation).
            Only the embedding application replaces it; objects made earlier keep
            their implementation. */
        static CreationFunc creationFunc;

    protected:
        AsyncUpdatable& owner;
    };

    /** Runs the callback at once on the triggering thread, before the trigger
        returns; a delay is ignored and there is never anything to cancel. */
    class DummyImpl : public AsyncUpdatableImpl
    {
    public:
        using AsyncUpdatableImpl::AsyncUpdatableImpl;
        using AsyncUpdatableImpl::triggerAsyncUpdateDerived;
        void triggerAsyncUpdateDerived() override;
        void cancelPendingUpdateDerived() override {}
    };

    /** The default factory: a new DummyImpl bound to updatable. */
    AsyncUpdatableImpl* createDummy(AsyncUpdatable& updatable);

    /** Base of objects that ask for a callback later without knowing who runs it
        or on which thread. Derived destructors call cleanup() first so no
        callback reaches a half-destroyed object. */
    class AsyncUpdatable
    {
    public:
        AsyncUpdatable();
        virtual ~AsyncUpdatable();
        AsyncUpdatable(const AsyncUpdatable&) = delete;
        AsyncUpdatable& operator=(const AsyncUpdatable&) = delete;

        void triggerAsyncUpdate();
        void triggerAsyncUpdate(unsigned int delayMs);
        void cancelPendingUpdate();
        void cleanup();

        virtual void asyncCallback();

    private:
        AsyncUpdatableImpl* impl;
    };

} // namespace vx
