#include "VXTestWindowManager.h"
#include "VXTestWindows.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace vx::test
{
    namespace
    {
        void sync(xcb_connection_t* connection)
        {
            std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
        }

        // A ConfigureWindow's values, in the order of their mask bits.
        struct Values
        {
            uint16_t mask = 0;
            std::vector<uint32_t> list;

            void add(uint16_t bit, uint32_t value)
            {
                mask |= bit;
                list.push_back(value);
            }
        };
    }

    TestWindowManager::TestWindowManager(const std::string& displayName, const Options& options) : options(options)
    {
        connection = xcb_connect(displayName.c_str(), nullptr);
        if (xcb_connection_has_error(connection) != 0)
        {
            whyNot = "no X server answers on " + displayName;
            return;
        }
        root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        if (xcb_generic_error_t* error = xcb_request_check(
                connection, xcb_change_window_attributes_checked(connection, root, XCB_CW_EVENT_MASK, &mask)))
        {
            std::free(error);
            whyNot = "another window manager has the root";
            return;
        }
        clientList = internAtom(connection, "_NET_CLIENT_LIST");
        activeWindow = internAtom(connection, "_NET_ACTIVE_WINDOW");
        supportingWmCheck = internAtom(connection, "_NET_SUPPORTING_WM_CHECK");
        wmState = internAtom(connection, "WM_STATE");
        if (options.reparents)
        {
            // The window that tells clients an EWMH manager runs: it names
            // itself, and goes with the connection.
            checkWindow = xcb_generate_id(connection);
            xcb_create_window(connection, XCB_COPY_FROM_PARENT, checkWindow, root, -1, -1, 1, 1, 0,
                              XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
            for (xcb_window_t on : {checkWindow, root})
                xcb_change_property(connection, XCB_PROP_MODE_REPLACE, on, supportingWmCheck, XCB_ATOM_WINDOW, 32, 1,
                                    &checkWindow);
        }
        stopFd = eventfd(0, EFD_CLOEXEC);
        if (stopFd < 0)
        {
            whyNot = "no eventfd";
            return;
        }
        thread = std::thread([this] { run(); });
    }

    TestWindowManager::~TestWindowManager()
    {
        if (thread.joinable())
        {
            const uint64_t one = 1;
            [[maybe_unused]] const ssize_t written = write(stopFd, &one, sizeof(one));
            thread.join();
        }
        if (stopFd >= 0)
            close(stopFd);
        // The frames go with the connection; the windows in them come back
        // to the root.
        if (connection != nullptr)
            xcb_disconnect(connection);
    }

    bool TestWindowManager::waitUntilShown(xcb_window_t window, int timeoutMs)
    {
        std::unique_lock<std::mutex> hold(lock);
        return changed.wait_for(hold, std::chrono::milliseconds(timeoutMs),
                                [&] { return topLevels.count(window) != 0; });
    }

    xcb_window_t TestWindowManager::getTopLevel(xcb_window_t window)
    {
        std::lock_guard<std::mutex> hold(lock);
        auto found = topLevels.find(window);
        return found != topLevels.end() ? found->second : window;
    }

    void TestWindowManager::run()
    {
        pollfd waits[2] = {{xcb_get_file_descriptor(connection), POLLIN, 0}, {stopFd, POLLIN, 0}};
        for (;;)
        {
            const auto now = std::chrono::steady_clock::now();
            while (! pending.empty() && pending.front().due <= now)
            {
                carryOut(pending.front());
                pending.pop_front();
            }
            // Round trips and flushing read what came meanwhile into the
            // connection's queue, where poll does not see it: the queue is
            // emptied last, and again after what taking it sent.
            xcb_flush(connection);
            bool took = false;
            while (xcb_generic_event_t* event = xcb_poll_for_event(connection))
            {
                take(*event);
                std::free(event);
                took = true;
            }
            if (xcb_connection_has_error(connection) != 0)
                break;
            if (took)
                continue;
            int timeoutMs = -1;
            if (! pending.empty())
                timeoutMs = int(std::max<long long>(0, std::chrono::ceil<std::chrono::milliseconds>(
                                                           pending.front().due - std::chrono::steady_clock::now())
                                                           .count()));
            if (poll(waits, 2, timeoutMs) > 0 && (waits[1].revents & POLLIN) != 0)
                break;
        }
        if (options.reparents)
        {
            xcb_delete_property(connection, root, clientList);
            xcb_delete_property(connection, root, supportingWmCheck);
        }
        sync(connection);
    }

    void TestWindowManager::take(const xcb_generic_event_t& event)
    {
        Request request;
        request.due = std::chrono::steady_clock::now() + std::chrono::milliseconds(options.delayMs);
        request.type = event.response_type & 0x7F;
        switch (request.type)
        {
            case XCB_MAP_REQUEST:
                request.window = reinterpret_cast<const xcb_map_request_event_t&>(event).window;
                break;
            case XCB_CONFIGURE_REQUEST:
                request.configure = reinterpret_cast<const xcb_configure_request_event_t&>(event);
                request.window = request.configure.window;
                break;
            case XCB_CLIENT_MESSAGE:
            {
                const auto& message = reinterpret_cast<const xcb_client_message_event_t&>(event);
                if (message.type != activeWindow)
                    return;
                request.window = message.window;
                break;
            }
            case XCB_DESTROY_NOTIFY:
                // Not a request: the window has gone.
                forget(reinterpret_cast<const xcb_destroy_notify_event_t&>(event).window);
                return;
            default:
                return;
        }
        pending.push_back(request);
    }

    void TestWindowManager::carryOut(const Request& request)
    {
        if (request.type == XCB_MAP_REQUEST)
            show(request.window);
        else if (request.type == XCB_CONFIGURE_REQUEST)
            configure(request.configure);
        else if (request.type == XCB_CLIENT_MESSAGE && options.raises)
            raise(request.window);
    }

    void TestWindowManager::show(xcb_window_t window)
    {
        xcb_window_t top = window;
        if (options.reparents && getTopLevel(window) == window)
        {
            xcb_get_geometry_reply_t* geometry =
                xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr);
            if (geometry == nullptr)
                return; // gone before it was shown
            top = xcb_generate_id(connection);
            const uint32_t values[] = {0x808080,
                                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY};
            xcb_create_window(connection, XCB_COPY_FROM_PARENT, top, root, geometry->x, geometry->y,
                              uint16_t(geometry->width + 2 * frameLeft),
                              uint16_t(geometry->height + frameTop + frameLeft), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                              XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
            std::free(geometry);
            // The window outlives the manager's connection, back on the root.
            xcb_change_save_set(connection, XCB_SET_MODE_INSERT, window);
            xcb_reparent_window(connection, window, top, frameLeft, frameTop);
            xcb_map_window(connection, window);
        }
        else
        {
            // Mapped again: in its frame, when it has one.
            top = getTopLevel(window);
            if (top != window)
                xcb_map_window(connection, window);
        }
        xcb_map_window(connection, top);
        const uint32_t normalState[] = {1, XCB_NONE};
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, wmState, wmState, 32, 2, normalState);
        // Listed too: shown means done on the server.
        std::vector<xcb_window_t> clients;
        {
            std::lock_guard<std::mutex> hold(lock);
            clients = shown;
            if (topLevels.count(window) == 0)
                clients.push_back(window);
        }
        publishClients(clients);
        sync(connection);
        {
            std::lock_guard<std::mutex> hold(lock);
            if (topLevels.emplace(window, top).second)
                shown.push_back(window);
        }
        changed.notify_all();
    }

    void TestWindowManager::configure(const xcb_configure_request_event_t& request)
    {
        const xcb_window_t top = getTopLevel(request.window);
        const bool framed = top != request.window;
        Values own, frame;
        Values& placed = framed ? frame : own;
        if ((request.value_mask & XCB_CONFIG_WINDOW_X) != 0)
            placed.add(XCB_CONFIG_WINDOW_X, uint32_t(request.x));
        if ((request.value_mask & XCB_CONFIG_WINDOW_Y) != 0)
            placed.add(XCB_CONFIG_WINDOW_Y, uint32_t(request.y));
        if ((request.value_mask & XCB_CONFIG_WINDOW_WIDTH) != 0)
        {
            own.add(XCB_CONFIG_WINDOW_WIDTH, request.width);
            if (framed)
                frame.add(XCB_CONFIG_WINDOW_WIDTH, request.width + 2u * frameLeft);
        }
        if ((request.value_mask & XCB_CONFIG_WINDOW_HEIGHT) != 0)
        {
            own.add(XCB_CONFIG_WINDOW_HEIGHT, request.height);
            if (framed)
                frame.add(XCB_CONFIG_WINDOW_HEIGHT, request.height + uint32_t(frameTop + frameLeft));
        }
        if ((request.value_mask & XCB_CONFIG_WINDOW_STACK_MODE) != 0 && options.raises)
        {
            if ((request.value_mask & XCB_CONFIG_WINDOW_SIBLING) != 0)
                placed.add(XCB_CONFIG_WINDOW_SIBLING, getTopLevel(request.sibling));
            placed.add(XCB_CONFIG_WINDOW_STACK_MODE, request.stack_mode);
        }
        if (own.mask != 0)
            xcb_configure_window(connection, request.window, own.mask, own.list.data());
        if (frame.mask != 0)
            xcb_configure_window(connection, top, frame.mask, frame.list.data());
    }

    void TestWindowManager::raise(xcb_window_t window)
    {
        const uint32_t above = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(connection, getTopLevel(window), XCB_CONFIG_WINDOW_STACK_MODE, &above);
    }

    void TestWindowManager::forget(xcb_window_t window)
    {
        xcb_window_t top = XCB_NONE;
        {
            std::lock_guard<std::mutex> hold(lock);
            auto found = topLevels.find(window);
            if (found == topLevels.end())
                return;
            top = found->second;
            topLevels.erase(found);
            shown.erase(std::remove(shown.begin(), shown.end(), window), shown.end());
        }
        if (top != window)
            xcb_destroy_window(connection, top);
        publishClients();
    }

    void TestWindowManager::publishClients()
    {
        std::vector<xcb_window_t> clients;
        {
            std::lock_guard<std::mutex> hold(lock);
            clients = shown;
        }
        publishClients(clients);
    }

    void TestWindowManager::publishClients(const std::vector<xcb_window_t>& clients)
    {
        if (! options.reparents)
            return;
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, root, clientList, XCB_ATOM_WINDOW, 32,
                            uint32_t(clients.size()), clients.data());
    }
}
