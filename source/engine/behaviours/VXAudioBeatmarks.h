#pragma once

#include "core/xml/VXXmlCapable.h"

#include <set>
#include <string>

namespace vx
{
    // The beat positions of an audio track with its tempo and length.
    // Element "AudioBeatmarks" followed by the value type's word ("DOUBLE"
    // for double). Instantiated for double. No lock: owned by one thread.
    template <typename T>
    class AudioBeatmarks : public XmlCapable
    {
    public:
        AudioBeatmarks();

        // The element name, formed once on first use.
        static const std::string& getNodeName();

        const std::set<T>& getBeatmarks() const { return beatmarks; }
        // Duplicates fall away.
        void addBeatmark(const T& position) { beatmarks.insert(position); }
        void clearBeatmarks() { beatmarks.clear(); }

        T getBpm() const { return bpm; }
        void setBpm(const T& beatsPerMinute) { bpm = beatsPerMinute; }
        T getTotalLength() const { return totalLength; }
        void setTotalLength(const T& length) { totalLength = length; }

        // "bpm", "totalLength", then one "bm" per mark in ascending order.
        XmlNode* writeStateDerived(XmlPool& pool, bool force) override;
        // Empties the marks; "bpm" (120 when absent or unreadable),
        // "totalLength" (0 likewise), then every readable "bm" in document
        // order.
        void readStateDerived(const XmlNode& node) override;

    private:
        std::set<T> beatmarks;
        T bpm = static_cast<T>(120.0);
        T totalLength = static_cast<T>(0.0);
    };

    extern template class AudioBeatmarks<double>;
}
