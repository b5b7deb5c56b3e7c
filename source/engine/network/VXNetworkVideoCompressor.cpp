#include "engine/network/VXNetworkVideoCompressor.h"

#include <cmath>
#include <cstring>
#include <new>

#include "core/VXLog.h"
#include "core/VXTime.h"
#include "engine/gfx/VXGfxInfo.h"
#include "engine/video/codecs/VXDXTPixelsCompressor.h"
#include "engine/video/codecs/VXDummyPixelsCompressor.h"
#include "engine/video/codecs/VXHAPPixelsCompressor.h"
#include "engine/video/codecs/VXLZ4PixelsCompressor.h"
#include "engine/video/codecs/VXLZFPixelsCompressor.h"
#include "engine/video/codecs/VXPNGPixelsCompressor.h"
#include "engine/video/codecs/VXPixelsCompressor.h"
#include "engine/video/formats/VXPixels.h"

namespace vx
{
    namespace
    {
        constexpr unsigned poolSlots = 500;
        constexpr unsigned payloadSize = UDPNetworkVideoFrame::PayloadSize;

        // The member that decodes a compressor id (6 is DXT as well); -1 for
        // ids nothing here decodes (4, 7, 9 and above: UV maps do not travel).
        int decoderFor(unsigned compressorId)
        {
            switch (compressorId)
            {
                case PixelsCompressor::Dummy:
                case PixelsCompressor::LZF:
                case PixelsCompressor::LZ4:
                case PixelsCompressor::PNG:
                case PixelsCompressor::DXT:
                case PixelsCompressor::HAP: return int(compressorId);
                case 6: return PixelsCompressor::DXT;
                default: return -1;
            }
        }

        PixelsCompressor* makeDecoder(int id)
        {
            switch (id)
            {
                case PixelsCompressor::Dummy: return new DummyPixelsCompressor();
                case PixelsCompressor::LZF: return new LZFPixelsCompressor();
                case PixelsCompressor::LZ4: return new LZ4PixelsCompressor();
                case PixelsCompressor::PNG: return new PNGPixelsCompressor();
                case PixelsCompressor::DXT: return new DXTPixelsCompressor();
                case PixelsCompressor::HAP: return new HAPPixelsCompressor();
                default: return nullptr;
            }
        }

        // Format and compressor a frame may have.
        bool isDecodableFrame(const NetworkFrameHeader& header)
        {
            return UDPNetworkVideoFrame::validateHeader(header) && decoderFor(header.compressorId) >= 0;
        }

        bool agree(const NetworkFrameHeader& a, const NetworkFrameHeader& b)
        {
            return a.packetCount == b.packetCount && a.width == b.width && a.height == b.height &&
                   a.pixelFormat == b.pixelFormat && a.compressorId == b.compressorId &&
                   a.frameTimeKey == b.frameTimeKey;
        }
    }

    NetworkVideoCompressor::NetworkVideoCompressor() : pool(poolSlots, sizeof(UDPNetworkVideoFrame))
    {
    }

    NetworkVideoCompressor::~NetworkVideoCompressor()
    {
        clear();
    }

    NetworkFrameHeader NetworkVideoCompressor::networkFrameHeaderFromCompressedPixels(
        const CompressedPixels& pixels) const
    {
        const double now = getCurrentTime();
        NetworkFrameHeader header;
        std::memcpy(header.magic, "vxnv", 4);
        header.frameTimeKey = std::uint32_t(static_cast<std::int64_t>(now));
        header.width = std::uint32_t(pixels.width);
        header.height = std::uint32_t(pixels.height);
        header.pixelFormat = std::uint8_t(pixels.bytesPerPixel);
        header.payloadBytes = std::uint64_t(std::int64_t(std::int32_t(pixels.size)));
        header.payloadOffset = 0;
        header.compressorId = std::uint8_t(pixels.type);
        header.frameTime = now;
        header.packetCount = 1;
        header.packetIndex = 1;
        return header;
    }

    bool NetworkVideoCompressor::compressedPixelsToNetworkFrames(const CompressedPixels& pixels)
    {
        if (! pending.empty())
            return false;
        const long size = pixels.size > 0 && pixels.data != nullptr ? pixels.size : 0;
        double packets = std::ceil(double(size) / double(payloadSize));
        if (packets < 1.0)
            packets = 1.0;
        if (packets > double(UINT32_MAX))
        {
            logPrint(logError, "NetworkVideoCompressor: a frame of %ld bytes does not fit one packet count", size);
            return false;
        }
        const auto count = std::uint32_t(packets);

        NetworkFrameHeader header = networkFrameHeaderFromCompressedPixels(pixels);
        header.packetCount = count;
        pending.reserve(count);
        long offset = 0;
        for (std::uint32_t i = 0; i < count; ++i)
        {
            const long bytes = i + 1 < count ? long(payloadSize) : size - offset;
            header.packetIndex = i;
            header.payloadBytes = std::uint64_t(std::int64_t(std::int32_t(bytes)));
            header.payloadOffset = std::uint64_t(offset);
            UDPNetworkVideoFrame* frame = pool.construct<UDPNetworkVideoFrame>();
            if (frame == nullptr)
                frame = new UDPNetworkVideoFrame();
            frame->setNewHeader(header);
            if (bytes > 0)
                std::memcpy(frame->getPayLoad(), pixels.data + offset, size_t(bytes));
            pending.push_back(frame);
            offset += bytes;
        }
        return true;
    }

