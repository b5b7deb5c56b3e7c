#include "engine/video/formats/VXQMVVideoFormatWriter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "core/VXOutputStream.h"
#include "core/VXScopedPointer.h"
#include "engine/video/formats/VXImageUtils.h"
#include "engine/video/formats/VXQMVFileFormat.h"
#include "engine/video/formats/VXQMVVideoFormatReader.h"
#include "engine/video/formats/qmv/VXQMVTestFiles.h"
#include "support/VXLogRecorder.h"
#include "support/VXTempDir.h"

// Audio appended to and extracted from finished movies, and thumbnails
// extracted, checked in the file's own bytes.

namespace vx::test
{
    using namespace qmvfiles;

    namespace
    {
        // A finished 16 x 8 movie of two frames: the video information at 532.
        constexpr std::size_t videoInfoAt = 20 + 16 * 8 * 4;

        std::string makeMovie(TempDir& dir, const std::string& name)
        {
            const std::string path = dir.file(name);
            EXPECT_TRUE(writeMovie(path, 16, 8, qmv::typeDXT1, 2, 0));
            return path;
        }
    }

    struct ExtensionCase
    {
        const char* name;
        const char* audioName;
        const char* stored; // the four bytes
        const char* extracted;
    };

    class QMVAudioTest : public testing::TestWithParam<ExtensionCase>
    {
    };

    TEST_P(QMVAudioTest, IsAppendedAndExtracted)
    {
        const ExtensionCase& c = GetParam();
        TempDir dir;
        const std::string movie = makeMovie(dir, "clip.qmv");
        const std::string before = dir.readFile("clip.qmv");
        std::string audio;
        for (int i = 0; i < 3000; ++i)
            audio += char(i * 31 + 7);
        dir.writeFile(c.audioName, audio);

        ASSERT_TRUE(QMVVideoFormatWriter::appendAudioFile(File(movie), File(dir.file(c.audioName))));
        const std::string after = dir.readFile("clip.qmv");
        ASSERT_EQ(after.size(), before.size() + audio.size());
        EXPECT_EQ(after.substr(before.size()), audio);
        EXPECT_EQ(u32At(after, videoInfoAt + 16), before.size());
        EXPECT_EQ(u32At(after, videoInfoAt + 20), audio.size());
        EXPECT_EQ(after.substr(videoInfoAt + 24, 4), std::string(c.stored, 4));
        EXPECT_EQ(after.substr(videoInfoAt + 28), before.substr(videoInfoAt + 28, before.size() - videoInfoAt - 28) + audio);
        EXPECT_TRUE(QMVVideoFormatReader(File(movie)).getHasAudio());

        ASSERT_TRUE(QMVVideoFormatWriter::extractAudioFile(File(movie)));
        EXPECT_EQ(dir.readFile(c.extracted), audio);
    }

    INSTANTIATE_TEST_SUITE_P(Extensions, QMVAudioTest,
                             testing::Values(ExtensionCase{"FourCharacters", "song.flac", "flac", "clip.flac"},
                                             ExtensionCase{"ThreeCharacters", "song.wav", "wav\0", "clip.wav"},
                                             ExtensionCase{"LongerIsCut", "song.aiffc", "aiff", "clip.aiff"}),
                             [](const testing::TestParamInfo<ExtensionCase>& info) { return std::string(info.param.name); });

    TEST(QMVToolsTest, AudioGoesOnlyIntoFinishedMoviesWithinFourGiB)
    {
        TempDir dir;
        const std::string movie = makeMovie(dir, "clip.qmv");
        std::string bytes = dir.readFile("clip.qmv");
        const std::string audioPath = dir.writeFile("a.wav", std::string(100, 'a'));
        LogRecorder log;

        bytes[12] = 0; // a recording that never finished
        dir.writeFile("clip.qmv", bytes);
        EXPECT_FALSE(QMVVideoFormatWriter::appendAudioFile(File(movie), File(audioPath)));
        EXPECT_EQ(dir.readFile("clip.qmv"), bytes) << "unchanged";

        bytes[12] = 1;
        dir.writeFile("clip.qmv", bytes);
        EXPECT_FALSE(QMVVideoFormatWriter::appendAudioFile(File(movie), File(dir.file("missing.wav"))));
        dir.writeFile("empty.wav", "");
        EXPECT_FALSE(QMVVideoFormatWriter::appendAudioFile(File(movie), File(dir.file("empty.wav"))));

        // 4 GiB of audio, sparse: refused before a byte is copied.
        const std::string huge = dir.file("huge.wav");
        FILE* handle = std::fopen(huge.c_str(), "wb");
        ASSERT_NE(handle, nullptr);
        ASSERT_EQ(ftruncate(fileno(handle), 0x100000000ll), 0);
        std::fclose(handle);
        EXPECT_FALSE(QMVVideoFormatWriter::appendAudioFile(File(movie), File(huge)));
        EXPECT_TRUE(log.contains("4 GiB")) << log.dump();
        EXPECT_EQ(dir.readFile("clip.qmv"), bytes) << "unchanged";
        EXPECT_FALSE(QMVVideoFormatWriter::extractAudioFile(File(movie))) << "no audio";
    }

