#include "engine/video/formats/VXPNGImageFormatReader.h"

#include "core/VXInputStream.h"
#include "core/VXLog.h"
#include "core/VXScopedLock.h"
#include "core/VXStringUtils.h"
#include "core/parameters/VXParamChoice.h"
#include "engine/video/formats/VXImageUtils.h"
#include "engine/video/formats/VXPNGImageFormat.h"
#include "engine/video/formats/VXPixels.h"
#include "engine/video/formats/VXRecordStreams.h"

#include <algorithm>
#include <cstring>

namespace vx
{
    namespace
    {
        // Files larger than this are not PNG pictures the engine decodes.
        constexpr unsigned long long maxFileBytes = 1ull << 30;

        std::shared_ptr<PNGImageFormatReader::PreparedFrame> readWholeFile(const File& file)
        {
            std::unique_ptr<InputStream> stream(file.createInputStream(true));
            if (stream == nullptr)
            {
                logPrint(logError, "PNGImageFormatReader::openFile: Could not open file %s\n", file.getFullPath().c_str());
                return nullptr;
            }
            const unsigned long long size = stream->getTotalSize();
            if (size == 0 || size > maxFileBytes)
            {
                logPrint(logError, "PNGImageFormatReader::openFile: Could not read file %s\n", file.getFullPath().c_str());
                return nullptr;
            }
            auto frame = std::make_shared<PNGImageFormatReader::PreparedFrame>();
            frame->data.reset(new unsigned char[size]);
            frame->size = stream->readBytes(frame->data.get(), size);
            if (frame->size != size)
            {
                logPrint(logError, "PNGImageFormatReader::openFile: Could not read file %s\n", file.getFullPath().c_str());
                return nullptr;
            }
            frame->path = file.getFullPath();
            return frame;
        }

        memstream overFrame(const PNGImageFormatReader::PreparedFrame& frame)
        {
            const char* begin = reinterpret_cast<const char*>(frame.data.get());
            return memstream(begin, begin + frame.size);
        }
    }

    PNGImageFormatReader::PNGImageFormatReader(const File& readFile)
        : BufferableVideoFormatReader(readFile, "PNG", nullptr)
    {
        flipped = true;
        codecName = readFile.getExtension();
        addFile(readFile, false);
        const bool header = openFile(files.front(), true);
        opened = header;
        framePending = header;
        fps = 25.0;
        msecPerFrame = 40.0;
        toUpper(codecName);
        if (bitDepth == 8)
            codecName += " 64 bit";
    }

    PNGImageFormatReader::~PNGImageFormatReader()
    {
        // The bufferer's tasks read this reader's files and prepared bytes.
        deleteBufferers();
    }

    bool PNGImageFormatReader::decompress(const File& file, int* width, int* height, int* bytesPerPixel,
                                          bool* hasAlpha, bool headerOnly, std::shared_ptr<Pixels>& out)
    {
        const std::shared_ptr<PreparedFrame> bytes = readWholeFile(file);
        if (bytes == nullptr)
            return false;
        unsigned long w = 0, h = 0, rowBytes = 0;
        int size = 0;
        bool alpha = false;
        {
            memstream header = overFrame(*bytes);
            if (! PNGImageFormat::decodeHeader(header, &w, &h, &rowBytes, &size, &alpha))
            {
                logPrint(logError, "PNGImageFormatReader::PNGImageFormat::decodeHeader failed\n");
                return false;
            }
        }
        if (width != nullptr)
            *width = static_cast<int>(w);
        if (height != nullptr)
            *height = static_cast<int>(h);
        if (bytesPerPixel != nullptr)
            *bytesPerPixel = size;
        if (hasAlpha != nullptr)
            *hasAlpha = alpha;
        if (headerOnly)
            return true;

        memstream image = overFrame(*bytes);
        MallocBuffer decoded(PNGImageFormat::decodeImage(image, &w, &h, &rowBytes, &size, &alpha));
        if (decoded == nullptr)
        {
            logPrint(logError, "PNGImageFormatReader::PNGImageFormat::decodeImage failed\n");
            return false;
        }
        out = std::make_shared<Pixels>(static_cast<int>(w), static_cast<int>(h), size,
                                       static_cast<long>(rowBytes * h), decoded.get());
        return true;
    }

