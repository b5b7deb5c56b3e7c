#include "platform/avfoundation/VXFFmpegDecoder.h"

extern "C"
{
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

#include <cstring>
#include <iterator>

namespace vx::av::ffmpeg
{
    namespace
    {
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
    }

    AVRational frameRateOf(const AVStream& stream)
    {
        const auto known = [](AVRational rate) { return rate.num > 0 && rate.den > 0; };
        if (known(stream.avg_frame_rate))
            return stream.avg_frame_rate;
        if (known(stream.r_frame_rate))
            return stream.r_frame_rate;
        return AVRational{0, 0};
    }

    SwsContext* ColourConversion::get(int width, int height, AVPixelFormat from, bool fromFullRange, AVPixelFormat to,
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
        sws_setColorspaceDetails(context, coefficients, fromFullRange ? 1 : 0, coefficients, toFullRange ? 1 : 0, 0,
                                 1 << 16, 1 << 16);
        key = wanted;
        return context;
    }

    void ColourConversion::reset()
    {
        sws_freeContext(context);
        context = nullptr;
    }

    Decoder::~Decoder()
    {
        av_frame_free(&frame);
        av_frame_free(&spare);
        av_frame_free(&following);
        av_packet_free(&packet);
        av_packet_free(&held);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }

    bool Decoder::openFormat(const std::string& path)
    {
        if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0)
            return false;
        if (avformat_find_stream_info(format, nullptr) < 0)
            return false;
        for (unsigned i = 0; i < format->nb_streams; ++i)
        {
            const AVStream* s = format->streams[i];
            if (s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && (s->disposition & AV_DISPOSITION_ATTACHED_PIC) == 0)
            {
                stream = static_cast<int>(i);
                break;
            }
        }
        return true;
    }

    bool Decoder::openDecoder()
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
        pictureMemory.serve(*codec);
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
        if (frame == nullptr || spare == nullptr || following == nullptr || packet == nullptr || held == nullptr)
            return false;
        holdFirstPacket();
        findFirstPicture();
        keepKeyFrames();
        return true;
    }

    bool Decoder::inOneGroup(long a, long b) const
    {
        if (keyFrameTicks.empty())
            return std::labs(a - b) <= framesInASecond();
        const auto groupOf = [this](long index)
        {
            const auto ticks = saturatingCast<std::int64_t>(std::floor(index / fps / timeBase + keyFrameOrigin));
            return std::upper_bound(keyFrameTicks.begin(), keyFrameTicks.end(), ticks) - keyFrameTicks.begin();
        };
        return groupOf(a) == groupOf(b);
    }

    long Decoder::keyFrameAtOrBefore(long index) const
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

    void Decoder::findFirstPicture()
    {
        const bool decoded = next();
        // Without a stamp of its own, frame 0 is where the stream starts.
        if (zeroStamp == AV_NOPTS_VALUE)
            zeroStamp = streamStart();
        if (decoded)
            keepAsFollowing();
    }

    void Decoder::keepAsFollowing()
    {
        av_frame_unref(following);
        av_frame_move_ref(following, frame);
        followingIndex = frameIndex;
        followingSeconds = frameSeconds;
        hasFollowing = true;
    }

    void Decoder::holdFirstPacket()
    {
        if (holdNextPacket())
        {
            keepPalette(*held);
            openingTime = held->dts != AV_NOPTS_VALUE ? held->dts : held->pts;
            keyFrameShowsLater = 0;
            if ((held->flags & AV_PKT_FLAG_KEY) != 0 && held->pts != AV_NOPTS_VALUE && held->pos >= 0)
                if (const AVIndexEntry* entry = indexEntryAt(held->pos); entry != nullptr)
                    keyFrameShowsLater = std::max<std::int64_t>(0, held->pts - entry->timestamp);
        }
    }

    const AVIndexEntry* Decoder::indexEntryAt(std::int64_t position) const
    {
        AVStream* s = videoStream();
        const int count = avformat_index_get_entries_count(s);
        for (int i = 0; i < count; ++i)
            if (const AVIndexEntry* entry = avformat_index_get_entry(s, i); entry != nullptr && entry->pos == position)
                return entry;
        return nullptr;
    }

    bool Decoder::holdNextPacket()
    {
        for (int packets = 0; packets < 1000 && av_read_frame(format, held) >= 0; ++packets)
        {
            if (held->stream_index == stream)
            {
                hasHeld = true;
                return true;
            }
            av_packet_unref(held);
        }
        return false;
    }

    std::int64_t Decoder::landedPast(long target)
    {
        if (zeroStamp == AV_NOPTS_VALUE || ! holdNextPacket() || (held->flags & AV_PKT_FLAG_KEY) == 0 ||
            held->pts == AV_NOPTS_VALUE || held->dts == AV_NOPTS_VALUE)
            return AV_NOPTS_VALUE;
        const long index = indexOfTicks(static_cast<double>(held->pts) - static_cast<double>(zeroStamp));
        return index > target ? held->dts : AV_NOPTS_VALUE;
    }

    void Decoder::keepPalette(const AVPacket& carrier)
    {
        std::size_t size = 0;
        const std::uint8_t* side = av_packet_get_side_data(&carrier, AV_PKT_DATA_PALETTE, &size);
        if (side != nullptr && size == AVPALETTE_SIZE)
            palette.assign(side, side + size);
    }

    bool Decoder::next(long giveUpPast)
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
                FrameAllocator::getCurrent().pictureDecoded(frameIndex);
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
                    if (std::uint8_t* side = av_packet_new_side_data(packet, AV_PKT_DATA_PALETTE, palette.size()))
                        std::memcpy(side, palette.data(), palette.size());
                }
                paletteDue = false;
                avcodec_send_packet(codec, packet);
            }
            av_packet_unref(packet);
        }
    }

    bool Decoder::give()
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

    bool Decoder::isCutOff(const AVPacket& read, bool firstAfterJump, bool& cut) const
    {
        if (firstAfterJump)
            cut = carriesStartCodes() && ! beginsPicture(read);
        else if (cut && read.pos >= 0 && (read.pts != AV_NOPTS_VALUE || read.dts != AV_NOPTS_VALUE) &&
                 beginsPicture(read))
            cut = false;
        return cut;
    }

    bool Decoder::carriesStartCodes() const
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

    bool Decoder::beginsPicture(const AVPacket& read)
    {
        const std::uint8_t* d = read.data;
        return read.size >= 4 && d[0] == 0 && d[1] == 0 && (d[2] == 1 || (d[2] == 0 && d[3] == 1));
    }

    std::int64_t Decoder::stampOf(const AVFrame& picture)
    {
        return picture.best_effort_timestamp != AV_NOPTS_VALUE ? picture.best_effort_timestamp : picture.pts;
    }

    void Decoder::numberPicture()
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

    bool Decoder::isRandomAccess() const
    {
#if defined(AV_FRAME_FLAG_KEY)
        return (frame->flags & AV_FRAME_FLAG_KEY) != 0;
#else
        return frame->key_frame != 0;
#endif
    }

    bool Decoder::passesRandomAccess()
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
                // A container's packets are whole: its first one after
                // a jump is the random-access picture itself.
                if (! isRandomAccess() || (carriesStartCodes() && firstPacketStamp != AV_NOPTS_VALUE &&
                                           stampOf(*frame) == firstPacketStamp))
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

    long Decoder::indexOfTicks(double ticks) const
    {
        return fps > 0.0 ? saturatingCast<long>(std::llround(ticks * timeBase * fps)) : 0;
    }

    bool Decoder::seek(double seconds, bool exact)
    {
        abandoned = false;
        const bool found = seekUnlessAbandoned(seconds, exact);
        // Stopped midway, the frame in hand is not where decoding
        // goes on from: the next seek seeks.
        if (abandoned)
            hasDecoded = false;
        return found && ! abandoned;
    }

    bool Decoder::seekToRandomAccess(long target)
    {
        abandoned = false;
        const bool found = seekUnlessAbandoned(static_cast<double>(target) / fps, false, true);
        if (abandoned)
            hasDecoded = false;
        return found && ! abandoned;
    }

    bool Decoder::seekUnlessAbandoned(double seconds, bool exact, bool toRandomAccess)
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
            {
                seekTo(ts);
                // By the index the demuxer lands on the key frame whose
                // decoding time is at or before the frame's time: with
                // B-frames that of the next group may be, shown after
                // the frame. Passed by undecoded, to the one before it.
                if (const std::int64_t past = keyFrameIndexed ? landedPast(target) : AV_NOPTS_VALUE;
                    past != AV_NOPTS_VALUE && past <= ts)
                {
                    ts = past - 1;
                    continue;
                }
            }
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
            step = step < halfSecond ? halfSecond : std::min(step, std::numeric_limits<std::int64_t>::max() / 2) * 2;
        }
    }

    bool Decoder::decodesOnTo(long target)
    {
        if (! hasDecoded || draining || frameIndex == unnumbered || frameIndex > target ||
            randomAccess == RandomAccess::awaited || ! hasUsableRate())
            return false;
        // The frame in hand itself (decoded ahead and passed over).
        if (frameIndex == target)
            return frame->buf[0] != nullptr;
        if (! hasKeyFrameIndex())
            return target - frameIndex <= framesInASecond();
        return keyFrameAtOrBefore(target) <= frameIndex;
    }

    void Decoder::keepKeyFrames()
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
                keyFrameTicks.push_back(entry->timestamp + keyFrameShowsLater);
        std::sort(keyFrameTicks.begin(), keyFrameTicks.end());
    }

    bool Decoder::hasKeyFrameIndex() const
    {
        return (format->iformat->flags & AVFMT_TS_DISCONT) == 0 && avformat_index_get_entries_count(videoStream()) > 0;
    }

    bool Decoder::decodeForwardTo(long target)
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

    std::int64_t Decoder::streamStart() const
    {
        const AVStream* s = videoStream();
        return s->start_time != AV_NOPTS_VALUE ? s->start_time : 0;
    }

    std::int64_t Decoder::beginningTime() const
    {
        return openingTime != AV_NOPTS_VALUE ? openingTime : streamStart();
    }

    void Decoder::seekTo(std::int64_t ts)
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

    void Decoder::seekToBeginning()
    {
        const std::int64_t beginning = beginningTime();
        if (av_seek_frame(format, stream, beginning, AVSEEK_FLAG_BACKWARD) < 0)
            av_seek_frame(format, stream, streamStart(), AVSEEK_FLAG_BACKWARD);
        resetAfterSeek();
        fromBeginning = true;
        randomAccess = RandomAccess::passed;
    }

    void Decoder::resetAfterSeek()
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

    double Decoder::measureEnd(double claimedSeconds)
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

    std::shared_ptr<PixelBuffer> Decoder::convert(FourCharCode pixelFormat)
    {
        return convert(*frame, frameIndex, pixelFormat);
    }

    std::shared_ptr<PixelBuffer> Decoder::convert(const AVFrame& picture, long index, FourCharCode pixelFormat)
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
}
