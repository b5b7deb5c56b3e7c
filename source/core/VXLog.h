#pragma once

#include <string>

// The engine's one log channel. Lines are composed on the caller's stack and
// handed to a process-wide hook; with no hook installed they are dropped.

namespace vx
{
    // Log level; any other value is accepted and gets no prefix.
    enum MessageType : int
    {
        logInfo = 0,    // "INFO: "
        logWarning = 1, // "WARNING: "
        logError = 2    // "ERROR: "
    };

    // Receives each finished line (NUL-terminated, no newline added).
    // Called on the logging thread, possibly from several threads at once.
    using LogPrintHook = void (*)(const char* line);

    // Set once by the embedding application before logging starts; unlocked.
    extern LogPrintHook logPrintHook;
    // Indentation depth of log lines; each level is four blanks.
    extern unsigned int LOG_INDENT;

    // Size of the buffer a log line (prefix and NUL included) is composed in;
    // longer lines are cut to fit.
    constexpr int logLineBufferSize = 4096;

    // Composes "<prefix><indent><message>" and hands it to logPrintHook.
    void logPrint(MessageType type, const char* format, ...) __attribute__((format(printf, 2, 3)));

    // The report of an operation that gives up: level 2,
    // "Escaped from error in <function>(<line>): <message>."
    void logEscapedError(const char* function, int line, const char* message);

    // Debug channel: prints nothing in this configuration.
    void debugPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));
    void debugPrint(const std::string& text);
}

// Reports from the calling function and source line.
#define VX_LOG_ESCAPED_ERROR(message) ::vx::logEscapedError(__func__, __LINE__, (message))
