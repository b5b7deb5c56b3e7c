#pragma once

#include <string>

#include <sys/types.h>
#include <xcb/xcb.h>

namespace vx::test
{
    // A window manager of the system (Debian's openbox or twm) run as this
    // process's child on a display, with an empty HOME so its system
    // settings apply. It dies with the thread that started it.
    class ExternalWindowManager
    {
    public:
        enum class Kind
        {
            openbox, // EWMH: client lists, a check window, _NET_ACTIVE_WINDOW
            twm      // ICCCM only: frames, WM_STATE, no lists
        };

        // Waits up to 30 s for the manager to have the root (openbox: and to
        // have told EWMH clients so).
        ExternalWindowManager(const std::string& displayName, Kind kind);
        // Stops it, and clears the EWMH properties left on the root.
        ~ExternalWindowManager();
        ExternalWindowManager(const ExternalWindowManager&) = delete;
        ExternalWindowManager& operator=(const ExternalWindowManager&) = delete;

        bool isRunning() const { return pid > 0 && whyNot.empty(); }
        // Why it is not running (not installed, did not take the root).
        const std::string& getWhyNot() const { return whyNot; }
        // Ends it at once (SIGKILL), as a crash would: what it set on the
        // root stays.
        void kill();
        // Waits up to timeoutMs for the manager to have shown the window:
        // mapped in its frame, with WM_STATE.
        bool waitUntilShown(xcb_window_t window, int timeoutMs);
        // The window's frame (the top-level window holding it).
        xcb_window_t getTopLevel(xcb_window_t window);

    private:
        void stop(int signal);

        pid_t pid = -1;
        std::string home;
        std::string whyNot;
        xcb_connection_t* connection = nullptr; // to watch, never to manage
        xcb_window_t root = XCB_NONE;
    };
}
