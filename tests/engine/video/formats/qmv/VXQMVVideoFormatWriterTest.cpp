#include "engine/video/formats/VXQMVVideoFormatWriter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "core/VXInputStream.h"
#include "core/VXScopedPointer.h"
#include "engine/video/formats/VXQMVFileFormat.h"
#include "engine/video/formats/qmv/VXQMVTestFiles.h"
#include "engine/video/formats/VXQMVVideoFormat.h"
#include "engine/video/formats/VXQMVVideoFormatReader.h"
#include "support/VXLogRecorder.h"
#include "support/VXTempDir.h"

// Recordings through the real codec, read back by the reader's own decoding
// (no GL) and compared with what the frame codec alone makes of the pictures.

namespace vx::test
{
    using namespace qmvfiles;

    namespace
    {
        QMVFileFormat readRecord(const std::string& path)
        {
            QMVFileFormat record;
            ScopedPointer<InputStream> stream(File(path).createInputStream(true));
            EXPECT_TRUE(stream.get() != nullptr && record.read(*stream)) << path;
            return record;
        }

        // Every frame of the movie decodes to what the codec makes of picture i.
        void expectFramesAreThePictures(const std::string& path, int w, int h, int type, unsigned count)
        {
            QMVVideoFormatReader reader{File(path)};
            ASSERT_TRUE(reader.isOpened());
            ASSERT_EQ(reader.getTotalFrames(), count);
            for (unsigned i = 0; i < count; ++i)
            {
                ASSERT_TRUE(reader.decodeFrame(i)) << i;
                const Bytes expected = expectedBlocks(*makePicture(w, h, i), type);
                ASSERT_EQ(reader.getDecodedSize(), expected.size());
                EXPECT_EQ(Bytes(reader.getDecodedFrame(), reader.getDecodedFrame() + expected.size()), expected) << i;
            }
        }
    }

    struct RoundTripCase
    {
        const char* name;
        int type;
        unsigned frameCount; // 0: through the temporary file
        int threads;         // 0: no task manager
    };

    class QMVRoundTripTest : public testing::TestWithParam<RoundTripCase>
    {
    };

    TEST_P(QMVRoundTripTest, FramesComeBackAsTheCodecMadeThem)
    {
        const RoundTripCase& c = GetParam();
        std::unique_ptr<ScopedTaskManager> tasks;
        if (c.threads > 0)
            tasks = std::make_unique<ScopedTaskManager>(std::uint8_t(c.threads));
        TempDir dir;
        const std::string path = dir.file("round.qmv");
        const int w = 40, h = 24;
        const unsigned count = 5;
        ASSERT_TRUE(writeMovie(path, w, h, c.type, count, c.frameCount));
        EXPECT_FALSE(File(path + "_").exists()) << "temporary file left";
        const QMVFileFormat record = readRecord(path);
        EXPECT_TRUE(record.header.complete);
        std::uint32_t end = 0;
        for (const QMVFrameTableEntry& entry : record.frameTable.entries)
        {
            EXPECT_GE(entry.offset, end) << "offsets rise";
            end = entry.offset + entry.size;
        }
        expectFramesAreThePictures(path, w, h, c.type, count);
    }

    INSTANTIATE_TEST_SUITE_P(
        Types, QMVRoundTripTest,
        testing::Values(RoundTripCase{"DXT1Temporary", qmv::typeDXT1, 0, 3},
                        RoundTripCase{"DXT5Temporary", qmv::typeDXT5, 0, 3},
                        RoundTripCase{"YCoCg6Temporary", qmv::typeYCoCg6, 0, 3},
                        RoundTripCase{"YACoCg10Temporary", qmv::typeYACoCg10, 0, 3},
                        RoundTripCase{"DXT1Direct", qmv::typeDXT1, 5, 3},
                        RoundTripCase{"DXT5Direct", qmv::typeDXT5, 5, 3},
                        RoundTripCase{"YCoCg6Direct", qmv::typeYCoCg6, 5, 2},
                        RoundTripCase{"YACoCg10Direct", qmv::typeYACoCg10, 5, 1},
                        RoundTripCase{"DXT5WithoutTaskManager", qmv::typeDXT5, 0, 0},
                        RoundTripCase{"YCoCg6DirectWithoutTaskManager", qmv::typeYCoCg6, 5, 0}),
        [](const testing::TestParamInfo<RoundTripCase>& info) { return std::string(info.param.name); });

