#include "engine/gui/VXInputController.h"

#include "core/VXLog.h"
#include "core/VXTaskManager.h"
#include "core/VXThread.h"
#include "core/VXTime.h"
#include "core/parameters/VXParamBase.h"
#include "engine/gui/VXBaseInputMessage.h"

#include <atomic>
#include <string>

namespace vx
{
    namespace
    {
        constexpr int inputPeriodMs = 10;
        constexpr double slowMs = 1.0;
    }

    // What a message in flight needs of its controller. The counter sits
    // here so a message a queue destroys unrun (a task manager going away)
    // still counts itself off.
    struct InputController::Shared
    {
        explicit Shared(InputController& owner) : controller(owner) {}
        InputController& controller;
        std::atomic<int> pending{0};
    };

    // One pushed message: counted from construction to destruction, so the
    // controller's destructor waits for exactly the messages still on their
    // way, whether they get applied or are thrown away by their queue.
    class InputController::PendingMessage
    {
    public:
        PendingMessage(std::shared_ptr<Shared> state, std::unique_ptr<BaseInputMessage> pushed)
            : shared(std::move(state)), message(std::move(pushed))
        {
            shared->pending.fetch_add(1);
        }
        ~PendingMessage()
        {
            message.reset();
            shared->pending.fetch_sub(1);
        }
        PendingMessage(const PendingMessage&) = delete;
        PendingMessage& operator=(const PendingMessage&) = delete;

        void handle()
        {
            if (message == nullptr)
                return;
            const double start = getTickCount();
            message->apply();
            // Now, on this thread: the message is deleted right after, so no
            // listener may be left to hear of it later.
            shared->controller.callListeners(&InputControllerListener::inputMessageHandled, message.get(),
                                             CallType::forced);
            message.reset();
            const double took = getTickCount() - start;
            if (took > slowMs)
                debugPrint("It took " + std::to_string(took) + " milliseconds to handle input message.");
        }

    private:
        std::shared_ptr<Shared> shared;
        std::unique_ptr<BaseInputMessage> message;
    };

    class InputController::Pimpl : public Thread
    {
    public:
        explicit Pimpl(TaskManager& manager) : Thread("Input Controller"), taskManager(manager) {}
        ~Pimpl() override { stopThreadNow(); }

        TaskManager& taskManager;

    protected:
        void run() override
        {
            while (! isStopRequested())
            {
                taskManager.executeTasks(TaskThreadMode::Input, 0.0);
                Thread::sleep(inputPeriodMs);
            }
        }
    };

    InputController::InputController(TaskManager& taskManager)
        : shared(std::make_shared<Shared>(*this)), pimpl(std::make_unique<Pimpl>(taskManager))
    {
        pimpl->startThread(5);
    }

    InputController::~InputController()
    {
        // Never cancelled: the loop sees the request within one period.
        pimpl->stopThreadNow();
        while (shared->pending.load() != 0)
        {
            pimpl->taskManager.executeTasks(TaskThreadMode::Input, 0.0);
            Thread::sleep(1);
        }
        pimpl.reset();
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
        return shared->pending.load();
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
        if (! pimpl->isThreadRunning())
            return;
        const ParamBase::ThreadAffinity affinity = target->getThreadAffinity();
        if (affinity == ParamBase::ThreadAffinity_NotDispatched)
            return;

        const double start = getTickCount();
        auto pending = std::make_shared<PendingMessage>(shared, std::move(owned));
        std::function<void()> handler = [pending] { pending->handle(); };
        TaskManager& tasks = pimpl->taskManager;
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
    }

} // namespace vx
