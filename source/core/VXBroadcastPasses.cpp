#include "core/VXBroadcastPasses.h"

#include "core/VXScopedLock.h"
#include "core/VXSpinLock.h"
#include "core/VXThread.h"

#include <pthread.h>

#include <thread>
#include <utility>
#include <vector>

namespace vx::detail
{
    namespace
    {
        using Slot = BroadcastPasses::Slot;

        constexpr int slotsPerBlock = 16;

        // Slots of one thread, one per nesting level; deeper nesting chains
        // further blocks. Blocks are never freed, so readers need no lock.
        struct Block
        {
            Slot slots[slotsPerBlock];
            std::atomic<Block*> next{nullptr};
        };

        // One thread's record. Records are never freed: a thread that ends
        // gives its record back for the next new thread to claim.
        struct Record
        {
            Block first;
            int depth = 0; // the claiming thread only
            std::atomic<bool> claimed{true};
            Record* nextRecord = nullptr; // fixed once published
        };

        constinit std::atomic<Record*> records{nullptr};
        constinit thread_local Record* threadRecord = nullptr;

        // Owner states released while passes of them still ran.
        struct Graveyard
        {
            SpinLock lock;
            std::vector<std::shared_ptr<void>> states;
        };

        // Gives the thread's record back when the thread ends. A key's
        // destructor, not a thread-local object's: the C library keeps the
        // code of a registered thread-local destructor loaded until its
        // thread ends, so a plugin module linking this file could never be
        // unloaded while its host's render thread lives.
        void giveBack(void* record)
        {
            threadRecord = nullptr;
            static_cast<Record*>(record)->claimed.store(false, std::memory_order_release);
        }

        // What every broadcaster of the program (or plugin module) relies
        // on. Made before any other static object (the first init priority),
        // so destroyed after all of them: broadcasters released during static
        // destruction still find the records and the graveyard.
        struct Registry
        {
            Registry() { hasKey = pthread_key_create(&threadEndKey, &giveBack) == 0; }

            // The module is being unloaded (or the process ends): no thread's
            // end may call into it any more, and what it allocated goes with
            // it. Records are kept while a pass still runs somewhere.
            ~Registry()
            {
                if (hasKey)
                    pthread_key_delete(threadEndKey);
                hasKey = false;
                threadRecord = nullptr;
                Record* list = records.exchange(nullptr, std::memory_order_acq_rel);
                bool passRuns = false;
                for (Record* record = list; record != nullptr; record = record->nextRecord)
                {
                    // Orders what threads that have ended did with their
                    // records before the records are freed.
                    static_cast<void>(record->claimed.load(std::memory_order_acquire));
                    for (Block* block = &record->first; block != nullptr;
                         block = block->next.load(std::memory_order_acquire))
                        for (const Slot& slot : block->slots)
                            passRuns = passRuns || slot.owner.load(std::memory_order_acquire) != nullptr;
                }
                if (passRuns)
                {
                    records.store(list, std::memory_order_release);
                    return;
                }
                while (list != nullptr)
                {
                    Record* record = list;
                    list = record->nextRecord;
                    for (Block* block = record->first.next.load(std::memory_order_relaxed); block != nullptr;)
                    {
                        Block* next = block->next.load(std::memory_order_relaxed);
                        delete block;
                        block = next;
                    }
                    delete record;
                }
            }

            pthread_key_t threadEndKey{};
            bool hasKey = false;
            Graveyard graveyard;
        };
        __attribute__((init_priority(101))) Registry registry;

        Record& attach()
        {
            Record* found = nullptr;
            for (Record* record = records.load(std::memory_order_acquire); record != nullptr && found == nullptr;
                 record = record->nextRecord)
            {
                bool claimed = false;
                if (record->claimed.compare_exchange_strong(claimed, true, std::memory_order_acquire))
                    found = record;
            }
            if (found == nullptr)
            {
                found = new Record();
                found->nextRecord = records.load(std::memory_order_relaxed);
                while (! records.compare_exchange_weak(found->nextRecord, found, std::memory_order_release,
                                                       std::memory_order_relaxed))
                {
                }
            }
            // Attached at the thread's end, from a later key's destructor:
            // the C library calls giveBack again (a few rounds, then the
            // record stays claimed for good).
            if (registry.hasKey)
                pthread_setspecific(registry.threadEndKey, found);
            threadRecord = found;
            return *found;
        }

