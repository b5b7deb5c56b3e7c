#include "engine/gfx/VXVertexFormat.h"
#include "engine/gfx/VXVertexWriter.h"

#include <gtest/gtest.h>

#include <epoxy/gl.h>

#include <cstring>
#include <vector>

namespace vx
{
    namespace
    {

        struct ParseCase
        {
            const char* name;
            const char* text;
            bool expectedResult;
            std::vector<unsigned int> kinds;
            unsigned int stride;
            const char* expectedText;
        };

        class VertexFormatParse : public ::testing::TestWithParam<ParseCase>
        {
        };

        TEST_P(VertexFormatParse, ElementsStrideAndText)
        {
            const ParseCase& c = GetParam();
            VertexFormat format;
            EXPECT_EQ(format.create(c.text), c.expectedResult);
            ASSERT_EQ(format.getNumElements(), c.kinds.size());
            for (size_t i = 0; i < c.kinds.size(); ++i)
                EXPECT_EQ(format.getElements()[i].kind, c.kinds[i]) << "element " << i;
            EXPECT_EQ(format.getStride(), c.stride);
            EXPECT_EQ(format.getText(), c.expectedText);
        }

        INSTANTIATE_TEST_SUITE_P(
            Texts, VertexFormatParse,
            ::testing::Values(
                ParseCase{"PositionAndUV", "POS3 UV", true, {VertexFormat::POS3, VertexFormat::UV}, 20, "POS3 UV "},
                ParseCase{"LowerCaseIsUnknown", "pos3", false, {}, 0, ""},
                ParseCase{"UnknownWordKeepsEarlier", "POS3 foo UV", false, {VertexFormat::POS3}, 12, "POS3 "},
                ParseCase{"AnySeparator", " POS3,UV", true, {VertexFormat::POS3, VertexFormat::UV}, 20, "POS3 UV "},
                ParseCase{"Empty", "", true, {}, 0, ""}, ParseCase{"OnlySeparators", " ,;\t", true, {}, 0, ""},
                ParseCase{"PrefixIsNoMatch", "POS", false, {}, 0, ""},
                ParseCase{"LongerWordIsNoMatch", "POS33", false, {}, 0, ""},
                ParseCase{
                    "AllKinds",
                    "POS2 POS3 POS4 UV UVW COLOR COLOR4 NORMAL FLOAT FLOAT2 FLOAT3 FLOAT4 BYTE BYTE2 BYTE3 BYTE4",
                    true,
                    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
                    138,
                    "POS2 POS3 POS4 UV UVW COLOR COLOR4 NORMAL FLOAT FLOAT2 FLOAT3 FLOAT4 BYTE BYTE2 BYTE3 BYTE4 "}),
            [](const ::testing::TestParamInfo<ParseCase>& info) { return std::string(info.param.name); });

        TEST(VertexFormat, PacksElementsWithoutPadding)
        {
            VertexFormat format("POS2 BYTE3 FLOAT");
            const auto& e = format.getElements();
            ASSERT_EQ(e.size(), 3u);
            EXPECT_EQ(e[0].offset, 0u);
            EXPECT_EQ(e[1].offset, 8u);
            EXPECT_EQ(e[2].offset, 11u);
            EXPECT_EQ(format.getStride(), 15u);
            EXPECT_EQ(e[1].glType, unsigned(GL_UNSIGNED_BYTE));
            EXPECT_EQ(e[1].numComponents, 3u);
        }

        TEST(VertexFormat, CopyRebuildsAndReleaseKeepsTheText)
        {
            VertexFormat source("POS3 COLOR UV UV");
            VertexFormat copy(source);
            EXPECT_EQ(copy.getStride(), 32u);
            EXPECT_EQ(copy.getText(), "POS3 COLOR UV UV ");
            EXPECT_EQ(copy.getNumElementsOfKind(VertexFormat::UV), 2u);
            EXPECT_EQ(copy.getElements()[3].offset, 24u);

            copy.release();
            EXPECT_EQ(copy.getStride(), 0u);
            EXPECT_EQ(copy.getNumElements(), 0u);
            EXPECT_EQ(copy.getNumElementsOfKind(VertexFormat::UV), 0u);
            EXPECT_EQ(copy.getText(), "POS3 COLOR UV UV ");
        }

        // Reads the float at a byte offset of a vertex block.
        float floatAt(const std::vector<unsigned char>& bytes, size_t offset)
        {
            float f = 0.0f;
            std::memcpy(&f, bytes.data() + offset, sizeof(f));
            return f;
        }