    UDPNetworkVideoFrame* NetworkVideoCompressor::getLastFrame() const
    {
        return pending.empty() ? nullptr : pending.back();
    }

    void NetworkVideoCompressor::popLastFrame()
    {
        if (pending.empty())
            return;
        releaseFrame(pending.back());
        pending.pop_back();
    }

    void NetworkVideoCompressor::clear()
    {
        while (! pending.empty())
            popLastFrame();
    }

    void NetworkVideoCompressor::releaseFrame(UDPNetworkVideoFrame* frame)
    {
        auto* slot = reinterpret_cast<unsigned char*>(frame);
        if (pool.containsObject(slot))
        {
            frame->~UDPNetworkVideoFrame();
            pool.unaquireObject(slot);
        }
        else
            delete frame;
    }

    CompressedPixels* NetworkVideoCompressor::networkFrameHeaderToCompressedPixels(const NetworkFrameHeader& header)
    {
        const unsigned long long room = (unsigned long long)(header.packetCount) * payloadSize;
        if (room > (unsigned long long)(INT32_MAX))
            return nullptr;
        auto* pixels = new (std::nothrow) CompressedPixels();
        if (pixels == nullptr)
            return nullptr;
        if (room > 0 && ! pixels->allocateData(long(room)))
        {
            delete pixels;
            return nullptr;
        }
        pixels->size = long(std::uint32_t(header.payloadBytes));
        pixels->width = int(header.width);
        pixels->height = int(header.height);
        pixels->bytesPerPixel = header.pixelFormat;
        pixels->type = header.compressorId;
        return pixels;
    }

    CompressedPixels* NetworkVideoCompressor::netWorkFramesToCompressedPixels(
        const std::vector<std::shared_ptr<UDPNetworkVideoFrame>>& frames) const
    {
        if (frames.empty() || frames.back() == nullptr)
            return nullptr;
        const NetworkFrameHeader& last = frames.back()->getHeader();
        if (last.packetCount != frames.size())
        {
            debugPrint("not enough frames");
            return nullptr;
        }
        // Nothing of a frame is allocated before its size is known to fit.
        if (! GfxInfo::fitsOneTexture(last.width, last.height))
        {
            if (last.width != refusedWidth || last.height != refusedHeight)
            {
                const int most = GfxInfo::getMaxTextureSize();
                logPrint(logWarning,
                         "NetworkVideoCompressor: dropped frame %u: its size, %u x %u, is more than this GL holds "
                         "(%d x %d at most); frames of that size are dropped",
                         last.frameTimeKey, last.width, last.height, most, most);
            }
            refusedWidth = last.width;
            refusedHeight = last.height;
            return nullptr;
        }
        refusedWidth = refusedHeight = 0;
        if (! isDecodableFrame(last))
        {
            logPrint(logWarning,
                     "NetworkVideoCompressor: dropped frame %u: %ux%u, pixel format %u, compressor %u cannot be "
                     "decoded",
                     last.frameTimeKey, last.width, last.height, last.pixelFormat, last.compressorId);
            return nullptr;
        }

        // Index order; every packet once, all describing the same frame.
        std::vector<const UDPNetworkVideoFrame*> byIndex(frames.size(), nullptr);
        for (const auto& frame : frames)
        {
            const NetworkFrameHeader* header = frame ? &frame->getHeader() : nullptr;
            if (header == nullptr || ! agree(*header, last) || header->packetIndex >= byIndex.size() ||
                byIndex[header->packetIndex] != nullptr)
            {
                logPrint(logWarning, "NetworkVideoCompressor: dropped frame %u: its %zu packets disagree",
                         last.frameTimeKey, frames.size());
                return nullptr;
            }
            byIndex[header->packetIndex] = frame.get();
        }
        // Checked and copied in one pass over the packets (each one's header
        // is a cache miss of its own): payloads must follow each other from
        // offset 0, so no byte of the frame is left unwritten or written twice.
        std::unique_ptr<CompressedPixels> pixels(networkFrameHeaderToCompressedPixels(last));
        if (pixels == nullptr)
            return nullptr;
        std::uint64_t total = 0;
        for (const UDPNetworkVideoFrame* frame : byIndex)
        {
            const NetworkFrameHeader& header = frame->getHeader();
            const std::uint32_t bytes = std::uint32_t(header.payloadBytes);
            if (bytes > payloadSize || std::uint32_t(header.payloadOffset) != total)
            {
                logPrint(logWarning,
                         "NetworkVideoCompressor: dropped frame %u: packet %u carries %u bytes at offset %u, "
                         "expected at most %u at %llu",
                         last.frameTimeKey, header.packetIndex, bytes, std::uint32_t(header.payloadOffset),
                         payloadSize, (unsigned long long)(total));
                return nullptr;
            }
            if (bytes > 0)
                std::memcpy(pixels->data + total, frame->getPayLoadReadOnly(), bytes);
            total += bytes;
        }
        pixels->size = long(total);
        return pixels.release();
    }

    Pixels* NetworkVideoCompressor::netWorkFramesToPixels(
        const std::vector<std::shared_ptr<UDPNetworkVideoFrame>>& frames)
    {
        const std::unique_ptr<CompressedPixels> packed(netWorkFramesToCompressedPixels(frames));
        if (packed == nullptr)
            return nullptr;
        const int id = decoderFor(unsigned(packed->type));
        if (kept.get() == nullptr || kept->getType() != id)
            kept.reset(makeDecoder(id));
        if (kept.get() == nullptr)
            return nullptr;
        return kept->decompress(*packed);
    }
}
