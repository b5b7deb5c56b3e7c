#pragma once

#include "core/VXAsyncScheduler.h"
#include "core/VXAsyncUpdatable.h"
#include "core/VXCallType.h"
#include "core/VXCriticalSection.h"
#include "core/VXReadWriteCriticalSection.h"
#include "core/VXScopedLock.h"
#include "core/VXSpinLock.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <memory>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

namespace vx
{

    /** Announces changes to listeners of interface L, kept in a synchronous and
        an asynchronous list. Within one pass over a list every listener is called
        at most once, in list order: one added during the pass is called later in
        it, one removed before its turn is not, one removed and re-added after its
        call is not called again.

        Deferred calls are recorded and delivered from asyncCallback, which the
        AsyncUpdatable machinery runs (with the default implementation: at once, on
        the broadcasting thread). Delivery goes to the lists as they stand then.

        A callback may broadcast again, add or remove listeners (upgrading to the
        write lock; with passes running on other threads it waits for them), or
        delete the broadcaster: the pass then stops without touching it again.
        Arguments taken by reference are recorded as references and must outlive
        delivery. Listeners unregister before they are destroyed. */
    template <typename L>
    class Broadcaster : public AsyncUpdatable
    {
    public:
        Broadcaster() : core(std::make_shared<Core>()) {}

        /** Pending records are deleted unrun. */
        ~Broadcaster() override
        {
            cleanup();
            Core& c = *core;
            c.alive.store(false, std::memory_order_relaxed);
            // Delivery takes the queue lock while holding the delivery lock, so
            // the same order here.
            ScopedLockT<CriticalSection> deliveryHold(c.deliveryLock);
            ScopedLockT<SpinLock> queueHold(c.queueLock);
            for (int i = 0; i < 2; ++i)
            {
                const int index = (c.fillIndex + i) % 2;
                c.buffers[index].clear();
                c.cursors[index] = 0;
            }
        }

        /** False, changing nothing, when the listener is already in that list. */
        bool addListener(L& listener, bool asynchronous)
        {
            ScopedWriteLock hold(core->listeners);
            std::vector<L*>& list = asynchronous ? core->listeners.asyncList : core->listeners.syncList;
            if (std::find(list.begin(), list.end(), &listener) != list.end())
                return false;
            list.push_back(&listener);
            return true;
        }

        /** Removes the synchronous entry if there is one, else the asynchronous
            one; false when the listener is in neither list. */
        bool removeListener(L& listener)
        {
            ScopedWriteLock hold(core->listeners);
            for (std::vector<L*>* list : {&core->listeners.syncList, &core->listeners.asyncList})
            {
                auto found = std::find(list->begin(), list->end(), &listener);
                if (found != list->end())
                {
                    list->erase(found);
                    return true;
                }
            }
            return false;
        }

        void callListeners(void (L::*member)(), const CallType& callType) { broadcast<>(member, callType, true); }

        template <typename A>
        void callListeners(void (L::*member)(A), std::type_identity_t<A> argument, const CallType& callType)
        {
            broadcast<A>(member, callType, true, argument);
        }

        /** Asynchronous listeners are recorded for only while a global
            AsyncScheduler is set; otherwise a deferred call to them is dropped. */
        template <typename A, typename B>
        void callListeners(void (L::*member)(A, B), std::type_identity_t<A> first, std::type_identity_t<B> second,
                           const CallType& callType)
        {
            broadcast<A, B>(member, callType, AsyncScheduler::asyncScheduler != nullptr, first, second);
        }

        /** Delivers the records queued so far, in queue order. */
        void asyncCallback() override
        {
            std::shared_ptr<Core> keep = core;
            Core& c = *keep;
            int index;
            {
                ScopedLockT<SpinLock> queueHold(c.queueLock);
                index = c.fillIndex;
                c.fillIndex = 1 - index;
            }
            ScopedLockT<CriticalSection> deliveryHold(c.deliveryLock);
            ScopedReadLock readHold(c.listeners);
            // Records are taken one at a time under the queue lock, through a
            // cursor shared with nested deliveries on this thread: other threads
            // may still append to this buffer, and a nested delivery may drain it.
            for (;;)
            {
                if (! c.alive.load(std::memory_order_relaxed))
                    return;
                std::unique_ptr<AsyncFunction> record;
                {
                    ScopedLockT<SpinLock> queueHold(c.queueLock);
                    std::vector<std::unique_ptr<AsyncFunction>>& buffer = c.buffers[index];
                    if (c.cursors[index] >= buffer.size())
                    {
                        buffer.clear();
                        c.cursors[index] = 0;
                        return;
                    }
                    record = std::move(buffer[c.cursors[index]++]);
                }
                record->call(c);
            }
        }

