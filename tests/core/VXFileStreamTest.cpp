#include "core/VXInputStreamFile.h"
#include "core/VXOutputStreamFile.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/VXFile.h"
#include "support/VXTempDir.h"

namespace
{
    class FileStreamTest : public ::testing::Test
    {
    protected:
        std::unique_ptr<vx::InputStream> openInput(const std::string& name)
        {
            return std::unique_ptr<vx::InputStream>(vx::File(temp.file(name)).createInputStream(true));
        }

        std::unique_ptr<vx::OutputStream> openOutput(const std::string& name, bool truncate)
        {
            return std::unique_ptr<vx::OutputStream>(vx::File(temp.file(name)).createOutputStream(true, truncate));
        }

        vx::test::TempDir temp;
    };

    TEST_F(FileStreamTest, WrittenBytesReadBackAtTheirPositions)
    {
        {
            auto out = openOutput("data.bin", true);
            ASSERT_NE(nullptr, out);
            EXPECT_EQ(0, out->getPosition());
            EXPECT_EQ(6u, out->writeBytes("abcdef", 6));
            EXPECT_EQ(6, out->getPosition());
            out->setPosition(2);
            EXPECT_EQ(2u, out->writeBytes("XY", 2));
        }
        EXPECT_EQ("abXYef", temp.readFile("data.bin"));

        auto in = openInput("data.bin");
        ASSERT_NE(nullptr, in);
        char buffer[8] = {};
        in->setPosition(3);
        EXPECT_EQ(3u, in->readBytes(buffer, 3));
        EXPECT_EQ("Yef", std::string(buffer, 3));
        EXPECT_EQ(6, in->getPosition());
        // Short read at the end.
        in->setPosition(4);
        EXPECT_EQ(2u, in->readBytes(buffer, 8));
        EXPECT_EQ(0u, in->readBytes(buffer, 8));
    }

    TEST_F(FileStreamTest, TotalSizeLeavesThePositionAlone)
    {
        temp.writeFile("sized.bin", std::string(1000, 's'));
        auto in = openInput("sized.bin");
        ASSERT_NE(nullptr, in);
        in->setPosition(123);
        EXPECT_EQ(1000u, in->getTotalSize());
        EXPECT_EQ(123, in->getPosition());
        EXPECT_EQ(1000u, in->getTotalSize());
        EXPECT_EQ(123, in->getPosition());
    }

    TEST_F(FileStreamTest, OutputWithoutTruncateNeedsAnExistingFileAndKeepsIt)
    {
        EXPECT_EQ(nullptr, openOutput("missing.bin", false));
        EXPECT_FALSE(vx::File(temp.file("missing.bin")).exists());

        temp.writeFile("keep.bin", "123456");
        {
            auto out = openOutput("keep.bin", false);
            ASSERT_NE(nullptr, out);
            EXPECT_EQ(0, out->getPosition());
            EXPECT_EQ(2u, out->writeBytes("ab", 2));
        }
        EXPECT_EQ("ab3456", temp.readFile("keep.bin"));

        {
            auto out = openOutput("keep.bin", true);
            ASSERT_NE(nullptr, out);
        }
        EXPECT_EQ("", temp.readFile("keep.bin"));
    }

    TEST_F(FileStreamTest, MissingOrUnopenableFilesGiveNoStream)
    {
        EXPECT_EQ(nullptr, openInput("missing.bin"));
        EXPECT_EQ(nullptr, vx::File().createInputStream(true));
        EXPECT_EQ(nullptr, vx::File().createOutputStream(true, true));
        EXPECT_EQ(nullptr, vx::File(temp.file("no/dir/x.bin")).createOutputStream(true, true));
    }

    TEST_F(FileStreamTest, PositionsBeyond32BitsWork)
    {
        const unsigned long long far = 3ull * 1024 * 1024 * 1024 + 5; // past 2^31 and 2^32 - 1 halves
        {
            auto out = openOutput("far.bin", true);
            ASSERT_NE(nullptr, out);
            out->setPosition(far);
            EXPECT_EQ(static_cast<long long>(far), out->getPosition());
            EXPECT_EQ(3u, out->writeBytes("end", 3));
        }
        auto in = openInput("far.bin");
        ASSERT_NE(nullptr, in);
        EXPECT_EQ(far + 3, in->getTotalSize());
        in->setPosition(far);
        char buffer[3];
        EXPECT_EQ(3u, in->readBytes(buffer, 3));
        EXPECT_EQ("end", std::string(buffer, 3));
    }

}
