// Times, the host clock and pixel buffers of the media framework's mirror.

#include "engine/video/formats/avfoundation/VXCoreMedia.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>

namespace vx::av
{
    int bytesPerPixelOf(FourCharCode pixelFormat)
    {
        switch (pixelFormat)
        {
            case pixelFormat422YpCbCr8:
                return 2;
            case pixelFormat32BGRA:
                return 4;
            case pixelFormat64ARGB:
                return 8;
            default:
                return 0;
        }
    }

    const CMTime kCMTimeZero = {0, 1, true, false};
    const CMTime kCMTimePositiveInfinity = {0, 0, true, true};

    CMTime CMTimeMake(std::int64_t value, std::int32_t timescale)
    {
        return {value, timescale, timescale > 0, false};
    }

    CMTime CMTimeMakeWithSeconds(double seconds, std::int32_t preferredTimescale)
    {
        if (! std::isfinite(seconds) || preferredTimescale <= 0)
            return {};
        const double ticks = std::round(seconds * preferredTimescale);
        if (std::fabs(ticks) > 9.0e18)
            return {};
        return CMTimeMake(static_cast<std::int64_t>(ticks), preferredTimescale);
    }

    double CMTimeGetSeconds(const CMTime& time)
    {
        if (time.positiveInfinity)
            return std::numeric_limits<double>::infinity();
        if (! time.valid || time.timescale <= 0)
            return 0.0;
        return static_cast<double>(time.value) / time.timescale;
    }

    namespace
    {
        class SteadyClock final : public HostClock
        {
        public:
            double getSeconds() const override
            {
                return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
            }
        };

        const SteadyClock steadyClock;
        std::atomic<const HostClock*> currentClock{nullptr};
    }

    const HostClock& HostClock::getCurrent()
    {
        const HostClock* clock = currentClock.load();
        return clock != nullptr ? *clock : steadyClock;
    }

    void HostClock::setCurrent(const HostClock* clock)
    {
        currentClock.store(clock);
    }

    bool HostClock::isSetByHand()
    {
        return currentClock.load() != nullptr;
    }

    double CACurrentMediaTime()
    {
        return HostClock::getCurrent().getSeconds();
    }

    std::shared_ptr<PixelBuffer> PixelBuffer::create(int width, int height, FourCharCode pixelFormat)
    {
        const int bytesPerPixel = bytesPerPixelOf(pixelFormat);
        if (width <= 0 || height <= 0 || bytesPerPixel == 0)
            return nullptr;
        std::shared_ptr<PixelBuffer> buffer(new PixelBuffer());
        buffer->width = width;
        buffer->height = height;
        buffer->pixelFormat = pixelFormat;
        buffer->bytesPerRow = static_cast<std::size_t>(width) * static_cast<std::size_t>(bytesPerPixel);
        buffer->owned.resize(buffer->bytesPerRow * static_cast<std::size_t>(height));
        buffer->bytes = buffer->owned.data();
        return buffer;
    }

    std::shared_ptr<PixelBuffer> PixelBuffer::createWithBytes(int width, int height, FourCharCode pixelFormat,
                                                              void* bytes, std::size_t bytesPerRow,
                                                              ReleaseCallback releaseCallback, void* refCon)
    {
        const int bytesPerPixel = bytesPerPixelOf(pixelFormat);
        if (width <= 0 || height <= 0 || bytesPerPixel == 0 || bytes == nullptr ||
            bytesPerRow < static_cast<std::size_t>(width) * static_cast<std::size_t>(bytesPerPixel))
            return nullptr;
        std::shared_ptr<PixelBuffer> buffer(new PixelBuffer());
        buffer->width = width;
        buffer->height = height;
        buffer->pixelFormat = pixelFormat;
        buffer->bytesPerRow = bytesPerRow;
        buffer->bytes = static_cast<unsigned char*>(bytes);
        buffer->releaseCallback = releaseCallback;
        buffer->refCon = refCon;
        return buffer;
    }

    PixelBuffer::~PixelBuffer()
    {
        if (releaseCallback != nullptr)
            releaseCallback(refCon, bytes);
    }
}
