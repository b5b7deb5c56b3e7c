#include "core/xml/VXXmlCapable.h"

#include <climits>
#include <locale>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/xml/VXXmlTestProbe.h"
#include "core/xml/VXXmlUtils.h"

namespace
{
    using namespace vx;
    using test::Probe;

    std::string printed(const XmlNode* node)
    {
        return node != nullptr ? XmlUtils::nodeToString(*node) : std::string("<null>");
    }

    std::unique_ptr<XmlDocument> parse(const std::string& text)
    {
        auto document = XmlUtils::loadXmlFromString(text, false);
        EXPECT_NE(document, nullptr) << text;
        return document;
    }

    // ---------------------------------------------------------------- writing

    TEST(XmlCapableWrite, StorageDecidesWhetherAndHowTheElementIsWritten)
    {
        XmlDocument pool;
        Probe probe;

        EXPECT_EQ(probe.writeState(pool, false), nullptr) << "storage 1, nothing to write";
        EXPECT_EQ(printed(probe.writeState(pool, true)), "<Probe name=\"Probe\" value=\"0\"/>\n");
        probe.needsWriting = true;
        EXPECT_EQ(printed(probe.writeState(pool, false)), "<Probe name=\"Probe\" value=\"0\"/>\n");
        probe.needsWriting = false;

        probe.setStorage(XmlCapable::storageCreatable);
        EXPECT_EQ(printed(probe.writeState(pool, false)), "<Probe storage=\"0\" name=\"Probe\" value=\"0\"/>\n");
        probe.setStorage(XmlCapable::storageAlways);
        EXPECT_EQ(printed(probe.writeState(pool, false)), "<Probe storage=\"3\" name=\"Probe\" value=\"0\"/>\n");
        probe.setStorage(XmlCapable::storageNever);
        EXPECT_EQ(probe.writeState(pool, true), nullptr);
        EXPECT_FALSE(probe.needsToWriteState());
    }

    TEST(XmlCapableWrite, AltNameFollowsNameAndEmptyNameBecomesElementName)
    {
        XmlDocument pool;
        Probe probe("", "Knob");
        EXPECT_EQ(probe.getName(), "Knob");
        EXPECT_EQ(probe.getPath(), "/knob");

        probe.setAltName("Alt & \"quoted\"");
        EXPECT_EQ(printed(probe.writeState(pool, true)),
                  "<Knob name=\"Knob\" altName='Alt &amp; \"quoted\"' value=\"0\"/>\n");
    }

    TEST(XmlCapableWrite, AppendAndWriteLinksOnlyWrittenElements)
    {
        XmlDocument pool;
        XmlNode* parent = XmlCapable::createNode(pool, "Parent");
        Probe written("A"), skipped("B");
        written.setStorage(XmlCapable::storageAlways);
        written.appendAndWrite(parent, pool, false);
        skipped.appendAndWrite(parent, pool, false);
        skipped.appendAndWrite(nullptr, pool, true);
        EXPECT_EQ(printed(parent), "<Parent>\n\t<Probe storage=\"3\" name=\"A\" value=\"0\"/>\n</Parent>\n");
    }

    TEST(XmlCapableWrite, ElementOutlivesTheObjectsStrings)
    {
        XmlDocument pool;
        XmlNode* element = nullptr;
        {
            Probe probe("Temporary name that lives on the heap, long enough");
            element = probe.writeState(pool, true);
        }
        EXPECT_EQ(printed(element),
                  "<Probe name=\"Temporary name that lives on the heap, long enough\" value=\"0\"/>\n");
    }

    TEST(XmlCapableIdentity, CopyAndAssignmentKeepOnlyTheNames)
    {
        Probe original("Level", "Gain");
        original.setAltName("alt");
        original.setStorage(XmlCapable::storageAlways);

        Probe copy(original);
        EXPECT_EQ(copy.getName(), "Level");
        EXPECT_EQ(copy.getElementName(), "Gain");
        EXPECT_EQ(copy.getAltName(), "");
        EXPECT_EQ(copy.getStorage(), XmlCapable::storageDefault);

        Probe other("Other", "Other");
        other.setStorage(XmlCapable::storageNever);
        const int changesBefore = other.nameChanges;
        static_cast<XmlCapable&>(other) = original;
        EXPECT_EQ(other.nameChanges, changesBefore) << "assignment does not notify";
        EXPECT_EQ(other.getName(), "Level");
        EXPECT_EQ(other.getElementName(), "Gain");
        EXPECT_EQ(other.getPath(), "/other") << "assignment leaves the path";
        EXPECT_EQ(other.getStorage(), XmlCapable::storageNever);
    }

