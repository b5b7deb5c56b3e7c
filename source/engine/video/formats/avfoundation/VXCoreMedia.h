#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

// The media framework's value types as the movie readers and writers use
// them: times, the host clock, pixel buffers, images and the framework's
// exception. Implemented in source/platform/avfoundation/.
namespace vx::av
{
    using FourCharCode = std::uint32_t;

    constexpr FourCharCode fourCharCode(const char (&text)[5])
    {
        return (static_cast<std::uint32_t>(static_cast<unsigned char>(text[0])) << 24) |
               (static_cast<std::uint32_t>(static_cast<unsigned char>(text[1])) << 16) |
               (static_cast<std::uint32_t>(static_cast<unsigned char>(text[2])) << 8) |
               static_cast<std::uint32_t>(static_cast<unsigned char>(text[3]));
    }

    // Pixel formats of the buffers: 4:2:2 Y'CbCr 8-bit stored U0 Y0 V0 Y1
    // ('2vuy'), B,G,R,A bytes ('BGRA'), 16-bit big-endian A,R,G,B ('b64a').
    constexpr FourCharCode pixelFormat422YpCbCr8 = fourCharCode("2vuy");
    constexpr FourCharCode pixelFormat32BGRA = fourCharCode("BGRA");
    constexpr FourCharCode pixelFormat64ARGB = fourCharCode("b64a");
    // Bytes per pixel of those formats; 0 for others.
    int bytesPerPixelOf(FourCharCode pixelFormat);
    // The shortest row of width pixels: a 4:2:2 row of odd width ends in a
    // whole U Y V Y group. 0 for other formats.
    std::size_t minimumBytesPerRow(int width, FourCharCode pixelFormat);

    // The Y'CbCr matrix of a buffer's samples (the buffer's matrix
    // attachment); unknown when the buffer does not say.
    enum class YCbCrMatrix
    {
        unknown,
        itu601,
        itu709,
        smpte240M,
        itu2020
    };
    // What a picture of height lines whose matrix is not known is taken for:
    // BT.709 from 720 lines on, BT.601 below.
    constexpr YCbCrMatrix defaultYCbCrMatrixFor(int height)
    {
        return height >= 720 ? YCbCrMatrix::itu709 : YCbCrMatrix::itu601;
    }

    // An affine map of picture points: x' = a x + c y + tx, y' = b x + d y + ty
    // (first row the top, so b = 1, c = -1 turns a quarter clockwise).
    struct CGAffineTransform
    {
        double a = 1.0, b = 0.0, c = 0.0, d = 1.0, tx = 0.0, ty = 0.0;
    };

    // A rational time: value / timescale seconds. Invalid when the timescale
    // is 0; positive infinity is a flag.
    struct CMTime
    {
        std::int64_t value = 0;
        std::int32_t timescale = 0;
        bool valid = false;
        bool positiveInfinity = false;
    };
    CMTime CMTimeMake(std::int64_t value, std::int32_t timescale);
    // seconds rounded to the nearest tick of the timescale.
    CMTime CMTimeMakeWithSeconds(double seconds, std::int32_t preferredTimescale);
    // time x multiplier, exactly; invalid when time is, or when the product
    // overflows.
    CMTime CMTimeMultiply(const CMTime& time, std::int64_t multiplier);
    // 0 for an invalid time; infinity for positive infinity.
    double CMTimeGetSeconds(const CMTime& time);
    extern const CMTime kCMTimeZero;
    extern const CMTime kCMTimePositiveInfinity;

    // The framework's exception (name and reason), thrown by compositions.
    class PlatformException : public std::exception
    {
    public:
        PlatformException(std::string exceptionName, std::string exceptionReason)
            : name(std::move(exceptionName)), reason(std::move(exceptionReason))
        {
        }
        const char* what() const noexcept override { return reason.c_str(); }

        std::string name;
        std::string reason;
    };