    bool PNGImageFormatReader::openFile(const File& file, bool headerOnly)
    {
        ScopedLockT<CriticalSection> hold(lock);
        int w = 0, h = 0, size = 0;
        bool alpha = false;
        if (! decompress(file, &w, &h, &size, &alpha, headerOnly, pixels))
            return false;
        textureWidth = static_cast<unsigned short>(w);
        textureHeight = static_cast<unsigned short>(h);
        setBitDepth(size);
        setHasAlpha(alpha);
        if (alpha)
            alphaType->setValue(1, ValueChangeInfo());
        ownTextureFormat = Pixels::determineTextureFormatForBitdepth(size);
        textureFormat = &ownTextureFormat;
        return true;
    }

    bool PNGImageFormatReader::addFile(const File& added, bool rejectDuplicates)
    {
        return addSequenceFile(files, added, rejectDuplicates, [](const File& f, int* w, int* h, int* size) {
            std::shared_ptr<Pixels> none;
            return decompress(f, w, h, size, nullptr, true, none);
        });
    }

    unsigned PNGImageFormatReader::getTotalFrames()
    {
        return static_cast<unsigned>(files.size());
    }

    bool PNGImageFormatReader::init(int width, int height)
    {
        BufferableVideoFormatReader::init(width, height);
        framePending = true;
        return true;
    }

    std::shared_ptr<Pixels> PNGImageFormatReader::getCustomThumbnail()
    {
        std::shared_ptr<Pixels> thumbnail;
        if (files.empty() || ! decompress(files.front(), nullptr, nullptr, nullptr, nullptr, false, thumbnail))
            return {};
        return thumbnail;
    }

    bool PNGImageFormatReader::renderInternal(Renderer&, const unsigned char*)
    {
        return false;
    }

    std::size_t PNGImageFormatReader::getFrameSize()
    {
        return static_cast<std::size_t>(textureHeight) * textureWidth * static_cast<std::size_t>(std::max(bitDepth, 0));
    }

    bool PNGImageFormatReader::prepareFrames(unsigned first, int& count, unsigned char*)
    {
        const std::size_t fileCount = files.size();
        if (fileCount == 0)
        {
            count = 0;
            return false;
        }
        if (fileCount > 1)
            prepared.clear();
        else if (! prepared.empty())
            return framePending;

        int steps = 0;
        for (; steps < count && static_cast<std::size_t>(steps) < fileCount; ++steps)
        {
            const File& file = files[(first + static_cast<unsigned>(steps)) % fileCount];
            // A file that cannot be read keeps its place: later files keep their indexes.
            std::shared_ptr<PreparedFrame> frame = readWholeFile(file);
            if (frame != nullptr)
                framePending = true;
            prepared.push_back(std::move(frame));
        }
        count = steps;
        return framePending;
    }

    bool PNGImageFormatReader::decompressPreparedFrame(int index, unsigned char** frame)
    {
        if (index < 0 || static_cast<std::size_t>(index) >= prepared.size() || prepared[index] == nullptr ||
            frame == nullptr || *frame == nullptr)
            return false;
        PreparedFrame& file = *prepared[static_cast<std::size_t>(index)];
        if (file.undecodable)
            return false;
        memstream stream = overFrame(file);
        unsigned long w = 0, h = 0;
        int size = 0;
        // Straight into the frame; a picture larger than the frame is refused
        // before a byte is written.
        if (! PNGImageFormat::decodeImageInto(stream, *frame, getFrameSize(), &w, &h, &size, nullptr))
        {
            // A file cut short fails the same way every time it is read.
            file.undecodable = true;
            if (undecodableFiles.insert(file.path).second)
                logPrint(logError, "PNGImageFormatReader::PNGImageFormat::decodeImage failed\n");
            return false;
        }
        // Only a picture of the sequence's layout is the frame.
        if (w != textureWidth || h != textureHeight || size != bitDepth)
        {
            logPrint(logError, "PNGImageFormatReader: a %lux%lu frame of %d bytes per pixel in a %dx%d sequence of %d.\n",
                     w, h, size, int(textureWidth), int(textureHeight), bitDepth);
            return false;
        }
        return true;
    }
}
