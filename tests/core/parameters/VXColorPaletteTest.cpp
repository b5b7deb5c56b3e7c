#include "core/parameters/VXColorPalette.h"

#include "VXParamTestHelpers.h"

#include "core/parameters/VXParamColor.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamEvent.h"

#include <gtest/gtest.h>

#include <limits>

namespace vx
{
    namespace
    {
        std::vector<std::string> triggerNames(const ColorPalette& palette)
        {
            std::vector<std::string> names;
            for (const auto& item : palette.getColors())
                names.push_back(item->getTriggerParam()->getName());
            return names;
        }

        std::vector<std::uint32_t> packedColors(const ColorPalette& palette)
        {
            std::vector<std::uint32_t> colors;
            for (const auto& item : palette.getColors())
                colors.push_back(item->getColor().rgba());
            return colors;
        }
    }

    class ColorPaletteTest : public ::testing::Test
    {
    protected:
        ParamColor owner{"Tint", Color::black, ParamColor::ChannelMode_RGB};
        ColorPalette& palette = *owner.createColorPalette();
    };

    TEST_F(ColorPaletteTest, TriggersAreNamedInListOrder)
    {
        palette.addColor(Color::red, -1);
        palette.addColor(Color::green, -1);
        palette.addColor(Color::blue, std::numeric_limits<int>::max());
        EXPECT_EQ(triggerNames(palette), (std::vector<std::string>{"Trigger1", "Trigger2", "Trigger3"}));

        palette.addColor(Color::white, 0);
        EXPECT_EQ(triggerNames(palette), (std::vector<std::string>{"Trigger1", "Trigger2", "Trigger3", "Trigger4"}));
        EXPECT_EQ(packedColors(palette), (std::vector<std::uint32_t>{Color::white.rgba(), Color::red.rgba(),
                                                                     Color::green.rgba(), Color::blue.rgba()}));
        EXPECT_EQ(palette.getParams()->getNumParams(), 4);
        EXPECT_EQ(palette.getColors()[0]->getTriggerParam()->getTriggerType(), ParamEvent::triggerOnTrue);
    }

    TEST_F(ColorPaletteTest, FiringATriggerSetsTheOwnerEveryTime)
    {
        palette.addColor(Color::red, -1);
        palette.addColor(Color::blue, -1);
        auto blueTrigger = palette.getColors()[1]->getTriggerParam();

        blueTrigger->triggerTrue();
        EXPECT_EQ(owner.getValue(), Color::blue);

        owner.setValue(Color::white, ValueChangeInfo());
        blueTrigger->triggerTrue();
        EXPECT_EQ(owner.getValue(), Color::blue) << "a trigger that is already true still fires";

        // Only a request for true passes a palette trigger.
        owner.setValue(Color::white, ValueChangeInfo());
        blueTrigger->trigger();
        EXPECT_EQ(owner.getValue(), Color::white);
    }

    TEST_F(ColorPaletteTest, RemovedItemsRenameTheRestAndFireNoMore)
    {
        palette.addColor(Color::red, -1);
        palette.addColor(Color::green, -1);
        palette.addColor(Color::blue, -1);
        const std::shared_ptr<ColorPalette::Item> removed = palette.getColors()[0];
        palette.removeColor(*removed);

        EXPECT_EQ(triggerNames(palette), (std::vector<std::string>{"Trigger1", "Trigger2"}));
        EXPECT_EQ(palette.getParams()->getNumParams(), 2);
        EXPECT_FALSE(palette.getParams()->containsParam(removed->getTriggerParam()));

        removed->getTriggerParam()->triggerTrue();
        EXPECT_EQ(owner.getValue(), Color::black);

        palette.clear();
        EXPECT_TRUE(palette.getColors().empty());
        EXPECT_EQ(palette.getParams()->getNumParams(), 0);
    }

    TEST(ColorPaletteLifetimeTest, ItemsOutlivingTheirPaletteDoNotReachIt)
    {
        ParamColor owner("Tint", Color::black, ParamColor::ChannelMode_RGB);
        owner.createColorPalette()->addColor(Color::red, -1);
        const std::shared_ptr<ColorPalette::Item> kept = owner.getColorPalette()->getColors()[0];
        owner.removeColorPalette();
        EXPECT_FALSE(owner.hasColorPalette());
        kept->getTriggerParam()->triggerTrue();
        EXPECT_EQ(owner.getValue(), Color::black);
    }

    TEST_F(ColorPaletteTest, RoundTripInsideTheColourIsByteExact)
    {
        EXPECT_EQ(test::writeToText(palette, false),
                  "<ColorPalette name=\"ColorPalette\">\n\t<Items/>\n</ColorPalette>\n");

        palette.addColor(Color::red, -1);
        palette.addColor(Color(0.5f, 1.0f, 1.5f, 1.0f), -1);
        const std::string text = test::writeToText(owner, false);
        EXPECT_EQ(text, "<ParamColor name=\"Tint\" channelmode=\"2\" color=\"4278190080\">\n"
                        "\t<ColorPalette name=\"ColorPalette\">\n"
                        "\t\t<Items>\n"
                        "\t\t\t<Item color=\"4278190335\"/>\n"
                        "\t\t\t<Item color=\"4294967167\"/>\n"
                        "\t\t</Items>\n"
                        "\t</ColorPalette>\n"
                        "</ParamColor>\n");

        // Reading replaces the palette the colour had.
        ParamColor copy("Tint", Color::black, ParamColor::ChannelMode_RGB);
        copy.createColorPalette()->addColor(Color::white, -1);
        auto document = test::parseText(text);
        copy.readState(document->first_node(), false);
        ASSERT_TRUE(copy.hasColorPalette());
        EXPECT_EQ(test::writeToText(copy, false), text);
        copy.getColorPalette()->getColors()[0]->getTriggerParam()->triggerTrue();
        EXPECT_EQ(copy.getValue(), Color::red);
    }

    TEST_F(ColorPaletteTest, ReadingAppendsParsableItemsOnly)
    {
        palette.addColor(Color::white, -1);
        auto document = test::parseText(R"(<ColorPalette><Items><Item color="x"/><Item/><Item color="4278190335"/>)"
                                        R"(</Items></ColorPalette>)");
        palette.readState(document->first_node(), false);
        EXPECT_EQ(packedColors(palette), (std::vector<std::uint32_t>{Color::white.rgba(), Color::red.rgba()}));
        EXPECT_EQ(triggerNames(palette), (std::vector<std::string>{"Trigger1", "Trigger2"}));
    }
}
