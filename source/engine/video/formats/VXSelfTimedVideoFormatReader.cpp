#include "engine/video/formats/VXSelfTimedVideoFormatReader.h"

#include "core/VXScopedLock.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/formats/VXVideoFormat.h"

namespace vx
{
    SelfTimedVideoFormatReader::SelfTimedVideoFormatReader(const File& readFile, const std::string& name,
                                                           const std::string& prefix)
        : VideoFormatReader(readFile, name), codecPrefix(prefix)
    {
        bitDepth = 3;
        textureFormat = &Texture::RGBA8;
        swizzleMode = 0;
    }

    SelfTimedVideoFormatReader::~SelfTimedVideoFormatReader() = default;

    std::string SelfTimedVideoFormatReader::getCodecDisplayName(std::uint32_t fourCC)
    {
        if (fourCC == fourCCFromText("apch").getCode())
            return "PRORES HQ";
        if (fourCC == fourCCFromText("apcn").getCode())
            return "PRORES SD";
        if (fourCC == fourCCFromText("jpeg").getCode())
            return "MJPEG";
        static const char* const consecutive[] = {"h264",    "h263",  "MPEG-4 1", "MPEG-4 2", "MPEG-4 3",
                                                  "MPEG-2",  "MPEG-1", "WMV 7",   "WMV 8",    "WMV 9",
                                                  "WMS 1",   "HEVC",  "DVC"};
        const std::uint32_t first = fourCCFromText("h264").getCode();
        if (fourCC >= first && fourCC - first < 13)
            return consecutive[fourCC - first];
        return {};
    }

    void SelfTimedVideoFormatReader::direct(SelfTimedPlayer& target, ParamPlayDirection newDirection)
    {
        // A movie that cannot run backwards (one of predicted frames) follows
        // the play head back frame by frame, by seeks to each, as paused.
        if (! target.setDirection(newDirection) && newDirection == playBackward)
            target.setDirection(playPause);
    }

    bool SelfTimedVideoFormatReader::initialize(bool)
    {
        SelfTimedPlayer* made = createPlayerFromPath(file.getFullPath().c_str());
        // The player and its facts change together: a read on another thread
        // sees the old ones or the new ones.
        ScopedLockT<CriticalSection> hold(lock);
        // init makes a new player: it plays as the one before was told to.
        if (made != nullptr && direction)
            direct(*made, *direction);
        if (made != nullptr && speed)
            made->setSpeed(*speed);
        player.reset(made);
        if (! player || ! player->isValid())
            return false;
        // The source reads some facts without the reader's lock: a player
        // made again for the same file leaves them as they are.
        const auto keep = [](auto& field, auto value)
        {
            if (field != value)
                field = value;
        };
        keep(textureWidth, static_cast<unsigned short>(player->getWidth()));
        keep(textureHeight, static_cast<unsigned short>(player->getHeight()));
        keep(hasAudio, player->hasAudio());
        keep(fps, static_cast<double>(player->getNominalFrameRate()));
        keep(needsConversionFromYUVToRGBA, player->needsConversionFromYUVToRGBA());
        keep(needsConversionFromSequentialYUVtoRGBA, player->needsConversionFromSequentialYUVtoRGBA());
        keep(codecName, codecPrefix + " " + getCodecDisplayName(player->getCodecFourCC()));
        keep(flipped, true);
        keep(msecPerFrame, fps > 0.0 ? 1000.0 / fps : 0.0);
        keep(totalFrames, player->getNumFrames());
        // Once opened, the position is the feeding thread's to write.
        if (! opened)
            position = 0.0;
        keep(length, static_cast<double>(player->getDuration()) / 10000.0);
        keep(opened, true);
        return true;
    }

    bool SelfTimedVideoFormatReader::initialize(bool, Purpose)
    {
        return initialize(false);
    }

    bool SelfTimedVideoFormatReader::init(int, int)
    {
        ScopedLockT<CriticalSection> hold(lock);
        if (! initialize(false))
            return false;
        // The new player has been asked for nothing: the next read hands it
        // the play head's frame and starts it, even when that frame is the one
        // the old player was on.
        setCurrentFrame(-1);
        player->initGL();
        return true;
    }

    bool SelfTimedVideoFormatReader::readFrame(double positionMs)
    {
        ScopedLockT<CriticalSection> hold(lock);
        long frame = currentFrame.load();
        if (! updatePosition(positionMs, frame) || ! player)
        {
            // Its seek's frame is new once it lands.
            return player && frameAtPosition(positionMs, frame) && frame == currentFrame.load() &&
                   player->restOn(frame);
        }
        player->setRequestedFrame(frame);
        if (! player->isPlaying())
            player->play();
        setCurrentFrame(frame);
        return true;
    }

    bool SelfTimedVideoFormatReader::isAwaitingFrame()
    {
        ScopedLockT<CriticalSection> hold(lock);
        return player && player->isSeeking();
    }

    bool SelfTimedVideoFormatReader::isCatchingUp()
    {
        ScopedLockT<CriticalSection> hold(lock);
        return player && player->isCatchingUp();
    }

    bool SelfTimedVideoFormatReader::followPlayHead(double positionMs)
    {
        ScopedLockT<CriticalSection> hold(lock);
        if (! player)
            return false;
        long frame = -1;
        if (frameAtPosition(positionMs, frame))
            player->followPlayHead(frame);
        return true;
    }

    bool SelfTimedVideoFormatReader::updateTextureInternal(Texture* texture)
    {
        ScopedLockT<CriticalSection> hold(lock);
        if (! player)
            return false;
        bool result = false;
        if (const unsigned char* data = player->getCurrentFrame())
            result = texture->update(data, 0, 0, getTextureWidth(), getTextureHeight());
        else
            result = player->fillTexture(*texture);
        player->releaseFrame();
        return result;
    }

    int SelfTimedVideoFormatReader::getTextureWidth() const
    {
        return needsConversionFromYUVToRGBA ? textureWidth / 2 : textureWidth;
    }

    unsigned SelfTimedVideoFormatReader::getTotalFrames()
    {
        ScopedLockT<CriticalSection> hold(lock);
        return player ? player->getNumFrames() : 0;
    }

    unsigned char* SelfTimedVideoFormatReader::getFrame()
    {
        ScopedLockT<CriticalSection> hold(lock);
        return player ? player->getCurrentFrame() : nullptr;
    }

    void SelfTimedVideoFormatReader::releaseFrame()
    {
        ScopedLockT<CriticalSection> hold(lock);
        if (player)
            player->releaseFrame();
    }

    void SelfTimedVideoFormatReader::setPlaybackSpeed(float newSpeed)
    {
        ScopedLockT<CriticalSection> hold(lock);
        speed = newSpeed;
        if (player)
            player->setSpeed(newSpeed);
    }

    void SelfTimedVideoFormatReader::setPlaybackDirection(ParamPlayDirection newDirection)
    {
        ScopedLockT<CriticalSection> hold(lock);
        const bool changed = direction != newDirection;
        direction = newDirection;
        if (player)
            direct(*player, newDirection);
        // Read again though the play head stays where it is: the player is
        // asked for its frame in the new direction (paused, exactly that
        // frame) and the source shows what it gives.
        if (changed)
            setCurrentFrame(-1);
    }

    void SelfTimedVideoFormatReader::release()
    {
        ScopedLockT<CriticalSection> hold(lock);
        if (player)
            player->stop();
        player.reset();
        currentFrame.store(-1);
    }
}
