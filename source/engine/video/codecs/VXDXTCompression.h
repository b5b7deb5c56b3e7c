#pragma once

// Real-time DXT1 / DXT5 compression of RGBA8 images: the block loops around
// stb_dxt's block encoder (high quality, no dithering), a YCoCg-in-DXT5
// variant, an sRGB conversion, and the multi-threaded forms that split an
// image into horizontal strips, with threads made per frame or kept by a
// persistent session.
//
// Images are tightly packed RGBA8 rows, first row on top. Output is block
// rows top to bottom, blocks left to right: 8 bytes per 4 x 4 block for DXT1,
// 16 for DXT5; a partial block at the right or bottom edge repeats the
// image's last columns or rows. Every form writes the same bytes as
// rygCompress over the whole image.
//
// The functions do not log (but for one line when a session's threads cannot
// have the scheduling they ask for); sizes below 1 write nothing.

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "core/VXWaitableEvent.h"

namespace vx
{
    class Thread;
}

namespace qmv
{
    // The block encoder needs no set-up; kept as the place to do it.
    void rygInit();

    // DXT1 (alpha 0) or DXT5 (alpha non-zero) of the whole image into dst, which
    // holds ceil(width / 4) x ceil(height / 4) blocks.
    void rygCompress(std::uint8_t* dst, const std::uint8_t* src, int width, int height, int alpha);

    // 16 RGBA pixels to the YCoCg layout of one block: per pixel Co, Cg, 0, Y.
    void rgbToYCoCgBlock(std::uint8_t* out, const std::uint8_t* in);

    // YCoCg-in-DXT5 of the whole image (16 bytes per block, as rygCompress with alpha).
    void rygCompressYCoCg(std::uint8_t* dst, const std::uint8_t* src, int width, int height);

    // sRGB bytes to square roots of linear light, pixels x 4 bytes (alpha too);
    // dst may be src.
    void linearize(std::uint8_t* dst, const std::uint8_t* src, int pixels);

    inline int imin(int a, int b)
    {
        return a < b ? a : b;
    }

    struct Session;

    // One strip of an image: rows [k x 16 ...) of the source and their blocks.
    // A job whose worker is null runs on the caller's thread: the final strip
    // of the rows below the last whole 16-row band, or a strip whose thread
    // could not be started.
    struct Job
    {
        std::uint8_t* dst = nullptr;
        const std::uint8_t* src = nullptr;
        int width = 0;
        int rows = 0;
        // Cleared by the caller to hand the strip over, set by the worker once
        // the strip is written.
        std::atomic<std::uint8_t> done{1};
        // Set by a session's worker when it leaves.
        std::atomic<std::uint8_t> exited{0};
        int index = 0;
        Session* session = nullptr;

        vx::Thread* worker = nullptr; // owned
        vx::WaitableEvent wake;       // a strip is ready, or the session ends
    };

    // A persistent compressor: its worker threads and strip split live from
    // the first frame until endCompressionPersistent, and are rebuilt when a
    // frame's width, height, alpha or strip count differs from the last one's.
    // One caller thread at a time.
    struct Session
    {
        bool alpha = false;
        int width = 0;
        int height = 0;
        int threads = 0;             // strips asked for (at least 1)
        Job* jobs = nullptr;         // owned, jobCount records
        int jobCount = 0;            // every strip, the final short one included
        int rowsPerJob = 0;          // rows of each full strip
        int rowsLastJob = 0;         // rows of the shorter whole-band strip (0: none)
        int numFullJobs = 0;
        std::size_t srcBytesPerJob = 0;
        std::size_t dstBytesPerJob = 0;
        std::atomic<bool> running{false};

        int tailRows = 0;            // rows of the final strip (height mod 16)
        vx::WaitableEvent jobFinished;
    };

    // Online processors; at least 1.
    int getNumCores();

    // A new idle session, owned by the caller until endCompressionPersistent.
    Session* beginCompressionPersistent();

    // Compresses one frame with the session's threads (started, or restarted
    // for a new geometry, here) and returns when every strip is written.
    // threads below 1 count as 1. Workers ask for round-robin scheduling at
    // its highest priority; when the system refuses, they keep the default
    // policy and one log line says so. A null session, dst or src does nothing.
    void compressMultiThreadedPersistent(Session* session, std::uint8_t* dst, const std::uint8_t* src, int width,
                                         int height, bool alpha, int threads);

    // Stops and joins the session's threads, frees it and nulls *session;
    // null or a null session does nothing. Not while a frame is compressing.
    void endCompressionPersistent(Session** session);

    // One frame with threads made for it alone.
    void compressMultiThreaded(std::uint8_t* dst, const std::uint8_t* src, int width, int height, bool alpha,
                               int threads);

    // The bodies of the workers (a Job*): a session's, which serves a strip
    // each time its done flag is cleared until the session stops running,
    // and a one-frame thread's, which serves its strip once.
    void compressionThread(void* job);
    void compressionThreadSingle(void* job);
}