    TEST(QMVVideoFormatWriterTest, FramesFinishingOutOfOrderAreStoredInOrder)
    {
        ScopedTaskManager tasks(4);
        TempDir dir;
        const std::string path = dir.file("order.qmv");
        const int w = 32, h = 16;
        const unsigned count = 8;
        Codec codec(qmv::typeDXT1, w, h);
        std::mutex lock;
        std::condition_variable changed;
        std::vector<unsigned> finished;
        {
            File file(path);
            QMVVideoFormatWriter writer(file, 25.0f, 4, w, h, codec.settings, 0);
            ASSERT_TRUE(writer.isReady());
            // The first frame finishes only after another has (half a minute
            // is only the watchdog, should none run beside it): later ones
            // wait for it.
            writer.setFrameCompressedHook([&](unsigned index) {
                std::unique_lock<std::mutex> hold(lock);
                if (index == 0)
                    changed.wait_for(hold, std::chrono::seconds(30), [&] { return ! finished.empty(); });
                finished.push_back(index);
                changed.notify_all();
            });
            for (unsigned i = 0; i < count; ++i)
                ASSERT_TRUE(writer.write(makePicture(w, h, i)));
            ASSERT_TRUE(writer.endRecording());
        }
        ASSERT_EQ(finished.size(), count);
        EXPECT_NE(finished.front(), 0u) << "the hook did not reorder the frames";
        expectFramesAreThePictures(path, w, h, qmv::typeDXT1, count);
    }

    TEST(QMVVideoFormatWriterTest, KeepsAtMostTwiceTheThreadsInFlight)
    {
        ScopedTaskManager tasks(2);
        TempDir dir;
        const int w = 16, h = 16;
        Codec codec(qmv::typeDXT1, w, h);
        File file(dir.file("bound.qmv"));
        QMVVideoFormatWriter writer(file, 25.0f, 4, w, h, codec.settings, 0);
        ASSERT_TRUE(writer.isReady());

        // Every task holds at the gate: nothing finishes until it opens.
        std::mutex lock;
        std::condition_variable changed;
        bool open = false;
        int arrived = 0;
        writer.setFrameCompressedHook([&](unsigned) {
            std::unique_lock<std::mutex> guard(lock);
            ++arrived;
            changed.notify_all();
            changed.wait(guard, [&] { return open; });
        });
        std::thread feeder([&] {
            for (unsigned i = 0; i < 10; ++i)
                writer.write(makePicture(w, h, i));
        });
        {
            std::unique_lock<std::mutex> guard(lock);
            changed.wait(guard, [&] { return arrived == 2; }); // both workers hold a frame
        }
        // The feeder blocks once four frames are out; give it the chance to go further.
        while (writer.getNumSubmittedFrames() < 4)
            std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(writer.getNumSubmittedFrames(), 4u);
        {
            const std::lock_guard<std::mutex> guard(lock);
            open = true;
        }
        changed.notify_all();
        feeder.join();
        EXPECT_EQ(writer.getNumSubmittedFrames(), 10u);
        EXPECT_TRUE(writer.endRecording());
    }

    struct ThumbnailCase
    {
        const char* name;
        int type;
        int bytesPerPixel;
    };

    class QMVThumbnailTest : public testing::TestWithParam<ThumbnailCase>
    {
    };

