#include "engine/video/codecs/VXDXTCompression.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <new>

// stb's block encoder, compiled once here with external linkage: the engine's
// one DXT block encoder, which tests and benchmarks call as the baseline.
#define STB_DXT_IMPLEMENTATION
#include <stb/stb_dxt.h>

#include "core/VXLog.h"
#include "core/VXSystem.h"
#include "core/VXThread.h"

using qmv::imin;
using qmv::rygCompress;

namespace
{
    using Byte = std::uint8_t;

    // High quality (2), no dithering (1 clear).
    constexpr int stbMode = 10;

    // Rows of source columns (or rows) to read for 1, 2, 3 and 4 or more
    // remaining ones: an edge block repeats what the image has.
    constexpr int extractBlockRem[16] = {0, 0, 0, 0, 0, 1, 0, 1, 0, 1, 2, 0, 0, 1, 2, 3};

    // The 4 x 4 block at (x, y) as 16 RGBA pixels.
    void extractBlock(const Byte* src, int x, int y, int width, int height, Byte* block)
    {
        const std::size_t rowBytes = std::size_t(width) * 4;
        const Byte* corner = src + std::size_t(y) * rowBytes + std::size_t(x) * 4;
        if (width - x >= 4 && height - y >= 4)
        {
            for (int r = 0; r < 4; ++r)
                std::memcpy(block + r * 16, corner + r * rowBytes, 16);
            return;
        }
        const int* rows = extractBlockRem + 4 * (imin(height - y, 4) - 1);
        const int* columns = extractBlockRem + 4 * (imin(width - x, 4) - 1);
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                std::memcpy(block + (r * 4 + c) * 4, corner + std::size_t(rows[r]) * rowBytes + columns[c] * 4, 4);
    }

    std::size_t blockRowBytes(int width, bool alpha) { return std::size_t((width - 1) / 4 + 1) * (alpha ? 16 : 8); }

    //==============================================================================
    // Strips

    // A strip's thread: a session's, or one made for a single frame.
    class CompressionWorker final : public vx::Thread
    {
    public:
        CompressionWorker(qmv::Job& jobToServe, void (*bodyToRun)(void*))
            : Thread("DXT Compression"), job(jobToServe), body(bodyToRun)
        {
        }

        // The body returns once its session stops running (or after its one
        // strip), so this join has no bound.
        ~CompressionWorker() override { stopThreadNow(); }

        void requestThreadStop() override
        {
            Thread::requestThreadStop();
            job.wake.trigger();
        }

    protected:
        void run() override { body(&job); }

    private:
        qmv::Job& job;
        void (*body)(void*);
    };

    // Splits height into strips: whole 16-row bands shared between at most
    // `threads` strips (one thread left for a remainder of bands), and the rows
    // below the last band as a final strip. False when memory runs out.
    bool buildSplit(qmv::Session& session, int width, int height, bool alpha, int threads)
    {
        session.alpha = alpha;
        session.width = width;
        session.height = height;
        session.threads = threads;
        const int bands = height / 16;
        int full = 0, bandsPerJob = 0, remainder = 0;
        if (bands > 0)
        {
            full = imin(bands, threads);
            bandsPerJob = bands / full;
            remainder = bands % full;
            if (remainder != 0 && full == threads)
            {
                full = threads - 1;
                bandsPerJob = bands / full;
                remainder = bands % full;
            }
        }
        session.numFullJobs = full;
        session.rowsPerJob = bandsPerJob * 16;
        session.rowsLastJob = remainder * 16;
        session.tailRows = height % 16;
        session.jobCount = full + (remainder != 0 ? 1 : 0) + (session.tailRows != 0 ? 1 : 0);
        session.srcBytesPerJob = std::size_t(width) * std::size_t(session.rowsPerJob) * 4;
        session.dstBytesPerJob = std::size_t(session.rowsPerJob / 4) * blockRowBytes(width, alpha);
        session.jobs = new (std::nothrow) qmv::Job[std::size_t(session.jobCount)];
        if (session.jobs == nullptr)
        {
            session.jobCount = 0;
            return false;
        }
        for (int i = 0; i < session.jobCount; ++i)
        {
            qmv::Job& job = session.jobs[i];
            job.index = i;
            job.session = &session;
            job.width = width;
            job.rows = i < full ? session.rowsPerJob : i == full && remainder != 0 ? session.rowsLastJob
                                                                                   : session.tailRows;
        }
        return true;
    }

