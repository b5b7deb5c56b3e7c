#include "platform/avfoundation/VXFFmpegPictureStore.h"

extern "C"
{
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
}

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <iterator>

namespace vx::av
{
    std::size_t bytesOfPicture(const AVFrame& picture)
    {
        std::size_t total = 0;
        for (const AVBufferRef* buffer : picture.buf)
            if (buffer != nullptr)
                total += buffer->size;
        for (int i = 0; i < picture.nb_extended_buf; ++i)
            total += picture.extended_buf[i]->size;
        if (total == 0)
        {
            const int size =
                av_image_get_buffer_size(static_cast<AVPixelFormat>(picture.format), picture.width, picture.height, 1);
            total = size > 0 ? static_cast<std::size_t>(size) : 0;
        }
        return std::max<std::size_t>(total, 1);
    }

    namespace
    {
        std::size_t sizeOfConverted(const PixelBuffer& buffer)
        {
            return buffer.getBytesPerRow() * static_cast<std::size_t>(buffer.getHeight());
        }
    }

    namespace
    {
        std::atomic<std::size_t> allStoresBytes{0}, allStoresMost{0};
        std::atomic<std::size_t> newStoresBudget{FFmpegPictureStore::defaultBudgetBytes};
    }

    FFmpegPictureStore::FFmpegPictureStore() : budget(newStoresBudget.load()) {}

    FFmpegPictureStore::FFmpegPictureStore(std::size_t budgetBytes) : budget(budgetBytes) {}

    std::size_t FFmpegPictureStore::heldByAllStores()
    {
        return allStoresBytes.load();
    }

    std::size_t FFmpegPictureStore::mostHeldByAllStores()
    {
        return allStoresMost.load();
    }

    void FFmpegPictureStore::resetMostHeldByAllStores()
    {
        allStoresMost.store(allStoresBytes.load());
    }

    void FFmpegPictureStore::setBudgetOfNewStores(std::size_t budgetBytes)
    {
        newStoresBudget.store(budgetBytes);
    }

    void FFmpegPictureStore::publish()
    {
        // Unsigned: a store holding less adds the difference's wrap-around.
        const std::size_t now = footprint();
        const std::size_t all = (allStoresBytes += now - published);
        published = now;
        for (std::size_t most = allStoresMost.load(); all > most && ! allStoresMost.compare_exchange_weak(most, all);)
        {
        }
    }

    FFmpegPictureStore::~FFmpegPictureStore()
    {
        clear();
    }

    void FFmpegPictureStore::keep(long frame, const AVFrame& picture, long previous)
    {
        add(frame, picture, previous, false);
    }

    const AVFrame* FFmpegPictureStore::keepHeld(long frame, const AVFrame& picture, long previous)
    {
        return add(frame, picture, previous, true);
    }

    const AVFrame* FFmpegPictureStore::add(long frame, const AVFrame& picture, long previous, bool held)
    {
        if (frame < 0)
            return nullptr;
        auto found = kept.find(frame);
        if (found != kept.end())
        {
            // Decoded again: what came before it may be learnt now. The
            // picture kept stays (a holder shares that one).
            if (found->second.previous < 0 && previous < frame)
                found->second.previous = previous;
            found->second.held = found->second.held || held;
            return found->second.picture;
        }
        AVFrame* reference = av_frame_clone(&picture);
        if (reference == nullptr)
            return nullptr;
        const std::size_t size = bytesOfPicture(*reference);
        kept.emplace(frame, Kept{reference, previous < frame ? previous : -1, size, nullptr, held});
        pictures += size;
        highest = std::max(highest, frame);
        trim();
        const auto still = kept.find(frame);
        return still != kept.end() ? still->second.picture : nullptr;
    }

    void FFmpegPictureStore::letGo(long frame)
    {
        if (const auto found = kept.find(frame); found != kept.end() && found->second.held)
        {
            found->second.held = false;
            trim();
        }
    }

    const AVFrame* FFmpegPictureStore::find(long frame) const
    {
        const auto found = kept.find(frame);
        return found == kept.end() ? nullptr : found->second.picture;
    }

    std::shared_ptr<PixelBuffer> FFmpegPictureStore::findConverted(long frame, FourCharCode pixelFormat) const
    {
        const auto found = kept.find(frame);
        if (found == kept.end() || found->second.converted == nullptr ||
            found->second.converted->getPixelFormat() != pixelFormat)
            return nullptr;
        return found->second.converted;
    }

