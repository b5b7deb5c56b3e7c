#pragma once

#include "engine/behaviours/VXModifierTimeline.h"

namespace vx
{
    class FrameSource;

    // Decodes a reader's frames into memory it owns, ahead of the render
    // thread or on request. Requests come from the reader under the reader's
    // lock; getFrame comes from the render thread and must always be paired
    // with releaseFrame on the same thread.
    class FramesBufferer
    {
    public:
        explicit FramesBufferer(FrameSource& frameSource) : source(frameSource) {}
        virtual ~FramesBufferer() = default;
        FramesBufferer(const FramesBufferer&) = delete;
        FramesBufferer& operator=(const FramesBufferer&) = delete;

        // The playhead moved to frame.
        virtual void frameRequested(unsigned frame) = 0;
        // Ends the use of the bytes getFrame answered.
        virtual void releaseFrame() = 0;
        // The frame's decoded bytes, or null when it has none.
        virtual unsigned char* getFrame(unsigned frame) = 0;
        // Drops every decoded frame (waiting for work in flight).
        virtual void clearBuffer() = 0;
        virtual void initializeBuffer() {}
        virtual void playbackDirectionChanged(ParamPlayDirection) {}

    protected:
        FrameSource& source;
    };
}
