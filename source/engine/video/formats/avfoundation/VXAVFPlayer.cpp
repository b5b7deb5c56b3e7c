#include "engine/video/formats/avfoundation/VXAVFPlayer.h"

#include "core/VXLog.h"
#include "core/VXScopedLock.h"
#include "core/VXTime.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/formats/VXPixels.h"
#include "engine/video/formats/avfoundation/VXAVFPixelLoops.h"
#include "engine/video/formats/avfoundation/VXAVPlayback.h"
#include "engine/video/formats/avfoundation/VXCVOpenGLTextureCache.h"
#include "engine/video/formats/avfoundation/VXCVTextureStore.h"
#include "engine/video/formats/avfoundation/VXOSXImageUtils.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <vector>

namespace vx
{
    std::atomic<double> AVFPlayer::lastSeekTime{0.0};

    namespace
    {
        constexpr long internalFormatYCbCr422 = 0x85B9;
        constexpr unsigned filterLinear = 0x2601;
        constexpr std::int32_t nanoseconds = 1000000000;
        // How far (s) the player may be from the play head's frame before a
        // seek corrects it.
        constexpr double driftTolerance = 0.1;

        // The rate a direction plays at: paused or at random the player holds
        // still on the frames it seeks to.
        float rateFor(ParamPlayDirection direction)
        {
            return direction == playForward ? 1.0f : direction == playBackward ? -1.0f : 0.0f;
        }

        // The rate the player runs at: the direction's, at the play head's speed.
        float rateFor(ParamPlayDirection direction, float speed)
        {
            return rateFor(direction) * speed;
        }
    }

    std::uint32_t AVFPlayer::codecForSubType(std::uint32_t subType)
    {
        using av::fourCharCode;
        static const std::uint32_t dv[] = {fourCharCode("dvc "), fourCharCode("dvcp"), fourCharCode("dv5n"),
                                           fourCharCode("dv5p"), fourCharCode("dvh2"), fourCharCode("dvh3"),
                                           fourCharCode("dvh5"), fourCharCode("dvh6"), fourCharCode("dvhp"),
                                           fourCharCode("dvhq"), fourCharCode("dvpp")};
        for (std::uint32_t code : dv)
            if (subType == code)
                return fourCharCode("h26@");
        struct Entry
        {
            std::uint32_t subType, codec;
        };
        static const Entry table[] = {
            {fourCharCode("ap4h"), fourCharCode("apcn")}, {fourCharCode("apch"), fourCharCode("apch")},
            {fourCharCode("avc1"), fourCharCode("h264")}, {fourCharCode("h263"), fourCharCode("h265")},
            {fourCharCode("jpeg"), fourCharCode("jpeg")}, {fourCharCode("mp1v"), fourCharCode("h26:")},
            {fourCharCode("mp2v"), fourCharCode("h269")}, {fourCharCode("mp4v"), fourCharCode("h267")},
        };
        for (const Entry& entry : table)
            if (entry.subType == subType)
                return entry.codec;
        return 0;
    }

    // The framework's objects of one player.
    class AVFPlayer::ObjCAVFPlayer
    {
    public:
        ~ObjCAVFPlayer()
        {
            if (player != nullptr)
            {
                playerItem->setDidPlayToEndObserver({});
                player->cancelPendingSeeks();
                if (videoOutput != nullptr)
                    playerItem->removeOutput(videoOutput.get());
            }
            videoOutput.reset();
            pixelBufferRef.reset();
            textureRef.reset();
            player.reset();
        }

        void play()
        {
            if (! playing)
            {
                playing = true;
                player->play();
            }
        }

        void playerItemDidReachEnd()
        {
            player->seekToTime(av::kCMTimeZero, av::kCMTimeZero, av::kCMTimeZero);
            playing = false;
        }

