#pragma once

#include "engine/video/formats/avfoundation/VXCoreMedia.h"

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

// What decodes and encodes movies under the media framework's mirror: the
// FFmpeg backend by default (source/platform/avfoundation/), a scripted one
// in the tests.
namespace vx::av
{
    // A count or length taken from a movie, truncated and held within Int's
    // range (NaN gives 0): containers may claim any length.
    template <typename Int>
    Int saturatingCast(double value)
    {
        if (! (value > static_cast<double>(std::numeric_limits<Int>::min())))
            return value < 0.0 ? std::numeric_limits<Int>::min() : Int{0};
        if (value >= static_cast<double>(std::numeric_limits<Int>::max()))
            return std::numeric_limits<Int>::max();
        return static_cast<Int>(value);
    }

    // The whole frames of frameDuration in seconds: a quotient within a
    // quarter of a frame below a whole number is that number (stamps and
    // lengths rounded to the container's ticks or to milliseconds leave the
    // last frame a little short), any other is truncated (a frame mostly
    // missing is not counted). 0 without a frame duration.
    inline unsigned wholeFramesIn(double seconds, const CMTime& frameDuration)
    {
        if (! frameDuration.valid || frameDuration.value <= 0 || frameDuration.timescale <= 0 || ! (seconds > 0.0))
            return 0;
        const double frames =
            seconds * static_cast<double>(frameDuration.timescale) / static_cast<double>(frameDuration.value);
        return saturatingCast<unsigned>(frames + 0.25);
    }

    // One format description of a track.
    struct FormatDescription
    {
        FourCharCode mediaType = fourCharCode("vide");
        FourCharCode mediaSubType = 0;
        // The codec's long name; empty when the track has none.
        std::string formatName;
        // Bits per pixel; 0 when the description carries no depth.
        int depth = 0;
    };

    // What an opened movie tells about itself.
    struct AssetFacts
    {
        bool readable = false;
        bool playable = false;
        bool hasVideoTrack = false;
        int audioTrackCount = 0;
        double naturalWidth = 0.0, naturalHeight = 0.0;
        float nominalFrameRate = 0.0f;
        // A frame's length at the nominal rate, exactly (1001/24000 s at
        // 23.976 fps): frame n starts at n times it. Invalid when unknown.
        CMTime nominalFrameDuration;
        double durationSeconds = 0.0;
        std::vector<FormatDescription> videoFormatDescriptions;
        bool canPlayReverse = false;
        bool canStepForward = false;
        bool canPlayFastForward = false;
        // How the video track's pictures turn for display (a phone's
        // portrait movie: a quarter clockwise); pictures come as stored.
        CGAffineTransform preferredTransform;
    };

    // The decoding of one player item. Called from several threads; every
    // operation is thread-safe.
    class DecodingSession
    {
    public:
        virtual ~DecodingSession() = default;

        // The pixel format frames are delivered in.
        virtual void setPixelFormat(FourCharCode pixelFormat) = 0;
        // Brings the frame at seconds (within the tolerances, in seconds;
        // infinity allowed) to the front; done runs once with the time reached,
        // on the backend's worker thread, or is dropped when the session dies
        // first.
        virtual void seek(double seconds, double toleranceBefore, double toleranceAfter,
                          std::function<void(double reachedSeconds)> done) = 0;
        // The player's rate, for backends that decode ahead in its direction.
        virtual void setRate(float rate) = 0;
        // Where the picture stands for the seeks asked next, and the way it
        // goes: from frame `from` forwards (direction 1), backwards (-1), or
        // either way (0). A seek under way is given up at its next packet
        // for a later one whose frame lies in another key-frame group, or
        // behind its frame off the way from there (a frame landed on the
        // way may show; one left behind never does); within the group the
        // later one decodes on from where it lands.
        // Before a way is told, and for `from` below 0, the way runs from the
        // frame the last seek landed on, either way.
        virtual void setPictureWay(long /*from*/, int /*direction*/) {}
        // Held by the user's hand: a frame-exact seek that decodes from a
        // key frame first brings a stand-in to the front, the frame nearest
        // below its own in its key-frame group that is at hand (kept, else
        // that key frame), so the picture follows the hand while its frame
        // decodes (where the container indexes its key frames).
        virtual void setFollowsHand(bool /*follows*/) {}
        // The volume of one audio track from time zero on.
        virtual void setAudioVolume(int audioTrack, float volume) = 0;
        // The decoded frame shown at seconds (the last one starting at or
        // before it), in the session's pixel format; null when none is
        // decoded yet.
        virtual std::shared_ptr<PixelBuffer> frameForTime(double seconds) = 0;
        // True while the frame at seconds is not decoded yet and the session,
        // playing forward with no caller's seek waiting or under way, is
        // decoding on towards it (its own seek from the play head, once
        // opened or turned forwards, included).
        virtual bool isDecodingToward(double /*seconds*/) { return false; }
        // True while the seek under way decodes, within one key-frame group,
        // towards a frame before the one at seconds: a seek to it asked now
        // is met by that decoding, which goes on to it.
        virtual bool decodesOnTo(double /*seconds*/) { return false; }
        // The frame the newest seek to finish landed on (null before any,
        // and for backends that keep none), with the count of seeks landed
        // so far: a later landing counts higher. It stays while later seeks
        // run, whose start clears what frameForTime gives.
        virtual std::shared_ptr<PixelBuffer> lastLandedFrame(unsigned long& landings)
        {
            landings = 0;
            return nullptr;
        }
    };

    // One opened movie file.
    class MediaAsset
    {
    public:
        virtual ~MediaAsset() = default;
        virtual const AssetFacts& getFacts() const = 0;
        // Null when the movie has no decodable video.
        virtual std::unique_ptr<DecodingSession> createSession() = 0;
        // The frame at or before seconds as an image; null with the reason in error.
        virtual CGImageRef copyImageAtTime(double seconds, double* actualSeconds, std::string* error) = 0;
    };

    struct EncoderSettings
    {
        std::string path;
        // The codec asked for: 'ap4h' (ProRes 4444), 'apcn' (ProRes 422),
        // 'avc1' (H.264), 'jpeg' (Motion JPEG).
        FourCharCode codec = 0;
        int width = 0, height = 0;
        FourCharCode sourcePixelFormat = pixelFormat32BGRA;
    };

    // Writes one QuickTime movie. start, then encode in presentation order,
    // then finish; one thread at a time.
    class MovieEncoder
    {
    public:
        virtual ~MovieEncoder() = default;
        // False with the reason in error: a size or codec the encoder refuses,
        // a file that cannot be made.
        virtual bool start(std::string& error) = 0;
        virtual bool encode(const PixelBuffer& frame, CMTime presentationTime, std::string& error) = 0;
        virtual bool finish(std::string& error) = 0;
    };

    class MediaBackend
    {
    public:
        virtual ~MediaBackend() = default;
        // Null when the file cannot be opened at all.
        virtual std::shared_ptr<MediaAsset> openAsset(const std::string& path) = 0;
        virtual std::unique_ptr<MovieEncoder> createEncoder(const EncoderSettings& settings) = 0;

        // The backend in use: the one set, else the FFmpeg backend.
        static MediaBackend& getCurrent();
        // Null restores the FFmpeg backend. The backend must outlive its use.
        static void setCurrent(MediaBackend* backend);
        static MediaBackend& getDefault();
    };
}
