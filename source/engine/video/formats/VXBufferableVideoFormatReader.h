#pragma once

#include "core/VXCriticalSection.h"
#include "core/VXScopedPointer.h"
#include "engine/video/formats/VXFrameSource.h"
#include "engine/video/formats/VXVideoFormatReader.h"

namespace vx
{
    class FramesBufferer;

    // A reader whose frames come through a frame bufferer: the bufferer asks
    // the reader, as a FrameSource, to prepare and decode frames, and the
    // render thread uploads them from the bufferer. Every use of the bufferer
    // happens under the reader's lock; when none is installed, the first
    // request installs a single-frame bufferer.
    class BufferableVideoFormatReader : public VideoFormatReader, public FrameSource
    {
    public:
        // Process-wide: when false, every reader decodes on request.
        static bool BUFFERING_ENABLED;

        // The bufferer argument is not used (callers pass null); the registry
        // installs one through setBufferer.
        BufferableVideoFormatReader(const File& file, const std::string& formatName, FramesBufferer* unused);
        BufferableVideoFormatReader(const std::string& formatName, FramesBufferer* unused);
        // Deletes the bufferers (the block bufferer waits for its work first).
        ~BufferableVideoFormatReader() override;

        // Installs b (owned from now on) while buffering is enabled; otherwise
        // deletes it and installs a single-frame bufferer. Answers whether b
        // was installed.
        bool setBufferer(FramesBufferer* bufferer);

        bool readFrame(double positionMs) override;
        void frameRequested(unsigned frame);
        unsigned char* getFrame(unsigned frame);
        void releaseFrame();

        // Upload the current frame; false without a bufferer, a current frame
        // or decoded data (the current frame is then dropped).
        bool updateTextureInternal(Texture* texture) override;
        bool updatePixelsInternal(std::shared_ptr<Pixels>& pixels) override;
        bool renderInternal(Renderer& renderer) override;
        virtual bool renderInternal(Renderer& renderer, const unsigned char* frame) = 0;

        // Both bases ask for the frame count; concrete readers answer once.
        unsigned getTotalFrames() override = 0;
        bool canServePixels() const override { return true; }
        bool isBuffering() const override { return buffering; }
        using VideoFormatReader::init;
        bool init(int width, int height) override;
        void release() override;

        // 2 (random) and 4 park the block bufferer behind a single-frame one;
        // 0 and 1 (backward, forward) bring it back.
        void setPlaybackDirection(ParamPlayDirection direction) override;
        // A single-frame bufferer stands in until doneThumbnailing.
        void setupForThumbnailing();
        void doneThumbnailing();

        bool hasBufferer() const;
        bool hasParkedBufferer() const;

    protected:
        // Deletes both bufferers, waiting for their work in flight. Derived
        // destructors call it first: the bufferers' tasks call the derived
        // reader, which must still exist while they run.
        void deleteBufferers();

    private:
        // Under the lock: a single-frame bufferer when there is none.
        FramesBufferer& ensureBufferer();
        template <typename Use>
        bool uploadCurrentFrame(Use&& use);

        CriticalSection lock;
        ScopedPointer<FramesBufferer> bufferer;
        ScopedPointer<FramesBufferer> savedBufferer;
        bool buffering = false;
    };
}
