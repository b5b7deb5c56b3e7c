#include "core/parameters/VXParamContainer.h"

#include "VXParamTestHelpers.h"

#include "core/parameters/VXParamCollection.h"
#include "core/parameters/VXParamView.h"
#include "engine/ffgl/VXVexkit.h"

#include <gtest/gtest.h>

namespace vx
{
    using test::RecordingParamListener;
    using Events = std::vector<std::string>;
    using ParamPtr = std::shared_ptr<ParamBase>;

    namespace
    {
        class RecordingContainerListener : public ParamContainerListener
        {
        public:
            ParamPtr createParamForXmlNode(ParamContainer&, const XmlNode& node) override
            {
                asked.push_back(std::string(node.name(), node.name_size()));
                if (! creates)
                    return nullptr;
                auto made = std::make_shared<Param<int>>(readAttribute(node.first_attribute("name"), std::string()), 0);
                made->readState(&node, true);
                return made;
            }
            void paramsChanged() override { ++changes; }

            bool creates = false;
            std::vector<std::string> asked;
            int changes = 0;
        };

        std::vector<std::string> namesOf(const ParamContainer& container)
        {
            std::vector<std::string> names;
            for (int i = 0; i < container.getNumParams(); ++i)
                names.push_back(container.getParam(i)->getName());
            return names;
        }
    }

    class ParamContainerTest : public ::testing::Test
    {
    protected:
        ParamContainer container{"Params", false};
    };

    TEST_F(ParamContainerTest, InsertionIndicesOutsideTheListAppend)
    {
        container.addParamBool("a", true);
        container.insertParam(std::make_shared<Param<int>>("b", 0), -1);
        container.insertParam(std::make_shared<Param<int>>("c", 0), 2);
        container.insertParam(std::make_shared<Param<int>>("d", 0), 99);
        container.insertParam(std::make_shared<Param<int>>("e", 0), 0);
        EXPECT_EQ(namesOf(container), (std::vector<std::string>{"e", "a", "b", "c", "d"}));
        EXPECT_EQ(container.getParam(-1), nullptr);
        EXPECT_EQ(container.getParam(container.getNumParams()), nullptr);
    }

    TEST_F(ParamContainerTest, NameLookups)
    {
        auto first = container.addParamDouble("Blur Amount", 0.0);
        auto second = container.addParamDouble("BLUR amount", 0.0);
        container.addParamString("", "unnamed");

        EXPECT_EQ(container.getParamByName("blur AMOUNT", true), first);
        EXPECT_EQ(container.getParamByName("blur AMOUNT", false), nullptr);
        EXPECT_EQ(container.getParamByName("BLUR amount", false), second);
        EXPECT_EQ(container.getParamByName("", true), nullptr);

        auto dotted = container.addParamBool("Opt. Flag", false);
        EXPECT_EQ(container.getParamByNameIgnoringDotsSpacesAndCase("optflag"), dotted);
        EXPECT_EQ(container.getParamByNameIgnoringDotsSpacesAndCase("optFlag"), nullptr);
        EXPECT_EQ(container.getParamByNameIgnoringDotsSpacesAndCase("opt.flag"), nullptr);
        EXPECT_EQ(container.getParamByNameIgnoringDotsSpacesAndCase("opt flag"), nullptr);
    }

    TEST_F(ParamContainerTest, AnObjectHeldTwiceIsRemovedOnceAtATime)
    {
        RecordingContainerListener listener;
        container.addListener(listener);
        EXPECT_FALSE(container.addListener(listener));

        auto shared = std::make_shared<Param<int>>("x", 0);
        container.addParam(container.addParamBool("first", false));
        container.addParam(shared);
        container.addParam(shared);
        EXPECT_EQ(container.getNumParams(), 4);
        EXPECT_EQ(container.findParamIndex(*shared), 2);

        EXPECT_TRUE(container.removeParam(shared, true));
        EXPECT_EQ(container.findParamIndex(*shared), 2) << "the second entry moved up";
        EXPECT_TRUE(container.removeParamByName("x"));
        EXPECT_FALSE(container.removeParam(shared, true));
        EXPECT_FALSE(container.removeParam(7));
        EXPECT_EQ(listener.changes, 6) << "four insertions, two removals, none for failures";
        container.removeListener(listener);
    }

