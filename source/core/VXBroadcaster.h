#pragma once

#include "core/VXAsyncScheduler.h"
#include "core/VXAsyncUpdatable.h"
#include "core/VXBroadcastPasses.h"
#include "core/VXCallType.h"
#include "core/VXCriticalSection.h"
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
        the broadcasting thread). Deliveries of one broadcaster never overlap.
        Delivery goes to the lists as they stand then.

        Any thread may broadcast, add or remove listeners, also from inside a
        callback, and none of these waits for a pass on another thread, with one
        exception: removing a listener outside any callback returns only once the
        passes running elsewhere have ended, so the listener may then be
        destroyed. (Inside a callback that wait could close a circle of threads
        waiting for each other; a listener removed there may still be finishing a
        call on another thread.) A callback may delete the broadcaster: the pass
        then ends without calling anyone else. Arguments taken by reference are
        recorded as references and must outlive delivery. Listeners unregister
        before they are destroyed. */
    template <typename L>
    class Broadcaster : public AsyncUpdatable
    {
    public:
        Broadcaster() : core(std::make_shared<Core>()) {}

        /** Pending records are deleted unrun. Passes still running (a callback
            deleting the broadcaster) end without calling anyone else. */
        ~Broadcaster() override
        {
            cleanup();
            Core& c = *core;
            c.alive.store(false, std::memory_order_relaxed);
            std::vector<std::unique_ptr<AsyncFunction>> dropped[2];
            {
                // Delivery takes the queue lock while holding the delivery lock,
                // so the same order here.
                ScopedLockT<CriticalSection> deliveryHold(c.deliveryLock);
                ScopedLockT<SpinLock> queueHold(c.queueLock);
                for (int i = 0; i < 2; ++i)
                {
                    dropped[i].swap(c.buffers[(c.fillIndex + i) % 2]);
                    c.cursors[i] = 0;
                }
            }
            {
                // Empty lists end the passes still running.
                ScopedLockT<SpinLock> changeHold(c.changeLock);
                c.publish(std::make_unique<Lists>());
            }
            detail::BroadcastPasses::release(std::move(core));
            // The records (and the arguments they hold) go last, outside every lock.
        }

        /** False, changing nothing, when the listener is already in that list. */
        bool addListener(L& listener, bool asynchronous)
        {
            Core& c = *core;
            ScopedLockT<SpinLock> changeHold(c.changeLock);
            const std::vector<L*>& list = c.current->of(asynchronous);
            if (std::find(list.begin(), list.end(), &listener) != list.end())
                return false;
            auto changed = std::make_unique<Lists>(*c.current);
            changed->of(asynchronous).push_back(&listener);
            c.publish(std::move(changed));
            c.reclaimIfIdle();
            return true;
        }

        /** Removes the synchronous entry if there is one, else the asynchronous
            one; false when the listener is in neither list. */
        bool removeListener(L& listener)
        {
            Core& c = *core;
            {
                ScopedLockT<SpinLock> changeHold(c.changeLock);
                bool asynchronous = false;
                const std::vector<L*>* list = &c.current->syncList;
                auto entry = std::find(list->begin(), list->end(), &listener);
                if (entry == list->end())
                {
                    asynchronous = true;
                    list = &c.current->asyncList;
                    entry = std::find(list->begin(), list->end(), &listener);
                    if (entry == list->end())
                        return false;
                }
                auto changed = std::make_unique<Lists>(*c.current);
                std::vector<L*>& changedList = changed->of(asynchronous);
                changedList.erase(changedList.begin() + (entry - list->begin()));
                c.publish(std::move(changed));
                c.reclaimIfIdle();
            }
            if (! detail::BroadcastPasses::isInsidePass())
            {
                detail::BroadcastPasses::waitForPassesElsewhere(&c);
                c.reclaimWhenIdle();
            }
            return true;
        }

        /** Whether either list holds a listener. A hint only: another thread
            may add or remove one right after; a broadcast with no listener
            does nothing, so a caller may skip building it. */
        bool hasListeners() const { return ! core->noListeners.load(std::memory_order_acquire); }

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
            Core& c = *core;
            bool reclaim = false;
            {
                detail::BroadcastPasses::Pass pass(&c);
                int index;
                {
                    ScopedLockT<SpinLock> queueHold(c.queueLock);
                    index = c.fillIndex;
                    c.fillIndex = 1 - index;
                }
                ScopedLockT<CriticalSection> deliveryHold(c.deliveryLock);
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
                            break;
                        }
                        record = std::move(buffer[c.cursors[index]++]);
                    }
                    record->call(c);
                }
                reclaim = c.hasRetired.load(std::memory_order_relaxed);
            }
            if (reclaim)
                c.reclaimWhenIdle();
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
        struct Lists
        {
            std::vector<L*>& of(bool asynchronous) { return asynchronous ? asyncList : syncList; }
            const std::vector<L*>& of(bool asynchronous) const { return asynchronous ? asyncList : syncList; }

            std::vector<L*> syncList;
            std::vector<L*> asyncList;
        };

        // Outlives every pass (BroadcastPasses::release), so a callback may delete
        // the broadcaster.
        struct Core
        {
            Core() : current(std::make_unique<Lists>()) { lists.store(current.get()); }

            // Copy on change: passes read the published lists without a lock.
            // Replaced lists are kept until no pass of this broadcaster runs.
            void publish(std::unique_ptr<Lists> changed)
            {
                retired.push_back(std::move(current));
                current = std::move(changed);
                lists.store(current.get(), std::memory_order_seq_cst);
                noListeners.store(current->syncList.empty() && current->asyncList.empty(), std::memory_order_release);
                hasRetired.store(true, std::memory_order_relaxed);
            }

            // Under the change lock.
            void reclaimIfIdle()
            {
                if (retired.empty() || detail::BroadcastPasses::isRunning(this))
                    return;
                retired.clear();
                hasRetired.store(false, std::memory_order_relaxed);
            }

            void reclaimWhenIdle()
            {
                ScopedLockT<SpinLock> changeHold(changeLock);
                reclaimIfIdle();
            }

            std::atomic<const Lists*> lists{nullptr};
            std::atomic<bool> alive{true};
            std::atomic<bool> hasRetired{false};
            std::atomic<bool> noListeners{true};
            SpinLock changeLock; // guards current and retired
            std::unique_ptr<Lists> current;
            std::vector<std::unique_ptr<Lists>> retired;

            SpinLock queueLock;
            CriticalSection deliveryLock;
            std::vector<std::unique_ptr<AsyncFunction>> buffers[2];
            std::size_t cursors[2] = {0, 0};
            int fillIndex = 0;
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
                        if (this->callSync)
                            makeListenerCalls(c, false, member, args...);
                        if (this->callAsync && c.alive.load(std::memory_order_relaxed))
                            makeListenerCalls(c, true, member, args...);
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
            Core& c = *core;
            // Nobody to call or record for (an animated parameter nobody
            // watches): no pass to announce.
            if (c.noListeners.load(std::memory_order_acquire))
                return;
            bool reclaim = false;
            {
                detail::BroadcastPasses::Pass pass(&c);
                if (! run(c, member, callType, mayRecordAsync, args...))
                    return;
                reclaim = c.hasRetired.load(std::memory_order_relaxed);
            }
            if (reclaim)
                c.reclaimWhenIdle();
        }

        // False when a callback destroyed the broadcaster.
        template <typename... Args>
        bool run(Core& c, void (L::*member)(Args...), const CallType& callType, bool mayRecordAsync,
                 std::type_identity_t<Args>&... args)
        {
            if (callType.has(CallType::syncListeners))
            {
                if (callType.has(CallType::deferSync))
                    record(c, true, member, args...);
                else
                    makeListenerCalls(c, false, member, args...);
                if (! c.alive.load(std::memory_order_relaxed))
                    return false;
            }
            if (callType.has(CallType::asyncListeners))
            {
                if (callType.has(CallType::immediateAsync))
                    makeListenerCalls(c, true, member, args...);
                else if (mayRecordAsync)
                    record(c, false, member, args...);
            }
            return c.alive.load(std::memory_order_relaxed);
        }

        // Queues one record for the chosen list when it is not empty and
        // triggers delivery (outside the queue lock: an immediate implementation
        // delivers here).
        template <typename... Args>
        void record(Core& c, bool sync, void (L::*member)(Args...), std::type_identity_t<Args>&... args)
        {
            if (c.lists.load(std::memory_order_seq_cst)->of(! sync).empty())
                return;
            // Copied (by-value arguments): a second record may need them too.
            auto entry = std::make_unique<PFunction<Args...>>(sync, ! sync, member, args...);
            {
                ScopedLockT<SpinLock> queueHold(c.queueLock);
                c.buffers[c.fillIndex].push_back(std::move(entry));
            }
            triggerAsyncUpdate();
        }

        // One pass. While the lists stay as they were when it began, it walks
        // them in order; once they change (here or on another thread), each
        // step rescans the current list for the first listener not yet called.
        // A destroyed broadcaster publishes empty lists, which ends the pass.
        template <typename... Args>
        static void makeListenerCalls(Core& c, bool asynchronous, void (L::*member)(Args...),
                                      std::type_identity_t<Args>&... args)
        {
            const Lists* lists = c.lists.load(std::memory_order_seq_cst);
            const std::vector<L*>& start = lists->of(asynchronous);
            std::size_t done = 0;
            while (done < start.size())
            {
                L* next = start[done++];
                (next->*member)(args...);
                if (c.lists.load(std::memory_order_seq_cst) != lists)
                    break;
            }
            if (c.lists.load(std::memory_order_seq_cst) == lists)
                return;

            std::vector<L*> called(start.begin(), start.begin() + std::ptrdiff_t(done));
            for (;;)
            {
                const std::vector<L*>& list = c.lists.load(std::memory_order_seq_cst)->of(asynchronous);
                auto next = std::find_if(
                    list.begin(), list.end(),
                    [&](L* candidate) { return std::find(called.begin(), called.end(), candidate) == called.end(); });
                if (next == list.end())
                    return;
                called.push_back(*next);
                ((*next)->*member)(args...);
            }
        }

        std::shared_ptr<Core> core;
    };

} // namespace vx
