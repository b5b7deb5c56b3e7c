#pragma once

#include <cstddef>
#include <memory>
#include <mutex>

extern "C"
{
    struct AVBufferPool;
    struct AVCodecContext;
    struct AVFrame;
}

// The memory of a decoder's pictures. A movie's store keeps up to its budget
// of them, so a first fill touches that much memory afresh; on 4 KB pages it
// costs a page fault per page, more than the decoding itself on some
// machines. Pictures here come from blocks of 32 MB or more, aligned to 2 MB
// and, for pictures of 512 KB and more, advised for 2 MB pages; they go back
// to a pool for the decoder's next pictures, and the blocks go once the
// decoder is closed and the last picture let go. Formats the decoder cannot
// take in one buffer (palettes, hardware frames, decoders that allocate
// their own) keep the default.
namespace vx::av
{
    class FFmpegPictureMemory
    {
    public:
        FFmpegPictureMemory() = default;
        ~FFmpegPictureMemory();
        FFmpegPictureMemory(const FFmpegPictureMemory&) = delete;
        FFmpegPictureMemory& operator=(const FFmpegPictureMemory&) = delete;

        // Serves codec's pictures from here; before it is opened. This
        // outlives the codec context.
        void serve(AVCodecContext& codec);

        // Faults in a little more of the memory of pictures to come (a large
        // page) while less than bytes of it, and less than pictures of the
        // size asked for last, is ready; false once it is, or when no
        // picture was asked for yet. For a decoder waiting for nothing, so
        // that filling a store later costs no page faults.
        bool warm(std::size_t bytes, std::size_t pictures);

        // Bytes of blocks taken from the system and not yet given back, by
        // every decoder's memory (tests).
        static std::size_t blockBytes();
        // Bytes of them cut into pictures or faulted in beforehand.
        static std::size_t readyBytes();

    private:
        class Blocks;

        static int getBuffer(AVCodecContext* codec, AVFrame* picture, int flags);
        int fill(AVCodecContext& codec, AVFrame& picture);

        std::mutex lock;
        // Pictures of bufferSize bytes; a new size starts a new pool, the old
        // one goes once its pictures are back.
        AVBufferPool* pool = nullptr;
        // The pool's, which frees them once it goes.
        Blocks* blocks = nullptr;
        std::size_t bufferSize = 0;
    };
}
