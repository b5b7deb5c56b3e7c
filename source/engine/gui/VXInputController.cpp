#include "engine/gui/VXInputController.h"

#include "core/VXLog.h"
#include "core/VXTaskManager.h"
#include "core/VXThread.h"
#include "core/VXTime.h"
#include "core/parameters/VXParamBase.h"
#include "engine/gui/VXBaseInputMessage.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vx
{
    namespace
    {
        constexpr int inputPeriodMs = 10;
        constexpr double slowMs = 1.0;

        // Input threads whose controller was deleted on that very thread (from
        // a message or listener there): asked to stop, they end by themselves
        // and are deleted by the next controller's destructor or at exit.
        struct Orphans
        {
            std::mutex lock;
            std::vector<std::unique_ptr<Thread>> threads;
        };

        Orphans& orphans()
        {
            static Orphans instance;
            return instance;
        }

        void reapOrphans()
        {
            std::vector<std::unique_ptr<Thread>> ended;
            {
                Orphans& o = orphans();
                const std::lock_guard<std::mutex> hold(o.lock);
                for (auto& thread : o.threads)
                    if (! thread->isThreadRunning())
                        ended.push_back(std::move(thread));
                std::erase(o.threads, nullptr);
            }
            // Joined (at once: they have ended) outside the lock.
        }
    }

    // What messages in flight share with their controller. It outlives the
    // controller (every queued task holds it), so a task run or destroyed
    // after the controller went finds it closed instead of freed memory.
    struct InputController::Shared
    {
        explicit Shared(InputController& owner) : controller(&owner) {}

        // Marks the calling thread as inside the controller's code (pushing or
        // applying): the destructor waits for it. False once closed.
        bool enter()
        {
            std::lock_guard<std::mutex> hold(lock);
            if (closed)
                return false;
            busy.push_back(std::this_thread::get_id());
            return true;
        }

        void leave()
        {
            std::lock_guard<std::mutex> hold(lock);
            leaveLocked();
        }

        void leaveLocked()
        {
            busy.erase(std::find(busy.begin(), busy.end(), std::this_thread::get_id()));
            left.notify_all();
        }

        std::mutex lock;
        std::condition_variable left;
        InputController* const controller;
        bool closed = false;
        std::thread::id destroyingThread;
        std::vector<std::thread::id> busy;   // one entry per push or apply in progress
        std::vector<PendingMessage*> queued; // handed to a queue, not yet taken
        int applying = 0;
    };

    // One pushed message on its way to its thread. Its task either takes the
    // message and applies it, or finds it dropped by the closing controller;
    // a task destroyed unrun deletes it.
    class InputController::PendingMessage
    {
    public:
        PendingMessage(std::shared_ptr<Shared> state, std::unique_ptr<BaseInputMessage> pushed)
            : shared(std::move(state)), message(std::move(pushed))
        {
            std::lock_guard<std::mutex> hold(shared->lock);
            shared->queued.push_back(this);
        }

        ~PendingMessage()
        {
            // Deleted outside the lock: a message's destructor may push.
            std::unique_ptr<BaseInputMessage> unrun = take();
        }

        PendingMessage(const PendingMessage&) = delete;
        PendingMessage& operator=(const PendingMessage&) = delete;

        void handle()
        {
            Shared& s = *shared;
            std::unique_ptr<BaseInputMessage> taken;
            {
                std::unique_lock<std::mutex> hold(s.lock);
                taken = takeLocked();
                if (taken == nullptr || s.closed)
                    return; // dropped; a message taken here goes unapplied
                s.busy.push_back(std::this_thread::get_id());
                ++s.applying;
            }

            const double start = getTickCount();
            taken->apply();
            bool tell;
            {
                // The destructor waits for this thread, unless it is the one
                // destroying (apply() deleted the controller).
                std::lock_guard<std::mutex> hold(s.lock);
                tell = ! (s.closed && s.destroyingThread == std::this_thread::get_id());
            }
            // Now, on this thread: the message is deleted right after, so no
            // listener may be left to hear of it later. A listener may delete
            // the controller; only the shared state is touched after.
            if (tell)
                s.controller->callListeners(&InputControllerListener::inputMessageHandled, taken.get(),
                                            CallType::forced);
            taken.reset();
            const double took = getTickCount() - start;
            if (took > slowMs)
                debugPrint("It took " + std::to_string(took) + " milliseconds to handle input message.");

            std::lock_guard<std::mutex> hold(s.lock);
            --s.applying;
            s.leaveLocked();
        }

        // The message, unless taken already; off the queued list either way.
        std::unique_ptr<BaseInputMessage> takeLocked()
        {
            if (message != nullptr)
                shared->queued.erase(std::find(shared->queued.begin(), shared->queued.end(), this));
            return std::move(message);
        }

    private:
        std::unique_ptr<BaseInputMessage> take()
        {
            std::lock_guard<std::mutex> hold(shared->lock);
            return takeLocked();
        }

        std::shared_ptr<Shared> shared;
        std::unique_ptr<BaseInputMessage> message; // guarded by the shared lock
    };

    class InputController::Pimpl : public Thread
    {
    public:
        explicit Pimpl(TaskManager& manager) : Thread("Input Controller"), taskManager(manager) {}
        // Asked and joined, never cancelled: the loop sees the request within
        // one period, after the task it runs.
        ~Pimpl() override { stopThreadNow(); }

        bool isInputThread() const { return runner.load() == std::this_thread::get_id(); }

        TaskManager& taskManager;

    protected:
        void run() override
        {
            runner = std::this_thread::get_id();
            while (! isStopRequested())
            {
                taskManager.executeTasks(TaskThreadMode::Input, 0.0);
                Thread::sleep(inputPeriodMs);
            }
        }

    private:
        std::atomic<std::thread::id> runner{};
    };

    InputController::InputController(TaskManager& taskManager)
        : shared(std::make_shared<Shared>(*this)), pimpl(std::make_unique<Pimpl>(taskManager))
    {
        pimpl->startThread(5);
    }

    InputController::~InputController()
    {
        Shared& s = *shared;
        std::vector<std::unique_ptr<BaseInputMessage>> dropped;
        {
            std::unique_lock<std::mutex> hold(s.lock);
            s.closed = true;
            const std::thread::id self = std::this_thread::get_id();
            s.destroyingThread = self;
            // Pushes and applies on other threads end by themselves; those of
            // this thread (the destructor called from inside one) cannot.
            s.left.wait(hold,
                        [&] { return std::all_of(s.busy.begin(), s.busy.end(), [&](auto id) { return id == self; }); });
            // No push can queue more now.
            while (! s.queued.empty())
                dropped.push_back(s.queued.back()->takeLocked());
        }
        dropped.clear();
        if (pimpl->isInputThread())
        {
            // It cannot join itself: it ends once this task returns.
            logPrint(logError, "InputController: deleted on its own input thread; the thread ends by itself");
            pimpl->requestThreadStop();
            Orphans& o = orphans();
            const std::lock_guard<std::mutex> hold(o.lock);
            o.threads.push_back(std::move(pimpl));
            return;
        }
        pimpl.reset();
        reapOrphans();
    }

    void InputController::stop()
    {
        pimpl->stopThreadNow();
    }

    bool InputController::isRunning() const
    {
        return pimpl->isThreadRunning();
    }

    int InputController::getNumPendingMessages() const
    {
        std::lock_guard<std::mutex> hold(shared->lock);
        return int(shared->queued.size()) + shared->applying;
    }

    void InputController::pushMessage(BaseInputMessage* message)
    {
        if (message == nullptr)
        {
            logEscapedError("pushMessage", __LINE__, "Input Controller received null message.");
            return;
        }
        std::unique_ptr<BaseInputMessage> owned(message);
        ParamBase* target = owned->getTarget();
        if (target == nullptr)
        {
            logEscapedError("pushMessage", __LINE__, "Input Controller received message without a target.");
            return;
        }
        // A message applied at once below may delete the controller: from
        // here on only locals are touched.
        const std::shared_ptr<Shared> state = shared;
        if (! state->enter())
            return; // being destroyed: refused
        TaskManager& tasks = pimpl->taskManager;
        const ParamBase::ThreadAffinity affinity = target->getThreadAffinity();
        if (! pimpl->isThreadRunning() || affinity == ParamBase::ThreadAffinity_NotDispatched)
        {
            owned.reset();
            state->leave();
            return;
        }

        const double start = getTickCount();
        auto pending = std::make_shared<PendingMessage>(state, std::move(owned));
        std::function<void()> handler = [pending] { pending->handle(); };
        switch (affinity)
        {
            case ParamBase::ThreadAffinity_MessageThread:
                if (Thread::isThisMessageThread())
                    handler();
                else
                    tasks.fireTask(TaskThreadMode::Message, std::move(handler), false, 0);
                break;
            case ParamBase::ThreadAffinity_RenderThread:
                if (Thread::isThisRenderThread())
                    handler();
                else
                    tasks.fireTask(TaskThreadMode::Renderer, std::move(handler), false, 0);
                break;
            case ParamBase::ThreadAffinity_ControlThread:
                tasks.fireTask(TaskThreadMode::Control, std::move(handler), false, 0);
                break;
            default:
                tasks.fireTask(TaskThreadMode::Input, std::move(handler), false, 0);
                break;
        }
        const double took = getTickCount() - start;
        if (took > slowMs)
            debugPrint("Waiting for " + std::to_string(took) + " milliseconds to push input message.");
        state->leave();
    }

} // namespace vx