    // 16-bit channels become bytes by 255 / 65535, truncated; grey fills all four.
    TEST_P(QMVThumbnailTest, ComesFromTheFirstFrame)
    {
        const ThumbnailCase& c = GetParam();
        TempDir dir;
        const std::string path = dir.file("thumb.qmv");
        const int w = 8, h = 4;
        Codec codec(c.type, w, h);
        ASSERT_EQ(codec.settings.bytesPerPixel, c.bytesPerPixel);
        auto pixels = std::make_shared<Pixels>(w, h, c.bytesPerPixel, nullptr);
        const std::uint16_t samples[] = {65535, 32768, 257, 0};
        for (int i = 0; i < pixels->dataSize / 2 && c.bytesPerPixel != 4; ++i)
            std::memcpy(pixels->data + 2 * i, &samples[i % 4], 2);
        for (int i = 0; i < pixels->dataSize && c.bytesPerPixel == 4; ++i)
            pixels->data[i] = std::uint8_t(i * 7);
        {
            File file(path);
            QMVVideoFormatWriter writer(file, 25.0f, unsigned(c.bytesPerPixel), w, h, codec.settings, 0);
            ASSERT_TRUE(writer.isReady());
            ASSERT_TRUE(writer.write(pixels));
            ASSERT_TRUE(writer.endRecording());
        }
        const std::string bytes = dir.readFile("thumb.qmv");
        for (int p = 0; p < w * h; ++p)
            for (int ch = 0; ch < 4; ++ch)
            {
                std::uint8_t expected;
                if (c.bytesPerPixel == 4)
                    expected = pixels->data[p * 4 + ch];
                else
                {
                    const std::uint8_t bytesOf[] = {255, 127, 1, 0};
                    expected = bytesOf[(c.bytesPerPixel == 8 ? p * 4 + ch : p) % 4];
                }
                ASSERT_EQ(std::uint8_t(bytes[20 + p * 4 + ch]), expected) << p << " " << ch;
            }
    }

    INSTANTIATE_TEST_SUITE_P(Formats, QMVThumbnailTest,
                             testing::Values(ThumbnailCase{"RGBA8", qmv::typeDXT5, 4},
                                             ThumbnailCase{"RGBA16I", qmv::typeUVMap, 8},
                                             ThumbnailCase{"I16I", qmv::typeMask, 2}),
                             [](const testing::TestParamInfo<ThumbnailCase>& info) { return std::string(info.param.name); });

    TEST(QMVVideoFormatWriterTest, ARecordingWithoutFramesLeavesNoFile)
    {
        ScopedTaskManager tasks(2);
        TempDir dir;
        const std::string path = dir.file("none.qmv");
        Codec codec(qmv::typeDXT1, 16, 16);
        LogRecorder log;
        {
            File file(path);
            QMVVideoFormatWriter writer(file, 25.0f, 4, 16, 16, codec.settings, 0);
            ASSERT_TRUE(writer.isReady());
            EXPECT_TRUE(File(path).exists());
            EXPECT_TRUE(File(path + "_").exists());
            EXPECT_FALSE(writer.endRecording());
        }
        EXPECT_FALSE(File(path).exists());
        EXPECT_FALSE(File(path + "_").exists());
        EXPECT_TRUE(log.contains("no frame was recorded")) << log.dump();
    }

