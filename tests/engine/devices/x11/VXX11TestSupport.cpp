#include "VXX11TestSupport.h"

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
        cg::X11Options options;
        options.useSharedMemory = useSharedMemory;
        std::string whyNot;
        std::shared_ptr<cg::Backend> backend = cg::createX11Backend(server.getDisplayName().c_str(), options, &whyNot);
        EXPECT_NE(backend, nullptr) << whyNot;
        return backend;
    }
}
