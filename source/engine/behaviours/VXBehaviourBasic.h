#pragma once

#include "core/parameters/VXValueRange.h"
#include "engine/behaviours/VXBehaviourDouble.h"

namespace vx
{
    // The behaviour every range parameter starts with: no modifiers, so it
    // never moves the value and never asks to be saved. Element and name
    // "BehaviourBasic". It keeps a saved window of its own, starting as the
    // owner's min/max range; a forced write puts that window (widened to
    // hold the owner's value) in the owner's start/stop range for the
    // write, and leaves the start/stop range equal to the min/max range.
    class BehaviourBasic : public BehaviourDouble
    {
    public:
        explicit BehaviourBasic(ParamRange& owner);

        bool needsToWriteState() override { return false; }
        XmlNode* writeStateDerived(XmlPool& pool, bool force) override;
        void readStateDerived(const XmlNode& node) override;

        const ValueRange<double>& getSavedWindow() const { return savedWindow; }

    private:
        ValueRange<double> savedWindow;
    };
}