        /** One call to each listener. */
        struct AsyncFunction;
        template <typename... Args>
        struct PFunction;
        using P0Function = PFunction<>;
        template <typename A>
        using P1Function = PFunction<A>;
        template <typename A, typename B>
        using P2Function = PFunction<A, B>;

    private:
        struct Listeners : ReadWriteCriticalSection
        {
            std::vector<L*> syncList;
            std::vector<L*> asyncList;
        };

        // Shared with running passes, so a callback may delete the broadcaster.
        struct Core
        {
            Listeners listeners;
            SpinLock queueLock;
            CriticalSection deliveryLock;
            std::vector<std::unique_ptr<AsyncFunction>> buffers[2];
            std::size_t cursors[2] = {0, 0};
            int fillIndex = 0;
            std::atomic<bool> alive{true};
        };

    public:
        struct AsyncFunction
        {
            AsyncFunction(bool sync, bool async) : callSync(sync), callAsync(async) {}
            virtual ~AsyncFunction() = default;
            virtual void call(Core& core) = 0;

            bool callSync;
            bool callAsync;
        };

        template <typename... Args>
        struct PFunction : AsyncFunction
        {
            PFunction(bool sync, bool async, void (L::*memberToCall)(Args...), Args... args)
                : AsyncFunction(sync, async), member(memberToCall), arguments(std::forward<Args>(args)...)
            {
            }

            void call(Core& c) override
            {
                std::apply(
                    [&](auto&... args)
                    {
                        if (this->callSync && ! makeListenerCalls(c, c.listeners.syncList, member, args...))
                            return;
                        if (this->callAsync)
                            makeListenerCalls(c, c.listeners.asyncList, member, args...);
                    },
                    arguments);
            }

            void (L::*member)(Args...);
            std::tuple<Args...> arguments;
        };

    private:
        template <typename... Args>
        void broadcast(void (L::*member)(Args...), const CallType& callType, bool mayRecordAsync,
                       std::type_identity_t<Args>... args)
        {
            std::shared_ptr<Core> keep = core;
            Core& c = *keep;
            if (callType.has(CallType::syncListeners))
            {
                if (callType.has(CallType::deferSync))
                {
                    if (! record(c, true, false, member, args...))
                        return;
                }
                else
                {
                    ScopedReadLock hold(c.listeners);
                    if (! makeListenerCalls(c, c.listeners.syncList, member, args...))
                        return;
                }
            }
            if (callType.has(CallType::asyncListeners))
            {
                if (callType.has(CallType::immediateAsync))
                {
                    ScopedReadLock hold(c.listeners);
                    makeListenerCalls(c, c.listeners.asyncList, member, args...);
                }
                else if (mayRecordAsync)
                {
                    record(c, false, true, member, args...);
                }
            }
        }

        // Queues one record when the chosen list is non-empty and triggers
        // delivery; false when the broadcaster died meanwhile.
        template <typename... Args>
        bool record(Core& c, bool sync, bool async, void (L::*member)(Args...), std::type_identity_t<Args>... args)
        {
            ScopedReadLock hold(c.listeners);
            if ((sync ? c.listeners.syncList : c.listeners.asyncList).empty())
                return true;
            auto entry = std::make_unique<PFunction<Args...>>(sync, async, member, std::forward<Args>(args)...);
            {
                ScopedLockT<SpinLock> queueHold(c.queueLock);
                c.buffers[c.fillIndex].push_back(std::move(entry));
            }
            // Outside the queue lock: an immediate implementation delivers here.
            triggerAsyncUpdate();
            return c.alive.load(std::memory_order_relaxed);
        }

        // One pass: rescans the live list after every call for the first listener
        // not yet called. False when a callback destroyed the broadcaster.
        template <typename... Args>
        static bool makeListenerCalls(Core& c, const std::vector<L*>& list, void (L::*member)(Args...),
                                      std::type_identity_t<Args>&... args)
        {
            std::vector<L*> called;
            called.reserve(list.size());
            for (;;)
            {
                L* next = nullptr;
                for (L* candidate : list)
                {
                    if (std::find(called.begin(), called.end(), candidate) == called.end())
                    {
                        next = candidate;
                        break;
                    }
                }
                if (next == nullptr)
                    return true;
                called.push_back(next);
                (next->*member)(args...);
                if (! c.alive.load(std::memory_order_relaxed))
                    return false;
            }
        }

        std::shared_ptr<Core> core;
    };

} // namespace vx
