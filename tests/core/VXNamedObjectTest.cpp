#include "core/VXNamedObject.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
    // Records notifications in order, with the path seen at the time.
    class Recording : public vx::NamedObject
    {
    public:
        using vx::NamedObject::NamedObject;
        void pathChanged() override { events.push_back("path:" + getPath()); }
        void nameChanged() override { events.push_back("name:" + getName()); }
        std::vector<std::string> events;
    };

    TEST(NamedObject, ConstructionNormalisesThePathWithoutNotifying)
    {
        Recording object("Master Opacity");
        EXPECT_EQ("/masteropacity", object.getPath());
        EXPECT_TRUE(object.events.empty());
        EXPECT_EQ("", vx::NamedObject("").getPath());
    }

    TEST(NamedObject, OnlyBlanksAreRemovedAndOnlyAsciiLowered)
    {
        EXPECT_EQ("/a\tb-c_d.9\xc9", vx::NamedObject::createValidPath("/A \tB-C_D.9\xc9"));
        std::string text = " X Y ";
        vx::NamedObject::createValidPathInPlace(text);
        EXPECT_EQ("xy", text);
    }

    TEST(NamedObject, SetNameUpdatesPathBeforeNotifyingNameAndOnlyWhatChanged)
    {
        Recording object("");
        object.setName("Blur Amount", true);
        EXPECT_EQ((std::vector<std::string>{"path:/bluramount", "name:Blur Amount"}), object.events);
        object.events.clear();
        object.setName("Blur Amount", true);
        EXPECT_TRUE(object.events.empty());
        object.setName("BlurAmount", true);
        EXPECT_EQ((std::vector<std::string>{"name:BlurAmount"}), object.events);
    }

    TEST(NamedObject, SetPathNotifiesOnChangeOrWhenForced)
    {
        Recording object("x");
        object.setPath("/X", false);
        EXPECT_TRUE(object.events.empty());
        object.setPath("/ X", true);
        EXPECT_EQ((std::vector<std::string>{"path:/x"}), object.events);
        object.setPath("/Other Name", false);
        EXPECT_EQ("/othername", object.getPath());
        EXPECT_EQ(2u, object.events.size());
        object.setPathByParent("/Group");
        EXPECT_EQ("/group/x", object.getPath());
        object.setPathByParent("/Group", "Other Child");
        EXPECT_EQ("/group/otherchild", object.getPath());
    }

    TEST(NamedObject, AltNameAlwaysNotifiesAndIsNotCopied)
    {
        Recording object("n");
        object.setAltName("alt");
        object.setAltName("alt");
        EXPECT_EQ(2u, object.events.size());
        const vx::NamedObject copy(object);
        EXPECT_EQ("/n", copy.getPath());
        EXPECT_EQ("", copy.getAltName());
    }

    TEST(IsEqualPath, MatchesNameReadWithoutBlanksLowerCased)
    {
        EXPECT_TRUE(vx::isEqualPath("foobar", "Foo Bar"));
        EXPECT_TRUE(vx::isEqualPath("foobar", " Foo  Bar  "));
        EXPECT_FALSE(vx::isEqualPath("foobar", "Foo"));
        EXPECT_FALSE(vx::isEqualPath("foobar", "Foo Baz"));
        EXPECT_FALSE(vx::isEqualPath("foo", "Foo Bar"));
        EXPECT_FALSE(vx::isEqualPath("FooBar", "foobar"));
        EXPECT_TRUE(vx::isEqualPath("", "  "));
        EXPECT_FALSE(vx::isEqualPath(nullptr, "x"));
    }
}