        std::shared_ptr<av::Asset> asset;
        std::shared_ptr<av::Player> player;
        std::shared_ptr<av::PlayerItem> playerItem;
        std::unique_ptr<av::PlayerItemVideoOutput> videoOutput;
        av::AssetTrack videoTrack;
        av::FourCharCode pixelFormat = 0;
        double secsPerFrame = 0.0;
        // Frame n starts at n times it, exactly: a time rounded from the
        // float rate can fall just before the frame and show the one before.
        av::CMTime frameDuration;
        bool valid = false;
        std::atomic<bool> playing{false};
        bool playingRandom = false;
        std::shared_ptr<av::PixelBuffer> pixelBufferRef;
        std::vector<std::uint16_t> convertedFrame;
        av::CVOpenGLTextureRef textureRef;
        // The movie frame textureRef holds.
        long textureFrame = -1;
    };

    struct AVFPlayer::Record
    {
        ObjCAVFPlayer objcPlayer;
        float nominalFrameRate = 0.0f;
        bool hasAudio = false;
        std::uint32_t codecFourCC = 0;
        std::atomic<ParamPlayDirection> direction{playForward};
        // The speed the play head moves at (1 its own); the player runs at
        // it in the direction of play.
        float speed = 1.0f;
        std::atomic<bool> seeking{false};
        long lastRequestedFrame = -1;
        // The play head's frame as last asked for (-1 before any, and at
        // random, where a seek may stop at the sync frame before it): what
        // shows while the player keeps within reach of it.
        std::atomic<long> wantedFrame{-1};
        // How long this player's last corrective seek took, in ms; below 0
        // until one has completed.
        std::atomic<double> lastSeekTime{-1.0};
        // Seeks asked for and seeks whose completion ran: while they differ,
        // the frame asked for is not in the output yet.
        std::atomic<unsigned> seeksAsked{0}, seeksLanded{0};
        // The player reached the end while the play head was still in the
        // movie's second half: it waits there (the player pauses at its end)
        // until the play head starts over, then starts over from 0 itself.
        std::atomic<bool> parkedAtEnd{false};
        // The frame asked for last, in any direction; and the lowest frame
        // forward play may show: the one shown, or below it the one the play
        // head jumped back to.
        long lastAskedFrame = -1;
        std::atomic<long> forwardFloor{-1};

        // The end of the item: the player starts over from 0, unless the
        // play head has yet to get there (a seek aimed ahead, or a clock
        // running fast, brings the player there first): starting over then
        // would show the next loop's first frames in its last ones.
        void reachedEnd()
        {
            const long wanted = wantedFrame.load();
            const double loop = objcPlayer.asset->getDurationSeconds();
            if (wanted >= 0 && direction == playForward &&
                av::CMTimeGetSeconds(av::CMTimeMultiply(objcPlayer.frameDuration, wanted)) >= loop / 2.0)
                parkedAtEnd = true;
            else
                objcPlayer.playerItemDidReachEnd();
        }

        // Counts the seek as asked for; the completion given counts it landed
        // (cancelled ones too) before calling then.
        std::function<void(bool)> countSeek(std::function<void(bool)> then = {})
        {
            ++seeksAsked;
            return [this, then = std::move(then)](bool finished)
            {
                ++seeksLanded;
                if (then)
                    then(finished);
            };
        }
    };

