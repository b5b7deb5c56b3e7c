#include "core/parameters/VXParamEvent.h"

#include "VXParamTestHelpers.h"

#include "core/parameters/VXParamContainer.h"

#include <gtest/gtest.h>

namespace vx
{
    using test::RecordingParamListener;
    using Events = std::vector<std::string>;

    class ParamEventTest : public ::testing::Test
    {
    protected:
        void SetUp() override { event.addListener(listener, false); }
        void TearDown() override { event.removeListener(listener); }

        ParamEvent event{"Go"};
        RecordingParamListener listener;
    };

    TEST_F(ParamEventTest, TriggerTogglesAndPollersSeeEachToggleOnce)
    {
        event.trigger();
        EXPECT_TRUE(event.getValue());
        EXPECT_TRUE(event.isTriggered());
        EXPECT_FALSE(event.isTriggered());

        event.trigger();
        EXPECT_FALSE(event.getValue());
        EXPECT_TRUE(event.isTriggered());
        EXPECT_FALSE(event.isTriggered());

        EXPECT_EQ(listener.events(), (Events{"value(0)", "value(0)"}));
        for (const auto& call : listener.recorded())
            EXPECT_GT(call.info.time, 0.0) << "trigger stamps its change";
    }

    TEST_F(ParamEventTest, OneSidedTriggerTypeFiltersRequestsButNotTheBaseSetter)
    {
        event.setTriggerType(ParamEvent::triggerOnTrue);
        EXPECT_EQ(event.getDefaultChangeType(), ChangeType_Always);

        event.triggerTrue();
        EXPECT_TRUE(event.isTriggered());
        listener.clear();

        // A true event asks for false: dropped, but the seen value moves on.
        event.trigger();
        EXPECT_TRUE(event.getValue());
        EXPECT_FALSE(event.isTriggered());
        EXPECT_FALSE(event.setValue(false, ValueChangeInfo()));
        EXPECT_TRUE(listener.events().empty());

        // The same value twice through the base interface notifies twice
        // under the default change type 2; false passes unfiltered there.
        Param<bool>& base = event;
        EXPECT_TRUE(base.setValue(true, ValueChangeInfo()));
        EXPECT_TRUE(base.setValue(true, ValueChangeInfo()));
        EXPECT_TRUE(base.setValue(false, ValueChangeInfo()));
        EXPECT_FALSE(event.getValue());
        EXPECT_EQ(listener.events(), (Events{"value(0)", "value(0)", "value(0)"}));
    }

    TEST(ParamEventXmlTest, AStoredListHoldsNoEventWhateverItsValue)
    {
        ParamContainer container("Params", false);
        auto event = container.addParamEvent("Go");
        event->setStorage(XmlCapable::storageAlways);
        event->trigger();
        container.addParamBool("Flag", false);
        EXPECT_EQ(test::writeToText(container, true),
                  "<Params name=\"Params\">\n\t<Param name=\"Flag\" default=\"0\" value=\"0\"/>\n</Params>\n");
    }

    TEST(ParamEventXmlTest, ContainerRecreatesACreatableEventAtItsPosition)
    {
        ParamContainer container("Params", false);
        container.addParamBool("First", false);
        container.addParamBool("Last", false);
        auto document = test::parseText(R"(<Params name="Params"><Param name="First" value="1"/>)"
                                        R"(<ParamEvent name="Fire" storage="0" value="1"/>)"
                                        R"(<Param name="Last" value="1"/></Params>)");
        container.readState(document->first_node(), false);

        ASSERT_EQ(container.getNumParams(), 3);
        auto created = std::dynamic_pointer_cast<ParamEvent>(container.getParam(1));
        ASSERT_NE(created, nullptr);
        EXPECT_EQ(created->getName(), "Fire");
        EXPECT_EQ(created->getStorage(), XmlCapable::storageCreatable);
        EXPECT_FALSE(created->getValue()) << "an event reads no value";
    }
}
