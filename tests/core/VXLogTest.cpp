#include "core/VXLog.h"

#include <gtest/gtest.h>

#include <string>

#include "support/VXLogRecorder.h"

namespace
{
    // Restores the indentation depth whatever a test leaves behind.
    class LogTest : public ::testing::Test
    {
    protected:
        void TearDown() override { vx::LOG_INDENT = 0; }
        vx::test::LogRecorder log;
    };

    TEST_F(LogTest, PrefixesEachLevelAndLeavesOthersBare)
    {
        vx::logPrint(vx::logInfo, "a%d", 1);
        vx::logPrint(vx::logWarning, "b");
        vx::logPrint(vx::logError, "c");
        vx::logPrint(static_cast<vx::MessageType>(7), "d");
        const auto lines = log.lines();
        ASSERT_EQ(4u, lines.size());
        EXPECT_EQ("INFO: a1", lines[0].text);
        EXPECT_EQ("WARNING: b", lines[1].text);
        EXPECT_EQ("ERROR: c", lines[2].text);
        EXPECT_EQ("d", lines[3].text);
        EXPECT_EQ(-1, lines[3].type);
    }

    TEST_F(LogTest, IndentsFourBlanksPerLevelAfterThePrefix)
    {
        vx::LOG_INDENT = 1;
        vx::logPrint(vx::logInfo, "x");
        vx::LOG_INDENT = 2;
        vx::logPrint(vx::logWarning, "%s", "abc");
        const auto lines = log.lines();
        ASSERT_EQ(2u, lines.size());
        EXPECT_EQ("INFO:     x", lines[0].text);
        EXPECT_EQ("WARNING:         abc", lines[1].text);
    }

    TEST_F(LogTest, OverlongTextAndHugeIndentationAreCutToTheBuffer)
    {
        vx::logPrint(vx::logError, "%s", std::string(10000, 'q').c_str());
        vx::LOG_INDENT = 0xffffffffu;
        vx::logPrint(vx::logWarning, "lost");
        const auto lines = log.lines();
        ASSERT_EQ(2u, lines.size());
        EXPECT_EQ(0u, lines[0].text.find("ERROR: qqq"));
        for (const auto& line : lines)
            EXPECT_EQ(static_cast<size_t>(vx::logLineBufferSize - 1), line.text.size());
        EXPECT_EQ(std::string::npos, lines[1].text.find("lost"));
    }

    TEST_F(LogTest, EscapedErrorReportNamesFunctionLineAndMessage)
    {
        const int line = __LINE__ + 1;
        VX_LOG_ESCAPED_ERROR("Thing failed");
        const auto lines = log.lines();
        ASSERT_EQ(1u, lines.size());
        EXPECT_EQ(2, lines[0].type);
        EXPECT_EQ("Escaped from error in TestBody(" + std::to_string(line) + "): Thing failed.", lines[0].message);
    }

}
