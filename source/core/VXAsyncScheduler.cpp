#include "core/VXAsyncScheduler.h"

#include "core/VXAsyncUpdatable.h"
#include "core/VXScopedLock.h"

#include <algorithm>

namespace vx
{

    // Constant-initialised (empty); released at exit.
    std::shared_ptr<AsyncScheduler> AsyncScheduler::asyncScheduler;

    void AsyncScheduler::addAsyncUpdatable(AsyncUpdatable* updatable)
    {
        {
            ScopedLock hold(queueLock);
            queue.push_back(updatable);
        }
        updatableAdded(*updatable);
    }

    void AsyncScheduler::removeAsyncUpdatable(AsyncUpdatable& updatable)
    {
        // Taking the current lock first waits out a callback of it in progress.
        currentLock.enter();
        queueLock.enter();
        if (current == &updatable)
            current = nullptr;
        currentLock.exit();
        std::replace(queue.begin(), queue.end(), &updatable, static_cast<AsyncUpdatable*>(nullptr));
        queueLock.exit();
    }

    void AsyncScheduler::handleAsyncUpdateInternal()
    {
        ScopedLock handling(handlingLock);
        for (;;)
        {
            {
                ScopedLock hold(queueLock);
                if (queue.empty())
                    return;
                // Never both locks here: removal takes them in the other order.
                // Removal holds both, so current is safe under either.
                current = queue.front();
                queue.erase(queue.begin());
            }
            ScopedLock currentHold(currentLock);
            if (current != nullptr)
            {
                current->asyncCallback();
                current = nullptr;
            }
        }
    }

} // namespace vx
