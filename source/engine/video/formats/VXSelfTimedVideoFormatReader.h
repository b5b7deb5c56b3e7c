#pragma once

#include "core/VXCriticalSection.h"
#include "core/VXScopedPointer.h"
#include "engine/video/formats/VXSelfTimedPlayer.h"
#include "engine/video/formats/VXVideoFormatReader.h"

#include <optional>
#include <string>

namespace vx
{
    // A reader over a player that runs on its own clock: reading a frame
    // asks the player for it, uploading takes whatever the player has. Every
    // call without a player answers 0, false or null. Reads (feeding thread),
    // uploads (render thread) and init's new player are serialised by the
    // reader's lock.
    class SelfTimedVideoFormatReader : public VideoFormatReader
    {
    public:
        // codecPrefix starts the codec name ("<prefix> <codec>").
        SelfTimedVideoFormatReader(const File& file, const std::string& formatName, const std::string& codecPrefix);
        ~SelfTimedVideoFormatReader() override;

        // Makes the player for the file and takes its facts; false when it is
        // not valid.
        bool initialize(bool unused);
        virtual bool initialize(bool unused, Purpose purpose);
        // The platform's player for the path; null when there is none.
        virtual SelfTimedPlayer* createPlayerFromPath(const char* path) = 0;

        using VideoFormatReader::init;
        bool init(int width, int height) override;
        bool readFrame(double positionMs) override;
        bool isAwaitingFrame() override;
        bool isCatchingUp() override;
        bool followPlayHead(double positionMs) override;
        bool updateTextureInternal(Texture* texture) override;
        int getTextureWidth() const override;
        unsigned getTotalFrames() override;
        unsigned char* getFrame();
        void releaseFrame();
        // Both are told to every player made later too. A new direction has
        // the play head's frame read again, to be followed in it.
        void setPlaybackSpeed(float speed) override;
        void setPlaybackDirection(ParamPlayDirection direction) override;
        void release() override;

        // The codec's display name for a player's code; empty when unknown.
        static std::string getCodecDisplayName(std::uint32_t fourCC);

    private:
        // Tells the player the direction; one that cannot play backwards is
        // paused instead and follows the play head by seeks.
        static void direct(SelfTimedPlayer& target, ParamPlayDirection newDirection);

        CriticalSection lock;
        ScopedPointer<SelfTimedPlayer> player;
        std::optional<float> speed;
        std::optional<ParamPlayDirection> direction;
        unsigned totalFrames = 0xFFFFFFFFu;
        std::string codecPrefix;
    };
}
