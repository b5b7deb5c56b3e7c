#include "VXBehaviourTestHelpers.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamTestHelpers.h"
#include "engine/behaviours/VXAudioBeatmarks.h"
#include "engine/behaviours/VXBehaviourBpmBeatLoopr.h"
#include "engine/behaviours/VXBehaviourBpmHardSync.h"
#include "engine/behaviours/VXBehaviourExpression.h"
#include "engine/behaviours/VXBehaviourFFTLink.h"
#include "engine/behaviours/VXBehaviourLFO.h"
#include "engine/behaviours/VXBehaviourLink.h"
#include "engine/behaviours/VXBehaviourPoints.h"
#include "engine/behaviours/VXBehaviourTimeline.h"
#include "engine/behaviours/VXEnvelopeModifier.h"
#include "engine/behaviours/VXKeyFrame.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

namespace vx
{
    namespace
    {
        // Gives owner a behaviour of one kind with some of its state changed
        // from the defaults.
        using Configure = std::function<void(ParamRange& owner)>;

        struct Kind
        {
            const char* name;
            Configure configure;
        };

        void changeRange(BehaviourDouble& behaviour, const std::string& name, double value)
        {
            std::static_pointer_cast<ParamRange>(behaviour.getParams()->getParamByName(name))
                ->setValue(value, ValueChangeInfo());
        }

        const Kind kinds[] = {
            {"BehaviourTimeline",
             [](ParamRange& owner)
             {
                 auto timeline = std::make_shared<BehaviourTimeline>(owner, 5000.0);
                 changeRange(*timeline, "speed", 2.5);
                 timeline->getPlayModeParam()->setValueByName("bounce", ValueChangeInfo());
                 timeline->setGlobalSpeedEnabled(true);
                 auto marks = std::make_shared<AudioBeatmarks<double>>();
                 marks->addBeatmark(0.5);
                 timeline->setBeatmarks(marks);
                 owner.setBehaviour(timeline);
             }},
            {"BehaviourBpmBeatLoopr",
             [](ParamRange& owner)
             {
                 auto loopr = std::make_shared<BehaviourBpmBeatLoopr>(owner, 5000.0);
                 changeRange(*loopr, "bpm", 133.0);
                 loopr->getBeatLoopParam()->setValueByName("1/4 Beat", ValueChangeInfo());
                 owner.setBehaviour(loopr);
             }},
            {"BehaviourLink",
             [](ParamRange& owner)
             {
                 auto link = std::make_shared<BehaviourLink>(owner);
                 link->getInvertParam()->setValue(true, ValueChangeInfo());
                 link->setPathToLink("~/elsewhere");
                 owner.setBehaviour(link);
             }},
            {"BehaviourBpmHardSync",
             [](ParamRange& owner)
             {
                 auto sync = std::make_shared<BehaviourBpmHardSync>(owner);
                 changeRange(*sync, "Beats", 16.0);
                 owner.setBehaviour(sync);
             }},
            {"BehaviourFFTLink",
             [](ParamRange& owner)
             {
                 auto fft = std::make_shared<BehaviourFFTLink>(owner);
                 changeRange(*fft, "Gain", -6.0);
                 fft->getFrequencyRangeParam()->setStartStopRange(ValueRange<double>(0.1, 0.3), ValueChangeInfo());
                 owner.setBehaviour(fft);
             }},
            {"BehaviourPoints",
             [](ParamRange& owner)
             {
                 auto points = std::make_shared<BehaviourPoints>(owner, 5000.0);
                 Animation& animation = points->getEnvelope()->getAnimation();
                 animation.insert(std::make_unique<KeyFrame>(animation, 0.0, 0.25, 1));
                 animation.insert(std::make_unique<KeyFrame>(animation, 0.75, 1.0, 24));
                 points->getPlayModeParam()->setValueByName("once", ValueChangeInfo());
                 owner.setBehaviour(points);
             }},
            {"BehaviourExpression",
             [](ParamRange& owner)
             {
                 auto expression = std::make_shared<BehaviourExpression>(owner, 5000.0);
                 expression->getExpressionParam()->setValue("x * 2", ValueChangeInfo());
                 owner.setBehaviour(expression);
             }},
            {"BehaviourLFO",
             [](ParamRange& owner)
             {
                 auto lfo = std::make_shared<BehaviourLFO>(owner, 5000.0);
                 lfo->getWaveformParam()->setValueByName("Square", ValueChangeInfo());
                 changeRange(*lfo, "Beats", 8.0);
                 owner.setBehaviour(lfo);
             }},
        };

        using EveryKind = ::testing::TestWithParam<Kind>;

        TEST_P(EveryKind, WritesReadsIntoAFreshParameterAndWritesTheSameAndAnimates)
        {
            ParamRange owner("Level", 0.25, ValueRange<double>());
            GetParam().configure(owner);
            const std::string text = test::writeToText(owner, false);

            const auto document = test::parseText(text);
            const XmlNode* behaviourElement = document->first_node()->first_node(GetParam().name);
            ASSERT_NE(behaviourElement, nullptr) << text;
            ASSERT_NE(behaviourElement->first_node(), nullptr) << text;
            EXPECT_STREQ(behaviourElement->first_node()->name(), "Params") << text;

            ParamRange fresh("Level", 0.25, ValueRange<double>());
            fresh.readState(document->first_node(), false);
            EXPECT_EQ(fresh.getBehaviour()->getElementName(), GetParam().name);
            EXPECT_EQ(&fresh.getBehaviour()->getOwner(), &fresh);
            EXPECT_EQ(test::writeToText(fresh, false), text);
            fresh.update(test::frame(40.0, 40.0));
            EXPECT_FALSE(std::isnan(fresh.getValue()));
            owner.removeBehaviour();
            fresh.removeBehaviour();
        }

        INSTANTIATE_TEST_SUITE_P(Table, EveryKind, ::testing::ValuesIn(kinds),
                                 [](const auto& info) { return std::string(info.param.name); });
    }
}
