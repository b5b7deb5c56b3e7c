#pragma once

#include "engine/behaviours/VXBehaviourTimelineBase.h"
#include "engine/behaviours/VXDeltaSource.h"

#include <memory>

namespace vx
{
    // The time-driven timeline: the owner's value runs through its
    // start/stop window in the duration (the original duration, scaled to
    // the window when the duration adapts), times "speed" (0 to 10), in the
    // play direction and mode. It is its own play head's delta source.
    // Element and name "BehaviourTimeline".
    class BehaviourTimeline : public BehaviourTimelineBase, public DeltaSource
    {
    public:
        BehaviourTimeline(ParamRange& owner, double originalDurationMs);

        // "speed" x |the frame's global speed| (1 unless global speed is on).
        double getSpeed(const TimeInfo& info) const override;
        void start(bool restart) override;
        void rangesChanged() override;
        // Clears the finished mark, tells the listeners, and shows the play
        // head's direction in "playDirection".
        void directionChangedAfterUpdate() override;
        double getDuration() const override { return duration; }
        double getPhaseRemaining() const override;
        // "speed" x amount / duration.
        double getDelta(double milliseconds) const override;
        // The frame's advance (512 without a usable duration), with the
        // frame's global direction request when global speed is on.
        Result getDelta(const TimeInfo& info) override;
        double getNormalizedRandomDuration() const override;
        void getRandomPosition(double& elapsed, double& position) const override;
        virtual double getStartPhase() { return 0.0; }
        virtual double getStopPhase() { return 1.0; }
        // The play head takes the play parameters; the duration follows.
        void readStatePost() override;

        const std::shared_ptr<ParamRange>& getSpeedParam() const { return speed; }
        // Uses other's "speed" in place of its own (a slave following a
        // master).
        void shareSpeedParam(const std::shared_ptr<ParamRange>& other);
        bool isRestartPending() const { return restartPending; }

    protected:
        BehaviourTimeline(ParamRange& owner, double originalDurationMs, const std::string& elementName);

    private:
        std::shared_ptr<ParamRange> speed;
        double duration = 0.0;
        bool restartPending = false;
    };
}
