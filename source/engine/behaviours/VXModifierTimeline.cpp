#include "engine/behaviours/VXModifierTimeline.h"

#include "core/VXTimeInfo.h"
#include "engine/behaviours/VXBehaviourUtils.h"

#include <cmath>

namespace vx
{
    namespace
    {
        constexpr std::uint32_t requestMask = 0x78;

        bool isOnceMode(std::int32_t mode)
        {
            return mode == playOnce || mode == playOnceAndHold;
        }

        // A source result with non-finite numbers moves nothing.
        void sanitise(DeltaSource::Result& result)
        {
            if (! std::isfinite(result.delta))
                result.delta = 0.0;
            if ((result.flags & DeltaSource::requestJump) != 0 && ! std::isfinite(result.jumpPosition))
                result.flags &= ~static_cast<std::uint32_t>(DeltaSource::requestJump);
        }
    }

    ModifierTimeline::ModifierTimeline(DeltaSource& deltaSource) : source(deltaSource)
    {
    }

    void ModifierTimeline::reset(const double& v)
    {
        value = v;
        phase = v;
        continuousPhase = v;
        randomElapsed = 0.0;
    }

    void ModifierTimeline::setPlayDirection(ParamPlayDirection newDirection)
    {
        if (newDirection == playRandom && direction != playRandom)
        {
            randomElapsed = 0.0;
            phase = detail::randomUnit();
            finishedMark = false;
        }
    }

    double ModifierTimeline::getPhaseRemaining() const
    {
        switch (direction)
        {
            case playBackward:
                return phase;
            case playPause:
                return 0.5;
            case playForward:
                return 1.0 - phase;
            case playRandom:
                return source.getNormalizedRandomDuration() - randomElapsed;
            default:
                return 0.0;
        }
    }

    void ModifierTimeline::copyBeatLoop(const ModifierTimeline& other)
    {
        beatLooping = other.beatLooping;
        window.set(other.window.min, other.window.max);
    }

    std::uint32_t ModifierTimeline::applyDirectionRequest(std::uint32_t requestFlags, bool reportOnlyChanges)
    {
        std::int32_t requested = -1;
        switch (requestFlags & requestMask)
        {
            case flagForward:
                requested = playForward;
                break;
            case flagBackward:
                requested = playBackward;
                break;
            case flagPause:
                requested = playPause;
                break;
            case flagRandom:
                requested = playRandom;
                break;
            default:
                return 0;
        }
        if (requested == direction)
            return reportOnlyChanges ? 0 : (requestFlags & requestMask);
        direction = requested;
        return requestFlags & requestMask;
    }

    void ModifierTimeline::jumpTo(double jumpPosition)
    {
        phase = direction != playBackward ? window.min + jumpPosition : window.max - jumpPosition;
        randomElapsed = jumpPosition;
    }

    std::uint32_t ModifierTimeline::consultBeatloop()
    {
        const bool wasLooping = beatLooping;
        beatLooping = source.updateBeatloop(phase, window.min, window.max);
        if (wasLooping && ! beatLooping && beatlooperCatchesUp)
        {
            phase = std::fmod(continuousPhase, 1.0);
            return flagWrapped;
        }
        return 0;
    }

    std::uint32_t ModifierTimeline::update(const TimeInfo& info)
    {
        if (! detail::isUsableFrame(info, warnedBadFrame, "ModifierTimeline"))
            return 0;
        DeltaSource::Result result = source.getDelta(info);
        sanitise(result);
        if ((result.flags & requestMask) != 0)
            applyDirectionRequest(result.flags, false);

        if (result.flags == DeltaSource::requestJump)
            jumpTo(result.jumpPosition);
        else if (result.flags == DeltaSource::requestHold || result.flags == DeltaSource::requestNoDuration)
            return result.flags;

        const std::uint32_t catchUp = consultBeatloop();
        return updateInternal(result.delta) | catchUp | result.flags;
    }

    std::uint32_t ModifierTimeline::updateAndApply(const TimeInfo& info, double& v)
    {
        const std::uint32_t flags = update(info);
        v = phase;
        return flags;
    }

