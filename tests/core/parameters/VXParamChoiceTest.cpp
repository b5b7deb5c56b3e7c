#include "core/parameters/VXParamChoice.h"

#include "VXParamTestHelpers.h"

#include "../../support/VXLogRecorder.h"

#include <gtest/gtest.h>

#include <limits>

namespace vx
{
    using test::RecordingParamListener;
    using Events = std::vector<std::string>;

    class ParamChoiceTest : public ::testing::Test
    {
    protected:
        void SetUp() override
        {
            choice.addChoices({"Sine", "Triangle", "Saw"});
            choice.addListener(listener, false);
        }
        void TearDown() override { choice.removeListener(listener); }

        ParamChoice<int> choice{"Waveform"};
        RecordingParamListener listener;
    };

    TEST_F(ParamChoiceTest, EmptyListChangesNothing)
    {
        ParamChoice<int> empty("Empty", 7);
        EXPECT_EQ(empty.getChoiceIndexByValue(), -1);
        empty.incrementChoice(false, ValueChangeInfo());
        empty.incrementChoice(true, ValueChangeInfo());
        empty.decrementChoice(true, ValueChangeInfo());
        empty.incrementNormalized(0.5, ValueChangeInfo());
        EXPECT_EQ(empty.getValue(), 7);
        EXPECT_FALSE(empty.setValueByName("Sine", ValueChangeInfo()));
    }

    TEST_F(ParamChoiceTest, SteppingFromAValueThatIsNoChoice)
    {
        choice.setValue(42, ValueChangeInfo(ChangeType_Silent));
        choice.incrementChoice(false, ValueChangeInfo());
        EXPECT_EQ(choice.getChoiceIndexByValue(), 0);

        choice.setValue(42, ValueChangeInfo(ChangeType_Silent));
        choice.decrementChoice(false, ValueChangeInfo());
        EXPECT_EQ(choice.getChoiceIndexByValue(), 0);

        choice.setValue(42, ValueChangeInfo(ChangeType_Silent));
        choice.decrementChoice(true, ValueChangeInfo());
        EXPECT_EQ(choice.getChoiceIndexByValue(), 2);
    }

    TEST_F(ParamChoiceTest, SteppingAtTheEnds)
    {
        choice.setValueByIndex(2, ValueChangeInfo());
        choice.incrementChoice(false, ValueChangeInfo());
        EXPECT_EQ(choice.getChoiceIndexByValue(), 2);
        EXPECT_EQ(choice.getPreviousChoiceIndex(), 2) << "the last index is set again";
        choice.incrementChoice(true, ValueChangeInfo());
        EXPECT_EQ(choice.getChoiceIndexByValue(), 0);
        choice.decrementChoice(true, ValueChangeInfo());
        EXPECT_EQ(choice.getChoiceIndexByValue(), 2);
    }

    TEST_F(ParamChoiceTest, SameValueResetsToTheDefault)
    {
        choice.setSameValueResets(true);
        choice.setValueByIndex(1, ValueChangeInfo());
        choice.setValueByIndex(1, ValueChangeInfo());
        EXPECT_EQ(choice.getValue(), 0);
        choice.setValueByName("Saw", ValueChangeInfo());
        EXPECT_TRUE(choice.setValueByName("Saw", ValueChangeInfo()));
        EXPECT_EQ(choice.getValue(), 0);

        choice.setValueByIndex(2, ValueChangeInfo());
        choice.incrementChoice(false, ValueChangeInfo());
        EXPECT_EQ(choice.getValue(), 0) << "stepping past the end without wrap re-selects the last";
    }

    TEST_F(ParamChoiceTest, PreviousIndexSwitchesBackAndForth)
    {
        choice.setValueByIndex(2, ValueChangeInfo());
        choice.setValueByIndex(0, ValueChangeInfo());
        EXPECT_EQ(choice.getPreviousChoiceIndex(), 2);
        choice.setValueByPreviousIndex(ValueChangeInfo());
        EXPECT_EQ(choice.getChoiceIndexByValue(), 2);
        EXPECT_EQ(choice.getPreviousChoiceIndex(), 0);

        choice.setValueByName("Triangle", ValueChangeInfo());
        EXPECT_EQ(choice.getPreviousChoiceIndex(), 0) << "selecting by name leaves it";
    }

    TEST_F(ParamChoiceTest, NormalizedStepsAccumulate)
    {
        choice.incrementNormalized(0.2, ValueChangeInfo());
        EXPECT_EQ(choice.getChoiceIndexByValue(), 0);
        choice.incrementNormalized(0.2, ValueChangeInfo());
        EXPECT_EQ(choice.getChoiceIndexByValue(), 1);
        choice.incrementNormalized(0.2, ValueChangeInfo());
        EXPECT_EQ(choice.getChoiceIndexByValue(), 1);
        choice.incrementNormalized(0.2, ValueChangeInfo());
        EXPECT_EQ(choice.getChoiceIndexByValue(), 2) << "-0.2 + 0.4 + 0.4 reaches the next step";
    }

