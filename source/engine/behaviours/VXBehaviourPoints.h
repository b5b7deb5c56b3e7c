#pragma once

#include "engine/behaviours/VXBehaviourAnimated.h"

#include <memory>

namespace vx
{
    class EnvelopeModifier;

    // A timeline whose phase is shaped by a keyframe curve. Saves its
    // keyframes as "point" elements (x phase, y destination, curve number)
    // inside "points". Element and name "BehaviourPoints".
    class BehaviourPoints : public BehaviourAnimated
    {
    public:
        BehaviourPoints(ParamRange& owner, double originalDurationMs);

        XmlNode* writeStateDerived(XmlPool& pool, bool force) override;
        // Adds the readable points to the keyframes already there; a point
        // missing "x", "y" or "curve" is skipped.
        void readStateDerived(const XmlNode& node) override;

        const std::shared_ptr<EnvelopeModifier>& getEnvelope() const { return envelope; }

    private:
        std::shared_ptr<EnvelopeModifier> envelope;
    };
}
