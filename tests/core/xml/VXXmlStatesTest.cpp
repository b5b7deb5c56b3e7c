#include "core/xml/VXXmlStates.h"

#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/xml/VXXmlUtils.h"

namespace
{
    using namespace vx;

    // A target with named values, written as one "Value" child each; reading
    // changes only the values its element mentions.
    class Panel : public XmlCapable
    {
    public:
        explicit Panel(const std::string& element = "Panel") : XmlCapable(element, "Panel") {}

        XmlNode* writeStateDerived(XmlPool& pool, bool) override
        {
            XmlNode* element = createElement(pool);
            for (const auto& [name, value] : values)
            {
                XmlNode* child = createNode(pool, "Value");
                child->append_attribute(createAttribute(pool, "name", name));
                child->append_attribute(createAttribute(pool, "value", value));
                element->append_node(child);
            }
            return element;
        }

        void readStateDerived(const XmlNode& node) override
        {
            ++reads;
            forEachChildOfType(node, "Value",
                               [this](const XmlNode& child)
                               {
                                   const std::string name = readAttribute(child.first_attribute("name"), std::string());
                                   auto found = values.find(name);
                                   if (found != values.end())
                                       readAttribute(child.first_attribute("value"), &found->second);
                               });
        }

        std::map<std::string, int> values{{"a", 1}, {"b", 2}};
        int reads = 0;
    };

    class CountingListener : public XmlStatesListener
    {
    public:
        void statesChanged() override { ++calls; }
        int calls = 0;
    };

    class XmlStatesTest : public testing::Test
    {
    protected:
        void SetUp() override { store.addListener(listener, false); }
        void TearDown() override { store.removeListener(listener); }

        std::vector<std::string> names() const
        {
            std::vector<std::string> result;
            for (int i = 0; i < store.getNumStates(); ++i)
                result.push_back(store.getState(i)->getName());
            return result;
        }

        Panel panel;
        XmlStates store{&panel, 4096, true};
        CountingListener listener;
    };

    TEST_F(XmlStatesTest, PushDefaultReplacesTheDefaultAtTheFront)
    {
        const int first = store.pushState("one", "");
        EXPECT_EQ(listener.calls, 1);

        const int defaultId = store.pushDefault();
        EXPECT_EQ(listener.calls, 2);
        const int secondDefault = store.pushDefault();
        EXPECT_EQ(listener.calls, 4) << "removal and insertion";

        EXPECT_NE(defaultId, secondDefault);
        EXPECT_EQ(names(), (std::vector<std::string>{"default", "one"}));
        EXPECT_EQ(store.getDefaultState()->getUniqueId(), secondDefault);
        EXPECT_EQ(store.getStateById(defaultId), nullptr);
        EXPECT_EQ(store.getStateById(first)->getName(), "one");
        EXPECT_EQ(store.getState(2), nullptr);
        EXPECT_EQ(store.getState(-1), nullptr);
    }

    TEST_F(XmlStatesTest, FailedPushesChangeNothing)
    {
        EXPECT_EQ(store.pushState("x", "nothing named so"), -1);
        EXPECT_FALSE(store.repushState(12345, ""));

        panel.setStorage(XmlCapable::storageNever);
        EXPECT_EQ(store.pushDefault(), -1);
        store.setXmlCapable(nullptr);
        EXPECT_EQ(store.pushState("x", ""), -1);

        EXPECT_EQ(store.getNumStates(), 0);
        EXPECT_EQ(listener.calls, 0);
    }

    TEST_F(XmlStatesTest, PartialSnapshotsApplyOnlyTheirPart)
    {
        const int id = store.pushState("b only", "b");
        ASSERT_NE(id, -1);
        EXPECT_EQ(XmlUtils::nodeToString(*store.getStateById(id)->getNode()),
                  "<Panel>\n\t<Value name=\"b\" value=\"2\"/>\n</Panel>\n");

        panel.values = {{"a", 10}, {"b", 20}};
        EXPECT_TRUE(store.toLastState(false, ""));
        EXPECT_EQ(panel.values, (std::map<std::string, int>{{"a", 10}, {"b", 2}}));

        panel.values["b"] = 30;
        EXPECT_TRUE(store.repushState(id, ""));
        panel.values = {{"a", 0}, {"b", 0}};
        EXPECT_TRUE(store.toState(id));
        EXPECT_EQ(panel.values, (std::map<std::string, int>{{"a", 10}, {"b", 30}}));

        panel.values = {{"a", 0}, {"b", 0}};
        EXPECT_FALSE(store.toLastState(false, "c"));
        EXPECT_TRUE(store.toLastState(false, "a"));
        EXPECT_EQ(panel.values, (std::map<std::string, int>{{"a", 10}, {"b", 0}}));
    }

