#include "core/parameters/VXParamColor.h"

#include "VXParamTestHelpers.h"

#include "core/parameters/VXColorPalette.h"
#include "core/parameters/VXParamColorChannel.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamEvent.h"
#include "core/parameters/VXParamUtils.h"

#include <gtest/gtest.h>

namespace vx
{
    using test::RecordingParamListener;
    using Events = std::vector<std::string>;

    namespace
    {
        constexpr float byteToUnit(int byte)
        {
            return static_cast<float>(byte) / 255.0f;
        }

        void expectColorNear(const Color& actual, const Color& expected, float tolerance = 1e-6f)
        {
            EXPECT_NEAR(actual.r, expected.r, tolerance);
            EXPECT_NEAR(actual.g, expected.g, tolerance);
            EXPECT_NEAR(actual.b, expected.b, tolerance);
            EXPECT_NEAR(actual.a, expected.a, tolerance);
        }
    }

    class ParamColorTest : public ::testing::Test
    {
    protected:
        void SetUp() override { listen(color); }
        void TearDown() override
        {
            for (auto& [param, recorder] : listening)
                param->removeListener(*recorder);
        }

        // colorEvents records the colour itself, channelEvents all seven
        // channels.
        void listen(ParamColor& param)
        {
            param.addListener(colorEvents, false);
            listening.emplace_back(&param, &colorEvents);
            for (int i = 0; i < 7; ++i)
            {
                auto channel = param.getChannel(static_cast<ParamColor::ColorChannel>(i));
                channel->addListener(channelEvents, false);
                listening.emplace_back(channel.get(), &channelEvents);
            }
        }

        double channel(ParamColor::ColorChannel which) const { return color.getChannel(which)->getValue(); }

        ParamColor color{"Tint", Color::red, ParamColor::ChannelMode_RGB};
        RecordingParamListener colorEvents;
        RecordingParamListener channelEvents;
        std::vector<std::pair<ParamBase*, RecordingParamListener*>> listening;
    };

    TEST_F(ParamColorTest, ChannelsStartAtTheColourWithAlphaAtOne)
    {
        ParamColor translucent("Tint", Color(0.5f, 0.25f, 1.0f, 0.5f), ParamColor::ChannelMode_RGB);
        EXPECT_EQ(translucent.getChannel(ParamColor::ColorChannel_Red)->getValue(), 0.5);
        EXPECT_EQ(translucent.getChannel(ParamColor::ColorChannel_Green)->getValue(), 0.25);
        EXPECT_EQ(translucent.getChannel(ParamColor::ColorChannel_Blue)->getValue(), 1.0);
        EXPECT_NEAR(translucent.getChannel(ParamColor::ColorChannel_Hue)->getValue(), 13.0 / 18.0, 1e-6);
        EXPECT_NEAR(translucent.getChannel(ParamColor::ColorChannel_Saturation)->getValue(), 0.75, 1e-6);
        EXPECT_EQ(translucent.getChannel(ParamColor::ColorChannel_Brightness)->getValue(), 1.0);
        EXPECT_EQ(translucent.getChannel(ParamColor::ColorChannel_Alpha)->getValue(), 1.0);
        EXPECT_EQ(translucent.getValue().a, 0.5f) << "the stored colour keeps its alpha";
        EXPECT_FALSE(translucent.isValueSet());
    }

