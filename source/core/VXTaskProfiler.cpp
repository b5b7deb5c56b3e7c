#include "core/VXTaskProfiler.h"

#include "core/VXThread.h"
#include "core/VXValueHistory.h"
#include "core/VXWaitableEvent.h"

#include <thread>

namespace vx
{

    const char* const TaskProfiler::QUEUE_NAMES[numTaskThreadModes] = {"Renderer", "Update", "Threaded",
                                                                       "Message",  "Input",  "Control"};

    const Color TaskProfiler::QUEUE_COLORS[numTaskThreadModes] = {
        Color(1.0f, 1.0f, 0.0f, 1.0f), Color(1.0f, 0.0f, 0.0f, 1.0f), Color(0.0f, 1.0f, 0.0f, 1.0f),
        Color(1.0f, 1.0f, 1.0f, 1.0f), Color(1.0f, 0.0f, 1.0f, 1.0f), Color(0.0f, 0.5f, 1.0f, 1.0f)};

    class TaskProfiler::TimerThread : public Thread
    {
    public:
        explicit TimerThread(TaskProfiler& owner) : Thread("Task Profiler Timer"), profiler(owner) {}
        // Asked and joined, never cancelled: a sample under way is completed.
        ~TimerThread() override { stopThreadNow(); }

        void requestThreadStop() override
        {
            Thread::requestThreadStop();
            // Cuts the pause short (a trigger before the wait lets it through).
            wakeUp.trigger();
        }

    protected:
        void run() override
        {
            while (! isStopRequested())
            {
                profiler.makeSnapshot();
                wakeUp.waitForTrigger(sampleIntervalMs);
            }
        }

    private:
        TaskProfiler& profiler;
        WaitableEvent wakeUp;
    };

    TaskProfiler::TaskProfiler()
    {
        for (int i = 0; i < numTaskThreadModes; ++i)
        {
            counts[i].store(0, std::memory_order_relaxed);
            histories[i] = std::make_shared<ValueHistory>(historySeconds);
            histories[i]->addEntry(0.0f, nullptr);
        }
        timer = std::make_unique<TimerThread>(*this);
        timer->startThread(3);
    }

    TaskProfiler::~TaskProfiler()
    {
        // The thread goes before the histories it writes.
        timer.reset();
    }

    void TaskProfiler::taskQueued(TaskThreadMode mode, unsigned int, unsigned int countAfter)
    {
        const int index = int(mode);
        if (index >= 0 && index < numTaskThreadModes)
            counts[index].store(countAfter, std::memory_order_relaxed);
    }

    void TaskProfiler::taskExecuted(TaskThreadMode mode, unsigned int countRemaining)
    {
        const int index = int(mode);
        if (index >= 0 && index < numTaskThreadModes)
            counts[index].store(countRemaining, std::memory_order_relaxed);
    }

    void TaskProfiler::makeSnapshot()
    {
        for (int i = 0; i < numTaskThreadModes; ++i)
            histories[i]->addEntry(float(counts[i].load(std::memory_order_relaxed)), nullptr);
    }

    unsigned int TaskProfiler::getQueueCount(TaskThreadMode mode) const
    {
        const int index = int(mode);
        return index >= 0 && index < numTaskThreadModes ? counts[index].load(std::memory_order_relaxed) : 0;
    }

    std::shared_ptr<ValueHistory> TaskProfiler::getHistory(TaskThreadMode mode) const
    {
        const int index = int(mode);
        return index >= 0 && index < numTaskThreadModes ? histories[index] : nullptr;
    }

    bool TaskProfiler::isSampling() const
    {
        return timer != nullptr && timer->isThreadRunning();
    }

    void TaskProfilerSlot::set(TaskProfiler* profiler)
    {
        // Detached first: reports arriving now skip the slot, so the wait
        // below only outlasts the few already inside and cannot starve.
        TaskProfiler* previous = current.exchange(nullptr);
        if (previous != nullptr)
        {
            while (reporters.load() != 0)
                std::this_thread::yield();
            delete previous;
        }
        current.store(profiler);
    }

} // namespace vx
