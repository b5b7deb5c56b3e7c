#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <xcb/xcb.h>

namespace vx::test
{
    // A small window manager on its own connection and thread: it takes the
    // root's substructure redirection and carries out each request it gets
    // (a window mapped, configured or raised, a _NET_ACTIVE_WINDOW message)
    // only delayMs after it came, as a real manager answers a moment later.
    // Stops, and gives the root back, with the object.
    class TestWindowManager
    {
    public:
        struct Options
        {
            // Windows go into frames of the manager's own (at frameLeft,
            // frameTop inside them), listed in _NET_CLIENT_LIST with the
            // manager's _NET_SUPPORTING_WM_CHECK window; else they stay on
            // the root and no list is kept. Either way they get WM_STATE.
            bool reparents = true;
            // Whether it raises windows when asked; when not, it keeps
            // them where they are, as a manager preventing focus stealing.
            bool raises = true;
            int delayMs = 100;
        };
        static constexpr int frameLeft = 4, frameTop = 20;

        TestWindowManager(const std::string& displayName, const Options& options);
        ~TestWindowManager();
        TestWindowManager(const TestWindowManager&) = delete;
        TestWindowManager& operator=(const TestWindowManager&) = delete;

        bool isRunning() const { return thread.joinable(); }
        // Why it is not running (another manager has the root, no server).
        const std::string& getWhyNot() const { return whyNot; }
        // Waits up to timeoutMs for the manager to have shown the window
        // (mapped, in its frame when it reparents).
        bool waitUntilShown(xcb_window_t window, int timeoutMs);
        // The window's frame, or the window itself when not framed.
        xcb_window_t getTopLevel(xcb_window_t window);

    private:
        struct Request
        {
            std::chrono::steady_clock::time_point due;
            uint8_t type = 0; // the event's
            xcb_window_t window = XCB_NONE;
            xcb_configure_request_event_t configure{};
        };

        void run();
        void take(const xcb_generic_event_t& event);
        void carryOut(const Request& request);
        void show(xcb_window_t window);
        void configure(const xcb_configure_request_event_t& request);
        void raise(xcb_window_t window);
        void forget(xcb_window_t window);
        void publishClients();
        void publishClients(const std::vector<xcb_window_t>& clients);

        const Options options;
        xcb_connection_t* connection = nullptr;
        xcb_window_t root = XCB_NONE;
        xcb_atom_t clientList = XCB_NONE, activeWindow = XCB_NONE, supportingWmCheck = XCB_NONE, wmState = XCB_NONE;
        xcb_window_t checkWindow = XCB_NONE;
        std::string whyNot;
        int stopFd = -1;
        std::thread thread;
        std::deque<Request> pending; // the manager's thread's

        std::mutex lock;
        std::condition_variable changed;
        std::map<xcb_window_t, xcb_window_t> topLevels; // of the windows shown
        std::vector<xcb_window_t> shown;                // in the order they were
    };
}
