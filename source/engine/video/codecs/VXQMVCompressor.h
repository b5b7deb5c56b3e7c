#pragma once

#include <cstdint>
#include <vector>

#include "core/VXScopedPointer.h"
#include "engine/video/codecs/VXCompressor.h"
#include "engine/video/codecs/VXQMVFrame.h"

namespace vx
{
    class UVAPixelsCompressor;

    // QMV frames of one type. Types 0 to 5 go through the frame codec (DXT
    // types on the compressor's persistent session when multithreading is on);
    // UV maps (type 6) through the UV-map coder and masks (type 7) through
    // LZ4, whose frames answer 0 when their payload does not fit the block
    // data's size. Padded source rows are packed before coding.
    class QMVCompressor : public Compressor
    {
    public:
        // Copies the settings, then writes the type's pixel size and texture
        // format into the caller's.
        QMVCompressor(VideoCodecSettings& streamSettings, qmv::QMVType frameType);
        // Ends the session.
        ~QMVCompressor() override;

        int compressFrame(unsigned char* src, unsigned char* dst, int srcStride) override;
        int getSafeBufferSize() override;
        // Ends the session (later frames make their threads per frame) and
        // clears the statistics.
        void flush() override;

        // Source pixels are A, R, G, B (on by default).
        void setSwizzleWhenCompressing(bool swizzle) { swizzleSource = swizzle; }
        void setEnableMultiThreading(bool enable) { multiThreading = enable; }

    private:
        int compressPlanes(const unsigned char* src, unsigned char* dst, int srcStride);

        qmv::QMVType type;
        qmv::Session* session = nullptr;
        bool swizzleSource = true;
        bool multiThreading = true;
        ScopedPointer<UVAPixelsCompressor> uvCompressor;
        std::vector<std::uint16_t> packedRows;
        double totalBytes = 0.0;
        int frameCount = 0;
    };
}
