#pragma once

#include "core/VXScopedPointer.h"
#include "engine/video/formats/VXQMVFileFormat.h"
#include "engine/video/formats/VXVideoFormatReader.h"

#include <cstdint>
#include <vector>

namespace vx
{
    class HardwareBuffer;
    class InputStream;
    class QMVDecompressor;
    class WaitableEvent;

    // Plays a QMV movie. DXT frames are decoded one frame ahead on a task
    // into the second of two pixel-unpack buffers while the first is shown;
    // YCoCg frames (needsShader) stay in the reader's memory and are drawn by
    // the decompressor through renderInternal, decoded when asked for.
    //
    // The file is opened and checked at construction (isOpened). init,
    // readFrame, updateTexture, renderInternal and release run on the thread
    // with the GL context current: readFrame maps buffers. The pre-read task
    // touches only the mapped buffer and the reader's own byte buffers, and
    // every call that needs them waits for it first, as does the destructor.
    // Without a task manager the next frame is decoded at once instead.
    class QMVVideoFormatReader : public VideoFormatReader
    {
    public:
        explicit QMVVideoFormatReader(const File& file);
        // Waits for a running pre-read; the pixel-unpack buffers left by a
        // reader not released go to the GPU-object manager.
        ~QMVVideoFormatReader() override;

        // Allocates the byte buffers and, unless needsShader, the two
        // pixel-unpack buffers. False when the file did not open.
        bool init(int width, int height) override;
        // Waits for the pre-read, frees the buffers (the GL ones too).
        void release() override;
        // Decodes the frame at positionMs (or takes it from the pre-read when
        // it is that frame) and starts the pre-read of the next one, wrapping
        // to 0 after the last. False for no new frame or one that cannot be
        // read or decoded.
        bool readFrame(double positionMs) override;
        // Uploads the last frame decoded from its pixel-unpack buffer into a
        // texture of the reader's format and at least its size. Frames that
        // need the shader are not uploaded: they go through renderInternal.
        bool updateTextureInternal(Texture* texture) override;
        // Draws the last decoded frame through the decompressor.
        bool renderInternal(Renderer& renderer) override;

        unsigned getTotalFrames() override { return record.frameTable.count; }
        // The decompressor's sizes, padded to 16.
        int getTextureWidth() const override;
        int getTextureHeight() const override;
        bool isBuffering() const override { return true; }

        // Reads frame index and decodes it into the reader's memory (made when
        // missing), refusing a frame cut short or of another kind than the
        // stream's. Not while a pre-read runs: on readFrame's thread, or
        // before init.
        bool decodeFrame(unsigned index);
        // The last frame decoded (getDecodedSize bytes); null before any.
        const unsigned char* getDecodedFrame() const { return decoded.empty() ? nullptr : decoded.data(); }
        unsigned long getDecodedSize() const { return decodedSize; }

        const QMVFileFormat& getRecord() const { return record; }
        QMVDecompressor* getDecompressor() const { return decompressor.get(); }

    private:
        bool openFile(const File& file);
        // decodeFrame, then unless needsShader on into the mapped buffer.
        // Runs on a task thread for pre-reads.
        bool readAndDecompress(unsigned index);
        bool allocateFrameMemory();
        void preReadFrame();
        // Waits for and drops a pending pre-read.
        void waitForPreRead();
        // The buffer of index, unmapped first if it still is; null (logged)
        // when GL gives no mapping.
        void* mapBuffer(int index);
        void unmapBuffer(int index);
        void startPreRead(unsigned frame);
        void releaseBuffers();

        ScopedPointer<InputStream> stream;
        QMVFileFormat record;
        int frameType = 0;
        std::uint32_t maxFrameSize = 0;
        std::vector<unsigned char> compressed;
        ScopedPointer<QMVDecompressor> decompressor;
        std::vector<unsigned char> decoded;
        unsigned long decodedSize = 0;
        HardwareBuffer* buffers[2] = {nullptr, nullptr};
        unsigned char* mapped = nullptr;
        int fillIndex = 1;
        // The frame the buffer filled last holds, -1 when none or it failed.
        long filledFrame = -1;
        unsigned nextFrame = 0;
        bool preReadOk = false;
        ScopedPointer<WaitableEvent> pendingPreRead;
    };
}
