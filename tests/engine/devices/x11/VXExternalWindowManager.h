#pragma once

#include <string>
#include <vector>

#include <sys/types.h>
#include <xcb/xcb.h>

namespace vx::test
{
    // A program of the system run as this process's child on a display,
    // with an empty HOME so its system settings apply. It dies with the
    // thread that started it; stop() ends it, and the object.
    class ExternalProgram
    {
    public:
        // Starts it; false, with whyNot, when it is not installed or does not start.
        bool start(const std::string& displayName, const std::vector<std::string>& words);
        ~ExternalProgram();

        // Ends it with that signal, waiting for it (SIGKILL after 20 s).
        void stop(int signal);
        // Whether it has ended (and so is reaped).
        bool hasEnded();
        bool isStarted() const { return pid > 0; }
        // Sends it the signal (SIGSTOP, SIGCONT); false when it does not run.
        bool signal(int number) const;
        const std::string& getLogFile() const { return logFile; }

        std::string whyNot;

    private:
        pid_t pid = -1;
        std::string home;
        std::string logFile;
    };

    // A compositing manager of the system (xcompmgr), which redirects every
    // top-level window and paints the screen from them.
    class ExternalCompositor
    {
    public:
        // Waits up to 30 s for it to own the screen's compositing selection.
        explicit ExternalCompositor(const std::string& displayName);

        bool isRunning() const { return program.isStarted() && program.whyNot.empty(); }
        const std::string& getWhyNot() const { return program.whyNot; }

    private:
        ExternalProgram program;
    };

    // A window manager of the system (Debian's openbox, fluxbox or twm).
    class ExternalWindowManager
    {
    public:
        enum class Kind
        {
            openbox, // EWMH: client lists, a check window, _NET_ACTIVE_WINDOW
            fluxbox, // EWMH, its stacking list in the order windows came
            twm      // ICCCM only: frames, WM_STATE, no lists
        };

        // Waits up to 30 s for the manager to have the root (EWMH ones: and
        // to have told EWMH clients so).
        ExternalWindowManager(const std::string& displayName, Kind kind);
        // Stops it, and clears the EWMH properties left on the root.
        ~ExternalWindowManager();
        ExternalWindowManager(const ExternalWindowManager&) = delete;
        ExternalWindowManager& operator=(const ExternalWindowManager&) = delete;

        bool isRunning() const { return program.isStarted() && program.whyNot.empty(); }
        // Why it is not running (not installed, did not take the root).
        const std::string& getWhyNot() const { return program.whyNot; }
        // Ends it at once (SIGKILL), as a crash would: what it set on the
        // root stays.
        void kill();
        // Sends it the signal (SIGSTOP, SIGCONT); false when it does not run.
        bool signal(int number) const { return program.signal(number); }
        // Waits up to timeoutMs for the manager to have shown the window:
        // mapped in its frame, with WM_STATE (EWMH ones: and listed).
        bool waitUntilShown(xcb_window_t window, int timeoutMs);
        // The window's frame (the top-level window holding it).
        xcb_window_t getTopLevel(xcb_window_t window);

    private:
        Kind kind;
        ExternalProgram program;
        xcb_connection_t* connection = nullptr; // to watch, never to manage
        xcb_window_t root = XCB_NONE;
    };
}
