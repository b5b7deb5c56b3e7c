#include "engine/video/formats/avfoundation/VXAVFVideoFormatReader.h"

#include "core/VXLog.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/formats/VXPixels.h"
#include "engine/video/formats/avfoundation/VXAVFPixelLoops.h"
#include "engine/video/formats/avfoundation/VXAVPlayback.h"
#include "engine/video/formats/avfoundation/VXCVOpenGLTextureCache.h"
#include "engine/video/formats/avfoundation/VXCVTextureStore.h"
#include "engine/video/formats/avfoundation/VXOSXImageUtils.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <mutex>
#include <vector>

namespace vx
{
    namespace
    {
        constexpr long internalFormatYCbCr422 = 0x85B9;
        constexpr long internalFormatRGBA8 = 0x8058;
        constexpr unsigned filterLinear = 0x2601;

        bool isUsableFrameRate(double fps)
        {
            return std::isfinite(fps) && fps > 0.0;
        }
    }

    // The player, its video output and the frame taken from it.
    class AVFVideoFormatReader::ReaderInternal
    {
    public:
        struct Info
        {
            int width = 0, height = 0;
            int bytesPerPixel = 0;
            int channelLayout = 1; // 2 for 4 or 8 bytes per pixel; set, never read
            int swizzleMode = 0;
            bool flipped = false;
            std::string codecName;
            double fps = 0.0, durationMs = 0.0, msPerFrame = 0.0;
            bool hasAudio = false;
        };

        ~ReaderInternal()
        {
            if (player != nullptr)
            {
                std::shared_ptr<av::PlayerItem> item = player->getCurrentItem();
                item->setDidPlayToEndObserver({});
                player->cancelPendingSeeks();
                if (videoOutput != nullptr)
                    item->removeOutput(videoOutput.get());
                item->getAsset()->cancelLoading();
            }
            videoOutput.reset();
            player.reset();
        }

        void initWithTextureMode(int mode) { textureMode = mode; }

        static bool canPlaybackAsset(const std::string& path, bool& containsAudio)
        {
            std::shared_ptr<av::Asset> asset = av::Asset::assetWithPath(path);
            if (asset == nullptr)
                return false;
            const std::vector<av::AssetTrack> tracks = asset->videoTracks();
            if (tracks.empty())
                return false;
            containsAudio = asset->audioTrackCount() > 0;
            if (! asset->isPlayable())
            {
                debugPrint(asset->isReadable() ? "AVFVideoFormatReader: Asset is readable but not playable."
                                               : "AVFVideoFormatReader: Asset is not readable.");
                return false;
            }
            // Frame times divide by the rate.
            if (! isUsableFrameRate(tracks.front().nominalFrameRate))
            {
                logPrint(logError, "AVFVideoFormatReader: %s has no usable frame rate (%g)", path.c_str(),
                         static_cast<double>(tracks.front().nominalFrameRate));
                return false;
            }
            return true;
        }

        bool openFile(const std::string& path) { return openAsset(av::Asset::assetWithPath(path)); }

        bool openAsset(std::shared_ptr<av::Asset> asset)
        {
            if (asset == nullptr)
                return false;
            const std::vector<av::AssetTrack> tracks = asset->videoTracks();
            if (tracks.empty())
                return false;
            const av::AssetTrack& track = tracks.front();
            if (! isUsableFrameRate(track.nominalFrameRate) || ! track.nominalFrameDuration.valid ||
                track.nominalFrameDuration.value <= 0)
            {
                logPrint(logError, "AVFVideoFormatReader: no usable frame rate (%g)",
                         static_cast<double>(track.nominalFrameRate));
                return false;
            }
            for (const av::FormatDescription& description : track.formatDescriptions)
            {
                if (description.mediaType != av::fourCharCode("vide"))
                    continue;
                pixelFormat = av::pixelFormat422YpCbCr8;
                if (! description.formatName.empty())
                    info.codecName = description.formatName;
                if (description.depth > 0)
                {
                    info.bytesPerPixel = description.depth / 8;
                    if (info.bytesPerPixel == 4 || info.bytesPerPixel == 8)
                        info.channelLayout = 2;
                }
                break;
            }
            info.width = static_cast<int>(track.naturalWidth);
            info.height = static_cast<int>(track.naturalHeight);
            frameDuration = track.nominalFrameDuration;
            // Exactly the rate a frame's length gives (30000/1001, not the
            // float nearest to it): positions turn into frames by it.
            info.fps = static_cast<double>(frameDuration.timescale) / static_cast<double>(frameDuration.value);
            info.durationMs = asset->getDurationSeconds() / 0.001;
            info.msPerFrame = 1000.0 / info.fps;
            durationSeconds = asset->getDurationSeconds();

            auto item = std::make_shared<av::PlayerItem>(asset);
            player = av::Player::playerWithPlayerItem(item);
            player->setActionAtItemEnd(av::Player::actionNone);
            item->setDidPlayToEndObserver([this] { playerItemDidReachEnd(); });
            makeOutput();
            if (asset->audioTrackCount() > 0)
            {
                info.hasAudio = true;
                item->setAudioMixVolume(0, 0.0f);
            }
            return true;
        }

