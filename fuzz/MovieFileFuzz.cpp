// Arbitrary bytes as a movie file through the FFmpeg backend: the asset's
// facts, a decoding session with exact and loose seeks and frames in every
// pixel format, and the image generator, never reading or writing out of
// bounds, with every completion delivered or dropped. Decoded frames end
// against an inaccessible page: libswscale is not instrumented, so a
// conversion writing past a frame faults there instead.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "VXFuzzSupport.h"
#include "engine/video/formats/avfoundation/VXAVPlayback.h"
#include "engine/video/formats/avfoundation/VXCoreMedia.h"

namespace
{
    const std::string& path()
    {
        static const std::string file = vx::fuzz::makeScratchFolder("movie") + "/input.mov";
        return file;
    }

    void touchFrame(const std::shared_ptr<vx::av::PixelBuffer>& frame)
    {
        if (frame != nullptr)
            vx::fuzz::touch(frame->getBaseAddress(),
                            frame->getBytesPerRow() * static_cast<std::uint64_t>(frame->getHeight()));
    }
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    vx::av::FrameAllocator::setCurrent(&vx::av::FrameAllocator::getGuarded());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace vx::av;
    vx::fuzz::writeInput(path(), data, size);
    std::shared_ptr<Asset> asset = Asset::assetWithPath(path());
    const std::vector<AssetTrack> tracks = asset->videoTracks();
    if (tracks.empty() || ! asset->isPlayable())
        return 0;
    // Pictures of many megabytes add nothing small ones miss.
    if (tracks.front().naturalWidth * tracks.front().naturalHeight > (1 << 20))
        return 0;

    auto item = std::make_shared<PlayerItem>(asset);
    std::shared_ptr<Player> player = Player::playerWithPlayerItem(item);
    for (FourCharCode format : {pixelFormat422YpCbCr8, pixelFormat64ARGB})
    {
        PlayerItemVideoOutput output(format);
        item->addOutput(&output);
        std::mutex lock;
        std::condition_variable done;
        int completed = 0;
        const double duration = std::min(asset->getDurationSeconds(), 10.0);
        const double targets[] = {0.0, duration / 2.0, duration};
        for (double t : targets)
            player->seekToTime(CMTimeMakeWithSeconds(t, 600), kCMTimeZero, kCMTimeZero,
                               [&](bool)
                               {
                                   std::lock_guard<std::mutex> hold(lock);
                                   ++completed;
                                   done.notify_all();
                               });
        {
            std::unique_lock<std::mutex> hold(lock);
            done.wait_for(hold, std::chrono::seconds(5), [&] { return completed == 3; });
        }
        const CMTime now = player->currentTime();
        if (output.hasNewPixelBufferForItemTime(now))
            touchFrame(output.copyPixelBufferForItemTime(now, nullptr));
        player->seekToTime(CMTimeMakeWithSeconds(duration / 3.0, 600), kCMTimePositiveInfinity, kCMTimeZero);
        player->cancelPendingSeeks();
        item->removeOutput(&output);
    }
    AssetImageGenerator generator(asset);
    std::string error;
    if (CGImageRef image = generator.copyCGImageAtTime(CMTimeMakeWithSeconds(0.0, 600), nullptr, &error))
        vx::fuzz::touch(image->rgba.data(), image->rgba.size());
    return 0;
}
