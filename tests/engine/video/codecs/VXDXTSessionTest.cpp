#include "engine/video/codecs/VXDXTCompression.h"

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "VXDXTTestCorpus.h"

namespace vx::test
{
    namespace
    {
        using Bytes = std::vector<std::uint8_t>;

        size_t blockBytes(int width, int height, bool alpha)
        {
            return size_t((width + 3) / 4) * size_t((height + 3) / 4) * (alpha ? 16 : 8);
        }

        Bytes reference(const Bytes& rgba, int width, int height, bool alpha)
        {
            Bytes out(blockBytes(width, height, alpha));
            qmv::rygCompress(out.data(), rgba.data(), width, height, alpha ? 1 : 0);
            return out;
        }

        // The blocks followed by guard bytes that must stay untouched.
        constexpr size_t guard = 64;

        void expectBlocks(const Bytes& out, const Bytes& expected)
        {
            ASSERT_EQ(out.size(), expected.size() + guard);
            EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.begin())) << "blocks differ";
            EXPECT_EQ(Bytes(out.end() - guard, out.end()), Bytes(guard, 0xEE)) << "written past the blocks";
        }

        Bytes persistent(qmv::Session* session, const Bytes& rgba, int width, int height, bool alpha, int threads)
        {
            Bytes out(blockBytes(width, height, alpha) + guard, 0xEE);
            qmv::compressMultiThreadedPersistent(session, out.data(), rgba.data(), width, height, alpha, threads);
            return out;
        }

        Bytes oneShot(const Bytes& rgba, int width, int height, bool alpha, int threads)
        {
            Bytes out(blockBytes(width, height, alpha) + guard, 0xEE);
            qmv::compressMultiThreaded(out.data(), rgba.data(), width, height, alpha, threads);
            return out;
        }

        struct SessionHolder
        {
            qmv::Session* session = qmv::beginCompressionPersistent();
            ~SessionHolder() { qmv::endCompressionPersistent(&session); }
        };
    }

    //==============================================================================
    // The strip split

    struct DXTSplitCase
    {
        const char* name;
        int height;
        int threads;
        std::vector<int> rows; // of every strip, in order
        int callerStrips;      // strips without a thread of their own
    };

    class DXTSessionSplit : public ::testing::TestWithParam<DXTSplitCase>
    {
    };

    TEST_P(DXTSessionSplit, CoversEveryRowOnce)
    {
        const DXTSplitCase& c = GetParam();
        const int width = 8;
        SessionHolder holder;
        ASSERT_NE(holder.session, nullptr);
        const Bytes rgba = dxt::makePicture(dxt::Picture::gradient, width, c.height, 1);
        expectBlocks(persistent(holder.session, rgba, width, c.height, true, c.threads),
                     reference(rgba, width, c.height, true));

        const qmv::Session& session = *holder.session;
        ASSERT_EQ(session.jobCount, int(c.rows.size()));
        int callerStrips = 0;
        for (int i = 0; i < session.jobCount; ++i)
        {
            EXPECT_EQ(session.jobs[i].rows, c.rows[size_t(i)]) << "strip " << i;
            callerStrips += session.jobs[i].worker == nullptr ? 1 : 0;
        }
        EXPECT_EQ(callerStrips, c.callerStrips);
    }

    INSTANTIATE_TEST_SUITE_P(
        Heights, DXTSessionSplit,
        ::testing::Values(
            // 67 bands on 8: 8 strips would leave 3 over, so 7 of 9 bands and
            // one of the 4 left; the 8 rows below the last band are a strip of
            // their own.
            DXTSplitCase{"HD1080On8", 1080, 8, {144, 144, 144, 144, 144, 144, 144, 64, 8}, 1},
            DXTSplitCase{"HD1088On8", 1088, 8, {144, 144, 144, 144, 144, 144, 144, 80}, 0},
            DXTSplitCase{"HD1088On2", 1088, 2, {544, 544}, 0},
            DXTSplitCase{"HD1088On4", 1088, 4, {272, 272, 272, 272}, 0},
            DXTSplitCase{"FewerBandsThanThreads", 48, 8, {16, 16, 16}, 0},
            DXTSplitCase{"RemainderEvenedOut", 112, 3, {48, 48, 16}, 0},
            DXTSplitCase{"BandsAndATail", 100, 3, {32, 32, 32, 4}, 1},
            DXTSplitCase{"ZeroThreadsCountAsOne", 40, 0, {32, 8}, 1},
            DXTSplitCase{"NegativeThreadsCountAsOne", 32, -5, {32}, 0},
            DXTSplitCase{"BelowOneBandRunsOnTheCaller", 15, 4, {15}, 1},
            DXTSplitCase{"OneRow", 1, 4, {1}, 1}),
        [](const auto& info) { return std::string(info.param.name); });

    //==============================================================================
    // Same bytes as the whole-image loop

    struct DXTFrameCase
    {
        const char* name;
        int width, height;
        bool alpha;
        int threads;
    };

    class DXTSessionFrames : public ::testing::TestWithParam<DXTFrameCase>
    {
    };

    TEST_P(DXTSessionFrames, BothFormsEqualTheWholeImageLoop)
    {
        const DXTFrameCase& c = GetParam();
        const Bytes rgba = dxt::makePicture(dxt::Picture::video, c.width, c.height, 33);
        const Bytes expected = reference(rgba, c.width, c.height, c.alpha);
        expectBlocks(oneShot(rgba, c.width, c.height, c.alpha, c.threads), expected);
        SessionHolder holder;
        expectBlocks(persistent(holder.session, rgba, c.width, c.height, c.alpha, c.threads), expected);
    }

    INSTANTIATE_TEST_SUITE_P(Frames, DXTSessionFrames,
                             ::testing::Values(DXTFrameCase{"HD1088Alpha8", 1920, 1088, true, 8},
                                               DXTFrameCase{"HD1080Opaque8", 1920, 1080, false, 8},
                                               DXTFrameCase{"HD1080Alpha16", 1920, 1080, true, 16},
                                               DXTFrameCase{"OddWidth", 17, 1080, true, 5},
                                               DXTFrameCase{"NarrowOddWidth", 5, 64, false, 3},
                                               DXTFrameCase{"Height1", 24, 1, true, 4},
                                               DXTFrameCase{"Height7", 13, 7, false, 2},
                                               DXTFrameCase{"Height15", 40, 15, true, 8}),
                             [](const auto& info) { return std::string(info.param.name); });

    class DXTSessionStrips : public ::testing::TestWithParam<std::tuple<int, bool, int>>
    {
    };

    // Every strip count from 1 to 16 over both HD heights; the split depends
    // on the height alone, so a narrow picture will do.
    TEST_P(DXTSessionStrips, BothFormsEqualTheWholeImageLoop)
    {
        const auto [strips, alpha, height] = GetParam();
        const int width = 36;
        const Bytes rgba = dxt::makePicture(dxt::Picture::video, width, height, std::uint32_t(strips));
        const Bytes expected = reference(rgba, width, height, alpha);
        expectBlocks(oneShot(rgba, width, height, alpha, strips), expected);
        SessionHolder holder;
        expectBlocks(persistent(holder.session, rgba, width, height, alpha, strips), expected);
    }

    INSTANTIATE_TEST_SUITE_P(OneToSixteen, DXTSessionStrips,
                             ::testing::Combine(::testing::Range(1, 17), ::testing::Bool(),
                                                ::testing::Values(1080, 1088)),
                             [](const auto& info) {
                                 return "Strips" + std::to_string(std::get<0>(info.param)) +
                                        (std::get<1>(info.param) ? "Alpha" : "Opaque") +
                                        std::to_string(std::get<2>(info.param));
                             });

    //==============================================================================
    // Session life

    TEST(DXTSession, HundredFramesInOneSession)
    {
        const int width = 64, height = 80;
        SessionHolder holder;
        for (int frame = 0; frame < 100; ++frame)
        {
            const Bytes rgba = dxt::makePicture(dxt::Picture(frame % 6), width, height, std::uint32_t(frame));
            expectBlocks(persistent(holder.session, rgba, width, height, true, 4),
                         reference(rgba, width, height, true));
            if (HasFailure())
                FAIL() << "frame " << frame;
        }
        EXPECT_TRUE(holder.session->running.load());
        EXPECT_EQ(holder.session->jobCount, 4);
    }

    // A frame of another size, alpha or strip count rebuilds the split; the
    // next frame of the first kind rebuilds it again.
    TEST(DXTSession, ChangesOfSizeMidSessionRebuildTheSplit)
    {
        struct Step
        {
            int width, height;
            bool alpha;
            int threads;
            int jobCount;
        } steps[] = {{64, 48, true, 3, 3},   {40, 100, true, 3, 4}, {40, 100, false, 3, 4},
                     {40, 100, false, 6, 7}, {64, 48, true, 3, 3},  {64, 48, true, 3, 3}};
        SessionHolder holder;
        int index = 0;
        for (const Step& step : steps)
        {
            const Bytes rgba = dxt::makePicture(dxt::Picture::video, step.width, step.height, std::uint32_t(index));
            expectBlocks(persistent(holder.session, rgba, step.width, step.height, step.alpha, step.threads),
                         reference(rgba, step.width, step.height, step.alpha));
            EXPECT_EQ(holder.session->width, step.width) << "step " << index;
            EXPECT_EQ(holder.session->height, step.height) << "step " << index;
            EXPECT_EQ(holder.session->jobCount, step.jobCount) << "step " << index;
            ++index;
        }
    }

    TEST(DXTSession, EndNullsTheSessionAndIgnoresNull)
    {
        qmv::endCompressionPersistent(nullptr);
        qmv::Session* session = nullptr;
        qmv::endCompressionPersistent(&session);
        EXPECT_EQ(session, nullptr);

        // Never used: nothing started.
        session = qmv::beginCompressionPersistent();
        ASSERT_NE(session, nullptr);
        EXPECT_FALSE(session->running.load());
        EXPECT_EQ(session->jobs, nullptr);
        qmv::endCompressionPersistent(&session);
        EXPECT_EQ(session, nullptr);

        // Used: its threads stop and leave.
        session = qmv::beginCompressionPersistent();
        const Bytes rgba = dxt::makePicture(dxt::Picture::edges, 32, 64, 2);
        persistent(session, rgba, 32, 64, false, 4);
        qmv::endCompressionPersistent(&session);
        EXPECT_EQ(session, nullptr);
    }

    TEST(DXTSession, NothingToDoWritesNothing)
    {
        const Bytes rgba(16 * 16 * 4, 9);
        Bytes out(256, 0xEE);
        SessionHolder holder;
        qmv::compressMultiThreadedPersistent(nullptr, out.data(), rgba.data(), 16, 16, true, 2);
        qmv::compressMultiThreadedPersistent(holder.session, nullptr, rgba.data(), 16, 16, true, 2);
        qmv::compressMultiThreadedPersistent(holder.session, out.data(), rgba.data(), 0, 16, true, 2);
        qmv::compressMultiThreaded(out.data(), nullptr, 16, 16, true, 2);
        qmv::compressMultiThreaded(out.data(), rgba.data(), 16, -1, true, 2);
        EXPECT_EQ(out, Bytes(256, 0xEE));
        EXPECT_FALSE(holder.session->running.load());
    }
}
