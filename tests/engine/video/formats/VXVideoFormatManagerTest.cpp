#include "engine/video/formats/VXVideoFormatManager.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/VXTaskManager.h"
#include "core/parameters/VXParam.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamView.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/formats/VXFakeReaders.h"
#include "engine/video/formats/VXSelfTimedVideoFormatReader.h"
#include "engine/video/formats/VXSequentialBlockFramesBufferer.h"
#include "engine/video/formats/VXSingleFrameBufferer.h"
#include "engine/video/formats/VXPixels.h"
#include "engine/video/formats/VXQMIVideoFormat.h"
#include "engine/video/formats/VXQMVVideoFormat.h"
#include "engine/video/formats/VXVideoFormat.h"
#include "support/VXTempDir.h"

namespace vx::test
{
    namespace
    {
        // A task manager named current for the test's length.
        class ScopedTaskManager
        {
        public:
            explicit ScopedTaskManager(unsigned char threads) : manager(threads) { TaskManager::setCurrent(&manager); }
            ~ScopedTaskManager() { TaskManager::setCurrent(nullptr); }
            TaskManager manager;
        };

        std::string fakeFile(TempDir& dir, const std::string& name, unsigned frames)
        {
            return dir.writeFile(name, std::string(frames, 'x'));
        }
    }

    TEST(VideoFormatManagerTest, RegistersTheFiveFormatsInOrder)
    {
        VideoFormatManager manager;
        ASSERT_EQ(manager.getNumKnownFormats(), 5);
        const char* names[] = {"AV Foundation video file", "Image file", "QMI file", "QMV file", "Quartz Composer "};
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(manager.getKnownFormat(i)->getFormatName(), names[i]);
        EXPECT_EQ(manager.getKnownFormat(-1), nullptr);
        EXPECT_EQ(manager.getKnownFormat(5), nullptr);
        EXPECT_EQ(manager.getWildcardForAllFormats(),
                  "*.mov;*.mp4;*.avi;*.mpg*.png;*.jpg;*.jpeg;*.psd;*.tiff;*.tif;*.gif*.qmi*.qmv*.qtz");
        EXPECT_EQ(manager.getDefaultFormat(), manager.getKnownFormat(0));
        EXPECT_EQ(manager.getKnownFormat(3)->getCodecs(),
                  (std::vector<CodecFourCC>{CodecFourCC(0x514D4449u), CodecFourCC(0x514D4433u)}));
    }

    TEST(VideoFormatManagerTest, BasicFormatMakersAreReplaceable)
    {
        using Basic = VideoFormatManager::BasicFormat;
        VideoFormatManager::setBasicFormatMaker(Basic::QMI, nullptr);
        VideoFormatManager::setBasicFormatMaker(Basic::QMV, [] () -> VideoFormat* { return new QMIVideoFormat(); });
        VideoFormatManager manager;
        VideoFormatManager::setBasicFormatMaker(Basic::QMI, [] () -> VideoFormat* { return new QMIVideoFormat(); });
        VideoFormatManager::setBasicFormatMaker(Basic::QMV, [] () -> VideoFormat* { return new QMVVideoFormat(); });
        ASSERT_EQ(manager.getNumKnownFormats(), 4);
        EXPECT_EQ(manager.getKnownFormat(2)->getFormatName(), "QMI file");
        EXPECT_EQ(manager.getKnownFormat(3)->getFormatName(), "Quartz Composer ");
        EXPECT_EQ(VideoFormatManager().getNumKnownFormats(), 5);
    }

    struct ExtensionCase
    {
        const char* name;
        const char* extension;
        int format; // -1: none
    };

    class FindFormatTest : public ::testing::TestWithParam<ExtensionCase>
    {
    };

    TEST_P(FindFormatTest, FindsTheFirstListContainingTheText)
    {
        VideoFormatManager manager;
        const ExtensionCase& c = GetParam();
        EXPECT_EQ(manager.findFormatForFileExtension(c.extension), manager.getKnownFormat(c.format));
    }

    INSTANTIATE_TEST_SUITE_P(Extensions, FindFormatTest,
                             ::testing::Values(ExtensionCase{"Empty", "", -1}, ExtensionCase{"SubstringMp", "mp", 0},
                                               ExtensionCase{"Png", "png", 1}, ExtensionCase{"Tif", "tif", 1},
                                               ExtensionCase{"Qmv", "qmv", 3}, ExtensionCase{"Qtz", "qtz", 4},
                                               ExtensionCase{"UpperCase", "PNG", 1},
                                               ExtensionCase{"Unknown", "xyz", -1}),
                             [](const auto& info) { return std::string(info.param.name); });

