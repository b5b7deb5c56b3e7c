#include "engine/network/VXNetworkFramesAccumulator.h"

#include "core/VXLog.h"
#include "core/VXScopedLock.h"
#include "core/VXTime.h"
#include "engine/video/formats/VXPixels.h"

namespace vx
{
    NetworkFramesAccumulator::NetworkFramesAccumulator() : Thread("Unnamed Vexkit Thread")
    {
    }

    NetworkFramesAccumulator::~NetworkFramesAccumulator()
    {
        stopThreadNow(2000);
    }

    void NetworkFramesAccumulator::start()
    {
        if (! isThreadRunning())
            startThread(5);
    }

    void NetworkFramesAccumulator::stop()
    {
        stopThreadNow(2000);
    }

    void NetworkFramesAccumulator::addFrame(const unsigned char* data, int length)
    {
        if (data == nullptr || length != int(UDPNetworkVideoFrame::Size) || ! UDPNetworkVideoFrame::validateHeader(data))
            return;
        auto frame = std::make_shared<UDPNetworkVideoFrame>(data, unsigned(length));
        std::shared_ptr<UDPNetworkVideoFrame> dropped; // freed outside the lock
        ScopedLock hold(inputLock);
        // A stalled accumulator must not let a flood grow without end; the
        // earliest arrival gives way, never the newest.
        if (incoming.size() >= maxPackets)
        {
            dropped = std::move(incoming.front());
            incoming.pop_front();
        }
        incoming.push_back(std::move(frame));
    }

    std::shared_ptr<Pixels> NetworkFramesAccumulator::getPixels()
    {
        if (isThreadRunning())
        {
            ScopedLock hold(outputLock);
            return std::move(latest);
        }
        return std::shared_ptr<Pixels>(resolvePixels());
    }

    size_t NetworkFramesAccumulator::getNumPendingPackets() const
    {
        ScopedLock hold(mapLock);
        return packets.size();
    }

    NetworkFramesAccumulator::PacketMap::iterator NetworkFramesAccumulator::erase(PacketMap::iterator entry)
    {
        arrivals.erase(entry->second.arrival);
        return packets.erase(entry);
    }

    void NetworkFramesAccumulator::purge()
    {
        if (packets.size() < 2)
            return;
        // By arrival, not by the senders' frame times: one datagram from
        // another clock (a restarted sender, anyone on the port) would
        // otherwise make every packet of the stream look stale, or stay for
        // ever itself. Arrival order is creation order, so the stale ones
        // lead.
        const double oldestKept = getTickCount() - purgeAgeMs;
        while (! arrivals.empty() && arrivals.begin()->second->second.packet->getCreationTime() < oldestKept)
            erase(arrivals.begin()->second);
    }

    void NetworkFramesAccumulator::reportUnholdableFrame(const NetworkFrameHeader& header)
    {
        if (unholdableReported)
            return;
        unholdableReported = true;
        logPrint(logWarning,
                 "NetworkFramesAccumulator: frame %u (%ux%u, pixel format %u, compressor %u) of %u packets cannot be "
                 "held: at most %zu packets wait; such frames are dropped",
                 header.frameTimeKey, header.width, header.height, header.pixelFormat, header.compressorId,
                 header.packetCount, maxPackets);
    }

    void NetworkFramesAccumulator::drain()
    {
        std::deque<std::shared_ptr<UDPNetworkVideoFrame>> drained;
        {
            ScopedLock hold(inputLock);
            drained.swap(incoming);
        }
        const std::uint64_t firstArrival = nextArrival;
        nextArrival += drained.size();
        // Latest first, as they would be taken off the end one by one (equal
        // keys keep that order in the map).
        for (size_t i = drained.size(); i-- > 0;)
        {
            const NetworkFrameHeader& header = drained[i]->getHeader();
            if (header.packetCount > maxPackets)
            {
                reportUnholdableFrame(header);
                continue;
            }
            const auto entry =
                packets.emplace(std::uint64_t(header.frameTimeKey), Waiting{firstArrival + i, std::move(drained[i])});
            arrivals.emplace(firstArrival + i, entry);
        }
    }

    std::vector<std::shared_ptr<UDPNetworkVideoFrame>> NetworkFramesAccumulator::takeNewestCompleteFrame()
    {
        std::vector<std::shared_ptr<UDPNetworkVideoFrame>> frame;
        // The newest key whose packet count is reached: one walk down the map,
        // counting each key's run.
        std::uint64_t complete = 0;
        bool found = false;
        for (auto entry = packets.rbegin(); entry != packets.rend() && ! found;)
        {
            const std::uint64_t key = entry->first;
            size_t count = 0;
            const Waiting* first = nullptr; // in map order
            for (; entry != packets.rend() && entry->first == key; ++entry)
            {
                ++count;
                first = &entry->second;
            }
            if (count == first->packet->getHeader().packetCount)
            {
                complete = key;
                found = true;
            }
        }
        if (! found || complete == 0)
            return frame;

        unholdableReported = false;
        const auto range = packets.equal_range(complete);
        for (auto entry = range.first; entry != range.second;)
        {
            frame.push_back(entry->second.packet);
            entry = erase(entry);
        }
        if (packets.size() >= 2)
            for (auto entry = packets.begin(); entry != packets.end() && entry->first < complete;)
                entry = erase(entry);
        return frame;
    }

    Pixels* NetworkFramesAccumulator::resolvePixels()
    {
        std::vector<std::shared_ptr<UDPNetworkVideoFrame>> frame;
        {
            ScopedLock mapHold(mapLock);
            purge();
            drain();
            // Bounded only after the search, so that a frame whose last packet
            // just came is not cut short by its own first ones going.
            frame = takeNewestCompleteFrame();
            while (packets.size() > maxPackets)
                erase(arrivals.begin()->second);
        }
        if (frame.empty())
            return nullptr;
        return compressor.netWorkFramesToPixels(frame);
    }

    void NetworkFramesAccumulator::run()
    {
        while (! isStopRequested())
        {
            std::shared_ptr<Pixels> decoded(resolvePixels());
            if (decoded == nullptr)
            {
                Thread::sleep(2);
                continue;
            }
            std::shared_ptr<Pixels> replaced;
            {
                ScopedLock hold(outputLock);
                replaced = std::move(latest);
                latest = std::move(decoded);
            }
        }
    }
}
