#pragma once

#include "core/VXTaskGuard.h"

#include <atomic>
#include <functional>
#include <memory>

namespace vx
{

    class WaitableEvent;

    // Selects a task queue; each queue is drained by the thread of its name.
    enum class TaskThreadMode : int
    {
        Renderer = 0, // the render thread, through the engine root
        Update = 1,   // the engine root's update call
        Threaded = 2, // the task manager's worker threads (and helping groups)
        Message = 3,  // the engine root's message call, 0.04 s per call
        Input = 4,    // the input controller's thread
        Control = 5   // the embedding application
    };

    constexpr int numTaskThreadModes = 6;

    // A unit of work: a function with a queue and a priority (-128..127, higher
    // runs first). Made in the task manager's pool (TaskManager::constructTask)
    // or with new; destroyed through TaskManager::destructTask.
    class Task
    {
    public:
        Task(std::function<void()> function, TaskThreadMode mode, signed char priority, bool recurring);
        virtual ~Task();

        Task(const Task&) = delete;
        Task& operator=(const Task&) = delete;

        // The event is triggered after each run; the task does not own it.
        void installCompletionEvent(WaitableEvent& event) { completionEvent = &event; }
        // Replaces (and deletes) an earlier guard.
        void installExecutionGuard(std::unique_ptr<TaskGuard> guard) { executionGuard = std::move(guard); }
        // Lets a recurring task end after its next run; any thread.
        void stopRecurring() { recurring.store(false); }
        // Only while the task is not queued.
        void setThreadMode(TaskThreadMode mode) { threadMode = mode; }
        // Any thread, also while queued; the next fetch sorts by the new value.
        void setPriority(signed char newPriority);

        // Runs the function (if any), then triggers the completion event.
        void execute();

        WaitableEvent* getCompletionEvent() const { return completionEvent; }
        bool isRecurringTask() const { return recurring.load(); }
        TaskThreadMode getThreadMode() const { return threadMode; }
        signed char getPriority() const { return priority.load(); }
        TaskGuard* getExecutionGuard() const { return executionGuard.get(); }

    private:
        friend class TaskQueue;

        // Counts priority changes, so a queue re-sorts only after one happened.
        // (Telling queued tasks apart would cost every queueing an atomic
        // read-modify-write; changes are rare.)
        static std::atomic<unsigned int> priorityChanges;

        WaitableEvent* completionEvent = nullptr;
        std::function<void()> function;
        TaskThreadMode threadMode;
        std::atomic<signed char> priority;
        std::atomic<bool> recurring;
        std::unique_ptr<TaskGuard> executionGuard;
    };

} // namespace vx
