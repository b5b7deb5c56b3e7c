// The loaders refuse documents that nest deeper than the parser can recurse
// safely. The guard must count what the parser nests, not what a naive scan
// of the text sees: each deep case below hides its closing tags (or its
// opening tags) from such a scan and overflows the stack unless refused.

#include "core/xml/VXXmlUtils.h"

#include <string>

#include <gtest/gtest.h>

#include "core/VXFile.h"
#include "support/VXLogRecorder.h"
#include "support/VXTempDir.h"

namespace
{
    using namespace vx;

    // Far beyond what any stack holds in the parser's recursion.
    constexpr int overflowingRepeats = 200000;

    std::string repeat(const std::string& unit, int times)
    {
        std::string text;
        text.reserve(unit.size() * static_cast<size_t>(times));
        for (int i = 0; i < times; ++i)
            text += unit;
        return text;
    }

    std::string nested(int depth, const std::string& inner = "")
    {
        return repeat("<a>", depth) + inner + repeat("</a>", depth);
    }

    struct NestingCase
    {
        const char* name;
        std::string text;
        bool loads;
    };

    class XmlNesting : public testing::TestWithParam<NestingCase>
    {
    };

    TEST_P(XmlNesting, LoadsOnlyWithinTheLimit)
    {
        const NestingCase& c = GetParam();
        auto document = XmlUtils::loadXmlFromString(c.text, false);
        EXPECT_EQ(document != nullptr, c.loads);
    }

    // Per level: something the parser skips as a whole (processing
    // instruction, declaration, DOCTYPE subset) swallows the "</a>" after the
    // first '>', or a quote in a name makes the tag look self-closing.
    const std::string hiddenTagsPerLevel =
        "<a x='<b>' y=\"/>\"><!-- <c> --><![CDATA[<d>]]><?p <e> ?><!DOCTYPE d [<f>]>";

    INSTANTIATE_TEST_SUITE_P(
        Texts, XmlNesting,
        testing::Values(
            NestingCase{"PlainElements", repeat("<a>", overflowingRepeats), false},
            NestingCase{"ProcessingInstructionHidesCloseTag", repeat("<a><?p ></a>?>", overflowingRepeats), false},
            NestingCase{"DeclarationHidesCloseTag", repeat("<a><?xml ></a>?>", overflowingRepeats), false},
            NestingCase{"DoctypeSubsetHidesCloseTag", repeat("<a><!DOCTYPE d [></a>]>", overflowingRepeats), false},
            NestingCase{"QuoteInElementName", repeat("<b\">\"/>", overflowingRepeats), false},
            NestingCase{"QuoteInAttributeName", repeat("<b x\"='1'>\"/>", overflowingRepeats), false},
            NestingCase{"ApostropheInAttributeName", repeat("<b x'=\"1\">'/>", overflowingRepeats), false},
            NestingCase{"AtTheLimit", nested(511, "<b/><b /><c></c >"), true},
            NestingCase{"OneBeyondTheLimit", nested(513), false},
            NestingCase{"EmptyElementBeyondTheLimit", nested(512, "<b/>"), false},
            NestingCase{"TagsHiddenFromTheParserDoNotCount", repeat(hiddenTagsPerLevel, 512) + repeat("</a>", 512),
                        true},
            NestingCase{"HiddenTagsBeyondTheLimit", repeat(hiddenTagsPerLevel, 513) + repeat("</a>", 513), false},
            NestingCase{"LowercaseDoctypeHasNoSubset", "<r><!doctype d [><a/></r>", true},
            NestingCase{"DoctypeWithoutSpaceHasNoSubset", "<r><!DOCTYPE[><a/></r>", true},
            NestingCase{"ClosingNamesAreNotCompared", "<a><b></c></d>", true}),
        [](const testing::TestParamInfo<NestingCase>& info) { return info.param.name; });

    TEST(XmlNestingFile, DeepPresetFileIsRefusedWithTheParseErrorLine)
    {
        test::TempDir temp;
        const std::string path = temp.writeFile("deep.xml", repeat("<a><?p ></a>?>", overflowingRepeats));
        test::LogRecorder log;
        EXPECT_EQ(XmlUtils::loadXmlFromFile(File(path), true), nullptr);
        ASSERT_EQ(log.count(logError), 1u) << log.dump();
        EXPECT_EQ(log.lines()[0].text, "ERROR: loadXmlFromFile: Exception thrown parsing xml document '" + path + "'.");
    }
}
