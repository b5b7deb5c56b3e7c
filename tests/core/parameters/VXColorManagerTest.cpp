#include "core/parameters/VXColorManager.h"

#include "VXParamTestHelpers.h"

#include "core/VXTime.h"
#include "core/parameters/VXParamColor.h"
#include "core/parameters/VXSwatch.h"

#include <gtest/gtest.h>

namespace vx
{
    using SwatchPtr = std::shared_ptr<Swatch>;

    namespace
    {
        class RecordingManagerListener : public ColorManagerListener
        {
        public:
            void swatchAdded(SwatchPtr swatch) override { events.push_back("added " + nameOf(swatch)); }
            void swatchDeleted(SwatchPtr swatch) override { events.push_back("deleted " + nameOf(swatch)); }
            void activeSwatchesChanged(std::vector<SwatchPtr> active) override
            {
                std::string text = "active";
                for (const SwatchPtr& swatch : active)
                    text += " " + nameOf(swatch);
                events.push_back(text);
            }

            std::vector<std::string> events;

        private:
            static std::string nameOf(const SwatchPtr& swatch) { return swatch ? swatch->getConfirmedName() : "-"; }
        };

        class RecordingSwatchListener : public SwatchListener
        {
        public:
            void swatchRemoved() override { events.push_back("removed"); }
            void swatchColorChanged(Color color) override { events.push_back("color " + std::to_string(color.rgba())); }
            void swatchNameChanged(std::string name) override { events.push_back("name " + name); }

            std::vector<std::string> events;
        };
    }

    class ColorManagerTest : public ::testing::Test
    {
    protected:
        void SetUp() override { manager.addListener(events, false); }
        void TearDown() override { manager.removeListener(events); }

        ColorManager manager;
        RecordingManagerListener events;
    };

    TEST_F(ColorManagerTest, IdsStartAtTheTickCountThenCountUp)
    {
        const double before = getTickCount();
        const SwatchPtr first = manager.createNew(Color::red, "");
        const double after = getTickCount();
        EXPECT_GE(first->getId(), static_cast<unsigned long long>(before));
        EXPECT_LE(first->getId(), static_cast<unsigned long long>(after));
        EXPECT_EQ(manager.createNew(Color::red, "")->getId(), first->getId() + 1);
        EXPECT_EQ(manager.getSwatch(first->getId()), first);
        EXPECT_EQ(manager.getSwatch(first->getId() + 7), nullptr);
    }

    TEST_F(ColorManagerTest, GeneratedNamesSkipTakenOnes)
    {
        EXPECT_EQ(manager.createNew(Color::red, "")->getConfirmedName(), "swatch 0");
        manager.clear();
        manager.createNew(Color::red, "swatch 2");
        manager.createNew(Color::red, "swatch 3");
        EXPECT_EQ(manager.createNew(Color::red, "")->getConfirmedName(), "swatch 4");
        EXPECT_EQ(manager.createNew(Color::red, "swatch 2")->getConfirmedName(), "swatch 2") << "given names are kept";
        EXPECT_EQ(manager.countSwatchName("swatch 2"), 2);
        EXPECT_TRUE(manager.swatchNameExists("swatch 3"));
        EXPECT_FALSE(manager.swatchNameExists("Swatch 3"));
    }

    TEST_F(ColorManagerTest, NewSwatchesBecomeTheOnlyActiveOne)
    {
        const SwatchPtr first = manager.createNew(Color::red, "a");
        const SwatchPtr second = manager.createNew(Color::blue, "b");
        EXPECT_EQ(manager.getActiveSwatch(), second);
        EXPECT_EQ(manager.getActiveSwatches(), (std::vector<SwatchPtr>{second}));
        EXPECT_EQ(second->getColor()->getValue(), Color::blue);
        EXPECT_EQ(second->getPath(), "/colormanager/b");
        EXPECT_EQ(events.events, (std::vector<std::string>{"added a", "active a", "added b", "active b"}));

        events.events.clear();
        manager.setActiveSwatch(first, true);
        manager.setActiveSwatch(first, true);
        EXPECT_EQ(manager.getActiveSwatches(), (std::vector<SwatchPtr>{second, first}));
        EXPECT_EQ(events.events, (std::vector<std::string>{"active b a", "active b a"}));
    }