        void makeOutput()
        {
            std::shared_ptr<av::PlayerItem> item = player->getCurrentItem();
            if (videoOutput != nullptr)
                item->removeOutput(videoOutput.get());
            videoOutput = std::make_unique<av::PlayerItemVideoOutput>(pixelFormat);
            videoOutput->setSuppressesPlayerRendering(true);
            item->addOutput(videoOutput.get());
        }

        void usePixelFormat(av::FourCharCode format)
        {
            pixelFormat = format;
            {
                std::lock_guard<std::mutex> hold(takenLock);
                taken.reset();
            }
            shownFrame = -1;
            if (player != nullptr)
                makeOutput();
        }

        const Info& getInfo() const { return info; }

        unsigned getTotalFrames() const { return av::wholeFramesIn(durationSeconds, frameDuration); }

        Pixels* generateThumbnail()
        {
            if (player == nullptr)
                return nullptr;
            av::AssetImageGenerator generator(player->getCurrentItem()->getAsset());
            generator.setAppliesPreferredTrackTransform(true);
            std::string error;
            const av::CMTime at = av::CMTimeMakeWithSeconds(info.durationMs * 0.05 / 1000.0, 600);
            av::NSImage image{generator.copyCGImageAtTime(at, nullptr, &error)};
            return OSXImageUtils::NSImageToPixels(&image);
        }

        bool decodeFrame()
        {
            if (player == nullptr || videoOutput == nullptr)
                return false;
            if (player->getStatus() == av::Player::statusFailed)
            {
                forceDecode = false;
                return false;
            }
            if (player->getCurrentItem()->getStatus() != av::PlayerItem::statusReadyToPlay)
            {
                debugPrint("AVFVideoFormatReader.ReaderInternal avplayer currentItem not ready to play yet");
                return false;
            }
            if (player->getStatus() != av::Player::statusReadyToPlay)
            {
                debugPrint("AVFVideoFormatReader.ReaderInternal avplayer not ready to play yet");
                return false;
            }
            // A frame at the output now belongs to the newest seek: it goes
            // before one the feeding thread took earlier.
            std::shared_ptr<av::PixelBuffer> buffer = copyNewFrame();
            long jump = jumpedTo.load();
            {
                std::lock_guard<std::mutex> hold(takenLock);
                if (buffer == nullptr && taken != nullptr && mayShowTaken(jump))
                    buffer = std::move(taken);
                taken.reset();
            }
            if (buffer == nullptr)
                return false;
            shownFrame = buffer->frameIndex;
            // Shown since the jump: the picture goes on from this frame (a
            // newer jump stays).
            jumpedTo.compare_exchange_strong(jump, -1);
            info.width = buffer->getWidth();
            info.height = buffer->getHeight();
            if (pixelFormat == av::pixelFormat64ARGB)
                pixelBuffer = buffer;
            else
            {
                CVOpenGLTextureCache& cache = CVOpenGLTextureCache::getInstance();
                texture.reset();
                cache.flush();
                std::string error;
                if (cache.getCache() != nullptr)
                    texture = cache.getCache()->createTextureFromImage(*buffer, &error);
                if (texture == nullptr)
                    debugPrint("AVFVideoFormatReader: could not create texture from image");
            }
            return true;
        }

