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
        // How far (s) the player may be from the play head's frame before a
        // seek corrects it.
        constexpr double driftTolerance = 0.1;
        // How far (s of the movie, at 1x) the play head moves between two
        // frames heard before it counts as jumped, not played, there.
        constexpr double jumpSeconds = 0.5;

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
        std::atomic<long> textureFrame{-1};
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
        long lastRequestedFrame = -1;
        // A turn of direction: the next frame asked for is sought, wherever
        // the player is (the decoder is where the other direction left it).
        bool seekDue = false;
        // The play head's frame as last asked for (-1 before any, and at
        // random, where a seek may stop at the sync frame before it): the
        // picture is the newest frame decoded at or before it (at or after
        // it backwards), never one beyond it.
        std::atomic<long> wantedFrame{-1};
        // The play head's frame as last heard, in any direction (-1 before
        // any): at random no frame beyond it shows, whatever seek brought it.
        std::atomic<long> playHeadFrame{-1};
        // The backend's landings counted when a seek was asked with none
        // under way: held still, a frame landed since then and between the
        // one shown and the play head shows while later seeks run.
        std::atomic<unsigned long> landingFloor{0};
        // Seeks asked for and seeks whose completion ran: while they differ,
        // the frame asked for is not in the output yet.
        std::atomic<unsigned> seeksAsked{0}, seeksLanded{0};
        // The player reached the end while the play head was still in the
        // movie's second half: it waits there (the player pauses at its end)
        // until the play head starts over, then starts over from 0 itself.
        std::atomic<bool> parkedAtEnd{false};
        // The frame asked for last, in any direction; and the bound the
        // picture keeps to in the direction of play (-1 for none): forwards
        // the lowest frame that may show, backwards the highest: the one
        // shown, or past it the one the play head jumped to.
        long lastAskedFrame = -1;
        std::atomic<long> shownBound{-1};
        // Told to play backwards, a movie that cannot is held still and
        // follows the play head down by seeks: paused, with backward play's
        // bounds. refusedBackward marks the refusal until the pause that
        // follows it.
        std::atomic<bool> heldBackward{false};
        bool refusedBackward = false;
        // The turn due leaves random access (a scrub, a jump at random): the
        // frame shown is where the hand or a sync frame put it, not where
        // the picture went, so the turn's bound is the play head's frame.
        bool turnFromRandom = false;
        // The frame sought exactly at random since the hand rested on it
        // (-1 for none).
        long exactFrame = -1;

        // The way the picture goes: 1 forwards, -1 backwards (running or
        // held), 0 held still either way.
        int way() const
        {
            const ParamPlayDirection d = direction;
            if (d == playForward)
                return 1;
            return d == playBackward || (d == playPause && heldBackward) ? -1 : 0;
        }

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
    }

    void AVFPlayer::pause()
    {
        if (record->objcPlayer.player != nullptr)
            record->objcPlayer.player->pause();
    }

    void AVFPlayer::stop()
    {
        ScopedLockT<CriticalSection> hold(lock);
        ObjCAVFPlayer& objc = record->objcPlayer;
        if (objc.player == nullptr)
            return;
        objc.player->pause();
        // Frame 0 is what shows once the seek lands, as after a jump back:
        // the frames asked for before and the floor of forward play go with
        // it, and the next frame asked for is sought afresh.
        objc.player->seekToTime(av::kCMTimeZero, av::kCMTimeZero, av::kCMTimeZero, record->countSeek());
        record->parkedAtEnd = false;
        record->lastRequestedFrame = -1;
        record->lastAskedFrame = 0;
        record->wantedFrame = 0;
        record->playHeadFrame = 0;
        record->shownBound = -1;
    }

    bool AVFPlayer::setDirection(ParamPlayDirection direction)
    {
        {
            ScopedLockT<CriticalSection> hold(lock);
            const bool heldBackward = direction == playPause && record->refusedBackward;
            record->refusedBackward = direction == playBackward && ! canRewind();
            record->heldBackward = heldBackward;
            if (direction != record->direction)
            {
                if (rateFor(record->direction) == 0.0f && record->direction != playPause)
                    record->turnFromRandom = true;
                record->direction = direction;
                record->parkedAtEnd = false;
                // The next frame asked for is followed in the new direction;
                // a movie paused stops now, not at the next frame asked for.
                // The picture stays where it is until then: a frame on the
                // other side (a seek of the old direction landing late)
                // never shows.
                if (record->objcPlayer.textureFrame >= 0)
                    record->shownBound = record->objcPlayer.textureFrame.load();
                record->lastRequestedFrame = -1;
                if (rateFor(direction) == 0.0f && direction != playPause)
                    record->wantedFrame = -1;
                record->seekDue = true;
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
        requestFrame(frame);
    }

    void AVFPlayer::followPlayHead(long frame)
    {
        ScopedLockT<CriticalSection> hold(lock);
        // Running, the picture keeps to the play head, and a jump or turn
        // seeks at once, replacing the seek under way; otherwise a seek
        // waits for the read after the hold (the frame landed on shows
        // first). Held still, the newest frame wins: a seek to it replaces
        // those waiting, and a frame landed on the way shows. A hand resting
        // on the frame asked for is left to restOn, whose seek's frame the
        // caller then counts new.
        if (rateFor(record->direction) != 0.0f)
        {
            hear(frame);
            if (! record->seekDue)
                return;
        }
        else if (frame == record->lastRequestedFrame)
            return;
        requestFrame(frame);
    }

    bool AVFPlayer::restOn(long frame)
    {
        ScopedLockT<CriticalSection> hold(lock);
        const ParamPlayDirection direction = record->direction;
        if (rateFor(direction) != 0.0f || direction == playPause || frame != record->lastRequestedFrame)
            return false;
        const unsigned asked = record->seeksAsked.load();
        requestFrame(frame);
        return record->seeksAsked.load() != asked;
    }

    void AVFPlayer::hear(long frame)
    {
        const ParamPlayDirection direction = record->direction;
        const bool runs = rateFor(direction) != 0.0f;
        const int way = record->way();
        record->wantedFrame = ! runs && direction != playPause ? -1 : frame;
        record->playHeadFrame = frame;
        // Nothing shown yet, the first frame asked for bounds the picture: a
        // player starting from the movie's start does not show frames the
        // play head has passed.
        if (way != 0 && record->shownBound < 0 && record->objcPlayer.textureFrame < 0)
            record->shownBound = frame;
        // The play head jumped against the direction of play (a loop, a
        // cue): the picture may follow it there, and running, a seek takes
        // the player there however near (what it decoded lies ahead).
        if ((way > 0 && frame < record->lastAskedFrame) ||
            (way < 0 && record->lastAskedFrame >= 0 && frame > record->lastAskedFrame))
        {
            record->shownBound = frame;
            if (runs)
                record->seekDue = true;
        }
        // The play head jumped on in the direction of play (a cue): no
        // frame before its frame shows, and running, a seek under way is
        // replaced by one to it at once.
        else if (record->lastAskedFrame >= 0 && (way > 0   ? frame - record->lastAskedFrame
                                                 : way < 0 ? record->lastAskedFrame - frame
                                                           : 0) > jumpFrames())
        {
            record->shownBound = frame;
            if (runs && isSeeking())
                record->seekDue = true;
        }
        // Forwards, the play head came back up to or past the frame shown
        // before the frame it went back to showed (a cue or loop, then a
        // jump on): what lies below the frame shown is left behind, and a
        // seek under way to it is given up for the play head's frame.
        else if (const long shown = record->objcPlayer.textureFrame.load();
                 way > 0 && shown >= 0 && record->shownBound < shown && shown <= frame)
        {
            record->shownBound = shown;
            if (runs && isSeeking())
                record->seekDue = true;
        }
        record->lastAskedFrame = frame;
    }

    void AVFPlayer::requestFrame(long frame)
    {
        ObjCAVFPlayer& objc = record->objcPlayer;
        if (objc.player == nullptr || objc.playerItem->getStatus() != av::PlayerItem::statusReadyToPlay)
            return;
        hear(frame);
        av::Player& player = *objc.player;
        const ParamPlayDirection direction = record->direction;
        const bool runs = rateFor(direction) != 0.0f;
        // At random a frame asked for again, with no seek under way, while
        // the one shown is the sync frame before it: the hand rests there,
        // and the frame itself is sought.
        const bool rests = ! runs && direction != playPause && frame == record->lastRequestedFrame &&
                           frame != record->exactFrame && ! isSeeking() && objc.textureFrame.load() >= 0 &&
                           objc.textureFrame.load() != frame;
        // A turn's seek is asked for on the same frame too.
        if (frame == record->lastRequestedFrame && ! (runs && record->seekDue) && ! rests)
            return;
        record->exactFrame = rests ? frame : -1;
        record->lastRequestedFrame = frame;
        const av::CMTime frameStart = av::CMTimeMultiply(objc.frameDuration, std::max(frame, 0L));
        if (! frameStart.valid)
            return;
        const double t = av::CMTimeGetSeconds(frameStart);

        if (! runs)
        {
            // Held still on a seek: paused, to exactly the frame, so a movie
            // scrubbed while paused shows the frame scrubbed to; at random,
            // to it or the sync frame before it.
            if (player.getRate() != 0.0f)
                player.setRate(0.0f);
            record->parkedAtEnd = false;
            const av::CMTime before = direction == playPause || rests ? av::kCMTimeZero : av::kCMTimePositiveInfinity;
            // The sync frame landed on may not have shown yet: it still may
            // while the hand's frame is sought.
            if (! isSeeking() && ! rests)
                if (av::DecodingSession* session = objc.playerItem->getSession())
                {
                    unsigned long landings = 0;
                    session->lastLandedFrame(landings);
                    record->landingFloor = landings;
                }
            takeTurn(frame);
            tellWay(frame);
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
        // A jump or turn seeks though a seek is under way: the newest wins,
        // and the one under way is given up unless its frame is on the way.
        if ((! isSeeking() || record->seekDue) && (record->seekDue || std::fabs(drift) > driftTolerance))
        {
            std::printf("frames to seek: %.3f\n", drift / objc.secsPerFrame);
            std::fflush(stdout);
            const double started = getTickCount();
            takeTurn(frame);
            record->parkedAtEnd = false;
            tellWay(frame);
            // To exactly the play head's frame: aimed ahead by what a seek
            // took before, a seek that takes less lands ahead of the play
            // head. The decoder decodes on from there to catch it up.
            player.seekToTime(frameStart, av::kCMTimeZero, av::kCMTimeZero,
                              record->countSeek(
                                  [started](bool finished)
                                  {
                                      if (! finished)
                                          return;
                                      const double took = getTickCount() - started;
                                      lastSeekTime.store(took);
                                      std::printf("seeking took: %.3f\n", took);
                                      std::fflush(stdout);
                                  }));
        }
        const float target = rateFor(direction, record->speed);
        if (player.getRate() != target)
            player.setRate(target);
    }

    long AVFPlayer::jumpFrames() const
    {
        const double secsPerFrame = record->objcPlayer.secsPerFrame;
        return secsPerFrame > 0.0
                   ? std::max(2L, std::lround(jumpSeconds * std::max(1.0f, record->speed) / secsPerFrame))
                   : 2L;
    }

    void AVFPlayer::takeTurn(long frame)
    {
        if (! record->seekDue)
            return;
        // After a turn the picture goes on from the play head's frame (until
        // this seek, the one shown stands: a frame a seek of the old
        // direction brought never shows); from the one shown when the play
        // head is within reach behind it (the old direction's seeks trailed
        // it), so the picture does not step back; not after random access.
        const ObjCAVFPlayer& objc = record->objcPlayer;
        const long shownFrame = objc.textureFrame.load();
        const bool behind = shownFrame >= 0 && ! record->turnFromRandom &&
                            (record->way() > 0 ? frame < shownFrame : frame > shownFrame);
        if (! behind || av::CMTimeGetSeconds(av::CMTimeMultiply(objc.frameDuration, std::labs(shownFrame - frame))) >
                            driftTolerance)
            record->shownBound = frame;
        record->seekDue = false;
        record->turnFromRandom = false;
    }

    void AVFPlayer::tellWay(long frame)
    {
        av::DecodingSession* session = record->objcPlayer.playerItem->getSession();
        if (session == nullptr)
            return;
        // From the bound the picture keeps to in the direction of play (the
        // play head's frame when it lies against that direction from it).
        const int way = record->way();
        long from = way == 0 ? -1 : record->shownBound.load();
        if ((way > 0 && frame < from) || (way < 0 && (from < 0 || frame > from)))
            from = frame;
        session->setPictureWay(from, way);
    }

    bool AVFPlayer::isSeeking() const
    {
        return record->seeksLanded.load() != record->seeksAsked.load();
    }

    bool AVFPlayer::isCatchingUp() const
    {
        const ObjCAVFPlayer& objc = record->objcPlayer;
        const long wanted = record->wantedFrame.load();
        const ParamPlayDirection direction = record->direction;
        if (isSeeking() || (direction != playForward && direction != playBackward) || wanted < 0 ||
            objc.textureFrame == wanted || objc.playerItem == nullptr)
            return false;
        av::DecodingSession* session = objc.playerItem->getSession();
        const av::CMTime start = av::CMTimeMultiply(objc.frameDuration, wanted);
        return session != nullptr && start.valid && session->isDecodingToward(av::CMTimeGetSeconds(start));
    }

    bool AVFPlayer::fillTexture(Texture& texture)
    {
        ObjCAVFPlayer& objc = record->objcPlayer;
        if (objc.pixelFormat == av::pixelFormat64ARGB || objc.player == nullptr)
            return false;
        // Until a seek lands the frame held is not the one asked for: the
        // caller tries again rather than keep it. Held still, a frame an
        // earlier seek landed on shows meanwhile when it lies between the
        // one shown and the play head.
        if (record->seeksLanded.load() != record->seeksAsked.load())
        {
            if (rateFor(record->direction) == 0.0f)
                showLandedOnTheWay(texture);
            else if (record->way() < 0)
                showDecodedOnTheWay(texture);
            return false;
        }
        long due = -1;
        const av::CMTime at = pictureTime(due);
        // Told a direction and not yet a frame, the player's clock may be
        // anywhere: the picture stays until the play head's frame is known.
        const ParamPlayDirection direction = record->direction;
        const bool random = rateFor(direction) == 0.0f && direction != playPause;
        const bool known = random || record->wantedFrame.load() >= 0;
        const bool fresh = known && objc.videoOutput->hasNewPixelBufferForItemTime(at);
        // A frame shown on the way came from the session, not the output:
        // the output's frame is new to the picture when another shows,
        // though the output handed it out before.
        std::shared_ptr<av::PixelBuffer> buffer = fresh || (known && objc.textureFrame.load() != due)
                                                      ? objc.videoOutput->copyPixelBufferForItemTime(at, nullptr)
                                                      : nullptr;
        if (! fresh && buffer != nullptr && buffer->frameIndex == objc.textureFrame.load())
            buffer = nullptr;
        // In the direction of play the picture goes back only as far as the
        // play head jumped or turned: a frame beyond the bound (one a seek
        // asked for before, say) leaves the one held in place.
        // At random no frame beyond the play head shows (a seek asked for
        // before it moved back).
        // Backwards (held still following the play head down included) no
        // frame below the play head's shows.
        const long bound = record->shownBound.load();
        const long head = record->playHeadFrame.load();
        const int way = record->way();
        const bool back = buffer != nullptr &&
                          ((way > 0 && buffer->frameIndex < bound) ||
                           (way < 0 && bound >= 0 && buffer->frameIndex > bound) ||
                           (way < 0 && head >= 0 && buffer->frameIndex < head) ||
                           (random && head >= 0 && buffer->frameIndex > head));
        if ((fresh || buffer != nullptr) && ! back)
            makeTexture(buffer);
        // A frame other than the one due (still being decoded) stands in
        // for it: the caller is told to try again, as the play head may not
        // move again to announce it.
        return adoptTexture(texture) && objc.textureFrame == due;
    }

    void AVFPlayer::makeTexture(const std::shared_ptr<av::PixelBuffer>& buffer)
    {
        ObjCAVFPlayer& objc = record->objcPlayer;
        CVOpenGLTextureCache& cache = CVOpenGLTextureCache::getInstance();
        objc.textureRef.reset();
        cache.flush();
        if (buffer != nullptr && cache.getCache() != nullptr)
            objc.textureRef = cache.getCache()->createTextureFromImage(*buffer, nullptr);
        if (objc.textureRef == nullptr)
            debugPrint("AVFVideoFormatReader: could not create texture from image");
        else
            record->shownBound = objc.textureFrame = buffer->frameIndex;
    }

    bool AVFPlayer::adoptTexture(Texture& texture)
    {
        ObjCAVFPlayer& objc = record->objcPlayer;
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
        return true;
    }

    void AVFPlayer::showLandedOnTheWay(Texture& texture)
    {
        ObjCAVFPlayer& objc = record->objcPlayer;
        av::DecodingSession* session = objc.playerItem->getSession();
        unsigned long landings = 0;
        std::shared_ptr<av::PixelBuffer> landed = session != nullptr ? session->lastLandedFrame(landings) : nullptr;
        const long shown = objc.textureFrame.load(), head = record->playHeadFrame.load();
        // Nothing shown yet, nothing is on the way (the session's own first
        // seek lands wherever it starts), except following the play head
        // down: the landed frame at or above it shows rather than nothing.
        if (landed == nullptr || landings <= record->landingFloor.load() || (shown < 0 && record->way() >= 0) ||
            head < 0 || landed->frameIndex == shown)
            return;
        const long n = landed->frameIndex;
        // Following the play head down, from the frame shown (never above
        // the bound) to the play head's; at random none beyond the play head
        // (the play head's own frame may come as the key frame before it);
        // paused, either way.
        const long bound = record->shownBound.load();
        const bool onTheWay = record->way() < 0 ? head <= n && (shown < 0 || n <= shown) && (bound < 0 || n <= bound)
                                                : std::min(shown, head) <= n && n <= std::max(shown, head) &&
                                                      ! (record->direction != playPause && n > head);
        if (! onTheWay)
            return;
        makeTexture(landed);
        adoptTexture(texture);
    }

    void AVFPlayer::showDecodedOnTheWay(Texture& texture)
    {
        ObjCAVFPlayer& objc = record->objcPlayer;
        long due = -1;
        const av::CMTime at = pictureTime(due);
        // Asking tells the session where the play head is: its seek lands
        // where the decoding meets it.
        if (record->wantedFrame.load() < 0 || ! objc.videoOutput->hasNewPixelBufferForItemTime(at))
            return;
        std::shared_ptr<av::PixelBuffer> buffer = objc.videoOutput->copyPixelBufferForItemTime(at, nullptr);
        const long head = record->playHeadFrame.load(), bound = record->shownBound.load();
        if (buffer == nullptr || buffer->frameIndex < head || (bound >= 0 && buffer->frameIndex > bound))
            return;
        makeTexture(buffer);
        adoptTexture(texture);
    }

    av::CMTime AVFPlayer::pictureTime(long& due)
    {
        // The play head's frame, not the player's clock: the clock runs
        // between the play head's reads (it would pass over a frame the play
        // head spends between two renders), and a seek may land it ahead of
        // the play head. At random, the frame the seek brought.
        const long wanted = record->wantedFrame.load();
        const av::CMTime start = av::CMTimeMultiply(record->objcPlayer.frameDuration, std::max(wanted, 0L));
        if (wanted < 0 || ! start.valid)
        {
            const av::CMTime now = record->objcPlayer.player->currentTime();
            due = frameAt(now);
            return now;
        }
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
