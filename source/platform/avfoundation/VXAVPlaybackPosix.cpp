// Asset, player item, player, video output and image generator over the
// current media backend. The player's clock is the host clock; seeks and
// frames are the backend's.

#include "engine/video/formats/avfoundation/VXAVPlayback.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <map>

namespace vx::av
{
    //==============================================================================
    std::shared_ptr<Asset> Asset::assetWithPath(const std::string& path)
    {
        auto asset = std::make_shared<Asset>();
        asset->media = MediaBackend::getCurrent().openAsset(path);
        if (asset->media != nullptr)
            asset->facts = asset->media->getFacts();
        return asset;
    }

    std::vector<AssetTrack> Asset::videoTracks() const
    {
        if (! facts.hasVideoTrack)
            return {};
        AssetTrack track;
        track.naturalWidth = facts.naturalWidth;
        track.naturalHeight = facts.naturalHeight;
        track.nominalFrameRate = facts.nominalFrameRate;
        track.nominalFrameDuration = facts.nominalFrameDuration;
        if (! track.nominalFrameDuration.valid && std::isfinite(facts.nominalFrameRate) &&
            facts.nominalFrameRate > 0.0f)
            track.nominalFrameDuration = CMTimeMakeWithSeconds(1.0 / facts.nominalFrameRate, 1000000000);
        track.formatDescriptions = facts.videoFormatDescriptions;
        return {track};
    }

    CMTime Asset::getDuration() const
    {
        return CMTimeMakeWithSeconds(facts.durationSeconds, 600);
    }

    //==============================================================================
    PlayerItem::PlayerItem(std::shared_ptr<Asset> itemAsset) : asset(std::move(itemAsset))
    {
        if (asset != nullptr && asset->getMedia() != nullptr && asset->isPlayable())
            session = asset->getMedia()->createSession();
    }

    PlayerItem::~PlayerItem()
    {
        setDidPlayToEndObserver({});
        for (PlayerItemVideoOutput* output : outputs)
            output->attach(nullptr);
        // The session's worker stops here; completions it had not run are dropped.
        session.reset();
    }

    void PlayerItem::setAudioMixVolume(int audioTrack, float volume)
    {
        if (session != nullptr)
            session->setAudioVolume(audioTrack, volume);
    }

    void PlayerItem::addOutput(PlayerItemVideoOutput* output)
    {
        if (output == nullptr || std::find(outputs.begin(), outputs.end(), output) != outputs.end())
            return;
        outputs.push_back(output);
        output->attach(this);
        if (session != nullptr)
            session->setPixelFormat(output->getPixelFormat());
    }

    void PlayerItem::removeOutput(PlayerItemVideoOutput* output)
    {
        auto found = std::find(outputs.begin(), outputs.end(), output);
        if (found == outputs.end())
            return;
        outputs.erase(found);
        output->attach(nullptr);
    }

    void PlayerItem::setDidPlayToEndObserver(std::function<void()> observer)
    {
        // Taken while a notification runs: a removed observer is never called.
        std::lock_guard<std::recursive_mutex> hold(observerLock);
        didPlayToEnd = std::move(observer);
    }

    void PlayerItem::postDidPlayToEnd()
    {
        std::lock_guard<std::recursive_mutex> hold(observerLock);
        if (didPlayToEnd)
            didPlayToEnd();
    }

    //==============================================================================
    struct Player::State
    {
        std::mutex lock;
        float rate = 0.0f;
        double anchorSeconds = 0.0, anchorHostSeconds = 0.0;
        double durationSeconds = 0.0;
        bool endPosted = false;
        ActionAtItemEnd actionAtItemEnd = actionPause;
        // Wakes the end watcher: a new anchor or rate, or the player going.
        std::condition_variable wake;
        bool stopping = false;

        // Held while a completion runs, so cancelling waits for it; recursive
        // because a completion may seek again.
        std::recursive_mutex completionLock;
        std::map<std::uint64_t, std::function<void(bool)>> pendingSeeks;
        std::uint64_t nextSeekId = 1;