    TEST(VideoFormatManagerTest, CodecsOfAFormat)
    {
        VideoFormatManager manager;
        VideoFormat& qmv = *manager.getKnownFormat(3);
        EXPECT_TRUE(qmv.canHandleFileFormat("QMV", anyCodec));
        EXPECT_TRUE(qmv.canHandleFileFormat("qmv", CodecFourCC(0)));
        EXPECT_TRUE(qmv.canHandleFileFormat("qmv", fourCCFromText("QMD3")));
        EXPECT_FALSE(qmv.canHandleFileFormat("QMV", fourCCFromText("apch")));
        EXPECT_FALSE(qmv.canHandleFileFormat("mov", anyCodec));
        EXPECT_TRUE(manager.getKnownFormat(0)->canHandleFileFormat("mov", fourCCFromText("h264")));
        EXPECT_TRUE(manager.isFileTypeSupported(std::string("tiff")));
        EXPECT_FALSE(manager.isFileTypeSupported(std::string("tif;")));
        EXPECT_FALSE(manager.isFileTypeSupported(std::string("ti")));
    }

    TEST(VideoFormatManagerTest, ADefaultRegisteredInFrontIsTheNewFormat)
    {
        VideoFormatManager manager;
        auto* fake = new FakeFormat();
        manager.registerFormat(fake, true, true);
        EXPECT_EQ(manager.getKnownFormat(0), fake);
        EXPECT_EQ(manager.getDefaultFormat(), fake);

        auto* appended = new FakeFormat("*.other");
        manager.registerFormat(appended, true, false);
        EXPECT_EQ(manager.getDefaultFormat(), appended);
        manager.registerFormat(nullptr, true, false);
        EXPECT_EQ(manager.getNumKnownFormats(), 7);
        manager.clearFormats();
        EXPECT_EQ(manager.getDefaultFormat(), nullptr);
    }

    TEST(VideoFormatReaderTest, DefaultsAndAlphaView)
    {
        TempDir dir;
        FakeBufferableReader reader(File(fakeFile(dir, "a.fake", 3)), 3);
        EXPECT_EQ(reader.getCurrentFrame(), -1);
        EXPECT_EQ(reader.getPosition(), -1.0);
        EXPECT_TRUE(reader.isResizable());
        EXPECT_FALSE(reader.isFlipped());
        EXPECT_EQ(reader.getLoadingThreadMode(), TaskThreadMode::Message);
        EXPECT_EQ(reader.getAlphaType().getValue(), 2);
        EXPECT_EQ(reader.getAlphaType().getNumChoices(), 2u);
        EXPECT_FALSE(reader.getRunsAutonomously().getValue());

        ParamContainer& settings = *reader.getSettings();
        ASSERT_EQ(settings.getNumParams(), 2);
        EXPECT_EQ(settings.getViewForParam(reader.getAlphaType())->getVisibility(), ParamView::visibilityHidden);
        EXPECT_EQ(settings.getViewForParam(reader.getRunsAutonomously())->getVisibility(), ParamView::visibilityHidden);
        reader.setHasAlpha(true);
        EXPECT_EQ(settings.getViewForParam(reader.getAlphaType())->getVisibility(), ParamView::visibilityShown);
        reader.setHasAlpha(false);
        EXPECT_EQ(settings.getViewForParam(reader.getAlphaType())->getVisibility(), ParamView::visibilityHidden);
    }

    TEST(VideoFormatReaderTest, ReadRangeAndTheLastFrame)
    {
        TempDir dir;
        FakeBufferableReader reader(File(fakeFile(dir, "a.fake", 3)), 3);
        ASSERT_EQ(reader.getLength(), 120.0);
        EXPECT_FALSE(reader.read(-0.5));
        EXPECT_FALSE(reader.read(121.0));
        EXPECT_EQ(reader.getPosition(), -1.0);
        EXPECT_EQ(reader.getCurrentFrame(), -1);

        // The length itself lies past the last frame: it selects that frame once.
        EXPECT_TRUE(reader.read(120.0));
        EXPECT_EQ(reader.getCurrentFrame(), 2);
        EXPECT_FALSE(reader.read(120.0));
        EXPECT_EQ(reader.getPosition(), 120.0);
        EXPECT_TRUE(reader.read(40.0));
        EXPECT_EQ(reader.getCurrentFrame(), 1);
        EXPECT_FALSE(reader.read(79.9));
    }

