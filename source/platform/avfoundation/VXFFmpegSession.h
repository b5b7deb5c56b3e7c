#pragma once

#include "engine/video/formats/avfoundation/VXMediaBackend.h"
#include "platform/avfoundation/VXFFmpegDecoder.h"
#include "platform/avfoundation/VXFFmpegGroupDecoder.h"
#include "platform/avfoundation/VXFFmpegPictureStore.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// A movie's decoding session: one worker thread decodes ahead of the play
// head, performs seeks and runs their completions (see VXMediaBackendFFmpeg).
namespace vx::av::ffmpeg
{
    class FFmpegSession final : public DecodingSession
    {
    public:
        FFmpegSession(std::unique_ptr<Decoder> opened, bool intraOnly, long movieLastFrame);

        ~FFmpegSession() override;

        void setPixelFormat(FourCharCode format) override;

        void seek(double seconds, double before, double after, std::function<void(double)> done) override;

        void setRate(float newRate) override;

        void setPictureWay(long from, int direction) override;

        void setFollowsHand(bool follows) override;

        void setAudioVolume(int, float) override {}

        std::shared_ptr<PixelBuffer> frameForTime(double seconds) override;

        bool isDecodingToward(double seconds) override;
        bool decodesOnTo(double seconds) override;

        std::shared_ptr<PixelBuffer> lastLandedFrame(unsigned long& count) override;

    private:
        struct Seek
        {
            double seconds, before, after;
            std::function<void(double)> done;
            // Its frame was decoded ahead and leads the queue: the decoder stays.
            bool queued = false;
            // The completions of the seeks it replaced.
            std::vector<std::function<void(double)>> replaced;
            // Frame-exact, backwards by key-frame groups (set by seek).
            bool backwards = false;
            // Landed when asked, its frame's conversion kept (queued too).
            bool fromStore = false;

            void takeCompletionsOf(Seek& other)
            {
                if (other.done)
                    replaced.push_back(std::move(other.done));
                for (auto& completion : other.replaced)
                    replaced.push_back(std::move(completion));
                other.replaced.clear();
            }

            // Some caller waits for it to land; the session's own seeks
            // (decoding again from the play head) have nobody.
            bool awaited() const { return done || ! replaced.empty(); }

            void complete(double reached)
            {
                if (done)
                    done(reached);
                for (auto& completion : replaced)
                    if (completion)
                        completion(reached);
            }
        };

        void run();

        // Whether frame lies on the picture's way to target (see
        // setPictureWay).
        bool isOnTheWay(long frame, long target) const;

        bool playsBackwards() const { return reverseBySeeks && rate < 0.0f; }

        bool playsBackwardsByGroups() const { return reverseByGroups && rate < 0.0f; }

        // Backwards by key-frame groups: playing, or paused and
        // following backward play by frame-exact seeks.
        bool usesGroups() const;

        // Served from the groups held: a seek whose frame is held lands at
        // once; otherwise the part ending at its frame is decoded, and the
        // newest seek lands as soon as its frame is. Played backwards, the
        // seek lands on the frame nearest at or above the play head once
        // the decoding reaches it: the play head moved on meanwhile.
        void seekByGroups(std::unique_lock<std::mutex>& hold, Seek next);

        // Lands the newest seek (a waiting one, else current) when the
        // frame at or above what it asks for, up to its own, is held:
        // its frame, or played backwards the play head's when that is
        // lower. The seeks it replaced and current complete with it.
        bool landHeldSeek(std::unique_lock<std::mutex>& hold, std::optional<Seek>& current, long currentTarget);

        // Decodes the part of a group ending at top; between pictures the
        // seeks asked meanwhile land once their frames are held, and
        // played backwards the queue is kept full. Ends where the decoding
        // meets the play head (or the frame the seeks landed on, or the
        // newest seek's), the frames decoded last held. Stops for a seek
        // of another kind or outside the part, for a turn, and for a play
        // head that moved up off the part.
        FFmpegGroupDecoder::Outcome decodeGroupPart(std::unique_lock<std::mutex>& hold, long top,
                                                    std::optional<Seek>* current);

