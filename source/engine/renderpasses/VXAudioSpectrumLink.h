#pragma once

#include "core/VXCurrentInstance.h"

#include <memory>
#include <vector>

namespace vx
{
    class ParamBase;
    class ParamRange;

    // The audio-spectrum link as the render passes use it: it drives a range
    // parameter from a float vector parameter holding the latest spectrum and
    // keeps that spectrum's falling peaks. The behaviour doing this stands
    // beside the render passes, not below them, so passes never name it: they
    // ask AudioSpectrumLinks, which the engine root fills while it exists.
    //
    // Spectra arrive on the thread that sets the spectrum parameter; the
    // peaks are read on the render thread. No lock of its own.
    class AudioSpectrumLink
    {
    public:
        virtual ~AudioSpectrumLink() = default;

        // False, leaving any link as it was, for an empty pointer or anything
        // but a float vector parameter.
        virtual bool link(const std::shared_ptr<ParamBase>& spectrum) = 0;
        virtual void unlink() = 0;
        virtual bool isLinked() const = 0;
        // One falling peak per bin of the last spectrum, each in [0, 1];
        // empty before the first spectrum.
        virtual const std::vector<float>& getFallingData() const = 0;
    };

    // Makes audio-spectrum links; null when no engine root offers them.
    class AudioSpectrumLinks : public CurrentInstance<AudioSpectrumLinks>
    {
    public:
        virtual ~AudioSpectrumLinks() = default;

        // Installs a new link as owner's behaviour, its peaks falling over
        // fallbackMs, and answers it; never null. The owner holds the
        // behaviour; the answer keeps it alive as well.
        virtual std::shared_ptr<AudioSpectrumLink> makeLink(ParamRange& owner, double fallbackMs) = 0;
    };
}