    TEST(QMVVideoFormatWriterTest, RefusesWhatItCannotRecord)
    {
        TempDir dir;
        QMVVideoFormat format;
        Codec codec(qmv::typeDXT5, 16, 16);
        LogRecorder log;
        File unwritable(dir.file("missing/folder/a.qmv"));
        EXPECT_EQ(format.createWriterFor(unwritable, 25.0, 4, 16, 16, 0, codec.settings), nullptr);
        EXPECT_TRUE(log.contains("cannot create")) << log.dump();
        File sixteen(dir.file("b.qmv"));
        EXPECT_EQ(format.createWriterFor(sixteen, 25.0, 16, 16, 16, 0, codec.settings), nullptr);
        EXPECT_TRUE(log.contains("16 bytes per pixel")) << log.dump();
        EXPECT_EQ(format.createWriterFor(sixteen, 25.0, 8, 16, 16, 0, codec.settings), nullptr)
            << "the codec takes 4 bytes per pixel";

        File file(dir.file("c.qmv"));
        QMVVideoFormatWriter writer(file, 25.0f, 4, 16, 16, codec.settings, 2);
        ASSERT_TRUE(writer.isReady());
        log.clear();
        EXPECT_FALSE(writer.write(makePicture(16, 8, 0))) << "another height";
        EXPECT_FALSE(writer.write(makePicture(8, 16, 0))) << "another width";
        EXPECT_FALSE(writer.write(std::make_shared<Pixels>(16, 16, 3, nullptr))) << "another pixel size";
        EXPECT_FALSE(writer.write(nullptr));
        EXPECT_EQ(log.count(logError), 4u) << log.dump();
        EXPECT_TRUE(writer.write(makePicture(16, 16, 0)));
        EXPECT_TRUE(writer.write(makePicture(16, 16, 1)));
        EXPECT_FALSE(writer.write(makePicture(16, 16, 2))) << "past the frame count";
        EXPECT_TRUE(writer.endRecording());
        EXPECT_FALSE(writer.write(makePicture(16, 16, 2))) << "after the end";
    }

    TEST(QMVVideoFormatWriterTest, FramesOfAnotherKindOrSizeAreRefusedAlone)
    {
        TempDir dir;
        const std::string path = dir.file("mixed.qmv");
        ASSERT_TRUE(writeMovie(path, 32, 16, qmv::typeDXT1, 3, 0));
        const QMVFileFormat record = readRecord(path);
        std::string bytes = dir.readFile("mixed.qmv");
        // Frame 1 claims to be DXT5: its blocks would be twice the buffer's.
        putU32(bytes, record.frameTable.entries[1].offset, qmv::fourccDXT5);
        // Frame 2's header claims more payload than its table entry holds.
        const std::size_t sizeAt = record.frameTable.entries[2].offset + 8;
        putU32(bytes, sizeAt, u32At(bytes, sizeAt) + 1);
        dir.writeFile("mixed.qmv", bytes);
        QMVVideoFormatReader reader{File(path)};
        ASSERT_TRUE(reader.isOpened());
        EXPECT_TRUE(reader.decodeFrame(0));
        EXPECT_FALSE(reader.decodeFrame(1));
        EXPECT_FALSE(reader.decodeFrame(2));
        EXPECT_TRUE(reader.decodeFrame(0));
    }

    struct OpenCase
    {
        const char* name;
        std::size_t at; // relative to the video information (T)
        std::uint32_t value;
    };

    class QMVReaderOpenTest : public testing::TestWithParam<OpenCase>
    {
    };

    TEST_P(QMVReaderOpenTest, RefusesImpossibleStreams)
    {
        TempDir dir;
        const std::string path = dir.file("m.qmv");
        ASSERT_TRUE(writeMovie(path, 16, 8, qmv::typeDXT1, 2, 0));
        std::string bytes = dir.readFile("m.qmv");
        putU32(bytes, 532 + GetParam().at, GetParam().value);
        dir.writeFile("m.qmv", bytes);
        LogRecorder log;
        QMVVideoFormat format;
        EXPECT_EQ(format.createReaderFor(File(path)), nullptr);
        EXPECT_EQ(log.count(logError), 1u) << log.dump();
    }

    INSTANTIATE_TEST_SUITE_P(Files, QMVReaderOpenTest,
                             testing::Values(OpenCase{"FpsZero", 4, 0}, OpenCase{"FpsNaN", 4, 0x7FC00000u},
                                             OpenCase{"FpsNegative", 4, 0xBF800000u},
                                             OpenCase{"FpsInfinite", 4, 0x7F800000u},
                                             OpenCase{"ZeroWidth", 0, 0x00080000u},
                                             OpenCase{"WidthPastSixteenBits", 0, 0x0008FFF9u}),
                             [](const testing::TestParamInfo<OpenCase>& info) { return std::string(info.param.name); });
}
