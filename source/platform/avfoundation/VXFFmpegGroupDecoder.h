#pragma once

#include <cstddef>
#include <functional>
#include <map>

extern "C"
{
    struct AVFrame;
}

// Backward play of a movie of predicted frames: each key-frame group is
// decoded once, forwards, its pictures held and handed out in reverse; the
// group before is decoded while these show. One thread at a time (the
// decoding session's worker).
namespace vx::av
{
    // What the group decoder reads with: the session's demuxer and decoder.
    class PictureSource
    {
    public:
        virtual ~PictureSource() = default;
        // Jumps to a random-access picture at or before frame and decodes it
        // into hand; false when none decodes (or a newer request gave it up).
        virtual bool seekToRandomAccess(long frame) = 0;
        // The next picture in presentation order into hand; false at the end
        // (or when given up).
        virtual bool nextPicture() = 0;
        // The picture in hand, and its frame.
        virtual AVFrame* picture() = 0;
        virtual long pictureIndex() const = 0;
    };

    class FFmpegPictureStore;

    // The decoded pictures held for backward play: at most a budget's bytes,
    // so a group is decoded in parts, from its key frame each time, where it
    // does not fit twice (the part shown and the part below decoded ahead).
    class FFmpegGroupDecoder
    {
    public:
        // The budget of a movie's held pictures: at 1080p (3.1 MB a picture)
        // parts of 32 frames; at 720p of 72.
        static constexpr std::size_t defaultBudgetBytes = std::size_t{200} << 20;

        explicit FFmpegGroupDecoder(std::size_t budgetBytes = defaultBudgetBytes);
        // Holding its pictures in the movie's store, shared, within the
        // store's budget (the store outlives it).
        explicit FFmpegGroupDecoder(FFmpegPictureStore& shared);
        ~FFmpegGroupDecoder();
        FFmpegGroupDecoder(const FFmpegGroupDecoder&) = delete;
        FFmpegGroupDecoder& operator=(const FFmpegGroupDecoder&) = delete;

        bool isEmpty() const { return held.empty(); }
        // The lowest and highest frame held; -1 when none.
        long lowest() const;
        long highest() const;
        // The held picture nearest at or above frame, and the highest held
        // below frame; null when none, with index -1.
        const AVFrame* atOrAbove(long frame, long& index) const;
        const AVFrame* below(long frame, long& index) const;
        // Holds a new reference to a picture decoded elsewhere as frame; the
        // caller keeps the frames held one unbroken run.
        void adopt(long frame, const AVFrame& picture);
        // Frames a part holds.
        std::size_t partFrames() const;
        // Lets go of the pictures above the one nearest at or above frame
        // (backwards they are passed), or all of them.
        void dropAbove(long frame);
        void clear();

        // The first frame a part ending at top holds.
        long firstKeptOf(long top) const { return top - static_cast<long>(partFrames()) + 1; }
        // The frame the next part ends at: below the lowest held, when what
        // is held leaves room for a part beside it (-1 when none is due, or
        // at the movie's start).
        long nextPartTop() const;

        enum class Outcome
        {
            done,
            stopped,
            failed
        };
        // What each picture's frame told to decodePart's caller leads to:
        // decoding on, the part ending at that frame (done), or stopping.
        enum class Step
        {
            more,
            last,
            stop
        };
        // Decodes the part ending at frame top at most, from the
        // random-access picture at or before it on: each picture is held as
        // it comes, the lowest of them let go beyond a part's frames, and
        // then told to each, which may end the part there (what is held
        // above that frame is then let go). Whenever it ends, the last frames
        // decoded, a part at most, stay held. Failed when no picture at or
        // below top decodes.
        Outcome decodePart(PictureSource& source, long top, const std::function<Step(long frame)>& each);

        // Bytes held now, and the most held at once (counted in the store
        // too, when one is shared).
        std::size_t heldBytes() const { return bytes; }
        std::size_t peakHeldBytes() const { return peakBytes; }

    private:
        // Holds picture as frame, decoded straight after previous (-1: not
        // known); in the store too, sharing the one kept there.
        void hold(long frame, const AVFrame& picture, long previous);
        std::map<long, AVFrame*>::iterator letGo(std::map<long, AVFrame*>::iterator picture);
        void dropBelow(long frame);
        void release(long frame);

        std::map<long, AVFrame*> held;
        FFmpegPictureStore* store = nullptr;
        std::size_t budget;
        // Bytes of one picture, from the first one held (0 before).
        std::size_t pictureBytes = 0;
        std::size_t bytes = 0, peakBytes = 0;
    };
}
