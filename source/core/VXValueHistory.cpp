#include "core/VXValueHistory.h"

#include "core/VXTime.h"

#include <cfloat>
#include <cstddef>
#include <limits>

namespace vx
{

    ValueHistory::ValueHistory(float windowSeconds) : window(windowSeconds)
    {
    }

    double ValueHistory::nowSeconds()
    {
        // Kept in double: a float of seconds since boot steps by whole
        // milliseconds after a few hours and by 8 ms after a day.
        return getTickCount() * 0.001;
    }

    void ValueHistory::addEntry(float value, const char* label)
    {
        Entry entry{nowSeconds(), value, label != nullptr ? std::string(label) : std::string()};
        std::lock_guard<std::mutex> hold(lock);
        dropOlderThan(entry.time);
        entries.push_back(std::move(entry));
    }

    void ValueHistory::clear()
    {
        std::vector<Entry> old;
        {
            std::lock_guard<std::mutex> hold(lock);
            old.swap(entries);
            first = 0;
        }
    }

    void ValueHistory::getMinMaxEntryValues(float& min, float& max) const
    {
        min = FLT_MAX;
        max = std::numeric_limits<float>::lowest();
        std::lock_guard<std::mutex> hold(lock);
        for (size_t i = first; i < entries.size(); ++i)
        {
            const float value = entries[i].value;
            if (value < min)
                min = value;
            if (value > max)
                max = value;
        }
    }

    std::vector<ValueHistory::Entry> ValueHistory::snapshot(double now)
    {
        std::vector<Entry> copy;
        std::lock_guard<std::mutex> hold(lock);
        dropOlderThan(now);
        copy.assign(entries.begin() + std::ptrdiff_t(first), entries.end());
        return copy;
    }

    size_t ValueHistory::size() const
    {
        std::lock_guard<std::mutex> hold(lock);
        return entries.size() - first;
    }

    void ValueHistory::dropOlderThan(double now)
    {
        while (first < entries.size() && now - entries[first].time > double(window))
            ++first;
        if (first > 0 && first * 2 >= entries.size())
        {
            entries.erase(entries.begin(), entries.begin() + std::ptrdiff_t(first));
            first = 0;
        }
    }

} // namespace vx
