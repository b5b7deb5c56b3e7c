#pragma once

#include "core/parameters/VXValueRange.h"
#include "engine/behaviours/VXDeltaSource.h"
#include "engine/behaviours/VXParamModifier.h"

#include <cstdint>

namespace vx
{
    // How a play head moves: 0 backward, 1 forward, 2 random, 3 pause.
    enum ParamPlayDirection : std::int32_t
    {
        playBackward = 0,
        playForward = 1,
        playRandom = 2,
        playPause = 3
    };

    // What it does at the window's ends: 0 loop, 1 bounce, 2 once, 3 once
    // and hold (2 and 3 behave alike here).
    enum ParamPlayMode : std::int32_t
    {
        playLoop = 0,
        playBounce = 1,
        playOnce = 2,
        playOnceAndHold = 3
    };

    // The play head of every timeline-like behaviour: a phase in a play
    // window, moved each frame by what its delta source reports, kept in the
    // window by the play direction and mode. apply hands out the phase.
    //
    // Flags answered by update, beyond the source's request bits (which are
    // passed through): 4 jumped or wrapped; 8 / 16 the direction became
    // forward / backward; 0x80 a once mode reached the end (finished mark
    // set); 0x100 held, or a once mode reached the start after finishing;
    // 0x200 no usable duration; 0x400 / 0x800 wrapped past the end going
    // forward / past the start going backward (not while beat-looping).
    //
    // Used on the owner's update thread only.
    class ModifierTimeline : public ParamModifier
    {
    public:
        enum Flag : std::uint32_t
        {
            flagWrapped = 4,
            flagForward = 8,
            flagBackward = 16,
            flagPause = 32,
            flagRandom = 64,
            flagFinished = 0x80,
            flagHeld = 0x100,
            flagNoDuration = 0x200,
            flagWrapEnd = 0x400,
            flagWrapStart = 0x800
        };

        explicit ModifierTimeline(DeltaSource& deltaSource);

        void apply(double& v) override { v = phase; }
        std::uint32_t update(const TimeInfo& info) override;
        std::uint32_t updateAndApply(const TimeInfo& info, double& v) override;
        // One source call for n sub-steps (see ParamModifier).
        std::uint32_t updateAndApply(TimeInfo& info, double* values, int* flags, double& value, int n) override;
        // Phase and continuous phase go to v; the random time restarts.
        void reset(const double& v) override;
        bool isAnimating() const override { return direction != playPause; }

        // Entering random picks a random phase; the direction itself is
        // written through the field the owner's parameter is bound to.
        void setPlayDirection(ParamPlayDirection newDirection);
        void setPlayMode(ParamPlayMode newMode) { mode = newMode; }
        ParamPlayDirection getPlayDirection() const { return static_cast<ParamPlayDirection>(direction); }
        ParamPlayMode getPlayMode() const { return static_cast<ParamPlayMode>(mode); }
        // The fields a choice parameter writes through.
        std::int32_t* getDirectionField() { return &direction; }
        std::int32_t* getModeField() { return &mode; }

        // What is left of the window in the play direction (0.5 paused; the
        // random time left when random).
        double getPhaseRemaining() const;

        double getPhase() const { return phase; }
        double getContinuousPhase() const { return continuousPhase; }
        double getRandomElapsed() const { return randomElapsed; }
        bool isFinished() const { return finishedMark; }
        void clearFinished() { finishedMark = false; }

        double getBeatloopStart() const { return window.min; }
        double getBeatloopEnd() const { return window.max; }
        bool isBeatlooping() const { return beatLooping; }
        void copyBeatLoop(const ModifierTimeline& other);

        void setPhaseChangesDuringRandom(bool changes) { phaseChangesDuringRandom = changes; }
        bool getPhaseChangesDuringRandom() const { return phaseChangesDuringRandom; }
        void setBeatlooperCatchesUp(bool catchesUp) { beatlooperCatchesUp = catchesUp; }
        bool getBeatlooperCatchesUp() const { return beatlooperCatchesUp; }

        // Folds p into the window: by whole widths, or by mirroring in
        // bounce mode. Always ends (an empty window clamps). Answers 0.
        int adjustPhase(double& p) const;

    private:
        std::uint32_t applyDirectionRequest(std::uint32_t requestFlags, bool reportOnlyChanges);
        void jumpTo(double jumpPosition);
        std::uint32_t consultBeatloop();
        std::uint32_t updateInternal(double delta);

        std::int32_t direction = playForward;
        std::int32_t mode = playLoop;
        double phase = 0.0;
        double randomElapsed = 0.0;
        bool finishedMark = false;
        double continuousPhase = 0.0;
        DeltaSource& source;
        ValueRange<double> window{0.0, 1.0, "range"};
        bool beatLooping = false;
        bool phaseChangesDuringRandom = false;
        bool beatlooperCatchesUp = false;
        bool warnedBadFrame = false;
    };
}
