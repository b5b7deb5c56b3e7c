#pragma once

#include <cstdint>

namespace vx
{
    // The 50-byte header that starts every network video datagram, decoded.
    // On the wire it is packed and little-endian:
    //   0 magic "vxnv", 4 u32 frame time key, 8 u32 width, 12 u32 height,
    //   16 u8 pixel format (bytes per pixel), 17 u64 payload bytes,
    //   25 u64 payload offset, 33 u8 compressor id, 34 u32 packet count,
    //   38 u32 packet index, 42 f64 frame time (ms).
    struct NetworkFrameHeader
    {
        static constexpr unsigned Size = 50;

        char magic[4] = {0, 0, 0, 0};
        std::uint32_t frameTimeKey = 0;
        std::uint32_t width = 0;
        std::uint32_t height = 0;
        std::uint8_t pixelFormat = 0;
        std::uint64_t payloadBytes = 0;
        std::uint64_t payloadOffset = 0;
        std::uint8_t compressorId = 0;
        std::uint32_t packetCount = 0;
        std::uint32_t packetIndex = 0;
        double frameTime = 0.0;

        // Writes the 50 wire bytes.
        void write(unsigned char* bytes) const;
        // Reads 50 wire bytes (nothing checked).
        static NetworkFrameHeader read(const unsigned char* bytes);
    };

    // One datagram of network video: the 1408 raw bytes as sent, when it was
    // made, and its header decoded (what every reader consults).
    class UDPNetworkVideoFrame
    {
    public:
        static constexpr unsigned Size = 1408;
        static constexpr unsigned PayloadSize = Size - NetworkFrameHeader::Size; // 1358

        // Header all zero, raw bytes unspecified.
        UDPNetworkVideoFrame();
        // Copies and decodes a datagram of exactly Size bytes; any other
        // length leaves the header all zero (count 0, key 0).
        UDPNetworkVideoFrame(const unsigned char* data, unsigned length);

        const unsigned char* getDataReadOnly() const { return raw; }
        unsigned char* getPayLoad() { return raw + NetworkFrameHeader::Size; }
        const unsigned char* getPayLoadReadOnly() const { return raw + NetworkFrameHeader::Size; }
        const NetworkFrameHeader& getHeader() const { return header; }
        double getCreationTime() const { return creationTime; }

        // Writes the header into the raw bytes and the decoded copy.
        void setNewHeader(const NetworkFrameHeader& newHeader);

        // Magic "vxnv", pixel format 2, 3 or 4 and a packet count above 0;
        // nothing else is checked here (reassembly checks the rest). The
        // first form decodes the raw bytes into the header copy first.
        bool validateHeader();
        static bool validateHeader(const NetworkFrameHeader& header);
        // The first 50 bytes at data.
        static bool validateHeader(const unsigned char* data);

    private:
        unsigned char raw[Size];
        double creationTime;
        NetworkFrameHeader header;
    };
}
