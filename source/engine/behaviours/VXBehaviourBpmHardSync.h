#pragma once

#include "core/parameters/VXParamListener.h"
#include "engine/behaviours/VXBehaviourDouble.h"

#include <memory>
#include <set>

namespace vx
{
    class ModifierBPMHardSync;
    class ParamEvent;
    template <typename T>
    class ParamChoice;

    // Locks the owner's value to the global beat clock: its position within
    // a cycle of "Beats" beats, forward (">") or mirrored ("<"), bouncing at
    // each cycle boundary in "bounce" mode. Nothing of its own can drift: the
    // value is recomputed from the absolute beat position every frame.
    // Element and name "BehaviourBpmHardSync".
    class BehaviourBpmHardSync : public BehaviourDouble, public ParamListener
    {
    public:
        explicit BehaviourBpmHardSync(ParamRange& owner);
        ~BehaviourBpmHardSync() override;

        // The cycle's beats as phases {k / N}, N = "Beats" truncated; empty
        // below one beat.
        std::set<double> getBeats() const;

        void valueChanged(ParamBase& param, ChangeInfo info) override;
        // A stored direction this behaviour does not offer (2 or more) gives
        // way to the one it had.
        void readStatePre() override;
        void readStatePost() override;

        const std::shared_ptr<ParamRange>& getBeatsParam() const { return beats; }
        const std::shared_ptr<ParamChoice<int>>& getPlayDirectionParam() const { return playDirection; }
        const std::shared_ptr<ParamChoice<int>>& getPlayModeParam() const { return playMode; }
        const std::shared_ptr<ParamEvent>& getMultiplyTwoParam() const { return beatsMultiplyTwo; }
        const std::shared_ptr<ParamEvent>& getDivideTwoParam() const { return beatsDivideTwo; }
        const std::shared_ptr<ModifierBPMHardSync>& getModifier() const { return modifier; }

    private:
        std::shared_ptr<ParamRange> beats;
        std::shared_ptr<ParamChoice<int>> playDirection;
        std::shared_ptr<ParamChoice<int>> playMode;
        std::shared_ptr<ParamEvent> beatsMultiplyTwo;
        std::shared_ptr<ParamEvent> beatsDivideTwo;
        std::shared_ptr<ModifierBPMHardSync> modifier;
        std::int32_t savedDirection = -1;
    };
}
