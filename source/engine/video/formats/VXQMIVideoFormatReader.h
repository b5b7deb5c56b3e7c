#pragma once

#include "core/VXCriticalSection.h"
#include "core/VXScopedPointer.h"
#include "engine/video/formats/VXVideoFormatReader.h"

#include <cstdint>
#include <vector>

namespace vx
{
    class QMVDecompressor;
    class VideoCodecInfoQMV;

    // Reads a QMI image: one QMV frame behind a 16-byte header. The
    // constructor reads the header and the frame's own header (isOpened);
    // init reads the whole file, and the image is decoded once and uploaded
    // once after each init. Decoding, uploading and drawing hold the reader's
    // lock: readFrame may run on a feeding thread, the others on the render
    // thread.
    class QMIVideoFormatReader : public VideoFormatReader
    {
    public:
        explicit QMIVideoFormatReader(const File& file);
        ~QMIVideoFormatReader() override;

        // The whole file; false when it cannot be read or no longer holds the
        // image opened (another size or kind of frame).
        bool init(int width, int height) override;
        void release() override;
        // Decodes the image the first time after init; false once it has
        // been uploaded, until the next init.
        bool readFrame(double positionMs) override;
        // Uploads the decoded image into a texture of the reader's format and
        // at least its size; YCoCg images are drawn through renderInternal.
        bool updateTextureInternal(Texture* texture) override;
        bool renderInternal(Renderer& renderer) override;

        unsigned getTotalFrames() override { return 1; }
        // The image's sizes raised to multiples of 16.
        int getTextureWidth() const override { return paddedWidth; }
        int getTextureHeight() const override { return paddedHeight; }

        QMVDecompressor* getDecompressor() const { return decompressor.get(); }
        const unsigned char* getDecompressedBuffer() const { return decoded.empty() ? nullptr : decoded.data(); }

    private:
        bool openFile(const File& file);
        // Up to maxBytes of the file (all of it for 0) replace the buffer;
        // the bytes read, 0 when the file cannot be read or is empty.
        unsigned long readFileToBuffer(unsigned long maxBytes);

        std::vector<unsigned char> bytes;
        static constexpr unsigned long payloadOffset = 16;
        unsigned long payloadSize = 0;
        CriticalSection lock;
        ScopedPointer<VideoCodecInfoQMV> codecInfo;
        ScopedPointer<QMVDecompressor> decompressor;
        std::vector<unsigned char> decoded;
        std::uint32_t imageWidth = 0, imageHeight = 0;
        std::uint16_t paddedWidth = 0, paddedHeight = 0;
        int frameType = 0;
        std::uint32_t fourcc = 0;
        std::uint8_t version = 0;
        bool ready = false;
        bool decodeTried = false;
        bool decodedOk = false;
    };
}
