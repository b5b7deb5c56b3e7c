#pragma once

// A scripted media backend: synthetic movies by path whose frames carry their
// index in the pixels, a manual host clock, every seek, rate, audio volume
// and appended frame recorded, and seeks completed on the test's word (from
// any thread).

#include "engine/video/formats/avfoundation/VXMediaBackend.h"

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

namespace vx::test
{
    class ManualClock final : public av::HostClock
    {
    public:
        ManualClock() { av::HostClock::setCurrent(this); }
        ~ManualClock() override { av::HostClock::setCurrent(nullptr); }
        double getSeconds() const override { return now.load(); }
        void set(double seconds) { now.store(seconds); }
        void advance(double seconds) { now.store(now.load() + seconds); }

    private:
        std::atomic<double> now{100.0};
    };

    // The grey level frame k shows (4:2:2 luma 16 + 8k, chroma neutral).
    inline int lumaOfFrame(long k)
    {
        return 16 + static_cast<int>((k * 8) % 216);
    }

    class ScriptedBackend final : public av::MediaBackend
    {
    public:
        struct SeekRecord
        {
            double seconds, before, after;
        };
        struct AppendRecord
        {
            std::int64_t value;
            std::int32_t timescale;
            unsigned char firstPixel[4];
            std::size_t bytesPerRow;
        };

        ScriptedBackend() { av::MediaBackend::setCurrent(this); }
        ~ScriptedBackend() override { av::MediaBackend::setCurrent(nullptr); }

        // A movie at path: 25 fps, 60 s, 64 x 32 unless changed.
        av::AssetFacts& addMovie(const std::string& path, int audioTracks = 0,
                                 av::FourCharCode subType = av::fourCharCode("avc1"))
        {
            av::AssetFacts facts;
            facts.readable = facts.playable = facts.hasVideoTrack = true;
            facts.audioTrackCount = audioTracks;
            facts.naturalWidth = 64;
            facts.naturalHeight = 32;
            facts.nominalFrameRate = 25.0f;
            facts.durationSeconds = 60.0;
            av::FormatDescription description;
            description.mediaSubType = subType;
            description.formatName = "scripted codec";
            description.depth = 24;
            facts.videoFormatDescriptions.push_back(description);
            std::lock_guard<std::mutex> hold(lock);
            return assets[path] = facts;
        }

        std::shared_ptr<av::MediaAsset> openAsset(const std::string& path) override;
        std::unique_ptr<av::MovieEncoder> createEncoder(const av::EncoderSettings& settings) override;

        // Runs every pending seek's completion, landing on its target.
        int completeSeeks()
        {
            std::deque<std::pair<double, std::function<void(double)>>> due;
            {
                std::lock_guard<std::mutex> hold(lock);
                due.swap(pendingSeeks);
            }
            for (auto& seek : due)
                seek.second(seek.first);
            return static_cast<int>(due.size());
        }

        std::vector<SeekRecord> seeks() const
        {
            std::lock_guard<std::mutex> hold(lock);
            return seekLog;
        }
        std::vector<float> rates() const
        {
            std::lock_guard<std::mutex> hold(lock);
            return rateLog;
        }
        std::vector<std::pair<int, float>> volumes() const
        {
            std::lock_guard<std::mutex> hold(lock);
            return volumeLog;
        }
        std::vector<AppendRecord> appends() const
        {
            std::lock_guard<std::mutex> hold(lock);
            return appendLog;
        }
        std::vector<av::EncoderSettings> encoders() const
        {
            std::lock_guard<std::mutex> hold(lock);
            return encoderLog;
        }

        // While held, encoding waits (frames pile up in the writer's queue).
        void holdEncoding(bool held)
        {
            {
                std::lock_guard<std::mutex> hold(lock);
                encodingHeld = held;
            }
            changed.notify_all();
        }
        // Encoding fails from the nth frame on (-1: never).
        std::atomic<int> failFromFrame{-1};

        // Called by the scripted objects.
        void recordSeek(double seconds, double before, double after, std::function<void(double)> done)
        {
            std::lock_guard<std::mutex> hold(lock);
            seekLog.push_back({seconds, before, after});
            pendingSeeks.emplace_back(seconds, std::move(done));
        }
        void recordRate(float rate)
        {
            std::lock_guard<std::mutex> hold(lock);
            rateLog.push_back(rate);
        }
        void recordVolume(int track, float volume)
        {
            std::lock_guard<std::mutex> hold(lock);
            volumeLog.emplace_back(track, volume);
        }
        bool recordAppend(const av::PixelBuffer& buffer, av::CMTime time)
        {
            std::unique_lock<std::mutex> hold(lock);
            changed.wait(hold, [this] { return ! encodingHeld; });
            AppendRecord record{time.value, time.timescale, {}, buffer.getBytesPerRow()};
            std::copy(buffer.getBaseAddress(), buffer.getBaseAddress() + 4, record.firstPixel);
            appendLog.push_back(record);
            return failFromFrame < 0 || static_cast<int>(appendLog.size()) <= failFromFrame;
        }
        void recordEncoder(const av::EncoderSettings& settings)
        {
            std::lock_guard<std::mutex> hold(lock);
            encoderLog.push_back(settings);
        }

