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
        std::shared_ptr<Pixels> resolved(resolvePixels());
        if (resolved != nullptr)
            completedFrames.fetch_add(1);
        return resolved;
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
        const double oldestKept = getTickCount() - purgeAgeMs;
        while (! taken.empty() && taken.front().when < oldestKept)
        {
            takenKeys.erase(taken.front().key);
            taken.pop_front();
        }
        if (packets.size() < 2)
            return;
        // By arrival, not by the senders' frame times: one datagram from
        // another clock (a restarted sender, anyone on the port) would
        // otherwise make every packet of the stream look stale, or stay for
        // ever itself. Arrival order is creation order, so the stale ones
        // lead.
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
        // In arrival order, so that of two copies of a packet the first stays.
        for (size_t i = 0; i < drained.size(); ++i)
        {
            const NetworkFrameHeader& header = drained[i]->getHeader();
            if (header.packetCount > maxPackets)
            {
                reportUnholdableFrame(header);
                continue;
            }
            // No place in its frame, or a late copy of a frame already taken.
            if (header.packetIndex >= header.packetCount || takenKeys.count(header.frameTimeKey) != 0)
                continue;
            const auto [entry, added] = packets.try_emplace(slotOf(header.frameTimeKey, header.packetIndex),
                                                            Waiting{firstArrival + i, std::move(drained[i])});
            if (added)
                arrivals.emplace(firstArrival + i, entry);
        }
    }

    std::vector<std::shared_ptr<UDPNetworkVideoFrame>> NetworkFramesAccumulator::takeNewestCompleteFrame()
    {
        std::vector<std::shared_ptr<UDPNetworkVideoFrame>> frame;
        // The newest key all of whose packets are in: one walk down the map,
        // counting each key's run. Its slots are distinct indexes, so when
        // the highest is below the packet count and there are that many of
        // them, every index is there.
        std::uint32_t complete = 0;
        bool found = false;
        for (auto entry = packets.rbegin(); entry != packets.rend() && ! found;)
        {
            const std::uint32_t key = keyOf(entry->first);
            const std::uint32_t highestIndex = std::uint32_t(entry->first);
            size_t count = 0;
            const Waiting* first = nullptr; // in map order
            for (; entry != packets.rend() && keyOf(entry->first) == key; ++entry)
            {
                ++count;
                first = &entry->second;
            }
            const std::uint32_t packetCount = first->packet->getHeader().packetCount;
            if (count == packetCount && highestIndex < packetCount)
            {
                complete = key;
                found = true;
            }
        }
        if (! found || complete == 0)
            return frame;

        const std::uint64_t firstSlot = slotOf(complete, 0);
        const auto end = packets.upper_bound(slotOf(complete, ~std::uint32_t(0)));
        // Late: older than the frame shown, and no sender started again.
        const double now = getTickCount();
        if (anyTaken && complete < lastTakenKey && lastTakenKey - complete <= lateWindowMs &&
            now - lastTakenTime < restartAfterMs)
        {
            for (auto entry = packets.lower_bound(firstSlot); entry != end;)
                entry = erase(entry);
            completedFrames.fetch_add(1);
            return frame;
        }
        anyTaken = true;
        lastTakenKey = complete;
        lastTakenTime = now;

        unholdableReported = false;
        if (takenKeys.insert(complete).second)
            taken.push_back(Taken{complete, getTickCount()});
        if (taken.size() > maxTakenFrames)
        {
            takenKeys.erase(taken.front().key);
            taken.pop_front();
        }
        for (auto entry = packets.lower_bound(firstSlot); entry != end;)
        {
            frame.push_back(entry->second.packet);
            entry = erase(entry);
        }
        if (packets.size() >= 2)
            for (auto entry = packets.begin(); entry != packets.end() && entry->first < firstSlot;)
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
            completedFrames.fetch_add(1);
        }
    }
}
