#include "engine/video/formats/VXImageFormatReader.h"

#include "core/VXScopedLock.h"
#include "core/VXStringUtils.h"
#include "core/parameters/VXParamChoice.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/formats/VXPixels.h"
#include "engine/video/formats/VXPixelsUtils.h"


namespace vx
{
    namespace
    {
        // Grey pictures widened to RGB, grey and alpha to RGBA: as textures,
        // one channel would be intensity (alpha = brightness) and two one
        // 16-bit intensity. Null for other pictures.
        Pixels* widenedGrey(const Pixels& grey)
        {
            const int channels = grey.bytesPerPixel;
            if ((channels != 1 && channels != 2) || grey.data == nullptr)
                return nullptr;
            auto* wide = new Pixels(grey.width, grey.height, channels + 2, static_cast<const unsigned char*>(nullptr));
            if (wide->data == nullptr)
            {
                delete wide;
                return nullptr;
            }
            for (int y = 0; y < grey.height; ++y)
            {
                const unsigned char* in = grey.data + static_cast<std::size_t>(y) * grey.stride;
                unsigned char* out = wide->data + static_cast<std::size_t>(y) * wide->stride;
                for (int x = 0; x < grey.width; ++x, in += channels, out += wide->bytesPerPixel)
                {
                    out[0] = out[1] = out[2] = in[0];
                    if (channels == 2)
                        out[3] = in[1];
                }
            }
            return wide;
        }
    }

    ImageFormatReader::ImageFormatReader(const File& readFile) : VideoFormatReader(readFile, "Image file")
    {
        flipped = true;
        codecName = readFile.getExtension();
        addFile(readFile, false);
        opened = framePending = openFile(files.front());
        fps = 25.0;
        msecPerFrame = 40.0;
        toUpper(codecName);
        if (bitDepth == 8)
            codecName += " 64 bit";
    }

    ImageFormatReader::~ImageFormatReader() = default;

    bool ImageFormatReader::addFile(const File& added, bool rejectDuplicates)
    {
        return addSequenceFile(files, added, rejectDuplicates, nullptr);
    }

    bool ImageFormatReader::openFile(const File& source)
    {
        ScopedLockT<CriticalSection> hold(lock);
        pixels.reset(PixelsUtils::pixelsFromFile(source));
        if (pixels == nullptr || pixels->data == nullptr)
        {
            pixels.reset();
            return false;
        }
        if (Pixels* wide = widenedGrey(*pixels))
            pixels.reset(wide);
        textureWidth = static_cast<unsigned short>(pixels->width);
        textureHeight = static_cast<unsigned short>(pixels->height);
        setBitDepth(pixels->bytesPerPixel);
        const int size = pixels->bytesPerPixel;
        setHasAlpha(size == 4 || size == 8 || size == 16);
        if (size >= 4)
            alphaType->setValue(1, ValueChangeInfo());
        // Assigned only when it changes: the render thread reads it.
        if (! (pixelsFormat == pixels->format))
            pixelsFormat = pixels->format;
        textureFormat = &pixelsFormat;
        return true;
    }

    int ImageFormatReader::getTextureWidth() const
    {
        ScopedLockT<CriticalSection> hold(lock);
        return pixels != nullptr ? pixels->width : 0;
    }

    int ImageFormatReader::getTextureHeight() const
    {
        ScopedLockT<CriticalSection> hold(lock);
        return pixels != nullptr ? pixels->height : 0;
    }

    unsigned ImageFormatReader::getTotalFrames()
    {
        return static_cast<unsigned>(files.size());
    }

    bool ImageFormatReader::init(int, int)
    {
        framePending = true;
        return true;
    }

    std::shared_ptr<Pixels> ImageFormatReader::getCustomThumbnail()
    {
        ScopedLockT<CriticalSection> hold(lock);
        return pixels;
    }

    bool ImageFormatReader::readFrame(double positionMs)
    {
        if (files.size() > 1)
        {
            long frame = 0;
            if (updatePosition(positionMs, frame) && frame >= 0 && frame < static_cast<long>(files.size()))
            {
                framePending = openFile(files[static_cast<std::size_t>(frame)]);
                setCurrentFrame(frame);
            }
        }
        return framePending;
    }

    bool ImageFormatReader::updateTextureInternal(Texture* texture)
    {
        if (! texture->isValid())
            return false;
        ScopedLockT<CriticalSection> hold(lock);
        const bool upload = framePending.exchange(false) && pixels != nullptr;
        return upload && uploadFrame(*texture, pixels->data, pixels->width, pixels->height, pixels->bytesPerPixel);
    }

    bool ImageFormatReader::updatePixelsInternal(std::shared_ptr<Pixels>& out)
    {
        ScopedLockT<CriticalSection> hold(lock);
        if (pixels == nullptr)
            return false;
        out = std::make_shared<Pixels>(pixels.get());
        return true;
    }
}
