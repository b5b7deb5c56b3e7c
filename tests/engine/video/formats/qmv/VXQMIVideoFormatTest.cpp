#include "engine/video/formats/VXQMIVideoFormat.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/parameters/VXParamChoice.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/formats/VXQMIVideoFormatReader.h"
#include "engine/video/formats/VXQMIVideoFormatWriter.h"
#include "engine/video/formats/qmv/VXQMVTestFiles.h"
#include "support/VXLogRecorder.h"
#include "support/VXTempDir.h"

// QMI images: the 16-byte header, what the reader makes of it, and files it
// refuses. Decoding and uploading are in the GL suite.

namespace vx::test
{
    using namespace qmvfiles;

    namespace
    {
        std::string writeImage(TempDir& dir, const std::string& name, int w, int h, int type, unsigned seed)
        {
            Codec codec(type, w, h);
            File file(dir.file(name));
            QMIVideoFormat format;
            std::unique_ptr<VideoFormatWriter> writer(
                format.createWriterFor(file, 25.0, unsigned(codec.settings.bytesPerPixel), unsigned(w), unsigned(h),
                                       0, codec.settings));
            EXPECT_NE(writer, nullptr);
            if (writer != nullptr)
            {
                EXPECT_TRUE(writer->write(makePicture(w, h, seed)));
            }
            return dir.readFile(name);
        }
    }

    TEST(QMIVideoFormatTest, EachWriteReplacesTheFileBehindA16ByteHeader)
    {
        TempDir dir;
        const int w = 36, h = 20;
        Codec codec(qmv::typeDXT5, w, h);
        File file(dir.file("still.qmi"));
        QMIVideoFormatWriter writer(file, 25.0f, 4, w, h, codec.settings);
        ASSERT_TRUE(writer.isReady());
        ASSERT_TRUE(writer.write(makePicture(w, h, 0)));
        ASSERT_TRUE(writer.write(makePicture(w, h, 3)));
        const std::string bytes = dir.readFile("still.qmi");
        EXPECT_EQ(bytes.substr(0, 8), std::string("MIMQ\1\0\0\0", 8));
        EXPECT_EQ(u32At(bytes, 8), unsigned(w));
        EXPECT_EQ(u32At(bytes, 12), unsigned(h));
        const Bytes frame(bytes.begin() + 16, bytes.end());
        EXPECT_EQ(frame, compressPicture(*makePicture(w, h, 3), qmv::typeDXT5)) << "only the latest image";
        EXPECT_EQ(u32At(bytes, 16 + 8) + 12u, bytes.size() - 16) << "the payload runs to the end";
    }

    TEST(QMIVideoFormatTest, ReaderFacts)
    {
        TempDir dir;
        writeImage(dir, "still.qmi", 36, 20, qmv::typeDXT5, 1);
        QMIVideoFormat format;
        std::unique_ptr<VideoFormatReader> reader(format.createReaderFor(File(dir.file("still.qmi"))));
        ASSERT_NE(reader, nullptr);
        EXPECT_EQ(reader->getCodecName(), "QMI: QMV 3.0 Normal Quality, With Alpha");
        EXPECT_EQ(reader->getTextureWidth(), 48);
        EXPECT_EQ(reader->getTextureHeight(), 32);
        EXPECT_EQ(reader->getTotalFrames(), 1u);
        EXPECT_EQ(reader->getFps(), 30.0);
        EXPECT_EQ(reader->getLength(), 1000.0);
        EXPECT_TRUE(reader->isFlipped());
        EXPECT_TRUE(reader->getHasAlpha());
        EXPECT_FALSE(reader->needsShader());
        EXPECT_EQ(reader->getAlphaType().getValue(), 2);
        ASSERT_NE(reader->getTextureFormat(), nullptr);
        EXPECT_EQ(*reader->getTextureFormat(), Texture::DXT5_RGBA);
    }

    struct BadImageCase
    {
        const char* name;
        std::size_t size; // the file cut to this many bytes (0: kept)
        std::size_t at;   // and this u32 replaced (0: none)
        std::uint32_t value;
    };

    class QMIBadFileTest : public testing::TestWithParam<BadImageCase>
    {
    };

    TEST_P(QMIBadFileTest, GivesNoReader)
    {
        TempDir dir;
        std::string bytes = writeImage(dir, "still.qmi", 36, 20, qmv::typeDXT1, 1);
        const BadImageCase& c = GetParam();
        if (c.size != 0)
            bytes.resize(c.size);
        if (c.at != 0 || c.value != 0)
            putU32(bytes, c.at, c.value);
        dir.writeFile("still.qmi", bytes);
        LogRecorder log;
        QMIVideoFormat format;
        EXPECT_EQ(format.createReaderFor(File(dir.file("still.qmi"))), nullptr);
        EXPECT_EQ(log.count(logError), 1u) << log.dump();
    }

    INSTANTIATE_TEST_SUITE_P(Files, QMIBadFileTest,
                             testing::Values(BadImageCase{"MagicOnly", 4, 0, 0}, BadImageCase{"HeaderOnly", 16, 0, 0},
                                             BadImageCase{"FrameHeaderCut", 27, 0, 0},
                                             BadImageCase{"WrongMagic", 0, 0, 0x514D494Eu},
                                             BadImageCase{"ZeroWidth", 0, 8, 0},
                                             BadImageCase{"WidthPastSixteenBits", 0, 8, 70000}),
                             [](const testing::TestParamInfo<BadImageCase>& info) { return std::string(info.param.name); });

    TEST(QMIVideoFormatTest, InitRefusesAFileReplacedByAnotherImage)
    {
        TempDir dir;
        writeImage(dir, "still.qmi", 36, 20, qmv::typeDXT1, 1);
        QMIVideoFormatReader reader{File(dir.file("still.qmi"))};
        ASSERT_TRUE(reader.isOpened());
        // A DXT5 image of the same size now: its blocks are twice those opened.
        writeImage(dir, "still.qmi", 36, 20, qmv::typeDXT5, 1);
        LogRecorder log;
        EXPECT_FALSE(reader.init(0, 0));
        EXPECT_FALSE(reader.readFrame(0.0));
        EXPECT_TRUE(log.contains("no longer holds")) << log.dump();
        // A file grown past what its image can need is not read whole.
        std::string bytes = writeImage(dir, "still.qmi", 36, 20, qmv::typeDXT1, 1);
        dir.writeFile("still.qmi", bytes + std::string(100000, 'x'));
        EXPECT_FALSE(reader.init(0, 0));
    }

    TEST(QMIVideoFormatTest, WritersRefuseSixteenBytesAndOtherSizes)
    {
        TempDir dir;
        QMIVideoFormat format;
        Codec codec(qmv::typeDXT1, 16, 16);
        File file(dir.file("x.qmi"));
        LogRecorder log;
        EXPECT_EQ(format.createWriterFor(file, 25.0, 16, 16, 16, 0, codec.settings), nullptr);
        QMIVideoFormatWriter writer(file, 25.0f, 4, 16, 16, codec.settings);
        ASSERT_TRUE(writer.isReady());
        EXPECT_FALSE(writer.write(makePicture(16, 12, 0)));
        EXPECT_FALSE(File(dir.file("x.qmi")).exists()) << "nothing written for a refused image";
        File unwritable(dir.file("no/such/x.qmi"));
        QMIVideoFormatWriter nowhere(unwritable, 25.0f, 4, 16, 16, codec.settings);
        EXPECT_FALSE(nowhere.write(makePicture(16, 16, 0)));
        EXPECT_EQ(log.count(logError), 3u) << log.dump();
    }
}
