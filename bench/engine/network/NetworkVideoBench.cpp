// Network video on 127.0.0.1 and in memory.
//
// Receiving: the same paced in-process sender (770-datagram frames, the
// datagrams spread evenly over each frame's interval, at 60, 120 and 240 fps)
// feeds either a bare recv loop that only counts (the baseline: one socket
// with the receiver's 64 KB buffer, select then drain) or a
// vx::NetworkVideoClient (receive thread, accumulator thread decoding, the
// benchmark thread taking frames). Counters: datagrams received per second
// of sending, the fraction lost, and frames taken.
//
// In memory: reassembling a 770-packet frame beside a memcpy of its bytes;
// splitting frames within and beyond the packet pool, with heap allocations
// per packet counted; and decoding a 1920x1080 DXT1 frame from its packets
// and uploading it into a texture (run under `taskset -c 0,1` to see the
// rate two cores give).

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include "../gfx/VXBenchGLContext.h"
#include "VXAllocationCounter.h"
#include "engine/gfx/VXTexture.h"
#include "engine/network/VXNetworkVideoClient.h"
#include "engine/network/VXNetworkVideoCompressor.h"
#include "engine/network/VXSockets.h"
#include "engine/video/codecs/VXDXTPixelsCompressor.h"
#include "engine/video/codecs/VXDummyPixelsCompressor.h"
#include "engine/video/formats/VXPixels.h"

namespace
{
    using Clock = std::chrono::steady_clock;
    using Datagram = std::vector<unsigned char>;

    constexpr int datagramsPerFrame = 770;
    constexpr int frameWidth = 1024, frameHeight = 255;
    constexpr unsigned frameBytes = frameWidth * frameHeight * 4; // 770 packets

    std::unique_ptr<vx::Pixels> picture(int width, int height, int bytesPerPixel)
    {
        auto pixels = std::make_unique<vx::Pixels>(width, height, bytesPerPixel, nullptr);
        unsigned state = 12345u;
        for (int i = 0; i < pixels->getDataSize(); ++i)
        {
            state = state * 1664525u + 1013904223u;
            const int x = (i / bytesPerPixel) % width, y = (i / bytesPerPixel) / width;
            pixels->data[i] = static_cast<unsigned char>((x + y) / 4 + ((state >> 28) & 3));
        }
        return pixels;
    }

    // The compressed frame's packets as datagrams and as received frames.
    std::vector<Datagram> datagramsOf(const vx::CompressedPixels& packed)
    {
        vx::NetworkVideoCompressor packetiser;
        std::vector<Datagram> out;
        packetiser.compressedPixelsToNetworkFrames(packed);
        out.resize(packetiser.getNumFrames());
        for (size_t i = out.size(); i-- > 0;)
        {
            const unsigned char* raw = packetiser.getLastFrame()->getDataReadOnly();
            out[i].assign(raw, raw + vx::UDPNetworkVideoFrame::Size);
            packetiser.popLastFrame();
        }
        return out;
    }

    std::vector<std::shared_ptr<vx::UDPNetworkVideoFrame>> packetsOf(const std::vector<Datagram>& datagrams)
    {
        std::vector<std::shared_ptr<vx::UDPNetworkVideoFrame>> packets;
        for (const Datagram& d : datagrams)
            packets.push_back(std::make_shared<vx::UDPNetworkVideoFrame>(d.data(), unsigned(d.size())));
        return packets;
    }

    // A Dummy frame of 770 packets, keyed 1.
    const std::vector<Datagram>& streamFrame()
    {
        static const std::vector<Datagram> datagrams = []
        {
            vx::CompressedPixels packed;
            packed.allocateData(frameBytes);
            std::memset(packed.data, 0x5A, frameBytes);
            packed.width = frameWidth;
            packed.height = frameHeight;
            packed.bytesPerPixel = 4;
            packed.type = vx::PixelsCompressor::Dummy;
            auto d = datagramsOf(packed);
            for (Datagram& x : d)
            {
                const std::uint32_t key = 1;
                std::memcpy(x.data() + 4, &key, 4);
            }
            return d;
        }();
        return datagrams;
    }

