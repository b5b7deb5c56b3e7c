#pragma once

#include "core/VXBroadcaster.h"
#include "core/VXCurrentInstance.h"
#include "engine/gui/VXInputControllerListener.h"

#include <memory>

namespace vx
{

    class BaseInputMessage;
    class TaskManager;

    // Takes input messages from any thread and applies each on the thread its
    // target parameter names (ParamBase::getThreadAffinity): the message,
    // render or control thread through their task queues (at once when
    // pushed on the message or render thread itself), or the controller's
    // own "Input Controller" thread, which drains the Input queue every
    // 10 ms. Listeners hear of every applied message on the applying thread.
    //
    // The engine root makes it under module flag 0x20 with its task manager
    // and names it current while it exists.
    class InputController : public Broadcaster<InputControllerListener>, public CurrentInstance<InputController>
    {
    public:
        // Starts the input thread (priority 5), draining taskManager's Input
        // queue; messages for other threads go to its other queues.
        explicit InputController(TaskManager& taskManager);
        // Ends promptly on any thread. From its start, messages pushed are
        // refused (deleted unapplied). Messages still queued for any thread are dropped:
        // deleted unapplied, never run, whether or not their thread drains
        // its queue again. It waits only for work already running: messages
        // being applied on other threads at that moment (so apply() and
        // listeners must not wait for the destroying thread) and the task the
        // input thread runs; then the input thread is asked to stop and
        // joined. (Called on the input thread itself, from a message applied
        // there or a listener called there, it logs that, and the thread ends
        // once that task returns.) Once it returns, every message pushed was
        // applied or deleted.
        ~InputController() override;
        InputController(const InputController&) = delete;
        InputController& operator=(const InputController&) = delete;

        // Takes ownership of message; any thread. Null messages and messages
        // without a target are logged and dropped; messages pushed while the
        // input thread is not running or the controller is being destroyed,
        // or whose target is not dispatched, are deleted unapplied. The caller
        // must not touch message afterwards.
        void pushMessage(BaseInputMessage* message);
        // Stops the input thread cooperatively, waiting for the task it runs.
        // Messages left on the Input queue are dropped by the destructor.
        void stop();

        // Messages pushed to a thread and not yet applied or dropped.
        int getNumPendingMessages() const;
        bool isRunning() const;

    private:
        class Pimpl;
        struct Shared;
        class PendingMessage;

        std::shared_ptr<Shared> shared;
        std::unique_ptr<Pimpl> pimpl;
    };

} // namespace vx