    TEST_F(ColorManagerTest, RemovingTheActiveSwatchLeavesAnEmptySelectionEntry)
    {
        manager.createNew(Color::red, "a");
        const SwatchPtr active = manager.createNew(Color::blue, "b");
        RecordingSwatchListener swatchEvents;
        active->addListener(swatchEvents, false);

        events.events.clear();
        manager.removeActiveSwatch();
        EXPECT_EQ(manager.getActiveSwatch(), nullptr);
        EXPECT_EQ(manager.getActiveSwatches(), (std::vector<SwatchPtr>{nullptr}));
        EXPECT_EQ(manager.getSwatches().size(), 1u);
        EXPECT_EQ(events.events, (std::vector<std::string>{"deleted b", "active -"}));
        EXPECT_EQ(swatchEvents.events, (std::vector<std::string>{"removed"}));
        active->removeListener(swatchEvents);

        manager.removeSwatch(nullptr);
        EXPECT_EQ(manager.getSwatches().size(), 1u);
    }

    TEST_F(ColorManagerTest, RenamingAcceptsUniqueNamesAndRevertsDuplicates)
    {
        manager.createNew(Color::red, "a");
        const SwatchPtr active = manager.createNew(Color::blue, "b");

        active->changeName("c");
        EXPECT_EQ(active->getConfirmedName(), "c");
        EXPECT_EQ(active->getName(), "c");
        EXPECT_EQ(active->getPath(), "/colormanager/c");
        EXPECT_EQ(active->getColor()->getPath(), "c");
        EXPECT_EQ(active->getNameParam()->getPath(), "namec");

        active->changeName("a");
        EXPECT_EQ(active->getNameParam()->getValue(), "c");
        EXPECT_EQ(active->getConfirmedName(), "c");
        EXPECT_EQ(manager.countSwatchName("a"), 1);
    }

    TEST_F(ColorManagerTest, DuplicatedConfirmedNamesDoNotRecurseForever)
    {
        manager.createNew(Color::red, "same");
        manager.createNew(Color::red, "other");
        const SwatchPtr active = manager.createNew(Color::blue, "same");

        active->changeName("other");
        EXPECT_EQ(active->getNameParam()->getValue(), "same");
        EXPECT_EQ(active->getConfirmedName(), "same");
    }

    TEST_F(ColorManagerTest, ColourChangesGoToTheActiveSwatchOrANewOne)
    {
        EXPECT_EQ(manager.createNew(), nullptr);
        manager.changeColor(Color::green);
        ASSERT_EQ(manager.getSwatches().size(), 1u);
        const SwatchPtr created = manager.getActiveSwatch();
        EXPECT_EQ(created->getColor()->getValue(), Color::green);

        RecordingSwatchListener swatchEvents;
        created->addListener(swatchEvents, false);
        manager.changeColor(Color::blue);
        EXPECT_EQ(manager.getSwatches().size(), 1u);
        EXPECT_EQ(swatchEvents.events, (std::vector<std::string>{"color " + std::to_string(Color::blue.rgba())}));
        created->removeListener(swatchEvents);

        const SwatchPtr copy = manager.createNew();
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(copy->getColor()->getValue(), Color::blue);
        EXPECT_EQ(copy->getConfirmedName(), "swatch 1");
    }

    // The manager stops listening to what it lets go: a name proposed by a
    // swatch it still heard would be confirmed for the active swatch.
    TEST_F(ColorManagerTest, RemovedAndClearedSwatchesNoLongerReachTheManager)
    {
        const SwatchPtr removed = manager.createNew(Color::red, "a");
        const SwatchPtr active = manager.createNew(Color::blue, "b");
        manager.removeSwatch(removed);
        active->getNameParam()->setValue("pending", ValueChangeInfo(ChangeType_Silent));
        removed->changeName("z");
        EXPECT_EQ(active->getConfirmedName(), "b");

        manager.clear();
        EXPECT_FALSE(manager.hasSwatches());
        EXPECT_EQ(manager.getActiveSwatch(), active) << "clear leaves the selection";
        active->changeName("y");
        EXPECT_EQ(active->getConfirmedName(), "b");
    }

