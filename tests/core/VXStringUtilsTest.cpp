#include "core/VXStringUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "support/VXLogRecorder.h"

namespace
{
    // ---- Formatting

    TEST(Formatting, OverlongResultsAreCutToTheBuffer)
    {
        const std::string big(6000, 'z');
        EXPECT_EQ(static_cast<size_t>(vx::formatBufferSize - 1), vx::formattedString("%s", big.c_str()).size());
        std::string out;
        vx::stdPrintf(out, "%s", big.c_str());
        EXPECT_EQ(static_cast<size_t>(vx::formatBufferSize - 1), out.size());
    }

    TEST(Formatting, StdPrintfKeepsOutputWhenTheFormatIsTooLong)
    {
        const std::string format(vx::formatBufferSize + 1, 'f');
        std::string out = "kept";
        vx::stdPrintf(out, format.c_str(), 0);
        EXPECT_EQ("kept", out);
    }

    // ---- hexDump

    TEST(HexDump, BreaksLinesAfterTheCountAndSizesInBytesForWideItems)
    {
        const unsigned char bytes[] = {1, 2, 3};
        EXPECT_EQ("0x01, 0x02, \n0x03", vx::hexDump(bytes, 3, 2));
        EXPECT_EQ("0x01, 0x02, 0x03", vx::hexDump(bytes, 3, 16));
        const unsigned short shorts[] = {0xABCD, 0x0012};
        EXPECT_EQ("0xABCD", vx::hexDump(shorts, 3, 4));
        EXPECT_EQ("0xABCD, 0x0012", vx::hexDump(shorts, 4, 4));
        const unsigned int ints[] = {0xDEADBEEFu, 1u};
        EXPECT_EQ("0xDEADBEEF, \n0x00000001", vx::hexDump(ints, 8, 1));
        EXPECT_EQ("", vx::hexDump(ints, 1, 4));
        EXPECT_EQ("", vx::hexDump(ints, 0, 4));
    }

    TEST(HexDump, ZeroItemsPerLineIsRefusedAndLogged)
    {
        vx::test::LogRecorder log;
        const unsigned char bytes[] = {1, 2};
        EXPECT_EQ("", vx::hexDump(bytes, 2, 0));
        EXPECT_EQ("", vx::hexDump(bytes, 2, -3));
        EXPECT_EQ(2u, log.count(vx::logError));
        EXPECT_TRUE(log.contains("hexDump")) << log.dump();
    }

    // ---- Editing

    TEST(StringEditing, ReplaceDoesNotRescanInsertedTextNorSearchForNothing)
    {
        std::string text = "aa";
        vx::stringReplace(text, "a", "aa");
        EXPECT_EQ("aaaa", text);
        EXPECT_EQ("x-y-z", vx::stringReplace(std::string("x, y, z"), ", ", "-"));
        EXPECT_EQ("bc", vx::stringReplace(std::string("abac"), "a", ""));
        EXPECT_EQ("abc", vx::stringReplace(std::string("abc"), "", "x"));
        EXPECT_EQ("", vx::stringReplace(std::string(), "", "x"));
    }

    TEST(StringEditing, BeginsWithAndContains)
    {
        EXPECT_TRUE(vx::stringBeginsWith("abc", "", true));
        EXPECT_TRUE(vx::stringBeginsWith("abc", "AB", false));
        EXPECT_FALSE(vx::stringBeginsWith("abc", "AB", true));
        EXPECT_FALSE(vx::stringBeginsWith("ab", "abc", false));
        EXPECT_TRUE(vx::stringContains("abc", "B", false));
        EXPECT_FALSE(vx::stringContains("abc", "B", true));
        EXPECT_TRUE(vx::stringContains("", "", true));
        EXPECT_FALSE(vx::stringContains("b", "bb", false));
    }

    TEST(StringEditing, ReadLineKeepsCarriageReturnsAndEmptyLines)
    {
        const std::string text = "x\r\n\ny";
        std::vector<std::string> lines;
        std::string line;
        for (int position = 0; (position = vx::readLine(line, text, position)) != -1;)
            lines.push_back(line);
        EXPECT_EQ((std::vector<std::string>{"x\r", "", "y"}), lines);
        line = "untouched";
        EXPECT_EQ(-1, vx::readLine(line, text, 5));
        EXPECT_EQ(-1, vx::readLine(line, text, -1));
        EXPECT_EQ("untouched", line);
    }

    // ---- Paths and names

    TEST(PathNames, SplitsNamesAndExtensions)
    {
        EXPECT_EQ("archive", vx::getFilenameWithoutExt("archive.tar.gz"));
        EXPECT_EQ("gz", vx::getFileExt("archive.tar.gz"));
        EXPECT_EQ("README", vx::getFileExt("README"));
        EXPECT_EQ("README", vx::getFilenameWithoutExt("README"));
        EXPECT_EQ("c.txt", vx::getFilenameFromPath("C:\\a\\b\\c.txt"));
        EXPECT_EQ("c.txt", vx::getFilenameFromPath("/a/b\\c.txt"));
        EXPECT_EQ("plain", vx::getFilenameFromPath("plain"));
        EXPECT_EQ("", vx::getFilenameFromPath("/dir/"));
        EXPECT_EQ("C:/a/b", vx::makePathNice("C:\\a\\b"));
    }

