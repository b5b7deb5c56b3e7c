#include "engine/video/formats/VXBufferableVideoFormatReader.h"

#include "core/VXScopedLock.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/formats/VXPixels.h"
#include "engine/video/formats/VXSequentialBlockFramesBufferer.h"
#include "engine/video/formats/VXSingleFrameBufferer.h"

namespace vx
{
    bool BufferableVideoFormatReader::BUFFERING_ENABLED = true;

    namespace
    {
        bool isBlockBufferer(FramesBufferer* bufferer)
        {
            return dynamic_cast<SequentialBlockFramesBufferer*>(bufferer) != nullptr;
        }

        // A parked block bufferer must have no task in flight: whatever
        // stands in for it prepares frames of the same source.
        void quieten(FramesBufferer* bufferer)
        {
            if (auto* block = dynamic_cast<SequentialBlockFramesBufferer*>(bufferer))
                block->waitUntilIdle();
        }
    }

    BufferableVideoFormatReader::BufferableVideoFormatReader(const File& readFile, const std::string& name,
                                                             FramesBufferer*)
        : VideoFormatReader(readFile, name)
    {
    }

    BufferableVideoFormatReader::BufferableVideoFormatReader(const std::string& name, FramesBufferer*)
        : VideoFormatReader(name)
    {
    }

    BufferableVideoFormatReader::~BufferableVideoFormatReader()
    {
        deleteBufferers();
    }

    void BufferableVideoFormatReader::deleteBufferers()
    {
        ScopedLockT<CriticalSection> hold(lock);
        bufferer.reset();
        savedBufferer.reset();
        buffering = false;
    }

    bool BufferableVideoFormatReader::setBufferer(FramesBufferer* newBufferer)
    {
        ScopedLockT<CriticalSection> hold(lock);
        if (newBufferer != nullptr && BUFFERING_ENABLED)
        {
            bufferer.reset(newBufferer);
            buffering = isBlockBufferer(newBufferer);
            return true;
        }
        delete newBufferer;
        bufferer.reset(new SingleFrameBufferer(*this));
        buffering = false;
        return false;
    }

    FramesBufferer& BufferableVideoFormatReader::ensureBufferer()
    {
        if (! bufferer)
        {
            bufferer.reset(new SingleFrameBufferer(*this));
            buffering = false;
        }
        return *bufferer;
    }

    bool BufferableVideoFormatReader::readFrame(double positionMs)
    {
        long frame = 0;
        if (! updatePosition(positionMs, frame))
            return false;
        setCurrentFrame(frame);
        ScopedLockT<CriticalSection> hold(lock);
        ensureBufferer().frameRequested(static_cast<unsigned>(frame));
        return true;
    }

    void BufferableVideoFormatReader::frameRequested(unsigned frame)
    {
        ScopedLockT<CriticalSection> hold(lock);
        ensureBufferer().frameRequested(frame);
    }

    unsigned char* BufferableVideoFormatReader::getFrame(unsigned frame)
    {
        // The reader's lock stays held until releaseFrame, like the
        // single-frame bufferer's own lock.
        lock.enter();
        return ensureBufferer().getFrame(frame);
    }

    void BufferableVideoFormatReader::releaseFrame()
    {
        if (bufferer)
            bufferer->releaseFrame();
        lock.exit();
    }

    template <typename Use>
    bool BufferableVideoFormatReader::uploadCurrentFrame(Use&& use)
    {
        ScopedLockT<CriticalSection> hold(lock);
        const long frame = currentFrame.load();
        if (! bufferer || frame < 0)
            return false;
        const unsigned char* data = bufferer->getFrame(static_cast<unsigned>(frame));
        if (data == nullptr)
        {
            bufferer->releaseFrame();
            currentFrame.store(-1);
            return false;
        }
        const bool result = use(data);
        bufferer->releaseFrame();
        return result;
    }

    bool BufferableVideoFormatReader::updateTextureInternal(Texture* texture)
    {
        return uploadCurrentFrame([&](const unsigned char* data)
                                  { return uploadFrame(*texture, data, getTextureWidth(), getTextureHeight(), bitDepth); });
    }

    bool BufferableVideoFormatReader::updatePixelsInternal(std::shared_ptr<Pixels>& pixels)
    {
        return uploadCurrentFrame(
            [&](const unsigned char* data)
            {
                auto copy = std::make_shared<Pixels>(static_cast<int>(textureWidth), static_cast<int>(textureHeight),
                                                     bitDepth, data);
                pixels.swap(copy);
                return true;
            });
    }

    bool BufferableVideoFormatReader::renderInternal(Renderer& renderer)
    {
        return uploadCurrentFrame([&](const unsigned char* data) { return renderInternal(renderer, data); });
    }

    bool BufferableVideoFormatReader::init(int, int)
    {
        ScopedLockT<CriticalSection> hold(lock);
        if (bufferer)
            bufferer->initializeBuffer();
        return true;
    }

    void BufferableVideoFormatReader::release()
    {
        {
            ScopedLockT<CriticalSection> hold(lock);
            if (bufferer)
                bufferer->clearBuffer();
        }
        VideoFormatReader::release();
    }

    void BufferableVideoFormatReader::setPlaybackDirection(ParamPlayDirection direction)
    {
        ScopedLockT<CriticalSection> hold(lock);
        const int d = static_cast<int>(direction);
        if (d == playRandom || d == 4)
        {
            // Only one bufferer is ever parked: a second random request keeps
            // the stand-in instead of parking it over the block bufferer.
            if (buffering && ! savedBufferer)
            {
                quieten(bufferer.get());
                savedBufferer.reset(bufferer.release());
                bufferer.reset(new SingleFrameBufferer(*this));
                buffering = false;
            }
        }
        else if (d == playBackward || d == playForward)
        {
            if (savedBufferer)
            {
                bufferer.reset(savedBufferer.release());
                buffering = isBlockBufferer(bufferer.get());
                const long frame = currentFrame.load();
                if (frame >= 0)
                    bufferer->frameRequested(static_cast<unsigned>(frame));
            }
        }
    }

    void BufferableVideoFormatReader::setupForThumbnailing()
    {
        ScopedLockT<CriticalSection> hold(lock);
        if (! savedBufferer)
        {
            quieten(bufferer.get());
            savedBufferer.reset(bufferer.release());
        }
        bufferer.reset(new SingleFrameBufferer(*this));
        buffering = false;
    }

    void BufferableVideoFormatReader::doneThumbnailing()
    {
        ScopedLockT<CriticalSection> hold(lock);
        bufferer.reset(savedBufferer.release());
        buffering = isBlockBufferer(bufferer.get());
    }

    bool BufferableVideoFormatReader::hasBufferer() const
    {
        ScopedLockT<CriticalSection> hold(lock);
        return static_cast<bool>(bufferer);
    }

    bool BufferableVideoFormatReader::hasParkedBufferer() const
    {
        ScopedLockT<CriticalSection> hold(lock);
        return static_cast<bool>(savedBufferer);
    }
}
