#pragma once

#include "core/VXCriticalSection.h"
#include "engine/video/formats/VXFramesBufferer.h"

#include <cstddef>

namespace vx
{
    // Decodes the requested frame on the requesting thread into one buffer.
    // getFrame holds the bufferer's lock until releaseFrame, so a new decode
    // never overwrites a frame being uploaded.
    class SingleFrameBufferer : public FramesBufferer
    {
    public:
        explicit SingleFrameBufferer(FrameSource& frameSource);
        ~SingleFrameBufferer() override;

        // Makes the buffer when missing, prepares frame i and decodes it; a
        // failed preparation or decode leaves no current frame.
        void frameRequested(unsigned frame) override;
        // Enters the lock and answers the decoded frame (null when none),
        // leaving the lock held for releaseFrame.
        unsigned char* getFrame(unsigned frame) override;
        void releaseFrame() override;
        void clearBuffer() override;
        void initializeBuffer() override;

    private:
        CriticalSection lock;
        unsigned char* buffer = nullptr;
        std::size_t bufferSize = 0;
        unsigned char* current = nullptr;
    };
}