    AVFPlayer::AVFPlayer(const char* path) : record(std::make_unique<Record>())
    {
        ObjCAVFPlayer& objc = record->objcPlayer;
        objc.asset = av::Asset::assetWithPath(path != nullptr ? path : "");
        const std::vector<av::AssetTrack> tracks = objc.asset->videoTracks();
        if (tracks.empty())
        {
            logPrint(logError, "Could not load asset's tracks in AVFPlayer: %s has no video track",
                     path != nullptr ? path : "");
            return;
        }
        objc.videoTrack = tracks.front();
        // Frame times divide by the rate.
        const double rate = objc.videoTrack.nominalFrameRate;
        objc.frameDuration = objc.videoTrack.nominalFrameDuration;
        if (! std::isfinite(rate) || rate <= 0.0 || ! objc.frameDuration.valid || objc.frameDuration.value <= 0)
        {
            logPrint(logError, "AVFPlayer: %s has no usable frame rate (%g)", path, rate);
            return;
        }
        if (! objc.asset->isPlayable())
        {
            logPrint(logError, "AVFPlayer: %s is not playable", path);
            return;
        }
        for (const av::FormatDescription& description : objc.videoTrack.formatDescriptions)
            if (description.mediaType == av::fourCharCode("vide"))
            {
                record->codecFourCC = codecForSubType(description.mediaSubType);
                break;
            }
        objc.pixelFormat = av::pixelFormat422YpCbCr8;
        objc.videoOutput = std::make_unique<av::PlayerItemVideoOutput>(objc.pixelFormat);
        record->nominalFrameRate = objc.videoTrack.nominalFrameRate;
        objc.secsPerFrame = av::CMTimeGetSeconds(objc.frameDuration);
        objc.playerItem = std::make_shared<av::PlayerItem>(objc.asset);
        objc.playerItem->setDidPlayToEndObserver([endRecord = record.get()] { endRecord->reachedEnd(); });
        objc.player = av::Player::playerWithPlayerItem(objc.playerItem);
        objc.playerItem->addOutput(objc.videoOutput.get());
        objc.videoOutput->requestNotificationOfMediaDataChangeWithAdvanceInterval(objc.secsPerFrame);
        objc.valid = true;
        if (objc.asset->audioTrackCount() > 0)
        {
            record->hasAudio = true;
            objc.playerItem->setAudioMixVolume(0, 0.0f);
        }
    }

    AVFPlayer::~AVFPlayer()
    {
        // No completion or end may run once the record is gone.
        if (record->objcPlayer.player != nullptr)
        {
            record->objcPlayer.playerItem->setDidPlayToEndObserver({});
            record->objcPlayer.player->cancelPendingSeeks();
        }
    }

    void AVFPlayer::initGL()
    {
        CVOpenGLTextureCache::getInstance().init();
    }

    bool AVFPlayer::isValid() const
    {
        return record->objcPlayer.valid;
    }

    bool AVFPlayer::isPlaying() const
    {
        return record->objcPlayer.playing;
    }

    double AVFPlayer::getNominalFrameRate() const
    {
        // Exactly the rate a frame's length gives (30000/1001, not the float
        // nearest to it): positions turn into frames by it.
        const av::CMTime& frameDuration = record->objcPlayer.frameDuration;
        if (frameDuration.valid && frameDuration.value > 0 && frameDuration.timescale > 0)
            return static_cast<double>(frameDuration.timescale) / static_cast<double>(frameDuration.value);
        return record->nominalFrameRate;
    }

    std::uint32_t AVFPlayer::getCodecFourCC() const
    {
        return record->codecFourCC;
    }

    bool AVFPlayer::hasAudio() const
    {
        return record->hasAudio;
    }

    std::int64_t AVFPlayer::getDuration() const
    {
        return av::saturatingCast<std::int64_t>(record->objcPlayer.asset->getDurationSeconds() * 10000000.0);
    }

    double AVFPlayer::getDurationInMilliSeconds() const
    {
        return record->objcPlayer.asset->getDurationSeconds() * 1000.0;
    }

    unsigned AVFPlayer::getNumFrames() const
    {
        return av::wholeFramesIn(record->objcPlayer.asset->getDurationSeconds(), record->objcPlayer.frameDuration);
    }

    int AVFPlayer::getWidth() const
    {
        return static_cast<int>(record->objcPlayer.videoTrack.naturalWidth);
    }

    int AVFPlayer::getHeight() const
    {
        return static_cast<int>(record->objcPlayer.videoTrack.naturalHeight);
    }

    void AVFPlayer::play()
    {
        ScopedLockT<CriticalSection> hold(lock);
        ObjCAVFPlayer& objc = record->objcPlayer;
        if (objc.player == nullptr)
            return;
        // Started in its direction: a paused movie is not run on.
        objc.player->setRate(rateFor(record->direction, record->speed));
        objc.playing = true;
        record->lastRequestedFrame = -1;
        record->seeking = false;
    }

