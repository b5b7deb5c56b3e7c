#include "engine/network/VXNetworkVideoClient.h"

#include <cerrno>

#include <sys/socket.h>
#include <unistd.h>

#include "core/VXLog.h"
#include "core/VXScopedLock.h"
#include "engine/gfx/VXGfxObject.h"
#include "engine/gfx/VXTexture.h"
#include "engine/network/VXSockets.h"
#include "engine/video/formats/VXPixels.h"

namespace vx
{
    namespace
    {
        // Errors after which reading goes on: nothing was there after all, a
        // signal, or an ICMP report of an earlier send (none here).
        bool isPassingError(int error)
        {
            return error == EAGAIN || error == EWOULDBLOCK || error == EINTR || error == ECONNREFUSED ||
                   error == ENOBUFS || error == ENOMEM;
        }
    }

    NetworkVideoClient::NetworkVideoClient(const NetworkVideoPeer& serverToReceive)
        : Thread("NetworkVideoClient Thread"), server(serverToReceive)
    {
        Sockets::initSockets();
        socket = ::socket(AF_INET, SOCK_DGRAM, 0);
        if (socket < 0)
        {
            logPrint(logError, "NetworkVideoClient: no datagram socket for %s port %d (errno %d)",
                     server.getIpAddress().c_str(), int(server.getPort()), errno);
            return;
        }
        if (! Sockets::bindSocketToPort(socket, server.getPort()))
        {
            logPrint(logError, "NetworkVideoClient: cannot bind port %d for %s (errno %d)", int(server.getPort()),
                     server.getIpAddress().c_str(), errno);
            return;
        }
        if (Sockets::setSocketBlockingState(socket, false))
            Sockets::setSocketReceiveBufferSize(socket, 65536);
        ready.store(true);
    }

    NetworkVideoClient::~NetworkVideoClient()
    {
        ready.store(false);
        requestThreadStop();
        // Wakes a receive thread waiting for data at once (Linux wakes the
        // waiters of even an unconnected datagram socket), so a stop does not
        // sit out the 500 ms readiness wait.
        if (socket >= 0)
            shutdown(socket, SHUT_RDWR);
        stopThreadNow();
        accumulator.stop();
        if (socket >= 0)
            close(socket);
        if (texture != nullptr)
            GfxObject::deleteUsingManager(texture);
    }

    void NetworkVideoClient::start()
    {
        if (! ready.load() || isThreadRunning())
            return;
        startThread(5);
        accumulator.start();
    }

    void NetworkVideoClient::run()
    {
        while (! isStopRequested() && ready.load())
        {
            const int readiness = Sockets::waitForReadiness(socket, true, 500);
            if (readiness != 1)
            {
                debugPrint("NetworkFormatReader: waitForReadiness timed out\n");
                // A failing wait returns at once: do not spin on it.
                if (readiness < 0)
                    Thread::sleep(10);
                continue;
            }
            // Everything queued, then back to waiting. MSG_TRUNC answers a
            // longer datagram's real length, so oversized ones are told apart.
            while (! isStopRequested() && ready.load())
            {
                const ssize_t read = recv(socket, buffer, sizeof(buffer) - 1, MSG_TRUNC);
                if (read < 0)
                {
                    if (isPassingError(errno))
                        break;
                    logPrint(logError, "NetworkVideoClient: reading port %d failed (errno %d); receiving stops",
                             int(server.getPort()), errno);
                    return;
                }
                datagramsRead.fetch_add(1, std::memory_order_relaxed);
                if (read > ssize_t(UDPNetworkVideoFrame::Size))
                {
                    debugPrint("NetworkFrameReader: bytesRead bigger than UDPNetworkVideoFrame::Size\n");
                    continue;
                }
                // An empty datagram is nothing to add, not the end.
                if (read > 0)
                    accumulator.addFrame(buffer, int(read));
            }
        }
    }

    bool NetworkVideoClient::readFrame()
    {
        std::shared_ptr<Pixels> frame = accumulator.getPixels();
        if (frame == nullptr)
            return false;
        ScopedLock hold(lock);
        width = frame->width;
        height = frame->height;
        pending = std::move(frame);
        return true;
    }

    Texture* NetworkVideoClient::getTexture()
    {
        ScopedLock hold(lock);
        if (pending != nullptr)
        {
            if (texture == nullptr)
                texture = new Texture();
            if (texture->isValid() && (texture->getWidth() != pending->width ||
                                       texture->getHeight() != pending->height || texture->getFormat() != pending->format))
                texture->release();
            if (! texture->isValid())
                texture->create(pending->width, pending->height, pending->format);
            if (texture->isValid())
                texture->update(pending->data, pending->width, pending->height);
            pending.reset();
        }
        return texture;
    }

    std::shared_ptr<Pixels> NetworkVideoClient::getPixels()
    {
        ScopedLock hold(lock);
        return pending;
    }

    int NetworkVideoClient::getWidth() const
    {
        ScopedLock hold(lock);
        return width;
    }

    int NetworkVideoClient::getHeight() const
    {
        ScopedLock hold(lock);
        return height;
    }
}