        Record& thisThread()
        {
            Record* record = threadRecord;
            return record != nullptr ? *record : attach();
        }

        Slot& slotAt(Record& record, int depth)
        {
            Block* block = &record.first;
            for (int skip = depth / slotsPerBlock; skip > 0; --skip)
            {
                Block* next = block->next.load(std::memory_order_acquire);
                if (next == nullptr)
                {
                    next = new Block();
                    block->next.store(next, std::memory_order_release);
                }
                block = next;
            }
            return block->slots[depth % slotsPerBlock];
        }

        template <typename Visit>
        void forEachSlot(Visit&& visit)
        {
            for (Record* record = records.load(std::memory_order_acquire); record != nullptr;
                 record = record->nextRecord)
            {
                for (Block* block = &record->first; block != nullptr;
                     block = block->next.load(std::memory_order_acquire))
                    for (Slot& slot : block->slots)
                        visit(*record, slot);
            }
        }

        Graveyard& graveyard()
        {
            return registry.graveyard;
        }

        constinit std::atomic<bool> graveyardOccupied{false};

        void collectGraveyard()
        {
            std::vector<std::shared_ptr<void>> freed;
            {
                Graveyard& yard = graveyard();
                ScopedSpinLock hold(yard.lock);
                for (size_t i = 0; i < yard.states.size();)
                {
                    if (BroadcastPasses::isRunning(yard.states[i].get()))
                        ++i;
                    else
                    {
                        freed.push_back(std::move(yard.states[i]));
                        yard.states.erase(yard.states.begin() + std::ptrdiff_t(i));
                    }
                }
                graveyardOccupied.store(! yard.states.empty(), std::memory_order_relaxed);
            }
            // Freed outside the lock: destroying a state may release others.
        }
    } // namespace

    BroadcastPasses::Pass::Pass(const void* owner)
    {
        Record& record = thisThread();
        slot = &slotAt(record, record.depth);
        ++record.depth;
        slot->generation.store(slot->generation.load(std::memory_order_relaxed) + 1, std::memory_order_release);
        // Ordered before the pass reads its owner's lists, against a change that
        // publishes new lists and then looks for running passes: either the pass
        // reads the new lists or the change sees the pass.
        slot->owner.store(owner, std::memory_order_seq_cst);
    }

    BroadcastPasses::Pass::~Pass()
    {
        slot->owner.store(nullptr, std::memory_order_release);
        --threadRecord->depth;
        if (graveyardOccupied.load(std::memory_order_relaxed))
            collectGraveyard();
    }

    bool BroadcastPasses::isInsidePass()
    {
        const Record* record = threadRecord;
        return record != nullptr && record->depth > 0;
    }

    void BroadcastPasses::waitForPassesElsewhere(const void* owner)
    {
        const Record* me = threadRecord;
        forEachSlot(
            [&](const Record& record, Slot& slot)
            {
                if (&record == me || slot.owner.load(std::memory_order_seq_cst) != owner)
                    return;
                // The pass seen here has ended once the slot is empty or holds
                // a newer pass (which reads the new lists).
                const std::uint32_t generation = slot.generation.load(std::memory_order_acquire);
                for (int round = 0; slot.owner.load(std::memory_order_acquire) == owner &&
                                    slot.generation.load(std::memory_order_acquire) == generation;
                     ++round)
                {
                    if (round < 64)
                        std::this_thread::yield();
                    else
                        Thread::sleep(1);
                }
            });
    }

    bool BroadcastPasses::isRunning(const void* owner)
    {
        bool running = false;
        forEachSlot(
            [&](const Record&, Slot& slot)
            {
                if (slot.owner.load(std::memory_order_seq_cst) == owner)
                    running = true;
            });
        return running;
    }

    void BroadcastPasses::release(std::shared_ptr<void> ownerState)
    {
        if (! isRunning(ownerState.get()))
            return;
        {
            Graveyard& yard = graveyard();
            ScopedSpinLock hold(yard.lock);
            yard.states.push_back(std::move(ownerState));
            graveyardOccupied.store(true, std::memory_order_relaxed);
        }
        // The passes seen may have ended meanwhile.
        collectGraveyard();
    }

} // namespace vx::detail
