#pragma once

#include "core/VXCriticalSection.h"
#include "engine/video/formats/VXSelfTimedPlayer.h"

#include <atomic>
#include <memory>

namespace vx
{
    class Pixels;

    namespace av
    {
        struct CMTime;
        class PixelBuffer;
    }

    // Plays a movie on the media framework's own clock at the speed it is
    // given (1 unless told), forwards or backwards, and corrects it with a
    // frame-exact seek to the play head's frame when the requested frame is
    // more than 0.1 s off or the direction turned; paused it holds still on
    // exactly the frame requested, at random on it or the sync frame before
    // it, and once the play head rests there (a hand holding it) on it.
    // Frames come as 4:2:2 buffers through the shared texture cache: the
    // newest decoded at or before the frame last asked for (at or after it
    // backwards), so the picture is never beyond the play head; in the
    // direction of play it never goes back, except as far as the play head
    // jumped or turned, and after a jump on in that direction no frame
    // before the frame jumped to shows. Played forwards, a player at the
    // end while the play head is still in the movie's second half waits
    // there until the play head starts over. stop shows frame 0 once its seek has landed.
    // setRequestedFrame runs on the feeding thread, the texture calls on the
    // render thread, seek completions on the framework's worker.
    // fillTexture answers false while a seek it was asked for has not landed,
    // and while the frame due has not been decoded (the frame before stands
    // in), so a caller tries again rather than keep the frame from before.
    // Held still (paused, at random) the newest frame asked for wins: a frame
    // an earlier seek landed on shows meanwhile when it lies between the one
    // shown and the play head. Told to play backwards, a movie whose backend
    // cannot is held still and follows the play head down with backward
    // play's bounds; one that can, running backwards while the seek of its
    // turn decodes, shows the frame decoded nearest at or above the play head
    // (nothing shown yet, a landed frame there rather than nothing). A jump
    // (against the direction of play, or on in it by more than half a second
    // at the play head's speed) or a
    // turn seeks at once, a seek under way or not; the decoding session is
    // told the picture's way, so a seek whose frame is left behind is given
    // up. followPlayHead keeps the picture to the play head while the caller
    // holds its reads on a seek under way.
    // Deleting the player cancels its seeks and waits for a running
    // completion.
    class AVFPlayer : public SelfTimedPlayer
    {
    public:
        explicit AVFPlayer(const char* path);
        ~AVFPlayer() override;

        void initGL() override;
        unsigned char* getCurrentFrame() override;
        void releaseFrame() override;
        bool fillTexture(Texture& texture) override;
        bool isValid() const override;
        bool isPlaying() const override;
        unsigned getNumFrames() const override;
        double getNominalFrameRate() const override;
        std::uint32_t getCodecFourCC() const override;
        std::int64_t getDuration() const override;
        double getDurationInMilliSeconds() const;
        void setRequestedFrame(long frame) override;
        bool isSeeking() const override;
        bool isCatchingUp() const override;
        void followPlayHead(long frame) override;
        bool restOn(long frame) override;
        bool setDirection(ParamPlayDirection direction) override;
        void setSpeed(float speed) override;
        int getWidth() const override;
        int getHeight() const override;
        bool hasAudio() const override;
        void play() override;
        void pause() override;
        void stop() override;
        void skipToFrame(long) override {}
        bool canScrub() const override;
        bool canFastForward() const override;
        bool canRewind() const override;

        // A new caller-owned picture 5 % into the movie; null when none.
        Pixels* generateThumbnail();

        // The reported codec for a track's media subtype (0 when unlisted).
        static std::uint32_t codecForSubType(std::uint32_t mediaSubType);

        // How long the last corrective seek of any player took, in ms.
        static std::atomic<double> lastSeekTime;

        class ObjCAVFPlayer;

    private:
        // The movie frame shown at a time of the player's (within the movie).
        long frameAt(const av::CMTime& time) const;
        // The item time to take the picture at, and the frame due there.
        av::CMTime pictureTime(long& due);
        // setRequestedFrame with the player's lock held.
        void requestFrame(long frame);
        // The play head's frame taken in (the picture's bounds), no seek.
        void hear(long frame);
        // Frames the play head moves on between two hearings that make a
        // jump (at its speed).
        long jumpFrames() const;
        // The bound after a turn, at the first frame asked for since.
        void takeTurn(long frame);
        // Tells the decoding session the picture's way before a seek to frame.
        void tellWay(long frame);
        // Paused while seeks run: the frame the newest landed seek brought,
        // when it lies between the frame shown and the play head's.
        void showLandedOnTheWay(Texture& texture);
        // Running backwards while a seek runs: the frame decoded nearest at
        // or above the play head, up to the bound (a movie's group decoded
        // for the seek comes frame by frame).
        void showDecodedOnTheWay(Texture& texture);
        // The texture made from a frame, and the texture handed over.
        void makeTexture(const std::shared_ptr<av::PixelBuffer>& buffer);
        bool adoptTexture(Texture& texture);

        CriticalSection lock;
        struct Record;
        std::unique_ptr<Record> record;
    };
}
