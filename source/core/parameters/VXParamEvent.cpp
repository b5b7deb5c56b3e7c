#include "core/parameters/VXParamEvent.h"

#include "core/VXTime.h"

namespace vx
{
    ParamEvent::ParamEvent(const std::string& name) : Param<bool>(name, false, "ParamEvent"), seenValue(false)
    {
        setDefaultChangeType(ChangeType_OnChange);
    }

    void ParamEvent::setTriggerType(TriggerType type)
    {
        triggerType = type;
        const bool oneSided = type == triggerOnFalse || type == triggerOnTrue;
        setDefaultChangeType(oneSided ? ChangeType_Always : ChangeType_OnChange);
    }

    bool ParamEvent::setValue(bool newValue, ValueChangeInfo info)
    {
        const std::int32_t passingBit = newValue ? triggerOnTrue : triggerOnFalse;
        if ((static_cast<std::int32_t>(triggerType) & passingBit) == 0)
            return false;
        return Param<bool>::setValue(newValue, info);
    }

    void ParamEvent::trigger()
    {
        seenValue = value;
        setValue(! value, ValueChangeInfo(ChangeType_Always, getTickCount()));
    }

    void ParamEvent::triggerTrue()
    {
        setValue(true, ValueChangeInfo(ChangeType_Always, getTickCount()));
    }

    bool ParamEvent::isTriggered()
    {
        if (value == seenValue)
            return false;
        seenValue = value;
        return true;
    }

    XmlNode* ParamEvent::writeStateDerived(XmlPool&, bool)
    {
        return nullptr;
    }

    void ParamEvent::readStateDerived(const XmlNode&)
    {
    }

    ParamBase* ParamEvent::createParamFromXmlNode(const XmlNode* node)
    {
        if (node == nullptr)
            return nullptr;
        auto* event = new ParamEvent(readAttribute(node->first_attribute("name"), std::string()));
        event->readState(node, false);
        return event;
    }
}
