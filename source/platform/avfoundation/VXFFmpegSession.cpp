#include "platform/avfoundation/VXFFmpegSession.h"

#include <algorithm>
#include <cmath>

namespace vx::av::ffmpeg
{
    FFmpegSession::FFmpegSession(std::unique_ptr<Decoder> opened, bool intraOnly, long movieLastFrame)
        : decoder(std::move(opened)), reverseBySeeks(intraOnly), reverseByGroups(! intraOnly), lastFrame(movieLastFrame)
    {
        decoder->abandon = &abandonRunning;
        // Runs on the worker, the only one to touch the store.
        decoder->onPicture = [this](const AVFrame& picture, long index, long previous)
        {
            store.keep(index, picture, previous);
            runningAt = index;
            const long at = abandonAt.load();
            if (at >= 0 && index >= at)
                abandonRunning = true;
        };
        worker = std::thread([this] { run(); });
    }

    FFmpegSession::~FFmpegSession()
    {
        {
            std::lock_guard<std::mutex> hold(lock);
            stopping = true;
        }
        changed.notify_all();
        worker.join();
    }

    void FFmpegSession::landedFromStore(long frame)
    {
        landedIndex = frame;
        decoderAway = true;
        awayFrom = frame;
    }

    void FFmpegSession::tellWorker()
    {
        // Until the worker has looked at what it was told, it is not idle.
        groupsIdle = false;
        changed.notify_all();
    }

    void FFmpegSession::setPixelFormat(FourCharCode format)
    {
        std::lock_guard<std::mutex> hold(lock);
        if (pixelFormat == format)
            return;
        pixelFormat = format;
        queue.clear();
        landedFrame.reset();
        // Frames so far were in the old format: decode again from the play head.
        seeks.push_back({std::max(0.0, requested / decoder->fps), 0.0, 0.0, {}, false, {}});
        tellWorker();
    }

