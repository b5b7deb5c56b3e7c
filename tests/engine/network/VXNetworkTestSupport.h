#pragma once

// What the network video suites share: pictures, frames cut into datagrams,
// a UDP sender on 127.0.0.1 and free ports.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/network/VXUDPNetworkVideoFrame.h"
#include "engine/video/codecs/VXPixelsCompressor.h"
#include "engine/video/formats/VXPixels.h"

namespace vx::test
{
    using Datagram = std::vector<unsigned char>;

    // A deterministic picture: flat runs and gradients with sparse noise (seeded), so
    // every lossless compressor shrinks it.
    std::unique_ptr<Pixels> makePicture(int width, int height, int bytesPerPixel, unsigned seed);
    // The picture's DXT1 blocks as a DXT image (what the HAP member sends).
    std::unique_ptr<Pixels> makeDXT1Picture(int width, int height, unsigned seed);

    // The member of that id (0, 1, 2, 3, 5, 8); null for others.
    std::unique_ptr<PixelsCompressor> makeCompressor(int compressorId);
    // The picture compressed by the member of that id (0, 1, 2, 3, 5, 8).
    std::unique_ptr<CompressedPixels> compressWith(int compressorId, const Pixels& pixels);

    // The datagrams the packetiser cuts a compressed frame into, in index
    // order; the frame time key is replaced by key when it is not 0 (and the
    // frame time set to key ms), so tests choose which frame is newer.
    std::vector<Datagram> packetise(const CompressedPixels& pixels, std::uint32_t key = 0);

    // Raw header field access on datagram bytes, apart from NetworkFrameHeader.
    std::uint32_t readU32(const Datagram& datagram, unsigned offset);
    std::uint64_t readU64(const Datagram& datagram, unsigned offset);
    double readF64(const Datagram& datagram, unsigned offset);
    void writeU32(Datagram& datagram, unsigned offset, std::uint32_t value);
    void writeU64(Datagram& datagram, unsigned offset, std::uint64_t value);
    void writeF64(Datagram& datagram, unsigned offset, double value);

    // A UDP port nothing is bound to right now (bound on port 0, then closed).
    int findFreePort();

    // Service names near the length limit: readable ASCII of that many bytes,
    // and text repeated (3-byte CJK characters, 4-byte emoji).
    std::string asciiName(size_t bytes);
    std::string repeated(const std::string& text, int times);

    // Sends datagrams to 127.0.0.1:port.
    class UdpSender
    {
    public:
        explicit UdpSender(int port);
        ~UdpSender();
        UdpSender(const UdpSender&) = delete;
        UdpSender& operator=(const UdpSender&) = delete;

        bool send(const unsigned char* bytes, size_t size);
        bool send(const Datagram& datagram) { return send(datagram.data(), datagram.size()); }
        // Every datagram, then a pause of pauseMs.
        bool sendFrame(const std::vector<Datagram>& datagrams, int pauseMs = 2);

    private:
        int socket = -1;
        int port;
    };
}

namespace vx::test
{
    // The kernel ids of this process's threads whose name starts with prefix
    // (names are cut to 15 characters).
    std::vector<int> findThreads(const std::string& prefix);
    // Whether thread tid runs round-robin at the priority vx::Thread gives
    // level (0..10); when the process may not use round-robin at all, true.
    bool hasEnginePriority(int tid, int level);
}

#include <functional>

#include "support/VXScopedTestScheduler.h"

namespace vx::test
{
    // Polls condition every millisecond for at most timeoutMs (by default half
    // a minute, a fail-safe for a loaded machine); its last answer.
    bool waitFor(const std::function<bool()>& condition, int timeoutMs = 30000);
}
