#include "engine/network/VXSockets.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vx
{
    void Sockets::initSockets()
    {
    }

    bool Sockets::setSocketReceiveBufferSize(int socket, int bytes)
    {
        return socket >= 1 && setsockopt(socket, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof(bytes)) == 0;
    }

    bool Sockets::setSocketSendBufferSize(int socket, int bytes)
    {
        return socket >= 1 && setsockopt(socket, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof(bytes)) == 0;
    }

    bool Sockets::resetSocketOptions(int socket, bool datagram, bool broadcast)
    {
        if (socket < 1 || ! setSocketReceiveBufferSize(socket, 65536) || ! setSocketSendBufferSize(socket, 65536))
            return false;
        const int on = 1;
        if (datagram)
            return ! broadcast || setsockopt(socket, SOL_SOCKET, SO_BROADCAST, &on, sizeof(on)) == 0;
        return setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on)) == 0;
    }

    bool Sockets::bindSocketToPort(int socket, int port)
    {
        if (socket <= 0 || port <= 0 || port > 65535)
            return false;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        address.sin_port = htons(std::uint16_t(port));
        return bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    }

    int Sockets::readSocket(int socket, void* buffer, int maxBytes, const std::atomic<bool>& keepGoing,
                            bool blockUntilFull)
    {
        int gathered = 0;
        auto* bytes = static_cast<unsigned char*>(buffer);
        while (gathered < maxBytes && keepGoing.load())
        {
            const ssize_t read = ::read(socket, bytes + gathered, size_t(maxBytes - gathered));
            if (read < 0)
            {
                if (errno == EINTR && keepGoing.load())
                    continue;
                break;
            }
            if (read == 0)
                break;
            gathered += int(read);
            if (! blockUntilFull)
                break;
        }
        return gathered > 0 ? gathered : -1;
    }

    int Sockets::waitForReadiness(int socket, bool forReading, int timeoutMs)
    {
        if (socket < 0)
            return -1;
        // poll, not select: a host with many files open hands out descriptors
        // beyond what an fd_set can hold.
        for (;;)
        {
            pollfd entry{};
            entry.fd = socket;
            entry.events = forReading ? POLLIN : POLLOUT;
            const int result = poll(&entry, 1, timeoutMs < 0 ? -1 : timeoutMs);
            if (result < 0)
            {
                if (errno == EINTR)
                    continue;
                return -1;
            }
            if (result > 0 && (entry.revents & POLLNVAL) != 0)
                return -1;
            int pending = 0;
            socklen_t length = sizeof(pending);
            if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &pending, &length) != 0 || pending != 0)
                return -1;
            return result > 0 ? 1 : 0;
        }
    }

    bool Sockets::setSocketBlockingState(int socket, bool blocking)
    {
        const int flags = fcntl(socket, F_GETFL, 0);
        if (flags < 0)
            return false;
        return fcntl(socket, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK)) == 0;
    }

    bool Sockets::connectSocket(volatile int& socket, bool datagram, void** addressOut, const char* host, int port,
                                int timeoutMs)
    {
        addrinfo hints{};
        hints.ai_flags = AI_NUMERICSERV;
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = datagram ? SOCK_DGRAM : SOCK_STREAM;
        addrinfo* found = nullptr;
        if (getaddrinfo(host, std::to_string(port).c_str(), &hints, &found) != 0 || found == nullptr)
            return false;
        struct Free
        {
            addrinfo* list;
            ~Free() { freeaddrinfo(list); }
        } freeOnReturn{found};

        if (socket < 0)
            socket = ::socket(found->ai_family, found->ai_socktype, found->ai_protocol);
        if (socket < 0)
            return false;
        if (datagram)
        {
            if (addressOut != nullptr)
            {
                auto* address = new unsigned char[16]();
                std::memcpy(address, found->ai_addr, std::min<size_t>(16, found->ai_addrlen));
                *addressOut = address;
            }
            return true;
        }
        if (! setSocketBlockingState(socket, false))
            return false;
        if (connect(socket, found->ai_addr, found->ai_addrlen) != 0)
        {
            // Refused at once: the peer cannot be reached now.
            if (errno != EINPROGRESS || waitForReadiness(socket, false, timeoutMs) != 1)
            {
                setSocketBlockingState(socket, true);
                return false;
            }
        }
        setSocketBlockingState(socket, true);
        resetSocketOptions(socket, false, false);
        return true;
    }

    std::string Sockets::getIpAddress(const hostent* host)
    {
        if (host == nullptr || host->h_addr_list == nullptr || host->h_addr_list[0] == nullptr)
            return {};
        char text[1024] = {};
        if (inet_ntop(host->h_addrtype, host->h_addr_list[0], text, sizeof(text)) == nullptr)
            return {};
        return text;
    }
}