    TEST(VideoFormatReaderTest, FrameRateOnlyForReadersThatAllowIt)
    {
        TempDir dir;
        FakeBufferableReader reader(File(fakeFile(dir, "a.fake", 3)), 3);
        reader.setFrameRate(50.0);
        EXPECT_EQ(reader.getFps(), 25.0);
        EXPECT_EQ(reader.getMsecPerFrame(), 40.0);
    }

    TEST(VideoFormatManagerTest, BuffererChoice)
    {
        TempDir dir;
        ScopedTaskManager tasks(2);
        VideoFormatManager manager;
        manager.registerFormat(new FakeFormat(), false, true);

        std::unique_ptr<VideoFormatReader> five(
            manager.createReaderFor(File(fakeFile(dir, "five.fake", 5)), false, VideoFormatReader::purposePlayback));
        ASSERT_NE(five, nullptr);
        EXPECT_TRUE(five->isBuffering());

        std::unique_ptr<VideoFormatReader> four(
            manager.createReaderFor(File(fakeFile(dir, "four.fake", 4)), false, VideoFormatReader::purposePlayback));
        ASSERT_NE(four, nullptr);
        EXPECT_FALSE(four->isBuffering());
        EXPECT_TRUE(static_cast<FakeBufferableReader&>(*four).hasBufferer());

        // Another purpose leaves the bufferer to the first read.
        std::unique_ptr<VideoFormatReader> thumb(
            manager.createReaderFor(File(fakeFile(dir, "thumb.fake", 9)), false, VideoFormatReader::purposeThumbnail));
        auto& thumbReader = static_cast<FakeBufferableReader&>(*thumb);
        EXPECT_FALSE(thumbReader.hasBufferer());
        EXPECT_TRUE(thumbReader.readFrame(0.0));
        EXPECT_TRUE(thumbReader.hasBufferer());
        EXPECT_FALSE(thumbReader.isBuffering());

        EXPECT_EQ(manager.createReaderFor(File(dir.file("missing.fake")), false, VideoFormatReader::purposePlayback),
                  nullptr);
    }

    TEST(VideoFormatManagerTest, WithoutATaskManagerEveryReaderDecodesOnRequest)
    {
        TempDir dir;
        ASSERT_EQ(TaskManager::getCurrent(), nullptr);
        VideoFormatManager manager;
        manager.registerFormat(new FakeFormat(), false, true);
        std::unique_ptr<VideoFormatReader> reader(
            manager.createReaderFor(File(fakeFile(dir, "many.fake", 20)), false, VideoFormatReader::purposePlayback));
        ASSERT_NE(reader, nullptr);
        EXPECT_FALSE(reader->isBuffering());
        EXPECT_TRUE(reader->read(200.0));
        std::shared_ptr<Pixels> pixels;
        EXPECT_TRUE(reader->updatePixels(pixels));
        ASSERT_NE(pixels, nullptr);
    }

    TEST(VideoFormatManagerTest, BufferingSwitchedOff)
    {
        TempDir dir;
        ScopedTaskManager tasks(1);
        BufferableVideoFormatReader::BUFFERING_ENABLED = false;
        FakeBufferableReader reader(File(fakeFile(dir, "a.fake", 9)), 9);
        EXPECT_FALSE(reader.setBufferer(new SequentialBlockFramesBufferer(1, 3, true, reader)));
        EXPECT_FALSE(reader.isBuffering());
        EXPECT_TRUE(reader.hasBufferer());
        BufferableVideoFormatReader::BUFFERING_ENABLED = true;
        EXPECT_TRUE(reader.setBufferer(new SequentialBlockFramesBufferer(1, 3, true, reader)));
        EXPECT_TRUE(reader.isBuffering());
    }

    TEST(VideoFormatManagerTest, ASequencePlaysInNameOrder)
    {
        TempDir dir;
        dir.makeDirectory("seq");
        for (const char* name : {"seq/c.fake", "seq/a.fake", "seq/d.fake", "seq/b.fake"})
            fakeFile(dir, name, 1);
        VideoFormatManager manager;
        manager.registerFormat(new FakeFormat(), false, true);
        std::unique_ptr<VideoFormatReader> reader(manager.createReaderForImageSequence(File(dir.file("seq"))));
        ASSERT_NE(reader, nullptr);
        auto& fake = static_cast<FakeBufferableReader&>(*reader);
        EXPECT_EQ(fake.getFile().getFileName(), "a.fake");
        ASSERT_EQ(fake.files.size(), 3u);
        EXPECT_EQ(fake.files[0].getFileName(), "b.fake");
        EXPECT_EQ(fake.files[2].getFileName(), "d.fake");
        EXPECT_EQ(manager.createReaderForImageSequence(File(dir.makeDirectory("empty"))), nullptr);
    }