    TEST_F(ParamContainerTest, ViewsBelongToHeldParameters)
    {
        auto held = container.addParamDouble("Held", 0.0);
        auto stranger = std::make_shared<Param<int>>("Stranger", 0);
        RecordingParamListener listener;
        held->addListener(listener, false);

        EXPECT_FALSE(container.setViewForParam(stranger, ParamView(), true));
        EXPECT_TRUE(container.setViewForParam("Held", ParamView().withNumDecimals(4), true));
        ParamView* view = container.getViewForParam(held);
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(view->getNumDecimals(), 4);
        container.setViewForParam(held, ParamView().withNumDecimals(1), false);
        EXPECT_EQ(container.getViewForParam(*held), view) << "overwritten in place";
        EXPECT_EQ(view->getNumDecimals(), 1);

        container.removeView(held, true);
        container.removeView(held, true);
        EXPECT_FALSE(container.hasView(held));
        EXPECT_EQ(listener.events(), (Events{"state(3)", "state(3)", "state(3)"}));

        container.setViewForParam(held, ParamView(), false);
        container.removeParam(held, false);
        EXPECT_EQ(container.getViewForParam(*held), nullptr) << "removal drops the view";
        held->removeListener(listener);
    }

    TEST_F(ParamContainerTest, AddingAnotherContainerSharesObjectsAndCopiesWholeViews)
    {
        ParamContainer other("Other", false);
        auto mode = other.addParamChoice("Mode", {"a", "b"});
        ParamView view;
        view.setComboboxSections({{"a", "first"}});
        other.setViewForParam(mode, view, false);

        container.addParams(other, true);
        EXPECT_EQ(container.getParam(0), mode);
        ASSERT_NE(container.getViewForParam(mode), nullptr);
        EXPECT_EQ(container.getViewForParam(mode)->getComboboxSections().size(), 1u);

        container.removeParams(other);
        EXPECT_FALSE(container.hasParams());
    }

    TEST_F(ParamContainerTest, EmptyOrDefaultContainersWriteNothing)
    {
        EXPECT_FALSE(container.needsToWriteState());
        EXPECT_EQ(test::writeToText(container, true), "");

        container.addParamDouble("Size", 0.5);
        EXPECT_FALSE(container.needsToWriteState());
        EXPECT_EQ(test::writeToText(container, false), "");
        container.getParam(0)->setStorage(XmlCapable::storageAlways);
        EXPECT_TRUE(container.needsToWriteState());
    }

    TEST_F(ParamContainerTest, WritesAndReadsBackAsText)
    {
        container.addParamDouble("Size", 0.5)->setValue(0.25, ValueChangeInfo());
        auto mode = container.addParamChoice("Mode", {"Fall", "Settle"});
        mode->setValueByName("Settle", ValueChangeInfo());
        auto label = container.addParamString("Label", "");
        label->setValue("snow & <ice>", ValueChangeInfo());
        label->setStorage(XmlCapable::storageCreatable);
        container.addParamBool("Untouched", true);

        const std::string text = test::writeToText(container, false);
        EXPECT_EQ(text,
                  "<Params name=\"Params\">\n"
                  "\t<Param name=\"Size\" default=\"0.5\" value=\"0.25\"/>\n"
                  "\t<ParamChoice name=\"Mode\" default=\"0\" value=\"1\" storeChoices=\"0\"/>\n"
                  "\t<Param storage=\"0\" name=\"Label\" T=\"STRING\" default=\"\" value=\"snow &amp; &lt;ice&gt;\"/>\n"
                  "</Params>\n");

        ParamContainer reread("Params", false);
        reread.addParamDouble("size", 0.5);
        reread.addParamChoice("Mode", {"Fall", "Settle"});
        reread.addParamBool("Untouched", true);
        auto document = test::parseText(text);
        reread.readState(document->first_node(), false);

        EXPECT_EQ(namesOf(reread), (std::vector<std::string>{"size", "Mode", "Label", "Untouched"}))
            << "matched ignoring case; the creatable one lands at its written position";
        std::string expected = text;
        expected.replace(expected.find("\"Size\""), 6, "\"size\"");
        EXPECT_EQ(test::writeToText(reread, false), expected);
    }

