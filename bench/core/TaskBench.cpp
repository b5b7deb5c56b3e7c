#include "core/VXTask.h"
#include "core/VXTaskManager.h"
#include "core/VXWaitableEvent.h"

#include <benchmark/benchmark.h>
#include <tbb/task_arena.h>
#include <tbb/task_group.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace
{

    using Mode = vx::TaskThreadMode;

    // One task fired on the Control queue and drained by the same thread: the
    // pool, the queue locks, the fetch and the destruction.
    void BM_FireAndDrainOneTask(benchmark::State& state)
    {
        vx::TaskManager manager(1);
        int counter = 0;
        for (auto _ : state)
        {
            manager.fireTask(
                Mode::Control, [&counter] { ++counter; }, false, 0);
            manager.executeTasks(Mode::Control, 0.0);
        }
        benchmark::DoNotOptimize(counter);
    }
    BENCHMARK(BM_FireAndDrainOneTask);

    // Baseline: the same function through a mutex-guarded deque of std::function.
    void BM_FireAndDrainOneTask_MutexDequeBaseline(benchmark::State& state)
    {
        std::mutex lock;
        std::deque<std::function<void()>> queue;
        int counter = 0;
        for (auto _ : state)
        {
            {
                std::lock_guard<std::mutex> hold(lock);
                queue.emplace_back([&counter] { ++counter; });
            }
            std::function<void()> next;
            {
                std::lock_guard<std::mutex> hold(lock);
                next = std::move(queue.front());
                queue.pop_front();
            }
            next();
        }
        benchmark::DoNotOptimize(counter);
    }
    BENCHMARK(BM_FireAndDrainOneTask_MutexDequeBaseline);

    constexpr int tinyTaskCount = 10000;

    // The tasks' shared count, alone on its cache line: the thread queueing the
    // tasks writes nothing the running ones touch.
    struct alignas(64) Remaining
    {
        std::atomic<int> count{0};
        Remaining& operator=(int value)
        {
            count.store(value);
            return *this;
        }
        int operator--() { return --count; }
    };

    // 10,000 tiny tasks fired on the Threaded queue and run by N workers; the
    // time includes waking the workers and waiting for the last task.
    void BM_ThreadedThroughput10000(benchmark::State& state)
    {
        vx::TaskManager manager(static_cast<unsigned char>(state.range(0)));
        Remaining remaining;
        vx::WaitableEvent allDone;
        for (auto _ : state)
        {
            remaining = tinyTaskCount;
            for (int i = 0; i < tinyTaskCount; ++i)
                manager.fireTask(
                    Mode::Threaded,
                    [&]
                    {
                        if (--remaining == 0)
                            allDone.trigger();
                    },
                    false, 0);
            allDone.waitForTrigger();
        }
        state.SetItemsProcessed(state.iterations() * tinyTaskCount);
    }
    BENCHMARK(BM_ThreadedThroughput10000)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->UseRealTime();

    // Baseline: the same 10,000 functions run by a TBB task_group in an arena
    // of N threads (the calling thread, which also runs tasks while it waits,
    // and N - 1 workers), and in TBB's default arena (one thread per processor).
    void BM_ThreadedThroughput10000_TBBTaskGroupBaseline(benchmark::State& state)
    {
        const int threads = static_cast<int>(state.range(0));
        tbb::task_arena arena(threads > 0 ? threads : tbb::task_arena::automatic);
        Remaining remaining;
        for (auto _ : state)
        {
            remaining = tinyTaskCount;
            arena.execute(
                [&]
                {
                    tbb::task_group group;
                    for (int i = 0; i < tinyTaskCount; ++i)
                        group.run([&] { --remaining; });
                    group.wait();
                });
        }
        state.SetItemsProcessed(state.iterations() * tinyTaskCount);
    }
    BENCHMARK(BM_ThreadedThroughput10000_TBBTaskGroupBaseline)
        ->Arg(1)
        ->Arg(2)
        ->Arg(4)
        ->Arg(8)
        ->Arg(0)
        ->ArgName("threads")
        ->UseRealTime();

    // Baseline: the same 10,000 functions through one deque guarded by a mutex,
    // drained by N threads that sleep on a condition variable while it is
    // empty (no priorities, no pool).
    class MutexPool
    {
    public:
        explicit MutexPool(int threadCount)
        {
            for (int i = 0; i < threadCount; ++i)
                threads.emplace_back([this] { drain(); });
        }
        ~MutexPool()
        {
            {
                std::lock_guard<std::mutex> hold(lock);
                stopping = true;
            }
            wake.notify_all();
            for (std::thread& thread : threads)
                thread.join();
        }
        void push(std::function<void()> function)
        {
            bool sleepers = false;
            {
                std::lock_guard<std::mutex> hold(lock);
                queue.push_back(std::move(function));
                sleepers = sleeping != 0;
            }
            if (sleepers)
                wake.notify_one();
        }

    private:
        void drain()
        {
            std::unique_lock<std::mutex> hold(lock);
            for (;;)
            {
                while (queue.empty() && ! stopping)
                {
                    ++sleeping;
                    wake.wait(hold);
                    --sleeping;
                }
                if (stopping)
                    return;
                std::function<void()> next = std::move(queue.front());
                queue.pop_front();
                hold.unlock();
                next();
                hold.lock();
            }
        }

        std::mutex lock;
        std::condition_variable wake;
        std::deque<std::function<void()>> queue;
        int sleeping = 0;
        bool stopping = false;
        std::vector<std::thread> threads;
    };

    void BM_ThreadedThroughput10000_MutexPoolBaseline(benchmark::State& state)
    {
        MutexPool pool(static_cast<int>(state.range(0)));
        Remaining remaining;
        vx::WaitableEvent allDone;
        for (auto _ : state)
        {
            remaining = tinyTaskCount;
            for (int i = 0; i < tinyTaskCount; ++i)
                pool.push(
                    [&]
                    {
                        if (--remaining == 0)
                            allDone.trigger();
                    });
            allDone.waitForTrigger();
        }
        state.SetItemsProcessed(state.iterations() * tinyTaskCount);
    }
    BENCHMARK(BM_ThreadedThroughput10000_MutexPoolBaseline)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->UseRealTime();

    // Baseline: the same 10,000 functions called in a loop on one thread.
    void BM_ThreadedThroughput10000_InlineBaseline(benchmark::State& state)
    {
        Remaining remaining;
        std::vector<std::function<void()>> work;
        for (auto _ : state)
        {
            remaining = tinyTaskCount;
            work.clear();
            for (int i = 0; i < tinyTaskCount; ++i)
                work.emplace_back([&] { --remaining; });
            for (auto& function : work)
                function();
        }
        state.SetItemsProcessed(state.iterations() * tinyTaskCount);
    }
    BENCHMARK(BM_ThreadedThroughput10000_InlineBaseline)->UseRealTime();

    constexpr int drainCount = 1000;

    std::vector<signed char> drainPriorities()
    {
        std::mt19937 random(1000);
        std::vector<signed char> priorities(drainCount);
        for (signed char& priority : priorities)
            priority = static_cast<signed char>(std::uniform_int_distribution<int>(-4, 4)(random));
        return priorities;
    }

    // Draining 1,000 queued tasks of mixed priority, one fetch per task. Each
    // fetch orders the whole queue; the queue keeps the order of the last fetch
    // and only merges what came since.
    void BM_DrainQueue1000(benchmark::State& state)
    {
        vx::TaskManager manager(1);
        const std::vector<signed char> priorities = drainPriorities();
        int counter = 0;
        for (auto _ : state)
        {
            state.PauseTiming();
            for (signed char priority : priorities)
                manager.fireTask(
                    Mode::Control, [&counter] { ++counter; }, false, priority);
            state.ResumeTiming();
            manager.executeTasks(Mode::Control, 0.0);
        }
        benchmark::DoNotOptimize(counter);
        state.SetItemsProcessed(state.iterations() * drainCount);
    }
    BENCHMARK(BM_DrainQueue1000);

    // Baseline: the plain algorithm, a stable sort of the whole queue at every
    // fetch, over the same tasks (construction kept out of the timing).
    void BM_DrainQueue1000_SortEveryFetchBaseline(benchmark::State& state)
    {
        const std::vector<signed char> priorities = drainPriorities();
        std::vector<std::unique_ptr<vx::Task>> owned;
        int counter = 0;
        for (signed char priority : priorities)
            owned.push_back(std::make_unique<vx::Task>([&counter] { ++counter; }, Mode::Control, priority, false));
        std::vector<vx::Task*> queue;
        for (auto _ : state)
        {
            state.PauseTiming();
            queue.clear();
            for (auto& task : owned)
                queue.push_back(task.get());
            state.ResumeTiming();
            while (! queue.empty())
            {
                std::stable_sort(queue.begin(), queue.end(),
                                 [](vx::Task* a, vx::Task* b) { return a->getPriority() > b->getPriority(); });
                vx::Task* next = queue.front();
                queue.erase(queue.begin());
                next->execute();
            }
        }
        benchmark::DoNotOptimize(counter);
        state.SetItemsProcessed(state.iterations() * drainCount);
    }
    BENCHMARK(BM_DrainQueue1000_SortEveryFetchBaseline);

} // namespace

