#include "engine/network/VXUDPNetworkVideoFrame.h"

#include <cstring>

#include "core/VXTime.h"

namespace vx
{
    namespace
    {
        template <typename T>
        void put(unsigned char* bytes, unsigned offset, T value)
        {
            unsigned char raw[sizeof(T)];
            std::memcpy(raw, &value, sizeof(T));
            for (unsigned i = 0; i < sizeof(T); ++i) // little-endian whatever the host
                bytes[offset + i] = raw[__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? i : sizeof(T) - 1 - i];
        }

        template <typename T>
        T get(const unsigned char* bytes, unsigned offset)
        {
            unsigned char raw[sizeof(T)];
            for (unsigned i = 0; i < sizeof(T); ++i)
                raw[__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? i : sizeof(T) - 1 - i] = bytes[offset + i];
            T value;
            std::memcpy(&value, raw, sizeof(T));
            return value;
        }
    }

    void NetworkFrameHeader::write(unsigned char* bytes) const
    {
        std::memcpy(bytes, magic, 4);
        put(bytes, 4, frameTimeKey);
        put(bytes, 8, width);
        put(bytes, 12, height);
        bytes[16] = pixelFormat;
        put(bytes, 17, payloadBytes);
        put(bytes, 25, payloadOffset);
        bytes[33] = compressorId;
        put(bytes, 34, packetCount);
        put(bytes, 38, packetIndex);
        put(bytes, 42, frameTime);
    }

    NetworkFrameHeader NetworkFrameHeader::read(const unsigned char* bytes)
    {
        NetworkFrameHeader header;
        std::memcpy(header.magic, bytes, 4);
        header.frameTimeKey = get<std::uint32_t>(bytes, 4);
        header.width = get<std::uint32_t>(bytes, 8);
        header.height = get<std::uint32_t>(bytes, 12);
        header.pixelFormat = bytes[16];
        header.payloadBytes = get<std::uint64_t>(bytes, 17);
        header.payloadOffset = get<std::uint64_t>(bytes, 25);
        header.compressorId = bytes[33];
        header.packetCount = get<std::uint32_t>(bytes, 34);
        header.packetIndex = get<std::uint32_t>(bytes, 38);
        header.frameTime = get<double>(bytes, 42);
        return header;
    }

    UDPNetworkVideoFrame::UDPNetworkVideoFrame() : creationTime(getTickCount())
    {
    }

    UDPNetworkVideoFrame::UDPNetworkVideoFrame(const unsigned char* data, unsigned length)
        : creationTime(getTickCount())
    {
        if (data == nullptr || length != Size)
            return;
        std::memcpy(raw, data, Size);
        header = NetworkFrameHeader::read(raw);
    }

    void UDPNetworkVideoFrame::setNewHeader(const NetworkFrameHeader& newHeader)
    {
        header = newHeader;
        header.write(raw);
    }

    bool UDPNetworkVideoFrame::validateHeader()
    {
        header = NetworkFrameHeader::read(raw);
        return validateHeader(header);
    }

    bool UDPNetworkVideoFrame::validateHeader(const NetworkFrameHeader& header)
    {
        return std::memcmp(header.magic, "vxnv", 4) == 0 && header.pixelFormat >= 2 && header.pixelFormat <= 4 &&
               header.packetCount != 0;
    }

    bool UDPNetworkVideoFrame::validateHeader(const unsigned char* data)
    {
        return data != nullptr && validateHeader(NetworkFrameHeader::read(data));
    }
}
