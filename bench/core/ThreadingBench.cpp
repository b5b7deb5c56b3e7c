#include "core/VXBroadcaster.h"
#include "core/VXReadWriteCriticalSection.h"
#include "core/VXWaitableEvent.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>

namespace
{

    struct PairListener
    {
        virtual ~PairListener() = default;
        virtual void pairChanged(int value, const std::string& text) = 0;
    };

    struct Sink : PairListener
    {
        void pairChanged(int value, const std::string& text) override
        {
            total += value + static_cast<long>(text.size());
            benchmark::DoNotOptimize(total);
        }
        long total = 0;
    };

    // A two-argument broadcast to synchronous listeners, as every parameter
    // change makes.
    void BM_BroadcastTwoArguments(benchmark::State& state)
    {
        const int listenerCount = static_cast<int>(state.range(0));
        std::vector<Sink> sinks(listenerCount);
        vx::Broadcaster<PairListener> broadcaster;
        for (Sink& sink : sinks)
            broadcaster.addListener(sink, false);
        const std::string text = "value";
        int value = 0;
        for (auto _ : state)
            broadcaster.callListeners<int, const std::string&>(&PairListener::pairChanged, ++value, text,
                                                               vx::CallType::standard);
        state.SetItemsProcessed(state.iterations() * listenerCount);
    }
    BENCHMARK(BM_BroadcastTwoArguments)->Arg(1)->Arg(4)->Arg(16);

    // Baseline: the same calls through a plain vector of function objects.
    void BM_FunctionListTwoArguments(benchmark::State& state)
    {
        const int listenerCount = static_cast<int>(state.range(0));
        std::vector<Sink> sinks(listenerCount);
        std::vector<std::function<void(int, const std::string&)>> functions;
        for (Sink& sink : sinks)
            functions.emplace_back([&sink](int v, const std::string& t) { sink.pairChanged(v, t); });
        const std::string text = "value";
        int value = 0;
        for (auto _ : state)
        {
            ++value;
            for (const auto& function : functions)
                function(value, text);
        }
        state.SetItemsProcessed(state.iterations() * listenerCount);
    }
    BENCHMARK(BM_FunctionListTwoArguments)->Arg(1)->Arg(4)->Arg(16);

    // Enters and leaves a lock no other thread touches.
    template <typename Lock, typename Enter, typename Exit>
    void enterExitUncontended(benchmark::State& state, Enter enter, Exit exit)
    {
        Lock lock;
        for (auto _ : state)
        {
            enter(lock);
            exit(lock);
        }
    }

    void BM_ReadWriteLockReadUncontended(benchmark::State& state)
    {
        enterExitUncontended<vx::ReadWriteCriticalSection>(
            state, [](auto& lock) { lock.enterRead(); }, [](auto& lock) { lock.exitRead(); });
    }
    BENCHMARK(BM_ReadWriteLockReadUncontended);

    void BM_ReadWriteLockWriteUncontended(benchmark::State& state)
    {
        enterExitUncontended<vx::ReadWriteCriticalSection>(
            state, [](auto& lock) { lock.enterWrite(); }, [](auto& lock) { lock.exitWrite(); });
    }
    BENCHMARK(BM_ReadWriteLockWriteUncontended);

    // Baselines: the standard shared mutex on both sides and a plain mutex.
    void BM_SharedMutexReadUncontended(benchmark::State& state)
    {
        enterExitUncontended<std::shared_mutex>(
            state, [](auto& lock) { lock.lock_shared(); }, [](auto& lock) { lock.unlock_shared(); });
    }
    BENCHMARK(BM_SharedMutexReadUncontended);

    void BM_SharedMutexWriteUncontended(benchmark::State& state)
    {
        enterExitUncontended<std::shared_mutex>(
            state, [](auto& lock) { lock.lock(); }, [](auto& lock) { lock.unlock(); });
    }
    BENCHMARK(BM_SharedMutexWriteUncontended);

    void BM_MutexUncontended(benchmark::State& state)
    {
        enterExitUncontended<std::mutex>(
            state, [](auto& lock) { lock.lock(); }, [](auto& lock) { lock.unlock(); });
    }
    BENCHMARK(BM_MutexUncontended);

    // One round trip: trigger the partner's event, wait for its answer.
    void BM_EventPingPong(benchmark::State& state)
    {
        vx::WaitableEvent ping;
        vx::WaitableEvent pong;
        std::atomic<bool> stop{false};
        std::thread partner(
            [&]
            {
                for (;;)
                {
                    ping.waitForTrigger();
                    if (stop)
                        return;
                    pong.trigger();
                }
            });
        for (auto _ : state)
        {
            ping.trigger();
            pong.waitForTrigger();
        }
        stop = true;
        ping.trigger();
        partner.join();
    }
    BENCHMARK(BM_EventPingPong)->UseRealTime();

    // Baseline: the same round trip on a standard mutex and condition variable.
    void BM_ConditionVariablePingPong(benchmark::State& state)
    {
        std::mutex mutex;
        std::condition_variable condition;
        int turn = 0; // 0: main's turn, 1: partner's, 2: stop
        std::thread partner(
            [&]
            {
                std::unique_lock<std::mutex> hold(mutex);
                for (;;)
                {
                    condition.wait(hold, [&] { return turn != 0; });
                    if (turn == 2)
                        return;
                    turn = 0;
                    condition.notify_all();
                }
            });
        for (auto _ : state)
        {
            std::unique_lock<std::mutex> hold(mutex);
            turn = 1;
            condition.notify_all();
            condition.wait(hold, [&] { return turn == 0; });
        }
        {
            std::lock_guard<std::mutex> hold(mutex);
            turn = 2;
        }
        condition.notify_all();
        partner.join();
    }
    BENCHMARK(BM_ConditionVariablePingPong)->UseRealTime();

} // namespace
