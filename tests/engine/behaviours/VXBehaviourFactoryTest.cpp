#include "core/parameters/VXBehaviourFactory.h"

#include "VXBehaviourTestHelpers.h"
#include "core/parameters/VXParamRange.h"
#include "core/parameters/VXParamTestHelpers.h"
#include "engine/behaviours/VXBehaviourBasic.h"
#include "support/VXLogRecorder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vx
{
    namespace
    {
        using test::createRecording;
        using test::parseText;
        using test::RecordingBehaviour;
        using test::RecordingParamListener;
        using test::ScopedBehaviourKind;
        using test::writeToText;

        TEST(BehaviourFactory, BasicKindIsAlwaysRegisteredAndUnknownKindsAreRefused)
        {
            test::LogRecorder log;
            EXPECT_NE(BehaviourFactory::getCreator("BehaviourBasic"), nullptr);
            EXPECT_FALSE(BehaviourFactory::registerKind("BehaviourBasic", nullptr));
            EXPECT_NE(BehaviourFactory::getCreator("BehaviourBasic"), nullptr);
            EXPECT_TRUE(log.contains("BehaviourBasic")) << log.dump();

            ParamRange param("P", 0.5, ValueRange<double>());
            const auto basic = param.behaviour<BehaviourBasic>();
            ASSERT_NE(basic, nullptr);
            EXPECT_EQ(&basic->getOwner(), &param);

            log.clear();
            EXPECT_FALSE(BehaviourFactory::registerKind("BehaviourWobble", &createRecording<test::lfoKind>));
            EXPECT_EQ(BehaviourFactory::getCreator("BehaviourWobble"), nullptr);
            ASSERT_EQ(log.count(logWarning), 1u) << log.dump();
            EXPECT_TRUE(log.contains("BehaviourWobble"));
        }

        TEST(BehaviourFactory, UnregisteredKindIsSkippedOnRead)
        {
            const ScopedBehaviourKind none(test::expressionKind, nullptr);
            ParamRange param("P", 0.5, ValueRange<double>());
            param.readState(parseText("<ParamRange name=\"P\"><BehaviourExpression name=\"BehaviourExpression\"/>"
                                      "</ParamRange>")
                                ->first_node(),
                            false);
            EXPECT_NE(param.behaviour<BehaviourBasic>(), nullptr);
        }

        TEST(BehaviourFactory, EarlierKindWinsWhateverTheChildOrder)
        {
            const ScopedBehaviourKind timeline(test::timelineKind, &createRecording<test::timelineKind>);
            const ScopedBehaviourKind lfo(test::lfoKind, &createRecording<test::lfoKind>);
            ParamRange param("P", 0.5, ValueRange<double>());
            param.readState(parseText("<ParamRange name=\"P\">"
                                      "<BehaviourLFO name=\"BehaviourLFO\"/>"
                                      "<BehaviourTimeline name=\"BehaviourTimeline\"/>"
                                      "</ParamRange>")
                                ->first_node(),
                            false);
            const auto created = param.behaviour<RecordingBehaviour>();
            ASSERT_NE(created, nullptr);
            EXPECT_EQ(created->getElementName(), "BehaviourTimeline");
        }

        struct BehaviourXml : ::testing::Test
        {
            const ScopedBehaviourKind lfo{test::lfoKind, &createRecording<test::lfoKind>};
        };

        TEST_F(BehaviourXml, BehaviourChildRoundTripsByteExact)
        {
            ParamRange param("Speed", 5.0, ValueRange<double>(0.0, 10.0));
            auto animated = std::make_shared<RecordingBehaviour>(param, "BehaviourLFO");
            animated->rate->setValue(2.5, ValueChangeInfo());
            param.setBehaviour(animated);
            EXPECT_TRUE(param.needsToWriteState());

            const std::string text = writeToText(param, false);
            EXPECT_EQ(text, "<ParamRange name=\"Speed\" default=\"5\" value=\"5\">\n"
                            "\t<ValueRange name=\"defaultRange\" min=\"0\" max=\"10\"/>\n"
                            "\t<BehaviourLFO name=\"BehaviourLFO\">\n"
                            "\t\t<Params name=\"Params\">\n"
                            "\t\t\t<Param name=\"Rate\" default=\"1\" value=\"2.5\"/>\n"
                            "\t\t</Params>\n"
                            "\t</BehaviourLFO>\n"
                            "</ParamRange>\n");

            ParamRange copy("Speed", 5.0, ValueRange<double>(0.0, 10.0));
            RecordingParamListener listener;
            copy.addListener(listener, false);
            copy.readState(parseText(text)->first_node(), false);
            copy.removeListener(listener);

            const auto read = copy.behaviour<RecordingBehaviour>();
            ASSERT_NE(read, nullptr);
            EXPECT_EQ(read->rate->getValue(), 2.5);
            EXPECT_EQ(&read->getOwner(), &copy);
            EXPECT_EQ(writeToText(copy, false), text);
            // Reset to basic, then the element's behaviour, then the read.
            EXPECT_EQ(listener.events(), (std::vector<std::string>{"state(6)", "state(6)", "state(4)"}));
        }

        TEST_F(BehaviourXml, FactoryMadeParameterGetsItsBehaviour)
        {
            const auto document = parseText("<ParamRange name=\"Gain\" value=\"0.25\">"
                                            "<BehaviourLFO name=\"BehaviourLFO\"><Params name=\"Params\">"
                                            "<Param name=\"Rate\" value=\"4\"/></Params></BehaviourLFO>"
                                            "</ParamRange>");
            std::unique_ptr<ParamRange> param(ParamRange::createParamFromXmlNode(document->first_node()));
            ASSERT_NE(param, nullptr);
            const auto read = param->behaviour<RecordingBehaviour>();
            ASSERT_NE(read, nullptr);
            EXPECT_EQ(read->rate->getValue(), 4.0);
            EXPECT_EQ(param->getValue(), 0.25);
        }
    }
}