    TEST_F(XmlStatesTest, ToLastStatePopsAllButTheLastState)
    {
        EXPECT_FALSE(store.toLastState(true, ""));
        store.pushState("first", "");
        panel.values["a"] = 5;
        store.pushState("second", "");
        panel.values["a"] = 9;
        listener.calls = 0;

        EXPECT_TRUE(store.toLastState(true, ""));
        EXPECT_EQ(panel.values["a"], 5);
        EXPECT_EQ(names(), (std::vector<std::string>{"first"}));
        EXPECT_TRUE(store.toLastState(true, ""));
        EXPECT_EQ(panel.values["a"], 1);
        EXPECT_EQ(names(), (std::vector<std::string>{"first"}));
        EXPECT_EQ(listener.calls, 2);
    }

    TEST_F(XmlStatesTest, ToStateAndToDefaultAnnounceAsDocumented)
    {
        const int id = store.pushState("s", "");
        listener.calls = 0;
        EXPECT_FALSE(store.toState(id + 1000));
        EXPECT_FALSE(store.toDefault(""));
        EXPECT_TRUE(store.toState(id));
        EXPECT_EQ(listener.calls, 0);

        store.pushDefault();
        listener.calls = 0;
        EXPECT_FALSE(store.toDefault("missing part"));
        EXPECT_EQ(listener.calls, 1);
        EXPECT_TRUE(store.toDefault("a"));
        EXPECT_EQ(listener.calls, 2);
    }

    TEST_F(XmlStatesTest, ApplyingToATargetOfAnotherElementChangesNothing)
    {
        store.pushState("s", "");
        Panel other("Other");
        other.values = {{"a", 7}};
        store.setXmlCapable(&other);
        EXPECT_TRUE(store.toLastState(false, ""));
        EXPECT_EQ(other.reads, 0);
        EXPECT_EQ(other.values["a"], 7);
    }

    TEST_F(XmlStatesTest, RemovalsAnnounceEvenForForeignStates)
    {
        store.pushState("a", "");
        store.pushState("b", "");
        store.pushState("b", "");
        listener.calls = 0;

        XmlStates otherStore(&panel, 4096, true);
        otherStore.pushState("foreign", "");
        store.removeStateByObject(otherStore.getState(0), true);
        EXPECT_EQ(listener.calls, 1);
        EXPECT_EQ(otherStore.getNumStates(), 1) << "not deleted either";

        store.removeStateByObject(nullptr, true);
        EXPECT_EQ(listener.calls, 1);

        store.removeStateByName("b", true);
        EXPECT_EQ(names(), (std::vector<std::string>{"a", "b"}));
        store.removeState(0, true);
        EXPECT_EQ(names(), (std::vector<std::string>{"b"}));
        store.removeStateById(store.getState(0)->getUniqueId(), true);
        EXPECT_EQ(store.getNumStates(), 0);
        EXPECT_EQ(listener.calls, 4);

        store.pushState("x", "");
        listener.calls = 0;
        store.clear();
        EXPECT_EQ(store.getNumStates(), 0);
        EXPECT_EQ(listener.calls, 0);
    }

    TEST_F(XmlStatesTest, NonOwningStoreLeavesStatesToTheirOwner)
    {
        XmlStates borrowing(&panel, 4096, false);
        XmlState external(nullptr, "");
        EXPECT_EQ(external.getName(), "XmlState");
        borrowing.addState(&external);
        borrowing.addState(nullptr);
        EXPECT_EQ(borrowing.getNumStates(), 1);
        borrowing.clear();
        EXPECT_EQ(external.getName(), "XmlState");
    }