    TEST_F(ParamColorTest, SettingTheColourWritesTheDrivingChannelsSilently)
    {
        color.setValue(Color(0.0f, 0.5f, 1.0f, 0.25f), ValueChangeInfo(ChangeSourceOSC));
        EXPECT_EQ(channel(ParamColor::ColorChannel_Red), 0.0);
        EXPECT_EQ(channel(ParamColor::ColorChannel_Green), 0.5);
        EXPECT_EQ(channel(ParamColor::ColorChannel_Blue), 1.0);
        EXPECT_EQ(channel(ParamColor::ColorChannel_Alpha), 0.25);
        EXPECT_EQ(channel(ParamColor::ColorChannel_Hue), 0.0) << "HSB channels follow only when written";
        EXPECT_EQ(channelEvents.events(), (Events{"state(3)", "state(3)", "state(3)", "state(3)"}));
        EXPECT_EQ(colorEvents.events(), (Events{"value(8)"}));
        EXPECT_TRUE(color.isValueSet());

        channelEvents.clear();
        color.changeChannelMode(ParamColor::ChannelMode_HSB);
        EXPECT_NEAR(channel(ParamColor::ColorChannel_Hue), 7.0 / 12.0, 1e-6);
        EXPECT_EQ(channel(ParamColor::ColorChannel_Saturation), 1.0);
        EXPECT_EQ(channel(ParamColor::ColorChannel_Brightness), 1.0);
        EXPECT_EQ(channelEvents.events(), (Events{"state(3)", "state(3)", "state(3)", "state(3)"}));
    }

    TEST_F(ParamColorTest, ChannelChangesReachTheColourWithoutFeedback)
    {
        color.getChannel(ParamColor::ColorChannel_Green)->setValue(1.0, ValueChangeInfo(ChangeSourceGUI));
        EXPECT_EQ(color.getValue(), Color(1.0f, 1.0f, 0.0f, 1.0f));
        EXPECT_EQ(colorEvents.events(), (Events{"value(16)"}));
        EXPECT_EQ(channelEvents.events(), (Events{"value(16)"})) << "the colour must not write back";

        // Under HSB the colour is rebuilt from hue, saturation and brightness.
        color.changeChannelMode(ParamColor::ChannelMode_HSB);
        colorEvents.clear();
        color.getChannel(ParamColor::ColorChannel_Brightness)->setValue(0.5, ValueChangeInfo());
        expectColorNear(color.getValue(), Color(0.5f, 0.5f, 0.0f, 1.0f));
        EXPECT_EQ(colorEvents.events(), (Events{"value(0)"}));

        // Any other mode ignores channel changes.
        color.changeChannelMode(static_cast<ParamColor::ChannelMode>(5));
        colorEvents.clear();
        color.getChannel(ParamColor::ColorChannel_Red)->setValue(0.0, ValueChangeInfo());
        EXPECT_TRUE(colorEvents.events().empty());
    }

    TEST_F(ParamColorTest, HueAtOneIsRedAndStaysAtOne)
    {
        color.changeChannelMode(ParamColor::ChannelMode_HSB);
        auto hue = color.getChannel(ParamColor::ColorChannel_Hue);
        hue->setValue(1.0, ValueChangeInfo());
        const Color atOne = color.getValue();
        hue->setValue(0.0, ValueChangeInfo());
        EXPECT_EQ(atOne, color.getValue());
        expectColorNear(atOne, Color::red);

        hue->setValue(1.0, ValueChangeInfo());
        color.setValue(Color::red, ValueChangeInfo());
        EXPECT_EQ(hue->getValue(), 1.0) << "red must not jump the hue slider from 1 to 0";
    }

    TEST_F(ParamColorTest, ToggleCyclesThroughTheThreeModes)
    {
        ParamColor hsb("Tint", Color::red, ParamColor::ChannelMode_HSB);
        hsb.toggleChannelMode();
        EXPECT_EQ(hsb.getChannelMode(), ParamColor::ChannelMode_RGB);
        hsb.toggleChannelMode();
        EXPECT_EQ(hsb.getChannelMode(), ParamColor::ChannelMode_RGBAlternate);
        hsb.toggleChannelMode();
        EXPECT_EQ(hsb.getChannelMode(), ParamColor::ChannelMode_HSB);

        ParamColor other("Tint", Color::red, static_cast<ParamColor::ChannelMode>(5));
        other.toggleChannelMode();
        EXPECT_EQ(other.getChannelMode(), static_cast<ParamColor::ChannelMode>(5));
    }

