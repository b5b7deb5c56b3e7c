#include "engine/video/formats/VXQMVFileFormat.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/VXInputStream.h"
#include "core/VXOutputStream.h"
#include "core/VXScopedPointer.h"
#include "engine/video/formats/qmv/VXQMVTestFiles.h"
#include "support/VXTempDir.h"

// The containers' bytes, parsed here by hand rather than by the record code:
// what the writer lays down, and which damaged files the records refuse.

namespace vx::test
{
    using namespace qmvfiles;

    namespace
    {
        // An output stream that only counts, at any 64-bit position.
        class CountingStream : public OutputStream
        {
        public:
            void setPosition(unsigned long long at) override { position = at; }
            unsigned long long writeBytes(const void*, unsigned long long count) override
            {
                position += count;
                return count;
            }
            long long getPosition() const override { return (long long)(position); }
            unsigned long long position = 0;
        };

        bool readRecord(const std::string& path, QMVFileFormat& record)
        {
            ScopedPointer<InputStream> stream(File(path).createInputStream(true));
            return stream.get() != nullptr && record.read(*stream);
        }
    }

    TEST(QMVFileFormatTest, DirectRecordingLaysDownHeaderThumbnailInformationTableAndFrames)
    {
        TempDir dir;
        const std::string path = dir.file("movie.qmv");
        const int w = 40, h = 24, type = qmv::typeDXT5;
        const unsigned n = 3;
        Codec codec(type, w, h, 29.97);
        std::string before;
        {
            File file(path);
            QMVVideoFormatWriter writer(file, 29.97f, 4, w, h, codec.settings, n);
            ASSERT_TRUE(writer.isReady());
            before = dir.readFile("movie.qmv");
            for (unsigned i = 0; i < n; ++i)
                ASSERT_TRUE(writer.write(makePicture(w, h, i)));
            ASSERT_TRUE(writer.endRecording());
        }
        const std::string after = dir.readFile("movie.qmv");
        const std::string header("RQMV\0\0\0\0\1\0\0\0", 12);
        ASSERT_GE(before.size(), 16u);
        EXPECT_EQ(before.substr(0, 12), header);
        EXPECT_EQ(before.substr(12, 4), std::string("\0\0\0\0", 4)) << "incomplete while recording";
        EXPECT_EQ(after.substr(0, 12), header);
        EXPECT_EQ(after.substr(12, 4), std::string("\1\0\0\0", 4));

        EXPECT_EQ(u16At(after, 16), w);
        EXPECT_EQ(u16At(after, 18), h);
        const auto first = makePicture(w, h, 0);
        EXPECT_EQ(after.compare(20, std::size_t(w) * h * 4, reinterpret_cast<const char*>(first->data),
                                std::size_t(w) * h * 4),
                  0);

        const std::size_t t = 20 + std::size_t(4) * w * h;
        EXPECT_EQ(u16At(after, t), w);
        EXPECT_EQ(u16At(after, t + 2), h);
        EXPECT_FLOAT_EQ(f32At(after, t + 4), 29.97f);
        EXPECT_EQ(u32At(after, t + 16), 0u) << "no audio";
        EXPECT_EQ(u32At(after, t + 20), 0u);
        EXPECT_EQ(after.substr(t + 24, 4), std::string(4, '\0'));
        ASSERT_EQ(u32At(after, t + 28), n);

        std::size_t expectedOffset = t + 32 + 8 * n;
        for (unsigned i = 0; i < n; ++i)
        {
            const std::uint32_t offset = u32At(after, t + 32 + 8 * i), size = u32At(after, t + 36 + 8 * i);
            EXPECT_EQ(offset, expectedOffset) << i;
            ASSERT_LE(std::size_t(offset) + size, after.size());
            const Bytes frame(after.begin() + offset, after.begin() + offset + size);
            EXPECT_EQ(frame, compressPicture(*makePicture(w, h, i), type)) << i;
            expectedOffset += size;
            if (i == 0)
            {
                // The FourCC as the first frame's header stores it, then its versions.
                EXPECT_EQ(after.substr(t + 8, 4), after.substr(offset, 4));
                EXPECT_EQ(u16At(after, t + 12), std::uint8_t(after[offset + 4]));
                EXPECT_EQ(u16At(after, t + 14), std::uint8_t(after[offset + 5]));
                EXPECT_EQ(after.substr(offset, 4), "5TXD");
            }
        }
        EXPECT_EQ(expectedOffset, after.size());
    }

