#include "engine/video/formats/VXQMVVideoFormatWriter.h"

#include "core/VXInputStream.h"
#include "core/VXLog.h"
#include "core/VXOutputStream.h"
#include "core/VXStringUtils.h"
#include "core/VXTaskManager.h"
#include "core/VXTaskThreads.h"
#include "core/VXThread.h"
#include "core/VXWaitableEvent.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/codecs/VXQMVCompressor.h"
#include "engine/video/codecs/VXQMVFrame.h"
#include "engine/video/formats/VXImageUtils.h"
#include "engine/video/formats/VXPixels.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace vx
{
    namespace
    {
        constexpr std::uint64_t maxOffset = 0xFFFFFFFFull;
        constexpr std::uint64_t copyChunk = 1048576;

        // 16-bit channels to bytes as the thumbnail has always stored them
        // (255 / 65535, truncated; 65535 gives 255).
        unsigned char toByte(std::uint16_t value)
        {
            return static_cast<unsigned char>(value * 0.0038910506);
        }

        bool readRecord(const File& movie, QMVFileFormat& record, ScopedPointer<InputStream>& stream)
        {
            stream.reset(movie.createInputStream(true));
            return stream.get() != nullptr && record.read(*stream);
        }
    }

    QMVVideoFormatWriter::QMVVideoFormatWriter(File& file, float framesPerSecond, unsigned depth, unsigned w,
                                               unsigned h, VideoCodecSettings& settings, unsigned frames)
        : VideoFormatWriter(file, "QMV file", framesPerSecond, depth, w, h, settings),
          direct(frames != 0),
          frameCount(frames)
    {
        // Frames are stored top row first, as the reader shows them: a
        // texture's read-back (bottom row first) is turned over.
        flip = true;
        const char* path = outputFile.getFullPath().c_str();
        if (w == 0 || h == 0 || w > 0xFFFF || h > 0xFFFF)
        {
            logPrint(logError, "QMV file: cannot record frames of %u x %u into '%s'.", w, h, path);
            return;
        }
        // No read-back or frame type carries 16 bytes per pixel.
        if (depth == 16)
        {
            logPrint(logError, "QMV file: cannot record 16 bytes per pixel into '%s'.", path);
            return;
        }
        codecSettings.width = int(w);
        codecSettings.height = int(h);
        codecSettings.fps = framesPerSecond;
        std::unique_ptr<QMVCompressor> compressor = takeCompressor();
        if (compressor == nullptr)
        {
            logPrint(logError, "QMV file: the codec settings for '%s' make no QMV compressor.", path);
            return;
        }
        pixelBytes = codecSettings.bytesPerPixel;
        giveBackCompressor(std::move(compressor));
        if (int(depth) != pixelBytes)
        {
            logPrint(logError, "QMV file: the codec for '%s' takes %d bytes per pixel, not %u.", path, pixelBytes,
                     depth);
            return;
        }
        ready = beginRecording();
    }

    QMVVideoFormatWriter::~QMVVideoFormatWriter()
    {
        endRecording();
        if (! endResult)
        {
            // A failed recording leaves no file behind.
            finalStream.reset();
            temporaryStream.reset();
            if (! direct && temporaryFile.exists())
                temporaryFile.deleteFile();
            if (outputCreated)
                outputFile.deleteFile();
        }
    }

    std::unique_ptr<QMVCompressor> QMVVideoFormatWriter::takeCompressor()
    {
        const std::lock_guard<std::mutex> guard(compressorsLock);
        if (! idleCompressors.empty())
        {
            std::unique_ptr<QMVCompressor> compressor = std::move(idleCompressors.back());
            idleCompressors.pop_back();
            return compressor;
        }
        // A compressor serves one thread at a time: every task in flight has
        // its own.
        std::unique_ptr<Compressor> made(codecSettings.getCompressor());
        auto* qmvCompressor = dynamic_cast<QMVCompressor*>(made.get());
        if (qmvCompressor == nullptr)
            return nullptr;
        made.release();
        qmvCompressor->setEnableMultiThreading(false);
        qmvCompressor->setSwizzleWhenCompressing(false);
        return std::unique_ptr<QMVCompressor>(qmvCompressor);
    }

    void QMVVideoFormatWriter::giveBackCompressor(std::unique_ptr<QMVCompressor> compressor)
    {
        const std::lock_guard<std::mutex> guard(compressorsLock);
        idleCompressors.push_back(std::move(compressor));
    }

    bool QMVVideoFormatWriter::beginRecording()
    {
        const char* path = outputFile.getFullPath().c_str();
        if (! outputFile.create())
        {
            logPrint(logError, "QMV file: cannot create '%s'.", path);
            return false;
        }
        outputCreated = true;
        finalStream.reset(outputFile.createOutputStream(true, true));
        if (finalStream.get() == nullptr)
        {
            logPrint(logError, "QMV file: cannot write '%s'.", path);
            return false;
        }
        if (! direct)
        {
            temporaryFile = File(outputFile.getFullPath() + "_");
            temporaryStream.reset(temporaryFile.createOutputStream(true, true));
            if (temporaryStream.get() == nullptr)
            {
                logPrint(logError, "QMV file: cannot write the temporary file '%s'.",
                         temporaryFile.getFullPath().c_str());
                return false;
            }
        }

        record = QMVFileFormat();
        record.header.complete = false;
        record.thumbnail.width = std::uint16_t(width);
        record.thumbnail.height = std::uint16_t(height);
        try
        {
            record.thumbnail.pixels.assign(std::size_t(record.thumbnail.getPixelBytes()), 0);
        }
        catch (const std::bad_alloc&)
        {
            logPrint(logError, "QMV file: no memory for the thumbnail of '%s'.", path);
            return false;
        }
        record.videoInfo.width = std::uint16_t(width);
        record.videoInfo.height = std::uint16_t(height);
        record.videoInfo.fps = float(fps);
        if (direct)
        {
            if (record.getHeaderBytes() + std::uint64_t(frameCount) * sizeof(QMVFrameTableEntry) > maxOffset)
            {
                logPrint(logError, "QMV file: a table of %u frames does not fit '%s'.", frameCount, path);
                return false;
            }
            record.frameTable.count = frameCount;
            record.frameTable.entries.assign(frameCount, QMVFrameTableEntry());
            if (! record.write(*finalStream))
            {
                logPrint(logError, "QMV file: cannot write the header of '%s'.", path);
                return false;
            }
            // Seeking puts the header on the disk at once: a recording in
            // progress reads as incomplete, not as an empty file.
            finalStream->setPosition(record.getHeaderBytes());
        }
        submitted = 0;
        turn.store(0);
        return true;
    }

    bool QMVVideoFormatWriter::write(std::shared_ptr<Pixels> pixels)
    {
        const char* path = outputFile.getFullPath().c_str();
        if (! ready || ended)
            return false;
        if (full.load())
        {
            logPrint(logError, "QMV file: '%s' is full, frame %u is refused.", path, submitted.load());
            return false;
        }
        if (direct && submitted.load() >= frameCount)
        {
            logPrint(logError, "QMV file: '%s' was begun for %u frames.", path, frameCount);
            return false;
        }
        const long long rowBytes = (long long)(width) * pixelBytes;
        if (pixels == nullptr || pixels->data == nullptr || pixels->width != int(width) ||
            pixels->height != int(height) || pixels->bytesPerPixel != pixelBytes || pixels->stride < rowBytes ||
            (long long)(pixels->stride) * (height - 1) + rowBytes > pixels->dataSize)
        {
            logPrint(logError, "QMV file: '%s' takes frames of %ux%u with %d bytes per pixel.", path, width, height,
                     pixelBytes);
            return false;
        }

        TaskManager* manager = TaskManager::getCurrent();
        if (manager == nullptr)
        {
            compressFrame(submitted++, std::move(pixels));
            return true;
        }
        const std::size_t limit = std::size_t(2) * std::max<unsigned>(1, manager->getMaxNumTaskThreads());
        while (pendingTasks.size() >= limit)
            waitForOldestTask();
        const unsigned index = submitted++;
        // Equal priorities run in queueing order, so the frame whose turn it
        // is has always started before the frames waiting for it.
        pendingTasks.push_back(TaskThreads::execute([this, index, pixels] { compressFrame(index, pixels); }, true, 0));
        return true;
    }

    void QMVVideoFormatWriter::waitForOldestTask()
    {
        WaitableEvent* event = pendingTasks.front();
        pendingTasks.pop_front();
        if (event != nullptr)
        {
            event->waitForTrigger();
            delete event;
        }
    }

    void QMVVideoFormatWriter::compressFrame(unsigned index, std::shared_ptr<Pixels> pixels)
    {
        std::vector<unsigned char> buffer;
        int size = 0;
        if (std::unique_ptr<QMVCompressor> compressor = takeCompressor())
        {
            try
            {
                buffer.resize(std::size_t(compressor->getSafeBufferSize()));
                size = compressor->compressFrame(pixels->data, buffer.data(), pixels->stride);
            }
            catch (const std::bad_alloc&)
            {
                size = 0;
            }
            giveBackCompressor(std::move(compressor));
        }
        if (frameCompressedHook)
            frameCompressedHook(index);

        while (turn.load(std::memory_order_acquire) != index)
            Thread::sleep(1);

        if (size >= qmv::oldHeaderSize && ! full.load())
        {
            const bool first = ! anyFrameStored;
            bool stored = false;
            if (direct)
            {
                stored = record.writeFrame(*finalStream, index, buffer.data(), unsigned(size));
                if (! stored)
                    record.frameTable.entries[index] = QMVFrameTableEntry();
            }
            else
            {
                const std::uint64_t offset =
                    frameList.empty() ? 0 : std::uint64_t(frameList.back().first) + frameList.back().second;
                if (offset + unsigned(size) <= maxOffset &&
                    temporaryStream->writeBytes(buffer.data(), unsigned(size)) == unsigned(size))
                {
                    frameList.emplace_back(std::uint32_t(offset), std::uint32_t(size));
                    stored = true;
                }
            }
            if (! stored)
            {
                full.store(true);
                logPrint(logError, "QMV file: frame %u does not fit '%s'; the recording ends before it.", index,
                         outputFile.getFullPath().c_str());
            }
            else if (first)
            {
                anyFrameStored = true;
                // The thumbnail and the FourCC describe the first frame stored.
                fillThumbnailFromFrame(*pixels);
                const qmv::QMVHeader header = qmv::getFrameHeader(buffer.data());
                std::uint32_t stored32 = 0;
                std::memcpy(&stored32, buffer.data(), 4);
                record.videoInfo.fourcc = qmv::isOldHeader(buffer.data()) ? header.fourcc : stored32;
                record.videoInfo.version = header.version;
                record.videoInfo.subVersion = header.subVersion;
            }
        }
        turn.fetch_add(1, std::memory_order_release);
    }

    bool QMVVideoFormatWriter::fillThumbnailFromFrame(const Pixels& pixels)
    {
        std::vector<unsigned char>& out = record.thumbnail.pixels;
        const int w = std::min<int>(pixels.width, record.thumbnail.width);
        const int h = std::min<int>(pixels.height, record.thumbnail.height);
        const std::size_t outRow = std::size_t(record.thumbnail.width) * 4;
        if (pixels.format == Texture::RGBA8)
        {
            for (int y = 0; y < h; ++y)
                std::memcpy(out.data() + y * outRow, pixels.data + std::size_t(y) * pixels.stride, std::size_t(w) * 4);
            return true;
        }
        if (pixels.format == Texture::RGBA16I || pixels.format == Texture::I16I)
        {
            const bool grey = pixels.format == Texture::I16I;
            for (int y = 0; y < h; ++y)
            {
                const unsigned char* row = pixels.data + std::size_t(y) * pixels.stride;
                unsigned char* target = out.data() + y * outRow;
                for (int x = 0; x < w; ++x)
                    for (int c = 0; c < 4; ++c)
                    {
                        std::uint16_t value = 0;
                        std::memcpy(&value, row + (grey ? x * 2 : (x * 4 + c) * 2), 2);
                        target[x * 4 + c] = toByte(value);
                    }
            }
            return true;
        }
        std::fill(out.begin(), out.end(), 0);
        return false;
    }

    bool QMVVideoFormatWriter::endRecording()
    {
        if (ended)
            return endResult;
        ended = true;
        while (! pendingTasks.empty())
            waitForOldestTask();
        if (! ready)
            return endResult = false;

        const char* path = outputFile.getFullPath().c_str();
        if (direct)
        {
            record.header.complete = true;
            finalStream->setPosition(0);
            endResult = record.write(*finalStream);
            if (! endResult)
                logPrint(logError, "QMV file: cannot finish '%s'.", path);
            finalStream.reset();
            return endResult;
        }
        endResult = finishTemporary();
        return endResult;
    }

    bool QMVVideoFormatWriter::finishTemporary()
    {
        const char* path = outputFile.getFullPath().c_str();
        if (frameList.empty())
        {
            logPrint(logError, "QMV file: no frame was recorded into '%s'.", path);
            return false;
        }
        // The header grows with the table: the frames that no longer fit
        // behind it within 32-bit offsets are left out.
        std::uint64_t frameBytes = 0;
        for (const auto& frame : frameList)
            frameBytes += frame.second;
        record.frameTable.count = unsigned(frameList.size());
        while (! frameList.empty() && record.getHeaderBytes() + frameBytes > maxOffset)
        {
            frameBytes -= frameList.back().second;
            frameList.pop_back();
            record.frameTable.count = unsigned(frameList.size());
        }
        if (frameList.empty())
        {
            logPrint(logError, "QMV file: no frame fits '%s'.", path);
            return false;
        }
        record.frameTable.entries.assign(frameList.size(), QMVFrameTableEntry());
        if (! record.write(*finalStream))
        {
            logPrint(logError, "QMV file: cannot write the header of '%s'.", path);
            return false;
        }

        std::uint32_t largest = 0;
        for (const auto& frame : frameList)
            largest = std::max(largest, frame.second);
        std::vector<unsigned char> buffer;
        try
        {
            buffer.resize(largest);
        }
        catch (const std::bad_alloc&)
        {
            return false;
        }
        temporaryStream.reset();
        ScopedPointer<InputStream> input(temporaryFile.createInputStream(true));
        if (input.get() == nullptr)
        {
            logPrint(logError, "QMV file: cannot read back '%s'.", temporaryFile.getFullPath().c_str());
            return false;
        }
        for (unsigned i = 0; i < frameList.size(); ++i)
        {
            input->setPosition(frameList[i].first);
            if (input->readBytes(buffer.data(), frameList[i].second) != frameList[i].second ||
                ! record.writeFrame(*finalStream, i, buffer.data(), frameList[i].second))
            {
                logPrint(logError, "QMV file: cannot copy frame %u into '%s'.", i, path);
                return false;
            }
        }
        record.header.complete = true;
        finalStream->setPosition(0);
        const bool written = record.write(*finalStream);
        input.reset();
        if (! written)
        {
            logPrint(logError, "QMV file: cannot finish '%s'.", path);
            return false;
        }
        temporaryFile.deleteFile();
        finalStream.reset();
        return true;
    }

    bool QMVVideoFormatWriter::appendAudioFile(const File& movie, const File& audio)
    {
        const char* path = movie.getFullPath().c_str();
        QMVFileFormat record;
        ScopedPointer<InputStream> movieInput;
        if (! readRecord(movie, record, movieInput) || ! record.header.complete)
        {
            logPrint(logError, "QMV file: '%s' is no finished QMV movie; no audio appended.", path);
            return false;
        }
        const std::uint64_t movieSize = movieInput->getTotalSize();
        movieInput.reset();

        ScopedPointer<InputStream> audioInput(audio.createInputStream(true));
        const std::uint64_t audioSize = audioInput.get() != nullptr ? audioInput->getTotalSize() : 0;
        if (audioSize == 0)
        {
            logPrint(logError, "QMV file: no audio in '%s'.", audio.getFullPath().c_str());
            return false;
        }
        if (movieSize + audioSize > maxOffset)
        {
            logPrint(logError, "QMV file: '%s' with the audio would pass 4 GiB.", path);
            return false;
        }
        ScopedPointer<OutputStream> output(movie.createOutputStream(true, false));
        if (output.get() == nullptr)
        {
            logPrint(logError, "QMV file: cannot write '%s'.", path);
            return false;
        }

        output->setPosition(movieSize);
        std::vector<unsigned char> chunk(copyChunk);
        std::uint64_t copied = 0;
        for (;;)
        {
            const std::uint64_t got = audioInput->readBytes(chunk.data(), copyChunk);
            if (got == 0)
                break;
            if (output->writeBytes(chunk.data(), got) != got)
                break;
            copied += got;
        }
        if (copied != audioSize)
        {
            logPrint(logError, "QMV file: the audio copy into '%s' ended after %llu of %llu bytes.", path,
                     (unsigned long long)copied, (unsigned long long)audioSize);
            return false;
        }

        record.audioInfo = QMVAudioInfo();
        record.audioInfo.offset = std::uint32_t(movieSize);
        record.audioInfo.size = std::uint32_t(audioSize);
        const std::string extension = audio.getExtension();
        std::memcpy(record.audioInfo.extension, extension.data(), std::min<std::size_t>(4, extension.size()));
        output->setPosition(0);
        return record.write(*output);
    }

    bool QMVVideoFormatWriter::extractAudioFile(const File& movie)
    {
        const char* path = movie.getFullPath().c_str();
        QMVFileFormat record;
        ScopedPointer<InputStream> input;
        if (! readRecord(movie, record, input) || ! record.header.complete || record.audioInfo.offset == 0 ||
            record.audioInfo.size == 0)
        {
            logPrint(logError, "QMV file: '%s' holds no audio.", path);
            return false;
        }
        std::string extension(record.audioInfo.extension, strnlen(record.audioInfo.extension, 4));
        stringStripInvalidFilePathCharacters(extension);
        const File target = movie.getDirectory().getChildFile(movie.getFilenameWithoutExtension() + "." + extension);
        if (extension.empty() || toLower(target.getFullPath()) == toLower(movie.getFullPath()))
        {
            logPrint(logError, "QMV file: the audio of '%s' would overwrite the movie.", path);
            return false;
        }
        ScopedPointer<OutputStream> output(target.createOutputStream(true, true));
        if (output.get() == nullptr)
        {
            logPrint(logError, "QMV file: cannot write '%s'.", target.getFullPath().c_str());
            return false;
        }
        input->setPosition(record.audioInfo.offset);
        std::vector<unsigned char> chunk(std::min<std::uint64_t>(copyChunk, record.audioInfo.size));
        std::uint64_t left = record.audioInfo.size;
        while (left > 0)
        {
            const std::uint64_t want = std::min<std::uint64_t>(left, chunk.size());
            const std::uint64_t got = input->readBytes(chunk.data(), want);
            if (got != want || output->writeBytes(chunk.data(), got) != got)
                break;
            left -= got;
        }
        if (left != 0)
        {
            logPrint(logError, "QMV file: the audio of '%s' is cut short.", path);
            return false;
        }
        return true;
    }

    bool QMVVideoFormatWriter::extractThumbnail(const File& movie)
    {
        const char* path = movie.getFullPath().c_str();
        QMVFileFormat record;
        ScopedPointer<InputStream> input;
        if (! readRecord(movie, record, input) || ! record.header.complete || record.thumbnail.width == 0 ||
            record.thumbnail.height == 0)
        {
            logPrint(logError, "QMV file: '%s' holds no thumbnail.", path);
            return false;
        }
        const File target = movie.getDirectory().getChildFile(movie.getFilenameWithoutExtension() + ".png");
        return ImageUtils::writeToPng(target, record.thumbnail.width, record.thumbnail.height, 4,
                                      record.thumbnail.pixels.data(), 0);
    }
}