    TEST_F(ParamColorTest, ChangeTypesDecideTheNoticeNotTheComparison)
    {
        color.setValue(Color::red, ValueChangeInfo(ChangeType_OnChange));
        color.setValue(Color::red, ValueChangeInfo(ChangeType_OnChange));
        EXPECT_EQ(colorEvents.events(), (Events{"value(0)", "value(0)"}));

        colorEvents.clear();
        channelEvents.clear();
        color.setValue(Color::blue, ValueChangeInfo(ChangeType_Silent));
        EXPECT_TRUE(colorEvents.events().empty());
        EXPECT_EQ(channelEvents.events(), (Events{"state(3)", "state(3)", "state(3)", "state(3)"}));
        EXPECT_EQ(color.getValue(), Color::blue);
    }

    TEST_F(ParamColorTest, ModeChangeBeforeAnyValueLeavesTheChannels)
    {
        color.changeChannelMode(ParamColor::ChannelMode_HSB);
        color.changeChannelMode(ParamColor::ChannelMode_RGBAlternate);
        EXPECT_TRUE(channelEvents.events().empty());
        EXPECT_TRUE(colorEvents.events().empty());
        EXPECT_FALSE(color.isValueSet());
    }

    TEST_F(ParamColorTest, ResetThroughTheBaseInterfaceRestoresTheDefaultColour)
    {
        color.setValue(Color(0.0f, 0.0f, 1.0f, 0.5f), ValueChangeInfo());
        ParamBase& base = color;
        base.resetToDefault(ValueChangeInfo());
        EXPECT_EQ(color.getValue(), Color::red);
        EXPECT_FALSE(color.isValueSet());

        // A silent reset still brings the colour in line with its channels.
        color.setValue(Color::green, ValueChangeInfo());
        base.resetToDefault(ValueChangeInfo(ChangeType_Silent));
        EXPECT_EQ(color.getValue(), Color::red);
        EXPECT_EQ(channel(ParamColor::ColorChannel_Green), 0.0);

        // A channel reset alone is followed too.
        color.setValue(Color::white, ValueChangeInfo());
        ParamBase& green = *color.getChannel(ParamColor::ColorChannel_Green);
        green.resetToDefault(ValueChangeInfo(ChangeType_Silent));
        EXPECT_EQ(color.getValue(), Color(1.0f, 0.0f, 1.0f, 1.0f));
    }

    TEST(ParamColorLifetimeTest, AChannelOutlivingItsColourNoLongerReachesIt)
    {
        auto owner = std::make_unique<ParamColor>("Tint", Color::red, ParamColor::ChannelMode_RGB);
        auto red = owner->getChannel(ParamColor::ColorChannel_Red);
        EXPECT_EQ(red->getParamColor(), owner.get());
        owner.reset();
        EXPECT_EQ(red->getParamColor(), nullptr);
        red->setValue(0.5, ValueChangeInfo());
        red->resetToDefault(ValueChangeInfo());
        EXPECT_EQ(red->getValue(), 1.0);
    }

    TEST_F(ParamColorTest, ChannelsAndPaletteFollowThePath)
    {
        ColorPalette* palette = color.createColorPalette();
        palette->addColor(Color::blue, -1);
        color.setPath("/fx/tint");
        EXPECT_EQ(color.getChannel(ParamColor::ColorChannel_Saturation)->getPath(), "/fx/tint/saturation");
        EXPECT_EQ(palette->getPath(), "/fx/tint/palette");
        EXPECT_EQ(palette->getColors()[0]->getTriggerParam()->getPath(), "/fx/tint/palette/trigger1");
        EXPECT_EQ(color.createColorPalette(), palette) << "a second request answers the same palette";
    }

    class ParamColorXmlTest : public ParamColorTest
    {
    };

    TEST_F(ParamColorXmlTest, RgbModeRoundTripIsByteExact)
    {
        color.setValue(Color::white, ValueChangeInfo());
        const std::string text = test::writeToText(color, false);
        EXPECT_EQ(text, "<ParamColor name=\"Tint\" channelmode=\"2\" color=\"4294967295\">\n"
                        "\t<Params name=\"Params\">\n"
                        "\t\t<ParamRange name=\"Green\" default=\"0\" value=\"1\"/>\n"
                        "\t\t<ParamRange name=\"Blue\" default=\"0\" value=\"1\"/>\n"
                        "\t\t<ParamRange name=\"Saturation\" default=\"1\" value=\"0\"/>\n"
                        "\t</Params>\n"
                        "</ParamColor>\n");

        ParamColor copy("Tint", Color::red, ParamColor::ChannelMode_HSB);
        auto document = test::parseText(text);
        copy.readState(document->first_node(), false);
        EXPECT_EQ(copy.getValue(), Color::white);
        EXPECT_EQ(copy.getChannelMode(), ParamColor::ChannelMode_RGB);
        EXPECT_EQ(test::writeToText(copy, false), text);
    }

