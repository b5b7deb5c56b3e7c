#pragma once

#include "engine/video/formats/VXVideoFormatWriter.h"

#include <memory>

namespace vx
{
    class AVFAssetWriter;

    // Records frames into a QuickTime movie ("MOV") through an
    // AVFAssetWriter made with the first frame. Frames read back from
    // textures come flipped, blue first (16-bit frames in their own order).
    class AVFVideoFormatWriter : public VideoFormatWriter
    {
    public:
        AVFVideoFormatWriter(File& file, double fps, unsigned bitDepth, unsigned width, unsigned height,
                             VideoCodecSettings& settings);
        ~AVFVideoFormatWriter() override;

        // False (logged) when the movie cannot be set up or the frame was
        // not taken.
        bool write(std::shared_ptr<Pixels> pixels) override;
        bool isBusy() const override;
        // Finishes the movie file.
        void finishWriting();

        AVFAssetWriter* getAssetWriter() const { return assetWriter.get(); }

    private:
        std::unique_ptr<AVFAssetWriter> assetWriter;
        bool setUpFailed = false;
    };
}
