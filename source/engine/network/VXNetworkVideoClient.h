#pragma once

#include <atomic>
#include <memory>

#include "core/VXCriticalSection.h"
#include "core/VXThread.h"
#include "engine/network/VXNetworkFramesAccumulator.h"
#include "engine/network/VXNetworkVideoExtension.h"

namespace vx
{
    class Pixels;
    class Texture;

    // Receives one server's network video: a UDP socket bound to the server's
    // port, read on this thread ("NetworkVideoClient Thread"), whose datagrams
    // an accumulator thread turns into decoded frames. The consumer takes the
    // newest frame with readFrame and uploads it with getTexture on the render
    // thread. Made and shared by the server manager.
    class NetworkVideoClient : public Thread
    {
    public:
        // Binds a non-blocking IPv4 datagram socket with a 64 KB receive
        // buffer to the server's port; ready when the bind succeeded. No
        // thread runs yet.
        explicit NetworkVideoClient(const NetworkVideoPeer& server);
        explicit NetworkVideoClient(const NetworkVideoExtension& server) : NetworkVideoClient(server.getPeer()) {}
        // Stops both threads, closes the socket and hands the texture to the
        // GPU-object manager. Any thread but the client's own.
        ~NetworkVideoClient() override;

        bool isReady() const { return ready.load(); }
        const NetworkVideoPeer& getServer() const { return server; }

        // When ready: starts the receive thread and the accumulator (priority 5).
        void start();

        // Takes the accumulator's newest frame as the pending frame; false
        // when no new frame arrived.
        bool readFrame();
        // Render thread: uploads the pending frame (remaking the texture when
        // its size or format changed) and answers the texture, null before the
        // first frame. The client keeps it.
        Texture* getTexture();
        // The pending frame (empty once getTexture uploaded it).
        std::shared_ptr<Pixels> getPixels();
        // Size of the frame the last readFrame took.
        int getWidth() const;
        int getHeight() const;

        // Datagrams read so far, whole or not (counted by the receive thread).
        std::uint64_t getNumDatagramsRead() const { return datagramsRead.load(std::memory_order_relaxed); }
        // Complete frames the accumulator handed out or dropped as late.
        std::uint64_t getNumFramesCompleted() const { return accumulator.getNumCompletedFrames(); }

    protected:
        void run() override;

    private:
        NetworkFramesAccumulator accumulator;
        NetworkVideoPeer server;
        std::atomic<bool> ready{false};
        int width = 0;
        int height = 0;
        int socket = -1;
        unsigned char buffer[UDPNetworkVideoFrame::Size + 1];
        Texture* texture = nullptr;
        std::shared_ptr<Pixels> pending;
        mutable CriticalSection lock;
        std::atomic<std::uint64_t> datagramsRead{0};
    };
}
