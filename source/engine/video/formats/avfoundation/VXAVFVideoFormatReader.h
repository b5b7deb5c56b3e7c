#pragma once

#include "engine/video/formats/VXVideoFormatReader.h"

#include <memory>

namespace vx
{
    namespace av
    {
        class Asset;
    }

    // Movies with sound, read by seeking a paused player to each frame and
    // taking the frame from its video output into a texture of the shared
    // texture cache (the sound stays muted). readFrame runs on the feeding
    // thread, the texture calls on the render thread.
    class AVFVideoFormatReader : public VideoFormatReader
    {
    public:
        explicit AVFVideoFormatReader(const File& file);
        AVFVideoFormatReader(const File& file, std::shared_ptr<av::Asset> asset);
        ~AVFVideoFormatReader() override;

        // The file has a video track the platform plays (and a usable frame
        // rate); containsAudio says whether it has sound.
        static bool canPlaybackAsset(const File& file, bool& containsAudio);

        using VideoFormatReader::init;
        bool init(int width, int height) override;
        void release() override;
        unsigned getTotalFrames() override;
        bool readFrame(double positionMs) override;
        bool isAwaitingFrame() override;
        bool followPlayHead(double positionMs) override;
        bool keepsFramesRead() const override;
        void setPlaybackDirection(ParamPlayDirection direction) override;
        bool updateTextureInternal(Texture* texture) override;
        bool hasCustomThumbnail() const override { return true; }
        bool needsActiveOpenGLContextForCreationOfThumbnail() const override { return false; }
        std::shared_ptr<Pixels> getCustomThumbnail() override;

        // The player's position in ms (0 without a player).
        double getPlayerPosition() const;
        // Replaces the output by one delivering the pixel format ('2vuy' or
        // 'b64a', the CPU path); the texture format follows.
        void usePixelFormat(std::uint32_t pixelFormat);

        class ReaderInternal;

    private:
        void updateInfo();
        void updateFrameInfo();

        std::unique_ptr<ReaderInternal> internal;
    };
}
