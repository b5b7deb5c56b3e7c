#include "VXSourcesTestSupport.h"

#include "core/VXTimeInfo.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamPoints.h"
#include "core/parameters/VXParamRange.h"
#include "core/parameters/VXParamView.h"
#include "core/xml/VXXmlUtils.h"
#include "engine/behaviours/VXBehaviourLFO.h"
#include "engine/behaviours/VXBehaviourTimeline.h"
#include "engine/behaviours/VXBehaviourTimelineSlave.h"
#include "engine/gfx/VXGfxObjectManager.h"
#include "engine/renderpasses/VXRenderPassChain.h"
#include "engine/video/sources/VXVideoFormatReaderSourceExtension.h"
#include "engine/video/sources/VXVideoSourceDataDriver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace vx::test
{
    namespace
    {
        TimeInfo frame(unsigned long long stamp, double time = 0.0)
        {
            TimeInfo info(time);
            info.frameCount = stamp;
            return info;
        }

        std::vector<std::string> childNames(const XmlNode& node)
        {
            std::vector<std::string> names;
            for (const XmlNode* child = node.first_node(); child != nullptr; child = child->next_sibling())
                names.emplace_back(child->name(), child->name_size());
            return names;
        }

        class FixedExtension : public VideoSourceExtension
        {
        public:
            FixedExtension() : VideoSourceExtension(SourceInfo{"n", "d", "ID", "c"}, true) {}
            VideoSource* createSource(XmlState*) override { return nullptr; }
            using VideoSourceExtension::createSource;
            XmlNode* saveSourceToXML(XmlPool& pool, XmlCapable*) override
            {
                return XmlCapable::createNode(pool, "FixedInfo");
            }
        };

        class FixedFactory : public VideoSourceFactory
        {
        public:
            VideoSource* createSource(const std::string&) override { return nullptr; }
            XmlCapable* createSourceFromXML(const XmlNode&) override { return nullptr; }
            XmlNode* saveSourceToXML(XmlPool& pool, XmlCapable*) override
            {
                return XmlCapable::createNode(pool, "CreatorInfo");
            }
        };

        class VideoSourceTest : public ::testing::Test
        {
        protected:
            void SetUp() override { GfxObjectManager::setCurrent(&objects); }
            void TearDown() override
            {
                objects.cleanAll();
                GfxObjectManager::clearCurrent(&objects);
            }
            GfxObjectManager objects;
        };
    }

    TEST_F(VideoSourceTest, ParamsHoldOpacityPositionAndCuePointsWithTheirViews)
    {
        PlainSource source;
        ParamContainer& params = *source.getParams();
        ASSERT_EQ(params.getNumParams(), 3);
        EXPECT_EQ(params.getParam(0)->getName(), "Opacity");
        EXPECT_EQ(params.getParam(1)->getName(), "Position");
        EXPECT_EQ(params.getParam(2)->getName(), "CuePoints");

        const ParamRange& opacity = *source.getOpacityParam();
        EXPECT_EQ(opacity.getValue(), 1.0);
        EXPECT_EQ(opacity.getMinMaxRange().max, 1.0);
        const ParamView* opacityView = params.getViewForParam(opacity);
        ASSERT_NE(opacityView, nullptr);
        EXPECT_EQ(int(opacityView->getControlType()), 11);
        EXPECT_EQ(opacityView->getDisplayUnits(), ParamView::unitsPercent);
        EXPECT_EQ(opacityView->getValueMultiplier(), 100.0);

        const ParamRange& position = *source.getPositionParam();
        EXPECT_EQ(position.getValue(), 0.0);
        EXPECT_EQ(position.getMinMaxRange().max, 5000.0);
        const ParamView* positionView = params.getViewForParam(position);
        ASSERT_NE(positionView, nullptr);
        EXPECT_EQ(int(positionView->getControlType()), 4);
        EXPECT_EQ(int(positionView->getSubType()), 2);
        EXPECT_EQ(int(params.getViewForParam(*source.getCuePoints())->getVisibility()), 2);
        EXPECT_EQ(source.getCuePoints()->getParam(), source.getPositionParam());
        EXPECT_EQ(source.getFrameRate(), -1.0);
        EXPECT_EQ(source.getNumFrames(), -1);
    }

    TEST_F(VideoSourceTest, PlayHeadIsATimelineOfFiveSecondsWithGlobalSpeed)
    {
        PlainSource source;
        auto timeline = std::dynamic_pointer_cast<BehaviourTimeline>(source.getPositionParam()->getBehaviour());
        ASSERT_NE(timeline, nullptr);
        EXPECT_EQ(source.getTimeline(), timeline);
        EXPECT_TRUE(timeline->getGlobalSpeedEnabled());
        EXPECT_TRUE(timeline->getDurationBasedOnParam());
        EXPECT_EQ(timeline->getPlayModeParam()->getValue(), 0);
        EXPECT_EQ(source.getWidth(), 0);
        EXPECT_EQ(source.getHeight(), 0);
        EXPECT_TRUE(source.isResizable());
        EXPECT_EQ(source.getDescription(), "PlainSource");
    }

    TEST_F(VideoSourceTest, UpdatesOncePerFrameStamp)
    {
        PlainSource source;
        // A new source counts as updated at stamp 1 (the stamp of a fresh
        // time record).
        EXPECT_FALSE(source.update(frame(1, 5.0)));
        EXPECT_TRUE(source.speeds.empty());
        source.update(frame(2, 10.0));
        const size_t speeds = source.speeds.size();
        EXPECT_EQ(speeds, 1u);
        EXPECT_FALSE(source.update(frame(2, 20.0)));
        EXPECT_EQ(source.speeds.size(), speeds);
        EXPECT_EQ(source.getLastUpdateTime().time, 10.0);
        source.update(frame(3, 30.0));
        EXPECT_EQ(source.speeds.size(), speeds + 1);
        EXPECT_EQ(source.getLastUpdateTime().time, 30.0);
    }

    TEST_F(VideoSourceTest, SizeChangesOnlyWhenResizableAndTellsOncePerRealChange)
    {
        PlainSource source;
        RecordingListener listener;
        source.addListener(listener, false);
        source.setSize(320, 240);
        source.setSizeInternal(320, 240);
        EXPECT_EQ(listener.get(), std::vector<std::string>{"resized"});
        EXPECT_EQ(source.resizes, (std::vector<std::pair<int, int>>{{320, 240}}));
        EXPECT_EQ(source.getRenderPassChain()->getWidth(), 320);

        source.setResizable(false);
        source.setSize(10, 10);
        EXPECT_EQ(source.getWidth(), 320);
        EXPECT_EQ(listener.get().size(), 1u);
        source.removeListener(listener);

        PlainSource other;
        other.setSize(400, 100);
        EXPECT_FALSE(source.widthOrHeightIsBiggerThan(source));
        EXPECT_TRUE(other.widthOrHeightIsBiggerThan(source));
        // Not wider, but taller.
        EXPECT_TRUE(source.widthOrHeightIsBiggerThan(other));
        other.setSize(100, 240);
        EXPECT_FALSE(other.widthOrHeightIsBiggerThan(source));
    }

    TEST_F(VideoSourceTest, SetDurationCarriesAWholeWindowAndConfinesANarrowOne)
    {
        struct Case
        {
            const char* name;
            double start, stop;
            double newDuration;
            double expectedStart, expectedStop;
        };
        const Case cases[] = {
            {"whole window follows", 0.0, 5000.0, 10000.0, 0.0, 10000.0},
            {"narrow window kept", 1000.0, 2000.0, 10000.0, 1000.0, 2000.0},
            {"narrow window confined", 1000.0, 4000.0, 3000.0, 1000.0, 3000.0},
        };
        for (const Case& c : cases)
        {
            SCOPED_TRACE(c.name);
            PlainSource source;
            ParamRange& position = *source.getPositionParam();
            position.setStartStopRange(ValueRange<double>(c.start, c.stop, "range"), ValueChangeInfo());
            source.setDuration(c.newDuration);
            EXPECT_EQ(position.getMinMaxRange().min, 0.0);
            EXPECT_EQ(position.getMinMaxRange().max, c.newDuration);
            EXPECT_EQ(position.getStartStopRange().min, c.expectedStart);
            EXPECT_EQ(position.getStartStopRange().max, c.expectedStop);
            EXPECT_EQ(source.getDuration(), c.newDuration);
            EXPECT_EQ(source.getTimeline()->getOriginalDuration(), c.newDuration);
        }
    }

    TEST_F(VideoSourceTest, ADurationThatIsNotANumberCountsAsTheSmallestStep)
    {
        PlainSource source;
        source.getPositionParam()->getMinMaxRangeReference().max = std::numeric_limits<double>::quiet_NaN();
        EXPECT_EQ(source.getDuration(), std::ldexp(1.0, -52));
    }

    TEST_F(VideoSourceTest, WritesSizeTypeIdentityParamsAndChainInOrder)
    {
        struct Case
        {
            const char* name;
            bool extension, creator;
            std::vector<std::string> children;
        };
        const Case cases[] = {
            {"neither", false, false, {"Params", "RenderPass"}},
            {"creator", false, true, {"CreatorInfo", "Params", "RenderPass"}},
            {"extension before creator", true, true, {"FixedInfo", "Params", "RenderPass"}},
        };
        for (const Case& c : cases)
        {
            SCOPED_TRACE(c.name);
            ScopedSourceDirectory directory;
            FixedExtension extension;
            FixedFactory factory;
            PlainSource source;
            source.setSize(64, 32);
            if (c.extension)
            {
                directory.listed.push_back(&extension);
                source.setSourceInfo(extension.getSourceInfo(), nullptr);
            }
            if (c.creator)
                source.setCreator(&factory);
            XmlPool pool;
            XmlNode* element = source.writeState(pool, true);
            ASSERT_NE(element, nullptr);
            EXPECT_EQ(std::string(element->name()), "VideoSource");
            EXPECT_EQ(readAttribute(element->first_attribute("width"), std::string()), "64");
            EXPECT_EQ(readAttribute(element->first_attribute("height"), std::string()), "32");
            EXPECT_EQ(readAttribute(element->first_attribute("type"), std::string()), "PlainSource");
            EXPECT_EQ(childNames(*element), c.children);
        }
    }

    TEST_F(VideoSourceTest, ReadsParamsSizeAndChainBackAndAMissingSizeIsZero)
    {
        PlainSource written;
        written.setSize(64, 32);
        written.getOpacityParam()->setValue(0.25, ValueChangeInfo());
        XmlPool pool;
        XmlNode* element = written.writeState(pool, true);

        PlainSource read;
        read.readState(element, false);
        EXPECT_EQ(read.getWidth(), 64);
        EXPECT_EQ(read.getHeight(), 32);
        EXPECT_EQ(read.getOpacityParam()->getValue(), 0.25);

        element->remove_attribute(element->first_attribute("width"));
        element->remove_attribute(element->first_attribute("height"));
        read.readState(element, false);
        EXPECT_EQ(read.getWidth(), 0);
        EXPECT_EQ(read.getHeight(), 0);

        PlainSource fixed;
        fixed.setSize(5, 5);
        fixed.setResizable(false);
        fixed.readState(element, false);
        EXPECT_EQ(fixed.getWidth(), 5);
    }

    TEST_F(VideoSourceTest, ANewPositionBehaviourTakesTheOldSettingsAndSlavesGiveTheirTimeline)
    {
        PlainSource source;
        source.getTimeline()->getPlayModeParam()->setValue(1, ValueChangeInfo());
        auto* next = new BehaviourTimeline(*source.getPositionParam(), 1000.0);
        source.setPositionBehaviour(next);
        EXPECT_EQ(source.getPositionParam()->getBehaviour().get(), next);
        EXPECT_EQ(source.getTimeline().get(), next);
        EXPECT_EQ(next->getPlayModeParam()->getValue(), 1);

        ParamRange master("Master", 0.0, ValueRange<double>(0.0, 1.0, "range"));
        auto masterTimeline = std::make_shared<BehaviourTimeline>(master, 1000.0);
        master.setBehaviour(masterTimeline);
        auto masterShared = std::shared_ptr<ParamRange>(&master, [](ParamRange*) {});
        source.getPositionParam()->setBehaviour(
            std::make_shared<BehaviourTimelineSlave>(*source.getPositionParam(), masterShared));
        auto slave = source.getPositionParam()->behaviour<BehaviourTimelineSlave>();
        ASSERT_NE(slave, nullptr);
        EXPECT_EQ(source.getTimeline(), slave->getSlaveTimeline());
        source.getPositionParam()->removeBehaviour();
        master.removeBehaviour();
    }

    TEST_F(VideoSourceTest, DirectionFollowsThePlayHeadAndIsFourWhileHeld)
    {
        PlainSource source;
        source.directions.clear();
        source.getTimeline()->getPlayDirectionParam()->setValue(int(playBackward), ValueChangeInfo());
        ASSERT_FALSE(source.directions.empty());
        EXPECT_EQ(source.directions.back(), int(playBackward));

        source.getPositionParam()->setUserState(ParamBase::UserState_Editing);
        EXPECT_EQ(source.directions.back(), 4);
        source.getPositionParam()->setUserState(ParamBase::UserState_None);
        EXPECT_EQ(source.directions.back(), int(playBackward));
    }

    TEST_F(VideoSourceTest, PlaybackFinishedOnlyForItsOwnTimeline)
    {
        PlainSource source;
        RecordingListener listener;
        source.addListener(listener, false);
        ParamRange other("Other", 0.0, ValueRange<double>(0.0, 1.0, "range"));
        BehaviourTimeline otherTimeline(other, 100.0);
        source.finished(&otherTimeline);
        EXPECT_TRUE(listener.get().empty());
        source.finished(source.getTimeline().get());
        EXPECT_EQ(listener.get(), std::vector<std::string>{"finished"});
        source.removeListener(listener);
    }

    TEST_F(VideoSourceTest, AfterABehaviourReplacementDirectionsReachOnlyAnInstalledScheduler)
    {
        for (const bool withScheduler : {false, true})
        {
            SCOPED_TRACE(withScheduler ? "scheduler" : "default");
            std::unique_ptr<ScopedTestScheduler> scheduler;
            if (withScheduler)
                scheduler = std::make_unique<ScopedTestScheduler>();
            PlainSource source;
            source.setPositionBehaviour(new BehaviourTimeline(*source.getPositionParam(), 1000.0));
            source.directions.clear();
            source.getTimeline()->getPlayDirectionParam()->setValue(int(playBackward), ValueChangeInfo());
            if (scheduler != nullptr)
                scheduler->drain();
            EXPECT_EQ(source.directions.empty(), ! withScheduler);
        }
    }

    TEST_F(VideoSourceTest, ExtensionsAnswerTheirInfoAndTheBaseMakesNothing)
    {
        FixedExtension extension;
        EXPECT_EQ(extension.getExtensionName(), "n");
        EXPECT_EQ(extension.getExtensionDescription(), "d");
        EXPECT_EQ(extension.getExtensionUniqueId(), "ID");
        EXPECT_EQ(extension.getCategoryName(), "c");
        EXPECT_TRUE(extension.isHidden());
        XmlDocument document;
        EXPECT_EQ(extension.createSource(std::string("ID")), nullptr);
        EXPECT_EQ(extension.SourceExtension::createSourceFromXML(document), nullptr);

        VideoSourceDataDriver driver;
        VideoFormatReaderSourceExtension files(driver);
        EXPECT_EQ(files.getExtensionName(), "videoFormatReader");
        EXPECT_EQ(files.getExtensionDescription(), "VideoFormatReader");
        EXPECT_EQ(files.getExtensionUniqueId(), "VIDEO_FORMAT_READER_SRC");
        EXPECT_EQ(files.getCategoryName(), "VideoFormatReaders");
        EXPECT_FALSE(files.isHidden());
        XmlPool pool;
        XmlNode* info = files.saveSourceToXML(pool, nullptr);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(printXml(*info), "<FormatReaderInfo/>");
        EXPECT_EQ(files.createSourceFromXML(document), nullptr);
    }

    TEST_F(VideoSourceTest, WithoutASourceDirectoryNothingIsFound)
    {
        PlainSource source;
        source.setSourceInfo(SourceInfo{"n", "d", "ID", "c"}, nullptr);
        EXPECT_EQ(source.getExtension(), nullptr);
        EXPECT_EQ(source.getSourceInfo().getExtension(), nullptr);
    }
}
