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

#include "engine/video/formats/avfoundation/VXMediaBackend.h"
#include "platform/avfoundation/VXFFmpegGroupDecoder.h"
#include "platform/avfoundation/VXFFmpegPictureStore.h"

extern "C"
{
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <limits>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace vx::av
{
    namespace
    {
        std::string errorText(int code)
        {
            char text[AV_ERROR_MAX_STRING_SIZE] = {};
            av_strerror(code, text, sizeof(text));
            return text;
        }

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

        // The stream's frame rate: its average, or where that is unknown (an
        // Ogg stream without sound) its real base rate; 0/0 when neither is
        // known.
        AVRational frameRateOf(const AVStream& stream)
        {
            const auto known = [](AVRational rate) { return rate.num > 0 && rate.den > 0; };
            if (known(stream.avg_frame_rate))
                return stream.avg_frame_rate;
            if (known(stream.r_frame_rate))
                return stream.r_frame_rate;
            return AVRational{0, 0};
        }

        // Frame memory, reused: a fresh block per decoded frame costs page
        // faults and zeroing on every frame. Blocks carry their size in front;
        // a few free ones are kept per process (never freed at exit).
        class PooledFrameAllocator final : public FrameAllocator
        {
        public:
            void* allocate(std::size_t size) override
            {
                {
                    std::lock_guard<std::mutex> hold(lock);
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
                    return nullptr;
                std::memcpy(block, &size, sizeof(size));
                return block + header;
            }

            void deallocate(void* bytes) override
            {
                auto* block = static_cast<unsigned char*>(bytes) - header;
                std::lock_guard<std::mutex> hold(lock);
                if (free.size() < kept)
                    free.push_back(block);
                else
                    std::free(block);
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
        };

        PooledFrameAllocator& pooledFrameAllocator()
        {
            static PooledFrameAllocator* const allocator = new PooledFrameAllocator();
            return *allocator;
        }

        std::atomic<FrameAllocator*> currentFrameAllocator{nullptr};

        void giveBackFrame(void* allocator, const void* bytes)
        {
            static_cast<FrameAllocator*>(allocator)->deallocate(const_cast<void*>(bytes));
        }

        // The matrix a frame's Y'CbCr samples say they are in; unknown when
        // they do not say.
        YCbCrMatrix matrixOf(const AVFrame& frame)
        {
            switch (frame.colorspace)
            {
                case AVCOL_SPC_BT709:
                    return YCbCrMatrix::itu709;
                case AVCOL_SPC_BT470BG:
                case AVCOL_SPC_SMPTE170M:
                case AVCOL_SPC_FCC:
                    return YCbCrMatrix::itu601;
                case AVCOL_SPC_SMPTE240M:
                    return YCbCrMatrix::smpte240M;
                case AVCOL_SPC_BT2020_NCL:
                case AVCOL_SPC_BT2020_CL:
                    return YCbCrMatrix::itu2020;
                default:
                    return YCbCrMatrix::unknown;
            }
        }

        int swsColourSpaceOf(YCbCrMatrix matrix)
        {
            switch (matrix)
            {
                case YCbCrMatrix::itu709:
                    return SWS_CS_ITU709;
                case YCbCrMatrix::smpte240M:
                    return SWS_CS_SMPTE240M;
                case YCbCrMatrix::itu2020:
                    return SWS_CS_BT2020;
                default:
                    return SWS_CS_ITU601;
            }
        }

        bool hasFormatFlag(AVPixelFormat format, std::uint64_t flag)
        {
            const AVPixFmtDescriptor* description = av_pix_fmt_desc_get(format);
            return description != nullptr && (description->flags & flag) != 0;
        }

        // One libswscale conversion at one size, with the matrix and the
        // ranges of its Y'CbCr sides: libswscale's defaults are BT.601 and
        // the range the pixel format names, whatever the frame says. Made
        // again only when something changes.
        class ColourConversion
        {
        public:
            ColourConversion() = default;
            ~ColourConversion() { reset(); }
            ColourConversion(const ColourConversion&) = delete;
            ColourConversion& operator=(const ColourConversion&) = delete;

            // Null when libswscale cannot convert between the formats.
            SwsContext* get(int width, int height, AVPixelFormat from, bool fromFullRange, AVPixelFormat to,
                            bool toFullRange, YCbCrMatrix matrix)
            {
                const Key wanted{width, height, from, to, fromFullRange, toFullRange, swsColourSpaceOf(matrix)};
                if (context != nullptr && wanted == key)
                    return context;
                reset();
                context = sws_alloc_context();
                if (context == nullptr)
                    return nullptr;
                // The ranges go in before the set-up: it picks the unscaled
                // copies only for equal ranges.
                av_opt_set_int(context, "srcw", width, 0);
                av_opt_set_int(context, "srch", height, 0);
                av_opt_set_int(context, "dstw", width, 0);
                av_opt_set_int(context, "dsth", height, 0);
                av_opt_set_int(context, "src_format", from, 0);
                av_opt_set_int(context, "dst_format", to, 0);
                av_opt_set_int(context, "sws_flags", SWS_POINT, 0);
                av_opt_set_int(context, "src_range", fromFullRange ? 1 : 0, 0);
                av_opt_set_int(context, "dst_range", toFullRange ? 1 : 0, 0);
                if (sws_init_context(context, nullptr, nullptr) < 0)
                {
                    reset();
                    return nullptr;
                }
                const int* coefficients = sws_getCoefficients(wanted.colourSpace);
                sws_setColorspaceDetails(context, coefficients, fromFullRange ? 1 : 0, coefficients,
                                         toFullRange ? 1 : 0, 0, 1 << 16, 1 << 16);
                key = wanted;
                return context;
            }

            void reset()
            {
                sws_freeContext(context);
                context = nullptr;
            }

        private:
            struct Key
            {
                int width = 0, height = 0;
                AVPixelFormat from = AV_PIX_FMT_NONE, to = AV_PIX_FMT_NONE;
                bool fromFullRange = false, toFullRange = false;
                int colourSpace = 0;
                bool operator==(const Key&) const = default;
            };
            Key key;
            SwsContext* context = nullptr;
        };

        // A frame buffer libswscale may fill: its SIMD writers store whole
        // vectors past the end of a row (20 to 24 bytes of 4:2:2 at widths
        // that are no multiple of 16) and want rows 64-byte aligned. Rows are
        // as long as the width rounded up to 32 pixels, on a 64-byte
        // multiple, and the block ends in 64 bytes more.
        std::shared_ptr<PixelBuffer> makeFrameBuffer(int width, int height, FourCharCode pixelFormat)
        {
            if (width <= 0 || height <= 0 || bytesPerPixelOf(pixelFormat) == 0)
                return nullptr;
            constexpr std::size_t alignment = 64;
            const auto roundUp = [](std::size_t n, std::size_t to) { return (n + to - 1) / to * to; };
            const std::size_t bytesPerRow =
                roundUp(minimumBytesPerRow(static_cast<int>(roundUp(static_cast<std::size_t>(width), 32)), pixelFormat),
                        alignment);
            const std::size_t size = bytesPerRow * static_cast<std::size_t>(height) + alignment;
            FrameAllocator& allocator = FrameAllocator::getCurrent();
            void* block = allocator.allocate(size);
            if (block == nullptr)
                return nullptr;
            auto buffer = PixelBuffer::createWithBytes(width, height, pixelFormat, block, bytesPerRow, &giveBackFrame,
                                                       &allocator);
            if (buffer == nullptr)
                allocator.deallocate(block);
            return buffer;
        }

        // One demuxer and decoder over the first video stream.
        class Decoder final : public PictureSource
        {
        public:
            ~Decoder()
            {
                av_frame_free(&frame);
                av_frame_free(&spare);
                av_frame_free(&following);
                av_packet_free(&packet);
                av_packet_free(&held);
                avcodec_free_context(&codec);
                avformat_close_input(&format);
            }

            // Opens the file with its stream information; false when it does not.
            bool openFormat(const std::string& path)
            {
                if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0)
                    return false;
                if (avformat_find_stream_info(format, nullptr) < 0)
                    return false;
                for (unsigned i = 0; i < format->nb_streams; ++i)
                {
                    const AVStream* s = format->streams[i];
                    if (s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
                        (s->disposition & AV_DISPOSITION_ATTACHED_PIC) == 0)
                    {
                        stream = static_cast<int>(i);
                        break;
                    }
                }
                return true;
            }

            // The codec, with a usable frame rate.
            bool openCodec() { return openDecoder() && hasUsableRate(); }

            bool hasUsableRate() const { return fps > 0.0 && std::isfinite(fps); }

            // Frames a second of the movie holds (at least one): how far
            // ahead forward play reaches by decoding on.
            long framesInASecond() const { return std::max(1L, std::lround(fps)); }

            bool openDecoder()
            {
                if (stream < 0)
                    return false;
                const AVStream* s = format->streams[stream];
                const AVCodec* decoder = avcodec_find_decoder(s->codecpar->codec_id);
                if (decoder == nullptr)
                    return false;
                codec = avcodec_alloc_context3(decoder);
                if (codec == nullptr || avcodec_parameters_to_context(codec, s->codecpar) < 0)
                    return false;
                codec->thread_count = 2;
                if (avcodec_open2(codec, decoder, nullptr) < 0)
                    return false;
                frame = av_frame_alloc();
                spare = av_frame_alloc();
                following = av_frame_alloc();
                packet = av_packet_alloc();
                held = av_packet_alloc();
                timeBase = av_q2d(s->time_base);
                fps = av_q2d(frameRateOf(*s));
                gatesOnRandomAccess = s->codecpar->codec_id == AV_CODEC_ID_HEVC;
                if (frame == nullptr || spare == nullptr || following == nullptr || packet == nullptr ||
                    held == nullptr)
                    return false;
                holdFirstPacket();
                findFirstPicture();
                keepKeyFrames();
                return true;
            }

            // Whether two frames lie in one key-frame group: the container's
            // index puts the same key frame at or before both. Without an
            // index (MPEG streams), when they are at most a second apart.
            // Safe beside the decoding: the key frames are kept at opening.
            bool inOneGroup(long a, long b) const
            {
                if (keyFrameTicks.empty())
                    return std::labs(a - b) <= framesInASecond();
                const auto groupOf = [this](long index)
                {
                    const auto ticks =
                        saturatingCast<std::int64_t>(std::floor(index / fps / timeBase + keyFrameOrigin));
                    return std::upper_bound(keyFrameTicks.begin(), keyFrameTicks.end(), ticks) - keyFrameTicks.begin();
                };
                return groupOf(a) == groupOf(b);
            }

            // The key frame at or before index by the index; without one (MPEG
            // streams), a second before it.
            long keyFrameAtOrBefore(long index) const
            {
                if (keyFrameTicks.empty())
                    return std::max(0L, index - framesInASecond());
                const auto ticks = saturatingCast<std::int64_t>(std::floor(index / fps / timeBase + keyFrameOrigin));
                const auto after = std::upper_bound(keyFrameTicks.begin(), keyFrameTicks.end(), ticks);
                if (after == keyFrameTicks.begin())
                    return 0;
                const double seconds = (static_cast<double>(*std::prev(after)) - keyFrameOrigin) * timeBase;
                return std::clamp(static_cast<long>(std::floor(seconds * fps + 1e-6)), 0L, index);
            }

            // Decodes the stream's first picture: its stamp is frame 0's.
            // Containers without times of their own for B-frames (AVI) stamp
            // every picture by the packet that brought it out of the decoder,
            // as many frames late as the decoder holds pictures back. The
            // picture is given first by next() unless a seek comes before.
            void findFirstPicture()
            {
                const bool decoded = next();
                // Without a stamp of its own, frame 0 is where the stream starts.
                if (zeroStamp == AV_NOPTS_VALUE)
                    zeroStamp = streamStart();
                if (decoded)
                    keepAsFollowing();
            }

            // The picture decoded last becomes the one next() gives first.
            void keepAsFollowing()
            {
                av_frame_unref(following);
                av_frame_move_ref(following, frame);
                followingIndex = frameIndex;
                followingSeconds = frameSeconds;
                hasFollowing = true;
            }

            // An 8-bit movie's palette comes with the stream's first packet
            // only, and a seek drops the packets read so far: the first one is
            // read now, before any seek, its palette kept, and it is decoded
            // first unless a seek comes before.
            void holdFirstPacket()
            {
                for (int packets = 0; packets < 1000 && av_read_frame(format, held) >= 0; ++packets)
                {
                    if (held->stream_index == stream)
                    {
                        hasHeld = true;
                        keepPalette(*held);
                        openingTime = held->dts != AV_NOPTS_VALUE ? held->dts : held->pts;
                        return;
                    }
                    av_packet_unref(held);
                }
            }

            // Remembers the palette a packet carries.
            void keepPalette(const AVPacket& carrier)
            {
                std::size_t size = 0;
                const std::uint8_t* side = av_packet_get_side_data(&carrier, AV_PKT_DATA_PALETTE, &size);
                if (side != nullptr && size == AVPALETTE_SIZE)
                    palette.assign(side, side + size);
            }

            AVStream* videoStream() const { return stream >= 0 ? format->streams[stream] : nullptr; }

            long indexOf(double seconds) const { return static_cast<long>(std::floor(seconds * fps + 1e-6)); }

            // The next frame in presentation order into `frame`; false at the
            // end, or (after a jump) when a picture numbered past giveUpPast
            // comes before the random-access picture a picture may be shown from.
            bool next(long giveUpPast = unnumbered)
            {
                if (hasFollowing)
                {
                    av_frame_unref(frame);
                    av_frame_move_ref(frame, following);
                    frameIndex = followingIndex;
                    frameSeconds = followingSeconds;
                    hasFollowing = false;
                    return give();
                }
                for (;;)
                {
                    const int received = avcodec_receive_frame(codec, frame);
                    if (received == 0)
                    {
                        numberPicture();
                        if (passesRandomAccess())
                            return give();
                        av_frame_unref(frame);
                        if (frameIndex != unnumbered && frameIndex > giveUpPast)
                            return false;
                        continue;
                    }
                    if (received == AVERROR_EOF)
                        return false;
                    if (received != AVERROR(EAGAIN))
                        return false;
                    if (draining)
                        return false;
                    // A seek no longer wanted stops before its next packet.
                    if (abandon != nullptr && abandon->load())
                    {
                        abandoned = true;
                        return false;
                    }
                    int read = 0;
                    if (hasHeld)
                    {
                        av_packet_move_ref(packet, held);
                        hasHeld = false;
                    }
                    else
                        read = av_read_frame(format, packet);
                    if (read < 0)
                    {
                        draining = true;
                        avcodec_send_packet(codec, nullptr);
                        continue;
                    }
                    if (packet->stream_index == stream)
                    {
                        const bool firstAfterSeek = firstPacketTime == AV_NOPTS_VALUE;
                        if (firstAfterSeek)
                        {
                            firstPacketTime = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
                            firstPacketStamp = packet->pts;
                        }
                        if (isCutOff(*packet, firstAfterSeek && ! fromBeginning, cutOff))
                        {
                            av_packet_unref(packet);
                            continue;
                        }
                        keepPalette(*packet);
                        // A decoder flushed by a seek may have dropped the
                        // palette: the first packet after one brings it again.
                        if (paletteDue && ! palette.empty() &&
                            av_packet_get_side_data(packet, AV_PKT_DATA_PALETTE, nullptr) == nullptr)
                        {
                            if (std::uint8_t* side =
                                    av_packet_new_side_data(packet, AV_PKT_DATA_PALETTE, palette.size()))
                                std::memcpy(side, palette.data(), palette.size());
                        }
                        paletteDue = false;
                        avcodec_send_packet(codec, packet);
                    }
                    av_packet_unref(packet);
                }
            }

            // The picture next() gives is told to onPicture, with the one given
            // before it since the last seek.
            bool give()
            {
                if (frameIndex == unnumbered)
                {
                    givenIndex = -1;
                    return true;
                }
                if (onPicture)
                    onPicture(*frame, frameIndex, givenIndex);
                givenIndex = frameIndex;
                return true;
            }

            // Whether a packet of an MPEG stream read after a jump is cut off
            // from its picture's true time (cut carries that on). The jump
            // may land in a picture midway: the first packet is then its tail
            // and bears the stamps of the picture after it, and the demuxer
            // derives the stamps of the packets after it from them, one or
            // more frames off. They are cut off up to one that begins a
            // picture with stamps of its own (from the header of the packet
            // of the container it begins in).
            bool isCutOff(const AVPacket& read, bool firstAfterJump, bool& cut) const
            {
                if (firstAfterJump)
                    cut = carriesStartCodes() && ! beginsPicture(read);
                else if (cut && read.pos >= 0 && (read.pts != AV_NOPTS_VALUE || read.dts != AV_NOPTS_VALUE) &&
                         beginsPicture(read))
                    cut = false;
                return cut;
            }

            // Video of an MPEG program or transport stream whose pictures
            // begin with a start code.
            bool carriesStartCodes() const
            {
                if ((format->iformat->flags & AVFMT_TS_DISCONT) == 0)
                    return false;
                switch (format->streams[stream]->codecpar->codec_id)
                {
                    case AV_CODEC_ID_MPEG1VIDEO:
                    case AV_CODEC_ID_MPEG2VIDEO:
                    case AV_CODEC_ID_MPEG4:
                    case AV_CODEC_ID_H264:
                    case AV_CODEC_ID_HEVC:
                    case AV_CODEC_ID_VC1:
                        return true;
                    default:
                        return false;
                }
            }

            static bool beginsPicture(const AVPacket& read)
            {
                const std::uint8_t* d = read.data;
                return read.size >= 4 && d[0] == 0 && d[1] == 0 && (d[2] == 1 || (d[2] == 0 && d[3] == 1));
            }

            // A picture's best-effort stamp, else its own.
            static std::int64_t stampOf(const AVFrame& picture)
            {
                return picture.best_effort_timestamp != AV_NOPTS_VALUE ? picture.best_effort_timestamp : picture.pts;
            }

            // Numbers the picture just decoded by its place in presentation
            // order: its best-effort stamp from the first picture's on, or,
            // without a stamp (the pictures an AVI decoder gives at its end),
            // the one after the picture decoded before it. The first picture
            // decoded from the beginning is frame 0; the first after any other
            // seek, without a stamp, cannot be placed and is numbered
            // `unnumbered`, later than any frame a seek looks for.
            void numberPicture()
            {
                const std::int64_t stamp = stampOf(*frame);
                if (stamp != AV_NOPTS_VALUE)
                {
                    if (zeroStamp == AV_NOPTS_VALUE)
                    {
                        zeroStamp = stamp;
                        zeroIsOwnStamp = frame->pts != AV_NOPTS_VALUE;
                    }
                    frameIndex = indexOfTicks(static_cast<double>(stamp) - static_cast<double>(zeroStamp));
                }
                else if (hasDecoded)
                    frameIndex = lastDecodedIndex == unnumbered ? unnumbered : lastDecodedIndex + 1;
                else
                    frameIndex = fromBeginning ? 0 : unnumbered;
                frameSeconds = frameIndex == unnumbered || ! (fps > 0.0) ? 0.0 : frameIndex / fps;
                lastDecodedIndex = frameIndex;
                hasDecoded = true;
            }

            static constexpr long unnumbered = std::numeric_limits<long>::max();

            bool isRandomAccess() const
            {
#if defined(AV_FRAME_FLAG_KEY)
                return (frame->flags & AV_FRAME_FLAG_KEY) != 0;
#else
                return frame->key_frame != 0;
#endif
            }

            // Whether the picture just decoded may be shown. After a jump the
            // HEVC decoder hands out the pictures before the first
            // random-access one, and the leading pictures decoded after it
            // but shown before it, predicted from references it never had:
            // only the random-access picture and those after it are shown.
            // The other decoders drop such pictures themselves.
            bool passesRandomAccess()
            {
                switch (randomAccess)
                {
                    case RandomAccess::passed:
                        return true;
                    case RandomAccess::awaited:
                        // The first packet after a jump may join an access
                        // unit midway (a program stream's leading headers
                        // cut off), and it then bears the stamp of the next:
                        // a random-access picture stamped as it is passed by.
                        if (! isRandomAccess() ||
                            (firstPacketStamp != AV_NOPTS_VALUE && stampOf(*frame) == firstPacketStamp))
                            return false;
                        randomAccess = frameIndex == unnumbered ? RandomAccess::passed : RandomAccess::leading;
                        randomAccessIndex = frameIndex;
                        return true;
                    case RandomAccess::leading:
                        if (frameIndex < randomAccessIndex)
                            return false;
                        if (frameIndex > randomAccessIndex)
                            randomAccess = RandomAccess::passed;
                        return true;
                }
                return true;
            }

            long indexOfTicks(double ticks) const
            {
                return fps > 0.0 ? saturatingCast<long>(std::llround(ticks * timeBase * fps)) : 0;
            }

            // The frame at seconds: with zero tolerance the one covering it,
            // else one at or before it, never before the key frame at or
            // before it: the key frame the demuxer lands on by the
            // container's index, or (where it had to go back further) the
            // frame itself.
            //
            // The demuxer lands on the key frame at or before a time only
            // when the container has an index. Without one (MPEG program and
            // transport streams) it lands near the time, often after the key
            // frame, and the decoder then gives nothing before the next key
            // frame. A frame the decoder gives only when decoding began at an
            // earlier key frame (one of an open GOP, decoded after the key
            // frame the demuxer lands on) is missed alike. Either way the
            // seek goes back further, first to just before where it landed,
            // then by half a second, twice as far each time, and at last to
            // the stream's beginning, from which every frame decodes.
            bool seek(double seconds, bool exact)
            {
                abandoned = false;
                const bool found = seekUnlessAbandoned(seconds, exact);
                // Stopped midway, the frame in hand is not where decoding
                // goes on from: the next seek seeks.
                if (abandoned)
                    hasDecoded = false;
                return found && ! abandoned;
            }

            // The group decoder's reads: a random-access picture at or before
            // the frame, by the seek's own way back, and the pictures after it.
            bool seekToRandomAccess(long target) override
            {
                abandoned = false;
                const bool found = seekUnlessAbandoned(static_cast<double>(target) / fps, false, true);
                if (abandoned)
                    hasDecoded = false;
                return found && ! abandoned;
            }

            bool nextPicture() override { return next(); }
            AVFrame* picture() override { return frame; }
            long pictureIndex() const override { return frameIndex; }

            bool seekUnlessAbandoned(double seconds, bool exact, bool toRandomAccess = false)
            {
                const long target = indexOf(seconds);
                // A frame a little ahead is reached by decoding on, not by
                // going back to its key frame and decoding all the way again.
                if (! toRandomAccess && decodesOnTo(target) && decodeForwardTo(target))
                    return true;
                if (abandoned)
                    return false;
                // Where the frame's own stamp is, or the stream's start time
                // when that is earlier (stamps late by the decoder's delay).
                const std::int64_t origin = std::min(zeroStamp, streamStart());
                std::int64_t ts = saturatingCast<std::int64_t>(std::floor(seconds / timeBase + origin));
                const std::int64_t beginning = beginningTime();
                const std::int64_t halfSecond = std::max<std::int64_t>(1, std::llround(0.5 / timeBase));
                std::int64_t step = 1;
                bool retriedForEnd = false;
                // A key frame landed on by the index, or the stream's first,
                // is the one at or before the frame; one reached by going
                // back further may lie any way before it.
                const bool keyFrameIndexed = hasKeyFrameIndex();
                bool wentBack = false;
                for (;;)
                {
                    // Frame 0 is where the stream starts, also where its
                    // stamp lies after the first packet's (B-frames in an
                    // MPEG stream): a seek to that stamp lands past the first
                    // packet, and no picture decodes before the next key frame.
                    const bool toBeginning = target <= 0 || ts <= beginning;
                    if (toBeginning)
                        seekToBeginning();
                    else
                        seekTo(ts);
                    // A picture past the target before a random-access one
                    // means that one lies past it too.
                    const bool decoded = next(toBeginning ? unnumbered : target);
                    if (abandoned)
                        return false;
                    if (toBeginning)
                    {
                        // The movie may end first; the last frame before stays.
                        if (decoded && ! toRandomAccess && (exact || wentBack))
                            decodeForwardTo(target);
                        return decoded;
                    }
                    const std::int64_t landedAt = firstPacketTime != AV_NOPTS_VALUE ? firstPacketTime : ts;
                    if (decoded && frameIndex <= target)
                    {
                        if (toRandomAccess || (! exact && keyFrameIndexed && ! wentBack) || decodeForwardTo(target) ||
                            retriedForEnd || abandoned)
                            return true;
                        retriedForEnd = true;
                    }
                    // Back further: nothing decoded, a later frame, or the end
                    // reached once before the frame.
                    wentBack = true;
                    const std::int64_t from = std::min(ts, landedAt);
                    ts = from - beginning <= step ? beginning : from - step;
                    step = step < halfSecond ? halfSecond
                                             : std::min(step, std::numeric_limits<std::int64_t>::max() / 2) * 2;
                }
            }

            // Whether decoding on from the frame in hand reaches target at no
            // more cost than a seek: the frame is the one in hand, or it lies
            // ahead and the key frame a seek would land on is at or before
            // the frame in hand by the container's index of key frames, or
            // (without one) it is at most a second ahead. MPEG streams have
            // no such index: theirs holds the places earlier seeks probed.
            bool decodesOnTo(long target)
            {
                if (! hasDecoded || draining || frameIndex == unnumbered || frameIndex > target ||
                    randomAccess == RandomAccess::awaited || ! hasUsableRate())
                    return false;
                // The frame in hand itself (decoded ahead and passed over).
                if (frameIndex == target)
                    return frame->buf[0] != nullptr;
                if (! hasKeyFrameIndex())
                    return target - frameIndex <= framesInASecond();
                AVStream* s = videoStream();
                const std::int64_t origin = std::min(zeroStamp, streamStart());
                const auto ticksOf = [&](long index)
                { return saturatingCast<std::int64_t>(std::floor(index / fps / timeBase + origin)); };
                const AVIndexEntry* key =
                    avformat_index_get_entry_from_timestamp(s, ticksOf(target), AVSEEK_FLAG_BACKWARD);
                return key != nullptr && key->timestamp <= ticksOf(frameIndex);
            }

            // The key frames' times by the container's index, sorted, with
            // the origin frame times count from (see decodesOnTo).
            void keepKeyFrames()
            {
                keyFrameTicks.clear();
                if (stream < 0 || ! hasKeyFrameIndex() || ! hasUsableRate())
                    return;
                AVStream* s = videoStream();
                keyFrameOrigin = std::min(zeroStamp, streamStart());
                const int count = avformat_index_get_entries_count(s);
                for (int i = 0; i < count; ++i)
                    if (const AVIndexEntry* entry = avformat_index_get_entry(s, i);
                        entry != nullptr && (entry->flags & AVINDEX_KEYFRAME) != 0)
                        keyFrameTicks.push_back(entry->timestamp);
                std::sort(keyFrameTicks.begin(), keyFrameTicks.end());
            }

            // Whether the container indexes the stream's key frames (MPEG
            // streams' index holds only the places earlier seeks probed).
            bool hasKeyFrameIndex() const
            {
                return (format->iformat->flags & AVFMT_TS_DISCONT) == 0 &&
                       avformat_index_get_entries_count(videoStream()) > 0;
            }

            // Decodes on to the frame covering target: the frame of that
            // index or, where the movie has none (a variable-rate movie
            // holding a picture), the last one before it, the frame after it
            // then next. False when the movie ends first, the last frame
            // before it kept.
            bool decodeForwardTo(long target)
            {
                while (frameIndex < target)
                {
                    av_frame_unref(spare);
                    av_frame_move_ref(spare, frame);
                    const long previousIndex = frameIndex;
                    const double previousSeconds = frameSeconds;
                    const bool more = next();
                    if (more && frameIndex <= target)
                        continue;
                    if (more)
                        keepAsFollowing();
                    av_frame_unref(frame);
                    av_frame_move_ref(frame, spare);
                    frameIndex = previousIndex;
                    frameSeconds = previousSeconds;
                    givenIndex = previousIndex;
                    return more;
                }
                return true;
            }

            std::int64_t streamStart() const
            {
                const AVStream* s = videoStream();
                return s->start_time != AV_NOPTS_VALUE ? s->start_time : 0;
            }

            // Where the stream's first packet is (see seekToBeginning).
            std::int64_t beginningTime() const
            {
                return openingTime != AV_NOPTS_VALUE ? openingTime : streamStart();
            }

            // The key frame at or before ts (in the stream's time base) next;
            // the beginning when the demuxer cannot seek there.
            void seekTo(std::int64_t ts)
            {
                if (av_seek_frame(format, stream, ts, AVSEEK_FLAG_BACKWARD) < 0)
                {
                    seekToBeginning();
                    return;
                }
                resetAfterSeek();
                fromBeginning = false;
                if (gatesOnRandomAccess)
                    randomAccess = RandomAccess::awaited;
            }

            // The stream's first packet next. Its start time is the first
            // picture's, which in MPEG streams comes after the first packet's
            // decoding time: a seek to it would land past the first packet.
            void seekToBeginning()
            {
                const std::int64_t beginning = beginningTime();
                if (av_seek_frame(format, stream, beginning, AVSEEK_FLAG_BACKWARD) < 0)
                    av_seek_frame(format, stream, streamStart(), AVSEEK_FLAG_BACKWARD);
                resetAfterSeek();
                fromBeginning = true;
                randomAccess = RandomAccess::passed;
            }

            void resetAfterSeek()
            {
                givenIndex = -1;
                avcodec_flush_buffers(codec);
                hasDecoded = false;
                draining = false;
                firstPacketTime = AV_NOPTS_VALUE;
                firstPacketStamp = AV_NOPTS_VALUE;
                av_packet_unref(held);
                hasHeld = false;
                cutOff = false;
                av_frame_unref(following);
                hasFollowing = false;
                paletteDue = true;
            }

            // Seconds from frame 0 to the end of the stream's last picture,
            // read from the stream itself; 0 when unknown. Moves the demuxer.
            // Frame 0 is where the stream starts, or its first picture's own
            // stamp when that is later (a stream's start taken from the
            // file's: a short Matroska file with sound).
            // A packet without a presentation stamp (small frames several to
            // an MPEG packet, only the first stamped; AVI's) is placed at its
            // decoding time, or a packet's length after the one before it,
            // plus the lag of presentation behind decoding the stream begins
            // with: its pictures are the decoding slots shifted by that lag.
            // Such a packet may hold a reference picture, shown after the
            // B-pictures decoded after it: where one was read, the last
            // picture shows in the slot of the last packet's decoding time
            // plus the lag, whatever the stamps of the packets after it.
            // The reading starts a second before the claimed end (seconds from
            // the start; the last key frame when none). The first packet read
            // after a seek into an MPEG stream may join a picture midway and
            // bear the stamps of the picture after it: after any seek but one
            // to the beginning, packets cut off from their times (isCutOff)
            // are passed over, and the first packet is placed by its
            // presentation stamp only, never a base for unstamped ones. While
            // the last packet read cannot be placed, the reading starts further
            // back, twice as far each time, and at last at the stream's first
            // packet.
            double measureEnd(double claimedSeconds)
            {
                const AVStream* s = videoStream();
                // A packet without a length still shows for a frame.
                const std::int64_t frameTicks = std::max<std::int64_t>(1, std::llround(1.0 / (fps * timeBase)));
                // Stamps and lengths beyond this are damage, not time.
                constexpr std::int64_t top = std::numeric_limits<std::int64_t>::max() / 4;
                const auto usable = [](std::int64_t ticks) { return ticks != AV_NOPTS_VALUE && std::abs(ticks) < top; };
                const std::int64_t beginning = std::max(beginningTime(), -top);
                std::int64_t from = top;
                if (claimedSeconds > 0.0 && claimedSeconds < 1e9)
                    from = streamStart() +
                           std::max<std::int64_t>(0, saturatingCast<std::int64_t>((claimedSeconds - 1.0) / timeBase));
                const std::int64_t lag = std::clamp<std::int64_t>(streamStart() - beginning, 0, 16 * frameTicks);
                std::int64_t end = AV_NOPTS_VALUE;
                // Reads to the end and returns where it began (the first
                // packet's decoding time, else its presentation time), and
                // whether the last packet was placed.
                auto scan = [&](bool trustsFirst, std::int64_t& landed)
                {
                    std::int64_t decoding = AV_NOPTS_VALUE, step = 0;
                    bool seen = false, first = true, placed = false, unstamped = false, cut = false;
                    landed = AV_NOPTS_VALUE;
                    // Bounded: a damaged file must not keep the probe reading.
                    for (int packets = 0; packets < 200000 && av_read_frame(format, packet) >= 0; ++packets)
                    {
                        const std::int64_t length =
                            packet->duration > 0 && packet->duration < top ? packet->duration : frameTicks;
                        const bool jumpedIn = packet->stream_index == stream && ! seen && ! trustsFirst;
                        if (packet->stream_index == stream && ! seen)
                        {
                            landed = usable(packet->dts) ? packet->dts : packet->pts;
                            seen = true;
                        }
                        if (packet->stream_index == stream && ! isCutOff(*packet, jumpedIn, cut))
                        {
                            if (usable(packet->dts) && (trustsFirst || ! first))
                                decoding = packet->dts;
                            else if (usable(decoding) && ! first)
                                decoding += step;
                            else
                                decoding = AV_NOPTS_VALUE;
                            step = length;
                            first = false;
                            std::int64_t stop = AV_NOPTS_VALUE;
                            if (usable(packet->pts))
                                stop = packet->pts + length;
                            else if (usable(decoding))
                                stop = decoding + lag + length;
                            unstamped = unstamped || ! usable(packet->pts);
                            placed = stop != AV_NOPTS_VALUE;
                            if (placed && (end == AV_NOPTS_VALUE || stop > end))
                                end = stop;
                        }
                        av_packet_unref(packet);
                    }
                    if (unstamped && usable(decoding) && (end == AV_NOPTS_VALUE || decoding + lag + step > end))
                        end = decoding + lag + step;
                    if (! usable(landed))
                        landed = AV_NOPTS_VALUE;
                    return placed;
                };
                bool placed = false;
                std::int64_t back = std::max<std::int64_t>(1, std::llround(1.0 / timeBase));
                for (int tries = 0; tries < 40 && ! placed && from > beginning; ++tries)
                {
                    std::int64_t landed = AV_NOPTS_VALUE;
                    if (av_seek_frame(format, stream, from, AVSEEK_FLAG_BACKWARD) >= 0)
                        placed = scan(false, landed);
                    if (landed != AV_NOPTS_VALUE)
                        from = std::min(from, landed);
                    from = from - beginning <= back ? beginning : from - back;
                    back = std::min(back, top) * 2;
                }
                if (! placed && (av_seek_frame(format, stream, beginning, AVSEEK_FLAG_BACKWARD) >= 0 ||
                                 av_seek_frame(format, stream, streamStart(), AVSEEK_FLAG_BACKWARD) >= 0))
                {
                    std::int64_t landed = AV_NOPTS_VALUE;
                    scan(true, landed);
                }
                if (end == AV_NOPTS_VALUE)
                    return 0.0;
                const std::int64_t origin =
                    zeroIsOwnStamp && usable(zeroStamp) ? std::max(zeroStamp, streamStart()) : streamStart();
                const double seconds = (static_cast<double>(end) - static_cast<double>(origin)) * av_q2d(s->time_base);
                return std::isfinite(seconds) && seconds > 0.0 ? seconds : 0.0;
            }

            // The decoded frame in a new buffer of the pixel format; null when
            // it cannot be converted.
            std::shared_ptr<PixelBuffer> convert(FourCharCode pixelFormat)
            {
                return convert(*frame, frameIndex, pixelFormat);
            }

            // A picture decoded before (held for backward play) alike.
            std::shared_ptr<PixelBuffer> convert(const AVFrame& picture, long index, FourCharCode pixelFormat)
            {
                const int w = picture.width, h = picture.height;
                AVPixelFormat target = AV_PIX_FMT_UYVY422;
                if (pixelFormat == pixelFormat32BGRA)
                    target = AV_PIX_FMT_BGRA;
                else if (pixelFormat == pixelFormat64ARGB)
                    target = AV_PIX_FMT_RGBA64BE;
                else if (pixelFormat != pixelFormat422YpCbCr8)
                    return nullptr;
                std::shared_ptr<PixelBuffer> buffer = makeFrameBuffer(w, h, pixelFormat);
                if (buffer == nullptr)
                    return nullptr;
                // Y'CbCr is read in the matrix and range the frame names (a
                // matrix it does not name: as its height says); RGB goes into
                // '2vuy' with the matrix its height says. '2vuy' is video
                // range and carries its matrix for the texture store.
                const auto source = static_cast<AVPixelFormat>(picture.format);
                const bool fromPalette = hasFormatFlag(source, AV_PIX_FMT_FLAG_PAL);
                const bool fromRGB = fromPalette || hasFormatFlag(source, AV_PIX_FMT_FLAG_RGB);
                YCbCrMatrix matrix = fromRGB ? YCbCrMatrix::unknown : matrixOf(picture);
                if (matrix == YCbCrMatrix::unknown)
                    matrix = defaultYCbCrMatrixFor(h);
                // libswscale turns a palette into Y'CbCr by BT.601 whatever
                // it is told.
                if (fromPalette)
                    matrix = YCbCrMatrix::itu601;
                const bool fromFullRange = ! fromRGB && picture.color_range == AVCOL_RANGE_JPEG;
                SwsContext* scaler = conversion.get(w, h, source, fromFullRange, target, false, matrix);
                if (scaler == nullptr)
                    return nullptr;
                if (pixelFormat == pixelFormat422YpCbCr8)
                    buffer->yCbCrMatrix = matrix;
                uint8_t* planes[4] = {buffer->getBaseAddress(), nullptr, nullptr, nullptr};
                const int strides[4] = {static_cast<int>(buffer->getBytesPerRow()), 0, 0, 0};
                sws_scale(scaler, picture.data, picture.linesize, 0, h, planes, strides);
                if (pixelFormat == pixelFormat64ARGB)
                {
                    // Big-endian R,G,B,A to big-endian A,R,G,B.
                    for (int y = 0; y < h; ++y)
                    {
                        unsigned char* p = buffer->getBaseAddress() + y * buffer->getBytesPerRow();
                        for (int x = 0; x < w; ++x, p += 8)
                        {
                            unsigned char a0 = p[6], a1 = p[7];
                            std::memmove(p + 2, p, 6);
                            p[0] = a0;
                            p[1] = a1;
                        }
                    }
                }
                buffer->frameIndex = index;
                buffer->presentationSeconds = index / fps;
                return buffer;
            }

            AVFormatContext* format = nullptr;
            AVCodecContext* codec = nullptr;
            AVFrame* frame = nullptr;
            AVFrame* spare = nullptr;
            // Decoded past the frame a seek looked for; next() gives it first.
            AVFrame* following = nullptr;
            long followingIndex = 0;
            double followingSeconds = 0.0;
            bool hasFollowing = false;
            AVPacket* packet = nullptr;
            ColourConversion conversion;
            int stream = -1;
            double timeBase = 0.0, fps = 0.0;
            double frameSeconds = 0.0;
            long frameIndex = 0;
            bool draining = false;
            // The first packet of the stream read since the last seek (its
            // decoding time, else its presentation time).
            std::int64_t firstPacketTime = AV_NOPTS_VALUE;
            // Its presentation time.
            std::int64_t firstPacketStamp = AV_NOPTS_VALUE;
            // The stream's first packet's time, taken alike; where a seek to
            // the beginning goes.
            std::int64_t openingTime = AV_NOPTS_VALUE;
            // The best-effort stamp of the stream's first picture: frame 0.
            std::int64_t zeroStamp = AV_NOPTS_VALUE;
            // Frame 0 bears a presentation stamp of its own (not one guessed
            // from the packet that brought it out of the decoder).
            bool zeroIsOwnStamp = false;
            // The index of the picture decoded last since the last seek.
            long lastDecodedIndex = 0;
            bool hasDecoded = false;
            // Decoding began at the stream's first packet (at opening, or
            // after a seek to the beginning).
            bool fromBeginning = true;
            // Set by the session while a seek runs that it no longer wants;
            // next() then stops at the next packet and sets abandoned.
            const std::atomic<bool>* abandon = nullptr;
            bool abandoned = false;
            // Where decoding after a jump is on its way to a picture that may
            // be shown (passesRandomAccess); only for codecs that need it.
            enum class RandomAccess
            {
                awaited,
                leading,
                passed
            };
            bool gatesOnRandomAccess = false;
            RandomAccess randomAccess = RandomAccess::passed;
            long randomAccessIndex = 0;
            // Packets read since the last seek are cut off from their true
            // times (isCutOff).
            bool cutOff = false;
            // The stream's first packet, read at opening; decoded first unless
            // a seek comes before.
            AVPacket* held = nullptr;
            bool hasHeld = false;
            // The last palette read (256 32-bit entries); due again with the
            // first packet after a seek.
            std::vector<std::uint8_t> palette;
            bool paletteDue = false;
            // The key frames by the index, as kept at opening (inOneGroup).
            std::vector<std::int64_t> keyFrameTicks;
            std::int64_t keyFrameOrigin = 0;
            // Told every numbered picture next() gives, with the frame given
            // before it since the last seek (-1 for none).
            std::function<void(const AVFrame& picture, long index, long previous)> onPicture;
            long givenIndex = -1;
        };

        //==============================================================================
        class FFmpegSession final : public DecodingSession
        {
        public:
            FFmpegSession(std::unique_ptr<Decoder> opened, bool intraOnly, long movieLastFrame)
                : decoder(std::move(opened)), reverseBySeeks(intraOnly), reverseByGroups(! intraOnly),
                  lastFrame(movieLastFrame)
            {
                decoder->abandon = &abandonRunning;
                // Runs on the worker, the only one to touch the store.
                decoder->onPicture = [this](const AVFrame& picture, long index, long previous)
                { store.keep(index, picture, previous); };
                worker = std::thread([this] { run(); });
            }

            ~FFmpegSession() override
            {
                {
                    std::lock_guard<std::mutex> hold(lock);
                    stopping = true;
                }
                changed.notify_all();
                worker.join();
            }

            void setPixelFormat(FourCharCode format) override
            {
                std::lock_guard<std::mutex> hold(lock);
                if (pixelFormat == format)
                    return;
                pixelFormat = format;
                queue.clear();
                landedFrame.reset();
                // Frames so far were in the old format: decode again from the play head.
                seeks.push_back({std::max(0.0, requested / decoder->fps), 0.0, 0.0, {}, false, {}});
                changed.notify_all();
            }

            void seek(double seconds, double before, double after, std::function<void(double)> done) override
            {
                std::lock_guard<std::mutex> hold(lock);
                const bool exact = before == 0.0 && after == 0.0;
                const long target = decoder->indexOf(seconds);
                // Frame-exact seeks a little ahead of the one before are
                // forward play: the frames after the one landed on are
                // decoded ahead, and a seek to one of them lands at once.
                followsOn = exact && lastExactTarget >= 0 && target > lastExactTarget &&
                            target - lastExactTarget <= decoder->framesInASecond();
                // Paused, frame-exact seeks one after another go the way the
                // hand moves: the store keeps what lies ahead of it.
                if (exact && lastExactTarget >= 0 && target != lastExactTarget)
                    handDirection = target > lastExactTarget ? 1 : -1;
                lastExactTarget = exact ? target : -1;
                bool inQueue = false;
                wrapTried = false;
                // Behind a seek that moves the decoder, what is queued now
                // is gone by the time this one runs.
                if (exact && playsForwards() && onlyQueuedSeeks())
                {
                    while (! queue.empty() && queue.front()->frameIndex < target)
                        queue.pop_front();
                    inQueue = ! queue.empty() && queue.front()->frameIndex == target;
                }
                // Otherwise what was decoded ahead is stale until the seek lands.
                if (! inQueue)
                    queue.clear();
                Seek incoming{seconds, before, after, std::move(done), inQueue, {}};
                // Backwards over predicted frames a frame-exact seek is served
                // from the key-frame group held, or decodes the group.
                // (A seek told the way forwards while still running backwards
                // is a turn's.)
                incoming.backwards =
                    ! inQueue && exact && reverseByGroups && (wayDirection < 0 || (wayDirection == 0 && rate < 0.0f));
                followsBackwards = incoming.backwards;
                followsOn = followsOn && ! incoming.backwards;
                if (! inQueue)
                {
                    // The newest wins: seeks that have not started are
                    // dropped, their completions run when this one lands,
                    // with where it lands; and the one under way stops at
                    // its next packet when it decodes another key-frame
                    // group than this one's frame lies in, or, behind this
                    // one's frame, when its frame is not on the picture's
                    // way to it (left behind, it never lands). Within the
                    // group this one decodes on from where that one lands.
                    for (Seek& waiting : seeks)
                        incoming.takeCompletionsOf(waiting);
                    seeks.clear();
                    runningGroupLeft = running >= 0 && (runningGroupLeft || ! decoder->inOneGroup(running, target));
                    if (running >= 0 && (runningGroupLeft || (target < running && ! isOnTheWay(running, target))))
                        abandonRunning = true;
                }
                seeks.push_back(std::move(incoming));
                changed.notify_all();
            }

            void setRate(float newRate) override
            {
                std::lock_guard<std::mutex> hold(lock);
                if ((reverseBySeeks || reverseByGroups) && (newRate < 0.0f) != (rate < 0.0f))
                {
                    // The queue runs the other way now.
                    queue.clear();
                    if (newRate >= 0.0f && seeks.empty())
                    {
                        // Forwards the decoder goes on from the play head
                        // (or a seek waiting), not from the last frame read
                        // backwards.
                        seeks.push_back({std::max(0.0, requested / decoder->fps), 0.0, 0.0, {}, false, {}});
                    }
                }
                rate = newRate;
                wrapTried = false;
                changed.notify_all();
            }

            void setPictureWay(long from, int direction) override
            {
                std::lock_guard<std::mutex> hold(lock);
                wayFrom = from;
                wayDirection = direction;
            }

            void setAudioVolume(int, float) override {}

            std::shared_ptr<PixelBuffer> frameForTime(double seconds) override
            {
                std::lock_guard<std::mutex> hold(lock);
                const long target = decoder->indexOf(seconds);
                requested = static_cast<double>(target);
                std::shared_ptr<PixelBuffer> shown;
                if (playsBackwardsByGroups())
                {
                    // The queue runs down from the frame nearest at or above
                    // the play head: none below it shows.
                    while (queue.size() > 1 && queue[1]->frameIndex >= target)
                        queue.pop_front();
                    if (! queue.empty() && queue.front()->frameIndex >= target)
                        shown = queue.front();
                    else
                        queue.clear(); // the play head moved up past them
                    changed.notify_all();
                    return shown;
                }
                if (playsBackwards())
                {
                    // Backwards over intra-only frames the queue runs down
                    // from the play head, a seek per frame.
                    while (! queue.empty() && queue.front()->frameIndex > target)
                        queue.pop_front();
                    if (! queue.empty() && queue.front()->frameIndex == target)
                        shown = queue.front();
                    else if (seeks.empty())
                        queue.clear(); // moved up or a frame short: read down from the play head again
                    changed.notify_all();
                    return shown;
                }
                while (! queue.empty() && queue.front()->frameIndex <= target)
                {
                    if (queue.size() > 1 && queue[1]->frameIndex <= target)
                    {
                        queue.pop_front(); // passed: a later frame is due
                        continue;
                    }
                    shown = queue.front();
                    break;
                }
                changed.notify_all();
                return shown;
            }

            bool isDecodingToward(double seconds) override
            {
                std::lock_guard<std::mutex> hold(lock);
                if (playsBackwardsByGroups() && pixelFormat != 0 && seeks.empty())
                {
                    // The frames above the play head's are passed; the worker
                    // brings the play head's own unless it has nothing to do.
                    const long target = decoder->indexOf(seconds);
                    const std::size_t queued = queue.size();
                    const bool moved = static_cast<long>(requested) != target;
                    requested = static_cast<double>(target);
                    while (queue.size() > 1 && queue[1]->frameIndex >= target)
                        queue.pop_front();
                    if (! queue.empty() && queue.front()->frameIndex == target)
                        return false;
                    if (! queue.empty() && queue.front()->frameIndex < target)
                        queue.clear();
                    // Told something new, the worker looks again.
                    if (moved || queue.size() != queued)
                    {
                        groupsIdle = false;
                        changed.notify_all();
                    }
                    return ! groupsIdle;
                }
                if (! seeks.empty() || running >= 0 || ! playsForwards() || ended || pixelFormat == 0)
                    return false;
                const long target = decoder->indexOf(seconds);
                if (std::any_of(queue.begin(), queue.end(),
                                [target](const auto& frame) { return frame->frameIndex >= target; }))
                    return false;
                return decodingOn || wantsMore();
            }

            std::shared_ptr<PixelBuffer> lastLandedFrame(unsigned long& count) override
            {
                std::lock_guard<std::mutex> hold(lock);
                count = landings;
                return landedFrame;
            }

        private:
            struct Seek
            {
                double seconds, before, after;
                std::function<void(double)> done;
                // Its frame was decoded ahead and leads the queue: the decoder stays.
                bool queued = false;
                // The completions of the seeks it replaced.
                std::vector<std::function<void(double)>> replaced;
                // Frame-exact, backwards by key-frame groups (set by seek).
                bool backwards = false;

                void takeCompletionsOf(Seek& other)
                {
                    if (other.done)
                        replaced.push_back(std::move(other.done));
                    for (auto& completion : other.replaced)
                        replaced.push_back(std::move(completion));
                    other.replaced.clear();
                }

                void complete(double reached)
                {
                    if (done)
                        done(reached);
                    for (auto& completion : replaced)
                        if (completion)
                            completion(reached);
                }
            };

            void run()
            {
                std::unique_lock<std::mutex> hold(lock);
                for (;;)
                {
                    changed.wait(hold,
                                 [this]
                                 {
                                     const bool due = stopping || ! seeks.empty() || wantsMore();
                                     groupsIdle = ! due && usesGroups();
                                     return due;
                                 });
                    if (stopping)
                        return;
                    if (! usesGroups())
                        groups.clear();
                    tellStoreTheWay();
                    if (! seeks.empty() && seeks.front().backwards)
                    {
                        Seek next = std::move(seeks.front());
                        seeks.pop_front();
                        seekByGroups(hold, std::move(next));
                        continue;
                    }
                    if (! seeks.empty())
                    {
                        Seek next = std::move(seeks.front());
                        seeks.pop_front();
                        if (next.queued)
                        {
                            requested = static_cast<double>(decoder->indexOf(next.seconds));
                            hold.unlock();
                            next.complete(next.seconds);
                            hold.lock();
                            continue;
                        }
                        if (landKeptSeek(hold, next))
                            continue;
                        const FourCharCode format = pixelFormat;
                        running = decoder->indexOf(next.seconds);
                        decoderAway = false;
                        abandonRunning = false;
                        runningGroupLeft = false;
                        hold.unlock();
                        const bool exact = next.before == 0.0;
                        std::shared_ptr<PixelBuffer> landed;
                        if (decoder->seek(next.seconds, exact))
                            landed = keepConversion(decoder->convert(format));
                        const double reached =
                            landed != nullptr ? (exact ? next.seconds : landed->presentationSeconds) : next.seconds;
                        hold.lock();
                        // Its group left once it was decoded (while its
                        // frame was converted), it does not land either; the
                        // decoder goes on from its frame. Asked for after it
                        // ended, giving up stops nothing else.
                        const bool givenUp = decoder->abandoned || runningGroupLeft;
                        running = -1;
                        abandonRunning = false;
                        runningGroupLeft = false;
                        if (givenUp)
                        {
                            // Given up for a later seek: completed with it.
                            if (! seeks.empty())
                                seeks.back().takeCompletionsOf(next);
                            else
                            {
                                hold.unlock();
                                next.complete(next.seconds);
                                hold.lock();
                            }
                            continue;
                        }
                        queue.clear();
                        unreadable = -1;
                        ended = landed == nullptr;
                        if (landed != nullptr)
                        {
                            landedIndex = landed->frameIndex;
                            requested = static_cast<double>(landed->frameIndex);
                            if (format == pixelFormat)
                            {
                                landedFrame = landed;
                                ++landings;
                            }
                        }
                        // A later seek waits: a reader asking for its frame
                        // would take this one for it.
                        if (landed != nullptr && format == pixelFormat && seeks.empty())
                            queue.push_back(landed);
                        hold.unlock();
                        next.complete(reached);
                        hold.lock();
                        continue;
                    }
                    if (playsBackwards())
                    {
                        readBackwards(hold);
                        continue;
                    }
                    if (usesGroups())
                    {
                        workOnGroups(hold);
                        continue;
                    }
                    const FourCharCode format = pixelFormat;
                    decodingOn = true;
                    // After a seek landed from the store, the frames after
                    // it come from there while they were decoded in a run
                    // with it; then the decoder goes to the next one.
                    long keptIndex = -1;
                    const AVFrame* kept = decoderAway ? store.after(awayFrom, keptIndex) : nullptr;
                    const long resumeAt = awayFrom + 1;
                    const bool resumes = decoderAway && kept == nullptr;
                    hold.unlock();
                    std::shared_ptr<PixelBuffer> decoded;
                    bool more = true;
                    if (kept != nullptr)
                        decoded = convertKept(*kept, keptIndex, format);
                    else
                    {
                        more = resumes ? decoder->seek(static_cast<double>(resumeAt) / decoder->fps, true)
                                       : decoder->next();
                        if (more)
                            decoded = keepConversion(decoder->convert(format));
                    }
                    hold.lock();
                    if (kept != nullptr)
                        awayFrom = keptIndex;
                    else
                        decoderAway = false;
                    decodingOn = false;
                    if (! more)
                        ended = true;
                    if (decoded != nullptr && format == pixelFormat && onlyQueuedSeeks())
                    {
                        // Catching up: frames already passed are not kept.
                        while (! queue.empty() && queue.back()->frameIndex <= static_cast<long>(requested) &&
                               decoded->frameIndex <= static_cast<long>(requested))
                            queue.pop_back();
                        queue.push_back(decoded);
                    }
                }
            }

            // Whether frame lies on the picture's way to target (see
            // setPictureWay).
            bool isOnTheWay(long frame, long target) const
            {
                if (wayFrom >= 0 && wayDirection > 0)
                    return wayFrom <= frame && frame <= target;
                if (wayFrom >= 0 && wayDirection < 0)
                    return target <= frame && frame <= wayFrom;
                return std::min(landedIndex, target) <= frame && frame <= std::max(landedIndex, target);
            }

            bool playsBackwards() const { return reverseBySeeks && rate < 0.0f; }

            bool playsBackwardsByGroups() const { return reverseByGroups && rate < 0.0f; }

            // Backwards by key-frame groups: playing, or paused and
            // following backward play by frame-exact seeks.
            bool usesGroups() const
            {
                return reverseByGroups && pixelFormat != 0 && (rate < 0.0f || (rate == 0.0f && followsBackwards));
            }

            // Served from the groups held: a seek whose frame is held lands at
            // once; otherwise the part ending at its frame is decoded, and the
            // newest seek lands as soon as its frame is. Played backwards, the
            // seek lands on the frame nearest at or above the play head once
            // the decoding reaches it: the play head moved on meanwhile.
            void seekByGroups(std::unique_lock<std::mutex>& hold, Seek next)
            {
                const long target = decoder->indexOf(next.seconds);
                std::optional<Seek> current(std::move(next));
                requested = static_cast<double>(target);
                queue.clear();
                // Dropped with the seek asked before.
                abandonRunning = false;
                adoptFromStore(target);
                if (landHeldSeek(hold, current, target))
                    return;
                groups.dropAbove(target);
                // Played backwards, the part ends where the play head will
                // be once it is decoded; the seek lands on the frame nearest
                // at or above the play head then.
                const long top = std::max(0L, target - partLead(target));
                const FFmpegGroupDecoder::Outcome outcome = decodeGroupPart(hold, top, &current);
                if (! current.has_value() || landHeldSeek(hold, current, target))
                    return;
                if (! seeks.empty())
                {
                    // A later seek goes on from here, and completes this one.
                    seeks.back().takeCompletionsOf(*current);
                    return;
                }
                long last = -1;
                if (outcome == FFmpegGroupDecoder::Outcome::done && groups.below(target, last) != nullptr &&
                    landHeldSeek(hold, current, last))
                    return; // the movie ends before the frame: its last frame stands
                if (outcome == FFmpegGroupDecoder::Outcome::failed)
                    groupUnreadable = target;
                Seek left = std::move(*current);
                current.reset();
                queue.clear();
                ended = outcome != FFmpegGroupDecoder::Outcome::stopped;
                hold.unlock();
                left.complete(left.seconds);
                hold.lock();
            }

            // Lands the newest seek (a waiting one, else current) when the
            // frame at or above what it asks for, up to its own, is held:
            // its frame, or played backwards the play head's when that is
            // lower. The seeks it replaced and current complete with it.
            bool landHeldSeek(std::unique_lock<std::mutex>& hold, std::optional<Seek>& current, long currentTarget)
            {
                const bool waiting = ! seeks.empty();
                if ((! waiting && ! current.has_value()) || (waiting && ! seeks.back().backwards))
                    return false;
                const long target = waiting ? decoder->indexOf(seeks.back().seconds) : currentTarget;
                const long head = rate < 0.0f ? std::min(static_cast<long>(requested), target) : target;
                long index = -1;
                const AVFrame* picture = groups.atOrAbove(head, index);
                if (picture == nullptr || index > target)
                    picture = store.atOrAbove(head, index);
                if (picture == nullptr || index > target)
                    return false;
                Seek landing = waiting ? std::move(seeks.back()) : std::move(*current);
                if (waiting)
                {
                    seeks.pop_back();
                    for (Seek& older : seeks)
                        landing.takeCompletionsOf(older);
                    seeks.clear();
                    if (current.has_value())
                        landing.takeCompletionsOf(*current);
                }
                current.reset();
                const FourCharCode format = pixelFormat;
                hold.unlock();
                std::shared_ptr<PixelBuffer> landed = convertKept(*picture, index, format);
                hold.lock();
                queue.clear();
                unreadable = -1;
                ended = false;
                if (landed != nullptr && format == pixelFormat)
                {
                    landedIndex = index;
                    requested = static_cast<double>(index);
                    landedFrame = landed;
                    ++landings;
                    if (seeks.empty())
                        queue.push_back(landed);
                }
                hold.unlock();
                landing.complete(static_cast<double>(index) / decoder->fps);
                hold.lock();
                return true;
            }

            // Decodes the part of a group ending at top; between pictures the
            // seeks asked meanwhile land once their frames are held, and
            // played backwards the queue is kept full. Stops for a seek of
            // another kind or outside the part, for a turn, and for a play
            // head that moved up off the part.
            FFmpegGroupDecoder::Outcome decodeGroupPart(std::unique_lock<std::mutex>& hold, long top,
                                                        std::optional<Seek>* current)
            {
                const FourCharCode format = pixelFormat;
                std::optional<Seek> none;
                std::optional<Seek>& seekUnderWay = current != nullptr ? *current : none;
                // A part started ahead of the play head is decoded until the
                // play head moves up off it, never left half-done for one
                // the play head comes to meanwhile.
                const long startHead = static_cast<long>(requested);
                const auto each = [&](long decoded)
                {
                    hold.lock();
                    bool goOn = ! stopping && format == pixelFormat && usesGroups();
                    if (goOn && (! seeks.empty() || seekUnderWay.has_value()))
                        landHeldSeek(hold, seekUnderWay, top);
                    // A seek still waiting goes on with the part only when
                    // its frame comes with it or on the way to it (it lands
                    // from the store).
                    if (goOn && ! seeks.empty())
                    {
                        const Seek& newest = seeks.back();
                        const long wanted = decoder->indexOf(newest.seconds);
                        const long reach = rate < 0.0f ? std::max(top, startHead) : top;
                        goOn = newest.backwards && wanted <= reach &&
                               (wanted > decoded || groups.firstKeptOf(top) <= wanted);
                    }
                    if (goOn && rate < 0.0f)
                    {
                        const long head = static_cast<long>(requested);
                        long above = -1;
                        groups.atOrAbove(head, above);
                        goOn = above >= 0 || head <= std::max(top, startHead);
                        if (goOn && seeks.empty() && ! seekUnderWay.has_value())
                            topUpQueue(hold, top, decoded);
                    }
                    hold.unlock();
                    return goOn;
                };
                // The part stays in the store while the group decoder holds it.
                store.setPinned(std::min(groups.isEmpty() ? top : groups.lowest(), groups.firstKeptOf(top)),
                                std::max(groups.highest(), top));
                hold.unlock();
                long pictures = 0;
                const auto counted = [&](long decoded)
                {
                    ++pictures;
                    return each(decoded);
                };
                const auto started = std::chrono::steady_clock::now();
                const FFmpegGroupDecoder::Outcome outcome = groups.decodePart(*decoder, top, counted);
                const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
                hold.lock();
                if (outcome == FFmpegGroupDecoder::Outcome::done && pictures > 0)
                    secondsPerPicture = took.count() / static_cast<double>(pictures);
                tellStoreTheWay();
                return outcome;
            }

            // The next frame the queue wants (below its lowest, or the one
            // nearest at or above the play head) converted from the groups
            // held; false when it wants none or none is held. While a part
            // ending at partTop is decoded up to decodedTo, a frame is next
            // only when none between comes with the rest of the part.
            bool topUpQueue(std::unique_lock<std::mutex>& hold, long partTop = -1, long decodedTo = -1)
            {
                if (queue.size() >= 4)
                    return false;
                long index = -1;
                const long head = static_cast<long>(requested);
                const AVFrame* picture =
                    queue.empty() ? groups.atOrAbove(head, index) : groups.below(queue.back()->frameIndex, index);
                if (picture == nullptr)
                    return false;
                const long from = queue.empty() ? head : index + 1;
                const long to = queue.empty() ? index : queue.back()->frameIndex;
                if (from < to && from <= partTop && to - 1 > decodedTo)
                    return false;
                const long after = queue.empty() ? -1 : queue.back()->frameIndex;
                const FourCharCode format = pixelFormat;
                hold.unlock();
                std::shared_ptr<PixelBuffer> converted = convertKept(*picture, index, format);
                hold.lock();
                // Kept when the queue still ends where it did.
                if (converted != nullptr && format == pixelFormat && playsBackwardsByGroups() && seeks.empty() &&
                    (queue.empty() ? after < 0 : queue.back()->frameIndex == after))
                    queue.push_back(converted);
                return true;
            }

            // The part a group's play wants next: the one ending at the play
            // head when nothing at or above it is held (or it lies below all
            // held), else the one below the parts held when there is room;
            // -1 for none.
            long groupPartDue() const
            {
                const long head = static_cast<long>(requested);
                long above = -1;
                groups.atOrAbove(head, above);
                const long ahead = std::max(0L, head - partLead(head));
                long top = groups.nextPartTop();
                if (above < 0 || (rate < 0.0f && groups.lowest() > head))
                {
                    // Frames decoded ahead that the play head has not come
                    // to yet are waited for.
                    const bool coming = above < 0 && ! groups.isEmpty() && groups.highest() >= ahead;
                    top = coming ? groups.nextPartTop() : ahead;
                }
                // Never a part the play head has already left.
                if (rate < 0.0f && top > head)
                    top = ahead;
                return top >= 0 && top != groupUnreadable ? top : -1;
            }

            // Played backwards, the frames the play head passes from head
            // while a part ending where it then is decodes from its group's
            // key frame, at the pace the last part decoded: a part the play
            // head is not on ends that far below it, so a decoder slower
            // than the play head still shows each part it decodes.
            long partLead(long head) const
            {
                if (rate >= 0.0f || head <= 0)
                    return 0;
                const double passed = decoder->fps * std::fabs(rate) * std::min(secondsPerPicture, 1.0);
                const long decoded = head - decoder->keyFrameAtOrBefore(head);
                return std::lround(passed * static_cast<double>(decoded) / (1.0 + passed));
            }

            bool wantsGroupWork() const
            {
                if (! seeks.empty())
                    return false;
                if (wrapIsDue())
                    return true;
                if (rate < 0.0f)
                {
                    long index = -1;
                    if (queue.size() < 4 && (queue.empty() ? groups.atOrAbove(static_cast<long>(requested), index)
                                                           : groups.below(queue.back()->frameIndex, index)) != nullptr)
                        return true;
                }
                return groupPartDue() >= 0;
            }

            void workOnGroups(std::unique_lock<std::mutex>& hold)
            {
                // Backwards the frames above the one nearest at or above the
                // play head are passed.
                groups.dropAbove(static_cast<long>(requested));
                if (rate < 0.0f)
                    adoptFromStore(static_cast<long>(requested));
                if (rate < 0.0f && topUpQueue(hold))
                    return;
                const long top = groupPartDue();
                if (top < 0)
                {
                    if (wrapIsDue())
                        decodeWrapAhead(hold);
                    return;
                }
                const FFmpegGroupDecoder::Outcome outcome = decodeGroupPart(hold, top, nullptr);
                // Nothing decodes there, or the movie ends before it: not
                // tried again until another part is due.
                long held = -1;
                groups.atOrAbove(top, held);
                if (outcome == FFmpegGroupDecoder::Outcome::failed ||
                    (outcome == FFmpegGroupDecoder::Outcome::done && held != top))
                    groupUnreadable = top;
            }

            // Backwards, where the group decoder holds nothing at or above
            // frame, or holds only frames above it, and the store keeps the
            // frame shown there: the run kept down from it, a part at most,
            // becomes the group decoder's (a turn from forward play, a drag
            // back, a loop's wrap).
            void adoptFromStore(long frame)
            {
                long above = -1;
                groups.atOrAbove(frame, above);
                if ((above >= 0 && groups.lowest() <= frame) || ! store.coversDownwards(frame))
                    return;
                long index = -1;
                const AVFrame* picture = store.atOrAbove(frame, index);
                groups.clear();
                groups.adopt(index, *picture);
                const std::size_t most = groups.partFrames();
                for (std::size_t n = 1; n < most && (index = store.keptBefore(index)) >= 0; ++n)
                    groups.adopt(index, *store.find(index));
                groupUnreadable = -1;
                tellStoreTheWay();
            }

            // Backwards (played, or followed by seeks), the group decoder's
            // frames reach frame 0, a part and a half at most, and the movie's
            // end is not decoded yet: a quarter part ending at the last frame
            // is, for a loop's wrap (within the budget beside them).
            bool wrapIsDue() const
            {
                return usesGroups() && ! wrapTried && lastFrame > 0 && groups.lowest() == 0 &&
                       groups.highest() < lastFrame &&
                       static_cast<std::size_t>(groups.highest()) < groups.partFrames() * 3 / 2 &&
                       store.find(lastFrame) == nullptr;
            }

            // Decodes the movie's last part (of its last key-frame group, a
            // part at most) into the store, kept there as ahead of frame 0
            // (converted when shown); the queue is kept full meanwhile, and
            // seeks asked land from what is held, or stop it, as a turn does.
            void decodeWrapAhead(std::unique_lock<std::mutex>& hold)
            {
                wrapTried = true;
                const FourCharCode format = pixelFormat;
                const auto goesOn = [&]
                {
                    hold.lock();
                    std::optional<Seek> none;
                    if (! seeks.empty())
                        landHeldSeek(hold, none, -1);
                    else if (rate < 0.0f)
                        topUpQueue(hold);
                    const bool on = ! stopping && seeks.empty() && usesGroups() && format == pixelFormat;
                    hold.unlock();
                    return on;
                };
                // Ahead of frame 0 from the first picture on: the store keeps
                // what it is told of the way as it comes.
                wrapFrom = lastFrame - std::max<long>(4, static_cast<long>(groups.partFrames() / 4)) + 1;
                tellStoreTheWay();
                hold.unlock();
                for (bool more = decoder->seekToRandomAccess(lastFrame);
                     more && decoder->pictureIndex() < lastFrame && goesOn();)
                    more = decoder->nextPicture();
                hold.lock();
            }

            // The store drops first what lies farthest behind the play head
            // (or the hand) on its way; the group decoder's frames stay.
            void tellStoreTheWay()
            {
                const int direction = rate > 0.0f   ? 1
                                      : rate < 0.0f ? -1
                                      : wayDirection != 0 ? wayDirection
                                                          : handDirection;
                store.setWay(static_cast<long>(requested), direction, wrapFrom);
                if (groups.isEmpty())
                    store.setPinned(0, -1);
                else
                    store.setPinned(groups.lowest(), groups.highest());
            }

            // Lands a seek whose frame the store keeps at once; the decoder
            // stays where it is, and forward play goes on from the store
            // (see run). False when the frame is not kept.
            bool landKeptSeek(std::unique_lock<std::mutex>& hold, Seek& next)
            {
                const long target = decoder->indexOf(next.seconds);
                const AVFrame* kept = store.find(target);
                const FourCharCode format = pixelFormat;
                if (kept == nullptr || format == 0)
                    return false;
                hold.unlock();
                std::shared_ptr<PixelBuffer> landed = convertKept(*kept, target, format);
                hold.lock();
                if (landed == nullptr)
                    return false;
                queue.clear();
                unreadable = -1;
                ended = false;
                landedIndex = target;
                requested = static_cast<double>(target);
                decoderAway = true;
                awayFrom = target;
                if (format == pixelFormat)
                {
                    landedFrame = landed;
                    ++landings;
                    if (seeks.empty())
                        queue.push_back(landed);
                }
                const double reached = next.before == 0.0 ? next.seconds : landed->presentationSeconds;
                hold.unlock();
                next.complete(reached);
                hold.lock();
                return true;
            }

            // A decoded picture's conversion, made once: the store keeps it
            // beside the picture. On the worker, the lock not held.
            std::shared_ptr<PixelBuffer> convertKept(const AVFrame& picture, long index, FourCharCode format)
            {
                if (std::shared_ptr<PixelBuffer> kept = store.findConverted(index, format))
                    return kept;
                return keepConversion(decoder->convert(picture, index, format));
            }

            std::shared_ptr<PixelBuffer> keepConversion(std::shared_ptr<PixelBuffer> converted)
            {
                if (converted != nullptr)
                    store.keepConverted(converted->frameIndex, converted);
                return converted;
            }

            // Playing forward, or paused and following forward play by seeks.
            bool playsForwards() const { return rate > 0.0f || (rate == 0.0f && followsOn); }

            // No seek waits that moves the decoder.
            bool onlyQueuedSeeks() const
            {
                return std::all_of(seeks.begin(), seeks.end(), [](const Seek& s) { return s.queued; });
            }

            // Backwards, the frame below the lowest one queued (the play
            // head's own when none is).
            long nextBackwards() const
            {
                return queue.empty() ? static_cast<long>(requested) : queue.back()->frameIndex - 1;
            }

            // Reads the next frame backwards by an exact seek; kept only when
            // the queue still ends where it did and the frame is below it. A
            // frame that cannot be read is not tried again until the queue
            // or the play head moves.
            void readBackwards(std::unique_lock<std::mutex>& hold)
            {
                const long index = nextBackwards();
                const FourCharCode format = pixelFormat;
                hold.unlock();
                std::shared_ptr<PixelBuffer> decoded;
                if (decoder->seek(static_cast<double>(index) / decoder->fps, true))
                    decoded = decoder->convert(format);
                hold.lock();
                if (decoded == nullptr || decoded->frameIndex > index)
                    unreadable = index;
                else if (playsBackwards() && seeks.empty() && format == pixelFormat && nextBackwards() == index)
                    queue.push_back(decoded);
            }

            bool wantsMore() const
            {
                if (usesGroups())
                    return wantsGroupWork();
                if (playsBackwards())
                {
                    const long index = nextBackwards();
                    return seeks.empty() && pixelFormat != 0 && index >= 0 && index != unreadable && queue.size() < 4;
                }
                // Paused (a seeking reader) the landed frame is all that shows,
                // unless the seeks follow forward play.
                if (ended || pixelFormat == 0 || ! playsForwards())
                    return false;
                // Three to four frames ahead of the play head, twice as many
                // when it runs faster than the movie (a busy machine's
                // pause then still leaves frames to show).
                const long lead = std::fabs(rate) > 1.0f ? 8 : 4;
                long ahead = 0;
                for (const auto& frame : queue)
                    if (frame->frameIndex > static_cast<long>(requested))
                        ++ahead;
                return ahead < lead && queue.size() < static_cast<std::size_t>(lead) + 2;
            }

            std::unique_ptr<Decoder> decoder;
            const bool reverseBySeeks;
            // Backwards over predicted frames: by key-frame groups, held by
            // the worker alone. A part that decodes nothing is not tried
            // again until another is due.
            const bool reverseByGroups;
            FFmpegGroupDecoder groups;
            long groupUnreadable = -1;
            // How long a picture of the last part took to decode (see partLead).
            double secondsPerPicture = 0.0;
            // Every picture decoded, kept within one budget with the group
            // decoder's; the worker's alone.
            FFmpegPictureStore store;
            // The movie's last frame (for a loop's wrap), where the part
            // decoded ahead for it begins (-1 before), and whether it was
            // decoded since the last seek or change of rate.
            const long lastFrame;
            long wrapFrom = -1;
            bool wrapTried = false;
            // A seek landed from the store: forward play goes on after
            // awayFrom, not from the decoder's picture.
            bool decoderAway = false;
            long awayFrom = -1;
            // The worker waits with nothing to do for backward play.
            bool groupsIdle = false;
            // The last seek asked was frame-exact and backwards by groups:
            // paused, the part below the ones held is decoded ahead.
            bool followsBackwards = false;
            std::mutex lock;
            std::condition_variable changed;
            std::deque<std::shared_ptr<PixelBuffer>> queue;
            std::deque<Seek> seeks;
            FourCharCode pixelFormat = 0;
            float rate = 0.0f;
            double requested = 0.0;
            long unreadable = -1;
            // The frame the seek under way looks for (-1 for none), and the
            // frame the last seek landed on; the seek under way is given up
            // when a later one makes its frame one that will not show.
            long running = -1;
            long landedIndex = 0;
            // The picture's way as last told (setPictureWay); -1 for none.
            long wayFrom = -1;
            int wayDirection = 0;
            // The frame the last seek to finish landed on, and the seeks landed.
            std::shared_ptr<PixelBuffer> landedFrame;
            unsigned long landings = 0;
            std::atomic<bool> abandonRunning{false};
            // A later seek's frame lies in another key-frame group than the
            // seek under way's.
            bool runningGroupLeft = false;
            // The frame of the last frame-exact seek (-1 after any other), and
            // whether that seek followed on from the one before.
            long lastExactTarget = -1;
            bool followsOn = false;
            // The way the last two frame-exact seeks went (0 for none).
            int handDirection = 0;
            bool ended = false;
            // The worker is decoding the next frame of forward play.
            bool decodingOn = false;
            bool stopping = false;
            std::thread worker;
        };

        //==============================================================================
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

        //==============================================================================
        class FFmpegEncoder final : public MovieEncoder
        {
        public:
            explicit FFmpegEncoder(const EncoderSettings& encoderSettings) : settings(encoderSettings) {}

            ~FFmpegEncoder() override { closeAll(); }

            bool start(std::string& error) override
            {
                // The codec and the file are opened here to refuse what cannot
                // work before any frame is taken: the codec at the usual rate,
                // reopened with the first frame's time scale only when that
                // differs; the header follows with the first frame.
                if (! openCodec(&codec, 25, error))
                    return false;
                if (avformat_alloc_output_context2(&format, nullptr, "mov", settings.path.c_str()) < 0 ||
                    format == nullptr)
                {
                    error = "no QuickTime muxer";
                    return false;
                }
                const int opened = avio_open(&format->pb, settings.path.c_str(), AVIO_FLAG_WRITE);
                if (opened < 0)
                {
                    error = "cannot open " + settings.path + ": " + errorText(opened);
                    return false;
                }
                return true;
            }

            bool encode(const PixelBuffer& buffer, CMTime time, std::string& error) override
            {
                if (buffer.getWidth() != settings.width || buffer.getHeight() != settings.height ||
                    buffer.getPixelFormat() != settings.sourcePixelFormat)
                {
                    error = "frame of another size or format";
                    return false;
                }
                if (! begun && ! begin(time.valid && time.timescale > 0 ? time.timescale : 600, error))
                    return false;
                if (! fillFrame(buffer, error))
                    return false;
                frame->pts = av_rescale_q(time.value, AVRational{1, time.timescale}, codec->time_base);
                return send(frame, error);
            }

            bool finish(std::string& error) override
            {
                if (! begun && ! begin(600, error))
                    return false;
                if (! send(nullptr, error))
                    return false;
                const int written = av_write_trailer(format);
                closeAll();
                if (written < 0)
                {
                    error = errorText(written);
                    return false;
                }
                return true;
            }

        private:
            bool openCodec(AVCodecContext** context, int timescale, std::string& error)
            {
                const char* encoderName = "prores_ks";
                AVPixelFormat pixelFormat = AV_PIX_FMT_YUV422P10LE;
                const char* profile = "2";
                if (settings.codec == fourCharCode("ap4h"))
                {
                    pixelFormat = AV_PIX_FMT_YUVA444P10LE;
                    profile = "4";
                }
                else if (settings.codec == fourCharCode("avc1"))
                {
                    encoderName = "libx264";
                    pixelFormat = AV_PIX_FMT_YUV420P;
                    profile = nullptr;
                }
                else if (settings.codec == fourCharCode("jpeg"))
                {
                    encoderName = "mjpeg";
                    pixelFormat = AV_PIX_FMT_YUVJ420P;
                    profile = nullptr;
                }
                const AVCodec* encoder = avcodec_find_encoder_by_name(encoderName);
                if (encoder == nullptr)
                {
                    error = std::string("no encoder ") + encoderName;
                    return false;
                }
                *context = avcodec_alloc_context3(encoder);
                AVCodecContext* c = *context;
                c->width = settings.width;
                c->height = settings.height;
                c->pix_fmt = pixelFormat;
                c->time_base = AVRational{1, timescale};
                c->framerate = AVRational{timescale, 1};
                c->thread_count = 2;
                tagColour(*c);
                if (settings.codec == fourCharCode("jpeg"))
                {
                    c->flags |= AV_CODEC_FLAG_QSCALE;
                    c->global_quality = FF_QP2LAMBDA * 3;
                }
                // QuickTime keeps the codec's set-up in its header.
                c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
                AVDictionary* options = nullptr;
                if (profile != nullptr)
                    av_dict_set(&options, "profile", profile, 0);
                if (settings.codec == fourCharCode("avc1"))
                    av_dict_set(&options, "preset", "veryfast", 0);
                const int opened = avcodec_open2(c, encoder, &options);
                av_dict_free(&options);
                if (opened < 0)
                {
                    error = std::string(encoderName) + " refuses " + std::to_string(settings.width) + " x " +
                            std::to_string(settings.height) + ": " + errorText(opened);
                    return false;
                }
                return true;
            }

            // Motion JPEG is coded as JPEG pictures are, BT.601 in full
            // range; the others in video range with the matrix their height
            // is taken for. Either is tagged, so no reader has to guess.
            YCbCrMatrix writtenMatrix() const
            {
                return settings.codec == fourCharCode("jpeg") ? YCbCrMatrix::itu601
                                                              : defaultYCbCrMatrixFor(settings.height);
            }

            bool isFullRange() const { return settings.codec == fourCharCode("jpeg"); }

            void tagColour(AVCodecContext& c) const
            {
                const bool hd = writtenMatrix() == YCbCrMatrix::itu709;
                c.colorspace = hd ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
                c.color_primaries = hd ? AVCOL_PRI_BT709 : AVCOL_PRI_SMPTE170M;
                c.color_trc = hd ? AVCOL_TRC_BT709 : AVCOL_TRC_SMPTE170M;
                c.color_range = isFullRange() ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
            }

            bool begin(int timescale, std::string& error)
            {
                if (format == nullptr || format->pb == nullptr)
                {
                    error = "not started";
                    return false;
                }
                if (codec == nullptr || codec->time_base.den != timescale)
                {
                    avcodec_free_context(&codec);
                    if (! openCodec(&codec, timescale, error))
                        return false;
                }
                stream = avformat_new_stream(format, nullptr);
                if (stream == nullptr || avcodec_parameters_from_context(stream->codecpar, codec) < 0)
                {
                    error = "cannot add the video stream";
                    return false;
                }
                stream->time_base = codec->time_base;
                if (settings.codec == fourCharCode("ap4h") || settings.codec == fourCharCode("apcn"))
                    stream->codecpar->codec_tag =
                        MKTAG(static_cast<char>(settings.codec >> 24), static_cast<char>(settings.codec >> 16),
                              static_cast<char>(settings.codec >> 8), static_cast<char>(settings.codec));
                const int header = avformat_write_header(format, nullptr);
                if (header < 0)
                {
                    error = errorText(header);
                    return false;
                }
                begun = true;
                frame = av_frame_alloc();
                packet = av_packet_alloc();
                frame->format = codec->pix_fmt;
                frame->width = codec->width;
                frame->height = codec->height;
                // ProRes takes the tags from the frames.
                frame->colorspace = codec->colorspace;
                frame->color_primaries = codec->color_primaries;
                frame->color_trc = codec->color_trc;
                frame->color_range = codec->color_range;
                if (av_frame_get_buffer(frame, 0) < 0)
                {
                    error = "no memory for a frame";
                    return false;
                }
                return true;
            }

            bool fillFrame(const PixelBuffer& buffer, std::string& error)
            {
                if (av_frame_make_writable(frame) < 0)
                {
                    error = "frame not writable";
                    return false;
                }
                const int w = buffer.getWidth(), h = buffer.getHeight();
                const unsigned char* source = buffer.getBaseAddress();
                int sourceStride = static_cast<int>(buffer.getBytesPerRow());
                AVPixelFormat sourceFormat = AV_PIX_FMT_BGRA;
                if (buffer.getPixelFormat() == pixelFormat64ARGB)
                {
                    // Big-endian A,R,G,B to big-endian R,G,B,A.
                    staging.resize(static_cast<std::size_t>(w) * h * 8);
                    for (int y = 0; y < h; ++y)
                    {
                        const unsigned char* from = source + static_cast<std::size_t>(y) * sourceStride;
                        unsigned char* to = staging.data() + static_cast<std::size_t>(y) * w * 8;
                        for (int x = 0; x < w; ++x, from += 8, to += 8)
                        {
                            std::memcpy(to, from + 2, 6);
                            to[6] = from[0];
                            to[7] = from[1];
                        }
                    }
                    source = staging.data();
                    sourceStride = w * 8;
                    sourceFormat = AV_PIX_FMT_RGBA64BE;
                }
                SwsContext* scaler =
                    conversion.get(w, h, sourceFormat, false, codec->pix_fmt, isFullRange(), writtenMatrix());
                if (scaler == nullptr)
                {
                    error = "no conversion";
                    return false;
                }
                const uint8_t* planes[4] = {source, nullptr, nullptr, nullptr};
                const int strides[4] = {sourceStride, 0, 0, 0};
                sws_scale(scaler, planes, strides, 0, h, frame->data, frame->linesize);
                return true;
            }

            bool send(AVFrame* toSend, std::string& error)
            {
                int result = avcodec_send_frame(codec, toSend);
                if (result < 0)
                {
                    error = errorText(result);
                    return false;
                }
                for (;;)
                {
                    result = avcodec_receive_packet(codec, packet);
                    if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
                        return true;
                    if (result < 0)
                    {
                        error = errorText(result);
                        return false;
                    }
                    // One tick of the time scale is one frame: without it the
                    // last frame would have no length.
                    if (packet->duration <= 0)
                        packet->duration = 1;
                    av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
                    packet->stream_index = stream->index;
                    result = av_interleaved_write_frame(format, packet);
                    if (result < 0)
                    {
                        error = errorText(result);
                        return false;
                    }
                }
            }

            void closeAll()
            {
                av_frame_free(&frame);
                av_packet_free(&packet);
                avcodec_free_context(&codec);
                conversion.reset();
                if (format != nullptr)
                {
                    const bool opened = format->pb != nullptr;
                    if (opened)
                        avio_closep(&format->pb);
                    avformat_free_context(format);
                    format = nullptr;
                    // Opened but never begun: no empty file stays behind.
                    if (opened && ! begun)
                        std::remove(settings.path.c_str());
                }
            }

            EncoderSettings settings;
            AVFormatContext* format = nullptr;
            AVCodecContext* codec = nullptr;
            AVStream* stream = nullptr;
            AVFrame* frame = nullptr;
            AVPacket* packet = nullptr;
            ColourConversion conversion;
            std::vector<unsigned char> staging;
            bool begun = false;
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