    // ---------------------------------------------------------------- reading

    TEST(XmlCapableRead, RunsHooksInOrderAndNeverAppliesName)
    {
        auto document = parse("<Probe name=\"Other\" altName=\"Alt\" storage=\"3\" value=\"7\"/>");
        Probe probe;
        probe.readState(document->first_node(), false);

        EXPECT_EQ(probe.calls, (std::vector<std::string>{"pre", "derived", "post"}));
        EXPECT_EQ(probe.value, 7);
        EXPECT_EQ(probe.getName(), "Probe");
        EXPECT_EQ(probe.getAltName(), "Alt");
        EXPECT_EQ(probe.nameChanges, 0) << "reading the alternative name does not notify";
        EXPECT_EQ(probe.getStorage(), XmlCapable::storageAlways);
    }

    TEST(XmlCapableRead, OtherElementNameIsIgnoredUnlessAsked)
    {
        auto document = parse("<Other value=\"5\"/>");
        Probe probe;
        probe.setStorage(XmlCapable::storageAlways);

        probe.readState(document->first_node(), false);
        EXPECT_TRUE(probe.calls.empty());
        EXPECT_EQ(probe.value, 0);

        probe.readState(document->first_node(), true);
        EXPECT_EQ(probe.value, 5);
        EXPECT_EQ(probe.getStorage(), XmlCapable::storageAlways) << "no storage attribute keeps the storage";

        probe.readState(static_cast<const XmlNode*>(nullptr), true);
        EXPECT_EQ(probe.calls.size(), 3u);
    }

    TEST(XmlCapableRead, MalformedStorageKeepsTheStorage)
    {
        auto document = parse("<Probe storage=\"x\"/>");
        Probe probe;
        probe.setStorage(XmlCapable::storageAlways);
        probe.readState(document->first_node(), false);
        EXPECT_EQ(probe.getStorage(), XmlCapable::storageAlways);
    }

    TEST(XmlCapableRead, CopiesStateFromAnotherObject)
    {
        XmlDocument pool;
        Probe source("Source"), target("Target");
        source.value = 42;
        source.setAltName("copied");
        target.readState(pool, source, false);
        EXPECT_EQ(target.value, 42);
        EXPECT_EQ(target.getAltName(), "copied");
        EXPECT_EQ(target.getName(), "Target");

        Probe never("Never");
        never.value = 9;
        never.setStorage(XmlCapable::storageNever);
        target.readState(pool, never, false);
        EXPECT_EQ(target.value, 42);
    }

    TEST(XmlCapableRead, FindAndReadTakesTheFirstChildWithTheSameName)
    {
        auto document =
            parse("<Parent><Probe name=\"a\" value=\"1\"/><Other name=\"b\" value=\"2\"/>"
                  "<Probe name=\"b\" value=\"3\"/><Probe name=\"b\" value=\"4\"/><Probe value=\"5\"/></Parent>");
        const XmlNode* parent = document->first_node();

        Probe b("b");
        EXPECT_TRUE(XmlCapable::findAndRead(parent, b));
        EXPECT_EQ(b.value, 3);

        Probe missing("c");
        EXPECT_FALSE(missing.findAndRead(parent));
        EXPECT_TRUE(missing.calls.empty());

        Probe unnamed("x");
        unnamed.setName("", false);
        EXPECT_TRUE(unnamed.findAndRead(parent));
        EXPECT_EQ(unnamed.value, 5);

        EXPECT_FALSE(XmlCapable::findAndRead(nullptr, b));
    }

    struct StorageCase
    {
        const char* name;
        const char* element;
        XmlCapable::Storage expected;
    };

    class XmlNodeStorage : public testing::TestWithParam<StorageCase>
    {
    };

