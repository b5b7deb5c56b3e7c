#include "VXTestWindows.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <poll.h>

namespace vx::test
{
    xcb_atom_t internAtom(xcb_connection_t* connection, const char* name)
    {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
        const xcb_atom_t found = reply != nullptr ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return found;
    }

    uint32_t patternPixel(int x, int y)
    {
        const uint32_t r = uint32_t(x * 4) & 0xFF, g = uint32_t(y * 5) & 0xFF, b = uint32_t((x + y) * 2) & 0xFF;
        return 0xFF000000u | (r << 16) | (g << 8) | b;
    }

    TestWindows::TestWindows(const std::string& displayName)
    {
        connection = xcb_connect(displayName.c_str(), nullptr);
        if (xcb_connection_has_error(connection) != 0)
        {
            xcb_disconnect(connection);
            connection = nullptr;
            return;
        }
        screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    }

    TestWindows::~TestWindows()
    {
        if (connection != nullptr)
            xcb_disconnect(connection);
    }

    xcb_window_t TestWindows::create(int x, int y, int width, int height, const Properties& properties)
    {
        // The background: the pattern over the window's first size, tiled.
        const xcb_pixmap_t tile = xcb_generate_id(connection);
        xcb_create_pixmap(connection, screen->root_depth, tile, screen->root, uint16_t(width), uint16_t(height));
        const xcb_gcontext_t gc = xcb_generate_id(connection);
        xcb_create_gc(connection, gc, tile, 0, nullptr);
        // 32-bit pixels, or at depth 16 red, green and blue in 5, 6 and 5
        // bits; rows padded to 32 bits.
        const size_t bytesPerPixel = screen->root_depth == 16 ? 2 : 4;
        std::vector<uint8_t> row((size_t(width) * bytesPerPixel + 3) / 4 * 4);
        for (int line = 0; line < height; ++line)
        {
            for (int column = 0; column < width; ++column)
            {
                uint32_t p = patternPixel(column, line);
                if (bytesPerPixel == 2)
                    p = ((p >> 19) & 0x1F) << 11 | ((p >> 10) & 0x3F) << 5 | ((p >> 3) & 0x1F);
                std::memcpy(row.data() + size_t(column) * bytesPerPixel, &p, bytesPerPixel);
            }
            xcb_put_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, tile, gc, uint16_t(width), 1, 0, int16_t(line), 0,
                          screen->root_depth, uint32_t(row.size()), row.data());
        }
        xcb_free_gc(connection, gc);

        const xcb_window_t window = xcb_generate_id(connection);
        const uint32_t values[] = {tile, properties.popUp ? 1u : 0u, XCB_EVENT_MASK_BUTTON_PRESS};
        xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, int16_t(x), int16_t(y),
                          uint16_t(width), uint16_t(height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                          XCB_CW_BACK_PIXMAP | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
        xcb_free_pixmap(connection, tile);
        auto put = [&](xcb_atom_t name, xcb_atom_t type, uint8_t format, const void* data, size_t count)
        { xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, name, type, format, uint32_t(count), data); };
        if (! properties.netName.empty())
            put(internAtom(connection, "_NET_WM_NAME"), internAtom(connection, "UTF8_STRING"), 8,
                properties.netName.data(), properties.netName.size());
        if (! properties.wmName.empty())
            put(XCB_ATOM_WM_NAME, internAtom(connection, properties.wmNameType), 8, properties.wmName.data(),
                properties.wmName.size());
        if (! properties.instance.empty() || ! properties.className.empty())
        {
            const std::string both = properties.instance + '\0' + properties.className + '\0';
            put(XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, both.data(), both.size());
        }
        if (properties.pid != 0)
        {
            const uint32_t pid = uint32_t(properties.pid);
            put(internAtom(connection, "_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, &pid, 1);
        }
        // WM_SIZE_HINTS: flags USPosition and USSize, then x, y, width, height.
        uint32_t hints[18] = {1 | 2, uint32_t(x), uint32_t(y), uint32_t(width), uint32_t(height)};
        put(XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 32, hints, 18);
        if (properties.desktop)
        {
            const xcb_atom_t type = internAtom(connection, "_NET_WM_WINDOW_TYPE_DESKTOP");
            put(internAtom(connection, "_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 32, &type, 1);
        }
        xcb_map_window(connection, window);
        sync();
        return window;
    }

    void TestWindows::resize(xcb_window_t window, int width, int height)
    {
        const uint32_t size[] = {uint32_t(width), uint32_t(height)};
        xcb_configure_window(connection, window, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, size);
        sync();
    }

    void TestWindows::fill(xcb_window_t window, uint32_t pixel)
    {
        xcb_change_window_attributes(connection, window, XCB_CW_BACK_PIXEL, &pixel);
        xcb_clear_area(connection, 0, window, 0, 0, 0, 0);
        sync();
    }

    bool grabPointer(xcb_connection_t* connection, xcb_window_t window, bool ownerEvents, uint8_t pointerMode)
    {
        auto* grabbed = xcb_grab_pointer_reply(
            connection,
            xcb_grab_pointer(connection, ownerEvents ? 1 : 0, window,
                             XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE, pointerMode,
                             XCB_GRAB_MODE_ASYNC, XCB_NONE, XCB_NONE, XCB_CURRENT_TIME),
            nullptr);
        const bool granted = grabbed != nullptr && grabbed->status == XCB_GRAB_STATUS_SUCCESS;
        std::free(grabbed);
        return granted;
    }

    bool TestWindows::grabPointer(xcb_window_t window)
    {
        return vx::test::grabPointer(connection, window, true, XCB_GRAB_MODE_ASYNC);
    }

    void TestWindows::destroy(xcb_window_t window)
    {
        xcb_destroy_window(connection, window);
        sync();
    }

    uint32_t TestWindows::getIdBase() const
    {
        return connection != nullptr ? xcb_get_setup(connection)->resource_id_base : 0;
    }

    void TestWindows::unmap(xcb_window_t window)
    {
        xcb_unmap_window(connection, window);
        sync();
    }

    bool TestWindows::exists(xcb_window_t window)
    {
        xcb_generic_error_t* error = nullptr;
        xcb_get_window_attributes_reply_t* reply =
            xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, window), &error);
        std::free(error);
        const bool found = reply != nullptr;
        std::free(reply);
        return found;
    }

    void TestWindows::sync()
    {
        std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    }

    std::pair<int, int> TestWindows::waitForButtonPress(xcb_window_t window, int timeoutMs)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        pollfd wait{xcb_get_file_descriptor(connection), POLLIN, 0};
        while (std::chrono::steady_clock::now() < deadline)
        {
            while (xcb_generic_event_t* event = xcb_poll_for_event(connection))
            {
                std::pair<int, int> where{-1, -1};
                if ((event->response_type & 0x7F) == XCB_BUTTON_PRESS)
                {
                    const auto* press = reinterpret_cast<xcb_button_press_event_t*>(event);
                    if (press->event == window && press->detail == 1)
                        where = {press->event_x, press->event_y};
                }
                std::free(event);
                if (where.first >= 0)
                    return where;
            }
            poll(&wait, 1, 20);
        }
        return {-1, -1};
    }