    TEST(ColorManagerLifetimeTest, SwatchesOutlivingTheManagerDoNotCallIt)
    {
        SwatchPtr kept;
        std::vector<std::string> deleted;
        {
            ColorManager manager;
            manager.createNew(Color::red, "a");
            kept = manager.createNew(Color::blue, "b");
            RecordingManagerListener listener;
            manager.addListener(listener, false);
            manager.clear();
            deleted = listener.events;
            manager.removeListener(listener);
            manager.createNew(Color::green, "c");
        }
        EXPECT_EQ(deleted, (std::vector<std::string>{"deleted a", "deleted b"}));
        kept->changeName("renamed");
        kept->getColor()->setValue(Color::white, ValueChangeInfo());
        kept->prepareRemoval();
        EXPECT_EQ(kept->getNameParam()->getValue(), "renamed");
    }

    TEST(SwatchXmlTest, TheLargestIdRoundTrips)
    {
        Swatch swatch(18446744073709551615ull, "deep");
        swatch.getColor()->setValue(Color::red, ValueChangeInfo());
        const std::string text = test::writeToText(swatch, false);
        EXPECT_EQ(text, "<swatch name=\"deep\" id=\"18446744073709551615\">\n"
                        "\t<ParamColor name=\"Color\" channelmode=\"2\" color=\"4278190335\">\n"
                        "\t\t<Params name=\"Params\">\n"
                        "\t\t\t<ParamRange name=\"Red\" default=\"0\" value=\"1\"/>\n"
                        "\t\t\t<ParamRange name=\"Saturation\" default=\"0\" value=\"1\"/>\n"
                        "\t\t\t<ParamRange name=\"Brightness\" default=\"0\" value=\"1\"/>\n"
                        "\t\t</Params>\n"
                        "\t</ParamColor>\n"
                        "</swatch>\n");

        Swatch copy(0, "");
        RecordingSwatchListener swatchEvents;
        copy.addListener(swatchEvents, false);
        auto document = test::parseText(text);
        copy.readState(document->first_node(), false);
        copy.removeListener(swatchEvents);
        EXPECT_EQ(copy.getId(), 18446744073709551615ull);
        EXPECT_EQ(copy.getConfirmedName(), "deep");
        EXPECT_EQ(copy.getColor()->getValue(), Color::red);
        EXPECT_EQ(swatchEvents.events.front(), "name deep");
        EXPECT_EQ(test::writeToText(copy, false), text);
    }

    TEST_F(ColorManagerTest, ManagerRoundTripKeepsOrderAndSkipsForeignChildren)
    {
        const SwatchPtr first = manager.createNew(Color::red, "a");
        manager.createNew(Color::blue, "b");
        const std::string text = test::writeToText(manager, false);

        auto document = test::parseText(text);
        ColorManager copy;
        copy.readState(document->first_node(), false);
        EXPECT_EQ(test::writeToText(copy, false), text);
        ASSERT_EQ(copy.getSwatches().size(), 2u);
        EXPECT_EQ(copy.getSwatches()[0]->getId(), first->getId());
        EXPECT_EQ(copy.getActiveSwatch(), copy.getSwatches()[1]);
        EXPECT_EQ(copy.getSwatches()[1]->getPath(), "/colormanager/b");

        auto foreign =
            test::parseText(R"(<swatches name="swatches">text<note name="x"/><swatch name="c" id="5"/></swatches>)");
        copy.readState(foreign->first_node(), false);
        ASSERT_EQ(copy.getSwatches().size(), 3u);
        EXPECT_EQ(copy.getSwatches()[2]->getConfirmedName(), "c");
        EXPECT_EQ(copy.getSwatch(5), copy.getSwatches()[2]);
    }
}