        // Feeding thread: takes a frame new at the output (or any, when
        // forced) in, where the next upload finds it whatever the reader is
        // asked meanwhile (a seek asked next clears the output). Until a
        // frame is there, a forced take stays forced and a seek pending.
        bool update()
        {
            std::shared_ptr<av::PixelBuffer> buffer = copyNewFrame();
            if (buffer == nullptr)
                return false;
            std::lock_guard<std::mutex> hold(takenLock);
            takenFor = requestedFrame.load();
            // Held by the hand, a frame below the one asked for while its
            // seek decodes is a stand-in: the seek stays pending.
            takenStandIn = isHeldByHand(direction.load()) && buffer->frameIndex < takenFor && isSeeking();
            taken = std::move(buffer);
            pending = takenStandIn;
            return true;
        }

        // A frame taken for an earlier seek than the newest shows only on
        // the way to the one asked for, in the direction of play, from the
        // frame shown, or from the frame of the newest jump until a frame
        // has shown since: never beyond the play head, never back, never one
        // before the jump's frame (a cue left behind), and after a turn the
        // picture stays until the newest seek's frame is there. A stand-in
        // shows at or below the hand's frame while the hand moves down. With
        // nothing shown, any frame shows.
        bool mayShowTaken(long jump) const
        {
            const long asked = requestedFrame.load(), shown = shownFrame.load();
            const long n = taken->frameIndex;
            if (takenFor == asked || n == asked || shown < 0)
                return true;
            const long from = jump >= 0 ? jump : shown;
            switch (direction.load())
            {
                case playForward:
                    return from <= n && n <= asked;
                case playBackward:
                    return asked <= n && n <= from;
                default:
                    return (std::min(shown, asked) <= n && n <= std::max(shown, asked)) ||
                           (takenStandIn && n <= asked && asked < shown);
            }
        }

        void setDirection(int playDirection)
        {
            if (direction.exchange(playDirection) != playDirection)
                jumpedTo = -1;
            if (av::DecodingSession* session = player != nullptr ? player->getCurrentItem()->getSession() : nullptr)
                session->setFollowsHand(isHeldByHand(playDirection));
        }

        // Any direction but the timeline's own: the user's hand holds the
        // play head.
        static bool isHeldByHand(int playDirection)
        {
            return playDirection != playForward && playDirection != playBackward && playDirection != playRandom &&
                   playDirection != playPause;
        }

        // A seek was asked for whose frame has not been reported new yet.
        bool awaitsFrame() const { return pending; }

        // Before the next seek: the frame the one asked before landed on, as
        // update takes it, once a frame has shown (until then the newest
        // seek's frame is the first to show, whatever landed before).
        bool takeLanded() { return pending && shownFrame.load() >= 0 && update(); }

        // A seek asked for has not landed (its completion has not run).
        bool isSeeking() const { return seeksLanded.load() != seeksAsked.load(); }

        // The frame at the output at the player's time when it is one not
        // copied before, or any when forced; null for none.
        std::shared_ptr<av::PixelBuffer> copyNewFrame()
        {
            if (videoOutput == nullptr)
                return nullptr;
            std::lock_guard<std::mutex> hold(outputLock);
            const av::CMTime itemTime = videoOutput->itemTimeForHostTime(av::CACurrentMediaTime());
            if (! videoOutput->hasNewPixelBufferForItemTime(itemTime) && ! forceDecode)
                return nullptr;
            std::shared_ptr<av::PixelBuffer> buffer = videoOutput->copyPixelBufferForItemTime(itemTime, nullptr);
            if (buffer != nullptr)
                forceDecode = false;
            return buffer;
        }

        const TextureFormat* getTextureFormat() const
        {
            return pixelFormat == av::pixelFormat64ARGB ? &Texture::RGBA16I : nullptr;
        }

