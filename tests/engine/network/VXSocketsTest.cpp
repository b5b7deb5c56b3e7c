// The socket helpers on real sockets over 127.0.0.1.

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include "VXNetworkTestSupport.h"
#include "core/VXThread.h"
#include "engine/network/VXSockets.h"

namespace vx::test
{
    namespace
    {
        struct BoundSocket
        {
            explicit BoundSocket(int port) : descriptor(socket(AF_INET, SOCK_DGRAM, 0))
            {
                bound = Sockets::bindSocketToPort(descriptor, port);
            }
            ~BoundSocket() { close(descriptor); }
            int descriptor;
            bool bound = false;
        };
    }

    TEST(SocketsTest, ReadinessTimesOutOrWaitsWithoutLimit)
    {
        const int port = findFreePort();
        BoundSocket receiver(port);
        ASSERT_TRUE(receiver.bound);
        EXPECT_EQ(Sockets::waitForReadiness(receiver.descriptor, true, 20), 0);
        EXPECT_EQ(Sockets::waitForReadiness(-1, true, 20), -1);

        std::thread sender([port] {
            Thread::sleep(50);
            UdpSender(port).send(reinterpret_cast<const unsigned char*>("x"), 1);
        });
        EXPECT_EQ(Sockets::waitForReadiness(receiver.descriptor, true, -1), 1) << "a negative time-out never ends";
        sender.join();
    }

    TEST(SocketsTest, ReadStopsWhenAskedOrAtEmptyData)
    {
        const int port = findFreePort();
        BoundSocket receiver(port);
        ASSERT_TRUE(receiver.bound);
        UdpSender sender(port);
        ASSERT_TRUE(sender.send(reinterpret_cast<const unsigned char*>("abcd"), 4));

        unsigned char buffer[16];
        std::memset(buffer, 0xEE, sizeof(buffer));
        const std::atomic<bool> stopped{false};
        EXPECT_EQ(Sockets::readSocket(receiver.descriptor, buffer, 16, stopped, false), -1);
        EXPECT_EQ(buffer[0], 0xEE) << "nothing stored";

        const std::atomic<bool> going{true};
        EXPECT_EQ(Sockets::readSocket(receiver.descriptor, buffer, 16, going, false), 4);
        EXPECT_EQ(std::memcmp(buffer, "abcd", 4), 0);

        ASSERT_TRUE(sender.send(buffer, 0));
        EXPECT_EQ(Sockets::readSocket(receiver.descriptor, buffer, 16, going, true), -1) << "an empty datagram";
    }

    TEST(SocketsTest, BindingRefusesBadArgumentsAndTakenPorts)
    {
        const int descriptor = socket(AF_INET, SOCK_DGRAM, 0);
        EXPECT_FALSE(Sockets::bindSocketToPort(descriptor, 0));
        EXPECT_FALSE(Sockets::bindSocketToPort(0, 5000));
        EXPECT_FALSE(Sockets::bindSocketToPort(descriptor, 70000));
        const int port = findFreePort();
        BoundSocket first(port);
        ASSERT_TRUE(first.bound);
        EXPECT_FALSE(Sockets::bindSocketToPort(descriptor, port));
        close(descriptor);
    }

    TEST(SocketsTest, OptionsAndBlockingState)
    {
        const int descriptor = socket(AF_INET, SOCK_DGRAM, 0);
        EXPECT_FALSE(Sockets::setSocketReceiveBufferSize(0, 65536));
        EXPECT_FALSE(Sockets::resetSocketOptions(0, true, true));
        EXPECT_TRUE(Sockets::resetSocketOptions(descriptor, true, true));
        int broadcast = 0;
        socklen_t length = sizeof(broadcast);
        getsockopt(descriptor, SOL_SOCKET, SO_BROADCAST, &broadcast, &length);
        EXPECT_EQ(broadcast, 1);

        ASSERT_TRUE(Sockets::setSocketBlockingState(descriptor, false));
        EXPECT_NE(fcntl(descriptor, F_GETFL) & O_NONBLOCK, 0);
        ASSERT_TRUE(Sockets::setSocketBlockingState(descriptor, true));
        EXPECT_EQ(fcntl(descriptor, F_GETFL) & O_NONBLOCK, 0);
        close(descriptor);
        EXPECT_FALSE(Sockets::setSocketBlockingState(descriptor, true)) << "closed";
    }

    TEST(SocketsTest, DatagramConnectHandsOutTheAddress)
    {
        int descriptor = -1;
        void* address = nullptr;
        ASSERT_TRUE(Sockets::connectSocket(descriptor, true, &address, "127.0.0.1", 5000, 100));
        ASSERT_NE(address, nullptr);
        EXPECT_GE(descriptor, 0);
        const auto* bytes = static_cast<const unsigned char*>(address);
        EXPECT_EQ(bytes[2], 0x13);
        EXPECT_EQ(bytes[3], 0x88);
        EXPECT_EQ(bytes[4], 127);
        delete[] static_cast<unsigned char*>(address);
        close(descriptor);

        int stream = -1;
        EXPECT_FALSE(Sockets::connectSocket(stream, false, nullptr, "127.0.0.1", findFreePort(), 200))
            << "nobody listens";
        if (stream >= 0)
            close(stream);
    }

    TEST(SocketsTest, AddressTextOfAHostEntry)
    {
        EXPECT_EQ(Sockets::getIpAddress(nullptr), "");
        EXPECT_EQ(Sockets::getIpAddress(gethostbyname("127.0.0.1")), "127.0.0.1");
    }
}
