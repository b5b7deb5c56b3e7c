#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "VXTestWindows.h"
#include "VXXorgServer.h"
#include "platform/coregraphics/VXCoreGraphicsX11.h"

namespace vx::test
{
    // The suite's one X server, started on first use and stopped when the
    // tests end, also after a failure.
    XorgServer& sharedXorg();

    // A backend on the server's display; null (and a failure) when it does not connect.
    std::shared_ptr<cg::Backend> connectX11(const XorgServer& server, bool useSharedMemory = true);
    // The same on a display by name (a relay's).
    std::shared_ptr<cg::Backend> connectX11(const std::string& displayName, bool useSharedMemory);

    // A client given the id base that of a client that has left had (so
    // its first window gets the id the other's had): the server hands out
    // the lowest free client slot, and those below are filled by others,
    // kept in fillers. Null when no client got it.
    std::unique_ptr<TestWindows> connectWithIdBase(const XorgServer& server, uint32_t base,
                                                   std::vector<std::unique_ptr<TestWindows>>& fillers);

    // Waits up to 30 s for a window to be gone from the server.
    bool waitUntilGone(TestWindows& windows, xcb_window_t window);

    // The program that made window ends (first is reset) and the next one is
    // given its ids: the client answered has a 40x20 window "second" at
    // (100, 100) with window's very id, of WM_CLASS "vx" / className. Null,
    // with the failure recorded, when that did not come about; others hold
    // the clients that filled the slots below.
    std::unique_ptr<TestWindows> restartWithTheSameIds(const XorgServer& server, std::unique_ptr<TestWindows>& first,
                                                       TestWindows& observer, xcb_window_t window,
                                                       std::vector<std::unique_ptr<TestWindows>>& others,
                                                       const std::string& className = "VX");

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
