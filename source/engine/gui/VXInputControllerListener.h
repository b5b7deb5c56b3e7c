#pragma once

namespace vx
{

    class BaseInputMessage;

    // Told of every message the input controller applied, on the thread that
    // applied it, right after apply(); the message is deleted after the call.
    class InputControllerListener
    {
    public:
        virtual ~InputControllerListener() = default;
        virtual void inputMessageHandled(BaseInputMessage* message) = 0;
    };

} // namespace vx