    TEST(PathNames, TrailingNumbers)
    {
        EXPECT_EQ(12, vx::getTrailingIntValue("Layer 12"));
        EXPECT_EQ("Layer ", vx::removeTrailingIntValue("Layer 12"));
        EXPECT_EQ(0, vx::getTrailingIntValue("Layer"));
        EXPECT_EQ("Layer", vx::removeTrailingIntValue("Layer"));
        EXPECT_EQ(7, vx::getTrailingIntValue("007"));
        EXPECT_EQ("", vx::removeTrailingIntValue("007"));
        EXPECT_EQ(0, vx::getTrailingIntValue(""));
        // 4294967297 is 2^32 + 1: too long for an int, wraps without overflow.
        EXPECT_EQ(1, vx::getTrailingIntValue("n4294967297"));
    }

    struct CopyNameCase
    {
        const char* label;
        std::vector<std::string> existing;
        std::string proposed;
        std::string expected;
    };

    using CopyName = ::testing::TestWithParam<CopyNameCase>;

    TEST_P(CopyName, PicksTheFirstFreeNumber)
    {
        vx::test::LogRecorder log;
        EXPECT_EQ(GetParam().expected, vx::getCopyNameIncremental(GetParam().existing, GetParam().proposed));
        EXPECT_EQ(0u, log.count());
    }

    INSTANTIATE_TEST_SUITE_P(Cases, CopyName,
                             ::testing::Values(CopyNameCase{"NoNumberGetsTwo", {}, "Clip", "Clip 2"},
                                               CopyNameCase{
                                                   "SkipsTakenNumbers", {"Clip 2", "Clip 3"}, "Clip", "Clip 4"},
                                               CopyNameCase{"KeepsFreeNumber", {"Clip"}, "Clip 2", "Clip 2"},
                                               CopyNameCase{"NextAfterTaken", {"Clip 2"}, "Clip 2", "Clip 3"},
                                               CopyNameCase{"AllDigits", {"123"}, "123", "124"},
                                               CopyNameCase{"NoSeparatorNeeded", {}, "Take5", "Take5"},
                                               CopyNameCase{"LeadingZerosDropped", {}, "Clip 007", "Clip 7"},
                                               CopyNameCase{"CaseSensitive", {"clip 2"}, "Clip", "Clip 2"},
                                               CopyNameCase{"HighByteIsNoDigit", {}, "A\xb2", "A\xb2 2"}),
                             [](const auto& info) { return std::string(info.param.label); });

    TEST(CopyNameFailure, EmptyNameLogsOneEscapedError)
    {
        vx::test::LogRecorder log;
        EXPECT_EQ("", vx::getCopyNameIncremental({"a"}, ""));
        const auto lines = log.lines();
        ASSERT_EQ(1u, lines.size());
        EXPECT_EQ(0u, lines[0].text.find("ERROR: Escaped from error in getCopyNameIncremental("));
        EXPECT_NE(std::string::npos, lines[0].text.find("): New Name cannot be empty.."));
        EXPECT_EQ('.', lines[0].text.back());
    }

    TEST(Hashing, MultipliesBy65599OverSignedBytes)
    {
        EXPECT_EQ(0ull, vx::hashFromString(""));
        EXPECT_EQ(6363201ull, vx::hashFromString("ab"));
        // A byte above 127 counts as negative: (unsigned)(-1) for 0xFF.
        EXPECT_EQ(0xFFFFFFFFull, vx::hashFromString("\xff"));
        EXPECT_EQ(vx::hashFromString("ab"), vx::hashFromString(std::string("ab\0cd", 5)));
        EXPECT_EQ(0ull, vx::hashFromString(std::string(300, 'q')) >> 32);
    }

    // ---- Numbers from text

    TEST(TextToNumbers, OutOfRangeAndNullAreDefined)
    {
        EXPECT_EQ(INT_MAX, vx::stringToInt("99999999999999"));
        EXPECT_EQ(INT_MIN, vx::stringToInt("-99999999999999"));
        EXPECT_TRUE(std::isinf(vx::stringToFloat("1e300")));
        EXPECT_TRUE(std::isinf(vx::stringToFloat("-1e300")));
        EXPECT_EQ(0, vx::stringToInt(nullptr));
        EXPECT_EQ(0.0f, vx::stringToFloat(nullptr));
        EXPECT_EQ(0u, vx::stringToUnsignedInt(nullptr));
    }

    // ---- Ordering by number values

    TEST(NumberOrder, NumbersByValueTheRestByBytes)
    {
        // Every pair in this list is in order, whichever way it was shuffled.
        const std::vector<std::string> ordered = {"", "A_2", "a", "a.png", "a0", "a00", "a1", "a01b", "a1b", "a2",
                                                  "a9", "a10", "a10.png", "a10a", "a99999999999999999999999",
                                                  "a0100000000000000000000000", "a100000000000000000000000", "a_",
                                                  "b (2).png", "b (10).png", "b.png", "c1d2", "c1d10", "c2d1"};
        for (std::size_t i = 0; i < ordered.size(); ++i)
            for (std::size_t j = 0; j < ordered.size(); ++j)
                EXPECT_EQ(vx::lessByNumberValues(ordered[i], ordered[j]), i < j)
                    << '"' << ordered[i] << "\" against \"" << ordered[j] << '"';
        // Zero-padded names of one width keep their byte order.
        std::vector<std::string> padded = {"f_0999", "f_1000", "f_0100", "f_0010", "f_1001"};
        std::vector<std::string> byBytes = padded;
        std::sort(byBytes.begin(), byBytes.end());
        std::sort(padded.begin(), padded.end(), vx::lessByNumberValues);
        EXPECT_EQ(padded, byBytes);
    }
}