    TEST_F(ParamColorXmlTest, ReadingQuantisesDrivingChannelsToEightBits)
    {
        color.setValue(Color(0.5f, 0.25f, 1.0f, 0.5f), ValueChangeInfo());
        const std::string text = test::writeToText(color, false);
        const double hueWritten = channel(ParamColor::ColorChannel_Hue);

        ParamColor copy("Tint", Color::red, ParamColor::ChannelMode_RGB);
        RecordingParamListener copyEvents;
        copy.addListener(copyEvents, false);
        auto document = test::parseText(text);
        copy.readState(document->first_node(), false);
        copy.removeListener(copyEvents);

        const Color quantised(byteToUnit(127), byteToUnit(63), 1.0f, byteToUnit(127));
        EXPECT_EQ(copy.getValue(), quantised);
        EXPECT_EQ(copy.getChannel(ParamColor::ColorChannel_Red)->getValue(), static_cast<double>(quantised.r));
        EXPECT_EQ(copy.getChannel(ParamColor::ColorChannel_Alpha)->getValue(), static_cast<double>(quantised.a));
        EXPECT_EQ(copy.getChannel(ParamColor::ColorChannel_Hue)->getValue(), hueWritten)
            << "the HSB channels keep what Params held";
        ASSERT_FALSE(copyEvents.events().empty());
        EXPECT_EQ(copyEvents.events().back(), "state(4)");
    }

    TEST_F(ParamColorXmlTest, WithoutColourTheChannelsReadDecideInTheModeRead)
    {
        auto rgb = test::parseText(R"(<ParamColor name="Tint" channelmode="1"><Params name="Params">)"
                                   R"(<ParamRange name="Green" value="1"/></Params></ParamColor>)");
        color.readState(rgb->first_node(), false);
        EXPECT_EQ(color.getChannelMode(), ParamColor::ChannelMode_RGBAlternate);
        EXPECT_EQ(color.getValue(), Color(1.0f, 1.0f, 0.0f, 1.0f));

        auto hsb = test::parseText(R"(<ParamColor name="Tint" channelmode="0"><Params name="Params">)"
                                   R"(<ParamRange name="Brightness" value="0.5"/></Params></ParamColor>)");
        color.readState(hsb->first_node(), false);
        EXPECT_EQ(color.getChannelMode(), ParamColor::ChannelMode_HSB);
        expectColorNear(color.getValue(), Color(0.5f, 0.0f, 0.0f, 1.0f));
    }

    TEST_F(ParamColorXmlTest, ChannelsOutsideTheUnitRangePackClamped)
    {
        color.setValue(Color(1.5f, -0.5f, 0.5f, 2.0f), ValueChangeInfo());
        auto document = test::parseText(test::writeToText(color, false));
        const std::string packed = readAttribute(document->first_node()->first_attribute("color"), std::string());
        EXPECT_EQ(packed, std::to_string(PACKCOLOR(1.0f, 0.0f, 0.5f, 1.0f)));
    }

    TEST(ParamColorFactoryTest, CreationReadsModeAndColour)
    {
        auto document = test::parseText(R"(<ParamColor name="Tint" channelmode="0" color="4294901760"/>)");
        std::unique_ptr<ParamBase> created(ParamUtils::createParamFromXmlNode(*document->first_node()));
        auto* made = dynamic_cast<ParamColor*>(created.get());
        ASSERT_NE(made, nullptr);
        EXPECT_EQ(made->getName(), "Tint");
        EXPECT_EQ(made->getChannelMode(), ParamColor::ChannelMode_HSB);
        EXPECT_EQ(made->getValue(), Color::blue);
    }
}