    TEST_F(ParamChoiceTest, NormalizedStepWrapsBackwards)
    {
        choice.incrementNormalized(-1.0, ValueChangeInfo());
        EXPECT_EQ(choice.getChoiceIndexByValue(), 2);
        choice.incrementNormalized(0.5, ValueChangeInfo());
        EXPECT_EQ(choice.getChoiceIndexByValue(), 0) << "the remainder came back to 0.0, one step wraps";
    }

    TEST_F(ParamChoiceTest, NonFiniteOrHugeAmountsAreRefused)
    {
        test::LogRecorder log;
        choice.setValueByIndex(1, ValueChangeInfo());
        listener.clear();
        choice.incrementNormalized(std::numeric_limits<double>::infinity(), ValueChangeInfo());
        choice.incrementNormalized(std::numeric_limits<double>::quiet_NaN(), ValueChangeInfo());
        choice.incrementNormalized(std::numeric_limits<double>::max(), ValueChangeInfo());
        EXPECT_EQ(choice.getChoiceIndexByValue(), 1);
        EXPECT_TRUE(listener.events().empty());
        EXPECT_EQ(log.count(logWarning), 3u) << log.dump();
        EXPECT_TRUE(log.contains("incrementNormalized")) << log.dump();

        choice.incrementNormalized(1e12 + 0.5, ValueChangeInfo());
        EXPECT_GE(choice.getChoiceIndexByValue(), 0) << "a large finite amount still lands on a choice";
        choice.incrementNormalized(0.0, ValueChangeInfo());
    }

    TEST_F(ParamChoiceTest, EveryStoreWritesThroughTheLink)
    {
        int linked = -1;
        choice.setValueToLinkBehaviourTo(&linked);
        choice.setValueByIndex(2, ValueChangeInfo());
        EXPECT_EQ(linked, 2);
        choice.setValue(1, ValueChangeInfo(ChangeType_Silent));
        EXPECT_EQ(linked, 1);
        choice.resetToDefaultValue();
        EXPECT_EQ(linked, 0);

        auto document = test::parseText(R"(<ParamChoice name="Waveform" value="2"/>)");
        choice.readState(document->first_node(), false);
        EXPECT_EQ(linked, 2);

        choice.setValueToLinkBehaviourTo(nullptr);
        choice.setValueByIndex(0, ValueChangeInfo());
        EXPECT_EQ(linked, 2);
    }

    TEST_F(ParamChoiceTest, ClearingEmptiesTheList)
    {
        choice.setValueByIndex(1, ValueChangeInfo());
        choice.setValueByIndex(2, ValueChangeInfo());
        choice.clearChoices();
        EXPECT_EQ(choice.getNumChoices(), 0u);
        EXPECT_EQ(choice.getPreviousChoiceIndex(), -1);
        choice.setValueByPreviousIndex(ValueChangeInfo());
        EXPECT_EQ(choice.getValue(), 2);
    }

    TEST_F(ParamChoiceTest, StoredChoicesRoundTripAsText)
    {
        choice.setStoreChoices(true);
        choice.getChoiceByName("Saw")->setShortName("S");
        choice.addChoice("Off", 4, false, true);
        EXPECT_TRUE(choice.needsToWriteState()) << "stored choices are written even at the default";

        const std::string text = test::writeToText(choice, false);
        EXPECT_EQ(text, "<ParamChoice name=\"Waveform\" default=\"0\" value=\"0\" storeChoices=\"1\">\n"
                        "\t<Choice name=\"Sine\" value=\"0\" enabled=\"1\" active=\"1\" shortName=\"\"/>\n"
                        "\t<Choice name=\"Triangle\" value=\"1\" enabled=\"1\" active=\"1\" shortName=\"\"/>\n"
                        "\t<Choice name=\"Saw\" value=\"2\" enabled=\"1\" active=\"1\" shortName=\"S\"/>\n"
                        "\t<Choice name=\"Off\" value=\"4\" enabled=\"0\" active=\"1\" shortName=\"\"/>\n"
                        "</ParamChoice>\n");

        ParamChoice<int> reread("Waveform");
        auto document = test::parseText(text);
        reread.readState(document->first_node(), false);
        EXPECT_EQ(test::writeToText(reread, false), text);
    }

    TEST_F(ParamChoiceTest, ReadingAppendsUnknownNamesWhateverStoreChoicesSays)
    {
        auto document = test::parseText(R"(<ParamChoice name="Waveform" storeChoices="0">)"
                                        R"(<Choice name="Saw" value="7" shortName="s"/>)"
                                        R"(<Choice name="Noise" value="5" enabled="0"/>)"
                                        R"(<Other name="Odd" value="9"/>)"
                                        R"(<Choice value="3"/>)"
                                        R"(</ParamChoice>)");
        choice.readState(document->first_node(), false);

        ASSERT_EQ(choice.getNumChoices(), 5u);
        EXPECT_EQ(choice.getChoiceByName("Saw")->getValue(), 7);
        EXPECT_EQ(choice.getShortNameOfChoice(2), "s");
        EXPECT_EQ(choice.getNameOfChoice(3), "Noise");
        EXPECT_FALSE(choice.isChoiceEnabled(3));
        EXPECT_TRUE(choice.isChoiceActive(3));
        EXPECT_EQ(choice.getNameOfChoice(4), "Odd");
        EXPECT_EQ(choice.getChoiceByName("Odd")->getValue(), 0) << "another element name is not read";
    }
}
