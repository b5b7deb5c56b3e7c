#include "VXX11TestSupport.h"

#include <chrono>
#include <thread>

namespace vx::test
{
    namespace
    {
        std::unique_ptr<XorgServer>& serverSlot()
        {
            static std::unique_ptr<XorgServer> server;
            return server;
        }

        // Stops the server after the last test, failed or not.
        class StopXorg : public ::testing::Environment
        {
        public:
            void TearDown() override { serverSlot().reset(); }
        };
        [[maybe_unused]] ::testing::Environment* const stopXorg = ::testing::AddGlobalTestEnvironment(new StopXorg);
    }

    XorgServer& sharedXorg()
    {
        if (serverSlot() == nullptr)
            serverSlot() = std::make_unique<XorgServer>();
        return *serverSlot();
    }

    std::shared_ptr<cg::Backend> connectX11(const XorgServer& server, bool useSharedMemory)
    {
        return connectX11(server.getDisplayName(), useSharedMemory);
    }

    std::shared_ptr<cg::Backend> connectX11(const std::string& displayName, bool useSharedMemory)
    {
        cg::X11Options options;
        options.useSharedMemory = useSharedMemory;
        std::string whyNot;
        std::shared_ptr<cg::Backend> backend = cg::createX11Backend(displayName.c_str(), options, &whyNot);
        EXPECT_NE(backend, nullptr) << whyNot;
        return backend;
    }

    std::unique_ptr<TestWindows> connectWithIdBase(const XorgServer& server, uint32_t base,
                                                   std::vector<std::unique_ptr<TestWindows>>& fillers)
    {
        for (int i = 0; i < 512; ++i)
        {
            auto next = std::make_unique<TestWindows>(server.getDisplayName());
            if (! next->isConnected())
                return nullptr;
            if (next->getIdBase() == base)
                return next;
            fillers.push_back(std::move(next));
        }
        return nullptr;
    }

    bool waitUntilGone(TestWindows& windows, xcb_window_t window)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (windows.exists(window))
        {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    std::unique_ptr<TestWindows> restartWithTheSameIds(const XorgServer& server, std::unique_ptr<TestWindows>& first,
                                                       TestWindows& observer, xcb_window_t window,
                                                       std::vector<std::unique_ptr<TestWindows>>& others,
                                                       const std::string& className)
    {
        const uint32_t base = first->getIdBase();
        first.reset();
        if (! waitUntilGone(observer, window))
        {
            ADD_FAILURE() << "window " << window << " never went";
            return nullptr;
        }
        std::unique_ptr<TestWindows> second = connectWithIdBase(server, base, others);
        if (second == nullptr)
        {
            ADD_FAILURE() << "no client got the slot again";
            return nullptr;
        }
        const xcb_window_t again = second->create(100, 100, 40, 20, {"second", "", "vx", className, 0});
        if (again != window)
        {
            ADD_FAILURE() << "the next program's window is " << again << ", not " << window;
            return nullptr;
        }
        return second;
    }
}
