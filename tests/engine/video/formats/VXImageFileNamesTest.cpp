// Picture files named as users' tools name them, opened through the format
// registry: sequences numbered without zero-padding ("frame_%d.png" from the
// ffmpeg tool, Windows' "shot (1).png") or past the padding's width play in
// their numbers' order; names in capitals from cameras and Windows get the
// reader the lower-case name gets; only names starting with "._" are twins.

#include "engine/video/formats/VXVideoFormatManager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/VXFile.h"
#include "engine/video/formats/VXGIFTestWriter.h"
#include "engine/video/formats/VXGIFVideoFormatReader.h"
#include "engine/video/formats/VXImageUtils.h"
#include "engine/video/formats/VXPNGImageFormatReader.h"
#include "engine/video/formats/VXPixels.h"
#include "engine/video/formats/VXTIFFImageFormatReader.h"
#include "engine/video/formats/VXTIFFTestWriter.h"
#include "support/VXTempDir.h"

namespace vx::test
{
    namespace
    {
        // A 4 x 2 RGB picture whose red and green carry id.
        std::vector<unsigned char> markedPixels(int id)
        {
            std::vector<unsigned char> bytes;
            for (int i = 0; i < 8; ++i)
                bytes.insert(bytes.end(), {std::uint8_t(id & 0xFF), std::uint8_t(id >> 8), 77});
            return bytes;
        }

        std::string markedPng(TempDir& dir, const std::string& name, int id)
        {
            const std::string path = dir.file(name);
            const std::vector<unsigned char> bytes = markedPixels(id);
            EXPECT_TRUE(ImageUtils::writeToPng(File(path), 4, 2, 3, bytes.data(), 0)) << path;
            return path;
        }

        // The id in the first pixel of the frame a sequence shows at frame
        // index k; -1 when it shows nothing.
        int idAt(VideoFormatReader& reader, int k)
        {
            if (! reader.read((k + 0.5) * reader.getMsecPerFrame()))
                return -1;
            std::shared_ptr<Pixels> pixels;
            if (! reader.updatePixels(pixels) || pixels == nullptr || pixels->data == nullptr)
                return -1;
            return pixels->data[0] | (pixels->data[1] << 8);
        }

        // Ids of every frame in play order.
        std::vector<int> playOrder(VideoFormatReader& reader)
        {
            std::vector<int> ids;
            for (unsigned k = 0; k < reader.getTotalFrames(); ++k)
                ids.push_back(idAt(reader, int(k)));
            return ids;
        }

        std::unique_ptr<VideoFormatReader> sequenceIn(VideoFormatManager& manager, const std::string& folder)
        {
            return std::unique_ptr<VideoFormatReader>(manager.createReaderForImageSequence(File(folder)));
        }

        struct NumberingCase
        {
            const char* name;
            const char* pattern; // printf pattern of frame n's name, n from first
            int first;
        };

        class SequenceNumberingTest : public ::testing::TestWithParam<NumberingCase>
        {
        };
    }

    // Twelve frames named by a pattern: they play in their numbers' order.
    TEST_P(SequenceNumberingTest, PlaysInTheNumbersOrder)
    {
        const NumberingCase& c = GetParam();
        TempDir dir;
        dir.makeDirectory("seq");
        std::vector<int> expected;
        for (int n = c.first; n < c.first + 12; ++n)
        {
            char name[64];
            std::snprintf(name, sizeof name, c.pattern, n);
            markedPng(dir, std::string("seq/") + name, n);
            expected.push_back(n);
        }
        VideoFormatManager manager;
        auto reader = sequenceIn(manager, dir.file("seq"));
        ASSERT_NE(reader, nullptr);
        EXPECT_EQ(playOrder(*reader), expected);
    }

    INSTANTIATE_TEST_SUITE_P(Names, SequenceNumberingTest,
                             ::testing::Values(NumberingCase{"Unpadded", "frame_%d.png", 1},
                                               NumberingCase{"Windows", "shot (%d).png", 1},
                                               NumberingCase{"ZeroPadded", "frame_%04d.png", 0},
                                               NumberingCase{"TwoNumbers", "take2_frame%d.png", 5},
                                               NumberingCase{"Capitals", "FRAME_%d.PNG", 1}),
                             [](const auto& info) { return std::string(info.param.name); });

    // Only a name that starts with "._" is a resource-fork twin (macOS
    // writes one beside each file on FAT volumes and shares); a frame whose
    // name holds "._" further in is a frame like any other.
    TEST(ImageFileNamesTest, OnlyNamesStartingWithDotUnderscoreAreLeftOut)
    {
        TempDir dir;
        dir.makeDirectory("seq");
        std::vector<int> expected;
        for (int n = 1; n <= 4; ++n)
        {
            const std::string name = "take._" + std::to_string(n) + ".png";
            markedPng(dir, "seq/" + name, n);
            dir.writeFile("seq/._" + name, std::string("\x00\x05\x16\x07\x00\x02\x00\x00Mac OS X", 16));
            expected.push_back(n);
        }
        VideoFormatManager manager;
        EXPECT_TRUE(manager.isSequenceFile(File(dir.file("seq/take._1.png"))));
        EXPECT_FALSE(manager.isSequenceFile(File(dir.file("seq/._take._1.png"))));
        auto reader = sequenceIn(manager, dir.file("seq"));
        ASSERT_NE(reader, nullptr);
        EXPECT_EQ(playOrder(*reader), expected);
    }

