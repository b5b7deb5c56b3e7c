#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "core/VXCriticalSection.h"
#include "core/VXThread.h"
#include "engine/network/VXNetworkVideoCompressor.h"

namespace vx
{
    class Pixels;

    // Groups the datagrams of network video by frame and decodes the newest
    // complete frame, on its own thread (or, while that does not run, in
    // getPixels). addFrame is called by the receive thread, getPixels by the
    // consumer; the two never wait for a decode.
    //
    // Peers are not trusted: the packets waiting are bounded. Before each
    // drain, with at least two entries, packets that arrived more than
    // purgeAgeMs ago go (whatever their keys and frame times say, so a stray
    // datagram cannot outlive that nor push newer packets out); the map never
    // holds more than maxPackets packets (lowest keys go first), nor the
    // incoming list.
    class NetworkFramesAccumulator : public Thread
    {
    public:
        static constexpr double purgeAgeMs = 5000.0;
        static constexpr size_t maxPackets = 20000;

        NetworkFramesAccumulator();
        // Stops the thread (2000 ms bound).
        ~NetworkFramesAccumulator() override;

        // Priority 5.
        void start();
        void stop();

        // Takes a datagram whose header validates and which is a whole packet
        // (UDPNetworkVideoFrame::Size bytes); ignores anything else.
        void addFrame(const unsigned char* data, int length);

        // While the thread runs: the newest decoded frame since the last call,
        // moved out (empty when none). Otherwise resolves now.
        std::shared_ptr<Pixels> getPixels();

        // Drains the incoming packets into the map and decodes the newest
        // complete frame (key 0 never counts), removing its packets and, when
        // two or more entries remain, every older one. Null when nothing
        // completes or the frame does not decode. Accumulator thread only (or
        // the consumer while the thread does not run).
        Pixels* resolvePixels();

        // Packets waiting in the map (the accumulating thread's view).
        size_t getNumPendingPackets() const;

    protected:
        void run() override;

    private:
        void purge();

        std::vector<std::shared_ptr<UDPNetworkVideoFrame>> incoming;
        std::multimap<std::uint64_t, std::shared_ptr<UDPNetworkVideoFrame>> packets;
        NetworkVideoCompressor compressor;
        std::shared_ptr<Pixels> latest;
        CriticalSection inputLock;
        CriticalSection outputLock;
        mutable CriticalSection mapLock; // only so that getNumPendingPackets may look
    };
}