    TEST_F(ParamContainerTest, ReadingSkipsWhatItCannotMatchOrCreate)
    {
        RecordingContainerListener listener;
        listener.creates = true;
        container.addListener(listener);
        auto existing = container.addParamChoice("Existing", {"a", "b"});

        auto document = test::parseText(R"(<Params name="Params">)"
                                        R"(<Param value="1"/>)"
                                        R"(<Param name="" value="1"/>)"
                                        R"(<ParamRange name="Existing" value="1"/>)"
                                        R"(<Param name="Kept out" T="INT32" value="4"/>)"
                                        R"(<Param name="Wide" storage="0" T="UINT32" value="4"/>)"
                                        R"(<Custom name="Hosted" storage="0" value="6"/>)"
                                        R"(<Param name="Made" storage="0" T="INT32" value="5"/>)"
                                        R"(</Params>)");
        container.readState(document->first_node(), false);

        EXPECT_EQ(existing->getValue(), 0) << "another element name is passed over";
        EXPECT_EQ(listener.asked, (std::vector<std::string>{"Custom"})) << "the factory's refusal of UINT32 is final";
        EXPECT_EQ(namesOf(container), (std::vector<std::string>{"Existing", "Hosted", "Made"}));
        auto made = std::dynamic_pointer_cast<Param<int>>(container.getParamByName("Made"));
        ASSERT_NE(made, nullptr);
        EXPECT_EQ(made->getValue(), 5);
        container.removeListener(listener);
    }

    class PublicParamContainerTest : public ::testing::Test
    {
    protected:
        void TearDown() override { Vexkit::deleteInstance(); }

        ParamCollection& startEngine()
        {
            Vexkit* root = Vexkit::create(0);
            root->initialise(false);
            return *root->getParamCollection();
        }
    };

    TEST_F(PublicParamContainerTest, PublicParametersGetPathsAndAreRegistered)
    {
        ParamCollection& registry = startEngine();
        ParamContainer container("Snow FX", true);
        auto size = container.addParamDouble("Flake Size", 1.0);
        EXPECT_EQ(size->getPath(), "/snowfx/flakesize");
        EXPECT_EQ(registry.findParamWithPath("/snowfx/flakesize"), size);

        container.setName("Rain FX");
        EXPECT_EQ(registry.findParamWithPath("/rainfx/flakesize"), size);

        container.removeParam(size, true);
        EXPECT_EQ(registry.findParamWithPath("/rainfx/flakesize"), nullptr);

        auto kept = container.addParamBool("Kept", true);
        container.clearParams(false);
        EXPECT_EQ(registry.getNumParams(), 0);
        EXPECT_EQ(kept.use_count(), 1);
    }

    TEST_F(PublicParamContainerTest, ClassFlagMakesLaterContainersPrivate)
    {
        ParamCollection& registry = startEngine();
        ParamContainer::allowPublicParams = false;
        ParamContainer container("Hidden", true);
        ParamContainer::allowPublicParams = true;
        EXPECT_FALSE(container.areParamsPublic());
        auto param = container.addParamBool("Flag", true);
        EXPECT_EQ(param->getPath(), "/flag");
        EXPECT_EQ(registry.getNumParams(), 0);
    }

    TEST_F(PublicParamContainerTest, NoRegistryNoRegistration)
    {
        Vexkit::create(0);
        ParamContainer container("Early", true);
        auto param = container.addParamBool("Flag", true);
        EXPECT_EQ(param->getPath(), "/early/flag") << "the root exists, so paths are given";
        EXPECT_TRUE(container.removeParam(param, true));

        container.addParamBool("Again", true);
        Vexkit::getInstance()->initialise(false);
        Vexkit::getInstance()->shutdown();
        container.addParamBool("After", true);
        container.setName("Renamed");
        container.clearParams(true);
        EXPECT_EQ(container.getNumParams(), 0);
    }

    TEST_F(PublicParamContainerTest, RegistryShutdownBeforeTheContainerIsSafe)
    {
        ParamCollection& registry = startEngine();
        ParamContainer container("Fx", true);
        auto param = container.addParamDouble("Level", 0.0);
        RecordingParamListener listener;
        registry.addListener(listener, false);
        param->setValue(0.5, ValueChangeInfo());
        EXPECT_EQ(listener.events().size(), 1u);
        registry.removeListener(listener);

        Vexkit::getInstance()->shutdown();
        EXPECT_TRUE(param->setValue(0.75, ValueChangeInfo()));
        EXPECT_TRUE(container.removeParam(param, true));
    }
}