    void FFmpegPictureStore::keepConverted(long frame, std::shared_ptr<PixelBuffer> converted)
    {
        const auto found = kept.find(frame);
        if (found == kept.end() || converted == nullptr)
            return;
        Kept& entry = found->second;
        const std::size_t before = entry.converted != nullptr ? sizeOfConverted(*entry.converted) : 0;
        conversions = conversions - before + sizeOfConverted(*converted);
        entry.converted = std::move(converted);
        trim();
    }

    const AVFrame* FFmpegPictureStore::atOrAbove(long frame, long& index) const
    {
        const auto found = kept.lower_bound(frame);
        index = found == kept.end() ? -1 : found->first;
        return found == kept.end() ? nullptr : found->second.picture;
    }

    const AVFrame* FFmpegPictureStore::atOrBelow(long frame, long& index) const
    {
        const auto above = kept.upper_bound(frame);
        if (above == kept.begin())
        {
            index = -1;
            return nullptr;
        }
        const auto found = std::prev(above);
        index = found->first;
        return found->second.picture;
    }

    const AVFrame* FFmpegPictureStore::after(long frame, long& index) const
    {
        const auto found = kept.upper_bound(frame);
        if (found == kept.end() || found->second.previous != frame)
        {
            index = -1;
            return nullptr;
        }
        index = found->first;
        return found->second.picture;
    }

    long FFmpegPictureStore::keptBefore(long frame) const
    {
        const auto found = kept.find(frame);
        if (found == kept.end() || found == kept.begin() || std::prev(found)->first != found->second.previous)
            return -1;
        return found->second.previous;
    }

    bool FFmpegPictureStore::coversDownwards(long frame) const
    {
        const auto found = kept.lower_bound(frame);
        if (found == kept.end())
            return false;
        return found->first == frame || (found->second.previous >= 0 && found->second.previous < frame);
    }

    void FFmpegPictureStore::setWay(long headFrame, int wayDirection, long wrapFromFrame)
    {
        head = headFrame;
        direction = wayDirection;
        wrapFrom = wrapFromFrame;
    }

    long FFmpegPictureStore::wayEnd() const
    {
        const auto at = kept.upper_bound(head);
        if (at == kept.begin())
            return head;
        long end = std::prev(at)->first, next = -1;
        while (after(end, next) != nullptr)
            end = next;
        return end;
    }

    std::pair<int, long> FFmpegPictureStore::dropRank(long frame, long aheadTo) const
    {
        // Behind the way (rank 1) before ahead of it (rank 0); the farther,
        // the sooner. Going forwards, the way ends with the run decoded on
        // from the play head: what an earlier pass left beyond it goes by
        // its distance, as what lies behind does.
        if (direction > 0)
            return {frame < head || frame > aheadTo ? 1 : 0, std::labs(frame - head)};
        if (direction < 0)
        {
            if (wrapFrom >= 0 && frame >= wrapFrom && frame > head)
                return {0, head + 1 + (highest - frame)};
            return frame > head ? std::pair{1, frame - head} : std::pair{0, head - frame};
        }
        return {0, frame > head ? frame - head : head - frame};
    }

    void FFmpegPictureStore::trim()
    {
        // The decoder's pool keeps the memory of the most pictures kept at
        // once for its next ones: a picture below that costs nothing more,
        // and a conversion only has the room beside it.
        const long aheadTo = direction > 0 ? wayEnd() : 0;
        while (footprint() > budget)
        {
            const bool picturesGo = pictures > picturesMost;
            auto victim = kept.end();
            std::pair<int, long> worst{-1, 0};
            for (auto it = kept.begin(); it != kept.end(); ++it)
                if (const std::pair<int, long> rank = dropRank(it->first, aheadTo);
                    rank > worst && ((picturesGo && ! it->second.held) || it->second.converted != nullptr))
                {
                    worst = rank;
                    victim = it;
                }
            if (victim == kept.end())
                break;
            Kept& entry = victim->second;
            if (entry.converted != nullptr)
                conversions -= std::min(conversions, sizeOfConverted(*entry.converted));
            entry.converted.reset();
            if (picturesGo && ! entry.held)
            {
                pictures -= std::min(pictures, entry.bytes);
                av_frame_free(&entry.picture);
                kept.erase(victim);
            }
        }
        picturesMost = std::max(picturesMost, pictures);
        peakBytes = std::max(peakBytes, footprint());
        publish();
    }

    void FFmpegPictureStore::clear()
    {
        for (auto& entry : kept)
            av_frame_free(&entry.second.picture);
        kept.clear();
        pictures = conversions = picturesMost = 0;
        highest = -1;
        publish();
    }
}
