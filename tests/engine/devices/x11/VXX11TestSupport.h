#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include "VXXorgServer.h"
#include "platform/coregraphics/VXCoreGraphicsX11.h"

namespace vx::test
{
    // The suite's one X server, started on first use and stopped when the
    // tests end, also after a failure.
    XorgServer& sharedXorg();

    // A test pattern, opaque: r = 4x, g = 5y, b = 2(x + y), modulo 256.
    uint32_t patternPixel(int x, int y);

    // Windows a test makes on its own connection (an application's):
    // top-level, mapped, painted by the server with a tiled background
    // (patternPixel over width x height), so their content is right
    // whenever the server needs it. They go with the object.
    class TestWindows
    {
    public:
        explicit TestWindows(const std::string& displayName);
        ~TestWindows();

        bool isConnected() const { return connection != nullptr; }

        struct Properties
        {
            std::string netName;  // _NET_WM_NAME (UTF-8), none when empty
            std::string wmName;   // WM_NAME (STRING, ISO 8859-1), none when empty
            std::string instance; // WM_CLASS, none when both are empty
            std::string className;
            long pid = 0; // _NET_WM_PID, none when 0
        };
        xcb_window_t create(int x, int y, int width, int height, const Properties& properties);
        void resize(xcb_window_t window, int width, int height);
        void destroy(xcb_window_t window);
        // Waits for the server to have done everything asked so far.
        void sync();
        // Waits up to timeoutMs for a press of button 1 on the window;
        // answers where, in window coordinates (-1, -1 when none came).
        std::pair<int, int> waitForButtonPress(xcb_window_t window, int timeoutMs);

    private:
        xcb_connection_t* connection = nullptr;
        xcb_screen_t* screen = nullptr;
    };

    // A backend on the server's display; null (and a failure) when it does not connect.
    std::shared_ptr<cg::Backend> connectX11(const XorgServer& server, bool useSharedMemory = true);

    // A test against the shared server, with a window maker of its own:
    // skipped, saying why, when the server cannot start.
    template <class Base>
    class X11TestOn : public Base
    {
    protected:
        void SetUp() override
        {
            Base::SetUp();
            if (::testing::Test::HasFatalFailure() || ::testing::Test::IsSkipped())
                return;
            server = &sharedXorg();
            if (! server->isRunning())
                GTEST_SKIP() << "no X server for these tests: " << server->getWhyNot();
            windows = std::make_unique<TestWindows>(server->getDisplayName());
            ASSERT_TRUE(windows->isConnected());
        }

        void TearDown() override
        {
            cg::setBackend(nullptr);
            windows.reset();
            Base::TearDown();
        }

        XorgServer* server = nullptr;
        std::unique_ptr<TestWindows> windows;
    };
    using X11Test = X11TestOn<::testing::Test>;
}
