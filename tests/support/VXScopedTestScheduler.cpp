#include "support/VXScopedTestScheduler.h"

namespace vx::test
{
    namespace
    {
        // Queues the owner on the installed scheduler; withdraws it on cancel.
        class QueueingImpl : public AsyncUpdatableImpl
        {
        public:
            using AsyncUpdatableImpl::AsyncUpdatableImpl;
            using AsyncUpdatableImpl::triggerAsyncUpdateDerived;
            ~QueueingImpl() override { cancelPendingUpdateDerived(); }
            void triggerAsyncUpdateDerived() override
            {
                if (auto scheduler = AsyncScheduler::asyncScheduler)
                    scheduler->addAsyncUpdatable(&owner);
                else
                    owner.asyncCallback();
            }
            void cancelPendingUpdateDerived() override
            {
                if (auto scheduler = AsyncScheduler::asyncScheduler)
                    scheduler->removeAsyncUpdatable(owner);
            }
        };
    }

    ScopedTestScheduler::ScopedTestScheduler()
        : scheduler(std::make_shared<Scheduler>()), previous(AsyncScheduler::asyncScheduler),
          previousCreation(AsyncUpdatableImpl::creationFunc)
    {
        AsyncScheduler::asyncScheduler = scheduler;
        AsyncUpdatableImpl::creationFunc = [](AsyncUpdatable& owner) -> AsyncUpdatableImpl* {
            return new QueueingImpl(owner);
        };
    }

    ScopedTestScheduler::~ScopedTestScheduler()
    {
        AsyncUpdatableImpl::creationFunc = previousCreation;
        AsyncScheduler::asyncScheduler = previous;
    }

    void ScopedTestScheduler::drain()
    {
        scheduler->handleAsyncUpdateInternal();
    }
}
