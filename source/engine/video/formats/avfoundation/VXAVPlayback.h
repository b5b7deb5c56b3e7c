#pragma once

#include "engine/video/formats/avfoundation/VXMediaBackend.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The media framework's playback objects as the movie readers use them:
// asset and tracks, player item, player, video output, image generator.
// Implemented in source/platform/avfoundation/ over the current MediaBackend.
namespace vx::av
{
    struct AssetTrack
    {
        double naturalWidth = 0.0, naturalHeight = 0.0;
        float nominalFrameRate = 0.0f;
        // Exact, as the backend gives it; else 1 / nominalFrameRate to the
        // nanosecond. Invalid without a usable rate.
        CMTime nominalFrameDuration;
        std::vector<FormatDescription> formatDescriptions;
    };

    class Asset
    {
    public:
        // An asset for the file; it answers no tracks and is neither readable
        // nor playable when the backend cannot open it.
        static std::shared_ptr<Asset> assetWithPath(const std::string& path);

        std::vector<AssetTrack> videoTracks() const;
        int audioTrackCount() const { return facts.audioTrackCount; }
        bool isReadable() const { return facts.readable; }
        bool isPlayable() const { return facts.playable; }
        CMTime getDuration() const;
        double getDurationSeconds() const { return facts.durationSeconds; }
        const AssetFacts& getFacts() const { return facts; }
        // Nothing loads lazily here; kept for the readers' teardown order.
        void cancelLoading() {}

        std::shared_ptr<MediaAsset> getMedia() const { return media; }

    private:
        std::shared_ptr<MediaAsset> media;
        AssetFacts facts;
    };

    class Player;
    class PlayerItemVideoOutput;

    class PlayerItem
    {
    public:
        enum Status
        {
            statusUnknown = 0,
            statusReadyToPlay = 1,
            statusFailed = 2
        };

        explicit PlayerItem(std::shared_ptr<Asset> asset);
        ~PlayerItem();
        PlayerItem(const PlayerItem&) = delete;
        PlayerItem& operator=(const PlayerItem&) = delete;

        std::shared_ptr<Asset> getAsset() const { return asset; }
        Status getStatus() const { return session ? statusReadyToPlay : statusFailed; }
        bool canPlayReverse() const { return asset->getFacts().canPlayReverse; }
        bool canStepForward() const { return asset->getFacts().canStepForward; }
        bool canPlayFastForward() const { return asset->getFacts().canPlayFastForward; }

        // Volume of one audio track from time zero.
        void setAudioMixVolume(int audioTrack, float volume);

        void addOutput(PlayerItemVideoOutput* output);
        void removeOutput(PlayerItemVideoOutput* output);

        // The did-play-to-end notification: one observer; null stops
        // observing and waits for a running call.
        void setDidPlayToEndObserver(std::function<void()> observer);
        void postDidPlayToEnd();

        DecodingSession* getSession() const { return session.get(); }
        // The player playing the item; set by the player.
        void setPlayer(Player* itemPlayer) { player.store(itemPlayer); }
        Player* getPlayer() const { return player.load(); }

    private:
        std::atomic<Player*> player{nullptr};
        std::shared_ptr<Asset> asset;
        std::unique_ptr<DecodingSession> session;
        std::recursive_mutex observerLock;
        std::function<void()> didPlayToEnd;
        std::vector<PlayerItemVideoOutput*> outputs;
    };

    // Plays one item. Its time runs on the host clock: the time anchored at
    // the last rate change or seek plus rate x the host time passed since,
    // held within the item's duration. Any thread. While it plays forward a
    // thread of its own posts the end of the item when the item ends, whether
    // or not anyone asks for the time (with a clock set by hand, only a
    // caller asking for the time finds the end).
    class Player
    {
    public:
        enum Status
        {
            statusUnknown = 0,
            statusReadyToPlay = 1,
            statusFailed = 2
        };
        enum ActionAtItemEnd
        {
            actionAdvance = 0,
            actionPause = 1,
            actionNone = 2
        };

        static std::shared_ptr<Player> playerWithPlayerItem(std::shared_ptr<PlayerItem> item);
        ~Player();
        Player(const Player&) = delete;
        Player& operator=(const Player&) = delete;

        std::shared_ptr<PlayerItem> getCurrentItem() const { return item; }
        Status getStatus() const;
        void setActionAtItemEnd(ActionAtItemEnd action);

        float getRate() const;
        void setRate(float rate);
        void play() { setRate(1.0f); }
        void pause() { setRate(0.0f); }
        CMTime currentTime();
        double currentSeconds();
        // The time shown at a host time.
        double secondsAtHostTime(double hostSeconds);

        // The completion runs on the backend's worker thread with true when
        // the seek finished, or with false, at once, when it was cancelled.
        void seekToTime(CMTime time, CMTime toleranceBefore, CMTime toleranceAfter,
                        std::function<void(bool finished)> completion = {});
        // Cancels every seek not yet completed (their completions run with
        // false on this thread) and waits for a completion that is running.
        void cancelPendingSeeks();

    private:
        explicit Player(std::shared_ptr<PlayerItem> item);
        void watchForEnd();

        std::shared_ptr<PlayerItem> item;
        // Started by the first forward play, under the state's lock.
        std::thread endWatcher;
        // Shared with seek completions, which may outlive the player.
        struct State;
        std::shared_ptr<State> state;
    };

    // Hands the item's frames out as pixel buffers of one format.
    class PlayerItemVideoOutput
    {
    public:
        explicit PlayerItemVideoOutput(FourCharCode pixelFormat);
        ~PlayerItemVideoOutput();
        PlayerItemVideoOutput(const PlayerItemVideoOutput&) = delete;
        PlayerItemVideoOutput& operator=(const PlayerItemVideoOutput&) = delete;

        FourCharCode getPixelFormat() const { return pixelFormat; }
        void setSuppressesPlayerRendering(bool) {}
        void requestNotificationOfMediaDataChangeWithAdvanceInterval(double) {}

        // The item time shown at a host time: the attached player's time
        // (zero without a player).
        CMTime itemTimeForHostTime(double hostSeconds) const;
        // A frame other than the last one copied is shown at the time.
        bool hasNewPixelBufferForItemTime(CMTime itemTime);
        std::shared_ptr<PixelBuffer> copyPixelBufferForItemTime(CMTime itemTime, CMTime* displayTime);

        // Set by the item.
        void attach(PlayerItem* item);

    private:
        FourCharCode pixelFormat;
        std::mutex lock;
        PlayerItem* item = nullptr;
        long lastCopiedFrame = -1;
    };

    class AssetImageGenerator
    {
    public:
        explicit AssetImageGenerator(std::shared_ptr<Asset> asset) : asset(std::move(asset)) {}
        // Images turned as the track's preferred transform says (quarter
        // turns and mirrorings; other transforms leave them as stored).
        void setAppliesPreferredTrackTransform(bool applies) { appliesPreferredTrackTransform = applies; }
        // Null with the reason in error.
        CGImageRef copyCGImageAtTime(CMTime time, CMTime* actualTime, std::string* error);

    private:
        std::shared_ptr<Asset> asset;
        bool appliesPreferredTrackTransform = false;
    };
}
