#include "engine/video/formats/VXTIFFImageFormatReader.h"

#include "core/VXInputStream.h"
#include "core/VXLog.h"
#include "core/VXScopedLock.h"
#include "core/VXStringUtils.h"
#include "core/parameters/VXParamChoice.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/formats/VXImageUtils.h"
#include "engine/video/formats/VXPixels.h"
#include "engine/video/formats/VXTIFFImage.h"


namespace vx
{
    TIFFImageFormatReader::TIFFImageFormatReader(const File& readFile) : VideoFormatReader(readFile, "TIFF")
    {
        flipped = true;
        codecName = readFile.getExtension();
        addFile(readFile, false);
        opened = framePending = openFile(files.front(), true);
        fps = 25.0;
        msecPerFrame = 40.0;
        toUpper(codecName);
        if (bitDepth == 8)
            codecName += " 64 bit";
    }

    TIFFImageFormatReader::~TIFFImageFormatReader() = default;

    bool TIFFImageFormatReader::decompress(const File& file, int* width, int* height, int* bytesPerPixel,
                                           bool* hasAlpha, bool headerOnly, std::shared_ptr<Pixels>& out)
    {
        {
            std::unique_ptr<InputStream> stream(file.createInputStream(true));
            if (stream == nullptr)
            {
                logPrint(logError, "TIFFImageFormatReader::openFile: Could not open file %s\n",
                         file.getFullPath().c_str());
                return false;
            }
        }
        std::unique_ptr<TIFFImageBase> image(TIFFImageFormat::load(file.getFullPath().c_str()));
        if (image == nullptr || ! image->isValid())
        {
            logPrint(logError, "TIFFImageFormatReader: not a TIFF image this engine reads: %s\n",
                     file.getFullPath().c_str());
            return false;
        }
        if (width != nullptr)
            *width = static_cast<int>(image->getWidth());
        if (height != nullptr)
            *height = static_cast<int>(image->getHeight());
        if (bytesPerPixel != nullptr)
            *bytesPerPixel = static_cast<int>(image->getBytesPerPixel());
        if (hasAlpha != nullptr)
            *hasAlpha = true;
        if (headerOnly)
            return true;

        unsigned size = 0;
        const std::unique_ptr<unsigned char[]> bytes(image->decompressToBytes(&size));
        if (bytes == nullptr)
        {
            logPrint(logError, "TIFFImageFormatReader::TIffImage::decompressToBytes failed\n");
            return false;
        }
        out = std::make_shared<Pixels>(static_cast<int>(image->getWidth()), static_cast<int>(image->getHeight()),
                                       static_cast<int>(image->getBytesPerPixel()), static_cast<long>(size),
                                       bytes.get());
        return true;
    }

    bool TIFFImageFormatReader::openFile(const File& file, bool headerOnly)
    {
        ScopedLockT<CriticalSection> hold(lock);
        int w = 0, h = 0, size = 0;
        std::shared_ptr<Pixels> decoded;
        if (! decompress(file, &w, &h, &size, nullptr, headerOnly, decoded))
        {
            pixels.reset();
            return false;
        }
        if (! headerOnly)
            pixels = std::move(decoded);
        // The layout is taken from the first file; every further file has it
        // (addFile), and the render thread reads it meanwhile.
        if (textureFormat != nullptr)
            return true;
        textureWidth = static_cast<unsigned short>(w);
        textureHeight = static_cast<unsigned short>(h);
        setBitDepth(size);
        setHasAlpha(true);
        alphaType->setValue(1, ValueChangeInfo());
        ownTextureFormat = Pixels::determineTextureFormatForBitdepth(size);
        textureFormat = &ownTextureFormat;
        return true;
    }

    bool TIFFImageFormatReader::addFile(const File& added, bool rejectDuplicates)
    {
        return addSequenceFile(files, added, rejectDuplicates, [](const File& f, int* w, int* h, int* size) {
            std::shared_ptr<Pixels> none;
            return decompress(f, w, h, size, nullptr, true, none);
        });
    }

    unsigned TIFFImageFormatReader::getTotalFrames()
    {
        return static_cast<unsigned>(files.size());
    }

    bool TIFFImageFormatReader::init(int, int)
    {
        framePending = true;
        return true;
    }

    std::shared_ptr<Pixels> TIFFImageFormatReader::getCustomThumbnail()
    {
        std::shared_ptr<Pixels> thumbnail;
        if (files.empty() || ! decompress(files.front(), nullptr, nullptr, nullptr, nullptr, false, thumbnail))
            return {};
        return thumbnail;
    }

    bool TIFFImageFormatReader::readFrame(double positionMs)
    {
        if (files.size() > 1)
        {
            long frame = 0;
            if (updatePosition(positionMs, frame) && frame >= 0 && frame < static_cast<long>(files.size()))
            {
                framePending = openFile(files[static_cast<std::size_t>(frame)], false);
                setCurrentFrame(frame);
            }
            return framePending;
        }
        bool missing = false;
        {
            ScopedLockT<CriticalSection> hold(lock);
            missing = pixels == nullptr;
        }
        if (framePending && missing && ! files.empty())
            framePending = openFile(files.front(), false);
        return framePending;
    }

    bool TIFFImageFormatReader::updateTextureInternal(Texture* texture)
    {
        if (! texture->isValid())
            return false;
        ScopedLockT<CriticalSection> hold(lock);
        const bool upload = framePending.exchange(false) && pixels != nullptr;
        return upload && uploadFrame(*texture, pixels->data, pixels->width, pixels->height, pixels->bytesPerPixel);
    }

    bool TIFFImageFormatReader::updatePixelsInternal(std::shared_ptr<Pixels>& out)
    {
        ScopedLockT<CriticalSection> hold(lock);
        if (pixels == nullptr)
            return false;
        out = std::make_shared<Pixels>(pixels.get());
        return true;
    }
}
