#include "engine/behaviours/VXModifierFFT.h"

#include "core/VXLog.h"
#include "core/VXTimeInfo.h"
#include "core/parameters/VXParamRange.h"
#include "engine/behaviours/VXAudioUtils.h"
#include "engine/behaviours/VXBehaviourUtils.h"

#include <cmath>

namespace vx
{
    ModifierFFT::ModifierFFT(const std::shared_ptr<ParamRange>& frequencyRangeParam,
                             const std::shared_ptr<ParamRange>& amplitudeParam, std::vector<float>& peakValues)
        : peaks(peakValues), frequencyRange(frequencyRangeParam), amplitude(amplitudeParam)
    {
    }

    void ModifierFFT::setFallback(double milliseconds)
    {
        if (! (milliseconds > 0.0) || ! std::isfinite(milliseconds))
        {
            logPrint(logWarning, "ModifierFFT: refusing the fall-off time %g ms (not a positive finite number)",
                     milliseconds);
            return;
        }
        fallback = milliseconds;
    }

    double ModifierFFT::bandLevel() const
    {
        const std::size_t n = bins.size();
        if (n < 2)
            return 0.0;
        double s = frequencyRange->getStartStopRange().min;
        double e = frequencyRange->getStartStopRange().max;
        if (! (e - s > 0.0) || ! std::isfinite(e - s))
            return 0.0;
        // The band lies within the spectrum: the edges are clamped to it.
        s = s < 0.0 ? 0.0 : (s > 1.0 ? 1.0 : s);
        e = e < 0.0 ? 0.0 : (e > 1.0 ? 1.0 : e);
        const double width = e - s;
        if (! (width > 0.0))
            return 0.0;

        const double last = static_cast<double>(n - 1);
        const double lo = last * s;
        const double hi = last * e;
        std::size_t i0 = static_cast<std::size_t>(lo);
        const std::size_t i1 = static_cast<std::size_t>(hi);
        double sum = 0.0;
        if (lo != std::floor(lo))
        {
            sum = (lo - static_cast<double>(i0)) * bins[i0];
            ++i0;
        }
        for (std::size_t k = i0; k < i1; ++k)
            sum += bins[k];
        if (hi != std::floor(hi) && i1 + 1 < n)
            sum += (static_cast<double>(i1 + 1) - hi) * bins[i1 + 1];
        const double result = sum / (width * last);
        return result < 1.0 ? result : 1.0;
    }

    void ModifierFFT::setNewValues(const std::vector<float>& spectrum, double elapsedMs)
    {
        bins = spectrum;
        for (float& bin : bins)
            bin = static_cast<float>(bin * gain);
        AudioUtils::clip(bins.data(), bins.size(), 0.0f, 1.0f);

        if (peaks.size() != bins.size())
            peaks = bins;
        const float fall = static_cast<float>(std::isfinite(elapsedMs) ? elapsedMs / fallback : 0.0);
        for (std::size_t i = 0; i < bins.size(); ++i)
            peaks[i] = bins[i] > peaks[i] ? bins[i] : peaks[i] - fall;
        AudioUtils::clip(peaks.data(), peaks.size(), 0.0f, 1.0f);

        level = bandLevel();
        if (std::isnan(level))
            level = 0.0;
        amplitude->setValueNormalized(level, ValueChangeInfo());

        switch (valueBehaviour)
        {
            case rising:
                if (level > value)
                    value = level;
                target = 0.0;
                break;
            case falling:
            {
                const double d = 1.0 - level;
                if (value > d)
                    value = d;
                target = 1.0;
                break;
            }
            case adding:
                target = value + level;
                break;
            case subtracting:
                target = value - level;
                break;
            default:
                break;
        }
    }

    std::uint32_t ModifierFFT::update(const TimeInfo& info)
    {
        if (! detail::isUsableFrame(info, warnedBadFrame, "ModifierFFT"))
            return 0;
        const double f = info.deltaTime / fallback;
        switch (valueBehaviour)
        {
            case rising:
                value -= f;
                if (value < 0.0)
                    value = 0.0;
                break;
            case falling:
                value += f;
                if (value > 1.0)
                    value = 1.0;
                break;
            case adding:
                value += f * (target - value);
                value = detail::lowerBySteps(value, 1.0, 1.0);
                break;
            case subtracting:
                value += f * (target - value);
                value = detail::raiseBySteps(value, 0.0, 1.0);
                break;
            default:
                break;
        }
        return 0;
    }
}
