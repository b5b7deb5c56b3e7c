#pragma once

#include "engine/video/formats/VXVideoFormatWriter.h"

namespace vx
{
    // Writes each frame as "sequence_" plus a ten-digit counter plus ".png"
    // into a folder named after the target: its parent plus its name up to
    // the first "." (/a/clip.png and /a/clip both write into /a/clip/).
    // Frames read back from textures arrive top row first.
    class ImagePNGFormatWriter : public VideoFormatWriter
    {
    public:
        // Makes the folder (one level) when missing; not ready when it
        // cannot be made.
        ImagePNGFormatWriter(File& target, float fps, unsigned bitDepth, unsigned width, unsigned height,
                             VideoCodecSettings& settings);
        ~ImagePNGFormatWriter() override;

        bool isReady() const { return ready; }
        // The next numbered file; a failed write keeps the counter, so the
        // next frame takes its name.
        bool write(std::shared_ptr<Pixels> pixels) override;
        using VideoFormatWriter::write;

        const File& getDirectory() const { return directory; }
        unsigned getCounter() const { return counter; }

    private:
        unsigned counter = 1;
        bool ready = false;
        File directory;
    };
}
