#include "core/VXAsyncUpdatable.h"

#include "core/VXLog.h"

namespace vx
{

    AsyncUpdatableImpl* createDummy(AsyncUpdatable& updatable)
    {
        return new DummyImpl(updatable);
    }

    // Constant-initialised: other files' static initialisers may make
    // AsyncUpdatables before this file's dynamic initialisation would run.
    constinit AsyncUpdatableImpl::CreationFunc AsyncUpdatableImpl::creationFunc = &createDummy;

    void AsyncUpdatableImpl::triggerAsyncUpdateDerived(unsigned int /*delayMs*/)
    {
        triggerAsyncUpdateDerived();
    }

    void DummyImpl::triggerAsyncUpdateDerived()
    {
        owner.asyncCallback();
    }

    AsyncUpdatable::AsyncUpdatable() : impl(AsyncUpdatableImpl::creationFunc(*this))
    {
    }

    AsyncUpdatable::~AsyncUpdatable()
    {
        delete impl;
    }

    void AsyncUpdatable::triggerAsyncUpdate()
    {
        impl->triggerAsyncUpdateDerived();
    }

    void AsyncUpdatable::triggerAsyncUpdate(unsigned int delayMs)
    {
        impl->triggerAsyncUpdateDerived(delayMs);
    }

    void AsyncUpdatable::cancelPendingUpdate()
    {
        impl->cancelPendingUpdateDerived();
    }

    void AsyncUpdatable::cleanup()
    {
        impl->cancelPendingUpdateDerived();
    }

    void AsyncUpdatable::asyncCallback()
    {
        debugPrint("Async Callback called!");
    }

} // namespace vx