    TEST_P(XmlNodeStorage, ReadsOnlyKnownValues)
    {
        auto document = parse(GetParam().element);
        EXPECT_EQ(XmlCapable::getXmlNodeStorage(*document->first_node()), GetParam().expected);
    }

    INSTANTIATE_TEST_SUITE_P(Values, XmlNodeStorage,
                             testing::Values(StorageCase{"Absent", "<a/>", XmlCapable::storageDefault},
                                             StorageCase{"Empty", "<a storage=\"\"/>", XmlCapable::storageDefault},
                                             StorageCase{"Four", "<a storage=\"4\"/>", XmlCapable::storageDefault},
                                             StorageCase{"MinusOne", "<a storage=\"-1\"/>", XmlCapable::storageDefault},
                                             StorageCase{"Letters", "<a storage=\"abc\"/>",
                                                         XmlCapable::storageCreatable},
                                             StorageCase{"Never", "<a storage=\"2\"/>", XmlCapable::storageNever},
                                             StorageCase{"Always", "<a storage=\" 3\"/>", XmlCapable::storageAlways}),
                             [](const testing::TestParamInfo<StorageCase>& info) { return info.param.name; });

    // ------------------------------------------------------------- attributes

    struct AttributeCase
    {
        const char* name;
        std::string text;
        std::string expected;
    };

    class AttributeText : public testing::TestWithParam<AttributeCase>
    {
    };

    TEST_P(AttributeText, IsWrittenAsExpected)
    {
        EXPECT_EQ(GetParam().text, GetParam().expected);
    }

    std::string attributeTextOf(XmlAttribute* attribute)
    {
        return std::string(attribute->name()) + "=" + attribute->value();
    }

    XmlDocument attributePool;

    INSTANTIATE_TEST_SUITE_P(
        Values, AttributeText,
        testing::Values(
            AttributeCase{"DoubleTenth", attributeTextOf(createAttribute(attributePool, "v", 0.1)),
                          "v=0.10000000000000000555"},
            AttributeCase{"FloatTenth", attributeTextOf(createAttribute(attributePool, "v", 0.1f)),
                          "v=0.10000000149011611938"},
            AttributeCase{"DoubleOne", attributeTextOf(createAttribute(attributePool, "v", 1.0)), "v=1"},
            AttributeCase{"DoubleLarge", attributeTextOf(createAttribute(attributePool, "v", 1e21)), "v=1e+21"},
            AttributeCase{"Bool", attributeTextOf(createAttribute(attributePool, "v", true)), "v=1"},
            AttributeCase{"UnsignedByte",
                          attributeTextOf(createAttribute(attributePool, "v", static_cast<unsigned char>(65))), "v=65"},
            AttributeCase{"SignedByte",
                          attributeTextOf(createAttribute(attributePool, std::string("v"), static_cast<char>(-5))),
                          "v=-5"},
            AttributeCase{"UInt64", attributeTextOf(createAttribute(attributePool, "v", 18446744073709551615ull)),
                          "v=18446744073709551615"},
            AttributeCase{"IntNegative", attributeTextOf(createAttribute(attributePool, "v", -1234567)), "v=-1234567"},
            AttributeCase{"Storage", attributeTextOf(createAttribute(attributePool, "v", XmlCapable::storageNever)),
                          "v=2"}),
        [](const testing::TestParamInfo<AttributeCase>& info) { return info.param.name; });

    // A numeric punctuation that a host's locale might install.
    struct CommaDecimal : std::numpunct<char>
    {
        char do_decimal_point() const override { return ','; }
        char do_thousands_sep() const override { return '.'; }
        std::string do_grouping() const override { return "\3"; }
    };

