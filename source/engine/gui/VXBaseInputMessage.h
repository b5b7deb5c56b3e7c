#pragma once

namespace vx
{

    class ParamBase;

    // A change a user interface, controller or network peer wants made to a
    // parameter. Pushed to the InputController, which owns it from then on,
    // applies it on the thread the parameter expects its changes on, and
    // deletes it.
    class BaseInputMessage
    {
    public:
        // Null target: the controller drops the message.
        explicit BaseInputMessage(ParamBase* target) : target(target) {}
        virtual ~BaseInputMessage() = default;
        BaseInputMessage(const BaseInputMessage&) = delete;
        BaseInputMessage& operator=(const BaseInputMessage&) = delete;

        // Makes the change; runs on the target's thread.
        virtual void apply() = 0;

        ParamBase* getTarget() const { return target; }

    protected:
        ParamBase* target;
    };

} // namespace vx