    std::uint32_t ModifierTimeline::updateAndApply(TimeInfo& info, double* values, int* flags, double& value, int n)
    {
        if (n < 1 || ! detail::isUsableFrame(info, warnedBadFrame, "ModifierTimeline"))
            return 0;
        DeltaSource::Result result = source.getDelta(info);
        sanitise(result);
        const std::uint32_t directionBit = applyDirectionRequest(result.flags, true);
        flags[0] = static_cast<int>(directionBit);

        const bool jump = (result.flags & DeltaSource::requestJump) != 0 && direction != playPause;
        if (result.flags == DeltaSource::requestHold)
        {
            for (int i = 0; i < n; ++i)
            {
                values[i] = value;
                flags[i] = DeltaSource::requestHold;
            }
            return DeltaSource::requestHold;
        }
        if (jump)
        {
            jumpTo(result.jumpPosition);
        }
        else if (result.flags == DeltaSource::requestNoDuration)
        {
            for (int i = 0; i < n; ++i)
            {
                values[i] = -1.0;
                flags[i] = DeltaSource::requestNoDuration;
            }
            value = 0.0;
            phase = 0.0;
            return flagHeld | flagNoDuration;
        }

        const double sliceDelta = result.delta / n;
        flags[0] |= static_cast<int>(consultBeatloop());

        std::uint32_t total = static_cast<std::uint32_t>(flags[0]);
        if (sliceDelta != 0.0 || jump)
        {
            for (int i = 0; i < n; ++i)
            {
                flags[i] |= static_cast<int>(updateInternal(sliceDelta));
                values[i] = phase;
                total |= static_cast<std::uint32_t>(flags[i]);
            }
            value = phase;
        }
        else
        {
            phase = value;
            for (int i = 0; i < n; ++i)
                values[i] = value;
            total = 0;
        }
        if (jump)
        {
            flags[0] |= flagWrapped;
            total |= flagWrapped;
        }
        return total;
    }

    std::uint32_t ModifierTimeline::updateInternal(double delta)
    {
        if (delta == -1.0)
            return flagHeld | flagNoDuration;

        const double start = window.min;
        const double end = window.max;
        const double width = detail::spanOf(start, end);
        std::uint32_t bits = 0;
        switch (direction)
        {
            case playBackward:
                phase -= delta;
                continuousPhase = detail::fmodOne(continuousPhase - delta);
                if (phase < start)
                {
                    if (isOnceMode(mode))
                    {
                        if (beatLooping)
                        {
                            phase = detail::raiseBySteps(phase, start, width);
                            bits = flagWrapped;
                        }
                        else
                        {
                            phase = start;
                            bits = finishedMark ? flagHeld : (flagHeld | flagFinished);
                        }
                    }
                    else if (mode == playBounce)
                    {
                        phase = detail::reflectInto(phase, start, end);
                        bits = flagForward | flagWrapped;
                    }
                    else
                    {
                        phase = detail::raiseBySteps(phase, start, width);
                        bits = flagWrapped;
                    }
                    if (! beatLooping)
                        bits |= flagWrapStart;
                }
                break;

            case playForward:
                phase += delta;
                continuousPhase = detail::fmodOne(continuousPhase + delta);
                if (phase > end)
                {
                    if (isOnceMode(mode))
                    {
                        if (beatLooping)
                        {
                            phase = detail::lowerBySteps(phase, end, width);
                            bits = flagWrapped;
                        }
                        else if (! finishedMark)
                        {
                            phase = end;
                            bits = flagHeld | flagFinished;
                        }
                        else
                        {
                            // Finished already: stays at the end, as its
                            // backward twin stays at the start.
                            phase = end;
                        }
                    }
                    else if (mode == playBounce)
                    {
                        phase = detail::reflectInto(phase, start, end);
                        bits = flagBackward | flagWrapped;
                    }
                    else
                    {
                        phase = detail::lowerBySteps(phase, end, width);
                        bits = flagWrapped;
                    }
                    if (! beatLooping)
                        bits |= flagWrapEnd;
                }
                break;

            case playRandom:
                if (phaseChangesDuringRandom)
                    phase += delta;
                randomElapsed += delta;
                continuousPhase += delta;
                if (randomElapsed > width * source.getNormalizedRandomDuration())
                {
                    source.getRandomPosition(randomElapsed, phase);
                    bits = flagWrapped;
                }
                value = phase;
                return bits;

            default:
                break;
        }

        if ((bits & flagForward) != 0)
            direction = playForward;
        else if ((bits & flagBackward) != 0)
            direction = playBackward;
        if ((bits & flagFinished) != 0)
            finishedMark = true;
        value = phase;
        return bits;
    }

    int ModifierTimeline::adjustPhase(double& p) const
    {
        if (mode == playBounce)
        {
            p = detail::reflectInto(p, window.min, window.max);
            return 0;
        }
        const double width = detail::spanOf(window.min, window.max);
        p = detail::raiseBySteps(p, window.min, width);
        p = detail::lowerBySteps(p, window.max, width);
        return 0;
    }
}
