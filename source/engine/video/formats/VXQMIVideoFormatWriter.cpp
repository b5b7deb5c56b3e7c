#include "engine/video/formats/VXQMIVideoFormatWriter.h"

#include "core/VXLog.h"
#include "core/VXOutputStream.h"
#include "core/VXScopedPointer.h"
#include "engine/video/codecs/VXQMVCompressor.h"
#include "engine/video/formats/VXPixels.h"
#include "engine/video/formats/VXQMVFileFormat.h"

#include <new>

namespace vx
{
    QMIVideoFormatWriter::QMIVideoFormatWriter(File& file, float framesPerSecond, unsigned depth, unsigned w,
                                               unsigned h, VideoCodecSettings& settings)
        : VideoFormatWriter(file, "QMI file", framesPerSecond, depth, w, h, settings)
    {
        // Frames are stored top row first, as the reader shows them: a
        // texture's read-back (bottom row first) is turned over.
        flip = true;
        const char* path = outputFile.getFullPath().c_str();
        if (w == 0 || h == 0 || w > 0xFFF0 || h > 0xFFF0 || depth == 16)
        {
            logPrint(logError, "QMI file: cannot write %ux%u images of %u bytes per pixel into '%s'.", w, h, depth,
                     path);
            return;
        }
        codecSettings.width = int(w);
        codecSettings.height = int(h);
        codecSettings.fps = framesPerSecond;
        std::unique_ptr<Compressor> made(codecSettings.getCompressor());
        auto* qmvCompressor = dynamic_cast<QMVCompressor*>(made.get());
        if (qmvCompressor == nullptr || codecSettings.bytesPerPixel != int(depth))
        {
            logPrint(logError, "QMI file: the codec settings for '%s' make no QMV compressor for %u bytes per pixel.",
                     path, depth);
            return;
        }
        made.release();
        compressor.reset(qmvCompressor);
        compressor->setSwizzleWhenCompressing(false);
    }

    QMIVideoFormatWriter::~QMIVideoFormatWriter() = default;

    bool QMIVideoFormatWriter::write(std::shared_ptr<Pixels> pixels)
    {
        if (compressor == nullptr)
            return false;
        const char* path = outputFile.getFullPath().c_str();
        const int pixelBytes = codecSettings.bytesPerPixel;
        const long long rowBytes = (long long)(width) * pixelBytes;
        if (pixels == nullptr || pixels->data == nullptr || pixels->width != int(width) ||
            pixels->height != int(height) || pixels->bytesPerPixel != pixelBytes || pixels->stride < rowBytes ||
            (long long)(pixels->stride) * (height - 1) + rowBytes > pixels->dataSize)
        {
            logPrint(logError, "QMI file: '%s' takes images of %ux%u with %d bytes per pixel.", path, width, height,
                     pixelBytes);
            return false;
        }
        int size = 0;
        try
        {
            workBuffer.resize(std::size_t(compressor->getSafeBufferSize()));
            size = compressor->compressFrame(pixels->data, workBuffer.data(), pixels->stride);
        }
        catch (const std::bad_alloc&)
        {
            size = 0;
        }
        if (size < 1)
        {
            logPrint(logError, "QMI file: the image for '%s' does not compress.", path);
            return false;
        }

        ScopedPointer<OutputStream> stream(outputFile.createOutputStream(true, true));
        if (stream.get() == nullptr)
        {
            logPrint(logError, "QMI file: cannot write '%s'.", path);
            return false;
        }
        QMIFileHeader header;
        header.width = width;
        header.height = height;
        const bool written = write_QMIFileHeader(*stream, header) == unsigned(qmiHeaderSize) &&
                             stream->writeBytes(workBuffer.data(), unsigned(size)) == unsigned(size);
        stream.reset();
        if (! written)
        {
            logPrint(logError, "QMI file: cannot write '%s'.", path);
            outputFile.deleteFile();
        }
        return written;
    }
}