    struct StoredExtensionCase
    {
        const char* name;
        const char* stored;
        const char* extracted; // "" when refused
    };

    class QMVExtractAudioTest : public testing::TestWithParam<StoredExtensionCase>
    {
    };

    TEST_P(QMVExtractAudioTest, NamesTheOutputSafely)
    {
        const StoredExtensionCase& c = GetParam();
        TempDir dir;
        const std::string movie = makeMovie(dir, "clip.qmv");
        ASSERT_TRUE(QMVVideoFormatWriter::appendAudioFile(File(movie), File(dir.writeFile("a.wav", "sound"))));
        std::string bytes = dir.readFile("clip.qmv");
        bytes.replace(videoInfoAt + 24, 4, c.stored, 4);
        dir.writeFile("clip.qmv", bytes);

        LogRecorder log;
        const bool extracted = QMVVideoFormatWriter::extractAudioFile(File(movie));
        EXPECT_EQ(dir.readFile("clip.qmv"), bytes) << "the movie is never overwritten";
        if (std::string(c.extracted).empty())
        {
            EXPECT_FALSE(extracted);
            EXPECT_EQ(log.count(logError), 1u) << log.dump();
        }
        else
        {
            EXPECT_TRUE(extracted);
            EXPECT_EQ(dir.readFile(c.extracted), "sound");
        }
    }

    INSTANTIATE_TEST_SUITE_P(Names, QMVExtractAudioTest,
                             testing::Values(StoredExtensionCase{"TheMoviesOwn", "qmv\0", ""},
                                             StoredExtensionCase{"TheMoviesOwnUpperCase", "QMV\0", ""},
                                             StoredExtensionCase{"Separators", "../x", "clip.x"},
                                             StoredExtensionCase{"OnlySeparators", "/../", ""}),
                             [](const testing::TestParamInfo<StoredExtensionCase>& info) { return std::string(info.param.name); });

    TEST(QMVToolsTest, ExtractingCutAudioFails)
    {
        TempDir dir;
        const std::string movie = makeMovie(dir, "clip.qmv");
        ASSERT_TRUE(QMVVideoFormatWriter::appendAudioFile(File(movie), File(dir.writeFile("a.wav", "sound"))));
        std::string bytes = dir.readFile("clip.qmv");
        bytes.resize(bytes.size() - 2);
        dir.writeFile("clip.qmv", bytes);
        EXPECT_FALSE(QMVVideoFormatWriter::extractAudioFile(File(movie)));
    }

    TEST(QMVToolsTest, ThumbnailIsExtractedAsPng)
    {
        TempDir dir;
        const std::string movie = makeMovie(dir, "clip.qmv");
        ASSERT_TRUE(QMVVideoFormatWriter::extractThumbnail(File(movie)));
        unsigned long w = 0, h = 0;
        int channels = 0;
        unsigned char* png = ImageUtils::imageFromFile(File(dir.file("clip.png")), &w, &h, &channels, 4);
        ASSERT_NE(png, nullptr);
        ASSERT_EQ(w, 16u);
        ASSERT_EQ(h, 8u);
        const auto first = makePicture(16, 8, 0);
        EXPECT_EQ(Bytes(png, png + 16 * 8 * 4), Bytes(first->data, first->data + 16 * 8 * 4));
        std::free(png);

        // A finished movie with a 0 x 0 thumbnail has none to extract.
        QMVFileFormat record;
        record.header.complete = true;
        {
            ScopedPointer<OutputStream> out(File(dir.file("bare.qmv")).createOutputStream(true, true));
            ASSERT_TRUE(record.write(*out));
        }
        EXPECT_FALSE(QMVVideoFormatWriter::extractThumbnail(File(dir.file("bare.qmv"))));
        EXPECT_FALSE(File(dir.file("bare.png")).exists());
    }
}
