#pragma once

#include "engine/video/formats/VXVideoFormatWriter.h"

#include <memory>
#include <vector>

namespace vx
{
    class QMVCompressor;

    // Writes QMI images: each write replaces the file with the latest image,
    // one QMV frame behind the 16-byte header. One thread at a time.
    class QMIVideoFormatWriter : public VideoFormatWriter
    {
    public:
        QMIVideoFormatWriter(File& file, float fps, unsigned bitDepth, unsigned width, unsigned height,
                             VideoCodecSettings& settings);
        ~QMIVideoFormatWriter() override;

        // A compressor exists: the settings name the QMV codec, the size is
        // usable and the pixel size is the codec's.
        bool isReady() const { return compressor != nullptr; }
        // False (logged) for pixels of another size or pixel size than the
        // writer's, a frame that does not compress, or a file that cannot be
        // written; a half-written file is removed, an older one stays only
        // when the image did not compress.
        bool write(std::shared_ptr<Pixels> pixels) override;

    private:
        std::unique_ptr<QMVCompressor> compressor;
        std::vector<unsigned char> workBuffer;
    };
}