    int freePort()
    {
        const int probe = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        socklen_t length = sizeof(address);
        bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
        close(probe);
        return ntohs(address.sin_port);
    }

    // Sends frames of the stream frame, each under a new key, its datagrams
    // spread evenly over the frame interval. Answers the datagrams sent.
    long sendPaced(int port, double fps, int frames)
    {
        std::vector<Datagram> frame = streamFrame();
        const int out = socket(AF_INET, SOCK_DGRAM, 0);
        const int sendBuffer = 4 << 20;
        setsockopt(out, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof(sendBuffer));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(std::uint16_t(port));
        const double spacing = 1.0 / (fps * datagramsPerFrame);
        const auto start = Clock::now();
        long sent = 0;
        for (int f = 0; f < frames; ++f)
        {
            const std::uint32_t key = std::uint32_t(100 + f);
            for (int i = 0; i < datagramsPerFrame; ++i)
            {
                std::memcpy(frame[size_t(i)].data() + 4, &key, 4);
                const auto due = start + std::chrono::duration<double>(spacing * double(f * datagramsPerFrame + i));
                while (Clock::now() < due)
                {
                }
                if (sendto(out, frame[size_t(i)].data(), frame[size_t(i)].size(), 0,
                           reinterpret_cast<const sockaddr*>(&address), sizeof(address)) > 0)
                    ++sent;
            }
        }
        close(out);
        return sent;
    }

    constexpr double sendingSeconds = 0.5;

    void report(benchmark::State& state, long sent, long received, double seconds)
    {
        state.counters["datagramsPerSecond"] = double(received) / seconds;
        state.counters["loss"] = sent > 0 ? 1.0 - double(received) / double(sent) : 0.0;
    }

    void BM_ReceiveBareLoop(benchmark::State& state)
    {
        const double fps = double(state.range(0));
        const int frames = int(fps * sendingSeconds);
        for (auto _ : state)
        {
            const int port = freePort();
            const int in = socket(AF_INET, SOCK_DGRAM, 0);
            vx::Sockets::bindSocketToPort(in, port);
            vx::Sockets::setSocketBlockingState(in, false);
            vx::Sockets::setSocketReceiveBufferSize(in, 65536);
            std::atomic<bool> stop{false};
            std::atomic<long> received{0};
            std::thread reader([&] {
                unsigned char buffer[vx::UDPNetworkVideoFrame::Size + 1];
                while (! stop.load())
                {
                    if (vx::Sockets::waitForReadiness(in, true, 50) != 1)
                        continue;
                    while (recv(in, buffer, sizeof(buffer) - 1, MSG_TRUNC) > 0)
                        received.fetch_add(1, std::memory_order_relaxed);
                }
            });
            const auto start = Clock::now();
            const long sent = sendPaced(port, fps, frames);
            const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            stop.store(true);
            reader.join();
            close(in);
            report(state, sent, received.load(), seconds);
        }
    }

