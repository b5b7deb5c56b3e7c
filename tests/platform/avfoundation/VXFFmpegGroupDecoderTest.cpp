// The group decoder of backward play over a scripted picture source (frames
// numbered in their first byte, a key frame every groupFrames), its budget
// small enough that a group is decoded in parts: walked down as the decoding
// session walks it, every frame is handed out once, in order, none missing
// at a part's boundary, and no more than the budget is held; a part ended
// early holds the frames decoded last.

#include "platform/avfoundation/VXFFmpegGroupDecoder.h"
#include "platform/avfoundation/VXFFmpegPictureStore.h"

extern "C"
{
#include <libavutil/frame.h>
}

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <vector>

namespace vx::test
{
    namespace
    {
        // Gray pictures of 16 x 16, frame n's first byte n; random access at
        // every key frame. Each picture in a buffer of its own, as a decoder
        // hands them out.
        class ScriptedPictures final : public av::PictureSource
        {
        public:
            ScriptedPictures(long frameCount, long keyInterval) : frames(frameCount), groupFrames(keyInterval) {}
            ~ScriptedPictures() override { av_frame_free(&hand); }

            bool seekToRandomAccess(long frame) override
            {
                if (frame < 0 || frame >= frames)
                    return false;
                ++seeks;
                index = -1;
                return decode(frame / groupFrames * groupFrames);
            }
            bool nextPicture() override { return index + 1 < frames && decode(index + 1); }
            AVFrame* picture() override { return hand; }
            long pictureIndex() const override { return index; }

            int seeks = 0;

        private:
            bool decode(long frame)
            {
                av_frame_free(&hand);
                hand = av_frame_alloc();
                hand->format = AV_PIX_FMT_GRAY8;
                hand->width = hand->height = 16;
                if (av_frame_get_buffer(hand, 0) < 0)
                    return false;
                hand->data[0][0] = static_cast<std::uint8_t>(frame);
                if (onPicture)
                    onPicture(*hand, frame, frame == index + 1 ? index : -1);
                index = frame;
                return true;
            }

        public:
            // Told every picture decoded, with the one decoded before it, as
            // the decoding session tells its store.
            std::function<void(const AVFrame&, long, long)> onPicture;

        private:
            const long frames, groupFrames;
            AVFrame* hand = nullptr;
            long index = -1;
        };

        // The frame a held picture shows.
        long numberOf(const AVFrame* picture)
        {
            return picture != nullptr ? picture->data[0][0] : -1;
        }
    }

    // Key frames at 0, 40 and 80; a budget of two parts of six pictures.
    // From the last frame down to 0, as backward play does: the part ending
    // at the play head first, then the part below the lowest held as soon
    // as what is held leaves room for it (decoded ahead), the frames above
    // the one handed out let go. Parts run across the key frames.
    TEST(FFmpegGroupDecoderTest, AGroupDecodedInPartsHandsEveryFrameOutOnceInOrder)
    {
        constexpr long frameCount = 100, partFrames = 6;
        ScriptedPictures pictures(frameCount, 40);
        // What a picture holds, from a decoder that keeps the fewest.
        std::size_t pictureBytes = 0;
        {
            av::FFmpegGroupDecoder probe(1);
            ASSERT_EQ(probe.decodePart(pictures, 10, [](long) { return av::FFmpegGroupDecoder::Step::more; }),
                      av::FFmpegGroupDecoder::Outcome::done);
            pictureBytes = probe.heldBytes() / static_cast<std::size_t>(probe.highest() - probe.lowest() + 1);
        }
        const std::size_t budget = 2 * partFrames * pictureBytes;
        av::FFmpegGroupDecoder parts(budget);
        std::vector<long> decoded;
        const auto decodePart = [&](long top)
        {
            decoded.clear();
            ASSERT_EQ(parts.decodePart(pictures, top,
                                       [&](long frame)
                                       {
                                           decoded.push_back(frame);
                                           return av::FFmpegGroupDecoder::Step::more;
                                       }),
                      av::FFmpegGroupDecoder::Outcome::done);
            ASSERT_FALSE(decoded.empty());
            EXPECT_EQ(decoded.front() % 40, 0) << "the part ending at " << top << " began off a key frame";
            EXPECT_EQ(decoded.back(), top);
            for (std::size_t i = 1; i < decoded.size(); ++i)
                ASSERT_EQ(decoded[i], decoded[i - 1] + 1) << "the part ending at " << top;
        };
        decodePart(frameCount - 1);
        ASSERT_FALSE(HasFatalFailure());
        EXPECT_EQ(parts.lowest(), frameCount - partFrames);

        std::vector<long> handedOut;
        long last = frameCount;
        while (last > 0 && ! HasFatalFailure())
        {
            if (const long top = parts.nextPartTop(); top >= 0)
            {
                decodePart(top);
                continue;
            }
            long index = -1;
            const AVFrame* next = parts.below(last, index);
            ASSERT_NE(next, nullptr) << "nothing held below frame " << last << " and no part due";
            EXPECT_EQ(numberOf(next), index);
            handedOut.push_back(index);
            last = index;
            parts.dropAbove(index);
            EXPECT_LE(parts.heldBytes(), budget);
        }
        std::vector<long> expected;
        for (long n = frameCount - 1; n >= 0; --n)
            expected.push_back(n);
        EXPECT_EQ(handedOut, expected);
        EXPECT_LE(parts.peakHeldBytes(), budget);
    }