    bool isTail(const qmv::Session& session, const qmv::Job& job)
    {
        return session.tailRows != 0 && job.index == session.jobCount - 1;
    }

    // Points every strip at its rows of this frame.
    void fillJobs(qmv::Session& session, Byte* dst, const Byte* src)
    {
        const std::size_t rowBlocks = blockRowBytes(session.width, session.alpha);
        int row = 0;
        for (int i = 0; i < session.jobCount; ++i)
        {
            qmv::Job& job = session.jobs[i];
            job.src = src + std::size_t(row) * std::size_t(session.width) * 4;
            job.dst = dst + std::size_t(row / 4) * rowBlocks;
            row += job.rows;
        }
    }

    // Runs the strips that have no thread, then waits for the others.
    void runCallerJobsAndWait(qmv::Session& session)
    {
        for (int i = 0; i < session.jobCount; ++i)
        {
            qmv::Job& job = session.jobs[i];
            if (job.worker == nullptr)
            {
                rygCompress(job.dst, job.src, job.width, job.rows, session.alpha);
                job.done.store(1, std::memory_order_release);
            }
        }
        // Every worker triggers the event after setting its flag, and a
        // trigger with nobody waiting stays pending: no wake-up is lost.
        for (int i = 0; i < session.jobCount; ++i)
            while (session.jobs[i].done.load(std::memory_order_acquire) == 0)
                session.jobFinished.waitForTrigger();
    }

    void warnSchedulingRefused()
    {
        static std::atomic<bool> warned{false};
        if (! warned.exchange(true))
            vx::logPrint(vx::logWarning,
                         "DXT compression: round-robin scheduling refused; session threads run at the default "
                         "policy.");
    }

    // Starts a thread per band strip; a strip whose thread cannot start stays
    // with the caller.
    void startWorkers(qmv::Session& session, void (*body)(void*), bool roundRobin)
    {
        bool refused = false;
        for (int i = 0; i < session.jobCount; ++i)
        {
            qmv::Job& job = session.jobs[i];
            if (isTail(session, job))
                continue;
            auto* worker = new (std::nothrow) CompressionWorker(job, body);
            if (worker != nullptr && ! worker->startThread(0))
            {
                delete worker;
                worker = nullptr;
            }
            if (worker != nullptr && roundRobin && ! worker->setPriority(10))
                refused = true;
            job.worker = worker;
        }
        if (refused)
            warnSchedulingRefused();
    }

    void stopWorkers(qmv::Session& session)
    {
        session.running.store(false, std::memory_order_release);
        for (int i = 0; i < session.jobCount; ++i)
            session.jobs[i].wake.trigger();
        for (int i = 0; i < session.jobCount; ++i)
        {
            delete session.jobs[i].worker;
            session.jobs[i].worker = nullptr;
        }
        delete[] session.jobs;
        session.jobs = nullptr;
        session.jobCount = 0;
    }
}

void qmv::rygInit() {}

void qmv::rygCompress(std::uint8_t* dst, const std::uint8_t* src, int width, int height, int alpha)
{
    if (dst == nullptr || src == nullptr || width <= 0 || height <= 0)
        return;
    const int stbAlpha = alpha != 0 ? 1 : 0;
    const int blockBytes = alpha != 0 ? 16 : 8;
    Byte block[64];
    for (int y = 0; y < height; y += 4)
        for (int x = 0; x < width; x += 4)
        {
            extractBlock(src, x, y, width, height, block);
            stb_compress_dxt_block(dst, block, stbAlpha, stbMode);
            dst += blockBytes;
        }
}

void qmv::rgbToYCoCgBlock(std::uint8_t* out, const std::uint8_t* in)
{
    for (int i = 0; i < 16; ++i)
    {
        const int r = in[4 * i], g = in[4 * i + 1], b = in[4 * i + 2];
        const int t = r + 1 - b;
        const int co = t == 256 ? 255 : ((t >> 1) + 128) & 0xFF;
        const int s = (r + b + 2) >> 2;
        const int halfG = (g + 1) >> 1;
        const int y = imin(s + halfG, 255);
        const int cg = imin(halfG + 128 - s, 255);
        out[4 * i] = Byte(co);
        out[4 * i + 1] = Byte(cg);
        out[4 * i + 2] = 0;
        out[4 * i + 3] = Byte(y);
    }
}