    TEST_F(XmlStatesTest, SavedStoreLoadsBackInOrderWithNewIds)
    {
        store.pushState("one", "");
        panel.values["a"] = 11;
        store.pushState("two", "a");
        store.getState(1)->setAltName("second");
        panel.values["b"] = 22;
        store.pushState("three", "");

        XmlDocument pool;
        XmlNode* saved = store.writeState(pool, true);
        ASSERT_NE(saved, nullptr);
        const std::string text = XmlUtils::nodeToString(*saved);
        EXPECT_EQ(text, "<XmlStates name=\"XmlStates\">\n"
                        "\t<XmlState name=\"one\">\n"
                        "\t\t<Panel name=\"Panel\">\n\t\t\t<Value name=\"a\" value=\"1\"/>\n\t\t\t<Value name=\"b\" "
                        "value=\"2\"/>\n\t\t</Panel>\n"
                        "\t</XmlState>\n"
                        "\t<XmlState name=\"two\" altName=\"second\">\n"
                        "\t\t<Panel>\n\t\t\t<Value name=\"a\" value=\"11\"/>\n\t\t</Panel>\n"
                        "\t</XmlState>\n"
                        "\t<XmlState name=\"three\">\n"
                        "\t\t<Panel name=\"Panel\">\n\t\t\t<Value name=\"a\" value=\"11\"/>\n\t\t\t<Value name=\"b\" "
                        "value=\"22\"/>\n\t\t</Panel>\n"
                        "\t</XmlState>\n"
                        "</XmlStates>\n");

        XmlStates loaded(nullptr, 4096, true);
        loaded.pushState("ignored without target", "");
        loaded.addState(new XmlState(nullptr, "existing"));
        {
            auto document = XmlUtils::loadXmlFromString(text, false);
            ASSERT_NE(document, nullptr);
            loaded.readState(document->first_node(), false);
        }
        ASSERT_EQ(loaded.getNumStates(), 4);
        EXPECT_EQ(loaded.getState(0)->getName(), "existing");
        for (int i = 0; i < 3; ++i)
        {
            EXPECT_EQ(loaded.getState(i + 1)->getName(), store.getState(i)->getName());
            EXPECT_NE(loaded.getState(i + 1)->getUniqueId(), store.getState(i)->getUniqueId());
        }

        // The loaded snapshots no longer depend on the document.
        EXPECT_EQ(XmlUtils::nodeToString(*loaded.getState(3)->getNode()),
                  XmlUtils::nodeToString(*store.getState(2)->getNode()));
        loaded.setXmlCapable(&panel);
        panel.values = {{"a", 0}, {"b", 0}};
        EXPECT_TRUE(loaded.toState(loaded.getState(3)->getUniqueId()));
        EXPECT_EQ(panel.values, (std::map<std::string, int>{{"a", 11}, {"b", 22}}));
    }

    TEST_F(XmlStatesTest, LoadingSkipsIncompleteStates)
    {
        auto document =
            XmlUtils::loadXmlFromString("<XmlStates><XmlState><Panel/></XmlState><XmlState name=\"empty\"/>"
                                        "<Other name=\"x\"><Panel/></Other><XmlState name=\"ok\"><Panel/></XmlState>"
                                        "</XmlStates>",
                                        false);
        store.readState(document->first_node(), false);
        EXPECT_EQ(names(), (std::vector<std::string>{"ok"}));
        EXPECT_EQ(listener.calls, 0);
        EXPECT_EQ(store.addStateFromXml(nullptr), -1);
    }

    TEST(XmlStateIds, AreUniqueAndNeverMinusOneAcrossThreads)
    {
        constexpr int perThread = 2000;
        std::vector<std::vector<int>> ids(4);
        std::vector<std::thread> threads;
        for (auto& list : ids)
            threads.emplace_back(
                [&list]
                {
                    for (int i = 0; i < perThread; ++i)
                        list.push_back(XmlState(nullptr, "s").getUniqueId());
                });
        for (auto& thread : threads)
            thread.join();

        std::set<int> all;
        for (const auto& list : ids)
            all.insert(list.begin(), list.end());
        EXPECT_EQ(all.size(), 4u * perThread);
        EXPECT_EQ(all.count(-1), 0u);
    }
}
