#pragma once

#include <cstdint>
#include <memory>
#include <string>

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
