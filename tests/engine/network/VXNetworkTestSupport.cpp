#include "VXNetworkTestSupport.h"

#include <cstring>
#include <random>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/VXThread.h"
#include "engine/gfx/VXTexture.h"
#include "engine/network/VXNetworkVideoCompressor.h"
#include "engine/video/codecs/VXDXTPixelsCompressor.h"
#include "engine/video/codecs/VXDummyPixelsCompressor.h"
#include "engine/video/codecs/VXHAPPixelsCompressor.h"
#include "engine/video/codecs/VXLZ4PixelsCompressor.h"
#include "engine/video/codecs/VXLZFPixelsCompressor.h"
#include "engine/video/codecs/VXPNGPixelsCompressor.h"

namespace vx::test
{
    std::unique_ptr<Pixels> makePicture(int width, int height, int bytesPerPixel, unsigned seed)
    {
        auto pixels = std::make_unique<Pixels>(width, height, bytesPerPixel, nullptr);
        std::mt19937 random(seed);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                for (int c = 0; c < bytesPerPixel; ++c)
                {
                    // Runs of eight equal pixels with sparse noise: every lossless member shrinks it.
                    int value = (x / 8) * (c + 1) * 9 + (y / 4) * (7 - c) + int(seed);
                    if (random() % 16 == 0)
                        value += int(random() % 64);
                    pixels->data[(size_t(y) * size_t(width) + size_t(x)) * size_t(bytesPerPixel) + size_t(c)] =
                        static_cast<unsigned char>(value);
                }
        return pixels;
    }

    std::unique_ptr<Pixels> makeDXT1Picture(int width, int height, unsigned seed)
    {
        const auto rgba = makePicture(width, height, 4, seed);
        DXTPixelsCompressor dxt;
        CompressedPixels packed;
        if (! dxt.compress(rgba.get(), packed))
            return nullptr;
        return std::unique_ptr<Pixels>(dxt.decompress(packed));
    }

    std::unique_ptr<PixelsCompressor> makeCompressor(int compressorId)
    {
        switch (compressorId)
        {
            case PixelsCompressor::Dummy: return std::make_unique<DummyPixelsCompressor>();
            case PixelsCompressor::LZF: return std::make_unique<LZFPixelsCompressor>();
            case PixelsCompressor::LZ4: return std::make_unique<LZ4PixelsCompressor>();
            case PixelsCompressor::PNG: return std::make_unique<PNGPixelsCompressor>();
            case PixelsCompressor::DXT: return std::make_unique<DXTPixelsCompressor>();
            case PixelsCompressor::HAP: return std::make_unique<HAPPixelsCompressor>();
            default: return nullptr;
        }
    }

    std::unique_ptr<CompressedPixels> compressWith(int compressorId, const Pixels& pixels)
    {
        const std::unique_ptr<PixelsCompressor> compressor = makeCompressor(compressorId);
        if (compressor == nullptr)
            return nullptr;
        auto packed = std::make_unique<CompressedPixels>();
        if (! compressor->compress(&pixels, *packed))
            return nullptr;
        return packed;
    }

    std::vector<Datagram> packetise(const CompressedPixels& pixels, std::uint32_t key)
    {
        NetworkVideoCompressor packetiser;
        std::vector<Datagram> datagrams;
        if (! packetiser.compressedPixelsToNetworkFrames(pixels))
            return datagrams;
        datagrams.resize(packetiser.getNumFrames());
        for (size_t i = datagrams.size(); i-- > 0;)
        {
            const unsigned char* raw = packetiser.getLastFrame()->getDataReadOnly();
            datagrams[i].assign(raw, raw + UDPNetworkVideoFrame::Size);
            if (key != 0)
            {
                writeU32(datagrams[i], 4, key);
                writeF64(datagrams[i], 42, double(key));
            }
            packetiser.popLastFrame();
        }
        return datagrams;
    }

    namespace
    {
        template <typename T>
        T readRaw(const Datagram& datagram, unsigned offset)
        {
            T value;
            std::memcpy(&value, datagram.data() + offset, sizeof(T)); // little-endian host
            return value;
        }