void qmv::rygCompressYCoCg(std::uint8_t* dst, const std::uint8_t* src, int width, int height)
{
    if (dst == nullptr || src == nullptr || width <= 0 || height <= 0)
        return;
    const std::size_t rowBytes = std::size_t(((4 * width - 4) & ~15) + 16);
    Byte block[64], converted[64];
    for (int y = 0; y < height; y += 4)
        for (int x = 0; x < width; x += 4)
        {
            extractBlock(src, x, y, width, height, block);
            rgbToYCoCgBlock(converted, block);
            stb_compress_dxt_block(dst + std::size_t(y / 4) * rowBytes + std::size_t(x / 4) * 16, converted, 1,
                                   stbMode);
        }
}

void qmv::linearize(std::uint8_t* dst, const std::uint8_t* src, int pixels)
{
    if (dst == nullptr || src == nullptr || pixels <= 0)
        return;
    Byte table[256];
    for (int v = 0; v < 256; ++v)
    {
        const double x = v / 255.0;
        const double linear = x < 0.04045 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4);
        table[v] = Byte(std::floor(std::sqrt(linear) * 255.0 + 0.5));
    }
    const std::size_t count = std::size_t(pixels) * 4;
    for (std::size_t i = 0; i < count; ++i)
        dst[i] = table[src[i]];
}

namespace qmv
{
    int getNumCores() { return int(vx::System::getNumParallelThreads()); }

    Session* beginCompressionPersistent() { return new (std::nothrow) Session(); }

    void compressMultiThreadedPersistent(Session* session, std::uint8_t* dst, const std::uint8_t* src, int width,
                                         int height, bool alpha, int threads)
    {
        if (session == nullptr || dst == nullptr || src == nullptr || width <= 0 || height <= 0)
            return;
        if (threads < 1)
            threads = 1;
        if (session->running.load(std::memory_order_acquire) &&
            (session->width != width || session->height != height || session->alpha != alpha ||
             session->threads != threads))
            stopWorkers(*session);
        if (! session->running.load(std::memory_order_acquire))
        {
            rygInit();
            if (! buildSplit(*session, width, height, alpha, threads))
            {
                rygCompress(dst, src, width, height, alpha);
                return;
            }
            // Set first: a worker that finds it clear leaves at once.
            session->running.store(true, std::memory_order_release);
            startWorkers(*session, &compressionThread, true);
        }
        fillJobs(*session, dst, src);
        for (int i = 0; i < session->jobCount; ++i)
        {
            Job& job = session->jobs[i];
            if (job.worker != nullptr)
            {
                job.done.store(0, std::memory_order_release);
                job.wake.trigger();
            }
        }
        runCallerJobsAndWait(*session);
    }

    void endCompressionPersistent(Session** session)
    {
        if (session == nullptr || *session == nullptr)
            return;
        stopWorkers(**session);
        delete *session;
        *session = nullptr;
    }

    void compressMultiThreaded(std::uint8_t* dst, const std::uint8_t* src, int width, int height, bool alpha,
                               int threads)
    {
        if (dst == nullptr || src == nullptr || width <= 0 || height <= 0)
            return;
        rygInit();
        Session session;
        if (! buildSplit(session, width, height, alpha, threads < 1 ? 1 : threads))
        {
            rygCompress(dst, src, width, height, alpha);
            return;
        }
        fillJobs(session, dst, src);
        for (int i = 0; i < session.jobCount; ++i)
            session.jobs[i].done.store(0, std::memory_order_relaxed);
        startWorkers(session, &compressionThreadSingle, false);
        runCallerJobsAndWait(session);
        stopWorkers(session);
    }

    void compressionThread(void* jobPointer)
    {
        Job& job = *static_cast<Job*>(jobPointer);
        Session& session = *job.session;
        while (session.running.load(std::memory_order_acquire))
        {
            if (job.done.load(std::memory_order_acquire) == 0)
            {
                rygCompress(job.dst, job.src, job.width, job.rows, session.alpha);
                job.done.store(1, std::memory_order_release);
                session.jobFinished.trigger();
            }
            else
                job.wake.waitForTrigger();
        }
        job.done.store(1, std::memory_order_release);
        job.exited.store(1, std::memory_order_release);
        session.jobFinished.trigger();
    }

    void compressionThreadSingle(void* jobPointer)
    {
        Job& job = *static_cast<Job*>(jobPointer);
        rygCompress(job.dst, job.src, job.width, job.rows, job.session->alpha);
        job.done.store(1, std::memory_order_release);
        job.session->jobFinished.trigger();
    }
}
