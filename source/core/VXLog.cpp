#include "core/VXLog.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace vx
{
    LogPrintHook logPrintHook = nullptr;
    unsigned int LOG_INDENT = 0;

    namespace
    {
        const char* prefixFor(MessageType type)
        {
            switch (type)
            {
                case logInfo:
                    return "INFO: ";
                case logWarning:
                    return "WARNING: ";
                case logError:
                    return "ERROR: ";
            }
            return "";
        }
    }

    void logPrint(MessageType type, const char* format, ...)
    {
        char line[logLineBufferSize];
        const char* prefix = prefixFor(type);
        size_t used = std::strlen(prefix);
        std::memcpy(line, prefix, used);

        // An indentation that does not fit is cut; the message still gets
        // whatever room is left (at least the terminating NUL).
        const size_t room = sizeof(line) - 1;
        const unsigned long long indent = static_cast<unsigned long long>(LOG_INDENT) * 4ull;
        const size_t blanks = indent > room - used ? room - used : static_cast<size_t>(indent);
        std::memset(line + used, ' ', blanks);
        used += blanks;
        line[used] = '\0';

        va_list args;
        va_start(args, format);
        std::vsnprintf(line + used, sizeof(line) - used, format, args);
        va_end(args);

        LogPrintHook hook = logPrintHook;
        if (hook != nullptr)
            hook(line);
    }

    void logEscapedError(const char* function, int line, const char* message)
    {
        logPrint(logError, "Escaped from error in %s(%i): %s.", function, line, message);
    }

    void debugPrint(const char*, ...)
    {
    }
    void debugPrint(const std::string&)
    {
    }
}