    private:
        mutable std::mutex lock;
        std::condition_variable changed;
        std::map<std::string, av::AssetFacts> assets;
        std::vector<SeekRecord> seekLog;
        std::deque<std::pair<double, std::function<void(double)>>> pendingSeeks;
        std::vector<float> rateLog;
        std::vector<std::pair<int, float>> volumeLog;
        std::vector<AppendRecord> appendLog;
        std::vector<av::EncoderSettings> encoderLog;
        bool encodingHeld = false;
    };

    class ScriptedSession final : public av::DecodingSession
    {
    public:
        ScriptedSession(ScriptedBackend& owner, const av::AssetFacts& movie) : backend(owner), facts(movie) {}

        void setPixelFormat(av::FourCharCode format) override { pixelFormat = format; }
        void seek(double seconds, double before, double after, std::function<void(double)> done) override
        {
            backend.recordSeek(seconds, before, after, std::move(done));
        }
        void setRate(float rate) override { backend.recordRate(rate); }
        void setAudioVolume(int track, float volume) override { backend.recordVolume(track, volume); }

        std::shared_ptr<av::PixelBuffer> frameForTime(double seconds) override
        {
            const long k = static_cast<long>(std::floor(seconds * facts.nominalFrameRate + 1e-6));
            const int w = static_cast<int>(facts.naturalWidth), h = static_cast<int>(facts.naturalHeight);
            std::shared_ptr<av::PixelBuffer> frame = av::PixelBuffer::create(w, h, pixelFormat.load());
            if (frame == nullptr)
                return nullptr;
            unsigned char* p = frame->getBaseAddress();
            const std::size_t size = frame->getBytesPerRow() * static_cast<std::size_t>(h);
            if (pixelFormat == av::pixelFormat422YpCbCr8)
                for (std::size_t i = 0; i < size; i += 2)
                {
                    p[i] = 128;
                    p[i + 1] = static_cast<unsigned char>(lumaOfFrame(k));
                }
            else if (pixelFormat == av::pixelFormat64ARGB)
                for (std::size_t i = 0; i < size; i += 8)
                {
                    // A, R, G, B big-endian: alpha full, red = k, green = 0x1234, blue = 0xABCD.
                    const std::uint16_t values[4] = {0xFFFF, static_cast<std::uint16_t>(k), 0x1234, 0xABCD};
                    for (int c = 0; c < 4; ++c)
                    {
                        p[i + c * 2] = static_cast<unsigned char>(values[c] >> 8);
                        p[i + c * 2 + 1] = static_cast<unsigned char>(values[c] & 0xFF);
                    }
                }
            frame->frameIndex = k;
            frame->presentationSeconds = k / static_cast<double>(facts.nominalFrameRate);
            return frame;
        }

    private:
        ScriptedBackend& backend;
        av::AssetFacts facts;
        std::atomic<av::FourCharCode> pixelFormat{0};
    };

    class ScriptedAsset final : public av::MediaAsset
    {
    public:
        ScriptedAsset(ScriptedBackend& owner, const av::AssetFacts& movie) : backend(owner), facts(movie) {}
        const av::AssetFacts& getFacts() const override { return facts; }
        std::unique_ptr<av::DecodingSession> createSession() override
        {
            return std::make_unique<ScriptedSession>(backend, facts);
        }
        av::CGImageRef copyImageAtTime(double seconds, double* actual, std::string*) override
        {
            auto image = std::make_shared<av::CGImage>();
            image->width = static_cast<int>(facts.naturalWidth);
            image->height = static_cast<int>(facts.naturalHeight);
            const long k = static_cast<long>(std::floor(seconds * facts.nominalFrameRate + 1e-6));
            image->rgba.assign(static_cast<std::size_t>(image->width) * image->height * 4, 0);
            for (std::size_t i = 0; i < image->rgba.size(); i += 4)
            {
                image->rgba[i] = static_cast<unsigned char>(k);
                image->rgba[i + 3] = 128; // half transparent: premultiplied on the way
            }
            if (actual != nullptr)
                *actual = k / static_cast<double>(facts.nominalFrameRate);
            return image;
        }

    private:
        ScriptedBackend& backend;
        av::AssetFacts facts;
    };

    class ScriptedEncoder final : public av::MovieEncoder
    {
    public:
        ScriptedEncoder(ScriptedBackend& owner, const av::EncoderSettings& encoderSettings)
            : backend(owner), settings(encoderSettings)
        {
        }
        bool start(std::string& error) override
        {
            backend.recordEncoder(settings);
            if (settings.codec == av::fourCharCode("avc1") && (settings.width % 2 != 0 || settings.height % 2 != 0))
            {
                error = "odd sides";
                return false;
            }
            return true;
        }
        bool encode(const av::PixelBuffer& frame, av::CMTime time, std::string& error) override
        {
            if (! backend.recordAppend(frame, time))
            {
                error = "scripted failure";
                return false;
            }
            return true;
        }
        bool finish(std::string&) override { return true; }

    private:
        ScriptedBackend& backend;
        av::EncoderSettings settings;
    };

    inline std::shared_ptr<av::MediaAsset> ScriptedBackend::openAsset(const std::string& path)
    {
        std::lock_guard<std::mutex> hold(lock);
        auto found = assets.find(path);
        if (found == assets.end())
            return nullptr;
        return std::make_shared<ScriptedAsset>(*this, found->second);
    }

    inline std::unique_ptr<av::MovieEncoder> ScriptedBackend::createEncoder(const av::EncoderSettings& settings)
    {
        return std::make_unique<ScriptedEncoder>(*this, settings);
    }
}