    TEST(XmlAttributes, TextIgnoresTheGlobalLocale)
    {
        const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaDecimal));
        XmlDocument pool;
        const std::string written = pool.allocate_string(createAttribute(pool, "v", 12345.5)->value());
        const std::string writtenWhole = pool.allocate_string(createAttribute(pool, "n", 1234567)->value());
        auto document = XmlUtils::loadXmlFromString("<a v=\"2.25\" n=\"1234\"/>", false);
        double read = 0.0;
        int number = 0;
        const bool readOk = readAttribute(document->first_node()->first_attribute("v"), &read);
        readAttribute(document->first_node()->first_attribute("n"), &number);
        std::locale::global(previous);

        EXPECT_EQ(written, "12345.5");
        EXPECT_EQ(writtenWhole, "1234567");
        EXPECT_TRUE(readOk);
        EXPECT_EQ(read, 2.25);
        EXPECT_EQ(number, 1234);
    }

    TEST(XmlAttributes, ReadingFollowsStandardExtraction)
    {
        auto document =
            parse("<a lead=\" 42abc\" letters=\"abc\" empty=\"\" blank=\"  \" hex=\"0x10\" big=\"99999999999\""
                  " one=\"1\" word=\"true\" two=\"2\" real=\"-1.5e3\" text=\" keep &amp; spaces \"/>");
        const XmlNode* node = document->first_node();
        int value = -7;

        EXPECT_TRUE(readAttribute(node->first_attribute("lead"), &value));
        EXPECT_EQ(value, 42);
        EXPECT_FALSE(readAttribute(node->first_attribute("letters"), &value));
        EXPECT_EQ(value, 0);

        value = -7;
        EXPECT_FALSE(readAttribute(node->first_attribute("missing"), &value));
        EXPECT_EQ(value, -7);
        EXPECT_FALSE(readAttribute(node->first_attribute("empty"), &value));
        EXPECT_EQ(value, -7);
        EXPECT_FALSE(readAttribute(node->first_attribute("blank"), &value));
        EXPECT_EQ(value, -7);

        EXPECT_TRUE(readAttribute(node->first_attribute("hex"), &value));
        EXPECT_EQ(value, 0);
        EXPECT_FALSE(readAttribute(node->first_attribute("big"), &value));
        EXPECT_EQ(value, INT_MAX);

        bool flag = false;
        EXPECT_TRUE(readAttribute(node->first_attribute("one"), &flag));
        EXPECT_TRUE(flag);
        EXPECT_FALSE(readAttribute(node->first_attribute("word"), &flag));
        EXPECT_FALSE(readAttribute(node->first_attribute("two"), &flag));

        double real = 0.0;
        EXPECT_TRUE(readAttribute(node->first_attribute("real"), &real));
        EXPECT_EQ(real, -1500.0);

        EXPECT_EQ(readAttribute(node->first_attribute("text"), std::string("d")), " keep & spaces ");
        EXPECT_EQ(readAttribute(node->first_attribute("missing"), std::string("d")), "d");
    }

    TEST(XmlAttributes, WrittenValuesReadBackExactly)
    {
        XmlDocument pool;
        const double doubles[] = {0.1, -1e-300, 1e21, 3.141592653589793, 5e-324};
        for (double d : doubles)
        {
            double back = 0.0;
            EXPECT_TRUE(readAttribute(createAttribute(pool, "v", d), &back));
            EXPECT_EQ(back, d);
        }
        float f = 0.0f;
        EXPECT_TRUE(readAttribute(createAttribute(pool, "v", 0.1f), &f));
        EXPECT_EQ(f, 0.1f);
        unsigned long long u = 0;
        EXPECT_TRUE(readAttribute(createAttribute(pool, "v", 18446744073709551615ull), &u));
        EXPECT_EQ(u, 18446744073709551615ull);
    }

    TEST(XmlAttributes, ParseFloatArray)
    {
        std::vector<float> out{9.0f};
        EXPECT_EQ(parseFloatArray(out, "1.5, 2,,3", ','), 4);
        EXPECT_EQ(out, (std::vector<float>{9.0f, 1.5f, 2.0f, 3.0f}));

        out.clear();
        EXPECT_EQ(parseFloatArray(out, " ", ','), 1);
        EXPECT_EQ(out, (std::vector<float>{0.0f}));

        out.clear();
        EXPECT_EQ(parseFloatArray(out, "", ','), 0);
        EXPECT_EQ(parseFloatArray(out, nullptr, ','), 0);

        EXPECT_EQ(parseFloatArray(out, "1\t2;4", ';'), 2) << "tabs stay inside a token";
        EXPECT_EQ(out, (std::vector<float>{1.0f, 4.0f}));
    }

    TEST(XmlAttributes, ParseArraysSurviveLongTokens)
    {
        const std::string longToken = "0." + std::string(3000, '5');
        std::vector<float> floats;
        EXPECT_EQ(parseFloatArray(floats, (longToken + ",7").c_str(), ','), 2);
        EXPECT_NEAR(floats[0], 0.5555555f, 1e-6f);
        EXPECT_EQ(floats[1], 7.0f);

        std::vector<int> ints;
        const std::string longInt = std::string(600, '0') + "12";
        EXPECT_EQ(parseIntArray(ints, (longInt + " -3 99999999999").c_str(), ','), 3);
        EXPECT_EQ(ints, (std::vector<int>{0, -3, INT_MAX})) << "converted from the first 511 characters; clamped";
    }

    // --------------------------------------------------------- node utilities

    const char* const treeText =
        "<r><a name=\"x\"><b name=\"y\"><b name=\"deep\"/></b></a><b name=\"z\"/><b name=\"w\"/>"
        "<c><b/></c><d id=\"z\"/></r>";

    TEST(XmlNodeUtilities, SearchIsDepthFirstInDocumentOrder)
    {
        auto document = parse(treeText);
        const XmlNode& root = *document->first_node();

        const XmlNode* b = XmlCapable::findChildNode(root, "b");
        ASSERT_NE(b, nullptr);
        EXPECT_STREQ(b->first_attribute("name")->value(), "y");
        EXPECT_EQ(XmlCapable::findChildNode(root, "r"), nullptr) << "the node itself is not tested";
        EXPECT_EQ(XmlCapable::findChildNode(root, "B"), nullptr);

        const XmlNode* z = XmlCapable::findChildNodeWithAttributeValue(root, "name", "z");
        ASSERT_NE(z, nullptr);
        EXPECT_STREQ(z->name(), "b");
        const XmlNode* deep = XmlCapable::findChildNodeWithAttributeValue(root, "name", "deep");
        ASSERT_NE(deep, nullptr);
        EXPECT_EQ(deep->parent(), b);
        EXPECT_STREQ(XmlCapable::findChildNodeWithAttributeValue(root, "id", "z")->name(), "d");
        EXPECT_EQ(XmlCapable::findChildNodeWithAttributeValue(root, "name", "Z"), nullptr);
    }

    TEST(XmlNodeUtilities, RemoveChildNodesWithNameAtAnyDepth)
    {
        auto document = parse(treeText);
        XmlNode& root = *document->first_node();

        EXPECT_FALSE(XmlCapable::removeChildNodesWithName(root, "q"));
        EXPECT_TRUE(XmlCapable::removeChildNodesWithName(root, "b"));
        EXPECT_EQ(printed(&root), "<r>\n\t<a name=\"x\"/>\n\t<c/>\n\t<d id=\"z\"/>\n</r>\n");
        EXPECT_FALSE(XmlCapable::removeChildNodesWithName(root, "b"));
    }

    TEST(XmlNodeUtilities, DeepCopyOutlivesTheSourceDocument)
    {
        XmlDocument pool;
        XmlNode* copy = nullptr;
        XmlNode* shallow = nullptr;
        std::string original;
        {
            auto document = parse(
                "<r a=\"1\" b=\"&lt;2&gt;\"><x name=\"first\">text</x><!-- skipped --><y/><x name=\"last\"/></r>");
            original = printed(document->first_node());
            copy = XmlCapable::cloneNodeWithoutSharingResources(pool, *document->first_node());
            shallow = XmlCapable::cloneNode(pool, *document->first_node());
            EXPECT_EQ(shallow->name(), document->first_node()->name()) << "the library copy shares its texts";
            EXPECT_NE(copy->name(), document->first_node()->name());
            EXPECT_EQ(copy->parent(), nullptr);
        }
        EXPECT_EQ(printed(copy), original);
    }

    TEST(XmlNodeUtilities, ForEachChildOfTypeVisitsDirectChildrenInOrder)
    {
        auto document = parse(treeText);
        std::vector<std::string> names;
        forEachChildOfType(*document->first_node(), "b",
                           [&](const XmlNode& node)
                           { names.push_back(readAttribute(node.first_attribute("name"), std::string("-"))); });
        EXPECT_EQ(names, (std::vector<std::string>{"z", "w"}));
    }

}
