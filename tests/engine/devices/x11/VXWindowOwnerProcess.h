#pragma once

#include <string>
#include <utility>
#include <vector>

#include <sys/types.h>
#include <xcb/xcb.h>

namespace vx::test
{
    // A window of another process: this test program started again as the
    // window's owner, a client of its own with _NET_WM_PID its process id
    // (or the number asked) and WM_CLASS "Owner". The owner tells of each
    // press of button 1 on its windows; it ends, and its windows go, with
    // the object (or the thread that made it).
    class WindowOwnerProcess
    {
    public:
        // Shows a window at (x, y) on the display, of width x height;
        // pidProperty: its _NET_WM_PID when not 0.
        WindowOwnerProcess(const std::string& displayName, int x, int y, int width, int height, long pidProperty = 0);
        ~WindowOwnerProcess();
        WindowOwnerProcess(const WindowOwnerProcess&) = delete;
        WindowOwnerProcess& operator=(const WindowOwnerProcess&) = delete;

        // Whether it runs with its window made (shown once a window manager maps it).
        bool isRunning() const { return window != XCB_NONE; }
        const std::string& getWhyNot() const { return whyNot; }
        pid_t getPid() const { return pid; }
        xcb_window_t getWindow() const { return window; }
        // Waits up to timeoutMs for the owner to tell of a press of button 1
        // on its window (or on that one); where, in window coordinates
        // ((-1, -1) when none came).
        std::pair<int, int> waitForButtonPress(int timeoutMs, xcb_window_t on = XCB_NONE);
        // Shows an override-redirect window (a pop-up, as a menu) with the
        // owner's _NET_WM_PID; none when the owner did not tell it.
        xcb_window_t openPopUp(int x, int y, int width, int height);
        // Grabs the pointer as the owner's open menu does, on the pop-up
        // (see TestWindows::grabPointer); whether the server granted it.
        bool grabPointer(xcb_window_t popUp);
        // The windows pressed so far, told once the owner has had every
        // event the server sent it until now.
        std::vector<xcb_window_t> takePressedWindows();
        struct Press
        {
            xcb_window_t window;
            int x, y; // in window coordinates
        };
        // The presses so far, as takePressedWindows tells them.
        std::vector<Press> takePresses();

    private:
        // The next line the owner wrote, without its end, presses put
        // aside; false after timeoutMs or at its end.
        bool readLine(std::string& line, int timeoutMs);
        void tell(const std::string& command);
        void stop();

        pid_t pid = -1;
        int commands = -1; // the owner's input: it ends when this closes
        int reports = -1;  // the owner's output, a line per news
        std::string unread;
        std::vector<Press> presses; // told, not yet taken
        xcb_window_t window = XCB_NONE;
        std::string whyNot;
    };
}
