#include "platform/avfoundation/VXFFmpegGroupDecoder.h"
#include "platform/avfoundation/VXFFmpegPictureStore.h"

extern "C"
{
#include <libavutil/frame.h>
}

#include <algorithm>
#include <deque>
#include <iterator>

namespace vx::av
{
    FFmpegGroupDecoder::FFmpegGroupDecoder(std::size_t budgetBytes) : budget(budgetBytes) {}

    FFmpegGroupDecoder::FFmpegGroupDecoder(FFmpegPictureStore& shared)
        : store(&shared), budget(shared.budgetBytes())
    {
    }

    FFmpegGroupDecoder::~FFmpegGroupDecoder()
    {
        clear();
    }

    long FFmpegGroupDecoder::lowest() const
    {
        return held.empty() ? -1 : held.begin()->first;
    }

    long FFmpegGroupDecoder::highest() const
    {
        return held.empty() ? -1 : held.rbegin()->first;
    }

    const AVFrame* FFmpegGroupDecoder::atOrAbove(long frame, long& index) const
    {
        const auto found = held.lower_bound(frame);
        index = found == held.end() ? -1 : found->first;
        return found == held.end() ? nullptr : found->second;
    }

    const AVFrame* FFmpegGroupDecoder::below(long frame, long& index) const
    {
        auto found = held.lower_bound(frame);
        if (found == held.begin())
        {
            index = -1;
            return nullptr;
        }
        --found;
        index = found->first;
        return found->second;
    }

    void FFmpegGroupDecoder::dropAbove(long frame)
    {
        auto from = held.lower_bound(frame);
        if (from == held.end())
            return;
        for (auto it = std::next(from); it != held.end();)
            it = letGo(it);
    }

    void FFmpegGroupDecoder::release(long frame)
    {
        const auto found = held.find(frame);
        if (found == held.end())
            return;
        letGo(found);
    }

    void FFmpegGroupDecoder::dropBelow(long frame)
    {
        for (auto it = held.begin(); it != held.end() && it->first < frame;)
            it = letGo(it);
    }

    void FFmpegGroupDecoder::clear()
    {
        for (auto it = held.begin(); it != held.end();)
            it = letGo(it);
        bytes = 0;
    }

    std::map<long, AVFrame*>::iterator FFmpegGroupDecoder::letGo(std::map<long, AVFrame*>::iterator picture)
    {
        bytes -= std::min(bytes, bytesOfPicture(*picture->second));
        av_frame_free(&picture->second);
        if (store != nullptr)
            store->letGo(picture->first);
        return held.erase(picture);
    }

    std::size_t FFmpegGroupDecoder::partFrames() const
    {
        // Half the budget: the part shown beside the one decoded ahead. A
        // few frames at least, however large the pictures.
        if (pictureBytes == 0)
            return 8;
        return std::max<std::size_t>(4, budget / 2 / pictureBytes);
    }

    long FFmpegGroupDecoder::nextPartTop() const
    {
        const long bottom = lowest();
        if (bottom <= 0 || held.size() > partFrames())
            return -1;
        return bottom - 1;
    }

    void FFmpegGroupDecoder::adopt(long frame, const AVFrame& picture)
    {
        if (pictureBytes == 0)
            pictureBytes = bytesOfPicture(picture);
        if (held.find(frame) == held.end())
            hold(frame, picture, -1);
    }

    void FFmpegGroupDecoder::hold(long frame, const AVFrame& picture, long previous)
    {
        const AVFrame* shared = store != nullptr ? store->keepHeld(frame, picture, previous) : nullptr;
        AVFrame* kept = av_frame_clone(shared != nullptr ? shared : &picture);
        if (kept == nullptr)
        {
            if (store != nullptr)
                store->letGo(frame);
            return;
        }
        held.emplace(frame, kept);
        bytes += bytesOfPicture(*kept);
        peakBytes = std::max(peakBytes, bytes);
    }

    FFmpegGroupDecoder::Outcome FFmpegGroupDecoder::decodePart(PictureSource& source, long top,
                                                               const std::function<Step(long)>& each)
    {
        if (top < 0 || ! source.seekToRandomAccess(top))
            return Outcome::failed;
        bool any = false;
        long previous = -1;
        // The frames this part holds, oldest first: the part may end at
        // any frame, so the last ones decoded are held as they come.
        std::deque<long> part;
        for (;;)
        {
            const long frame = source.pictureIndex();
            if (frame > top)
                break;
            if (pictureBytes == 0)
                pictureBytes = bytesOfPicture(*source.picture());
            // What is held below the part, held from elsewhere, would leave
            // a gap: the frames held always run on, one after the other.
            if (! any)
                dropBelow(std::max(frame, firstKeptOf(top)));
            any = true;
            // Pictures a part's length below the last one decode only as
            // references of the ones after them.
            while (! part.empty() && part.front() < firstKeptOf(frame))
            {
                release(part.front());
                part.pop_front();
            }
            if (held.find(frame) == held.end())
            {
                hold(frame, *source.picture(), previous);
                if (held.find(frame) != held.end())
                    part.push_back(frame);
            }
            previous = frame;
            const Step step = each(frame);
            if (step == Step::stop)
                return Outcome::stopped;
            // Ended where its caller says, what is held above is passed: let
            // go, so that a part ended short of its top leaves no gap.
            if (step == Step::last)
                dropAbove(frame);
            if (step == Step::last || frame == top || ! source.nextPicture())
                break;
        }
        return any ? Outcome::done : Outcome::failed;
    }
}