    std::vector<xcb_window_t> TestWindows::pressesUntil(xcb_window_t last, int timeoutMs)
    {
        std::vector<xcb_window_t> pressed;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        pollfd wait{xcb_get_file_descriptor(connection), POLLIN, 0};
        while (std::chrono::steady_clock::now() < deadline)
        {
            while (xcb_generic_event_t* event = xcb_poll_for_event(connection))
            {
                bool done = false;
                if ((event->response_type & 0x7F) == XCB_BUTTON_PRESS)
                {
                    const auto* press = reinterpret_cast<xcb_button_press_event_t*>(event);
                    if (press->detail == 1)
                    {
                        pressed.push_back(press->event);
                        done = press->event == last;
                    }
                }
                std::free(event);
                if (done)
                    return pressed;
            }
            poll(&wait, 1, 20);
        }
        return pressed;
    }

    std::vector<std::pair<int, int>> TestWindows::takeButtonPresses(xcb_window_t window)
    {
        std::vector<std::pair<int, int>> presses;
        for (const Press& press : takeButtonPresses())
            if (press.window == window)
                presses.emplace_back(press.x, press.y);
        return presses;
    }

    std::vector<TestWindows::Press> TestWindows::takeButtonPresses()
    {
        std::vector<Press> presses;
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection))
        {
            if ((event->response_type & 0x7F) == XCB_BUTTON_PRESS)
            {
                const auto* press = reinterpret_cast<xcb_button_press_event_t*>(event);
                if (press->detail == 1)
                    presses.push_back({press->event, press->event_x, press->event_y});
            }
            std::free(event);
        }
        return presses;
    }

    int TestWindows::getFileDescriptor() const
    {
        return xcb_get_file_descriptor(connection);
    }

    std::pair<int, int> TestWindows::positionOnScreen(xcb_window_t window)
    {
        xcb_translate_coordinates_reply_t* reply = xcb_translate_coordinates_reply(
            connection, xcb_translate_coordinates(connection, window, screen->root, 0, 0), nullptr);
        const std::pair<int, int> at =
            reply != nullptr ? std::make_pair(int(reply->dst_x), int(reply->dst_y)) : std::make_pair(-1, -1);
        std::free(reply);
        return at;
    }

    xcb_window_t TestWindows::topLevelAt(int x, int y)
    {
        xcb_translate_coordinates_reply_t* reply = xcb_translate_coordinates_reply(
            connection, xcb_translate_coordinates(connection, screen->root, screen->root, int16_t(x), int16_t(y)),
            nullptr);
        const xcb_window_t child = reply != nullptr ? reply->child : xcb_window_t(XCB_NONE);
        std::free(reply);
        return child;
    }
}
