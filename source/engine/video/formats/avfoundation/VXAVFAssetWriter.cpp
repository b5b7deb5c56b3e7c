#include "engine/video/formats/avfoundation/VXAVFAssetWriter.h"

#include "core/VXLog.h"
#include "core/VXScopedLock.h"
#include "engine/video/formats/VXPixels.h"
#include "engine/video/formats/avfoundation/VXAVAssetWriter.h"
#include "engine/video/formats/avfoundation/VXAVFPixelLoops.h"

#include <cstdio>

namespace vx
{
    namespace
    {
        // The pixel buffer's release callback.
        void deleteCopiedData(void* refCon, const void* bytes)
        {
            if (refCon != nullptr)
                static_cast<AVFAssetWriter*>(refCon)->dataWritten(bytes);
        }
    }

    std::uint32_t AVFAssetWriter::codecKeyFor(std::uint32_t settingsCodec)
    {
        if (settingsCodec == av::fourCharCode("apch"))
            return av::fourCharCode("ap4h");
        if (settingsCodec == av::fourCharCode("h264"))
            return av::fourCharCode("avc1");
        if (settingsCodec == av::fourCharCode("jpeg"))
            return av::fourCharCode("jpeg");
        return av::fourCharCode("apcn");
    }

    AVFAssetWriter::~AVFAssetWriter()
    {
        if (writer != nullptr)
        {
            if (writer->finishWriting())
                logPrint(logInfo, "Finished writing %s", outputPath.c_str());
            else
                logPrint(logError, "finishWriting returned NO for %s: %s", outputPath.c_str(),
                         writer->getError().c_str());
            // The worker is gone: every buffer has been released.
            writer.reset();
        }
        ScopedLockT<CriticalSection> hold(lock);
        pendingFrames.clear();
    }

    bool AVFAssetWriter::initWithOutputFile(const File& file, unsigned w, unsigned h, unsigned depth,
                                            std::uint32_t settingsCodec)
    {
        outputPath = file.getFullPath();
        if (file.exists())
            std::remove(outputPath.c_str());
        width = w;
        height = h;
        bitDepth = depth;
        codec = settingsCodec;
        frameIndex = 0;
        return initialize();
    }

    bool AVFAssetWriter::initialize()
    {
        writer = av::AssetWriter::create(outputPath);
        if (writer == nullptr)
        {
            logPrint(logError, "AVFAssetWriter: no asset writer for \"%s\"", outputPath.c_str());
            return false;
        }
        pixelFormat = bitDepth == 8 ? av::pixelFormat64ARGB : av::pixelFormat32BGRA;
        av::AssetWriter::VideoInput input;
        input.codec = codecKeyFor(codec);
        input.width = static_cast<int>(width);
        input.height = static_cast<int>(height);
        input.sourcePixelFormat = pixelFormat;
        if (! writer->addInput(input))
        {
            logPrint(logError, "AVFAssetWriter: no video input of %u x %u for \"%s\"", width, height,
                     outputPath.c_str());
            writer.reset();
            return false;
        }
        const bool started = writer->startWriting();
        if (started)
            writer->startSessionAtSourceTime(av::kCMTimeZero);
        if (! writer->hasPixelBufferPool())
            logPrint(logWarning, "No pixel buffer: %s", outputPath.c_str());
        if (! started)
        {
            logPrint(logError, "AVFAssetWriter: cannot start writing \"%s\": %s", outputPath.c_str(),
                     writer->getError().c_str());
            writer.reset();
        }
        return started;
    }

    bool AVFAssetWriter::writePixels(std::shared_ptr<Pixels> pixels)
    {
        if (pixels == nullptr || pixels->data == nullptr)
            return false;
        if (pixels->width != static_cast<int>(width) || pixels->height != static_cast<int>(height) ||
            (pixels->bytesPerPixel != static_cast<int>(bitDepth) && ! (bitDepth == 3 && pixels->bytesPerPixel == 4)))
        {
            logPrint(logError, "AVFAssetWriter: a %d x %d frame of %d bytes per pixel does not fit %u x %u x %u",
                     pixels->width, pixels->height, pixels->bytesPerPixel, width, height, bitDepth);
            return false;
        }
        if (pixels->bytesPerPixel == 3)
        {
            // The buffers are 'BGRA': three-byte rows would be read past their end.
            auto expanded = std::make_shared<Pixels>(pixels->width, pixels->height, 4, nullptr);
            if (expanded->data == nullptr)
                return false;
            const std::size_t count = static_cast<std::size_t>(pixels->width) * pixels->height;
            for (std::size_t i = 0; i < count; ++i)
            {
                expanded->data[i * 4 + 0] = pixels->data[i * 3 + 0];
                expanded->data[i * 4 + 1] = pixels->data[i * 3 + 1];
                expanded->data[i * 4 + 2] = pixels->data[i * 3 + 2];
                expanded->data[i * 4 + 3] = 255;
            }
            pixels = expanded;
        }
        {
            ScopedLockT<CriticalSection> hold(lock);
            pendingFrames.push_back(pixels);
        }
        bool released = false;
        if (writeBuffer(pixels->data, released))
            return true;
        if (! released)
            dataWritten(pixels->data);
        return false;
    }

    bool AVFAssetWriter::writeBuffer(unsigned char* bytes, bool& released)
    {
        released = false;
        if (writer == nullptr)
            return false;
        const av::AssetWriter::Status status = writer->getStatus();
        if (status >= av::AssetWriter::statusCompleted)
        {
            logPrint(logWarning, "Warning: writer status is %ld", static_cast<long>(status));
            if (status == av::AssetWriter::statusFailed)
                logPrint(logError, "Error: %s", writer->getError().c_str());
            return false;
        }
        const int bytesPerPixel = bitDepth == 8 ? 8 : 4;
        if (bitDepth == 8)
        {
            // Native R,G,B,A to big-endian A,R,G,B, in the caller's memory.
            avf::rgba64ToARGB64BigEndianInPlace(bytes, static_cast<std::size_t>(width) * height);
            debugPrint("64ARGB");
        }
        std::shared_ptr<av::PixelBuffer> buffer =
            av::PixelBuffer::createWithBytes(static_cast<int>(width), static_cast<int>(height), pixelFormat, bytes,
                                             static_cast<std::size_t>(bytesPerPixel) * width, deleteCopiedData, this);
        if (buffer == nullptr)
        {
            logPrint(logError, "AVFAssetWriter: no pixel buffer for a %u x %u frame", width, height);
            return false;
        }
        released = true; // from here the buffer's callback forgets the frame
        if (! writer->appendPixelBuffer(std::move(buffer), av::CMTimeMake(frameIndex, rate)))
        {
            logPrint(logWarning, "AVFAssetWriter: frame %d dropped: %s", frameIndex, writer->getError().c_str());
            return false;
        }
        ++frameIndex;
        return true;
    }

    void AVFAssetWriter::dataWritten(const void* bytes)
    {
        debugPrint("Frame written");
        ScopedLockT<CriticalSection> hold(lock);
        for (auto it = pendingFrames.rbegin(); it != pendingFrames.rend(); ++it)
            if ((*it)->data == bytes)
            {
                pendingFrames.erase(std::next(it).base());
                return;
            }
    }

    bool AVFAssetWriter::isReady() const
    {
        return writer != nullptr && writer->isReadyForMoreMediaData();
    }

    std::size_t AVFAssetWriter::getNumPendingFrames() const
    {
        ScopedLockT<CriticalSection> hold(lock);
        return pendingFrames.size();
    }
}