    // Hidden files and names no sequence format lists (whole entries, any
    // case) are no frames; of two kinds as many, the first in name order plays.
    TEST(VideoFormatManagerTest, ASequenceIsTheFoldersPicturesOfOneKind)
    {
        TempDir dir;
        dir.makeDirectory("seq");
        for (const char* name : {"seq/._a.other", "seq/Thumbs.db", "seq/a.fakes", "seq/b.other", "seq/c.FAKE",
                                 "seq/d.fake", "seq/e.OTHER", "seq/.f.fake"})
            fakeFile(dir, name, 1);
        VideoFormatManager manager;
        manager.registerFormat(new FakeFormat("*.fake;*.other"), false, true);
        EXPECT_TRUE(manager.isSequenceFile(File(dir.file("seq/c.FAKE"))));
        EXPECT_FALSE(manager.isSequenceFile(File(dir.file("seq/a.fakes"))));
        EXPECT_FALSE(manager.isSequenceFile(File(dir.file("seq/._a.other"))));
        std::unique_ptr<VideoFormatReader> reader(manager.createReaderForImageSequence(File(dir.file("seq"))));
        ASSERT_NE(reader, nullptr);
        EXPECT_TRUE(reader->isFolderSequence());
        auto& fake = static_cast<FakeBufferableReader&>(*reader);
        EXPECT_EQ(fake.getFile().getFileName(), "b.other");
        ASSERT_EQ(fake.files.size(), 1u);
        EXPECT_EQ(fake.files[0].getFileName(), "e.OTHER");
    }

    TEST(BufferableVideoFormatReaderTest, UploadsWithoutAFrameAnswerFalse)
    {
        TempDir dir;
        FakeBufferableReader reader(File(fakeFile(dir, "a.fake", 3)), 3);
        Texture texture;
        std::shared_ptr<Pixels> pixels;
        // No bufferer, then no current frame: nothing to release, no lock left held.
        EXPECT_FALSE(reader.updateTexture(&texture));
        EXPECT_FALSE(reader.updatePixels(pixels));
        reader.setBufferer(new SingleFrameBufferer(reader));
        EXPECT_FALSE(reader.updatePixels(pixels));
        EXPECT_EQ(pixels, nullptr);

        // A frame that failed to decode is dropped.
        reader.failDecodes = true;
        EXPECT_TRUE(reader.read(40.0));
        EXPECT_FALSE(reader.updatePixels(pixels));
        EXPECT_EQ(reader.getCurrentFrame(), -1);
        reader.failDecodes = false;
        EXPECT_TRUE(reader.read(40.0));
        ASSERT_TRUE(reader.updatePixels(pixels));
        EXPECT_EQ(pixels->data[0], 2);
        EXPECT_EQ(pixels->width, 4);
    }

    TEST(BufferableVideoFormatReaderTest, RandomPlayParksTheBlockBuffererOnce)
    {
        TempDir dir;
        ScopedTaskManager tasks(2);
        FakeBufferableReader reader(File(fakeFile(dir, "a.fake", 9)), 9);
        reader.setBufferer(new SequentialBlockFramesBufferer(1, 3, true, reader));
        ASSERT_TRUE(reader.read(0.0));
        reader.setPlaybackDirection(playRandom);
        EXPECT_FALSE(reader.isBuffering());
        EXPECT_TRUE(reader.hasParkedBufferer());
        reader.setPlaybackDirection(playRandom);
        reader.setPlaybackDirection(static_cast<ParamPlayDirection>(4));
        reader.setPlaybackDirection(playForward);
        EXPECT_TRUE(reader.isBuffering());
        EXPECT_FALSE(reader.hasParkedBufferer());
        std::shared_ptr<Pixels> pixels;
        ASSERT_TRUE(reader.updatePixels(pixels));
        EXPECT_EQ(pixels->data[0], 1);

        reader.setupForThumbnailing();
        EXPECT_FALSE(reader.isBuffering());
        EXPECT_FALSE(reader.overlapping);
        reader.doneThumbnailing();
        EXPECT_TRUE(reader.isBuffering());
    }

    namespace
    {
        struct PlayerRecord
        {
            bool played = false, stopped = false;
            long requested = -1;
            float speed = -1.0f;
            int direction = -1;
        };

