#pragma once

#include "engine/behaviours/VXModifierTimeline.h"

#include <cstdint>

namespace vx
{
    class Texture;

    // A movie player that runs on its own clock (the platform's media
    // player): the self-timed reader asks it for frames instead of decoding.
    class SelfTimedPlayer
    {
    public:
        virtual ~SelfTimedPlayer() = default;

        virtual void initGL() = 0;
        // The newest decoded frame's bytes, or null; paired with releaseFrame.
        virtual unsigned char* getCurrentFrame() = 0;
        virtual void releaseFrame() = 0;
        // Fills the texture itself when it has no bytes to hand out.
        virtual bool fillTexture(Texture& texture) = 0;
        virtual bool needsConversionFromYUVToRGBA() const { return false; }
        virtual bool needsConversionFromSequentialYUVtoRGBA() const { return false; }
        virtual bool isValid() const = 0;
        virtual bool isPlaying() const = 0;
        virtual unsigned getNumFrames() const = 0;
        virtual double getNominalFrameRate() const = 0;
        virtual std::uint32_t getCodecFourCC() const = 0;
        // In units of 0.1 microsecond.
        virtual std::int64_t getDuration() const = 0;
        virtual void setRequestedFrame(long frame) = 0;
        // A seek setRequestedFrame started has not landed yet.
        virtual bool isSeeking() const { return false; }
        // No seek under way, the play head's frame in forward or backward
        // play is still being decoded: it shows once the decoder gets there.
        virtual bool isCatchingUp() const { return false; }
        // The play head's frame, heard while the source holds its reads on
        // a seek under way: the picture keeps to it. Players that show only
        // the frame asked for ignore it.
        virtual void followPlayHead(long /*frame*/) {}
        // The play head read again on the frame asked for last: at random
        // (a hand resting), a picture short of it is brought to it by a
        // seek; true when one started.
        virtual bool restOn(long /*frame*/) { return false; }
        virtual bool setDirection(ParamPlayDirection direction) = 0;
        virtual void setSpeed(float speed) = 0;
        virtual int getWidth() const = 0;
        virtual int getHeight() const = 0;
        virtual bool hasAudio() const = 0;
        virtual void play() = 0;
        virtual void pause() = 0;
        virtual void stop() = 0;
        virtual void skipToFrame(long frame) = 0;
        virtual bool canScrub() const = 0;
        virtual bool canFastForward() const = 0;
        virtual bool canRewind() const = 0;
    };
}
