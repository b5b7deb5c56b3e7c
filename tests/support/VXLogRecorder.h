#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "core/VXLog.h"

namespace vx::test
{
    // Records every log line while it lives: installs itself on
    // vx::logPrintHook and restores the previous hook on destruction.
    // Recorders nest (the innermost records). Lines may arrive from any thread.
    class LogRecorder
    {
    public:
        struct Line
        {
            int type = -1;       // 0, 1, 2 from the prefix; -1 without one
            std::string text;    // the whole line as handed to the hook
            std::string message; // text after the prefix
        };

        LogRecorder();
        ~LogRecorder();
        LogRecorder(const LogRecorder&) = delete;
        LogRecorder& operator=(const LogRecorder&) = delete;

        std::vector<Line> lines() const;
        size_t count() const;
        size_t count(vx::MessageType type) const;
        // True when some line's text contains part.
        bool contains(const std::string& part) const;
        // All lines, one per row, for assertion messages.
        std::string dump() const;
        void clear();

    private:
        static void hook(const char* line);
        void record(const char* line);

        mutable std::mutex lock;
        std::vector<Line> recorded;
        vx::LogPrintHook previousHook = nullptr;
        LogRecorder* previousRecorder = nullptr;
    };
}