    void AVFPlayer::pause()
    {
        if (record->objcPlayer.player != nullptr)
            record->objcPlayer.player->pause();
    }

    void AVFPlayer::stop()
    {
        ObjCAVFPlayer& objc = record->objcPlayer;
        if (objc.player == nullptr)
            return;
        objc.player->pause();
        objc.player->seekToTime(av::kCMTimeZero, av::kCMTimeZero, av::kCMTimeZero);
        record->parkedAtEnd = false;
    }

    bool AVFPlayer::setDirection(ParamPlayDirection direction)
    {
        {
            ScopedLockT<CriticalSection> hold(lock);
            if (direction != record->direction)
            {
                record->direction = direction;
                record->parkedAtEnd = false;
                // The next frame asked for is followed in the new direction;
                // a movie paused stops now, not at the next frame asked for.
                record->lastRequestedFrame = -1;
                record->wantedFrame = -1;
                av::Player* player = record->objcPlayer.player.get();
                if (player != nullptr && rateFor(direction) == 0.0f && player->getRate() != 0.0f)
                    player->setRate(0.0f);
            }
        }
        if (direction != playBackward)
            return true;
        return canRewind();
    }

    void AVFPlayer::setSpeed(float speed)
    {
        ScopedLockT<CriticalSection> hold(lock);
        if (! std::isfinite(speed) || speed < 0.0f || speed == record->speed)
            return;
        record->speed = speed;
        // A movie running follows at once (a speed of 0 stops it); a
        // stopped one starts at the next frame asked for.
        av::Player* player = record->objcPlayer.player.get();
        const float rate = rateFor(record->direction, speed);
        if (player != nullptr && player->getRate() != 0.0f && player->getRate() != rate)
            player->setRate(rate);
    }

    bool AVFPlayer::canScrub() const
    {
        const auto& item = record->objcPlayer.playerItem;
        return item != nullptr && item->canStepForward();
    }

    bool AVFPlayer::canFastForward() const
    {
        const auto& item = record->objcPlayer.playerItem;
        return item != nullptr && item->canPlayFastForward();
    }

    bool AVFPlayer::canRewind() const
    {
        const auto& item = record->objcPlayer.playerItem;
        return item != nullptr && item->canPlayReverse();
    }

