#pragma once

#include <string>
#include <utility>

#include <sys/types.h>
#include <xcb/xcb.h>

namespace vx::test
{
    // A window of another process: this test program started again as the
    // window's owner, a client of its own with _NET_WM_PID its process id
    // and WM_CLASS "Owner". The owner tells of each press of button 1 on its
    // window; it ends, and its window goes, with the object (or the thread
    // that made it).
    class WindowOwnerProcess
    {
    public:
        // Shows a window at (x, y) on the display, of width x height.
        WindowOwnerProcess(const std::string& displayName, int x, int y, int width, int height);
        ~WindowOwnerProcess();
        WindowOwnerProcess(const WindowOwnerProcess&) = delete;
        WindowOwnerProcess& operator=(const WindowOwnerProcess&) = delete;

        // Whether it runs with its window made (shown once a window manager maps it).
        bool isRunning() const { return window != XCB_NONE; }
        const std::string& getWhyNot() const { return whyNot; }
        pid_t getPid() const { return pid; }
        xcb_window_t getWindow() const { return window; }
        // Waits up to timeoutMs for the owner to tell of a press of button 1
        // on its window; where, in window coordinates ((-1, -1) when none came).
        std::pair<int, int> waitForButtonPress(int timeoutMs);

    private:
        // The next line the owner wrote, without its end; false after timeoutMs or at its end.
        bool readLine(std::string& line, int timeoutMs);
        void stop();

        pid_t pid = -1;
        int commands = -1; // the owner's input: it ends when this closes
        int reports = -1;  // the owner's output, a line per news
        std::string unread;
        xcb_window_t window = XCB_NONE;
        std::string whyNot;
    };
}