        class FakePlayer : public SelfTimedPlayer
        {
        public:
            explicit FakePlayer(PlayerRecord& r) : record(r) {}
            void initGL() override {}
            unsigned char* getCurrentFrame() override { return nullptr; }
            void releaseFrame() override {}
            bool fillTexture(Texture&) override { return fillAnswer; }
            bool isValid() const override { return true; }
            bool isPlaying() const override { return record.played; }
            unsigned getNumFrames() const override { return 50; }
            double getNominalFrameRate() const override { return 25.0; }
            std::uint32_t getCodecFourCC() const override { return fourCCFromText("h264").getCode() + 5; }
            std::int64_t getDuration() const override { return 20000000; }
            void setRequestedFrame(long frame) override { record.requested = frame; }
            bool setDirection(ParamPlayDirection d) override
            {
                record.direction = int(d);
                return true;
            }
            void setSpeed(float s) override { record.speed = s; }
            int getWidth() const override { return 64; }
            int getHeight() const override { return 32; }
            bool hasAudio() const override { return false; }
            void play() override { record.played = true; }
            void pause() override {}
            void stop() override { record.stopped = true; }
            void skipToFrame(long) override {}
            bool canScrub() const override { return true; }
            bool canFastForward() const override { return true; }
            bool canRewind() const override { return true; }

            PlayerRecord& record;
            bool fillAnswer = true;
        };

        class FakeSelfTimedReader : public SelfTimedVideoFormatReader
        {
        public:
            FakeSelfTimedReader(const File& file, PlayerRecord& r) : SelfTimedVideoFormatReader(file, "Fake", "AVF"), record(r) {}
            SelfTimedPlayer* createPlayerFromPath(const char*) override { return new FakePlayer(record); }
            PlayerRecord& record;
        };
    }

    TEST(SelfTimedVideoFormatReaderTest, TakesThePlayersFactsAndForgetsItOnRelease)
    {
        PlayerRecord record;
        FakeSelfTimedReader reader(File("/nowhere/movie.mov"), record);
        EXPECT_EQ(reader.getTotalFrames(), 0u);
        EXPECT_FALSE(reader.readFrame(0.0));
        ASSERT_TRUE(reader.init(0, 0));
        EXPECT_EQ(reader.getCodecName(), "AVF MPEG-2");
        EXPECT_EQ(reader.getLength(), 2000.0);
        EXPECT_EQ(reader.getTotalFrames(), 50u);
        EXPECT_TRUE(reader.isFlipped());
        EXPECT_TRUE(reader.readFrame(81.0));
        EXPECT_EQ(record.requested, 2);
        EXPECT_TRUE(record.played);
        Texture texture;
        EXPECT_TRUE(reader.updateTexture(&texture));

        reader.release();
        EXPECT_TRUE(record.stopped);
        EXPECT_EQ(reader.getTotalFrames(), 0u);
        EXPECT_EQ(reader.getFrame(), nullptr);
        reader.releaseFrame();
        EXPECT_FALSE(reader.updateTexture(&texture));
        EXPECT_EQ(SelfTimedVideoFormatReader::getCodecDisplayName(fourCCFromText("apch").getCode()), "PRORES HQ");
        EXPECT_EQ(SelfTimedVideoFormatReader::getCodecDisplayName(fourCCFromText("h264").getCode() + 13), "");
    }

    // What the reader was told before init reaches the player init makes; a
    // new direction has the play head's frame asked for again.
    TEST(SelfTimedVideoFormatReaderTest, KeepsSpeedAndDirectionForTheNextPlayerAndAsksAgainOnANewDirection)
    {
        PlayerRecord record;
        FakeSelfTimedReader reader(File("/nowhere/movie.mov"), record);
        reader.setPlaybackSpeed(0.5f);
        reader.setPlaybackDirection(playBackward);
        ASSERT_TRUE(reader.init(0, 0));
        EXPECT_EQ(record.speed, 0.5f);
        EXPECT_EQ(record.direction, int(playBackward));

        ASSERT_TRUE(reader.readFrame(81.0));
        EXPECT_FALSE(reader.readFrame(81.0));
        record.requested = -1;
        reader.setPlaybackDirection(playPause);
        EXPECT_EQ(record.direction, int(playPause));
        ASSERT_TRUE(reader.readFrame(81.0));
        EXPECT_EQ(record.requested, 2);
        reader.setPlaybackDirection(playPause);
        EXPECT_FALSE(reader.readFrame(81.0));
        reader.release();
    }
}