    void FFmpegSession::seek(double seconds, double before, double after, std::function<void(double)> done)
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
        toldSinceSeek = -1;
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
        // A frame whose conversion is kept lands here and now: a
        // reader asking for it next takes it, whatever the worker is
        // busy with.
        if (! inQueue && exact && landsAtOnce(incoming, target))
            inQueue = true;
        else if (! inQueue)
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
            abandonAt = -1;
            if (running >= 0 && (runningGroupLeft || (target < running && ! isOnTheWay(running, target))))
            {
                // In its group, a frame its decoding has yet to pass
                // (the hand moving down while the group decodes): it
                // is given up there, and this one lands from the
                // store.
                if (! runningGroupLeft && target > runningAt.load())
                    abandonAt = target;
                else
                    abandonRunning = true;
            }
        }
        seeks.push_back(std::move(incoming));
        tellWorker();
    }

    void FFmpegSession::setRate(float newRate)
    {
        std::lock_guard<std::mutex> hold(lock);
        if ((reverseBySeeks || reverseByGroups) && (newRate < 0.0f) != (rate < 0.0f))
        {
            // Forwards the decoder goes on from the play head (or a
            // seek waiting, or one the worker has taken: a turn's own,
            // whose frame may be queued already), not from the last
            // frame read backwards. The queue runs the other way now,
            // but for the frame of a turn's seek landed when asked.
            const bool fromSeekInHand = newRate >= 0.0f && forwardSeekInHand;
            const bool fromSeekLanded = newRate >= 0.0f && ! seeks.empty() && seeks.back().queued;
            if (! fromSeekInHand && ! fromSeekLanded)
                queue.clear();
            if (newRate >= 0.0f && seeks.empty() && ! fromSeekInHand)
                seeks.push_back({std::max(0.0, requested / decoder->fps), 0.0, 0.0, {}, false, {}});
        }
        rate = newRate;
        wrapTried = false;
        tellWorker();
    }

    void FFmpegSession::setPictureWay(long from, int direction)
    {
        std::lock_guard<std::mutex> hold(lock);
        wayFrom = from;
        wayDirection = direction;
    }

    void FFmpegSession::setFollowsHand(bool follows)
    {
        std::lock_guard<std::mutex> hold(lock);
        followsHand = follows;
    }

    std::shared_ptr<PixelBuffer> FFmpegSession::frameForTime(double seconds)
    {
        std::lock_guard<std::mutex> hold(lock);
        const long target = decoder->indexOf(seconds);
        requested = static_cast<double>(target);
        std::shared_ptr<PixelBuffer> shown;
        if (playsBackwardsByGroups())
        {
            toldSinceSeek = target;
            // The queue runs down from the frame nearest at or above
            // the play head: none below it shows.
            while (queue.size() > 1 && queue[1]->frameIndex >= target)
                queue.pop_front();
            if (! queue.empty() && queue.front()->frameIndex >= target)
                shown = queue.front();
            else
                queue.clear(); // the play head moved up past them
            tellWorker();
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
            tellWorker();
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
        tellWorker();
        return shown;
    }

    bool FFmpegSession::decodesOnTo(double seconds)
    {
        std::lock_guard<std::mutex> hold(lock);
        const long target = decoder->indexOf(seconds);
        return running >= 0 && running < target && ! runningGroupLeft && ! abandonRunning.load() &&
               abandonAt.load() < 0 && decoder->inOneGroup(running, target);
    }

    bool FFmpegSession::isDecodingToward(double seconds)
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
            toldSinceSeek = target;
            while (queue.size() > 1 && queue[1]->frameIndex >= target)
                queue.pop_front();
            if (! queue.empty() && queue.front()->frameIndex == target)
                return false;
            if (! queue.empty() && queue.front()->frameIndex < target)
                queue.clear();
            // Told something new, the worker looks again.
            if (moved || queue.size() != queued)
                tellWorker();
            // Idle as the worker saw it last, which may not have looked
            // since: work due now counts too.
            return ! groupsIdle || wantsGroupWork();
        }
        // A caller's seek is the caller's to wait for; the session's own
        // (decoding again from the play head once opened or turned
        // forwards) brings the frame as forward play does.
        const bool awaitedSeek = (running >= 0 && runningAwaited) ||
                                 std::any_of(seeks.begin(), seeks.end(), [](const Seek& s) { return s.awaited(); });
        if (awaitedSeek || ! playsForwards() || ended || pixelFormat == 0)
            return false;
        const long target = decoder->indexOf(seconds);
        if (std::any_of(queue.begin(), queue.end(),
                        [target](const auto& frame) { return frame->frameIndex >= target; }))
            return false;
        return decodingOn || running >= 0 || ! seeks.empty() || wantsMore();
    }

    std::shared_ptr<PixelBuffer> FFmpegSession::lastLandedFrame(unsigned long& count)
    {
        std::lock_guard<std::mutex> hold(lock);
        count = landings;
        return landedFrame;
    }

    void FFmpegSession::run()
    {
        std::unique_lock<std::mutex> hold(lock);
        for (;;)
        {
            forwardSeekInHand = false;
            changed.wait(hold,
                         [this]
                         {
                             const bool due = stopping || ! seeks.empty() || wantsMore();
                             groupsIdle = ! due && usesGroups();
                             return due || warmsMemory();
                         });
            if (stopping)
                return;
            if (seeks.empty() && ! wantsMore())
            {
                // Nothing else to do: a large page at a time, so that a
                // request waits little.
                hold.unlock();
                // As many pictures as the movie has, and the decoder's own.
                const auto pictures = static_cast<std::size_t>(std::max(lastFrame, 0L)) + 8;
                const bool more = decoder->warmPictureMemory(store.budgetBytes(), pictures);
                hold.lock();
                memoryWarm = ! more;
                continue;
            }
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
                forwardSeekInHand = true;
                if (next.queued)
                {
                    requested = static_cast<double>(decoder->indexOf(next.seconds));
                    // Landed from the store: forward play goes on
                    // from there, whatever landed meanwhile.
                    if (next.fromStore)
                        landedFromStore(decoder->indexOf(next.seconds));
                    hold.unlock();
                    next.complete(next.seconds);
                    hold.lock();
                    continue;
                }
                if (landKeptSeek(hold, next))
                    continue;
                const FourCharCode format = pixelFormat;
                running = decoder->indexOf(next.seconds);
                runningAwaited = next.awaited();
                const bool fromKeyFrame = ! decoder->decodesOnTo(running);
                runningAt = fromKeyFrame ? decoder->keyFrameAtOrBefore(running) - 1 : decoder->pictureIndex();
                abandonAt = -1;
                decoderAway = false;
                abandonRunning = false;
                runningGroupLeft = false;
                const unsigned long atOnce = landedAtOnce;
                const bool exact = next.before == 0.0;
                if (exact && fromKeyFrame && followsHand && format != 0 && decoder->hasKeyFrameIndex())
                    bringStandIn(hold, running, atOnce);
                hold.unlock();
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
                const bool givenUp = decoder->abandoned || runningGroupLeft || atOnce != landedAtOnce;
                running = -1;
                abandonAt = -1;
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
            const unsigned long atOnce = landedAtOnce;
            hold.unlock();
            std::shared_ptr<PixelBuffer> decoded;
            bool more = true;
            if (kept != nullptr)
                decoded = convertKept(*kept, keptIndex, format);
            else
            {
                more = resumes ? decoder->seek(static_cast<double>(resumeAt) / decoder->fps, true) : decoder->next();
                if (more)
                    decoded = keepConversion(decoder->convert(format));
            }
            hold.lock();
            decodingOn = false;
            // A seek landed meanwhile: forward play goes on from its frame.
            if (atOnce != landedAtOnce)
                continue;
            if (kept != nullptr)
                awayFrom = keptIndex;
            else
                decoderAway = false;
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

    bool FFmpegSession::isOnTheWay(long frame, long target) const
    {
        if (wayFrom >= 0 && wayDirection > 0)
            return wayFrom <= frame && frame <= target;
        if (wayFrom >= 0 && wayDirection < 0)
            return target <= frame && frame <= wayFrom;
        return std::min(landedIndex, target) <= frame && frame <= std::max(landedIndex, target);
    }

    bool FFmpegSession::usesGroups() const
    {
        return reverseByGroups && pixelFormat != 0 && (rate < 0.0f || (rate == 0.0f && followsBackwards));
    }

    void FFmpegSession::seekByGroups(std::unique_lock<std::mutex>& hold, Seek next)
    {
        const long target = decoder->indexOf(next.seconds);
        std::optional<Seek> current(std::move(next));
        // Played backwards, the play head may have moved on down from the
        // seek's frame while the seek waited (behind one of forward play,
        // say): it lands where the play head was told last, not above it.
        const long head = rate < 0.0f && 0 <= toldSinceSeek && toldSinceSeek < target ? toldSinceSeek : target;
        requested = static_cast<double>(head);
        queue.clear();
        // Dropped with the seek asked before.
        abandonRunning = false;
        adoptFromStore(head);
        if (landHeldSeek(hold, current, target))
        {
            // The frames above the one landed on are passed (followed
            // by seeks, no play lets them go): the part below is due
            // once what is held leaves room for it.
            groups.dropAbove(static_cast<long>(requested));
            return;
        }
        groups.dropAbove(target);
        // The part ends at the frame, or where the decoding on its way
        // up meets the play head (or a newer seek) coming down; the
        // seek lands on the frame nearest at or above the play head then.
        const FFmpegGroupDecoder::Outcome outcome = decodeGroupPart(hold, target, &current);
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

    bool FFmpegSession::landHeldSeek(std::unique_lock<std::mutex>& hold, std::optional<Seek>& current,
                                     long currentTarget)
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
        const unsigned long atOnce = landedAtOnce;
        hold.unlock();
        std::shared_ptr<PixelBuffer> landed = convertKept(*picture, index, format);
        hold.lock();
        if (handedOn(landing, atOnce))
            return true;
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

    FFmpegGroupDecoder::Outcome FFmpegSession::decodeGroupPart(std::unique_lock<std::mutex>& hold, long top,
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
            // Also one asked while the last landing's frame was converted.
            while (goOn && landHeldSeek(hold, seekUnderWay, top))
                continue;
            // A seek still waiting goes on with the part only when
            // its frame comes with it or on the way to it (it lands
            // from the store).
            long meets = static_cast<long>(requested);
            if (goOn && ! seeks.empty())
            {
                const Seek& newest = seeks.back();
                const long wanted = decoder->indexOf(newest.seconds);
                meets = wanted;
                const long reach = rate < 0.0f ? std::max(top, startHead) : top;
                long held = -1;
                groups.atOrAbove(wanted, held);
                goOn = newest.backwards && wanted <= reach && (wanted > decoded || held == wanted);
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
            // Met the play head (or the frame the seeks landed on, or
            // that of one asked while the last landed, held: it lands
            // next): what lies above it is passed, and what the part
            // holds below it shows while the next part decodes.
            const bool met = goOn && ! seekUnderWay.has_value() && decoded >= meets;
            hold.unlock();
            return ! goOn ? FFmpegGroupDecoder::Step::stop
                   : met  ? FFmpegGroupDecoder::Step::last
                          : FFmpegGroupDecoder::Step::more;
        };
        hold.unlock();
        const FFmpegGroupDecoder::Outcome outcome = groups.decodePart(*decoder, top, each);
        hold.lock();
        tellStoreTheWay();
        return outcome;
    }

    bool FFmpegSession::topUpQueue(std::unique_lock<std::mutex>& hold, long partTop, long decodedTo)
    {
        if (queue.size() >= 4)
            return false;
        long index = -1;
        const long head = static_cast<long>(requested);
        const AVFrame* picture = nextForQueue(index);
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

    const AVFrame* FFmpegSession::nextForQueue(long& index) const
    {
        if (queue.empty())
            return groups.atOrAbove(static_cast<long>(requested), index);
        const long lowest = queue.back()->frameIndex;
        const AVFrame* picture = groups.below(lowest, index);
        // Below a frame landed above all held (a turn's, from the store)
        // the frames between come first, unless the play head has passed
        // them.
        if (picture != nullptr && lowest > groups.highest() && index < static_cast<long>(requested) &&
            index != lowest - 1 && store.keptBefore(lowest) != index)
        {
            index = -1;
            return nullptr;
        }
        return picture;
    }

    long FFmpegSession::groupPartDue() const
    {
        const long head = static_cast<long>(requested);
        long above = -1;
        groups.atOrAbove(head, above);
        // Backwards a part asked for at the play head ends lower, where
        // the decoding meets it; never a part the play head has left.
        long top = groups.nextPartTop();
        if (above < 0 || (rate < 0.0f && groups.lowest() > head) || (rate < 0.0f && top > head))
            top = head;
        return top >= 0 && top != groupUnreadable ? top : -1;
    }

    bool FFmpegSession::wantsGroupWork() const
    {
        if (! seeks.empty())
            return false;
        if (wrapIsDue())
            return true;
        if (rate < 0.0f)
        {
            long index = -1;
            if (queue.size() < 4 && nextForQueue(index) != nullptr)
                return true;
        }
        return groupPartDue() >= 0;
    }

    void FFmpegSession::workOnGroups(std::unique_lock<std::mutex>& hold)
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
        if (adoptPartBelow(top))
            return;
        const FFmpegGroupDecoder::Outcome outcome = decodeGroupPart(hold, top, nullptr);
        // Nothing decodes there, or the movie ends before it: not
        // tried again until another part is due.
        long held = -1;
        groups.atOrAbove(top, held);
        if (outcome == FFmpegGroupDecoder::Outcome::failed ||
            (outcome == FFmpegGroupDecoder::Outcome::done && held != top))
            groupUnreadable = top;
    }

    void FFmpegSession::adoptFromStore(long frame)
    {
        long above = -1;
        groups.atOrAbove(frame, above);
        if ((above >= 0 && groups.lowest() <= frame) || ! store.coversDownwards(frame))
            return;
        long index = -1;
        store.atOrAbove(frame, index);
        groups.clear();
        adoptKeptDownFrom(index);
    }

    bool FFmpegSession::adoptPartBelow(long top)
    {
        if (groups.isEmpty() || top != groups.lowest() - 1 || store.keptBefore(groups.lowest()) != top)
            return false;
        adoptKeptDownFrom(top);
        return true;
    }

    void FFmpegSession::adoptKeptDownFrom(long index)
    {
        groups.adopt(index, *store.find(index));
        const std::size_t most = groups.partFrames();
        for (std::size_t n = 1; n < most && (index = store.keptBefore(index)) >= 0; ++n)
            groups.adopt(index, *store.find(index));
        groupUnreadable = -1;
        tellStoreTheWay();
    }

    bool FFmpegSession::wrapIsDue() const
    {
        // Up to the frame shown at the play head: one left above it by a
        // jump down is passed.
        long reach = -1;
        groups.atOrAbove(static_cast<long>(requested), reach);
        return usesGroups() && ! wrapTried && lastFrame > 0 && groups.lowest() == 0 && groups.highest() < lastFrame &&
               reach >= 0 && static_cast<std::size_t>(reach) < groups.partFrames() * 3 / 2 &&
               store.find(lastFrame) == nullptr;
    }

    void FFmpegSession::decodeWrapAhead(std::unique_lock<std::mutex>& hold)
    {
        wrapTried = true;
        const FourCharCode format = pixelFormat;
        const auto goesOn = [&]
        {
            hold.lock();
            std::optional<Seek> none;
            if (! seeks.empty())
            {
                // Also one asked while the last landing's frame was converted.
                while (landHeldSeek(hold, none, -1))
                    continue;
            }
            else if (rate < 0.0f)
                topUpQueue(hold);
            // A seek into the part kept for the wrap (the wrap itself)
            // waits for the decoding on its way there.
            const bool ahead = ! seeks.empty() && seeks.back().backwards &&
                               decoder->indexOf(seeks.back().seconds) >= wrapFrom &&
                               decoder->indexOf(seeks.back().seconds) >= decoder->pictureIndex();
            const bool on = ! stopping && (seeks.empty() || ahead) && usesGroups() && format == pixelFormat;
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

    void FFmpegSession::tellStoreTheWay()
    {
        const int direction = rate > 0.0f ? 1 : rate < 0.0f ? -1 : wayDirection != 0 ? wayDirection : handDirection;
        store.setWay(static_cast<long>(requested), direction, wrapFrom);
    }

    void FFmpegSession::bringStandIn(std::unique_lock<std::mutex>& hold, long frame, unsigned long atOnce)
    {
        const FourCharCode format = pixelFormat;
        const long key = decoder->keyFrameAtOrBefore(frame);
        long index = -1;
        const AVFrame* kept = store.atOrBelow(frame, index);
        hold.unlock();
        std::shared_ptr<PixelBuffer> standIn;
        if (kept != nullptr && index >= key)
            standIn = convertKept(*kept, index, format);
        else if (decoder->seekToRandomAccess(frame) && decoder->pictureIndex() < frame)
            standIn = keepConversion(decoder->convert(format));
        hold.lock();
        // Not when a later seek asked meanwhile lies below it or in
        // another group, or landed when asked; nor below the frame landed
        // on last while the hand moves up.
        const long newest = seeks.empty() ? frame : decoder->indexOf(seeks.back().seconds);
        if (standIn == nullptr || format != pixelFormat || abandonRunning || atOnce != landedAtOnce ||
            standIn->frameIndex > newest || ! decoder->inOneGroup(standIn->frameIndex, newest) ||
            (handDirection > 0 && standIn->frameIndex < landedIndex))
            return;
        queue.clear();
        queue.push_back(standIn);
    }

    bool FFmpegSession::landKeptSeek(std::unique_lock<std::mutex>& hold, Seek& next)
    {
        const long target = decoder->indexOf(next.seconds);
        const AVFrame* kept = store.find(target);
        const FourCharCode format = pixelFormat;
        if (kept == nullptr || format == 0)
            return false;
        const unsigned long atOnce = landedAtOnce;
        hold.unlock();
        std::shared_ptr<PixelBuffer> landed = convertKept(*kept, target, format);
        hold.lock();
        if (handedOn(next, atOnce))
            return true;
        if (landed == nullptr)
            return false;
        queue.clear();
        unreadable = -1;
        ended = false;
        requested = static_cast<double>(target);
        landedFromStore(target);
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

    std::shared_ptr<PixelBuffer> FFmpegSession::convertKept(const AVFrame& picture, long index, FourCharCode format)
    {
        if (std::shared_ptr<PixelBuffer> kept = store.findConverted(index, format))
            return kept;
        return keepConversion(decoder->convert(picture, index, format));
    }

    std::shared_ptr<PixelBuffer> FFmpegSession::keepConversion(std::shared_ptr<PixelBuffer> converted)
    {
        if (converted == nullptr)
            return converted;
        store.keepConverted(converted->frameIndex, converted);
        std::lock_guard<std::mutex> hold(lock);
        conversions[converted->frameIndex] = converted;
        // Those let go of by the store and everyone else go too.
        if (conversions.size() > 2 * conversionsSwept)
        {
            std::erase_if(conversions, [](const auto& entry) { return entry.second.expired(); });
            conversionsSwept = std::max<std::size_t>(64, conversions.size());
        }
        return converted;
    }

    bool FFmpegSession::landsAtOnce(Seek& incoming, long target)
    {
        const auto found = conversions.find(target);
        std::shared_ptr<PixelBuffer> kept = found != conversions.end() ? found->second.lock() : nullptr;
        if (kept == nullptr || pixelFormat == 0 || kept->getPixelFormat() != pixelFormat)
            return false;
        for (Seek& waiting : seeks)
            incoming.takeCompletionsOf(waiting);
        seeks.clear();
        abandonAt = -1;
        if (running >= 0)
            abandonRunning = true;
        queue.clear();
        queue.push_back(kept);
        incoming.queued = true;
        // Backwards the group decoder takes it on (see run).
        incoming.fromStore = ! incoming.backwards;
        ++landedAtOnce;
        unreadable = -1;
        ended = false;
        landedIndex = target;
        requested = static_cast<double>(target);
        landedFrame = kept;
        ++landings;
        if (incoming.fromStore)
            landedFromStore(target);
        return true;
    }

    bool FFmpegSession::handedOn(Seek& landing, unsigned long atOnce)
    {
        if (atOnce == landedAtOnce || seeks.empty())
            return false;
        seeks.back().takeCompletionsOf(landing);
        return true;
    }

    bool FFmpegSession::onlyQueuedSeeks() const
    {
        return std::all_of(seeks.begin(), seeks.end(), [](const Seek& s) { return s.queued; });
    }

    long FFmpegSession::nextBackwards() const
    {
        return queue.empty() ? static_cast<long>(requested) : queue.back()->frameIndex - 1;
    }

    void FFmpegSession::readBackwards(std::unique_lock<std::mutex>& hold)
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

    bool FFmpegSession::warmsMemory() const
    {
        return ! memoryWarm && pixelFormat != 0 && (rate != 0.0f || followsOn || followsBackwards);
    }

    bool FFmpegSession::wantsMore() const
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
}
