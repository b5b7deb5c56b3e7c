#pragma once

#include <memory>
#include <vector>

#include "core/VXPoolAllocator.h"
#include "core/VXScopedPointer.h"
#include "engine/network/VXUDPNetworkVideoFrame.h"

namespace vx
{
    class CompressedPixels;
    class Pixels;
    class PixelsCompressor;

    // Cuts compressed frames into datagrams (the sender's side) and puts the
    // datagrams of one frame back together and decodes them (the receiver's).
    // One thread at a time; the packet pool is safe across threads.
    class NetworkVideoCompressor
    {
    public:
        NetworkVideoCompressor();
        // Frees pending packets, the pool, then the kept compressor.
        ~NetworkVideoCompressor();
        NetworkVideoCompressor(const NetworkVideoCompressor&) = delete;
        NetworkVideoCompressor& operator=(const NetworkVideoCompressor&) = delete;

        // The frame-level header: time now, the frame's description, the whole
        // size as payload bytes, offset 0, count 1 and index 1 (the split
        // replaces them per packet).
        NetworkFrameHeader networkFrameHeaderFromCompressedPixels(const CompressedPixels& pixels) const;

        // Cuts the frame into ceil(size / 1358) packets (at least one), in
        // index order, taken from the pool (from the heap once it is
        // exhausted). False, doing nothing, while packets of an earlier split
        // are pending, or for sizes a packet count cannot describe.
        bool compressedPixelsToNetworkFrames(const CompressedPixels& pixels);
        size_t getNumFrames() const { return pending.size(); }
        // The pending packet with the highest index; null when none.
        UDPNetworkVideoFrame* getLastFrame() const;
        // Releases getLastFrame() (to the pool when it came from there).
        void popLastFrame();
        // Releases every pending packet, last first.
        void clear();

        // A new CompressedPixels (the caller owns it) described by the header,
        // with room for count x 1358 bytes; null for sizes that do not fit.
        static CompressedPixels* networkFrameHeaderToCompressedPixels(const NetworkFrameHeader& header);

        // Reassembles one frame from its packets in any order. Packets come
        // from peers, so the set is refused (null) unless it holds exactly
        // count packets, indices 0 to count - 1 once each, every packet agreeing
        // on count, size, format and compressor, a size that fits one texture
        // of this GL (each side 1 to its maximum texture size; one line for a
        // run of frames refused at one size),
        // a compressor id that decodes here (0, 1, 2, 3, 5, 6, 8), and payloads
        // of at most 1358 bytes that follow each other without gap or overlap
        // from offset 0 in index order. A set whose count differs from its size
        // is simply incomplete. The caller owns the result.
        CompressedPixels* netWorkFramesToCompressedPixels(
            const std::vector<std::shared_ptr<UDPNetworkVideoFrame>>& frames) const;

        // Reassembles and decodes with the compressor the frame names; the
        // compressor is kept while frames keep naming it. Null when the set is
        // refused or does not decode. The caller owns the result.
        Pixels* netWorkFramesToPixels(const std::vector<std::shared_ptr<UDPNetworkVideoFrame>>& frames);

        // The compressor kept from the last decoded frame; null before one.
        const PixelsCompressor* getKeptCompressor() const { return kept.get(); }

    private:
        void releaseFrame(UDPNetworkVideoFrame* frame);

        ScopedPointer<PixelsCompressor> kept;
        // The size of the frames refused since the last that fitted, told once.
        mutable std::uint32_t refusedWidth = 0, refusedHeight = 0;
        std::vector<UDPNetworkVideoFrame*> pending;
        PoolAllocator pool;
    };
}
