#pragma once

#include "core/parameters/VXParamListener.h"
#include "engine/behaviours/VXModifierTimeline.h"
#include "engine/behaviours/VXTimelineListener.h"
#include "engine/video/sources/VXVideoSource.h"

#include <memory>

namespace vx
{
    class BehaviourDouble;
    class BehaviourTimelineBase;
    class ParamPoints;

    // A source that plays: a timeline behaviour on "Position" is its play
    // head (5000 ms by default, global speed on, play mode 0), whose speed
    // and direction go to the concrete source each frame; cue points
    // ("CuePoints") on the position; a frame rate and a frame count.
    class PositionableVideoSource : public VideoSource, public TimelineListener, public ParamListener
    {
    public:
        explicit PositionableVideoSource(const std::string& type);
        ~PositionableVideoSource() override;

        // The base update, then the play head's speed and the cue points.
        bool update(const TimeInfo& info) override;
        // The base reading; a behaviour read from XML becomes the play head.
        void readStateDerived(const XmlNode& node) override;

        virtual bool runsAutonomously() { return false; }
        virtual bool canRunAutonomously() { return false; }
        virtual void setRunsAutonomously(bool runs) { (void)runs; }
        virtual void setPlaybackSpeed(double speed) { (void)speed; }
        // 4 while the user holds "Position".
        virtual void setPlaybackDirection(ParamPlayDirection direction) { (void)direction; }
        // The play head's "playDirection" goes to setPlaybackDirection.
        void valueChanged(ParamBase& param, ChangeInfo info) override;
        // A replaced "Position" behaviour (or a slave's master timeline)
        // becomes the play head; the direction follows.
        void stateChanged(ParamBase& param, ChangeInfo info) override;
        // playbackFinished, for this source's own timeline only.
        void finished(const BehaviourTimelineBase* timeline) override;

        // b takes the current behaviour's settings and is installed on
        // "Position".
        void setPositionBehaviour(BehaviourDouble* b);

        double getFrameRate() const { return frameRate; }
        void setFrameRate(double fps) { frameRate = fps; }
        int getNumFrames() const { return numFrames; }
        void setNumFrames(int frames) { numFrames = frames; }
        const std::shared_ptr<ParamPoints>& getCuePoints() const { return cuePoints; }
        const std::shared_ptr<BehaviourTimelineBase>& getTimeline() const { return timeline; }

    private:
        void takeTimelineFromPosition(bool asynchronous);

        std::shared_ptr<BehaviourTimelineBase> timeline;
        std::shared_ptr<ParamPoints> cuePoints;
        double frameRate = -1.0;
        int numFrames = -1;
    };
}
