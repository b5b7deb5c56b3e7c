#pragma once

#include "engine/video/formats/avfoundation/VXCoreMedia.h"

#include <algorithm>
#include <cstddef>
#include <map>
#include <memory>

extern "C"
{
    struct AVFrame;
}

// The decoded pictures of one movie kept beside its decoding session, with
// their conversions once made, ready to upload: whatever the decoder decodes
// (forwards, for a seek, for a drag, for backward play) is kept up to a
// budget of bytes, so a frame asked for again shows without decoding. The
// group decoder's pictures are kept here too, shared, so the budget counts
// every picture a movie keeps once. One thread at a time (the decoding
// session's worker).
namespace vx::av
{
    // What a decoded picture keeps in memory: its buffers, else the size of
    // its planes; at least 1.
    std::size_t bytesOfPicture(const AVFrame& picture);

    class FFmpegPictureStore
    {
    public:
        // The budget of a movie's decoded pictures and their conversions,
        // the group decoder's included.
        static constexpr std::size_t defaultBudgetBytes = std::size_t{200} << 20;

        // With the budget of new stores (defaultBudgetBytes unless set).
        FFmpegPictureStore();
        explicit FFmpegPictureStore(std::size_t budgetBytes);
        ~FFmpegPictureStore();
        FFmpegPictureStore(const FFmpegPictureStore&) = delete;
        FFmpegPictureStore& operator=(const FFmpegPictureStore&) = delete;

        // Keeps a new reference to picture as frame, decoded straight after
        // frame previous (-1: not known), then drops pictures until the
        // budget holds (the one just kept too, when it is the one to go;
        // held ones never).
        void keep(long frame, const AVFrame& picture, long previous);

        // The picture kept as frame; null when none.
        const AVFrame* find(long frame) const;
        // Its conversion into pixelFormat, when kept; null otherwise.
        std::shared_ptr<PixelBuffer> findConverted(long frame, FourCharCode pixelFormat) const;
        // Keeps the conversion of the picture kept as frame (nothing when
        // that is not kept), in the budget too.
        void keepConverted(long frame, std::shared_ptr<PixelBuffer> converted);
        // The picture nearest at or above frame, with its frame (-1 for none).
        const AVFrame* atOrAbove(long frame, long& index) const;
        // The picture nearest at or below frame, with its frame (-1 for none).
        const AVFrame* atOrBelow(long frame, long& index) const;
        // The picture decoded straight after frame, kept; null when not kept
        // or when what follows frame in the store was decoded apart from it.
        const AVFrame* after(long frame, long& index) const;
        // The frame decoded straight before frame, when both are kept; -1
        // otherwise.
        long keptBefore(long frame) const;
        // Whether the picture shown at frame going backwards (the one
        // nearest at or above it, with none of the movie's between) is kept.
        bool coversDownwards(long frame) const;

        // Where the play head or hand is and the way it goes (1 forwards, -1
        // backwards, 0 either): pictures behind it go first, the farthest
        // first, then those farthest ahead. Going forwards, pictures ahead
        // beyond the run decoded on from the play head's (an earlier pass's)
        // go with those behind, by distance. Going backwards, pictures from
        // wrapFrom up (the movie's end, decoded ahead for a loop's wrap;
        // -1 for none) count as ahead, beyond frame 0.
        void setWay(long head, int direction, long wrapFrom = -1);
        // For a holder beside the store (the group decoder), which shares
        // the picture kept: keeps picture as frame, as keep does, unless one
        // is kept already; it stays whatever the budget until let go. The
        // picture kept, or null when none could be.
        const AVFrame* keepHeld(long frame, const AVFrame& picture, long previous);
        // The holder let go of frame: it may be dropped again.
        void letGo(long frame);

        // Drops every picture, held ones too.
        void clear();
        bool isEmpty() const { return kept.empty(); }
        std::size_t budgetBytes() const { return budget; }
        // Bytes of the pictures and conversions kept, each once.
        std::size_t heldBytes() const { return pictures + conversions; }
        // What the budget holds: the conversions kept and the pictures
        // counted at the most kept at once (the decoder's pool keeps their
        // memory for its next pictures); and the most of that at once.
        std::size_t footprint() const { return std::max(pictures, picturesMost) + conversions; }
        std::size_t peakHeldBytes() const { return peakBytes; }

        // The footprints of every store now, and the most at once since the
        // last reset; from any thread.
        static std::size_t heldByAllStores();
        static std::size_t mostHeldByAllStores();
        static void resetMostHeldByAllStores();
        // The budget of stores made from now on (tests that fill it).
        static void setBudgetOfNewStores(std::size_t budgetBytes);

    private:
        struct Kept
        {
            AVFrame* picture;
            long previous;
            // The picture's, without its conversion.
            std::size_t bytes;
            std::shared_ptr<PixelBuffer> converted;
            // A holder beside the store shares it.
            bool held = false;
        };
        const AVFrame* add(long frame, const AVFrame& picture, long previous, bool held);
        // The top of the run decoded on unbroken from the play head's picture.
        long wayEnd() const;
        // The order pictures go in: the larger, the sooner.
        std::pair<int, long> dropRank(long frame, long aheadTo) const;
        void trim();
        // Tells heldByAllStores what this store holds now.
        void publish();

        std::map<long, Kept> kept;
        std::size_t budget, pictures = 0, conversions = 0, picturesMost = 0, peakBytes = 0, published = 0;
        long head = 0, wrapFrom = -1, highest = -1;
        int direction = 0;
    };
}