        // The next frame the queue wants (below its lowest, or the one
        // nearest at or above the play head) converted from the groups
        // held; false when it wants none or none is held. While a part
        // ending at partTop is decoded up to decodedTo, a frame is next
        // only when none between comes with the rest of the part.
        bool topUpQueue(std::unique_lock<std::mutex>& hold, long partTop = -1, long decodedTo = -1);

        // The frame held that the queue wants next: the one below its
        // lowest, unless frames between (by the store's order of decoding)
        // are not held and the play head lies among them; the one nearest
        // at or above the play head when it is empty. Null when none.
        const AVFrame* nextForQueue(long& index) const;

        // The part a group's play wants next: the one ending at the play
        // head when nothing at or above it is held (or it lies below all
        // held), else the one below the parts held when there is room;
        // -1 for none.
        long groupPartDue() const;

        bool wantsGroupWork() const;

        void workOnGroups(std::unique_lock<std::mutex>& hold);

        // Backwards, where the group decoder holds nothing at or above
        // frame, or holds only frames above it, and the store keeps the
        // frame shown there: the run kept down from it, a part at most,
        // becomes the group decoder's (a turn from forward play, a drag
        // back, a loop's wrap).
        void adoptFromStore(long frame);

        // The part due below the frames held, when the store keeps it up
        // to them (decoded a moment before: forward play up to a turn, a
        // drag back), becomes the group decoder's rather than being
        // decoded again; false when it is not kept so.
        bool adoptPartBelow(long top);

        // The run the store keeps down from frame index (kept), a part at
        // most, becomes the group decoder's.
        void adoptKeptDownFrom(long index);

        // Backwards (played, or followed by seeks), the group decoder's
        // frames reach frame 0, a part and a half at most, and the movie's
        // end is not decoded yet: a quarter part ending at the last frame
        // is, for a loop's wrap (within the budget beside them).
        bool wrapIsDue() const;

        // Decodes the movie's last part (of its last key-frame group, a
        // part at most) into the store, kept there as ahead of frame 0
        // (converted when shown); the queue is kept full meanwhile, and
        // seeks asked land from what is held, or stop it, as a turn does.
        void decodeWrapAhead(std::unique_lock<std::mutex>& hold);

        // The store drops first what lies farthest behind the play head
        // (or the hand) on its way; the group decoder's frames stay (it
        // holds them there).
        void tellStoreTheWay();
        // Wakes the worker to look at what changed (under the lock).
        void tellWorker();
        // A seek landed on frame from the store: the decoder stays where it
        // is, and forward play goes on from frame (under the lock).
        void landedFromStore(long frame);

        // Before a frame-exact seek to frame decodes from its key frame,
        // for the hand: the frame nearest below it in its group that the
        // store keeps, else that key frame (decoded here), leads the queue
        // unless a later seek leaves it behind meanwhile. The lock held on
        // entry and return, let go between.
        void bringStandIn(std::unique_lock<std::mutex>& hold, long frame, unsigned long atOnce);

        // Lands a seek whose frame the store keeps at once; the decoder
        // stays where it is, and forward play goes on from the store
        // (see run). False when the frame is not kept.
        bool landKeptSeek(std::unique_lock<std::mutex>& hold, Seek& next);

        // A decoded picture's conversion, made once: the store keeps it
        // beside the picture. On the worker, the lock not held.
        std::shared_ptr<PixelBuffer> convertKept(const AVFrame& picture, long index, FourCharCode format);

        // The lock not held.
        std::shared_ptr<PixelBuffer> keepConversion(std::shared_ptr<PixelBuffer> converted);

        // Lands a frame-exact seek whose frame's conversion is kept (the
        // lock held): it leads the queue, the seeks asked before complete
        // with it, and the one under way is given up.
        bool landsAtOnce(Seek& incoming, long target);

        // After the lock was let go with landedAtOnce at atOnce: a seek
        // landed when asked meanwhile, so the landing's frame never shows
        // and the landing completes with that seek (true; false when none
        // landed so).
        bool handedOn(Seek& landing, unsigned long atOnce);

        // Playing forward, or paused and following forward play by seeks.
        bool playsForwards() const { return rate > 0.0f || (rate == 0.0f && followsOn); }

