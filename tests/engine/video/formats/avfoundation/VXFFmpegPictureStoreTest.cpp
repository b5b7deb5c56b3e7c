// The FFmpeg backend's store of decoded pictures: within its budget it drops
// first what lies farthest behind the play head's way, keeps the frames the
// group decoder holds, and knows which pictures were decoded one after the
// other.

#include "platform/avfoundation/VXFFmpegPictureStore.h"

extern "C"
{
#include <libavutil/frame.h>
}

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace vx::test
{
    namespace
    {
        struct FrameFree
        {
            void operator()(AVFrame* frame) const { av_frame_free(&frame); }
        };

        // A grey picture of 64 x 64 with buffers of its own.
        std::unique_ptr<AVFrame, FrameFree> picture()
        {
            std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
            frame->width = 64;
            frame->height = 64;
            frame->format = AV_PIX_FMT_GRAY8;
            EXPECT_EQ(av_frame_get_buffer(frame.get(), 0), 0);
            return frame;
        }

        // The frames kept from first to last.
        std::string keptOf(const av::FFmpegPictureStore& store, long first, long last)
        {
            std::string kept;
            for (long n = first; n <= last; ++n)
                if (store.find(n) != nullptr)
                    kept += (kept.empty() ? "" : " ") + std::to_string(n);
            return kept;
        }

        struct WayCase
        {
            const char* name;
            long head;
            int direction;
            long wrapFrom;
            // Frames held beside the store (first above last for none).
            long heldFirst, heldLast;
            // Frames 0 to 9 kept in turn, room for four: those left.
            const char* left;
        };

        class FFmpegPictureStoreTest : public ::testing::TestWithParam<WayCase>
        {
        };
    }

    TEST_P(FFmpegPictureStoreTest, DropsWhatLiesFarthestBehindTheWayFirst)
    {
        const WayCase& c = GetParam();
        const std::size_t size = av::bytesOfPicture(*picture());
        av::FFmpegPictureStore store(4 * size);
        store.setWay(c.head, c.direction, c.wrapFrom);
        for (long n = 0; n < 10; ++n)
            if (n >= c.heldFirst && n <= c.heldLast)
                store.keepHeld(n, *picture(), n - 1);
            else
                store.keep(n, *picture(), n - 1);
        EXPECT_EQ(keptOf(store, 0, 9), c.left);
        EXPECT_LE(store.heldBytes(), 4 * size);
    }

    INSTANTIATE_TEST_SUITE_P(
        Ways, FFmpegPictureStoreTest,
        ::testing::Values(
            // Forwards at 5: 0 to 4 behind go, the farthest first, then 9.
            WayCase{"ForwardsBehindFirst", 5, 1, -1, 0, -1, "5 6 7 8"},
            // Backwards at 5: 6 to 9 behind go first, then 0.
            WayCase{"BackwardsBehindFirst", 5, -1, -1, 0, -1, "2 3 4 5"},
            // Backwards at 1 towards a wrap to 9: 8 and 9 lie ahead beyond 0.
            WayCase{"BackwardsAcrossTheWrap", 1, -1, 8, 0, -1, "0 1 8 9"},
            // Either way at 5: the farthest from it go.
            WayCase{"EitherWay", 5, 0, -1, 0, -1, "4 5 6 7"},
            // Held 0 to 2 stay whatever the way.
            WayCase{"HeldStay", 9, 1, -1, 0, 2, "0 1 2 9"}),
        [](const auto& info) { return std::string(info.param.name); });

    // Going forwards, what an earlier pass left ahead beyond the run decoded
    // on from the play head goes by its distance, as what lies behind does:
    // a turn back finds the frames just played.
    TEST(FFmpegPictureStoreWayTest, GoingForwardsAnEarlierPassesFramesBeyondTheRunGoByTheirDistance)
    {
        const std::size_t size = av::bytesOfPicture(*picture());
        av::FFmpegPictureStore store(6 * size);
        store.setWay(20, 1);
        for (long n = 40; n <= 42; ++n)
            store.keep(n, *picture(), n == 40 ? -1 : n - 1);
        // Played on from 20 to 25, the play head on each as it comes.
        for (long n = 20; n <= 25; ++n)
        {
            store.setWay(n, 1);
            store.keep(n, *picture(), n == 20 ? -1 : n - 1);
        }
        EXPECT_EQ(keptOf(store, 0, 50), "20 21 22 23 24 25");
    }

    // Conversions count in the budget; where only held pictures are left,
    // their conversions go and the pictures stay.
    TEST(FFmpegPictureStoreConvertedTest, ConversionsOfHeldPicturesGoBeforeThePictures)
    {
        const std::size_t size = av::bytesOfPicture(*picture());
        av::FFmpegPictureStore store(2 * size + 64 * 64 * 2);
        store.setWay(0, 1);
        store.keepHeld(0, *picture(), -1);
        store.keepHeld(1, *picture(), 0);
        const auto converted = [](long frame)
        {
            auto buffer = av::PixelBuffer::create(64, 64, av::pixelFormat422YpCbCr8);
            buffer->frameIndex = frame;
            return buffer;
        };
        store.keepConverted(1, converted(1));
        EXPECT_NE(store.findConverted(1, av::pixelFormat422YpCbCr8), nullptr);
        EXPECT_EQ(store.findConverted(1, av::pixelFormat32BGRA), nullptr) << "another pixel format";
        store.keepConverted(0, converted(0));
        EXPECT_EQ(keptOf(store, 0, 1), "0 1");
        EXPECT_EQ(store.findConverted(1, av::pixelFormat422YpCbCr8), nullptr) << "the farther conversion stayed";
        EXPECT_NE(store.findConverted(0, av::pixelFormat422YpCbCr8), nullptr);
        EXPECT_LE(store.heldBytes(), 2 * size + 64 * 64 * 2);
    }

    // The decoder's pool keeps the memory of the most pictures kept at once:
    // a conversion has only the room beside that, and pictures below it are
    // not dropped for one (that would free nothing).
    TEST(FFmpegPictureStoreConvertedTest, AConversionHasOnlyTheRoomTheMostPicturesKeptLeave)
    {
        const std::size_t size = av::bytesOfPicture(*picture());
        const auto converted = [](long frame)
        {
            auto buffer = av::PixelBuffer::create(64, 64, av::pixelFormat422YpCbCr8);
            buffer->frameIndex = frame;
            return buffer;
        };
        const std::size_t convertedSize = 64 * 64 * 2;
        av::FFmpegPictureStore store(2 * size + convertedSize);
        store.setWay(1, 1);
        store.keep(0, *picture(), -1);
        store.keep(1, *picture(), 0);
        store.keepConverted(1, converted(1));
        EXPECT_NE(store.findConverted(1, av::pixelFormat422YpCbCr8), nullptr) << "with room beside the pictures";
        store.setWay(5, 1);
        for (long n = 2; n < 6; ++n)
            store.keep(n, *picture(), n - 1);
        EXPECT_EQ(keptOf(store, 0, 5), "3 4 5") << "pictures took the room of the conversion dropped";
        store.keepConverted(5, converted(5));
        EXPECT_EQ(store.findConverted(5, av::pixelFormat422YpCbCr8), nullptr) << "kept beyond the most pictures kept";
        EXPECT_EQ(keptOf(store, 0, 5), "3 4 5");
        EXPECT_LE(store.peakHeldBytes(), 2 * size + convertedSize);
    }

    // A holder beside the store (the group decoder) shares the picture kept:
    // held pictures stay whatever the budget and count once; let go, they
    // may go again, and the budget holds.
    TEST(FFmpegPictureStoreHeldTest, HeldPicturesStayAreCountedOnceAndGoOnceLetGo)
    {
        const std::size_t size = av::bytesOfPicture(*picture());
        av::FFmpegPictureStore store(4 * size);
        store.setWay(9, 1);
        // Decoded again, a kept frame stays the one shared.
        store.keep(0, *picture(), -1);
        const AVFrame* shared = store.keepHeld(0, *picture(), -1);
        ASSERT_NE(shared, nullptr);
        EXPECT_EQ(shared, store.find(0));
        EXPECT_EQ(store.heldBytes(), size);
        ASSERT_NE(store.keepHeld(1, *picture(), 0), nullptr);
        ASSERT_NE(store.keepHeld(2, *picture(), 1), nullptr);
        for (long n = 3; n < 10; ++n)
        {
            store.keep(n, *picture(), n - 1);
            EXPECT_LE(store.heldBytes(), 4 * size) << "after frame " << n;
        }
        EXPECT_EQ(keptOf(store, 0, 9), "0 1 2 9") << "held frames farthest behind stayed";
        store.letGo(0);
        store.letGo(1);
        store.keep(8, *picture(), -1);
        EXPECT_EQ(keptOf(store, 0, 9), "1 2 8 9") << "the frame let go farthest behind went first";
        EXPECT_LE(store.peakHeldBytes(), 4 * size);
        store.clear();
        EXPECT_EQ(store.heldBytes(), 0u);
    }

    // A run decoded one picture after the other, with a gap where pictures
    // were dropped and another run kept apart from it.
    TEST(FFmpegPictureStoreRunsTest, OnlyPicturesDecodedOneAfterTheOtherFollowEachOther)
    {
        av::FFmpegPictureStore store;
        for (long n = 10; n <= 14; ++n)
            store.keep(n, *picture(), n == 10 ? -1 : n - 1);
        // Decoded apart: after a seek, a frame whose one before is gone, and
        // one two frames on from the one before (a movie of uneven rate).
        store.keep(20, *picture(), -1);
        store.keep(22, *picture(), 21);
        store.keep(30, *picture(), 27);
        long index = -1;
        EXPECT_NE(store.after(12, index), nullptr);
        EXPECT_EQ(index, 13);
        EXPECT_EQ(store.after(14, index), nullptr) << "frame 20 was not decoded after 14";
        EXPECT_EQ(store.after(20, index), nullptr) << "frame 22 came after 21, not 20";
        EXPECT_EQ(store.keptBefore(13), 12);
        EXPECT_EQ(store.keptBefore(10), -1);
        EXPECT_EQ(store.keptBefore(22), -1);
        // Backwards, the frame shown at 13 is 13; at 28 (none of the movie's
        // between 27 and 30) it is 30; at 16 and 21 (frame 21 is the
        // movie's, not kept) none is known.
        EXPECT_TRUE(store.coversDownwards(13));
        EXPECT_TRUE(store.coversDownwards(28));
        EXPECT_FALSE(store.coversDownwards(16));
        EXPECT_FALSE(store.coversDownwards(21));
        EXPECT_FALSE(store.coversDownwards(31));
    }
}
