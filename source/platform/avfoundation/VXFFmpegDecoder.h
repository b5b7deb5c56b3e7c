#pragma once

#include "engine/video/formats/avfoundation/VXMediaBackend.h"
#include "platform/avfoundation/VXFFmpegGroupDecoder.h"
#include "platform/avfoundation/VXFFmpegPictureMemory.h"

extern "C"
{
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

// The FFmpeg backend's demuxer and decoder, and the libswscale conversion of
// its pictures; used by the decoding session (VXFFmpegSession), the asset
// and the encoder (VXMediaBackendFFmpeg, VXFFmpegEncoder) only.
namespace vx::av::ffmpeg
{
    // The stream's frame rate: its average, or where that is unknown (an
    // Ogg stream without sound) its real base rate; 0/0 when neither is
    // known.
    AVRational frameRateOf(const AVStream& stream);

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
                        bool toFullRange, YCbCrMatrix matrix);

        void reset();

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

    // One demuxer and decoder over the first video stream.
    class Decoder final : public PictureSource
    {
    public:
        ~Decoder();

        // Opens the file with its stream information; false when it does not.
        bool openFormat(const std::string& path);

        // The codec, with a usable frame rate.
        bool openCodec() { return openDecoder() && hasUsableRate(); }

        bool hasUsableRate() const { return fps > 0.0 && std::isfinite(fps); }

        // Frames a second of the movie holds (at least one): how far
        // ahead forward play reaches by decoding on.
        long framesInASecond() const { return std::max(1L, std::lround(fps)); }

        bool openDecoder();

        // Whether two frames lie in one key-frame group: the container's
        // index puts the same key frame at or before both. Without an
        // index (MPEG streams), when they are at most a second apart.
        // Safe beside the decoding: the key frames are kept at opening.
        bool inOneGroup(long a, long b) const;

        // The key frame at or before index by the index; without one (MPEG
        // streams), a second before it.
        long keyFrameAtOrBefore(long index) const;

        // Decodes the stream's first picture: its stamp is frame 0's.
        // Containers without times of their own for B-frames (AVI) stamp
        // every picture by the packet that brought it out of the decoder,
        // as many frames late as the decoder holds pictures back. The
        // picture is given first by next() unless a seek comes before.
        void findFirstPicture();

        // The picture decoded last becomes the one next() gives first.
        void keepAsFollowing();

        // An 8-bit movie's palette comes with the stream's first packet
        // only, and a seek drops the packets read so far: the first one is
        // read now, before any seek, its palette kept, and it is decoded
        // first unless a seek comes before.
        void holdFirstPacket();

        // The stream's next packet read into held, decoded first; false
        // when the stream ends first.
        bool holdNextPacket();

        // After a jump: the decoding time of the packet landed on (held)
        // when it is a random-access picture shown after frame target;
        // AV_NOPTS_VALUE when it is not.
        std::int64_t landedPast(long target);

        // Remembers the palette a packet carries.
        void keepPalette(const AVPacket& carrier);

        AVStream* videoStream() const { return stream >= 0 ? format->streams[stream] : nullptr; }

        long indexOf(double seconds) const { return static_cast<long>(std::floor(seconds * fps + 1e-6)); }

        // The next frame in presentation order into `frame`; false at the
        // end, or (after a jump) when a picture numbered past giveUpPast
        // comes before the random-access picture a picture may be shown from.
        bool next(long giveUpPast = unnumbered);

        // The picture next() gives is told to onPicture, with the one given
        // before it since the last seek.
        bool give();

        // Whether a packet of an MPEG stream read after a jump is cut off
        // from its picture's true time (cut carries that on). The jump
        // may land in a picture midway: the first packet is then its tail
        // and bears the stamps of the picture after it, and the demuxer
        // derives the stamps of the packets after it from them, one or
        // more frames off. They are cut off up to one that begins a
        // picture with stamps of its own (from the header of the packet
        // of the container it begins in).
        bool isCutOff(const AVPacket& read, bool firstAfterJump, bool& cut) const;

        // Video of an MPEG program or transport stream whose pictures
        // begin with a start code.
        bool carriesStartCodes() const;

        static bool beginsPicture(const AVPacket& read);

        // A picture's best-effort stamp, else its own.
        static std::int64_t stampOf(const AVFrame& picture);

        // Numbers the picture just decoded by its place in presentation
        // order: its best-effort stamp from the first picture's on, or,
        // without a stamp (the pictures an AVI decoder gives at its end),
        // the one after the picture decoded before it. The first picture
        // decoded from the beginning is frame 0; the first after any other
        // seek, without a stamp, cannot be placed and is numbered
        // `unnumbered`, later than any frame a seek looks for.
        void numberPicture();

        static constexpr long unnumbered = std::numeric_limits<long>::max();

        bool isRandomAccess() const;

        // Whether the picture just decoded may be shown. After a jump the
        // HEVC decoder hands out the pictures before the first
        // random-access one, and the leading pictures decoded after it
        // but shown before it, predicted from references it never had:
        // only the random-access picture and those after it are shown.
        // The other decoders drop such pictures themselves.
        bool passesRandomAccess();

        long indexOfTicks(double ticks) const;

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
        bool seek(double seconds, bool exact);

        // The group decoder's reads: a random-access picture at or before
        // the frame, by the seek's own way back, and the pictures after it.
        bool seekToRandomAccess(long target) override;

        bool nextPicture() override { return next(); }
        AVFrame* picture() override { return frame; }
        long pictureIndex() const override { return frameIndex; }

        bool seekUnlessAbandoned(double seconds, bool exact, bool toRandomAccess = false);

        // Whether decoding on from the frame in hand reaches target at no
        // more cost than a seek: the frame is the one in hand, or it lies
        // ahead and its key frame (keyFrameAtOrBefore) is at or before
        // the frame in hand, or
        // (without one) it is at most a second ahead. MPEG streams have
        // no such index: theirs holds the places earlier seeks probed.
        bool decodesOnTo(long target);

        // The key frames' times by the container's index, as they show,
        // sorted, with the origin frame times count from (see
        // decodesOnTo).
        void keepKeyFrames();

        // Whether the container indexes the stream's key frames (MPEG
        // streams' index holds only the places earlier seeks probed).
        bool hasKeyFrameIndex() const;

        // The stream's index entry for the packet at position in the file.
        const AVIndexEntry* indexEntryAt(std::int64_t position) const;

        // Decodes on to the frame covering target: the frame of that
        // index or, where the movie has none (a variable-rate movie
        // holding a picture), the last one before it, the frame after it
        // then next. False when the movie ends first, the last frame
        // before it kept.
        bool decodeForwardTo(long target);

        std::int64_t streamStart() const;

        // Where the stream's first packet is (see seekToBeginning).
        std::int64_t beginningTime() const;

        // The key frame at or before ts (in the stream's time base) next;
        // the beginning when the demuxer cannot seek there.
        void seekTo(std::int64_t ts);

        // The stream's first packet next. Its start time is the first
        // picture's, which in MPEG streams comes after the first packet's
        // decoding time: a seek to it would land past the first packet.
        void seekToBeginning();

        void resetAfterSeek();

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
        double measureEnd(double claimedSeconds);

        // Faults in a little more of the memory of pictures to come while
        // less than bytes of it, and less than pictures, is ready; false
        // once it is.
        bool warmPictureMemory(std::size_t bytes, std::size_t pictures) { return pictureMemory.warm(bytes, pictures); }

        // The decoded frame in a new buffer of the pixel format; null when
        // it cannot be converted.
        std::shared_ptr<PixelBuffer> convert(FourCharCode pixelFormat);

        // A picture decoded before (held for backward play) alike.
        std::shared_ptr<PixelBuffer> convert(const AVFrame& picture, long index, FourCharCode pixelFormat);

        AVFormatContext* format = nullptr;
        // Outlives codec, whose pictures it holds.
        FFmpegPictureMemory pictureMemory;
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
        // The key frames by the index, as kept at opening (inOneGroup), at
        // the time they show.
        std::vector<std::int64_t> keyFrameTicks;
        std::int64_t keyFrameOrigin = 0;
        // How much later the stream's first packet, a key frame, shows than
        // the index places it (the index holds decoding times where
        // B-frames come before it): taken for every key frame.
        std::int64_t keyFrameShowsLater = 0;
        // Told every numbered picture next() gives, with the frame given
        // before it since the last seek (-1 for none).
        std::function<void(const AVFrame& picture, long index, long previous)> onPicture;
        long givenIndex = -1;
    };
}
