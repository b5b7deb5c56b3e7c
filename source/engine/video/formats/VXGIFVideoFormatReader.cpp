#include "engine/video/formats/VXGIFVideoFormatReader.h"

#include "core/VXScopedLock.h"
#include "core/VXStringUtils.h"
#include "core/parameters/VXParamChoice.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/formats/VXGIFImage.h"
#include "engine/video/formats/VXPixels.h"

#include <algorithm>
#include <cstring>

namespace vx
{
    namespace
    {
        // The delay of a frame that gives none, and the rate of a file
        // whose frames give none.
        constexpr double fallbackDelayMs = 100.0;
    }

    GIFVideoFormatReader::GIFVideoFormatReader(const File& readFile) : VideoFormatReader(readFile, "GIF")
    {
        flipped = true;
        codecName = "GIF";
        image.reset(new GIFImage(readFile.getFullPath().c_str(), true));
        if (! image->isValid() || image->getNumFrames() == 0)
        {
            image.reset();
            return;
        }
        const double delay = image->getMininumDelay() > 0 ? image->getMininumDelay() : fallbackDelayMs;
        fps = 1000.0 / delay;
        msecPerFrame = 1000.0 / fps;
        framePending = true;
        sequence = image->getNumFrames() >= 2;
        double end = 0.0;
        for (unsigned i = 0; i < image->getNumFrames(); ++i)
        {
            const int frameDelay = image->getFrameDelay(i);
            end += frameDelay > 0 ? frameDelay : fallbackDelayMs;
            frameEnds.push_back(end);
        }
        if (image->getNumFrames() > 1)
            length = end;
        opened = true;
        textureWidth = static_cast<unsigned short>(image->getCanvasWidth());
        textureHeight = static_cast<unsigned short>(image->getCanvasHeight());
        setBitDepth(4);
        setHasAlpha(true);
        alphaType->setValue(1, ValueChangeInfo());
        textureFormat = &Texture::RGBA8;
        toUpper(codecName);
    }

    GIFVideoFormatReader::~GIFVideoFormatReader() = default;

    unsigned GIFVideoFormatReader::getTotalFrames()
    {
        return image ? image->getNumFrames() : 0;
    }

    bool GIFVideoFormatReader::init(int, int)
    {
        ScopedLockT<CriticalSection> hold(lock);
        framePending = true;
        if (image)
            image->loadAllImages();
        return true;
    }

    bool GIFVideoFormatReader::updatePosition(double positionMs, long& frame)
    {
        if (! image || frameEnds.empty())
            return false;
        // A rate set on the reader scales the file's timing.
        const double total = frameEnds.back();
        double at = frameLookupTime(length > 0.0 ? positionMs * total / length : positionMs);
        if (! (at >= 0.0))
            at = 0.0;
        const auto next = std::upper_bound(frameEnds.begin(), frameEnds.end(), at);
        frame = std::min(static_cast<long>(next - frameEnds.begin()), static_cast<long>(frameEnds.size()) - 1);
        return frame != currentFrame.load();
    }

    bool GIFVideoFormatReader::readFrame(double positionMs)
    {
        if (! image)
            return false;
        long frame = 0;
        if (updatePosition(positionMs, frame))
        {
            ScopedLockT<CriticalSection> hold(lock);
            if (const unsigned char* canvas = image->getFrame(static_cast<unsigned>(frame)))
            {
                // The picture is refilled in place unless someone still holds it.
                const std::size_t bytes = static_cast<std::size_t>(image->getCanvasWidth()) * image->getCanvasHeight() * 4;
                if (pixels != nullptr && pixels.use_count() == 1 && pixels->data != nullptr &&
                    static_cast<std::size_t>(pixels->dataSize) == bytes)
                    std::memcpy(pixels->data, canvas, bytes);
                else
                    pixels = std::make_shared<Pixels>(image->getCanvasWidth(), image->getCanvasHeight(), 4, canvas);
                framePending = true;
                setCurrentFrame(frame);
            }
        }
        return framePending;
    }

    std::shared_ptr<Pixels> GIFVideoFormatReader::getCustomThumbnail()
    {
        readFrame(0.0);
        ScopedLockT<CriticalSection> hold(lock);
        return pixels;
    }

    bool GIFVideoFormatReader::updateTextureInternal(Texture* texture)
    {
        if (! texture->isValid())
            return false;
        ScopedLockT<CriticalSection> hold(lock);
        const bool upload = framePending.exchange(false) && pixels != nullptr;
        return upload && uploadFrame(*texture, pixels->data, pixels->width, pixels->height, 4);
    }

    bool GIFVideoFormatReader::updatePixelsInternal(std::shared_ptr<Pixels>& out)
    {
        ScopedLockT<CriticalSection> hold(lock);
        if (pixels == nullptr)
            return false;
        out = std::make_shared<Pixels>(pixels.get());
        return true;
    }
}