        double timeLocked(double hostSeconds) const
        {
            const double t = anchorSeconds + rate * (hostSeconds - anchorHostSeconds);
            return std::clamp(t, 0.0, std::max(durationSeconds, 0.0));
        }

        void reanchorLocked(double seconds, double hostSeconds)
        {
            anchorSeconds = std::clamp(seconds, 0.0, std::max(durationSeconds, 0.0));
            anchorHostSeconds = hostSeconds;
            endPosted = false;
            wake.notify_all();
        }
    };

    std::shared_ptr<Player> Player::playerWithPlayerItem(std::shared_ptr<PlayerItem> item)
    {
        if (item == nullptr)
            return nullptr;
        return std::shared_ptr<Player>(new Player(std::move(item)));
    }

    Player::Player(std::shared_ptr<PlayerItem> playerItem)
        : item(std::move(playerItem)), state(std::make_shared<State>())
    {
        state->durationSeconds = item->getAsset()->getDurationSeconds();
        state->anchorHostSeconds = CACurrentMediaTime();
        item->setPlayer(this);
    }

    Player::~Player()
    {
        {
            std::lock_guard<std::mutex> hold(state->lock);
            state->stopping = true;
            state->wake.notify_all();
        }
        if (endWatcher.joinable())
        {
            // An end observer may drop the last reference on the watcher itself.
            if (endWatcher.get_id() == std::this_thread::get_id())
                endWatcher.detach();
            else
                endWatcher.join();
        }
        cancelPendingSeeks();
        item->setPlayer(nullptr);
    }

    Player::Status Player::getStatus() const
    {
        return item->getStatus() == PlayerItem::statusReadyToPlay ? statusReadyToPlay : statusFailed;
    }

    void Player::setActionAtItemEnd(ActionAtItemEnd action)
    {
        std::lock_guard<std::mutex> hold(state->lock);
        state->actionAtItemEnd = action;
    }

    float Player::getRate() const
    {
        std::lock_guard<std::mutex> hold(state->lock);
        return state->rate;
    }

    void Player::setRate(float newRate)
    {
        {
            std::lock_guard<std::mutex> hold(state->lock);
            const double now = CACurrentMediaTime();
            state->reanchorLocked(state->timeLocked(now), now);
            state->rate = newRate;
            if (newRate > 0.0f && ! endWatcher.joinable() && ! state->stopping)
                endWatcher = std::thread([this] { watchForEnd(); });
        }
        if (DecodingSession* session = item->getSession())
            session->setRate(newRate);
    }

    double Player::secondsAtHostTime(double hostSeconds)
    {
        bool reachedEnd = false;
        double t = 0.0;
        {
            std::lock_guard<std::mutex> hold(state->lock);
            t = state->timeLocked(hostSeconds);
            if (state->rate > 0.0f && state->durationSeconds > 0.0 && t >= state->durationSeconds && ! state->endPosted)
            {
                state->endPosted = true;
                reachedEnd = true;
                if (state->actionAtItemEnd == actionPause)
                {
                    state->reanchorLocked(t, hostSeconds);
                    state->endPosted = true;
                    state->rate = 0.0f;
                }
            }
        }
        // Outside the lock: the observer seeks or changes the rate.
        if (reachedEnd)
            item->postDidPlayToEnd();
        return t;
    }

    void Player::watchForEnd()
    {
        // The state outlives a player dropped by an end observer on this thread.
        const std::shared_ptr<State> watched = state;
        std::unique_lock<std::mutex> hold(watched->lock);
        while (! watched->stopping)
        {
            if (watched->rate <= 0.0f || watched->durationSeconds <= 0.0 || watched->endPosted)
            {
                watched->wake.wait(hold);
                continue;
            }
            if (HostClock::isSetByHand())
            {
                watched->wake.wait_for(hold, std::chrono::milliseconds(50));
                continue;
            }
            const double now = CACurrentMediaTime();
            const double left = (watched->durationSeconds - watched->timeLocked(now)) / watched->rate;
            if (left > 0.0)
            {
                watched->wake.wait_for(hold, std::chrono::duration<double>(std::min(left, 0.5)));
                continue;
            }
            // Posts the end, outside the lock.
            hold.unlock();
            secondsAtHostTime(now);
            hold.lock();
        }
    }

