#include "platform/avfoundation/VXFFmpegPictureMemory.h"

extern "C"
{
#include <libavcodec/avcodec.h>
#include <libavutil/buffer.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <vector>

#include <sys/mman.h>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif
#ifndef MADV_HUGEPAGE
#define MADV_HUGEPAGE 14
#endif

namespace vx::av
{
    namespace
    {
        constexpr std::size_t largePage = std::size_t{2} << 20;
        constexpr std::size_t blockAtLeast = std::size_t{32} << 20;
        // Pictures from this size on (a little under 720 x 480 in 4:2:0)
        // are cut from blocks on large pages.
        constexpr std::size_t largePicture = std::size_t{512} << 10;
        // Of each plane's start; also what a decoder may read past a plane.
        constexpr std::size_t planeAlign = 64;
        constexpr std::size_t planePadding = 16 + planeAlign;

        std::atomic<std::size_t> allBlockBytes{0}, allReadyBytes{0};

        std::size_t roundUp(std::size_t value, std::size_t step)
        {
            return (value + step - 1) / step * step;
        }

        // The planes of a picture as the decoder lays them out: aligned
        // dimensions and line sizes, each plane's offset in one buffer and
        // the buffer's size (0 when the format cannot be laid out).
        struct Layout
        {
            int linesize[4] = {};
            std::size_t offset[4] = {};
            int planes = 0;
            std::size_t size = 0;
        };

        Layout layOut(AVCodecContext& codec, const AVFrame& picture)
        {
            Layout layout;
            const auto format = static_cast<AVPixelFormat>(picture.format);
            int width = picture.width, height = picture.height;
            int align[AV_NUM_DATA_POINTERS] = {};
            avcodec_align_dimensions2(&codec, &width, &height, align);
            // Line sizes aligned together (widening the picture), as some
            // decoders take one plane's as a multiple of another's.
            ptrdiff_t lines[4] = {};
            for (int tries = 0;; ++tries)
            {
                int sizes[4] = {};
                if (tries > 16 || av_image_fill_linesizes(sizes, format, width) < 0)
                    return {};
                bool aligned = true;
                for (int i = 0; i < 4; ++i)
                {
                    lines[i] = sizes[i];
                    aligned = aligned && (align[i] <= 0 || sizes[i] % align[i] == 0);
                }
                if (aligned)
                    break;
                width += width & ~(width - 1);
            }
            std::size_t planeSizes[4] = {};
            if (av_image_fill_plane_sizes(planeSizes, format, height, lines) < 0)
                return {};
            std::size_t at = 0;
            for (int i = 0; i < 4 && planeSizes[i] > 0; ++i)
            {
                layout.linesize[i] = static_cast<int>(lines[i]);
                layout.offset[i] = at;
                at = roundUp(at + planeSizes[i] + planePadding, planeAlign);
                layout.planes = i + 1;
            }
            layout.size = at;
            return layout;
        }
    }

    // The blocks one pool's buffers are cut from, in turn; given back
    // when the pool goes. Pages ahead of the buffers cut may be faulted in
    // beforehand (warm), while the decoder waits for nothing.
    class FFmpegPictureMemory::Blocks
    {
    public:
        explicit Blocks(std::size_t buffer) : bufferSize(roundUp(buffer, planeAlign)) {}

        ~Blocks()
        {
            for (const Block& block : blocks)
            {
                munmap(block.mapped, block.mappedLength);
                allBlockBytes -= block.mappedLength;
                allReadyBytes -= block.ready();
            }
        }

        // Called by the pool under its own lock.
        static AVBufferRef* take(void* opaque, std::size_t size)
        {
            std::uint8_t* bytes = static_cast<Blocks*>(opaque)->cut();
            return bytes != nullptr ? av_buffer_create(bytes, size, [](void*, std::uint8_t*) {}, nullptr, 0)
                                    : nullptr;
        }

        static void release(void* opaque) { delete static_cast<Blocks*>(opaque); }

        // Faults in the next large page not yet used while less than
        // bytes, and less than pictures buffers, are; whether more is left
        // to do.
        bool warm(std::size_t bytes, std::size_t pictures)
        {
            std::lock_guard<std::mutex> hold(lock);
            if (pictures < bytes / bufferSize)
                bytes = pictures * bufferSize;
            std::size_t ready = 0;
            for (const Block& block : blocks)
                ready += block.ready();
            if (ready >= bytes)
                return false;
            auto block = std::find_if(blocks.begin() + static_cast<std::ptrdiff_t>(current), blocks.end(),
                                      [](const Block& b) { return b.ready() < b.length; });
            if (block == blocks.end())
            {
                if (! map())
                    return false;
                block = blocks.end() - 1;
            }
            const std::size_t from = std::max(block->touched, block->used / largePage * largePage);
            const std::size_t length = std::min(largePage, block->length - from);
            // Page tables only: the bytes, some maybe in a picture, stay.
            if (madvise(block->start + from, length, MADV_POPULATE_WRITE) != 0)
                return false;
            const std::size_t before = block->ready();
            block->touched = from + length;
            allReadyBytes += block->ready() - before;
            return true;
        }

    private:
        struct Block
        {
            void* mapped;
            std::size_t mappedLength;
            std::uint8_t* start;
            std::size_t length, used = 0, touched = 0;

            // Cut into pictures or faulted in.
            std::size_t ready() const { return std::max(used, touched); }
        };

        bool map()
        {
            const std::size_t length = roundUp(std::max(blockAtLeast, bufferSize), largePage);
            // One large page more, to start on one.
            void* mapped =
                mmap(nullptr, length + largePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (mapped == MAP_FAILED)
                return false;
            auto* start = reinterpret_cast<std::uint8_t*>(roundUp(reinterpret_cast<std::uintptr_t>(mapped), largePage));
            // Small pictures gain nothing from large pages, whose first
            // touch clears 2 MB.
            if (bufferSize >= largePicture)
                madvise(start, length, MADV_HUGEPAGE);
            blocks.push_back({mapped, length + largePage, start, length});
            allBlockBytes += length + largePage;
            return true;
        }

        std::uint8_t* cut()
        {
            std::lock_guard<std::mutex> hold(lock);
            while (current < blocks.size() && blocks[current].used + bufferSize > blocks[current].length)
                ++current;
            if (current == blocks.size() && ! map())
                return nullptr;
            Block& block = blocks[current];
            std::uint8_t* bytes = block.start + block.used;
            const std::size_t before = block.ready();
            block.used += bufferSize;
            allReadyBytes += block.ready() - before;
            return bytes;
        }

        const std::size_t bufferSize;
        std::mutex lock;
        std::vector<Block> blocks;
        // The block buffers are cut from.
        std::size_t current = 0;
    };

    FFmpegPictureMemory::~FFmpegPictureMemory()
    {
        av_buffer_pool_uninit(&pool);
    }

    void FFmpegPictureMemory::serve(AVCodecContext& codec)
    {
        codec.opaque = this;
        codec.get_buffer2 = &FFmpegPictureMemory::getBuffer;
    }

    bool FFmpegPictureMemory::warm(std::size_t bytes, std::size_t pictures)
    {
        std::lock_guard<std::mutex> hold(lock);
        return blocks != nullptr && blocks->warm(bytes, pictures);
    }

    std::size_t FFmpegPictureMemory::blockBytes()
    {
        return allBlockBytes.load();
    }

    std::size_t FFmpegPictureMemory::readyBytes()
    {
        return allReadyBytes.load();
    }

    int FFmpegPictureMemory::getBuffer(AVCodecContext* codec, AVFrame* picture, int flags)
    {
        const AVPixFmtDescriptor* described = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(picture->format));
        const bool ownLayout = described == nullptr || (described->flags & (AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_HWACCEL)) != 0;
        if (codec->opaque == nullptr || codec->codec == nullptr || (codec->codec->capabilities & AV_CODEC_CAP_DR1) == 0 ||
            codec->hw_frames_ctx != nullptr || ownLayout)
            return avcodec_default_get_buffer2(codec, picture, flags);
        const int filled = static_cast<FFmpegPictureMemory*>(codec->opaque)->fill(*codec, *picture);
        return filled == AVERROR(EINVAL) ? avcodec_default_get_buffer2(codec, picture, flags) : filled;
    }

    int FFmpegPictureMemory::fill(AVCodecContext& codec, AVFrame& picture)
    {
        const Layout layout = layOut(codec, picture);
        if (layout.size == 0)
            return AVERROR(EINVAL);
        AVBufferRef* buffer = nullptr;
        {
            std::lock_guard<std::mutex> hold(lock);
            if (pool == nullptr || bufferSize != layout.size)
            {
                av_buffer_pool_uninit(&pool);
                blocks = new Blocks(layout.size);
                pool = av_buffer_pool_init2(layout.size, blocks, &Blocks::take, &Blocks::release);
                if (pool == nullptr)
                {
                    delete blocks;
                    blocks = nullptr;
                    return AVERROR(ENOMEM);
                }
                bufferSize = layout.size;
            }
            buffer = av_buffer_pool_get(pool);
        }
        if (buffer == nullptr)
            return AVERROR(ENOMEM);
        picture.buf[0] = buffer;
        for (int i = 0; i < AV_NUM_DATA_POINTERS; ++i)
        {
            picture.data[i] = i < layout.planes ? buffer->data + layout.offset[i] : nullptr;
            picture.linesize[i] = i < layout.planes ? layout.linesize[i] : 0;
        }
        picture.extended_data = picture.data;
        return 0;
    }
}
