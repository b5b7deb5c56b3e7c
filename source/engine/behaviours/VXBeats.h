#pragma once

#include "core/xml/VXXmlCapable.h"

#include <cstdint>
#include <memory>
#include <string>

namespace vx
{
    template <typename T>
    class AudioBeatmarks;

    // How a timeline describes the beat structure of its clip: a mode (0 to
    // 2), a manual number of beats and tempo, and optionally the clip's
    // analysed beat marks. Element "Beats_" followed by the value type's
    // run-time name ("Beats_d" for double). Instantiated for double. Owned
    // and used by one thread.
    template <typename T>
    class Beats : public XmlCapable
    {
    public:
        using Mode = std::int32_t;
        static constexpr Mode maxMode = 2;

        Beats(T tempo, unsigned int beatCount, const Mode& beatsMode);

        static const std::string& getNodeName();

        Mode getMode() const { return mode; }
        void setMode(Mode newMode) { mode = newMode; }
        unsigned int getManualBeats() const { return manualBeats; }
        void setManualBeats(unsigned int beatCount) { manualBeats = beatCount; }
        T getManualTempo() const { return manualTempo; }
        void setManualTempo(T tempo) { manualTempo = tempo; }

        // Keeps a copy of the pointer; an empty one removes the marks.
        void setBeatmarks(const std::shared_ptr<AudioBeatmarks<T>>& marks) { beatmarks = marks; }
        const std::shared_ptr<AudioBeatmarks<T>>& getBeatmarks() const { return beatmarks; }

        // "mode", "manualBeats", "manualTempo", then the marks' element.
        XmlNode* writeStateDerived(XmlPool& pool, bool force) override;
        // "mode" (0 when absent or outside 0..2), "manualBeats" (4 when
        // absent), "manualTempo" (120 when absent); new marks read from the
        // marks' child, or none without one.
        void readStateDerived(const XmlNode& node) override;

    private:
        Mode mode;
        std::uint32_t manualBeats;
        T manualTempo;
        std::shared_ptr<AudioBeatmarks<T>> beatmarks;
    };

    extern template class Beats<double>;
}