    // Key frames at 0 and 40; parts of six pictures. A part ended by its
    // caller where the decoding meets the play head (65, below the top
    // asked for) holds the six frames decoded last, never more; one
    // stopped holds no more either. Ended so below a part held above it
    // (80 to 85), the frames held still run on: those above are passed.
    TEST(FFmpegGroupDecoderTest, APartEndedWhereItMeetsThePlayHeadHoldsTheFramesDecodedLast)
    {
        constexpr long partFrames = 6;
        ScriptedPictures pictures(100, 40);
        std::size_t pictureBytes = 0;
        {
            av::FFmpegGroupDecoder probe(1);
            ASSERT_EQ(probe.decodePart(pictures, 0, [](long) { return av::FFmpegGroupDecoder::Step::more; }),
                      av::FFmpegGroupDecoder::Outcome::done);
            pictureBytes = probe.heldBytes();
        }
        const std::size_t budget = 2 * partFrames * pictureBytes;
        struct Row
        {
            av::FFmpegGroupDecoder::Step at65;
            av::FFmpegGroupDecoder::Outcome outcome;
            bool partAbove;
        };
        for (const Row& row :
             {Row{av::FFmpegGroupDecoder::Step::last, av::FFmpegGroupDecoder::Outcome::done, false},
              Row{av::FFmpegGroupDecoder::Step::stop, av::FFmpegGroupDecoder::Outcome::stopped, false},
              Row{av::FFmpegGroupDecoder::Step::last, av::FFmpegGroupDecoder::Outcome::done, true}})
        {
            av::FFmpegGroupDecoder part(budget);
            if (row.partAbove)
            {
                ASSERT_EQ(part.decodePart(pictures, 85, [](long) { return av::FFmpegGroupDecoder::Step::more; }),
                          av::FFmpegGroupDecoder::Outcome::done);
            }
            long last = -1;
            EXPECT_EQ(part.decodePart(pictures, 79,
                                      [&](long frame)
                                      {
                                          last = frame;
                                          return frame == 65 ? row.at65 : av::FFmpegGroupDecoder::Step::more;
                                      }),
                      row.outcome);
            EXPECT_EQ(last, 65);
            EXPECT_EQ(part.lowest(), 65 - partFrames + 1);
            EXPECT_EQ(part.highest(), 65);
            EXPECT_LE(part.peakHeldBytes(), (row.partAbove ? 2 : 1) * partFrames * pictureBytes);
            long index = -1;
            for (long n = 60; n <= 65; ++n)
                EXPECT_EQ(numberOf(part.atOrAbove(n, index)), n);
            EXPECT_EQ(part.atOrAbove(66, index), nullptr);
        }
    }
}

namespace vx::test
{
    // The group decoder sharing the movie's store, which keeps every picture
    // decoded besides (as the decoding session does) within a budget of
    // two parts: walked down from the last frame to 0, every frame is handed
    // out, and at every step the pictures kept by either (each counted once,
    // by their buffers) are what the store counts and within its budget.
    // Nothing is kept once both let go.
    TEST(FFmpegGroupDecoderTest, SharingTheStoreEveryPictureKeptCountsOnceWithinItsBudget)
    {
        constexpr long frameCount = 100, partFrames = 6;
        ScriptedPictures pictures(frameCount, 40);
        std::size_t pictureBytes = 0;
        {
            av::FFmpegGroupDecoder probe(1);
            ASSERT_EQ(probe.decodePart(pictures, 0, [](long) { return av::FFmpegGroupDecoder::Step::more; }), av::FFmpegGroupDecoder::Outcome::done);
            pictureBytes = probe.heldBytes();
        }
        const std::size_t budget = 2 * partFrames * pictureBytes;
        av::FFmpegPictureStore store(budget);
        pictures.onPicture = [&store](const AVFrame& picture, long index, long previous)
        { store.keep(index, picture, previous); };
        av::FFmpegGroupDecoder parts(store);
        // The bytes kept by either, each buffer once.
        const auto keptBytes = [&]
        {
            std::set<const void*> buffers;
            std::size_t total = 0;
            for (long n = 0; n < frameCount; ++n)
            {
                long index = -1;
                const AVFrame* group = parts.atOrAbove(n, index);
                for (const AVFrame* picture : {store.find(n), index == n ? group : nullptr})
                    if (picture != nullptr && buffers.insert(picture->buf[0]->data).second)
                        total += av::bytesOfPicture(*picture);
            }
            return total;
        };
        std::vector<long> handedOut;
        long last = frameCount;
        store.setWay(last, -1);
        ASSERT_EQ(parts.decodePart(pictures, frameCount - 1, [](long) { return av::FFmpegGroupDecoder::Step::more; }),
                  av::FFmpegGroupDecoder::Outcome::done);
        while (last > 0 && ! HasFatalFailure())
        {
            if (const long top = parts.nextPartTop(); top >= 0)
            {
                ASSERT_EQ(parts.decodePart(pictures, top, [](long) { return av::FFmpegGroupDecoder::Step::more; }),
                          av::FFmpegGroupDecoder::Outcome::done);
            }
            else
            {
                long index = -1;
                ASSERT_NE(parts.below(last, index), nullptr) << "nothing held below frame " << last;
                handedOut.push_back(index);
                last = index;
                parts.dropAbove(index);
                store.setWay(last, -1);
            }
            const std::size_t kept = keptBytes();
            ASSERT_EQ(store.heldBytes(), kept) << "at frame " << last;
            ASSERT_LE(kept, budget) << "at frame " << last;
        }
        EXPECT_EQ(handedOut.size(), static_cast<std::size_t>(frameCount));
        EXPECT_LE(store.peakHeldBytes(), budget);
        parts.clear();
        store.clear();
        EXPECT_EQ(store.heldBytes(), 0u);
        EXPECT_EQ(keptBytes(), 0u);
    }
}