    double Player::currentSeconds()
    {
        return secondsAtHostTime(CACurrentMediaTime());
    }

    CMTime Player::currentTime()
    {
        return CMTimeMakeWithSeconds(currentSeconds(), 1000000000);
    }

    void Player::seekToTime(CMTime time, CMTime toleranceBefore, CMTime toleranceAfter,
                            std::function<void(bool finished)> completion)
    {
        const double target = CMTimeGetSeconds(time);
        std::uint64_t id = 0;
        {
            std::lock_guard<std::recursive_mutex> hold(state->completionLock);
            id = state->nextSeekId++;
            state->pendingSeeks[id] = std::move(completion);
        }
        {
            std::lock_guard<std::mutex> hold(state->lock);
            state->reanchorLocked(target, CACurrentMediaTime());
        }
        DecodingSession* session = item->getSession();
        if (session == nullptr)
        {
            std::function<void(bool)> done;
            {
                std::lock_guard<std::recursive_mutex> hold(state->completionLock);
                done = std::move(state->pendingSeeks[id]);
                state->pendingSeeks.erase(id);
            }
            if (done)
                done(false);
            return;
        }
        std::weak_ptr<State> weakState = state;
        session->seek(target, CMTimeGetSeconds(toleranceBefore), CMTimeGetSeconds(toleranceAfter),
                      [weakState, id](double reached)
                      {
                          std::shared_ptr<State> seekState = weakState.lock();
                          if (seekState == nullptr)
                              return;
                          std::lock_guard<std::recursive_mutex> hold(seekState->completionLock);
                          auto found = seekState->pendingSeeks.find(id);
                          if (found == seekState->pendingSeeks.end())
                              return; // cancelled
                          std::function<void(bool)> done = std::move(found->second);
                          seekState->pendingSeeks.erase(found);
                          {
                              // Play resumes from where the seek landed.
                              std::lock_guard<std::mutex> holdTime(seekState->lock);
                              seekState->reanchorLocked(reached, CACurrentMediaTime());
                          }
                          if (done)
                              done(true);
                      });
    }

    void Player::cancelPendingSeeks()
    {
        std::map<std::uint64_t, std::function<void(bool)>> cancelled;
        {
            std::lock_guard<std::recursive_mutex> hold(state->completionLock);
            cancelled.swap(state->pendingSeeks);
        }
        for (auto& entry : cancelled)
            if (entry.second)
                entry.second(false);
    }

    //==============================================================================
    PlayerItemVideoOutput::PlayerItemVideoOutput(FourCharCode format) : pixelFormat(format)
    {
    }

    PlayerItemVideoOutput::~PlayerItemVideoOutput()
    {
        PlayerItem* attached = nullptr;
        {
            std::lock_guard<std::mutex> hold(lock);
            attached = item;
        }
        // The item must not keep a pointer to a dead output.
        if (attached != nullptr)
            attached->removeOutput(this);
    }

    void PlayerItemVideoOutput::attach(PlayerItem* playerItem)
    {
        std::lock_guard<std::mutex> hold(lock);
        item = playerItem;
        lastCopiedFrame = -1;
    }

    CMTime PlayerItemVideoOutput::itemTimeForHostTime(double hostSeconds) const
    {
        PlayerItem* attached = nullptr;
        {
            std::lock_guard<std::mutex> hold(const_cast<std::mutex&>(lock));
            attached = item;
        }
        Player* player = attached != nullptr ? attached->getPlayer() : nullptr;
        if (player == nullptr)
            return kCMTimeZero;
        return CMTimeMakeWithSeconds(player->secondsAtHostTime(hostSeconds), 1000000000);
    }

