// Times, the host clock and pixel buffers of the media framework's mirror.

#include "engine/video/formats/avfoundation/VXCoreMedia.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <map>
#include <mutex>

#include <sys/mman.h>
#include <unistd.h>

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

    std::size_t minimumBytesPerRow(int width, FourCharCode pixelFormat)
    {
        const std::size_t w = width > 0 ? static_cast<std::size_t>(width) : 0;
        if (pixelFormat == pixelFormat422YpCbCr8)
            return (w + 1) / 2 * 4;
        return w * static_cast<std::size_t>(bytesPerPixelOf(pixelFormat));
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

    CMTime CMTimeMultiply(const CMTime& time, std::int64_t multiplier)
    {
        std::int64_t value = 0;
        if (! time.valid || time.positiveInfinity || __builtin_mul_overflow(time.value, multiplier, &value))
            return {};
        return CMTimeMake(value, time.timescale);
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

    namespace
    {
        class GuardedFrameAllocator final : public FrameAllocator
        {
        public:
            void* allocate(std::size_t size) override
            {
                const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
                const std::size_t usable = (size + 15 + page - 1) / page * page;
                void* mapped = mmap(nullptr, usable + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
                if (mapped == MAP_FAILED)
                    return nullptr;
                auto* base = static_cast<unsigned char*>(mapped);
                if (mprotect(base + usable, page, PROT_NONE) != 0)
                {
                    munmap(mapped, usable + page);
                    return nullptr;
                }
                // Flush against the guard; a size of no multiple of 16 leaves
                // less than 16 bytes before it.
                const std::uintptr_t end = reinterpret_cast<std::uintptr_t>(base + usable);
                auto* block = reinterpret_cast<unsigned char*>((end - size) & ~std::uintptr_t(15));
                std::lock_guard<std::mutex> hold(lock);
                mappings[block] = {mapped, usable + page};
                return block;
            }

            void deallocate(void* block) override
            {
                std::pair<void*, std::size_t> mapping{nullptr, 0};
                {
                    std::lock_guard<std::mutex> hold(lock);
                    const auto found = mappings.find(block);
                    if (found == mappings.end())
                        return;
                    mapping = found->second;
                    mappings.erase(found);
                }
                munmap(mapping.first, mapping.second);
            }

        private:
            std::mutex lock;
            std::map<void*, std::pair<void*, std::size_t>> mappings;
        };
    }

    FrameAllocator& FrameAllocator::getGuarded()
    {
        static GuardedFrameAllocator* const allocator = new GuardedFrameAllocator();
        return *allocator;
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
        buffer->bytesPerRow = minimumBytesPerRow(width, pixelFormat);
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
            bytesPerRow < minimumBytesPerRow(width, pixelFormat))
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