    void AVFPlayer::setRequestedFrame(long frame)
    {
        ScopedLockT<CriticalSection> hold(lock);
        ObjCAVFPlayer& objc = record->objcPlayer;
        if (objc.player == nullptr || objc.playerItem->getStatus() != av::PlayerItem::statusReadyToPlay)
            return;
        av::Player& player = *objc.player;
        const ParamPlayDirection direction = record->direction;
        record->wantedFrame = rateFor(direction) == 0.0f && direction != playPause ? -1 : frame;
        if (direction == playForward)
        {
            // The play head jumped back, or the picture is out of the
            // player's reach ahead of it (left there by play in another
            // direction): the picture may go back to the play head.
            const long floor = record->forwardFloor.load();
            const bool outOfReach =
                floor > frame &&
                av::CMTimeGetSeconds(av::CMTimeMultiply(objc.frameDuration, floor - frame)) > driftTolerance;
            if (frame < record->lastAskedFrame || outOfReach)
                record->forwardFloor = std::min(floor, frame);
        }
        record->lastAskedFrame = frame;
        if (frame == record->lastRequestedFrame)
            return;
        record->lastRequestedFrame = frame;
        const av::CMTime frameStart = av::CMTimeMultiply(objc.frameDuration, std::max(frame, 0L));
        if (! frameStart.valid)
            return;
        const double t = av::CMTimeGetSeconds(frameStart);

        if (rateFor(direction) == 0.0f)
        {
            // Held still on a seek: paused, to exactly the frame, so a movie
            // scrubbed while paused shows the frame scrubbed to; at random,
            // to it or the sync frame before it.
            if (player.getRate() != 0.0f)
                player.setRate(0.0f);
            record->parkedAtEnd = false;
            const av::CMTime before = direction == playPause ? av::kCMTimeZero : av::kCMTimePositiveInfinity;
            player.seekToTime(frameStart, before, av::kCMTimeZero, record->countSeek());
            return;
        }

        // Parked at the end, the player starts over once the play head has.
        if (record->parkedAtEnd && t < objc.asset->getDurationSeconds() / 2.0)
        {
            record->parkedAtEnd = false;
            objc.playerItemDidReachEnd();
        }
        const double drift = t - av::CMTimeGetSeconds(player.currentTime());
        if (! record->seeking && std::fabs(drift) > driftTolerance)
        {
            std::printf("frames to seek: %.3f\n", drift / objc.secsPerFrame);
            std::fflush(stdout);
            const double started = getTickCount();
            record->seeking = true;
            record->parkedAtEnd = false;
            Record* seekRecord = record.get();
            // Aimed ahead, in the direction of play and at its speed, by what
            // this player's previous corrective seek took (any player's
            // before its first has completed).
            const double ownSeekTime = record->lastSeekTime.load();
            const double aheadMs = ownSeekTime >= 0.0 ? ownSeekTime : lastSeekTime.load();
            const double aimed = t + rateFor(direction, record->speed) * aheadMs / 1000.0;
            player.seekToTime(av::CMTimeMakeWithSeconds(std::max(aimed, 0.0), nanoseconds), av::kCMTimeZero,
                              av::kCMTimeZero,
                              record->countSeek(
                                  [seekRecord, started](bool finished)
                                  {
                                      if (! finished)
                                          return;
                                      seekRecord->seeking = false;
                                      const double took = getTickCount() - started;
                                      seekRecord->lastSeekTime.store(took);
                                      lastSeekTime.store(took);
                                      std::printf("seeking took: %.3f\n", took);
                                      std::fflush(stdout);
                                  }));
        }
        const float target = rateFor(direction, record->speed);
        if (player.getRate() != target)
            player.setRate(target);
    }

    bool AVFPlayer::isSeeking() const
    {
        return record->seeksLanded.load() != record->seeksAsked.load();
    }

    bool AVFPlayer::fillTexture(Texture& texture)
    {
        ObjCAVFPlayer& objc = record->objcPlayer;
        if (objc.pixelFormat == av::pixelFormat64ARGB || objc.player == nullptr)
            return false;
        // Until a seek lands the frame held is not the one asked for: the
        // caller tries again rather than keep it.
        if (record->seeksLanded.load() != record->seeksAsked.load())
            return false;
        long due = -1;
        const av::CMTime at = pictureTime(due);
        const bool fresh = objc.videoOutput->hasNewPixelBufferForItemTime(at);
        std::shared_ptr<av::PixelBuffer> buffer =
            fresh ? objc.videoOutput->copyPixelBufferForItemTime(at, nullptr) : nullptr;
        // Played forwards, the picture goes back only as far as the play head
        // jumped: a frame below (one a seek asked for before the movie ran
        // forwards, say) leaves the one held in place.
        const bool back = buffer != nullptr && objc.textureRef != nullptr && record->direction == playForward &&
                          buffer->frameIndex < record->forwardFloor.load();
        if (fresh && ! back)
        {
            CVOpenGLTextureCache& cache = CVOpenGLTextureCache::getInstance();
            objc.textureRef.reset();
            cache.flush();
            if (buffer != nullptr && cache.getCache() != nullptr)
                objc.textureRef = cache.getCache()->createTextureFromImage(*buffer, nullptr);
            if (objc.textureRef == nullptr)
                debugPrint("AVFVideoFormatReader: could not create texture from image");
            else
                record->forwardFloor = objc.textureFrame = buffer->frameIndex;
        }
        if (objc.textureRef == nullptr)
            return false;
        // Adopting into a texture that owns its GL name (a pooled one) would
        // lose that name and later hand the cache's name on.
        if (texture.isValid() && ! texture.isForeign())
        {
            logPrint(logError, "AVFPlayer: cannot adopt a frame into a texture that owns its GL texture");
            return false;
        }
        const av::CVOpenGLTexture& frame = *objc.textureRef;
        texture.setGLData(frame.getWidth(), frame.getHeight(), frame.getWidth(), frame.getHeight(),
                          static_cast<long>(frame.getTarget()), static_cast<long>(frame.getName()),
                          internalFormatYCbCr422, filterLinear, filterLinear, true);
        // A frame other than the one due (still being decoded) stands in
        // for it: the caller is told to try again, as the play head may not
        // move again to announce it.
        return objc.textureFrame == due;
    }

