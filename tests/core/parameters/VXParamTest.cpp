#include "core/parameters/VXParam.h"

#include "VXParamTestHelpers.h"

#include "core/VXTime.h"

#include <gtest/gtest.h>

#include <limits>

namespace vx
{
    using test::RecordingParamListener;
    using Events = std::vector<std::string>;

    class ParamTest : public ::testing::Test
    {
    protected:
        void listen(ParamBase& param) { param.addListener(listener, false); }

        RecordingParamListener listener;
    };

    TEST_F(ParamTest, ChangeTypesDecideStoringAndNotifying)
    {
        Param<int> param("Count", 5);
        listen(param);

        EXPECT_FALSE(param.setValue(5, ValueChangeInfo(ChangeType_OnChange)));
        EXPECT_TRUE(listener.events().empty());

        EXPECT_TRUE(param.setValue(5, ValueChangeInfo(ChangeType_Always, ChangeSourceMIDI)));
        EXPECT_EQ(listener.events(), (Events{"value(2)"}));

        listener.clear();
        EXPECT_TRUE(param.setValue(6, ValueChangeInfo(ChangeType_Silent)));
        EXPECT_EQ(param.getValue(), 6);
        EXPECT_TRUE(listener.events().empty());

        param.setDefaultChangeType(ChangeType_Silent);
        EXPECT_TRUE(param.setValue(7, ValueChangeInfo()));
        EXPECT_TRUE(listener.events().empty()) << "type 3 takes the parameter's own default";
        param.setDefaultChangeType(ChangeType_OnChange);
        EXPECT_TRUE(param.setValue(8, ValueChangeInfo()));
        EXPECT_EQ(listener.events(), (Events{"value(0)"}));
        param.removeListener(listener);
    }

    TEST_F(ParamTest, NotificationIsStampedAndDropsTheSender)
    {
        Param<double> param("Speed", 0.0);
        listen(param);
        int identity = 0;
        const double before = getTickCount();

        param.setValue(1.0, ValueChangeInfo(ChangeSourceGUI, &identity));
        param.setValue(2.0, ValueChangeInfo(ChangeType_OnChange, ChangeSourceOSC, &identity, 42.0));

        const auto calls = listener.recorded();
        ASSERT_EQ(calls.size(), 2u);
        EXPECT_EQ(calls[0].info.sender, nullptr);
        EXPECT_GE(calls[0].info.time, before);
        EXPECT_EQ(calls[0].info.source, ChangeSourceGUI);
        EXPECT_EQ(calls[0].param, &param);
        EXPECT_EQ(calls[1].info.time, 42.0);
        param.removeListener(listener);
    }

    TEST_F(ParamTest, ResetAnnouncesResetEvenAtTheDefault)
    {
        Param<int> param("Count", 3);
        listen(param);
        param.resetToDefault(ValueChangeInfo());
        EXPECT_EQ(listener.events(), (Events{"state(2)"}));

        listener.clear();
        param.setValue(4, ValueChangeInfo(ChangeType_Silent));
        param.resetToDefault(ValueChangeInfo());
        EXPECT_EQ(listener.events(), (Events{"value(0)", "state(2)"}));
        EXPECT_EQ(param.getValue(), 3);
        param.removeListener(listener);
    }

    TEST_F(ParamTest, NanIsNeverEqual)
    {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        Param<double> param("Gain", nan);
        listen(param);
        EXPECT_TRUE(param.setValue(nan, ValueChangeInfo(ChangeType_OnChange)));
        EXPECT_TRUE(param.setValue(nan, ValueChangeInfo(ChangeType_OnChange)));
        EXPECT_EQ(listener.events().size(), 2u);
        EXPECT_TRUE(param.needsToWriteState());
        param.removeListener(listener);
    }

    TEST_F(ParamTest, ReadingAnnouncesAChangedValueBeforeTheRead)
    {
        Param<int> param("Count", 3);
        listen(param);

        auto same = test::parseText(R"(<Param name="Count" value="3"/>)");
        param.readState(same->first_node(), false);
        EXPECT_EQ(listener.events(), (Events{"state(4)"}));

        listener.clear();
        auto changed = test::parseText(R"(<Param name="Count" default="1" value="9" altName="Alt" storage="3"/>)");
        param.readState(changed->first_node(), false);
        EXPECT_EQ(listener.events(), (Events{"value(512)", "state(4)"})) << "no appearance for the alt name";
        EXPECT_EQ(param.getValue(), 9);
        EXPECT_EQ(param.getDefaultValue(), 1);
        EXPECT_EQ(param.getAltName(), "Alt");
        EXPECT_EQ(param.getStorage(), XmlCapable::storageAlways);

        listener.clear();
        auto otherElement = test::parseText(R"(<ParamRange name="Count" value="1"/>)");
        param.readState(otherElement->first_node(), false);
        EXPECT_TRUE(listener.events().empty());
        EXPECT_EQ(param.getValue(), 9);
        param.removeListener(listener);
    }

    TEST_F(ParamTest, WritesOnlyWhatNeedsWriting)
    {
        Param<float> size("Size", 0.5f);
        EXPECT_EQ(test::writeToText(size, false), "");
        EXPECT_EQ(test::writeToText(size, true), "<Param name=\"Size\" default=\"0.5\" value=\"0.5\"/>\n");

        size.setValue(0.25f, ValueChangeInfo());
        EXPECT_EQ(test::writeToText(size, false), "<Param name=\"Size\" default=\"0.5\" value=\"0.25\"/>\n");

        Param<bool> flag("Show Image", true);
        flag.setStorage(XmlCapable::storageCreatable);
        EXPECT_EQ(test::writeToText(flag, false),
                  "<Param storage=\"0\" name=\"Show Image\" T=\"BOOL\" default=\"1\" value=\"1\"/>\n");

        Param<CodecFourCC> codec("Codec", CodecFourCC(0x514D4433));
        codec.setStorage(XmlCapable::storageCreatable);
        EXPECT_EQ(
            test::writeToText(codec, false),
            "<Param storage=\"0\" name=\"Codec\" T=\"UNKNOWN_TYPEID\" default=\"1364018227\" value=\"1364018227\"/>\n");
    }

    template <typename T>
    void expectRoundTrip(const T& written)
    {
        Param<T> source("Value", written);
        source.setStorage(XmlCapable::storageAlways);
        const std::string text = test::writeToText(source, false);

        Param<T> target("Value", T());
        auto document = test::parseText(text);
        target.readState(document->first_node(), false);
        EXPECT_TRUE(target.getValue() == written) << text;
        EXPECT_EQ(test::writeToText(target, true), text);
    }

    TEST_F(ParamTest, ValuesSurviveAnXmlRoundTrip)
    {
        expectRoundTrip<std::string>("a <b> & \"c\"  with blanks ");
        expectRoundTrip<unsigned long long>(std::numeric_limits<unsigned long long>::max());
        expectRoundTrip<int>(-2147483647 - 1);
        expectRoundTrip<double>(0.1);
        expectRoundTrip<float>(1e-30f);
        expectRoundTrip<unsigned int>(4000000000u);
        expectRoundTrip<CodecFourCC>(CodecFourCC(0xFFFFFFFFu));
    }
}
