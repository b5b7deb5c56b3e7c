#pragma once

#include <cstddef>

namespace vx
{
    // What a frame bufferer decodes from: the second base of every bufferable
    // reader. A bufferer first asks for a block of frames to be prepared (read
    // into the source's memory), then for each prepared frame to be decoded
    // into a buffer of getFrameSize bytes that the bufferer owns. A bufferer
    // never runs two preparations of one source at once.
    class FrameSource
    {
    public:
        virtual ~FrameSource() = default;

        // Prepares up to count frames from first (wrapping past the last frame)
        // and lowers count to the number prepared. buffer is not used by the
        // bufferers (they pass null). Answers whether anything is prepared.
        virtual bool prepareFrames(unsigned first, int& count, unsigned char* buffer) = 0;
        // Decodes the index-th prepared frame into *frame (getFrameSize bytes).
        // False when it cannot: the bufferer then treats the frame as having
        // no data, and what *frame holds is not used.
        virtual bool decompressPreparedFrame(int index, unsigned char** frame) = 0;
        virtual std::size_t getFrameSize() = 0;
        virtual unsigned getTotalFrames() = 0;
    };
}
