#include "support/VXLogRecorder.h"

#include <cstring>

namespace vx::test
{
    namespace
    {
        // Guards the current recorder, so a line logged on another thread
        // never reaches a recorder that is being destroyed.
        std::mutex& recorderLock()
        {
            static std::mutex lock;
            return lock;
        }

        LogRecorder* currentRecorder = nullptr;
    }

    LogRecorder::LogRecorder()
    {
        std::lock_guard<std::mutex> guard(recorderLock());
        previousHook = vx::logPrintHook;
        previousRecorder = currentRecorder;
        currentRecorder = this;
        vx::logPrintHook = &LogRecorder::hook;
    }

    LogRecorder::~LogRecorder()
    {
        std::lock_guard<std::mutex> guard(recorderLock());
        vx::logPrintHook = previousHook;
        currentRecorder = previousRecorder;
    }

    void LogRecorder::hook(const char* line)
    {
        std::lock_guard<std::mutex> guard(recorderLock());
        if (currentRecorder != nullptr)
            currentRecorder->record(line);
    }

    void LogRecorder::record(const char* line)
    {
        static const struct
        {
            const char* prefix;
            int type;
        } prefixes[] = {{"INFO: ", 0}, {"WARNING: ", 1}, {"ERROR: ", 2}};

        Line entry;
        entry.text = line != nullptr ? line : "";
        entry.message = entry.text;
        for (const auto& p : prefixes)
        {
            const size_t length = std::strlen(p.prefix);
            if (entry.text.compare(0, length, p.prefix) == 0)
            {
                entry.type = p.type;
                entry.message = entry.text.substr(length);
                break;
            }
        }
        std::lock_guard<std::mutex> guard(lock);
        recorded.push_back(std::move(entry));
    }

    std::vector<LogRecorder::Line> LogRecorder::lines() const
    {
        std::lock_guard<std::mutex> guard(lock);
        return recorded;
    }

    size_t LogRecorder::count() const
    {
        std::lock_guard<std::mutex> guard(lock);
        return recorded.size();
    }

    size_t LogRecorder::count(vx::MessageType type) const
    {
        std::lock_guard<std::mutex> guard(lock);
        size_t n = 0;
        for (const Line& line : recorded)
            n += line.type == static_cast<int>(type) ? 1 : 0;
        return n;
    }

    bool LogRecorder::contains(const std::string& part) const
    {
        std::lock_guard<std::mutex> guard(lock);
        for (const Line& line : recorded)
        {
            if (line.text.find(part) != std::string::npos)
                return true;
        }
        return false;
    }

    std::string LogRecorder::dump() const
    {
        std::lock_guard<std::mutex> guard(lock);
        std::string result;
        for (const Line& line : recorded)
            result += line.text + "\n";
        return result;
    }

    void LogRecorder::clear()
    {
        std::lock_guard<std::mutex> guard(lock);
        recorded.clear();
    }
}
