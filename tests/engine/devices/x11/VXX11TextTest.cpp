// Window titles and class names of every X text type as UTF-8: STRING,
// UTF8_STRING, and COMPOUND_TEXT as Xt and Motif programs (and xterm) set it
// for titles outside ASCII.

#include "platform/coregraphics/VXX11Text.h"

#include <gtest/gtest.h>

namespace vx::test
{
    namespace
    {
        struct TextCase
        {
            const char* name;
            cg::X11TextType type;
            std::string bytes;
            std::string expected;
        };
        std::ostream& operator<<(std::ostream& out, const TextCase& c)
        {
            return out << c.name;
        }

        class X11TextTest : public ::testing::TestWithParam<TextCase>
        {
        };

        TEST_P(X11TextTest, IsUtf8)
        {
            EXPECT_EQ(cg::x11TextToUtf8(GetParam().type, GetParam().bytes), GetParam().expected);
        }

        using T = cg::X11TextType;
        const std::string esc = "\x1B";

        INSTANTIATE_TEST_SUITE_P(
            Types, X11TextTest,
            ::testing::Values(
                TextCase{"Latin1String", T::string, "Caf\xE9 \xA0\xFF", "Café \u00A0ÿ"},
                TextCase{"Utf8Kept", T::utf8String, "Café ✓ 日本", "Café ✓ 日本"},
                TextCase{"Utf8InvalidBytesReplaced", T::utf8String,
                         "a\xFF"
                         "b\xC0\xAF"
                         "c\xE6\x97",
                         "a�b��c��"},
                TextCase{"Utf8SurrogateReplaced", T::utf8String, "\xED\xA0\x80", "���"},
                // The right half is ISO 8859-1 until said otherwise.
                TextCase{"CompoundLatin1ByDefault", T::compoundText, "Caf\xE9", "Café"},
                TextCase{"CompoundCyrillic", T::compoundText, esc + "-L\xBF\xE0\xD8\xD2\xD5\xE2", "Привет"},
                TextCase{"CompoundGreekThenLatin1Again", T::compoundText, "A" + esc + "-F\xE1\xE2" + esc + "-A\xE9",
                         "Aαβé"},
                TextCase{"CompoundLatin9", T::compoundText, esc + "-b\xA4", "€"},
                TextCase{"CompoundJapaneseRightHalf", T::compoundText, esc + "$)B\xC6\xFC\xCB\xDC", "日本"},
                TextCase{"CompoundJapaneseLeftHalfAndBackToAscii", T::compoundText,
                         esc + "$(B\x46\x7C\x4B\x5C" + esc + "(B!", "日本!"},
                TextCase{"CompoundChineseAndKorean", T::compoundText,
                         esc + "$)A\xD6\xD0\xCE\xC4 " + esc + "$)C\xC7\xD1", "中文 한"},
                TextCase{"CompoundKatakana", T::compoundText, esc + ")I\xB1", "ｱ"},
                TextCase{"CompoundUtf8Segment", T::compoundText, "a" + esc + "%G✓" + esc + "%@b", "a✓b"},
                // ESC % / 1, the length (12) in two bytes, the encoding's name, STX.
                TextCase{"CompoundExtendedSegment", T::compoundText,
                         esc + "%/1\x80\x8C"
                               "iso8859-15\x02\xA4"
                               "x",
                         "€x"},
                TextCase{"CompoundControlsAndDirectionDropped", T::compoundText,
                         "a\x01\x9B"
                         "1]b\tc\x9B]",
                         "ab\tc"},
                TextCase{"CompoundUnknownSetReplacedNotLeaked", T::compoundText,
                         esc + "-~\xE9"
                               "d",
                         "�d"},
                TextCase{"CompoundCutShort", T::compoundText, "ab" + esc + "$", "ab"},
                TextCase{"CompoundHalfACharacter", T::compoundText, esc + "$)B\xC6", "�"}),
            [](const ::testing::TestParamInfo<TextCase>& info) { return info.param.name; });
    }
}
