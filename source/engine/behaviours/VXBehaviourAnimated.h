#pragma once

#include "core/parameters/VXParamListener.h"
#include "engine/behaviours/VXBehaviourLinkBase.h"
#include "engine/behaviours/VXBehaviourTimeline.h"

#include <memory>

namespace vx
{
    class ParamEvent;
    template <typename T>
    class Param;

    // A timeline that can also run locked to the beat ("tempoSynced": the
    // phase is the beat position within a cycle of "Beats" beats) and can
    // follow another parameter as its clock (its raw value taken as the beat
    // position). Its duration does not adapt to the window. Element and name
    // "BehaviourAnimated".
    class BehaviourAnimated : public BehaviourTimeline, public BehaviourLinkBase, public ParamListener
    {
    public:
        BehaviourAnimated(ParamRange& owner, double originalDurationMs);
        ~BehaviourAnimated() override;

        using BehaviourLinkBase::link;
        bool link(std::shared_ptr<ParamBase> param, bool pushOwnerValue, bool takeOwnerName) override;
        void unlink() override;
        void pathChanged() override;
        void valueChanged(ParamBase& param, ChangeInfo info) override;
        // Tempo-synced: the beat-locked phase at the frame's beat position
        // (answering 0); otherwise the timeline.
        std::uint32_t update(const TimeInfo& info) override;
        // The timeline's, then "pathToLink" while linked.
        XmlNode* writeStateDerived(XmlPool& pool, bool force) override;
        void readStateDerived(const XmlNode& node) override;

        const std::shared_ptr<ParamRange>& getBeatsParam() const { return beats; }
        const std::shared_ptr<ParamEvent>& getMultiplyTwoParam() const { return beatsMultiplyTwo; }
        const std::shared_ptr<ParamEvent>& getDivideTwoParam() const { return beatsDivideTwo; }
        const std::shared_ptr<Param<bool>>& getTempoSyncedParam() const { return tempoSynced; }

    protected:
        BehaviourAnimated(ParamRange& owner, double originalDurationMs, const std::string& elementName);

    private:
        // Every modifier restarts at the phase of position within the beat
        // cycle (mirrored when playing backward; bounce turns at each wrap).
        void setBeatLockedPhase(double position);

        std::shared_ptr<ParamRange> beats;
        std::shared_ptr<ParamEvent> beatsMultiplyTwo;
        std::shared_ptr<ParamEvent> beatsDivideTwo;
        std::shared_ptr<Param<bool>> tempoSynced;
        double lastPhase = -1.0;
        bool turningDirection = false;
        bool warnedBadFrame = false;
    };
}
