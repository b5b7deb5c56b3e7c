#include "core/parameters/VXParamScripts.h"

#include "VXParamTestHelpers.h"

#include "core/VXTimeInfo.h"
#include "core/VXTimeUnit.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamView.h"

#include <gtest/gtest.h>

namespace vx
{
    namespace
    {
        // Counts the frames and starts it is given.
        class CountingParam : public Param<int>
        {
        public:
            explicit CountingParam(const std::string& name) : Param<int>(name, 0) {}
            bool update(const TimeInfo&) override
            {
                ++updates;
                return changes;
            }
            bool changes = false;
            int updates = 0;
        };
    }

    TEST(ParamScriptTest, WritesItsTypeAfterTheStringAndReadsItBack)
    {
        ParamScript script("Frag", ParamScript::scriptTypeFragmentShader, "void main() {}");
        script.setValue("gl_FragColor = c;", ValueChangeInfo());
        const std::string text = test::writeToText(script, false);
        EXPECT_EQ(text,
                  "<ParamScript name=\"Frag\" default=\"void main() {}\" value=\"gl_FragColor = c;\" type=\"1\"/>\n");

        auto document = test::parseText(text);
        std::unique_ptr<ParamBase> created(ParamScript::createParamFromXmlNode(document->first_node()));
        auto* copy = dynamic_cast<ParamScript*>(created.get());
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(copy->getScriptType(), ParamScript::scriptTypeFragmentShader);
        EXPECT_EQ(copy->getValue(), "gl_FragColor = c;");
        EXPECT_EQ(test::writeToText(*copy, false), text);
    }

    TEST(ParamScriptTest, UnparsableTypeOnAnExistingScriptKeepsItsType)
    {
        EXPECT_EQ(ParamScript::createParamFromXmlNode(nullptr), nullptr);
        ParamScript script("A", ParamScript::scriptTypeFragmentShader, "");
        auto document = test::parseText(R"(<ParamScript name="A" type="x" value="y"/>)");
        script.readState(document->first_node(), false);
        EXPECT_EQ(script.getScriptType(), ParamScript::scriptTypeFragmentShader);
        EXPECT_EQ(script.getValue(), "y");
    }

    class ParamScriptsTest : public ::testing::Test
    {
    protected:
        ParamScripts scripts{"Shader"};
    };

    TEST_F(ParamScriptsTest, ScriptLookupAnswersEmptyOutsideTheListOrForOtherKinds)
    {
        auto fragment = scripts.addScript("Frag", ParamScript::scriptTypeFragmentShader, "void main() {}");
        scripts.getScripts()->addParamBool("Flag", true);
        EXPECT_EQ(scripts.getNumScripts(), 2);
        EXPECT_EQ(scripts.getScript(0), fragment);
        EXPECT_EQ(scripts.getScript(1), nullptr);
        EXPECT_EQ(scripts.getScript(-1), nullptr);
        EXPECT_EQ(scripts.getScript(2), nullptr);
    }

    TEST_F(ParamScriptsTest, FramesAndPlaybackReachBothListsEveryTime)
    {
        auto first = std::make_shared<CountingParam>("a");
        auto second = std::make_shared<CountingParam>("b");
        first->changes = true;
        scripts.getScripts()->addParam(first);
        scripts.getUserParams()->addParam(second);

        EXPECT_TRUE(scripts.update(TimeInfo(10.0)));
        EXPECT_EQ(first->updates, 1);
        EXPECT_EQ(second->updates, 1) << "a change in Scripts must not skip User";

        scripts.start(true, TimeUnit());
        EXPECT_TRUE(scripts.isPlaying());
        EXPECT_TRUE(first->isPlaying());
        EXPECT_TRUE(second->isPlaying());
        scripts.stop(TimeUnit());
        EXPECT_FALSE(second->isPlaying());
    }

    TEST_F(ParamScriptsTest, BothListsFollowTheParameterPath)
    {
        auto fragment = scripts.addScript("Frag", ParamScript::scriptTypeFragmentShader, "");
        auto gain = scripts.getUserParams()->addParamDouble("Gain", 1.0);
        scripts.setPath("/fx/shader");
        EXPECT_EQ(fragment->getPath(), "/fx/shader/frag");
        EXPECT_EQ(gain->getPath(), "/fx/shader/gain");
    }

    TEST_F(ParamScriptsTest, RoundTripGivesUserParamsEditableViews)
    {
        scripts.addScript("Frag", ParamScript::scriptTypeFragmentShader, "a");
        scripts.getScript(0)->setValue("b", ValueChangeInfo());
        auto gain = std::make_shared<Param<double>>("Gain", 1.0);
        gain->setStorage(XmlCapable::storageCreatable);
        gain->setValue(2.0, ValueChangeInfo());
        scripts.getUserParams()->addParam(gain);

        const std::string text = test::writeToText(scripts, false);
        EXPECT_EQ(text, "<ParamScripts name=\"Shader\">\n"
                        "\t<Params name=\"Scripts\">\n"
                        "\t\t<ParamScript name=\"Frag\" default=\"a\" value=\"b\" type=\"1\"/>\n"
                        "\t</Params>\n"
                        "\t<Params name=\"User\">\n"
                        "\t\t<Param storage=\"0\" name=\"Gain\" T=\"DOUBLE\" default=\"1\" value=\"2\"/>\n"
                        "\t</Params>\n"
                        "</ParamScripts>\n");

        ParamScripts copy("Shader");
        copy.addScript("Frag", ParamScript::scriptTypeDefault, "a");
        auto document = test::parseText(text);
        copy.readState(document->first_node(), false);
        EXPECT_EQ(test::writeToText(copy, false), text);

        ASSERT_EQ(copy.getUserParams()->getNumParams(), 1);
        const ParamView* view = copy.getUserParams()->getViewForParam(copy.getUserParams()->getParam(0));
        ASSERT_NE(view, nullptr);
        EXPECT_TRUE(view->isRemovable());
        EXPECT_TRUE(view->nameIsEditable());
    }
}