    av::CMTime AVFPlayer::pictureTime(long& due)
    {
        const av::CMTime now = record->objcPlayer.player->currentTime();
        due = frameAt(now);
        // The player's clock runs between the play head's reads: taken at
        // the render, it would pass over a frame the play head spends between
        // two renders. Within reach of the play head, the play head's frame
        // shows; the player's own after a seek that landed ahead of it.
        const long wanted = record->wantedFrame.load();
        if (wanted < 0)
            return now;
        const av::CMTime start = av::CMTimeMultiply(record->objcPlayer.frameDuration, wanted);
        if (! start.valid || std::fabs(av::CMTimeGetSeconds(start) - av::CMTimeGetSeconds(now)) > driftTolerance)
            return now;
        due = wanted;
        return start;
    }

    long AVFPlayer::frameAt(const av::CMTime& time) const
    {
        const av::CMTime& frameDuration = record->objcPlayer.frameDuration;
        const unsigned frames = getNumFrames();
        if (! frameDuration.valid || frameDuration.value <= 0 || frames == 0)
            return 0;
        const double index = std::floor(av::CMTimeGetSeconds(time) * frameDuration.timescale /
                                            static_cast<double>(frameDuration.value) +
                                        1e-6);
        return std::clamp(av::saturatingCast<long>(index), 0L, static_cast<long>(frames) - 1);
    }

    unsigned char* AVFPlayer::getCurrentFrame()
    {
        ObjCAVFPlayer& objc = record->objcPlayer;
        if (objc.pixelFormat != av::pixelFormat64ARGB || objc.player == nullptr)
            return nullptr;
        long due = -1;
        const av::CMTime at = pictureTime(due);
        if (objc.videoOutput->hasNewPixelBufferForItemTime(at))
        {
            std::shared_ptr<av::PixelBuffer> buffer = objc.videoOutput->copyPixelBufferForItemTime(at, nullptr);
            if (buffer != nullptr)
            {
                const int w = buffer->getWidth(), h = buffer->getHeight();
                objc.convertedFrame.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4);
                avf::argb64BigEndianToRGBA64(buffer->getBaseAddress(), buffer->getBytesPerRow(), w, h,
                                             objc.convertedFrame.data());
                objc.pixelBufferRef = buffer;
            }
        }
        if (objc.pixelBufferRef == nullptr)
            return nullptr;
        objc.pixelBufferRef->lockBaseAddress();
        return reinterpret_cast<unsigned char*>(objc.convertedFrame.data());
    }

    void AVFPlayer::releaseFrame()
    {
        if (record->objcPlayer.pixelBufferRef != nullptr)
            record->objcPlayer.pixelBufferRef->unlockBaseAddress();
    }

    Pixels* AVFPlayer::generateThumbnail()
    {
        ObjCAVFPlayer& objc = record->objcPlayer;
        if (objc.asset == nullptr)
            return nullptr;
        av::AssetImageGenerator generator(objc.asset);
        generator.setAppliesPreferredTrackTransform(true);
        const av::CMTime at = av::CMTimeMakeWithSeconds(getDurationInMilliSeconds() * 0.05 / 1000.0, 600);
        av::NSImage image{generator.copyCGImageAtTime(at, nullptr, nullptr)};
        return OSXImageUtils::NSImageToPixels(&image);
    }
}