        TEST(VertexWriter, PositionAndColourFillEachVertex)
        {
            VertexFormat format("POS3 COLOR");
            std::vector<unsigned char> bytes(2 * 16, 0xAB);
            VertexWriter writer(format, bytes.data());

            writer.position(1.0f, 2.0f, 3.0f);
            writer.color(0x11223344u);
            writer.uv(9.0f, 9.0f); // no UV element: nothing written
            writer.position(4.0f, 5.0f, 6.0f);
            writer.color(0x55667788u);

            EXPECT_EQ(writer.getNumVertices(), 2u);
            EXPECT_EQ(floatAt(bytes, 0), 1.0f);
            EXPECT_EQ(floatAt(bytes, 8), 3.0f);
            uint32_t colour = 0;
            std::memcpy(&colour, bytes.data() + 12, 4);
            EXPECT_EQ(colour, 0x11223344u);
            EXPECT_EQ(floatAt(bytes, 16), 4.0f);
            std::memcpy(&colour, bytes.data() + 28, 4);
            EXPECT_EQ(colour, 0x55667788u);
        }

        TEST(VertexWriter, PositionWritesOnlyWhatTheFormatHolds)
        {
            // A two-float position with a one-vertex block: a three-float write would
            // overrun it (the guard bytes after it stay untouched).
            VertexFormat format("POS2");
            std::vector<unsigned char> bytes(8 + 4, 0xCD);
            VertexWriter writer(format, bytes.data());
            writer.position(7.0f, 8.0f, 9.0f);
            EXPECT_EQ(floatAt(bytes, 0), 7.0f);
            EXPECT_EQ(floatAt(bytes, 4), 8.0f);
            for (size_t i = 8; i < bytes.size(); ++i)
                EXPECT_EQ(bytes[i], 0xCD) << "byte " << i;

            VertexFormat wide("POS4");
            std::vector<unsigned char> wideBytes(16, 0);
            VertexWriter wideWriter(wide, wideBytes.data());
            wideWriter.position(1.0f, 2.0f, 3.0f);
            EXPECT_EQ(floatAt(wideBytes, 8), 3.0f);
            EXPECT_EQ(floatAt(wideBytes, 12), 1.0f);
        }

        TEST(VertexWriter, PositionFollowsItsElementWhereverItSits)
        {
            VertexFormat format("COLOR POS3");
            std::vector<unsigned char> bytes(16, 0);
            VertexWriter writer(format, bytes.data());
            writer.position(1.0f, 2.0f, 3.0f);
            writer.color(0xFFFFFFFFu);
            EXPECT_EQ(floatAt(bytes, 4), 1.0f);
            EXPECT_EQ(floatAt(bytes, 12), 3.0f);
            EXPECT_EQ(bytes[0], 0xFF);
        }

        TEST(VertexWriter, TextureSetsNormalsAndNoVertexYet)
        {
            VertexFormat format("POS3 UV UV UVW NORMAL");
            const unsigned int stride = format.getStride();
            ASSERT_EQ(stride, 12u + 8u + 8u + 12u + 12u);
            std::vector<unsigned char> bytes(stride, 0);
            VertexWriter writer(format, bytes.data());

            // Before the first position there is no vertex to write into.
            writer.uv(5.0f, 5.0f, 0);
            writer.normal(5.0f, 5.0f, 5.0f);
            for (unsigned char b : bytes)
                ASSERT_EQ(b, 0);

            writer.position(0.0f, 0.0f, 0.0f);
            writer.uv(0.25f, 0.5f, 1);
            writer.uv(0.75f, 1.0f, 0);
            writer.uv(9.0f, 9.0f, 2);  // only two UV sets
            writer.uv(9.0f, 9.0f, 99); // beyond the slot table
            writer.uvw(1.0f, 2.0f, 3.0f);
            writer.normal(0.0f, 1.0f, 0.0f);

            EXPECT_EQ(floatAt(bytes, 12), 0.75f);
            EXPECT_EQ(floatAt(bytes, 16), 1.0f);
            EXPECT_EQ(floatAt(bytes, 20), 0.25f);
            EXPECT_EQ(floatAt(bytes, 24), 0.5f);
            EXPECT_EQ(floatAt(bytes, 36), 3.0f);
            EXPECT_EQ(floatAt(bytes, 44), 1.0f);
        }

    } // namespace
} // namespace vx