    // As the ffmpeg tool writes a clip's frames ("frame_%d.png", from 1).
    TEST(ImageFileNamesTest, FramesTheFFmpegToolWrotePlayInItsOrder)
    {
        TempDir dir;
        dir.makeDirectory("frames");
        const std::string command =
            "ffmpeg -v error -y -f lavfi -i \"color=c=black:s=4x2:r=25,format=rgb24,geq=r='N*20':g=0:b=77\" "
            "-frames:v 12 \"" +
            dir.file("frames/frame_%d.png") + "\"";
        ASSERT_EQ(std::system(command.c_str()), 0);
        ASSERT_TRUE(File(dir.file("frames/frame_12.png")).exists());
        VideoFormatManager manager;
        auto reader = sequenceIn(manager, dir.file("frames"));
        ASSERT_NE(reader, nullptr);
        std::vector<int> expected;
        for (int n = 0; n < 12; ++n)
            expected.push_back(n * 20);
        EXPECT_EQ(playOrder(*reader), expected);
    }

    // A "%03d" sequence past frame 999 (1005 frames, most of them links to one
    // file): 1000 follows 999, and 101 follows 100.
    TEST(ImageFileNamesTest, AThreeDigitSequencePast999PlaysInOrder)
    {
        TempDir dir;
        dir.makeDirectory("seq");
        const std::string filler = markedPng(dir, "filler.png", 0);
        const std::vector<int> marked = {99, 100, 101, 102, 998, 999, 1000, 1001, 1004};
        for (int n = 0; n <= 1004; ++n)
        {
            char name[32];
            std::snprintf(name, sizeof name, "seq/frame_%03d.png", n);
            if (std::find(marked.begin(), marked.end(), n) != marked.end())
                markedPng(dir, name, n);
            else
                std::filesystem::create_hard_link(filler, dir.file(name));
        }
        VideoFormatManager manager;
        auto reader = sequenceIn(manager, dir.file("seq"));
        ASSERT_NE(reader, nullptr);
        ASSERT_EQ(reader->getTotalFrames(), 1005u);
        for (int n : marked)
            EXPECT_EQ(idAt(*reader, n), n) << "frame " << n;
    }

    // Files named in capitals get the reader the lower-case name gets, as
    // single files and as a folder's sequence.
    TEST(ImageFileNamesTest, NamesInCapitalsGetTheirFormatsReader)
    {
        TempDir dir;
        RawTiff tiff;
        tiff.width = 4;
        tiff.height = 2;
        tiff.samplesPerPixel = 3;
        tiff.photometric = PHOTOMETRIC_RGB;
        for (int id : {7, 8, 9})
        {
            const std::vector<unsigned char> row = markedPixels(id);
            tiff.rows.assign(2, std::vector<unsigned char>(row.begin(), row.begin() + 12));
            ASSERT_TRUE(writeTiff(dir.file("SCAN_00" + std::to_string(id) + ".TIF"), tiff));
            if (id == 7)
                dir.makeDirectory("scans");
            ASSERT_TRUE(writeTiff(dir.file("scans/SCAN_00" + std::to_string(id) + ".TIF"), tiff));
        }
        VideoFormatManager manager;
        std::unique_ptr<VideoFormatReader> scan(
            manager.createReaderFor(File(dir.file("SCAN_007.TIF")), false, VideoFormatReader::purposePlayback));
        ASSERT_NE(dynamic_cast<TIFFImageFormatReader*>(scan.get()), nullptr) << "SCAN_007.TIF gets no TIFF reader";
        EXPECT_EQ(idAt(*scan, 0), 7);
        auto scans = sequenceIn(manager, dir.file("scans"));
        ASSERT_NE(dynamic_cast<TIFFImageFormatReader*>(scans.get()), nullptr) << "the .TIF folder gets no TIFF reader";
        EXPECT_EQ(playOrder(*scans), (std::vector<int>{7, 8, 9}));

        std::unique_ptr<VideoFormatReader> png(manager.createReaderFor(File(markedPng(dir, "IMG_0001.PNG", 5)), false,
                                                                       VideoFormatReader::purposePlayback));
        ASSERT_NE(dynamic_cast<PNGImageFormatReader*>(png.get()), nullptr);
        EXPECT_EQ(idAt(*png, 0), 5);

        // An animated GIF plays all its frames.
        RawGif gif;
        gif.width = gif.height = 2;
        gif.globalMap = {{0, 0, 0}, {255, 255, 255}};
        gif.frames.resize(2);
        for (RawGifFrame& frame : gif.frames)
        {
            frame.width = frame.height = 2;
            frame.indexes.assign(4, 1);
        }
        ASSERT_TRUE(writeGif(dir.file("LOOP.GIF"), gif));
        std::unique_ptr<VideoFormatReader> loop(
            manager.createReaderFor(File(dir.file("LOOP.GIF")), false, VideoFormatReader::purposePlayback));
        ASSERT_NE(dynamic_cast<GIFVideoFormatReader*>(loop.get()), nullptr);
        EXPECT_EQ(loop->getTotalFrames(), 2u);

        for (const char* name : {"clip.MOV", "clip.MP4", "clip.AVI", "clip.MPG", "IMG_0001.JPG", "IMG_0001.PNG",
                                 "SCAN_001.TIF", "scan.Tiff", "LOOP.GIF", "show.QMV", "still.QMI"})
            EXPECT_TRUE(manager.isFileTypeSupported(File(std::string("/media/card/") + name))) << name;
        EXPECT_TRUE(manager.isFileTypeSupported(std::string("Mov")));
        for (const char* name : {"notes.TXT", "clip.MOVX", "clip.MO", "clip"})
            EXPECT_FALSE(manager.isFileTypeSupported(File(std::string("/media/card/") + name))) << name;
        EXPECT_EQ(manager.findFormatForFileExtension("MP4"), manager.getKnownFormat(0));
    }
}
