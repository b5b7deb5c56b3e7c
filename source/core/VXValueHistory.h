#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace vx
{

    // A rolling record of timed float values over the last window seconds, the
    // data behind a value graph. Any thread may add while another reads: the
    // entries sit behind one mutex held only for appends and copies (a spin
    // lock, with four writers on a busy machine, cost several times more per
    // entry: a preempted holder keeps the others spinning).
    // Entries older than the window are dropped whenever one is added or a
    // snapshot is taken, so a history nobody reads stays bounded.
    class ValueHistory
    {
    public:
        struct Entry
        {
            double time = 0.0; // seconds on the getTickCount clock
            float value = 0.0f;
            std::string label;
        };

        explicit ValueHistory(float windowSeconds);
        ValueHistory(const ValueHistory&) = delete;
        ValueHistory& operator=(const ValueHistory&) = delete;

        // Appends {now, value, label or ""}; entries that left the window go.
        void addEntry(float value, const char* label);
        void clear();

        // The smallest and largest value held; without entries min is FLT_MAX
        // and max the lowest float.
        void getMinMaxEntryValues(float& min, float& max) const;

        // Drops the entries that are more than the window older than
        // nowSeconds and answers a copy of the rest, oldest first.
        std::vector<Entry> snapshot(double nowSeconds);

        float getWindow() const { return window; }
        size_t size() const;

        // Seconds on the clock entries are stamped with.
        static double nowSeconds();

    private:
        void dropOlderThan(double nowSeconds); // lock held

        const float window;
        // entries[first..] are held; the ones before left the window and go
        // in one move once they are as many as those held, so appending never
        // allocates per entry under the lock and stays amortised constant.
        std::vector<Entry> entries;
        size_t first = 0;
        mutable std::mutex lock;
    };

} // namespace vx
