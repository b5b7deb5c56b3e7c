#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <set>
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
    // UDP may deliver a datagram twice: each packet index of a frame is held
    // once (the first copy; a repeat is dropped), and a frame completes when
    // every index below its packet count has come. A frame once taken is
    // remembered for purgeAgeMs (at most maxTakenFrames of them), so a late
    // copy of one of its packets neither starts it again nor delivers it twice.
    //
    // Peers are not trusted: the packets waiting are bounded. Before each
    // drain, with at least two entries, packets that arrived more than
    // purgeAgeMs ago go (whatever their keys and frame times say, so a stray
    // datagram cannot outlive that nor push newer packets out). Past the
    // bound of maxPackets, in the map as in the incoming list, the earliest
    // arrivals go first, whatever their keys: a flood keyed above the stream
    // cannot push out its newest packets. A packet of a frame of more than
    // maxPackets packets, which could never complete, is dropped as it is
    // drained; the first of a run of such frames is logged.
    //
    // A frame older (by key) than the last one taken is never taken after
    // it: its packets go when it completes. A sender that starts again with
    // its clock behind (a restart, another machine) is taken again at once
    // when its frames are more than lateWindowMs older, else once nothing
    // was taken for restartAfterMs.
    class NetworkFramesAccumulator : public Thread
    {
    public:
        static constexpr double purgeAgeMs = 5000.0;
        // Two 3840x2160 RGBA frames sent uncompressed (24,431 packets each):
        // one completing while the next arrives, or beside a flood. About
        // 75 MB of packets in the map at the bound, as much again in the
        // incoming list while the accumulator is held up.
        static constexpr size_t maxPackets =
            2 * ((3840 * 2160 * 4 + UDPNetworkVideoFrame::PayloadSize - 1) / UDPNetworkVideoFrame::PayloadSize);

        // Frames older than the last taken by more than this (by key) come
        // from a sender started again; within it they are late.
        static constexpr std::uint32_t lateWindowMs = 500;
        // Older frames are taken again after this long without a frame.
        static constexpr double restartAfterMs = 1000.0;

        // Frames remembered as taken: over purgeAgeMs at 120 frames a second.
        static constexpr size_t maxTakenFrames = 1024;

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
        // two or more entries remain, every older one; then brings the map
        // back within its bound. Null when nothing completes or the frame does
        // not decode. Accumulator thread only (or the consumer while the
        // thread does not run).
        Pixels* resolvePixels();

        // Packets waiting in the map (the accumulating thread's view).
        size_t getNumPendingPackets() const;
        // Complete frames so far: handed out (published by the thread, or
        // returned by getPixels) or dropped as late.
        std::uint64_t getNumCompletedFrames() const { return completedFrames.load(); }

    protected:
        void run() override;

    private:
        struct Waiting
        {
            std::uint64_t arrival; // drained in this order
            std::shared_ptr<UDPNetworkVideoFrame> packet;
        };
        // By frame time key, then packet index (one slot per packet of a frame).
        using PacketMap = std::map<std::uint64_t, Waiting>;
        struct Taken
        {
            std::uint32_t key;
            double when; // getTickCount
        };

        static std::uint64_t slotOf(std::uint32_t key, std::uint32_t index) { return std::uint64_t(key) << 32 | index; }
        static std::uint32_t keyOf(std::uint64_t slot) { return std::uint32_t(slot >> 32); }

        void purge();
        void drain();
        std::vector<std::shared_ptr<UDPNetworkVideoFrame>> takeNewestCompleteFrame();
        void reportUnholdableFrame(const NetworkFrameHeader& header);
        PacketMap::iterator erase(PacketMap::iterator entry);

        std::deque<std::shared_ptr<UDPNetworkVideoFrame>> incoming;
        PacketMap packets;
        std::map<std::uint64_t, PacketMap::iterator> arrivals; // the map's entries by arrival
        std::uint64_t nextArrival = 0;
        std::deque<Taken> taken; // oldest first
        std::set<std::uint32_t> takenKeys;
        bool unholdableReported = false; // since the last complete frame
        std::atomic<std::uint64_t> completedFrames{0};
        bool anyTaken = false;
        std::uint32_t lastTakenKey = 0;
        double lastTakenTime = 0.0; // getTickCount
        NetworkVideoCompressor compressor;
        std::shared_ptr<Pixels> latest;
        CriticalSection inputLock;
        CriticalSection outputLock;
        mutable CriticalSection mapLock; // only so that getNumPendingPackets may look
    };
}