        // No seek waits that moves the decoder.
        bool onlyQueuedSeeks() const;

        // Backwards, the frame below the lowest one queued (the play
        // head's own when none is).
        long nextBackwards() const;

        // Reads the next frame backwards by an exact seek; kept only when
        // the queue still ends where it did and the frame is below it. A
        // frame that cannot be read is not tried again until the queue
        // or the play head moves.
        void readBackwards(std::unique_lock<std::mutex>& hold);

        bool wantsMore() const;
        // The movie plays (or seeks follow its play) and the memory of the
        // pictures its store will keep is not all faulted in yet: the worker
        // does that while it has nothing else to do.
        bool warmsMemory() const;

        std::unique_ptr<Decoder> decoder;
        const bool reverseBySeeks;
        // Backwards over predicted frames: by key-frame groups, held by
        // the worker alone. A part that decodes nothing is not tried
        // again until another is due.
        const bool reverseByGroups;
        // Every picture decoded, kept within one budget with the group
        // decoder's, which it holds there; the worker's alone.
        FFmpegPictureStore store;
        FFmpegGroupDecoder groups{store};
        long groupUnreadable = -1;
        // The movie's last frame (for a loop's wrap), where the part
        // decoded ahead for it begins (-1 before), and whether it was
        // decoded since the last seek or change of rate.
        const long lastFrame;
        long wrapFrom = -1;
        bool wrapTried = false;
        // A seek landed from the store: forward play goes on after
        // awayFrom, not from the decoder's picture.
        bool decoderAway = false;
        long awayFrom = -1;
        // The worker waits with nothing to do for backward play.
        bool groupsIdle = false;
        bool memoryWarm = false;
        // The worker has taken a seek that is not backwards by groups and
        // not yet finished it.
        bool forwardSeekInHand = false;
        // The last seek asked was frame-exact and backwards by groups:
        // paused, the part below the ones held is decoded ahead.
        bool followsBackwards = false;
        std::mutex lock;
        std::condition_variable changed;
        std::deque<std::shared_ptr<PixelBuffer>> queue;
        std::deque<Seek> seeks;
        FourCharCode pixelFormat = 0;
        float rate = 0.0f;
        double requested = 0.0;
        long unreadable = -1;
        // The play head's frame as the reader asked for it playing
        // backwards since the newest seek was asked (-1 for none).
        long toldSinceSeek = -1;
        // The frame the seek under way looks for (-1 for none), and the
        // frame the last seek landed on; the seek under way is given up
        // when a later one makes its frame one that will not show.
        long running = -1;
        bool runningAwaited = false;
        long landedIndex = 0;
        // The picture's way as last told (setPictureWay); -1 for none.
        long wayFrom = -1;
        int wayDirection = 0;
        // The frame the last seek to finish landed on, and the seeks landed.
        std::shared_ptr<PixelBuffer> landedFrame;
        unsigned long landings = 0;
        std::atomic<bool> abandonRunning{false};
        // The frame the seek under way has decoded up to, and the frame
        // whose decoding gives it up (-1 for none; see seek).
        std::atomic<long> runningAt{-1}, abandonAt{-1};
        // The conversions made, by frame, while the store (or anyone)
        // keeps them: a seek lands on one at once (see landsAtOnce).
        std::map<long, std::weak_ptr<PixelBuffer>> conversions;
        std::size_t conversionsSwept = 64;
        // Seeks landed when asked, counted: the worker's work begun before
        // one is passed over (its frame would go after that seek's).
        unsigned long landedAtOnce = 0;
        // A later seek's frame lies in another key-frame group than the
        // seek under way's.
        bool runningGroupLeft = false;
        // The frame of the last frame-exact seek (-1 after any other), and
        // whether that seek followed on from the one before.
        long lastExactTarget = -1;
        bool followsOn = false;
        // The way the last two frame-exact seeks went (0 for none).
        int handDirection = 0;
        // The user's hand holds the play head (setFollowsHand).
        bool followsHand = false;
        bool ended = false;
        // The worker is decoding the next frame of forward play.
        bool decodingOn = false;
        bool stopping = false;
        std::thread worker;
    };
}
