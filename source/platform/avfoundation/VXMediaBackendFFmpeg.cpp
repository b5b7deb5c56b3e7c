// The default media backend: libavformat and libavcodec decode and encode,
// libswscale converts. One worker thread per decoding session decodes three
// to four frames ahead of the play head (eight at a rate above 1; also
// paused, while frame-exact seeks follow forward play; backwards over
// intra-only frames, by a seek per frame; backwards over predicted frames,
// by key-frame groups decoded once each: VXFFmpegGroupDecoder), performs
// seeks (a zero tolerance lands on the exact frame: key frame, then decoding
// forward; a frame a little ahead of the last one decoded by decoding on)
// and runs their completions. Every picture it decodes is kept, within one
// budget, in the movie's store (VXFFmpegPictureStore): turns, drags back,
// seeks to kept frames and a loop's wrap take their frames from there.
// The decoder, the decoding session and the encoder have files of their
// own: VXFFmpegDecoder, VXFFmpegSession, VXFFmpegEncoder.

#include "engine/video/formats/avfoundation/VXMediaBackend.h"
#include "platform/avfoundation/VXFFmpegDecoder.h"
#include "platform/avfoundation/VXFFmpegEncoder.h"
#include "platform/avfoundation/VXFFmpegSession.h"

extern "C"
{
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vx::av
{
    namespace
    {
        using ffmpeg::Decoder;
        using ffmpeg::FFmpegEncoder;
        using ffmpeg::FFmpegSession;
        using ffmpeg::frameRateOf;

        FourCharCode fromTag(unsigned tag)
        {
            // Container tags are stored first character lowest.
            return ((tag & 0xFFu) << 24) | ((tag & 0xFF00u) << 8) | ((tag >> 8) & 0xFF00u) | (tag >> 24);
        }

        bool isPrintableTag(unsigned tag)
        {
            for (int i = 0; i < 4; ++i)
            {
                const unsigned c = (tag >> (8 * i)) & 0xFFu;
                if (c < 0x20 || c > 0x7E)
                    return false;
            }
            return true;
        }

        FourCharCode subTypeOf(const AVFormatContext& format, const AVCodecParameters& codec)
        {
            const bool quickTime = std::strstr(format.iformat->name, "mov") != nullptr;
            if (quickTime && codec.codec_tag != 0 && isPrintableTag(codec.codec_tag))
                return fromTag(codec.codec_tag);
            switch (codec.codec_id)
            {
                case AV_CODEC_ID_H264:
                    return fourCharCode("avc1");
                case AV_CODEC_ID_MPEG1VIDEO:
                    return fourCharCode("mp1v");
                case AV_CODEC_ID_MPEG2VIDEO:
                    return fourCharCode("mp2v");
                case AV_CODEC_ID_MPEG4:
                    return fourCharCode("mp4v");
                case AV_CODEC_ID_MJPEG:
                    return fourCharCode("jpeg");
                case AV_CODEC_ID_DVVIDEO:
                    return fourCharCode("dvc ");
                case AV_CODEC_ID_H263:
                    return fourCharCode("h263");
                case AV_CODEC_ID_PRORES:
                    return fourCharCode("apcn");
                default:
                    return 0;
            }
        }

        // The stream's display matrix (16.16 fixed point, the same map as
        // the track header's); identity without one.
        CGAffineTransform displayTransformOf(const AVStream& stream)
        {
            CGAffineTransform transform;
#if defined(FF_API_AVSTREAM_SIDE_DATA)
            const AVPacketSideData* side = av_packet_side_data_get(
                stream.codecpar->coded_side_data, stream.codecpar->nb_coded_side_data, AV_PKT_DATA_DISPLAYMATRIX);
            const std::uint8_t* data = side != nullptr ? side->data : nullptr;
            const std::size_t size = side != nullptr ? side->size : 0;
#else
            std::size_t size = 0;
            const std::uint8_t* data = av_stream_get_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
#endif
            if (data == nullptr || size < 9 * sizeof(std::int32_t))
                return transform;
            std::int32_t matrix[9];
            std::memcpy(matrix, data, sizeof(matrix));
            const auto fixed = [](std::int32_t v) { return v / 65536.0; };
            transform.a = fixed(matrix[0]);
            transform.b = fixed(matrix[1]);
            transform.c = fixed(matrix[3]);
            transform.d = fixed(matrix[4]);
            transform.tx = fixed(matrix[6]);
            transform.ty = fixed(matrix[7]);
            return transform;
        }

        // Frame memory, reused: a fresh block per decoded frame costs page
        // faults and zeroing on every frame. Blocks carry their size in front;
        // a few free ones are kept per process while any block is in use
        // (once the last one comes back, movies were released: they go).
        class PooledFrameAllocator final : public FrameAllocator
        {
        public:
            void* allocate(std::size_t size) override
            {
                {
                    std::lock_guard<std::mutex> hold(lock);
                    ++inUse;
                    for (auto it = free.begin(); it != free.end(); ++it)
                        if (sizeOf(*it) == size)
                        {
                            unsigned char* block = *it;
                            free.erase(it);
                            return block + header;
                        }
                }
                auto* block =
                    static_cast<unsigned char*>(std::aligned_alloc(header, (size + 2 * header - 1) / header * header));
                if (block == nullptr)
                {
                    std::lock_guard<std::mutex> hold(lock);
                    --inUse;
                    return nullptr;
                }
                std::memcpy(block, &size, sizeof(size));
                return block + header;
            }

            void deallocate(void* bytes) override
            {
                auto* block = static_cast<unsigned char*>(bytes) - header;
                std::lock_guard<std::mutex> hold(lock);
                inUse -= std::min<std::size_t>(inUse, 1);
                if (inUse > 0 && free.size() < kept)
                {
                    free.push_back(block);
                    return;
                }
                std::free(block);
                if (inUse == 0)
                {
                    for (unsigned char* spare : free)
                        std::free(spare);
                    free.clear();
                }
            }

        private:
            // Also the blocks' alignment.
            static constexpr std::size_t header = 64;
            static constexpr std::size_t kept = 12;

            static std::size_t sizeOf(const unsigned char* block)
            {
                std::size_t size = 0;
                std::memcpy(&size, block, sizeof(size));
                return size;
            }

            std::mutex lock;
            std::vector<unsigned char*> free;
            std::size_t inUse = 0;
        };

        PooledFrameAllocator& pooledFrameAllocator()
        {
            static PooledFrameAllocator* const allocator = new PooledFrameAllocator();
            return *allocator;
        }

        std::atomic<FrameAllocator*> currentFrameAllocator{nullptr};

        class FFmpegAsset final : public MediaAsset
        {
        public:
            explicit FFmpegAsset(std::string moviePath) : path(std::move(moviePath)) {}

            bool open()
            {
                Decoder probe;
                if (! probe.openFormat(path))
                    return false;
                facts.readable = true;
                for (unsigned i = 0; i < probe.format->nb_streams; ++i)
                    if (probe.format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
                        ++facts.audioTrackCount;
                const AVStream* s = probe.videoStream();
                if (s == nullptr)
                    return true;
                facts.hasVideoTrack = true;
                facts.naturalWidth = s->codecpar->width;
                facts.naturalHeight = s->codecpar->height;
                const AVRational rate = frameRateOf(*s);
                facts.nominalFrameRate = static_cast<float>(av_q2d(rate));
                if (rate.num > 0 && rate.den > 0)
                    facts.nominalFrameDuration = CMTimeMake(rate.den, rate.num);
                facts.preferredTransform = displayTransformOf(*s);
                if (s->duration != AV_NOPTS_VALUE && s->duration > 0)
                    facts.durationSeconds = s->duration * av_q2d(s->time_base);
                else if (probe.format->duration != AV_NOPTS_VALUE && probe.format->duration > 0)
                    facts.durationSeconds = static_cast<double>(probe.format->duration) / AV_TIME_BASE;
                // Playable: a picture size and a frame that decodes.
                const bool decodes = s->codecpar->width > 0 && s->codecpar->height > 0 && probe.openDecoder() &&
                                     probe.next() && probe.frame->width > 0 && probe.frame->height > 0;
                if (decodes && probe.hasUsableRate())
                {
                    // The longer of the stream's claimed length and its
                    // measure, where the claim adds less than half a frame
                    // (the rounding of the last picture's stamp or length).
                    // A claim further beyond the stream's own last picture
                    // names one it does not have (an MPEG stream's estimate),
                    // and the file's length in place of the stream's is not
                    // believed either (sound may run on).
                    const double claimed =
                        s->duration != AV_NOPTS_VALUE && s->duration > 0 ? facts.durationSeconds : 0.0;
                    const double measured = probe.measureEnd(facts.durationSeconds);
                    if (measured > 0.0 &&
                        (! (claimed > measured) || ! std::isfinite(claimed) || claimed >= measured + 0.5 / probe.fps))
                        facts.durationSeconds = measured;
                }
                FormatDescription description;
                description.mediaSubType = subTypeOf(*probe.format, *s->codecpar);
                if (const AVCodecDescriptor* codec = avcodec_descriptor_get(s->codecpar->codec_id))
                {
                    description.formatName = codec->long_name != nullptr ? codec->long_name : codec->name;
                    intraOnly = (codec->props & AV_CODEC_PROP_INTRA_ONLY) != 0;
                }
                description.depth = s->codecpar->bits_per_coded_sample > 0 ? s->codecpar->bits_per_coded_sample : 24;
                facts.videoFormatDescriptions.push_back(description);
                facts.playable = decodes;
                // Backwards intra-only frames come by a seek each, others by
                // key-frame groups.
                facts.canPlayReverse = decodes;
                facts.canStepForward = true;
                facts.canPlayFastForward = true;
                return true;
            }

            const AssetFacts& getFacts() const override { return facts; }

            std::unique_ptr<DecodingSession> createSession() override
            {
                auto decoder = std::make_unique<Decoder>();
                if (! decoder->openFormat(path) || ! decoder->openCodec())
                    return nullptr;
                const long frames = std::lround(std::ceil(facts.durationSeconds * decoder->fps - 1e-6));
                return std::make_unique<FFmpegSession>(std::move(decoder), intraOnly, frames - 1);
            }

            CGImageRef copyImageAtTime(double seconds, double* actualSeconds, std::string* error) override
            {
                Decoder decoder;
                if (! decoder.openFormat(path) || ! decoder.openCodec())
                {
                    if (error != nullptr)
                        *error = "cannot decode " + path;
                    return nullptr;
                }
                std::shared_ptr<PixelBuffer> bgra;
                if (decoder.seek(seconds, true))
                    bgra = decoder.convert(pixelFormat32BGRA);
                if (bgra == nullptr)
                {
                    if (error != nullptr)
                        *error = "no frame at that time";
                    return nullptr;
                }
                auto image = std::make_shared<CGImage>();
                image->width = bgra->getWidth();
                image->height = bgra->getHeight();
                image->rgba.resize(static_cast<std::size_t>(image->width) * image->height * 4);
                for (int y = 0; y < image->height; ++y)
                {
                    const unsigned char* from = bgra->getBaseAddress() + y * bgra->getBytesPerRow();
                    unsigned char* to = image->rgba.data() + static_cast<std::size_t>(y) * image->width * 4;
                    for (int x = 0; x < image->width; ++x, from += 4, to += 4)
                    {
                        to[0] = from[2];
                        to[1] = from[1];
                        to[2] = from[0];
                        to[3] = from[3];
                    }
                }
                if (actualSeconds != nullptr)
                    *actualSeconds = bgra->presentationSeconds;
                return image;
            }

        private:
            std::string path;
            AssetFacts facts;
            bool intraOnly = false;
        };

        class FFmpegBackend final : public MediaBackend
        {
        public:
            FFmpegBackend() { av_log_set_level(AV_LOG_QUIET); }

            std::shared_ptr<MediaAsset> openAsset(const std::string& path) override
            {
                auto asset = std::make_shared<FFmpegAsset>(path);
                return asset->open() ? asset : nullptr;
            }

            std::unique_ptr<MovieEncoder> createEncoder(const EncoderSettings& settings) override
            {
                return std::make_unique<FFmpegEncoder>(settings);
            }
        };

        std::atomic<MediaBackend*> currentBackend{nullptr};
    }

    FrameAllocator& FrameAllocator::getCurrent()
    {
        FrameAllocator* allocator = currentFrameAllocator.load();
        return allocator != nullptr ? *allocator : pooledFrameAllocator();
    }

    void FrameAllocator::setCurrent(FrameAllocator* allocator)
    {
        currentFrameAllocator.store(allocator);
    }

    MediaBackend& MediaBackend::getDefault()
    {
        static FFmpegBackend backend;
        return backend;
    }

    MediaBackend& MediaBackend::getCurrent()
    {
        MediaBackend* backend = currentBackend.load();
        return backend != nullptr ? *backend : getDefault();
    }

    void MediaBackend::setCurrent(MediaBackend* backend)
    {
        currentBackend.store(backend);
    }
}
