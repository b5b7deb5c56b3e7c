#include "core/parameters/VXParamUtils.h"

#include "VXParamTestHelpers.h"

#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamColor.h"
#include "core/parameters/VXParamColorChannel.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamEvent.h"
#include "core/parameters/VXParamRange.h"
#include "core/parameters/VXParamScript.h"
#include "core/parameters/VXParamStrings.h"
#include "core/parameters/VXParamView.h"

#include <gtest/gtest.h>

namespace vx
{
    namespace
    {
        struct FactoryCase
        {
            const char* name;
            const char* xml;
            bool creatable;
            // Which kind the factory must answer; null when it answers none.
            bool (*isExpectedKind)(const ParamBase*);
            // The created parameter's value as text, when checked.
            const char* value = nullptr;
        };

        template <typename Kind>
        bool isKind(const ParamBase* param)
        {
            return dynamic_cast<const Kind*>(param) != nullptr;
        }

        const FactoryCase factoryCases[] = {
            {"Event", R"(<ParamEvent name="Go"/>)", true, &isKind<ParamEvent>},
            {"Colour", R"(<ParamColor name="Tint" channelmode="2" color="4278190335"/>)", true, &isKind<ParamColor>},
            {"ColourWithoutMode", R"(<ParamColor name="Tint" color="4278190335"/>)", true, nullptr},
            {"ColourWithoutName", R"(<ParamColor channelmode="2" color="4278190335"/>)", true, nullptr},
            {"ColourUnparsable", R"(<ParamColor name="Tint" channelmode="2" color="red"/>)", true, nullptr},
            {"Script", R"(<ParamScript name="Frag" type="1" value="x"/>)", true, &isKind<ParamScript>, "x"},
            {"ScriptWithoutType", R"(<ParamScript name="Frag" value="x"/>)", true, nullptr},
            {"ScriptWithoutName", R"(<ParamScript type="1" value="x"/>)", true, nullptr},
            {"ScriptUnparsableType", R"(<ParamScript name="A" type="fragment" value="x"/>)", true, nullptr},
            // Without a value attribute a created value keeps the initial 1.
            {"ParamFloatWithoutValue", R"(<Param name="f" T="FLOAT"/>)", true, &isKind<Param<float>>, "1"},
            {"ParamString", R"(<Param name="s" T="STRING" value="x y"/>)", true, &isKind<Param<std::string>>, "x y"},
            {"ParamOfUnsigned", R"(<Param name="Count" T="UINT32" value="3"/>)", true, nullptr},
            {"ParamWithoutType", R"(<Param name="n" value="3"/>)", true, nullptr},
            {"ChoiceInt", R"(<ParamChoice name="a" T="INT32" value="2"/>)", true, &isKind<ParamChoice<int>>, "2"},
            {"ChoiceUnsigned64", R"(<ParamChoice name="b" T="UINT64" value="18446744073709551615"/>)", true,
             &isKind<ParamChoice<unsigned long long>>, "18446744073709551615"},
            {"ChoiceDouble", R"(<ParamChoice name="c" T="DOUBLE"/>)", true, nullptr},
            {"ChoiceWithoutType", R"(<ParamChoice name="d"/>)", true, nullptr},
            {"Unknown", R"(<Unknown name="u"/>)", false, nullptr},
            {"Scripts", R"(<ParamScripts name="Shader"/>)", false, nullptr},
            {"Strings", R"(<ParamStrings name="Names"/>)", false, nullptr},
            {"Vector", R"(<ParamVector name="Spectrum"/>)", false, nullptr},
        };

        class ParamFactoryTest : public ::testing::TestWithParam<FactoryCase>
        {
        };
    }

    TEST_P(ParamFactoryTest, DispatchesOnTheElementName)
    {
        const FactoryCase& entry = GetParam();
        auto document = test::parseText(entry.xml);
        const XmlNode& node = *document->first_node();
        EXPECT_EQ(ParamUtils::canParamBeCreatedFromXmlNode(node), entry.creatable);

        std::unique_ptr<ParamBase> created(ParamUtils::createParamFromXmlNode(node));
        if (entry.isExpectedKind == nullptr)
        {
            EXPECT_EQ(created, nullptr);
            return;
        }
        ASSERT_NE(created, nullptr);
        EXPECT_TRUE(entry.isExpectedKind(created.get()));
        EXPECT_EQ(created->getName(), readAttribute(node.first_attribute("name"), std::string()));
        if (entry.value != nullptr)
        {
            EXPECT_EQ(created->getValueAsString(), entry.value);
        }
    }

