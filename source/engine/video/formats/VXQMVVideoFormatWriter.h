#pragma once

#include "core/VXScopedPointer.h"
#include "engine/video/formats/VXQMVFileFormat.h"
#include "engine/video/formats/VXVideoFormatWriter.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace vx
{
    class OutputStream;
    class QMVCompressor;
    class WaitableEvent;

    // Records a QMV movie. Frames handed to write are compressed on task
    // threads, at most twice as many at once as the task manager has threads
    // (at once on the caller's thread without a task manager), and stored in
    // the order they were written whatever order they finish in: each task
    // waits for its turn before it writes.
    //
    // With a frame count (direct mode) the header and a table of that many
    // entries go first and the frames straight after; without one the frames
    // go to a temporary file beside the movie (its path followed by "_"),
    // copied behind the header and table when the recording ends. Only a
    // finished recording is marked complete; one that fails leaves no file.
    // Offsets are 32-bit: a frame that would pass them is refused, as are all
    // later ones, and the recording keeps what fits.
    //
    // write and endRecording run on one thread at a time; the destructor ends
    // the recording and waits for its tasks, so it may not run on a task thread.
    class QMVVideoFormatWriter : public VideoFormatWriter
    {
    public:
        QMVVideoFormatWriter(File& file, float fps, unsigned bitDepth, unsigned width, unsigned height,
                             VideoCodecSettings& settings, unsigned frameCount);
        ~QMVVideoFormatWriter() override;

        bool isReady() const { return ready; }
        // Queues the frame. False (logged) when not ready, for pixels of
        // another size or pixel size than the writer's, after a frame was
        // refused for passing the 32-bit offsets, or past the frame count.
        bool write(std::shared_ptr<Pixels> pixels) override;
        // Waits for every frame and finishes the file; once. False when the
        // file could not be finished (or, temporary mode, holds no frame).
        bool endRecording();

        // Called on the task thread with each frame's index after it was
        // compressed and before it waits for its turn (tests delay frames).
        void setFrameCompressedHook(std::function<void(unsigned)> hook) { frameCompressedHook = std::move(hook); }
        unsigned getNumSubmittedFrames() const { return submitted.load(); }

        // Audio appended to a finished movie, its offset and size and the
        // first up to 4 characters of its extension in the header. False, with
        // the header unchanged, for an unfinished movie, no or an empty audio
        // file, an audio file that would pass the 32-bit offsets, or a short copy.
        static bool appendAudioFile(const File& movie, const File& audio);
        // The appended audio into the movie's folder, named after the movie
        // with the stored extension (characters not allowed in a name
        // dropped). False without audio, when that name is the movie's own,
        // or for a short copy.
        static bool extractAudioFile(const File& movie);
        // The thumbnail as a PNG beside the movie, named after it; false for
        // an unfinished movie or an empty thumbnail.
        static bool extractThumbnail(const File& movie);

    private:
        bool beginRecording();
        void compressFrame(unsigned index, std::shared_ptr<Pixels> pixels);
        // The frame's thumbnail pixels from RGBA8, RGBA16I or I16I frames;
        // false (thumbnail zeroed) for other formats.
        bool fillThumbnailFromFrame(const Pixels& pixels);
        void waitForOldestTask();
        // A compressor no other task uses, made when none is free.
        std::unique_ptr<QMVCompressor> takeCompressor();
        void giveBackCompressor(std::unique_ptr<QMVCompressor> compressor);
        bool finishTemporary();

        bool ready = false;
        bool ended = false;
        bool endResult = false;
        bool outputCreated = false;
        QMVFileFormat record;
        ScopedPointer<OutputStream> finalStream;
        ScopedPointer<OutputStream> temporaryStream;
        File temporaryFile;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> frameList;
        bool direct = false;
        unsigned frameCount = 0;
        int pixelBytes = 4;
        std::deque<WaitableEvent*> pendingTasks;
        // Frames handed to tasks; read by any thread.
        std::atomic<unsigned> submitted{0};
        std::atomic<std::uint32_t> turn{0};
        // Set on a task when a frame would pass the 32-bit offsets.
        std::atomic<bool> full{false};
        // Whether the thumbnail and FourCC were taken (tasks, in turn).
        bool anyFrameStored = false;
        std::mutex compressorsLock;
        std::vector<std::unique_ptr<QMVCompressor>> idleCompressors;
        std::function<void(unsigned)> frameCompressedHook;
    };
}
