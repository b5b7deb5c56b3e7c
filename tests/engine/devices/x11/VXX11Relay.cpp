#include "VXX11Relay.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace vx::test
{
    namespace
    {
        // The socket of display number on this host: abstract when
        // abstract, which clients try first, else in the file system.
        sockaddr_un displaySocket(int number, bool abstract, socklen_t& length)
        {
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            const int written = std::snprintf(address.sun_path + (abstract ? 1 : 0), sizeof(address.sun_path) - 1,
                                              "/tmp/.X11-unix/X%d", number);
            length = socklen_t(offsetof(sockaddr_un, sun_path) + size_t(written) + (abstract ? 1 : 0));
            return address;
        }

        bool writeAll(int fd, const char* bytes, size_t size)
        {
            while (size > 0)
            {
                const ssize_t written = send(fd, bytes, size, MSG_NOSIGNAL);
                if (written < 0 && errno == EINTR)
                    continue;
                if (written <= 0)
                    return false;
                bytes += written;
                size -= size_t(written);
            }
            return true;
        }
    }

    X11Relay::X11Relay(const std::string& serverDisplay)
    {
        if (serverDisplay.size() < 2 || serverDisplay[0] != ':')
        {
            whyNot = "not a local display: " + serverDisplay;
            return;
        }
        serverSocket = "/tmp/.X11-unix/X" + serverDisplay.substr(1);
        wakeFd = eventfd(0, EFD_CLOEXEC);
        if (wakeFd < 0 || ! takeDisplayNumber())
            return;
        thread = std::thread([this] { relay(); });
    }

    X11Relay::~X11Relay()
    {
        if (thread.joinable())
        {
            {
                std::lock_guard<std::mutex> hold(lock);
                stopping = true;
            }
            wakeRelay();
            thread.join();
        }
        for (const Pair& pair : pairs)
        {
            close(pair.client);
            close(pair.server);
        }
        if (listener >= 0)
            close(listener);
        if (wakeFd >= 0)
            close(wakeFd);
        if (! lockFile.empty())
            unlink(lockFile.c_str());
    }

    bool X11Relay::takeDisplayNumber()
    {
        // A lock file as the X server writes it keeps servers started later
        // off the number.
        for (int number = 900; number < 1000; ++number)
        {
            const std::string path = "/tmp/.X" + std::to_string(number) + "-lock";
            const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0444);
            if (fd < 0)
            {
                const int openError = errno;
                // Left by a process that has ended: taken over.
                char text[16] = {};
                const int old = open(path.c_str(), O_RDONLY | O_CLOEXEC);
                const ssize_t got = old >= 0 ? read(old, text, sizeof(text) - 1) : -1;
                if (old >= 0)
                    close(old);
                const long owner = got > 0 ? std::strtol(text, nullptr, 10) : 0;
                if (openError == EEXIST && owner > 0 && kill(pid_t(owner), 0) != 0 && errno == ESRCH &&
                    unlink(path.c_str()) == 0)
                    --number;
                continue;
            }
            char text[16];
            const int length = std::snprintf(text, sizeof(text), "%10ld\n", long(getpid()));
            const bool written = write(fd, text, size_t(length)) == length;
            close(fd);
            socklen_t addressLength = 0;
            const sockaddr_un address = displaySocket(number, true, addressLength);
            listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (written && listener >= 0 &&
                bind(listener, reinterpret_cast<const sockaddr*>(&address), addressLength) == 0 &&
                listen(listener, 16) == 0)
            {
                lockFile = path;
                displayName = ":" + std::to_string(number);
                return true;
            }
            if (listener >= 0)
                close(listener);
            listener = -1;
            unlink(path.c_str());
        }
        whyNot = "no free display number for the relay";
        return false;
    }

    bool X11Relay::waitForClients(size_t count)
    {
        std::unique_lock<std::mutex> hold(lock);
        return connected.wait_for(hold, std::chrono::seconds(30), [&] { return pairs.size() >= count; });
    }

    void X11Relay::cut(size_t index, Cut how)
    {
        {
            std::lock_guard<std::mutex> hold(lock);
            if (index >= pairs.size())
                return;
            pairs[index].relayed = false;
            // Descriptors are closed only at the end: the relay's poll may hold them.
            shutdown(pairs[index].client, how == Cut::stopReading ? SHUT_RD : SHUT_RDWR);
        }
        wakeRelay();
    }

    void X11Relay::stopListening()
    {
        std::lock_guard<std::mutex> hold(lock);
        if (listener >= 0)
            close(listener);
        listener = -1;
    }

    void X11Relay::limitToClients(size_t rate)
    {
        {
            std::lock_guard<std::mutex> hold(lock);
            bytesPerSecond = rate;
            // Pauses count from here.
            lastToClients = std::chrono::steady_clock::now();
            longestPauseToClients = {};
        }
        wakeRelay();
    }

    size_t X11Relay::getBytesToClients()
    {
        std::lock_guard<std::mutex> hold(lock);
        return bytesToClients;
    }

    std::chrono::steady_clock::duration X11Relay::getLongestPauseToClients()
    {
        std::lock_guard<std::mutex> hold(lock);
        return longestPauseToClients;
    }

    bool X11Relay::waitForBytesToClients(size_t count)
    {
        std::unique_lock<std::mutex> hold(lock);
        return connected.wait_for(hold, std::chrono::seconds(30), [&] { return bytesToClients >= count; });
    }

    void X11Relay::wakeRelay()
    {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(wakeFd, &one, sizeof(one));
    }

    void X11Relay::endPair(Pair& pair)
    {
        // One side left: so does the other.
        pair.relayed = false;
        shutdown(pair.client, SHUT_RDWR);
        shutdown(pair.server, SHUT_RDWR);
    }

    bool X11Relay::sendHeld(Pair& pair)
    {
        while (! pair.toClient.empty())
        {
            const ssize_t sent =
                send(pair.client, pair.toClient.data(), pair.toClient.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent < 0 && errno == EINTR)
                continue;
            if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                return true;
            if (sent <= 0)
            {
                endPair(pair);
                return false;
            }
            pair.toClient.erase(0, size_t(sent));
        }
        return true;
    }

    void X11Relay::relay()
    {
        std::vector<pollfd> waits;
        std::vector<size_t> pairOf; // of each wait past the first two
        // A slow link: the next bytes from a server go on no sooner.
        auto sendAfter = std::chrono::steady_clock::now();
        for (;;)
        {
            std::this_thread::sleep_until(sendAfter);
            waits.clear();
            pairOf.clear();
            {
                std::lock_guard<std::mutex> hold(lock);
                if (stopping)
                    return;
                waits.push_back({wakeFd, POLLIN, 0});
                waits.push_back({listener, POLLIN, 0}); // -1 is not polled
                // A client that does not read holds only its own bytes,
                // as a server keeps a buffer for each client.
                for (size_t i = 0; i < pairs.size(); ++i)
                    if (pairs[i].relayed)
                    {
                        const bool held = ! pairs[i].toClient.empty();
                        waits.push_back({pairs[i].client, short(POLLIN | (held ? POLLOUT : 0)), 0});
                        waits.push_back({pairs[i].server, short(held ? 0 : POLLIN), 0});
                        pairOf.insert(pairOf.end(), {i, i});
                    }
            }
            if (poll(waits.data(), nfds_t(waits.size()), -1) < 0)
                continue;
            std::lock_guard<std::mutex> hold(lock);
            if (stopping)
                return;
            if ((waits[0].revents & POLLIN) != 0)
            {
                uint64_t count = 0;
                [[maybe_unused]] const ssize_t got = read(wakeFd, &count, sizeof(count));
            }
            if (listener >= 0 && listener == waits[1].fd && (waits[1].revents & POLLIN) != 0)
            {
                Pair pair;
                pair.client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
                pair.server = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
                sockaddr_un address{};
                address.sun_family = AF_UNIX;
                std::snprintf(address.sun_path, sizeof(address.sun_path), "%s", serverSocket.c_str());
                if (pair.client >= 0 && pair.server >= 0 &&
                    connect(pair.server, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0)
                {
                    pairs.push_back(pair);
                    connected.notify_all();
                }
                else
                {
                    close(pair.client);
                    close(pair.server);
                }
            }
            for (size_t w = 2; w < waits.size(); ++w)
            {
                Pair& pair = pairs[pairOf[w - 2]];
                if (pair.relayed && (waits[w].revents & POLLOUT) != 0 && ! sendHeld(pair))
                    continue;
                if (! pair.relayed || (waits[w].revents & (POLLIN | POLLHUP | POLLERR)) == 0)
                    continue;
                const bool toClient = waits[w].fd == pair.server;
                // The server's next bytes wait until the client took the last.
                if (toClient && ! pair.toClient.empty())
                    continue;
                const int to = toClient ? pair.client : pair.server;
                char bytes[65536];
                // A few milliseconds' worth at a time on a slow link.
                const size_t most =
                    toClient && bytesPerSecond > 0 ? std::min(sizeof(bytes), bytesPerSecond / 250 + 1) : sizeof(bytes);
                const ssize_t got = read(waits[w].fd, bytes, most);
                if (got < 0 && errno == EINTR)
                    continue;
                if (got > 0 && toClient)
                {
                    const auto now = std::chrono::steady_clock::now();
                    if (lastToClients != std::chrono::steady_clock::time_point{})
                        longestPauseToClients = std::max(longestPauseToClients, now - lastToClients);
                    lastToClients = now;
                    bytesToClients += size_t(got);
                    connected.notify_all();
                    if (bytesPerSecond > 0)
                        sendAfter = std::max(sendAfter, std::chrono::steady_clock::now()) +
                                    std::chrono::microseconds(uint64_t(got) * 1000000 / bytesPerSecond);
                    pair.toClient.assign(bytes, size_t(got));
                    sendHeld(pair);
                }
                else if (got <= 0 || ! writeAll(to, bytes, size_t(got)))
                    endPair(pair);
            }
        }
    }
}