    INSTANTIATE_TEST_SUITE_P(Kinds, ParamFactoryTest, ::testing::ValuesIn(factoryCases),
                             [](const ::testing::TestParamInfo<FactoryCase>& info)
                             { return std::string(info.param.name); });

    TEST(ParamFactoryContainerTest, CreatableChildrenOfTheNewKindsAreRecreatedInOrder)
    {
        ParamContainer container("Params", false);
        container.addParamBool("Flag", false);
        auto document = test::parseText(R"(<Params name="Params">)"
                                        R"(<ParamScript storage="0" name="Frag" type="1" value="main"/>)"
                                        R"(<Param name="Flag" value="1"/>)"
                                        R"(<ParamColor storage="0" name="Tint" channelmode="0" color="4294901760"/>)"
                                        R"(</Params>)");
        container.readState(document->first_node(), false);

        ASSERT_EQ(container.getNumParams(), 3);
        auto script = std::dynamic_pointer_cast<ParamScript>(container.getParam(0));
        ASSERT_NE(script, nullptr);
        EXPECT_EQ(script->getValue(), "main");
        auto tint = std::dynamic_pointer_cast<ParamColor>(container.getParam(2));
        ASSERT_NE(tint, nullptr);
        EXPECT_EQ(tint->getValue(), Color::blue);
    }

    TEST(ParamFactoryAddersTest, ColourIsRGBAndRangeDefaultsToTheUnitRange)
    {
        ParamContainer container("Params", false);
        auto tint = container.addParamColor("Tint", Color::green);
        EXPECT_EQ(tint->getChannelMode(), ParamColor::ChannelMode_RGB);
        EXPECT_EQ(tint->getValue(), Color::green);
        auto unit = container.addParamRange("Amount", 0.25);
        EXPECT_EQ(unit->getDefaultRange(), ValueRange<double>(0.0, 1.0));
        EXPECT_EQ(unit->getValueNormalized(), 0.25);
        EXPECT_EQ(container.getParam(1), unit);
    }

    struct ChannelViewCase
    {
        const char* name;
        int channel;
        ParamView::ControlType controlType;
        ParamView::DisplayUnits units;
        double multiplier;
        double increment;
    };

    class ParamColorChannelAdderTest : public ::testing::TestWithParam<ChannelViewCase>
    {
    };

    TEST_P(ParamColorChannelAdderTest, StoresTheChannelView)
    {
        const ChannelViewCase& entry = GetParam();
        ParamContainer container("Params", false);
        auto channel = container.addParamColorChannel("C", entry.channel, 0.25);
        EXPECT_EQ(channel->getValue(), 0.25);
        EXPECT_EQ(channel->getChannel(), entry.channel);
        EXPECT_EQ(channel->getMinMaxRange(), ValueRange<double>(0.0, 1.0));

        const ParamView* view = container.getViewForParam(channel);
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(view->getControlType(), entry.controlType);
        EXPECT_EQ(view->getDisplayUnits(), entry.units);
        EXPECT_EQ(view->getValueMultiplier(), entry.multiplier);
        EXPECT_EQ(view->getIncrement(), entry.increment);
    }

    INSTANTIATE_TEST_SUITE_P(
        Channels, ParamColorChannelAdderTest,
        ::testing::Values(
            ChannelViewCase{"Red", 0, ParamView::controlTypeRed, ParamView::unitsNone, 255.0, -1.0},
            ChannelViewCase{"Blue", 2, ParamView::controlTypeBlue, ParamView::unitsNone, 255.0, -1.0},
            ChannelViewCase{"Alpha", 3, ParamView::controlTypeAlpha, ParamView::unitsPercent, 100.0, 10.0},
            ChannelViewCase{"Hue", 4, ParamView::controlTypeHue, ParamView::unitsDegrees, 360.0, 5.0},
            ChannelViewCase{"Brightness", 6, ParamView::controlTypeBrightness, ParamView::unitsPercent, 100.0, 10.0}),
        [](const ::testing::TestParamInfo<ChannelViewCase>& info) { return std::string(info.param.name); });

    TEST(ParamFactoryAddersTest, UnknownChannelsGetNoView)
    {
        ParamContainer container("Params", false);
        auto channel = container.addParamColorChannel("C", 9, 0.5);
        EXPECT_EQ(container.getViewForParam(channel), nullptr);
        EXPECT_EQ(container.getNumParams(), 1);
    }
}
