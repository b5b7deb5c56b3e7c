#pragma once

#include "engine/video/formats/VXSelfTimedVideoFormatReader.h"

namespace vx
{
    // Movies without sound: a self-timed reader over an AVFPlayer. Its frames
    // are adopted GL textures, so it names no texture format: texture buffers
    // then hand it plain textures, never pooled ones.
    class AVFSelfTimedVideoFormatReader : public SelfTimedVideoFormatReader
    {
    public:
        explicit AVFSelfTimedVideoFormatReader(const File& file);

        SelfTimedPlayer* createPlayerFromPath(const char* path) override;
        bool hasCustomThumbnail() const override { return true; }
        bool needsActiveOpenGLContextForCreationOfThumbnail() const override { return false; }
        std::shared_ptr<Pixels> getCustomThumbnail() override;

    private:
        std::shared_ptr<Pixels> thumbnailOf(const char* path);
    };
}
