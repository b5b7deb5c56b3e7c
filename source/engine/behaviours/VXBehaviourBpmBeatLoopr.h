#pragma once

#include "core/parameters/VXParamListener.h"
#include "engine/behaviours/VXBehaviourTimelineBase.h"
#include "engine/behaviours/VXDeltaSource.h"

#include <memory>

namespace vx
{
    class ParamEvent;
    template <typename T>
    class Param;

    // A timeline driven by the global beat clock: the window spans "beats"
    // beats (or, in "BPM" sync mode, the duration at "bpm"), the play head
    // advances by the frame's beat delta, jumps back into sync when the beat
    // clock jumps, holds while it is held, and can loop a section of 4 beats
    // down to a fraction of one ("beatLoop") while the continuous position
    // runs on ("catchUp" resumes there). Element and name
    // "BehaviourBpmBeatLoopr".
    class BehaviourBpmBeatLoopr : public BehaviourTimelineBase, public ParamListener, public DeltaSource
    {
    public:
        BehaviourBpmBeatLoopr(ParamRange& owner, double originalDurationMs);
        ~BehaviourBpmBeatLoopr() override;

        // The clip's beats: the duration at "bpm" in "BPM" mode, else "beats".
        double getNumBeats() const;
        // The playing rate at which the clip's beats meet the global beats
        // (0 without a usable beat count).
        double getSpeed(const TimeInfo& info) const override;
        void start(bool restart) override;
        void rangesChanged() override;
        void directionChangedAfterUpdate() override;
        void setBeatmarks(const std::shared_ptr<AudioBeatmarks<double>>& marks) override;
        double getDuration() const override { return duration; }
        void setOriginalDuration(double milliseconds) override;
        double getPhaseRemaining() const override;
        bool isBpmSync() const override { return true; }
        // beats / the clip's beats.
        double getDelta(double beatCount) const override;
        void readStatePost() override;
        void valueChanged(ParamBase& param, ChangeInfo info) override;
        Result getDelta(const TimeInfo& info) override;
        // One beat.
        double getNormalizedRandomDuration() const override;
        // A jump of whole beats (up to two either way) from position.
        void getRandomPosition(double& elapsed, double& position) const override;
        // The beat loop of "beatLoop" beats aligned around phase, kept while
        // the choice stays.
        bool updateBeatloop(double phase, double& start, double& end) override;

        const std::shared_ptr<ParamRange>& getBeatsParam() const { return beatsParam; }
        const std::shared_ptr<ParamRange>& getBpmParam() const { return bpm; }
        const std::shared_ptr<ParamChoice<int>>& getSyncModeParam() const { return syncmode; }
        const std::shared_ptr<ParamChoice<double>>& getBeatLoopParam() const { return beatLoop; }
        const std::shared_ptr<ParamEvent>& getMultiplyTwoParam() const { return multiplytwo; }
        const std::shared_ptr<ParamEvent>& getDivideTwoParam() const { return dividetwo; }
        const std::shared_ptr<Param<bool>>& getCatchUpParam() const { return catchUp; }
        // Uses other's "beats" in place of its own (a slave following a
        // master).
        void shareBeatsParam(const std::shared_ptr<ParamRange>& other);

    private:
        // Whether the clip's beat count can divide a phase.
        bool hasUsableBeats(double beatCount) const;
        // Sets a parameter's default, its value following when it was at
        // the old default.
        static void moveDefault(ParamRange& param, double newDefault, bool valueFollowsAlways);

        std::shared_ptr<ParamRange> beatsParam;
        std::shared_ptr<ParamRange> bpm;
        std::shared_ptr<ParamChoice<int>> syncmode;
        std::shared_ptr<ParamEvent> multiplytwo;
        std::shared_ptr<ParamEvent> dividetwo;
        std::shared_ptr<ParamChoice<double>> beatLoop;
        std::shared_ptr<Param<bool>> catchUp;
        double lastLoopValue = -1.0;
        double duration = 0.0;
    };
}
