#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <xcb/xcb.h>

namespace vx::test
{
    // A test pattern, opaque: r = 4x, g = 5y, b = 2(x + y), modulo 256.
    uint32_t patternPixel(int x, int y);

    // The atom of that name, interned on the connection (XCB_ATOM_NONE when
    // the server does not answer).
    xcb_atom_t internAtom(xcb_connection_t* connection, const char* name);

    // Grabs the pointer for the connection on window, presses and releases
    // reported to it (ownerEvents: its own windows get theirs as usual), in
    // that pointer mode; whether the server granted it.
    bool grabPointer(xcb_connection_t* connection, xcb_window_t window, bool ownerEvents, uint8_t pointerMode);

    // Windows a test makes on its own connection (an application's):
    // top-level, mapped, painted by the server with a tiled background
    // (patternPixel over width x height, at the screen's depth: 24, or 16 in
    // RGB 5-6-5), so their content is right whenever the server needs it.
    // They go with the object.
    class TestWindows
    {
    public:
        explicit TestWindows(const std::string& displayName);
        ~TestWindows();

        bool isConnected() const { return connection != nullptr; }
        // The base of the ids this connection makes: the server hands a freed
        // base to a later client.
        uint32_t getIdBase() const;

        struct Properties
        {
            std::string netName;  // _NET_WM_NAME (UTF-8), none when empty
            std::string wmName;   // WM_NAME (STRING, ISO 8859-1, unless wmNameType says), none when empty
            std::string instance; // WM_CLASS, none when both are empty
            std::string className;
            long pid = 0; // _NET_WM_PID, none when 0
            bool desktop = false; // _NET_WM_WINDOW_TYPE_DESKTOP
            bool popUp = false;   // override-redirect, as menus and drop-down lists
            const char* wmNameType = "STRING";
        };
        // Top-level windows are placed where the program says (USPosition,
        // USSize), as a window manager does without asking the user.
        xcb_window_t create(int x, int y, int width, int height, const Properties& properties);
        void resize(xcb_window_t window, int width, int height);
        // Paints the window over in one pixel value (at depth 24, 0xRRGGBB).
        void fill(xcb_window_t window, uint32_t pixel);
        // Grabs the pointer as an open menu does (on window, not freezing
        // it, the connection's own windows getting their events); whether
        // the server granted it.
        bool grabPointer(xcb_window_t window);
        void destroy(xcb_window_t window);
        void unmap(xcb_window_t window);
        // Whether a window of any client has this id now.
        bool exists(xcb_window_t window);
        // Waits for the server to have done everything asked so far.
        void sync();
        // Waits up to timeoutMs for a press of button 1 on the window;
        // answers where, in window coordinates (-1, -1 when none came).
        std::pair<int, int> waitForButtonPress(xcb_window_t window, int timeoutMs);
        // The windows pressed with button 1, in order, up to the first press
        // on last (included); waits up to timeoutMs for it.
        std::vector<xcb_window_t> pressesUntil(xcb_window_t last, int timeoutMs);
        // The presses of button 1 on the window among the events come so far,
        // in window coordinates; other events are dropped. Does not wait.
        std::vector<std::pair<int, int>> takeButtonPresses(xcb_window_t window);
        struct Press
        {
            xcb_window_t window;
            int x, y;
        };
        // The presses of button 1 on any window among the events come so far.
        std::vector<Press> takeButtonPresses();
        // Readable when events may have come.
        int getFileDescriptor() const;
        // Where the window's top left corner is on the screen.
        std::pair<int, int> positionOnScreen(xcb_window_t window);
        // The top-level window at (x, y) on the screen (a frame, where a
        // window manager put one); none over the bare root.
        xcb_window_t topLevelAt(int x, int y);

    private:
        xcb_connection_t* connection = nullptr;
        xcb_screen_t* screen = nullptr;
    };
}