        bool updateTexture(Texture& target)
        {
            if (! decodeFrame())
                return false;
            if (texture != nullptr)
            {
                // A texture that owns its GL name (a pooled one) would lose it
                // to the adoption, and hand the cache's name on when pooled again.
                if (target.isValid() && ! target.isForeign())
                {
                    logPrint(logError, "AVFVideoFormatReader: cannot adopt a frame into a texture that owns its "
                                       "GL texture");
                    return false;
                }
                info.flipped = texture->isFlipped();
                target.setGLData(texture->getWidth(), texture->getHeight(), texture->getWidth(), texture->getHeight(),
                                 static_cast<long>(texture->getTarget()), static_cast<long>(texture->getName()),
                                 pixelFormat == av::pixelFormat422YpCbCr8 ? internalFormatYCbCr422
                                                                          : internalFormatRGBA8,
                                 filterLinear, filterLinear, true);
                return true;
            }
            if (pixelBuffer != nullptr)
            {
                const int w = pixelBuffer->getWidth(), h = pixelBuffer->getHeight();
                pixelBuffer->lockBaseAddress();
                converted.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4);
                avf::argb64BigEndianToRGBA64(pixelBuffer->getBaseAddress(), pixelBuffer->getBytesPerRow(), w, h,
                                             converted.data());
                bool uploaded = false;
                if (! target.isValid() || target.getWidth() != w || target.getHeight() != h ||
                    target.getFormat() != Texture::RGBA16I)
                {
                    target.release();
                    uploaded = target.create(converted.data(), w, h, Texture::RGBA16I);
                }
                else
                    uploaded = target.update(converted.data(), w, h);
                pixelBuffer->unlockBaseAddress();
                info.flipped = true;
                return uploaded;
            }
            return false;
        }

        void initGL() { CVOpenGLTextureCache::getInstance().init(); }

        void releaseGL()
        {
            pause();
            {
                std::lock_guard<std::mutex> hold(takenLock);
                taken.reset();
            }
            texture.reset();
            shownFrame = -1;
            CVOpenGLTextureCache::getInstance().flush();
            // The output has handed its frame over already: taken again
            // after release, or a paused movie would show nothing.
            forceDecode = true;
        }

        void play()
        {
            if (player != nullptr)
                player->play();
        }

        void pause()
        {
            if (player != nullptr)
                player->pause();
        }

        double getPosition() const { return player != nullptr ? player->currentSeconds() * 1000.0 : 0.0; }

        void seekToPosition(double ms)
        {
            const long frame = info.msPerFrame > 0.0 ? static_cast<long>(std::max(ms, 0.0) / info.msPerFrame) : 0L;
            tellWay(frame);
            requestedFrame = frame;
            pending = true;
            if (player != nullptr)
                player->seekToTime(av::CMTimeMakeWithSeconds(ms / 1000.0, 600), av::kCMTimeZero, av::kCMTimeZero,
                                   countSeek());
        }

        // Exactly to the frame's start: a time rounded to the position's
        // time scale can fall just before it and show the frame before.
        void seekToFrame(long frame)
        {
            const av::CMTime start = av::CMTimeMultiply(frameDuration, std::max(frame, 0L));
            if (player == nullptr || ! start.valid)
                return;
            frame = std::max(frame, 0L);
            tellWay(frame);
            // Half a second or more from where play at 1x in its direction
            // takes the frame asked before by now: a jump.
            const long before = requestedFrame.load();
            const double now = av::CACurrentMediaTime();
            const int way = direction == playForward ? 1 : direction == playBackward ? -1 : 0;
            const double played = before + way * (now - requestedAt) * info.fps;
            if (before >= 0 && std::fabs(static_cast<double>(frame) - played) > std::max(2.0, info.fps / 2.0))
                jumpedTo = frame;
            requestedFrame = frame;
            requestedAt = now;
            pending = true;
            player->seekToTime(start, av::kCMTimeZero, av::kCMTimeZero, countSeek());
        }

        void playerItemDidReachEnd() { seekToPosition(0.0); }

        // A seek still under way while the play head moves on is replaced by
        // one to the play head's frame: the decoding meets the play head
        // there, not at a frame it has passed. Played backwards always;
        // forwards while the decoding under way goes on to the frame, at
        // most a second on from the frame read (a decoder slower than the
        // play head still lands). Feeding thread.
        void follow(long frame)
        {
            const int way = direction.load() == playForward ? 1 : direction.load() == playBackward ? -1 : 0;
            const long asked = requestedFrame.load();
            if (way == 0 || ! isSeeking() || frame < 0 || way * (frame - asked) <= 0)
                return;
            if (way > 0)
            {
                if (asked != followedTo)
                    followedFrom = asked;
                av::DecodingSession* session = player != nullptr ? player->getCurrentItem()->getSession() : nullptr;
                const av::CMTime start = av::CMTimeMultiply(frameDuration, frame);
                const av::CMTime second = av::CMTimeMultiply(frameDuration, frame - followedFrom);
                if (session == nullptr || ! start.valid || ! second.valid || av::CMTimeGetSeconds(second) > 1.0 ||
                    ! session->decodesOnTo(av::CMTimeGetSeconds(start)))
                    return;
                followedTo = frame;
            }
            seekToFrame(frame);
        }

