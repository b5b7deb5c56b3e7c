#include "engine/network/VXNetworkFramesAccumulator.h"

#include <iterator>

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
        ScopedLock hold(inputLock);
        // A stalled accumulator must not let a flood grow without end.
        if (incoming.size() >= maxPackets)
            return;
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

    void NetworkFramesAccumulator::purge()
    {
        if (packets.size() < 2)
            return;
        // By arrival, not by the senders' frame times: one datagram from
        // another clock (a restarted sender, anyone on the port) would
        // otherwise make every packet of the stream look stale, or stay for
        // ever itself.
        const double oldestKept = getTickCount() - purgeAgeMs;
        for (auto entry = packets.begin(); entry != packets.end();)
        {
            if (entry->second->getCreationTime() < oldestKept)
                entry = packets.erase(entry);
            else
                ++entry;
        }
    }

    Pixels* NetworkFramesAccumulator::resolvePixels()
    {
        std::vector<std::shared_ptr<UDPNetworkVideoFrame>> frame;
        {
            ScopedLock mapHold(mapLock);
            purge();

            std::vector<std::shared_ptr<UDPNetworkVideoFrame>> drained;
            {
                ScopedLock hold(inputLock);
                drained.swap(incoming);
            }
            // Latest first, as they would be taken off the end one by one.
            for (auto packet = drained.rbegin(); packet != drained.rend(); ++packet)
                packets.emplace(std::uint64_t((*packet)->getHeader().frameTimeKey), std::move(*packet));
            while (packets.size() > maxPackets)
                packets.erase(packets.begin()->first);

            if (packets.empty())
                return nullptr;

            // The newest key whose packet count is reached.
            std::uint64_t complete = 0;
            bool found = false;
            for (auto entry = packets.rbegin(); entry != packets.rend();)
            {
                const std::uint64_t key = entry->first;
                const auto range = packets.equal_range(key);
                const auto count = size_t(std::distance(range.first, range.second));
                if (count == range.first->second->getHeader().packetCount)
                {
                    complete = key;
                    found = true;
                    break;
                }
                entry = std::make_reverse_iterator(range.first);
            }
            if (! found || complete == 0)
                return nullptr;

            const auto range = packets.equal_range(complete);
            for (auto entry = range.first; entry != range.second; ++entry)
                frame.push_back(entry->second);
            packets.erase(range.first, range.second);
            if (packets.size() >= 2)
                packets.erase(packets.begin(), packets.lower_bound(complete));
        }
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
