#pragma once

#include "core/parameters/VXParam.h"

#include <cstdint>
#include <string>

namespace vx
{
    // A trigger: a boolean parameter whose changes are the events. Pollers
    // ask isTriggered once per frame and see each toggle once; listeners
    // hear every change that passes the trigger type. Never written to XML,
    // so an event is never part of a stored parameter list. Element
    // "ParamEvent".
    class ParamEvent : public Param<bool>
    {
    public:
        // Which requests the filtering setValue lets through.
        enum TriggerType : std::int32_t
        {
            triggerNone = 0,
            triggerOnFalse = 1,
            triggerOnTrue = 2,
            triggerOnBoth = 3
        };

        // Value and default false, trigger type 3, default change type 0.
        explicit ParamEvent(const std::string& name);

        // Also picks the default change type: 2 (always notify) for the
        // one-sided types 1 and 2, 0 for every other value.
        void setTriggerType(TriggerType type);
        TriggerType getTriggerType() const { return triggerType; }

// The filtering setter hides the virtual one on purpose: a caller holding
// the base interface keeps the unfiltered setter.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Woverloaded-virtual"
#endif
        // Drops a request the trigger type does not let through (answering
        // false); otherwise Param<bool>::setValue.
        bool setValue(bool newValue, ValueChangeInfo info);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

        // Remembers the value as seen, then asks for the inverted value with
        // change type 2: a passing trigger toggles and always notifies.
        void trigger();
        // Asks for true with change type 2.
        void triggerTrue();
        // True once per change of the value since the last look.
        bool isTriggered();

        // Answers no element.
        XmlNode* writeStateDerived(XmlPool& pool, bool force) override;
        // Reads no value (the common attributes are still read).
        void readStateDerived(const XmlNode& node) override;

        // An event named by the node's "name" (empty when absent) that has
        // read the node, owned by the caller; null only for a null node.
        static ParamBase* createParamFromXmlNode(const XmlNode* node);

    private:
        bool seenValue;
        TriggerType triggerType = triggerOnBoth;
    };
}