    TEST(QMVFileFormatTest, AnEmptyThumbnailPutsTheVideoInformationAt20)
    {
        TempDir dir;
        QMVFileFormat record;
        record.videoInfo.width = 7;
        record.audioInfo.extension[0] = 'w';
        {
            ScopedPointer<OutputStream> out(File(dir.file("empty.qmv")).createOutputStream(true, true));
            ASSERT_TRUE(record.write(*out));
        }
        const std::string bytes = dir.readFile("empty.qmv");
        ASSERT_EQ(bytes.size(), 16u + 4 + 16 + 12 + 4);
        EXPECT_EQ(u32At(bytes, 16), 0u);
        EXPECT_EQ(u16At(bytes, 20), 7);
        EXPECT_EQ(bytes[20 + 16 + 8], 'w');

        QMVFileFormat back;
        ASSERT_TRUE(readRecord(dir.file("empty.qmv"), back));
        EXPECT_EQ(back.frameTable.count, 0u);
        unsigned char buffer[16];
        ScopedPointer<InputStream> in(File(dir.file("empty.qmv")).createInputStream(true));
        EXPECT_FALSE(back.readFrame(*in, 0, buffer, sizeof buffer));
    }

    struct DamageCase
    {
        const char* name;
        std::size_t at; // where the u32 goes; the file is cut there when cut is set
        std::uint32_t value;
        bool cut;
    };

    class QMVFileDamageTest : public testing::TestWithParam<DamageCase>
    {
    };

    // A 2-frame 16 x 8 movie: thumbnail 512 bytes, T = 532, table at 564.
    TEST_P(QMVFileDamageTest, IsRefused)
    {
        TempDir dir;
        const std::string path = dir.file("m.qmv");
        ASSERT_TRUE(writeMovie(path, 16, 8, qmv::typeDXT1, 2, 0));
        std::string bytes = dir.readFile("m.qmv");
        QMVFileFormat record;
        ASSERT_TRUE(readRecord(path, record));

        const DamageCase& c = GetParam();
        if (c.cut)
            bytes.resize(c.at);
        else
            putU32(bytes, c.at, c.value);
        dir.writeFile("m.qmv", bytes);
        EXPECT_FALSE(readRecord(path, record));
    }

    INSTANTIATE_TEST_SUITE_P(
        Files, QMVFileDamageTest,
        testing::Values(DamageCase{"WrongMagic", 0, 0x564D5151u, false}, DamageCase{"OneIsTwo", 8, 2, false},
                        DamageCase{"ZeroFieldSet", 4, 1, false},
                        // 65535 x 65535 thumbnail: 17 GB claimed by a small file.
                        DamageCase{"HugeThumbnail", 16, 0xFFFFFFFFu, false},
                        DamageCase{"HugeTable", 532 + 28, 1u << 29, false},
                        DamageCase{"OffsetPastEnd", 564, 0xFFFFFF00u, false},
                        DamageCase{"SizePastEnd", 568, 0x7FFFFFFFu, false}, DamageCase{"CutInHeader", 10, 0, true},
                        DamageCase{"CutInThumbnail", 300, 0, true}, DamageCase{"CutInTable", 566, 0, true},
                        DamageCase{"CutInFrames", 590, 0, true}),
        [](const testing::TestParamInfo<DamageCase>& info) { return std::string(info.param.name); });

    TEST(QMVFileFormatTest, ReadFrameNeedsTheWholeFrameToFit)
    {
        TempDir dir;
        const std::string path = dir.file("m.qmv");
        ASSERT_TRUE(writeMovie(path, 16, 8, qmv::typeDXT5, 2, 0));
        QMVFileFormat record;
        ASSERT_TRUE(readRecord(path, record));
        const unsigned size = record.frameTable.entries[1].size;
        ScopedPointer<InputStream> in(File(path).createInputStream(true));
        Bytes buffer(size, 0xAB);
        EXPECT_FALSE(record.readFrame(*in, 1, buffer.data(), size - 1));
        EXPECT_EQ(buffer, Bytes(size, 0xAB)) << "nothing read";
        ASSERT_TRUE(record.readFrame(*in, 1, buffer.data(), size));
        EXPECT_EQ(buffer, compressPicture(*makePicture(16, 8, 1), qmv::typeDXT5));
        EXPECT_FALSE(record.readFrame(*in, 2, buffer.data(), size));
    }

    TEST(QMVFileFormatTest, FramesPastTheThirtyTwoBitOffsetsAreRefused)
    {
        QMVFileFormat record;
        record.frameTable.count = 2;
        record.frameTable.entries.resize(2);
        CountingStream stream;
        const unsigned char frame[100] = {};
        stream.position = 0xFFFFFFFFull - 100;
        EXPECT_TRUE(record.writeFrame(stream, 0, frame, 100));
        EXPECT_EQ(record.frameTable.entries[0].offset, 0xFFFFFFFFu - 100);
        const unsigned long long before = stream.position;
        EXPECT_FALSE(record.writeFrame(stream, 1, frame, 1));
        EXPECT_EQ(stream.position, before) << "nothing written";
        stream.position = 0x100000000ull;
        EXPECT_FALSE(record.writeFrame(stream, 1, frame, 0));
        EXPECT_FALSE(record.writeFrame(stream, 2, frame, 1)) << "outside the table";
    }
}
