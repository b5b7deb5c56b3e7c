#pragma once

#include "core/VXColor.h"
#include "core/VXTask.h"

#include <atomic>
#include <memory>

namespace vx
{

    class ValueHistory;

    // Samples how many tasks each of the six queues holds, every 20 ms on its
    // own "Task Profiler Timer" thread, into one ten-second history per queue.
    // The task manager reports every queue change (any thread, no lock); the
    // GUI layer draws the histories (vx::TaskProfilerView). Sampling runs from
    // construction to destruction.
    class TaskProfiler
    {
    public:
        static const char* const QUEUE_NAMES[numTaskThreadModes];
        static const Color QUEUE_COLORS[numTaskThreadModes];
        static constexpr float historySeconds = 10.0f;
        static constexpr int sampleIntervalMs = 20;

        // Starts the timer thread (priority 3); every history starts with a 0.
        TaskProfiler();
        // Stops the timer thread: asks it and waits for it, at most one sample.
        ~TaskProfiler();
        TaskProfiler(const TaskProfiler&) = delete;
        TaskProfiler& operator=(const TaskProfiler&) = delete;

        // Any thread. The count before is not used.
        void taskQueued(TaskThreadMode mode, unsigned int countBefore, unsigned int countAfter);
        void taskExecuted(TaskThreadMode mode, unsigned int countRemaining);

        // Adds the current count of every queue to its history.
        void makeSnapshot();

        unsigned int getQueueCount(TaskThreadMode mode) const;
        // Shared so a view drawing it may outlive the profiler. Null for a
        // mode that names no queue.
        std::shared_ptr<ValueHistory> getHistory(TaskThreadMode mode) const;
        bool isSampling() const;

    private:
        class TimerThread;

        std::atomic<unsigned int> counts[numTaskThreadModes];
        std::shared_ptr<ValueHistory> histories[numTaskThreadModes];
        std::unique_ptr<TimerThread> timer;
    };

    // The task manager's hold on its profiler: reports are one relaxed load
    // while none is attached, and a profiler is deleted only after every
    // report that could still see it has left.
    class TaskProfilerSlot
    {
    public:
        TaskProfilerSlot() = default;
        ~TaskProfilerSlot() { set(nullptr); }
        TaskProfilerSlot(const TaskProfilerSlot&) = delete;
        TaskProfilerSlot& operator=(const TaskProfilerSlot&) = delete;

        // Attaches profiler (owned; null detaches), deleting the one before.
        void set(TaskProfiler* profiler);
        TaskProfiler* get() const { return current.load(std::memory_order_acquire); }

        void taskQueued(TaskThreadMode mode, unsigned int countBefore, unsigned int countAfter)
        {
            if (current.load(std::memory_order_relaxed) != nullptr)
                report([&](TaskProfiler& p) { p.taskQueued(mode, countBefore, countAfter); });
        }
        void taskExecuted(TaskThreadMode mode, unsigned int countRemaining)
        {
            if (current.load(std::memory_order_relaxed) != nullptr)
                report([&](TaskProfiler& p) { p.taskExecuted(mode, countRemaining); });
        }

    private:
        template <typename Report>
        void report(Report&& call)
        {
            // Registered before the second look, so set() either sees this
            // reporter or this reporter sees the new pointer.
            reporters.fetch_add(1);
            if (TaskProfiler* profiler = current.load())
                call(*profiler);
            reporters.fetch_sub(1);
        }

        std::atomic<TaskProfiler*> current{nullptr};
        std::atomic<int> reporters{0};
    };

} // namespace vx