    private:
        // Tells the decoding session the picture's way before a seek to
        // frame: from the frame shown in the direction of play, or from
        // frame itself when it lies against that direction (a cue, a loop,
        // a turn), so a seek under way whose frame is left behind is given
        // up for this one.
        void tellWay(long frame)
        {
            av::DecodingSession* session = player != nullptr ? player->getCurrentItem()->getSession() : nullptr;
            if (session == nullptr)
                return;
            const int playDirection = direction.load();
            const int way = playDirection == playForward ? 1 : playDirection == playBackward ? -1 : 0;
            long from = way == 0 ? -1 : shownFrame.load();
            if (from >= 0 && ((way > 0 && frame < from) || (way < 0 && frame > from)))
                from = frame;
            session->setPictureWay(from, way);
        }

        // Counts the seek as asked for; the completion counts it landed
        // (cancelled ones too). Completions end before the internal does: its
        // destructor cancels the seeks still pending.
        std::function<void(bool)> countSeek()
        {
            ++seeksAsked;
            return [this](bool) { ++seeksLanded; };
        }

        std::shared_ptr<av::Player> player;
        std::unique_ptr<av::PlayerItemVideoOutput> videoOutput;
        av::CVOpenGLTextureRef texture;
        std::shared_ptr<av::PixelBuffer> pixelBuffer;
        av::FourCharCode pixelFormat = av::pixelFormat422YpCbCr8;
        av::CMTime frameDuration;
        double durationSeconds = 0.0;
        // The newest frame the feeding thread took from the output, not
        // uploaded yet.
        std::mutex takenLock;
        std::shared_ptr<av::PixelBuffer> taken;
        // The frame the newest seek asked for when it was taken, and
        // whether it came as a stand-in for that frame.
        long takenFor = -1;
        bool takenStandIn = false;
        // The frame of the newest seek asked for (feeding thread), the frame
        // uploaded last (render thread; -1 for none) and the direction of
        // play (any value but forwards and backwards for none).
        std::atomic<long> requestedFrame{-1};
        std::atomic<long> shownFrame{-1};
        // The frame of the newest jump (-1 for none, and once a frame has
        // shown since), and when the newest seek was asked for (feeding
        // thread).
        std::atomic<long> jumpedTo{-1};
        // Playing forwards, the frame read that follow went on from, and the
        // frame it went on to last (feeding thread).
        long followedFrom = -1, followedTo = -1;
        double requestedAt = 0.0;
        std::atomic<int> direction{playPause};
        // Taken while a frame is copied from the output: by the feeding or
        // the render thread, not both.
        std::mutex outputLock;
        // Set on release: the next take copies the frame at the output even
        // if it was copied before.
        std::atomic<bool> forceDecode{false};
        std::atomic<bool> pending{false};
        std::atomic<unsigned> seeksAsked{0}, seeksLanded{0};
        int textureMode = 0;
        Info info;
        std::vector<std::uint16_t> converted;
    };

    //==============================================================================
    AVFVideoFormatReader::AVFVideoFormatReader(const File& readFile)
        : VideoFormatReader(readFile, "AV Foundation video file"), internal(std::make_unique<ReaderInternal>())
    {
        internal->initWithTextureMode(0);
        opened = internal->openFile(readFile.getFullPath());
        if (opened)
            updateInfo();
    }

    AVFVideoFormatReader::AVFVideoFormatReader(const File& readFile, std::shared_ptr<av::Asset> asset)
        : VideoFormatReader(readFile, "AV Foundation video file"), internal(std::make_unique<ReaderInternal>())
    {
        internal->initWithTextureMode(0);
        opened = internal->openAsset(std::move(asset));
        if (opened)
            updateInfo();
    }

    AVFVideoFormatReader::~AVFVideoFormatReader() = default;

    bool AVFVideoFormatReader::canPlaybackAsset(const File& file, bool& containsAudio)
    {
        return ReaderInternal::canPlaybackAsset(file.getFullPath(), containsAudio);
    }

    void AVFVideoFormatReader::updateInfo()
    {
        const ReaderInternal::Info& info = internal->getInfo();
        textureWidth = static_cast<unsigned short>(info.width);
        textureHeight = static_cast<unsigned short>(info.height);
        fps = info.fps;
        length = info.durationMs;
        msecPerFrame = info.msPerFrame;
        flipped = info.flipped;
        codecName = info.codecName;
        hasAudio = info.hasAudio;
        swizzleMode = info.swizzleMode;
        setBitDepth(info.bytesPerPixel);
        setHasAlpha(true);
        textureFormat = internal->getTextureFormat();
    }

    bool AVFVideoFormatReader::init(int, int)
    {
        internal->initGL();
        internal->seekToPosition(0.0);
        internal->pause();
        // The player is back at the start: the next read seeks to the play
        // head even when it is on the frame read before.
        setCurrentFrame(-1);
        return true;
    }

    void AVFVideoFormatReader::release()
    {
        internal->releaseGL();
    }

    unsigned AVFVideoFormatReader::getTotalFrames()
    {
        return internal->getTotalFrames();
    }

    bool AVFVideoFormatReader::readFrame(double positionMs)
    {
        const double msPerFrame = internal->getInfo().msPerFrame;
        if (msPerFrame <= 0.0)
            return false;
        const long frame = av::saturatingCast<long>(frameLookupTime(positionMs) / msPerFrame);
        // The seek lands on the backend's worker: the frame asked for earlier
        // is new once it has arrived.
        if (frame == currentFrame.load())
            return internal->awaitsFrame() && internal->update();
        // The frame landed for the seek asked before is taken in before this
        // seek clears the output (a hand or play head moving on every read
        // would leave none to show); the next upload judges it.
        const bool tookLanded = internal->takeLanded();
        internal->seekToFrame(frame);
        setCurrentFrame(frame);
        return internal->update() || tookLanded;
    }

    bool AVFVideoFormatReader::followPlayHead(double positionMs)
    {
        // The frame read stays the reader's: read again, it hands over what
        // lands.
        long frame = -1;
        if (frameAtPosition(positionMs, frame))
            internal->follow(frame);
        return false;
    }

    bool AVFVideoFormatReader::isAwaitingFrame()
    {
        // Its frame taken in, a seek is done for the reader though its
        // completion has not run yet; a seek that lands on no frame is done
        // once it completes.
        return internal->awaitsFrame() && internal->isSeeking();
    }

    void AVFVideoFormatReader::setPlaybackDirection(ParamPlayDirection direction)
    {
        internal->setDirection(direction);
    }

    bool AVFVideoFormatReader::keepsFramesRead() const
    {
        return true;
    }

    bool AVFVideoFormatReader::updateTextureInternal(Texture* texture)
    {
        const bool updated = internal->updateTexture(*texture);
        if (! updated)
            CVOpenGLTextureCache::getInstance().flush();
        else
            updateFrameInfo();
        return updated;
    }

    void AVFVideoFormatReader::updateFrameInfo()
    {
        // Only what a frame can change, and only when it does: the feeding
        // thread reads the other fields meanwhile.
        const ReaderInternal::Info& info = internal->getInfo();
        if (textureWidth != info.width || textureHeight != info.height)
        {
            textureWidth = static_cast<unsigned short>(info.width);
            textureHeight = static_cast<unsigned short>(info.height);
        }
        if (flipped != info.flipped)
            flipped = info.flipped;
    }

    std::shared_ptr<Pixels> AVFVideoFormatReader::getCustomThumbnail()
    {
        return std::shared_ptr<Pixels>(internal->generateThumbnail());
    }

    double AVFVideoFormatReader::getPlayerPosition() const
    {
        return internal->getPosition();
    }

    void AVFVideoFormatReader::usePixelFormat(std::uint32_t pixelFormat)
    {
        internal->usePixelFormat(pixelFormat);
        textureFormat = internal->getTextureFormat();
    }
}