        template <typename T>
        void writeRaw(Datagram& datagram, unsigned offset, T value)
        {
            std::memcpy(datagram.data() + offset, &value, sizeof(T));
        }
    }

    std::uint32_t readU32(const Datagram& datagram, unsigned offset) { return readRaw<std::uint32_t>(datagram, offset); }
    std::uint64_t readU64(const Datagram& datagram, unsigned offset) { return readRaw<std::uint64_t>(datagram, offset); }
    double readF64(const Datagram& datagram, unsigned offset) { return readRaw<double>(datagram, offset); }
    void writeU32(Datagram& datagram, unsigned offset, std::uint32_t value) { writeRaw(datagram, offset, value); }
    void writeU64(Datagram& datagram, unsigned offset, std::uint64_t value) { writeRaw(datagram, offset, value); }
    void writeF64(Datagram& datagram, unsigned offset, double value) { writeRaw(datagram, offset, value); }

    std::string asciiName(size_t bytes)
    {
        return repeated("Kelvo Stage Server ", int(bytes / 19) + 1).substr(0, bytes);
    }

    std::string repeated(const std::string& text, int times)
    {
        std::string made;
        for (int i = 0; i < times; ++i)
            made += text;
        return made;
    }

    int findFreePort()
    {
        const int probe = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        address.sin_port = 0;
        socklen_t length = sizeof(address);
        int port = -1;
        if (bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
            getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port = ntohs(address.sin_port);
        close(probe);
        return port;
    }

    UdpSender::UdpSender(int destinationPort) : socket(::socket(AF_INET, SOCK_DGRAM, 0)), port(destinationPort)
    {
        const int bytes = 4 << 20;
        setsockopt(socket, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof(bytes));
    }

    UdpSender::~UdpSender()
    {
        if (socket >= 0)
            close(socket);
    }

    bool UdpSender::send(const unsigned char* bytes, size_t size)
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(std::uint16_t(port));
        return sendto(socket, bytes, size, 0, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) ==
               ssize_t(size);
    }

    bool UdpSender::sendFrame(const std::vector<Datagram>& datagrams, int pauseMs)
    {
        bool sent = true;
        for (const Datagram& datagram : datagrams)
            sent = send(datagram) && sent;
        if (pauseMs > 0)
            Thread::sleep(pauseMs);
        return sent;
    }
}

#include <dirent.h>
#include <fstream>
#include <pthread.h>
#include <sched.h>

namespace vx::test
{
    std::vector<int> findThreads(const std::string& prefix)
    {
        std::vector<int> found;
        DIR* tasks = opendir("/proc/self/task");
        if (tasks == nullptr)
            return found;
        while (const dirent* entry = readdir(tasks))
        {
            if (entry->d_name[0] == '.')
                continue;
            std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
            std::string name;
            std::getline(comm, name);
            if (name.compare(0, std::min(prefix.size(), size_t(15)), prefix.substr(0, 15)) == 0)
                found.push_back(std::atoi(entry->d_name));
        }
        closedir(tasks);
        return found;
    }

    bool hasEnginePriority(int tid, int level)
    {
        // May this process use round-robin? Try on a scratch thread.
        pthread_t probe;
        bool allowed = false;
        if (pthread_create(&probe, nullptr, [](void*) -> void* { return nullptr; }, nullptr) == 0)
        {
            sched_param parameters{};
            parameters.sched_priority = sched_get_priority_min(SCHED_RR);
            allowed = pthread_setschedparam(probe, SCHED_RR, &parameters) == 0;
            pthread_join(probe, nullptr);
        }
        if (! allowed)
            return true;
        const int minimum = sched_get_priority_min(SCHED_RR), maximum = sched_get_priority_max(SCHED_RR);
        sched_param parameters{};
        return sched_getscheduler(tid) == SCHED_RR && sched_getparam(tid, &parameters) == 0 &&
               parameters.sched_priority == minimum + (maximum - minimum) * level / 10;
    }
}

#include "core/VXTime.h"

namespace vx::test
{
    bool waitFor(const std::function<bool()>& condition, int timeoutMs)
    {
        const double start = getTickCount();
        while (! condition())
        {
            if (getTickCount() - start > double(timeoutMs))
                return condition();
            Thread::sleep(1);
        }
        return true;
    }
}