    // The host clock players run on, in seconds. Injectable, process-wide:
    // tests install a manual one. The default is a monotonic clock.
    class HostClock
    {
    public:
        virtual ~HostClock() = default;
        virtual double getSeconds() const = 0;

        static const HostClock& getCurrent();
        // Null restores the default clock. The clock must outlive its use.
        static void setCurrent(const HostClock* clock);
        // A clock set by hand belongs to the thread driving it: background
        // threads leave it unread.
        static bool isSetByHand();
    };
    // The current host time in seconds.
    double CACurrentMediaTime();

    // A frame in memory: width x height pixels of one pixel format, rows
    // bytesPerRow apart, first row the top of the picture. Either owns its
    // bytes or wraps the caller's, whose release callback runs (once, on the
    // thread dropping the last reference) when the buffer dies.
    class PixelBuffer
    {
    public:
        using ReleaseCallback = void (*)(void* refCon, const void* bytes);

        // Null for a size of 0 or an unknown pixel format.
        static std::shared_ptr<PixelBuffer> create(int width, int height, FourCharCode pixelFormat);
        static std::shared_ptr<PixelBuffer> createWithBytes(int width, int height, FourCharCode pixelFormat,
                                                            void* bytes, std::size_t bytesPerRow,
                                                            ReleaseCallback releaseCallback, void* refCon);
        ~PixelBuffer();
        PixelBuffer(const PixelBuffer&) = delete;
        PixelBuffer& operator=(const PixelBuffer&) = delete;

        int getWidth() const { return width; }
        int getHeight() const { return height; }
        FourCharCode getPixelFormat() const { return pixelFormat; }
        std::size_t getBytesPerRow() const { return bytesPerRow; }
        unsigned char* getBaseAddress() const { return bytes; }
        void lockBaseAddress() { ++lockCount; }
        void unlockBaseAddress()
        {
            if (lockCount > 0)
                --lockCount;
        }
        bool isLocked() const { return lockCount > 0; }

        // The index of the movie frame the buffer holds (-1: not from a movie),
        // and its presentation time in seconds.
        long frameIndex = -1;
        double presentationSeconds = 0.0;
        // For '2vuy': the matrix its samples were coded with (video range).
        YCbCrMatrix yCbCrMatrix = YCbCrMatrix::unknown;

    private:
        PixelBuffer() = default;

        int width = 0, height = 0;
        FourCharCode pixelFormat = 0;
        std::size_t bytesPerRow = 0;
        unsigned char* bytes = nullptr;
        std::vector<unsigned char> owned;
        ReleaseCallback releaseCallback = nullptr;
        void* refCon = nullptr;
        int lockCount = 0;
    };

    // Where decoders get the memory of the frames they fill: blocks of a
    // size that already counts the padding the converter writes into, a
    // multiple of 64. Process-wide and injectable; the default keeps a few
    // freed blocks for reuse. Thread-safe.
    class FrameAllocator
    {
    public:
        virtual ~FrameAllocator() = default;
        // Aligned to 64 bytes when size is a multiple of 64, else to 16; null
        // when out of memory.
        virtual void* allocate(std::size_t size) = 0;
        // Gives back a block this allocator made.
        virtual void deallocate(void* block) = 0;
        // Told of each picture a decoder decodes (handed on or not), on the
        // decoder's thread (tests pace decoding with it).
        virtual void pictureDecoded(long /*frame*/) {}

        static FrameAllocator& getCurrent();
        // Null restores the default. The allocator must outlive the blocks it
        // made.
        static void setCurrent(FrameAllocator* allocator);
        // Blocks that end against an inaccessible page, so a write past the
        // end faults at once (for tests and fuzzing: a page or more each).
        static FrameAllocator& getGuarded();
    };

    // A still image: straight-alpha RGBA8, first row the top of the picture.
    struct CGImage
    {
        int width = 0;
        int height = 0;
        std::vector<unsigned char> rgba;
    };
    using CGImageRef = std::shared_ptr<const CGImage>;

    // An image object wrapping one bitmap.
    struct NSImage
    {
        CGImageRef image;
    };
}