    bool PlayerItemVideoOutput::hasNewPixelBufferForItemTime(CMTime itemTime)
    {
        std::lock_guard<std::mutex> hold(lock);
        DecodingSession* session = item != nullptr ? item->getSession() : nullptr;
        if (session == nullptr)
            return false;
        std::shared_ptr<PixelBuffer> frame = session->frameForTime(CMTimeGetSeconds(itemTime));
        return frame != nullptr && frame->frameIndex != lastCopiedFrame;
    }

    std::shared_ptr<PixelBuffer> PlayerItemVideoOutput::copyPixelBufferForItemTime(CMTime itemTime, CMTime* displayTime)
    {
        std::lock_guard<std::mutex> hold(lock);
        DecodingSession* session = item != nullptr ? item->getSession() : nullptr;
        if (session == nullptr)
            return nullptr;
        std::shared_ptr<PixelBuffer> frame = session->frameForTime(CMTimeGetSeconds(itemTime));
        if (frame == nullptr)
            return nullptr;
        lastCopiedFrame = frame->frameIndex;
        if (displayTime != nullptr)
            *displayTime = CMTimeMakeWithSeconds(frame->presentationSeconds, 1000000000);
        return frame;
    }

    //==============================================================================
    namespace
    {
        // The image turned by the transform's quarter turns and mirrorings,
        // its translation dropped (the turned picture starts at the origin);
        // the image itself for any other transform.
        CGImageRef transformed(const CGImageRef& image, const CGAffineTransform& t)
        {
            const auto unit = [](double v, int& to)
            {
                to = static_cast<int>(std::lround(v));
                return std::abs(v - to) < 1e-3 && std::abs(to) <= 1;
            };
            int a = 0, b = 0, c = 0, d = 0;
            if (! unit(t.a, a) || ! unit(t.b, b) || ! unit(t.c, c) || ! unit(t.d, d))
                return image;
            const bool straight = b == 0 && c == 0 && a != 0 && d != 0;
            const bool quarter = a == 0 && d == 0 && b != 0 && c != 0;
            if ((! straight && ! quarter) || (a == 1 && d == 1))
                return image;
            const int w = image->width, h = image->height;
            auto turned = std::make_shared<CGImage>();
            turned->width = quarter ? h : w;
            turned->height = quarter ? w : h;
            turned->rgba.resize(static_cast<std::size_t>(w) * h * 4);
            // Pixel centres map in doubled coordinates, shifted so the
            // picture's corners land at 0 and at the turned size.
            const int left = std::min(0, 2 * a * w) + std::min(0, 2 * c * h);
            const int top = std::min(0, 2 * b * w) + std::min(0, 2 * d * h);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                {
                    const int toX = (a * (2 * x + 1) + c * (2 * y + 1) - left) / 2;
                    const int toY = (b * (2 * x + 1) + d * (2 * y + 1) - top) / 2;
                    std::memcpy(&turned->rgba[(static_cast<std::size_t>(toY) * turned->width + toX) * 4],
                                &image->rgba[(static_cast<std::size_t>(y) * w + x) * 4], 4);
                }
            return turned;
        }
    }

    CGImageRef AssetImageGenerator::copyCGImageAtTime(CMTime time, CMTime* actualTime, std::string* error)
    {
        if (asset == nullptr || asset->getMedia() == nullptr)
        {
            if (error != nullptr)
                *error = "no movie";
            return nullptr;
        }
        double actual = 0.0;
        CGImageRef image = asset->getMedia()->copyImageAtTime(CMTimeGetSeconds(time), &actual, error);
        if (image != nullptr && actualTime != nullptr)
            *actualTime = CMTimeMakeWithSeconds(actual, 600);
        if (image != nullptr && appliesPreferredTrackTransform &&
            image->rgba.size() >= static_cast<std::size_t>(image->width) * image->height * 4)
            image = transformed(image, asset->getFacts().preferredTransform);
        return image;
    }
}
