#include "engine/behaviours/VXBehaviourBasic.h"

#include "core/parameters/VXParamRange.h"

namespace vx
{
    BehaviourBasic::BehaviourBasic(ParamRange& owner)
        : BehaviourDouble(owner, "BehaviourBasic", "BehaviourBasic"), savedWindow(owner.getMinMaxRange(), "savedWindow")
    {
    }

    XmlNode* BehaviourBasic::writeStateDerived(XmlPool& pool, bool force)
    {
        const double ownerValue = getOwner().getValue();
        startStopRange.set(savedWindow.min, savedWindow.max);
        if (startStopRange.min > ownerValue)
            startStopRange.min = ownerValue;
        else if (ownerValue > startStopRange.max)
            startStopRange.max = ownerValue;

        XmlNode* element = BehaviourDouble::writeStateDerived(pool, force);

        startStopRange.set(minMaxRange.min, minMaxRange.max);
        return element;
    }

    void BehaviourBasic::readStateDerived(const XmlNode& node)
    {
        BehaviourDouble::readStateDerived(node);
        savedWindow.set(startStopRange.min, startStopRange.max);
        startStopRange.set(minMaxRange.min, minMaxRange.max);
    }
}