    void BM_ReceiveClient(benchmark::State& state)
    {
        const double fps = double(state.range(0));
        const int frames = int(fps * sendingSeconds);
        for (auto _ : state)
        {
            const int port = freePort();
            vx::NetworkVideoClient client(vx::NetworkVideoExtension("bench", "127.0.0.1", std::uint16_t(port)));
            client.start();
            std::atomic<bool> stop{false};
            std::atomic<long> taken{0};
            std::thread consumer([&] {
                while (! stop.load())
                {
                    if (client.readFrame())
                        taken.fetch_add(1);
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
            });
            const auto start = Clock::now();
            const long sent = sendPaced(port, fps, frames);
            const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            stop.store(true);
            consumer.join();
            report(state, sent, long(client.getNumDatagramsRead()), seconds);
            state.counters["framesTaken"] = double(taken.load());
            state.counters["framesSent"] = double(frames);
        }
    }

    BENCHMARK(BM_ReceiveBareLoop)->Arg(60)->Arg(120)->Arg(240)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
    BENCHMARK(BM_ReceiveClient)->Arg(60)->Arg(120)->Arg(240)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

    void BM_ReassembleFrame(benchmark::State& state)
    {
        const auto packets = packetsOf(streamFrame());
        vx::NetworkVideoCompressor receiver;
        for (auto _ : state)
        {
            std::unique_ptr<vx::CompressedPixels> frame(receiver.netWorkFramesToCompressedPixels(packets));
            if (frame == nullptr || frame->size != long(frameBytes))
            {
                state.SkipWithError("reassembly failed");
                break;
            }
            benchmark::DoNotOptimize(frame->data);
        }
        state.SetBytesProcessed(std::int64_t(state.iterations()) * frameBytes);
    }
    BENCHMARK(BM_ReassembleFrame)->Name("BM_ReassembleFrame/770packets");

    void BM_MemcpyFrame(benchmark::State& state)
    {
        std::vector<unsigned char> from(frameBytes, 0x5A), to(frameBytes);
        for (auto _ : state)
        {
            std::memcpy(to.data(), from.data(), frameBytes);
            benchmark::DoNotOptimize(to.data());
            benchmark::ClobberMemory();
        }
        state.SetBytesProcessed(std::int64_t(state.iterations()) * frameBytes);
    }
    BENCHMARK(BM_MemcpyFrame)->Name("BM_MemcpyFrame/770packets");

    void BM_SplitFrame(benchmark::State& state)
    {
        const long bytes = long(state.range(0)) * 1358;
        vx::CompressedPixels packed;
        packed.allocateData(bytes);
        std::memset(packed.data, 7, size_t(bytes));
        packed.width = 1358;
        packed.height = int(state.range(0));
        packed.bytesPerPixel = 1;
        vx::NetworkVideoCompressor packetiser;
        packetiser.compressedPixelsToNetworkFrames(packed); // warm: the pending list's room
        packetiser.clear();
        vx::bench::startCountingAllocations();
        for (auto _ : state)
        {
            packetiser.compressedPixelsToNetworkFrames(packed);
            packetiser.clear();
        }
        const long allocations = vx::bench::stopCountingAllocations();
        state.counters["allocationsPerPacket"] =
            double(allocations) / double(state.iterations() * std::uint64_t(state.range(0)));
        state.SetBytesProcessed(std::int64_t(state.iterations()) * bytes);
    }
    BENCHMARK(BM_SplitFrame)->Arg(400)->Arg(770);

    void BM_DXT1DecodeUpload(benchmark::State& state)
    {
        if (! vx::bench::makeBenchGLContextCurrent())
        {
            state.SkipWithError("no GL context");
            return;
        }
        const auto rgba = picture(1920, 1080, 4);
        vx::DXTPixelsCompressor dxt;
        vx::CompressedPixels packed;
        if (! dxt.compress(rgba.get(), packed))
        {
            state.SkipWithError("DXT compression failed");
            return;
        }
        std::vector<Datagram> datagrams = datagramsOf(packed);
        for (Datagram& d : datagrams)
        {
            const std::uint32_t key = 1;
            std::memcpy(d.data() + 4, &key, 4);
        }
        const auto packets = packetsOf(datagrams);
        vx::NetworkVideoCompressor receiver;
        vx::Texture texture;
        for (auto _ : state)
        {
            std::unique_ptr<vx::Pixels> frame(receiver.netWorkFramesToPixels(packets));
            if (frame == nullptr)
            {
                state.SkipWithError("decode failed");
                break;
            }
            if (! texture.isValid())
                texture.create(frame->width, frame->height, frame->format);
            texture.update(frame->data, frame->width, frame->height);
            glFinish();
        }
        texture.release();
        state.counters["packets"] = double(datagrams.size());
        state.counters["framesPerSecond"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    }
    BENCHMARK(BM_DXT1DecodeUpload)->Name("BM_DXT1DecodeUpload/1920x1080")->Unit(benchmark::kMillisecond)->UseRealTime();
}
