#include "core/VXValueHistory.h"

#include "core/VXTime.h"

#include <cfloat>
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
        std::deque<Entry> old;
        {
            std::lock_guard<std::mutex> hold(lock);
            old.swap(entries);
        }
    }

    void ValueHistory::getMinMaxEntryValues(float& min, float& max) const
    {
        min = FLT_MAX;
        max = std::numeric_limits<float>::lowest();
        std::lock_guard<std::mutex> hold(lock);
        for (const Entry& entry : entries)
        {
            if (entry.value < min)
                min = entry.value;
            if (entry.value > max)
                max = entry.value;
        }
    }

    std::vector<ValueHistory::Entry> ValueHistory::snapshot(double now)
    {
        std::vector<Entry> copy;
        std::lock_guard<std::mutex> hold(lock);
        dropOlderThan(now);
        copy.assign(entries.begin(), entries.end());
        return copy;
    }

    size_t ValueHistory::size() const
    {
        std::lock_guard<std::mutex> hold(lock);
        return entries.size();
    }

    void ValueHistory::dropOlderThan(double now)
    {
        while (! entries.empty() && now - entries.front().time > double(window))
            entries.pop_front();
    }

} // namespace vx
