#pragma once

#include "core/VXBroadcaster.h"
#include "engine/behaviours/VXBeats.h"
#include "engine/behaviours/VXBehaviourDouble.h"
#include "engine/behaviours/VXTimelineListener.h"

#include <cstdint>
#include <memory>
#include <string>

namespace vx
{
    class ModifierTimeline;
    template <typename T>
    class ParamChoice;

    // What every timeline kind shares: the play parameters ("playDirection",
    // "playMode", "playModeAway" in its Params), the original duration with
    // the beat count and clip tempo derived from it, the loop count, the
    // beats record and the finished notification. The derived kind makes the
    // play head and is its delta source.
    //
    // Runs on the owner's update thread; finished reaches synchronous
    // listeners there and asynchronous ones through deferred delivery.
    class BehaviourTimelineBase : public BehaviourDouble, public Broadcaster<TimelineListener>
    {
    public:
        ~BehaviourTimelineBase() override;

        // The chain's flags; a forward wrap counts the loop up, a backward
        // one down.
        std::uint32_t update(const TimeInfo& info) override;
        std::uint32_t updateSliced(TimeInfo& info, double* values, int* flags, double value, int n) override;
        // Rewinds when restarted with "playModeAway" on "rewind".
        void start(bool restart) override;
        void rangesChanged() override = 0;
        XmlNode* writeStateDerived(XmlPool& pool, bool force) override;
        void readStateDerived(const XmlNode& node) override;
        bool stepBackPhase(double phase, double elapsedMs, const TimeInfo& lastFrame, double& stepped) const override;

        // The play head to the window's start (its end when playing backward)
        // unless paused, the owner's value after it (always notifying), loop
        // count 0.
        virtual void resetTime();
        virtual void setBeatmarks(const std::shared_ptr<AudioBeatmarks<double>>& marks);
        // Milliseconds to run through the window at speed 1.
        virtual double getDuration() const = 0;
        // Refuses (logged) a duration that is not a positive finite number.
        virtual void setOriginalDuration(double milliseconds);
        virtual double getPhaseRemaining() const { return 0.5; }
        virtual bool isBpmSync() const { return false; }
        // The phase advance for an amount of time (milliseconds, or beats
        // when beat-synced).
        virtual double getDelta(double amount) const = 0;

        Beats<double>& getBeats() { return clipBeats; }
        const std::shared_ptr<ModifierTimeline>& getPlayHead() const { return playHead; }
        const std::shared_ptr<ParamChoice<int>>& getPlayDirectionParam() const { return playDirection; }
        const std::shared_ptr<ParamChoice<int>>& getPlayModeParam() const { return playMode; }
        const std::shared_ptr<ParamChoice<int>>& getPlayModeAwayParam() const { return playModeAway; }

        void setDurationAdapts(bool adapts);
        bool getDurationAdapts() const { return durationAdapts; }
        void setDurationBasedOnParam(bool basedOnParam);
        bool getDurationBasedOnParam() const { return durationBasedOnParam; }
        void setGlobalSpeedEnabled(bool enabled) { globalSpeedEnabled = enabled; }
        bool getGlobalSpeedEnabled() const { return globalSpeedEnabled; }

        // The owner's min/max span when the duration is based on it, else
        // the stored original duration.
        double getOriginalDuration() const;
        void setRandomDuration(double milliseconds) { randomDuration = milliseconds; }
        double getRandomDuration() const { return randomDuration; }
        std::int32_t getLoopCount() const { return loopCount; }
        unsigned int getNumBeatsOfClip() const { return numBeats; }
        double getClipTempo() const { return clipTempo; }

        // One random position per beat (or beat mark), the phase moving on
        // while random.
        void setAudioRandomBehaviour();

    protected:
        BehaviourTimelineBase(ParamRange& owner, double originalDurationMs, const std::string& elementName);

        // Binds the play parameters to the play head's fields.
        void bindPlayHead(const std::shared_ptr<ModifierTimeline>& head);
        // The play head takes the play parameters' values.
        void copyPlayParamsToPlayHead();
        // The duration rule shared by the time- and beat-driven kinds.
        double computeDuration() const;
        // Tells the timeline listeners.
        void sendFinished();

        std::shared_ptr<ParamChoice<int>> playMode;
        std::shared_ptr<ParamChoice<int>> playDirection;
        std::shared_ptr<ParamChoice<int>> playModeAway;
        std::shared_ptr<ModifierTimeline> playHead;
        bool durationAdapts = true;
        bool durationBasedOnParam = false;
        bool globalSpeedEnabled = false;
        double originalDuration;
        double randomDuration = 40.0;
        Beats<double> clipBeats{120.0, 4, 0};

    private:
        void updateBeatInfo();
        void countLoops(std::uint32_t flags);

        unsigned int numBeats = 4;
        double clipTempo = 120.0;
        std::int32_t loopCount = 0;
    };
}
