#include "engine/gfx/VXFont.h"
#include "engine/gfx/VXFonts.h"

#include "support/VXLogRecorder.h"
#include "support/VXTempDir.h"

#include "engine/gfx/fontblobs/big32_data.h"
#include "engine/gfx/fontblobs/bigNumbers64_data.h"
#include "engine/gfx/fontblobs/small12_data.h"
#include "engine/gfx/fontblobs/small14_data.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace vx
{
    namespace
    {

        std::vector<unsigned char> blobOf(const Font& font)
        {
            int size = 0;
            std::unique_ptr<unsigned char[]> blob(font.getAsBinary(&size));
            return blob ? std::vector<unsigned char>(blob.get(), blob.get() + size) : std::vector<unsigned char>();
        }

        std::string readText(const std::string& path)
        {
            std::ifstream in(path, std::ios::binary);
            std::stringstream text;
            text << in.rdbuf();
            return text.str();
        }

        // The committed blob headers, found from this file's place in the tree.
        std::string committedHeaderPath(const std::string& name)
        {
            return std::string(VX_SOURCE_ROOT) + "/source/engine/gfx/fontblobs/" + name + ".h";
        }

        struct CommittedBlob
        {
            const char* name;
            const unsigned char* bytes;
            size_t size;
        };

        const CommittedBlob committedBlobs[] = {
            {"small12_data", small12_data, sizeof(small12_data)},
            {"small14_data", small14_data, sizeof(small14_data)},
            {"big32_data", big32_data, sizeof(big32_data)},
            {"bigNumbers64_data", bigNumbers64_data, sizeof(bigNumbers64_data)},
        };

        class FontBlobTest : public ::testing::TestWithParam<int>
        {
        };

        // Each committed blob is what the engine bakes today, byte for byte, and its
        // header is exactly what saveHeader writes.
        TEST_P(FontBlobTest, CommittedBlobMatchesAFreshBake)
        {
            const auto& recipe = Fonts::blobRecipes[GetParam()];
            const auto& committed = committedBlobs[GetParam()];
            ASSERT_STREQ(recipe.name, committed.name);

            Font baked;
            ASSERT_TRUE(
                baked.loadTTFData(uni9_data, recipe.size, recipe.characters, recipe.atlasWidth, recipe.atlasHeight))
                << recipe.name << ": a glyph does not fit its atlas";
            if (recipe.characters == nullptr)
            {
                for (const auto& glyph : baked.getGlyphs())
                    ASSERT_EQ(glyph.present, 1u);
            }

            const std::vector<unsigned char> fresh = blobOf(baked);
            const std::vector<unsigned char> stored(committed.bytes, committed.bytes + committed.size);
            ASSERT_EQ(fresh.size(), stored.size()) << recipe.name;
            EXPECT_TRUE(fresh == stored) << recipe.name << " differs from a fresh bake: rerun vx_fontblobs";

            test::TempDir dir;
            ASSERT_TRUE(baked.saveHeader(dir.file("blob.h").c_str(), recipe.name));
            EXPECT_EQ(dir.readFile("blob.h"), readText(committedHeaderPath(recipe.name)));

            // The built-in font read from the blob writes the same blob back.
            EXPECT_TRUE(blobOf(*recipe.font) == stored) << recipe.name;
            EXPECT_EQ(recipe.font->getAtlasWidth(), recipe.atlasWidth);
            EXPECT_EQ(recipe.font->getAtlasHeight(), recipe.atlasHeight);
        }

        INSTANTIATE_TEST_SUITE_P(BuiltIn, FontBlobTest, ::testing::Range(0, 4),
                                 [](const ::testing::TestParamInfo<int>& info)
                                 { return std::string(Fonts::blobRecipes[info.param].name); });

        TEST(FontTest, BigNumbersCoversItsListOnly)
        {
            const Font& numbers = Fonts::bigNumbers64;
            CharacterQuad five;
            ASSERT_TRUE(numbers.getCharacter(five, '5'));
            EXPECT_GT(five.width, 0.0f);
            EXPECT_GT(five.s1, five.s0);
            EXPECT_GT(five.t1, five.t0);
            EXPECT_LE(five.s1, 1.0f);
            EXPECT_LE(five.t1, 1.0f);
            CharacterQuad letter;
            EXPECT_FALSE(numbers.getCharacter(letter, 'A'));

            float expected = 0.0f;
            for (char c : std::string("12:34"))
            {
                CharacterQuad q;
                ASSERT_TRUE(numbers.getCharacter(q, c));
                expected += q.advance;
            }
            EXPECT_FLOAT_EQ(numbers.getStringSize("12:34"), expected);
            EXPECT_FLOAT_EQ(numbers.getStringSize("1A2"), numbers.getStringSize("12")) << "absent glyphs measure 0";
        }

        TEST(FontTest, Uni9IsBakedFromTheEmbeddedFace)
        {
            const Font& font = Fonts::uni9;
            ASSERT_EQ(font.getGlyphs().size(), 95u);
            for (const auto& glyph : font.getGlyphs())
                EXPECT_EQ(glyph.present, 1u);
            // Coverage was written into the atlas.
            size_t covered = 0;
            for (unsigned char v : font.getAtlas())
                covered += v != 0;
            EXPECT_GT(covered, 500u);

            // The quad is the record's box over the atlas size.
            CharacterQuad q;
            ASSERT_TRUE(font.getCharacter(q, 'W'));
            const GlyphRecord& w = font.getGlyphs()['W' - 32];
            EXPECT_FLOAT_EQ(q.s0, w.x0 / 504.0f);
            EXPECT_FLOAT_EQ(q.t1, w.y1 / 27.0f);
            EXPECT_FLOAT_EQ(q.width, float(w.x1 - w.x0));
            EXPECT_FLOAT_EQ(q.yOffset, w.yOffset);
            EXPECT_LT(q.yOffset, 0.0f) << "capitals rise above the baseline";
        }

        TEST(FontTest, CharactersOutsideTheTableAnswerFalse)
        {
            const Font& font = Fonts::uni9;
            CharacterQuad q;
            EXPECT_TRUE(font.getCharacter(q, '~'));
            EXPECT_FALSE(font.getCharacter(q, char(127))) << "one past the last record";
            EXPECT_FALSE(font.getCharacter(q, char(200)));
            EXPECT_FALSE(font.getCharacter(q, '\t'));
            EXPECT_EQ(font.getStringSize(""), 0.0f);
            EXPECT_EQ(font.getStringSize(nullptr), 0.0f);
            const std::string withOdd = std::string("a\tb") + char(127) + char(230);
            EXPECT_FLOAT_EQ(font.getStringSize(withOdd.c_str()), font.getStringSize("ab"));

            Font empty;
            EXPECT_FALSE(empty.getCharacter(q, 'a'));
            EXPECT_EQ(empty.getStringSize("abc"), 0.0f);
        }

        TEST(FontTest, OptimalBitmapSize)
        {
            Font font;
            ASSERT_TRUE(font.loadTTFData(uni9_data, 64.0f, " 0123456789:.-"));
            EXPECT_EQ(font.getAtlasWidth(), 512);
            EXPECT_EQ(font.getAtlasHeight(), 192);
            font.computeOptimalBitmapSize(95);
            EXPECT_EQ(font.getAtlasWidth(), 512);
            EXPECT_EQ(font.getAtlasHeight(), 832);

            // Nothing to lay out, or no usable size: no atlas, no division by zero.
            font.computeOptimalBitmapSize(0);
            EXPECT_EQ(font.getAtlasWidth(), 0);
            Font big;
            test::LogRecorder log;
            EXPECT_FALSE(big.loadTTFData(uni9_data, 600.0f, nullptr));
            EXPECT_TRUE(big.isEmpty());
            big.computeOptimalBitmapSize(95);
            EXPECT_EQ(big.getAtlasWidth(), 0);
            EXPECT_EQ(big.getAtlasHeight(), 0);
        }

        TEST(FontTest, InconsistentBlobHeadersAreRefused)
        {
            std::vector<unsigned char> blob = blobOf(Fonts::small12);
            struct Corruption
            {
                const char* what;
                size_t offset;
                uint32_t value;
            };
            const Corruption corruptions[] = {
                {"atlas byte count", 20, 120 * 120 + 1},
                {"atlas width", 12, 0},
                {"record count", 8, 100000},
                {"first character", 4, 250},
                {"list length", 24, 5000},
            };
            for (const auto& c : corruptions)
            {
                std::vector<unsigned char> bad = blob;
                std::memcpy(bad.data() + c.offset, &c.value, 4);
                test::LogRecorder log;
                Font font;
                EXPECT_FALSE(font.loadAsBinary(bad.data())) << c.what;
                EXPECT_TRUE(font.isEmpty()) << c.what;
                EXPECT_TRUE(log.contains("loadAsBinary")) << c.what;
            }
            // A list naming a character outside the records.
            std::vector<unsigned char> numbers = blobOf(Fonts::bigNumbers64);
            numbers[28] = 0x7F;
            Font font;
            test::LogRecorder log;
            EXPECT_FALSE(font.loadAsBinary(numbers.data()));
            EXPECT_FALSE(font.loadAsBinary(nullptr));
        }

        TEST(FontTest, DataThatIsNoFontIsRefused)
        {
            const std::vector<unsigned char> garbage(4096, 0x5A);
            test::LogRecorder log;
            Font font;
            EXPECT_FALSE(font.loadTTFData(garbage.data(), 12.0f, nullptr));
            EXPECT_TRUE(font.isEmpty());
            EXPECT_TRUE(log.contains("not a TrueType font")) << log.dump();
            EXPECT_FALSE(font.loadTTFData(nullptr, 12.0f, nullptr));
        }

        TEST(FontTest, GlyphsThatDoNotFitMakeTheBakeFail)
        {
            test::LogRecorder log;
            Font font;
            // One row of 64-pixel digits cannot hold the whole list.
            EXPECT_FALSE(font.loadTTFData(uni9_data, 64.0f, " 0123456789:.-", 200, 80));
            EXPECT_TRUE(log.contains("do not fit")) << log.dump();
            // Those placed are kept and the rest absent, never garbage.
            int present = 0;
            for (const auto& g : font.getGlyphs())
            {
                present += int(g.present);
                if (g.present != 0)
                {
                    EXPECT_LE(g.x1, 200);
                }
            }
            EXPECT_GT(present, 0);
            EXPECT_LT(present, 14);

            log.clear();
            Font range;
            EXPECT_FALSE(range.loadTTFData(uni9_data, 14.0f, nullptr, 504, 28)) << "the face needs 29 rows";
            int fitted = 0;
            for (const auto& g : range.getGlyphs())
                fitted += int(g.present);
            EXPECT_GT(fitted, 0);
            EXPECT_LT(fitted, 95);
            CharacterQuad q;
            EXPECT_FALSE(range.getCharacter(q, '~'));

            Font tiny;
            EXPECT_FALSE(tiny.loadTTFData(uni9_data, 32.0f, nullptr, 16, 16)) << "a glyph wider than the atlas";
        }

        // The face placed past the first MiB of a one-font collection file, its
        // table offsets moved along (they count from the file's start).
        std::string faceBeyondOneMiB()
        {
            const uint32_t shift = 1100000;
            std::string face(reinterpret_cast<const char*>(uni9_data), uni9_data_size);
            auto u16 = [&](size_t at) { return uint32_t((unsigned char)face[at]) << 8 | (unsigned char)face[at + 1]; };
            auto u32 = [&](size_t at) { return u16(at) << 16 | u16(at + 2); };
            auto put32 = [](std::string& out, size_t at, uint32_t v)
            {
                for (int i = 0; i < 4; ++i)
                    out[at + size_t(i)] = char((v >> (24 - 8 * i)) & 0xFF);
            };
            const uint32_t numTables = u16(4);
            for (uint32_t i = 0; i < numTables; ++i)
                put32(face, 12 + 16 * i + 8, u32(12 + 16 * i + 8) + shift);
            std::string file(shift, '\0');
            file.replace(0, 4, "ttcf");
            put32(file, 4, 0x00010000);
            put32(file, 8, 1);
            put32(file, 12, shift);
            return file + face;
        }

        TEST(FontTest, LoadReadsTheWholeFile)
        {
            test::TempDir dir;
            const std::string path = dir.writeFile("face.ttc", faceBeyondOneMiB());
            Font font;
            ASSERT_TRUE(font.load(path.c_str(), 9.0f, nullptr)) << "a reader cut at 1 MiB finds no tables";
            EXPECT_EQ(blobOf(font), blobOf(Fonts::uni9));

            test::LogRecorder log;
            EXPECT_FALSE(font.load(dir.file("missing.ttf").c_str(), 9.0f, nullptr));
            EXPECT_TRUE(log.contains("missing.ttf")) << log.dump();
        }

        // The fixed file name is read from the working directory: the test
        // puts the embedded face there under that name.
        TEST(FontTest, LoadGlyphBakesOneCharacterOfTheFixedFile)
        {
            test::TempDir dir;
            struct WorkingDirectory
            {
                const std::filesystem::path previous = std::filesystem::current_path();
                ~WorkingDirectory() { std::filesystem::current_path(previous); }
            } restored;
            std::filesystem::current_path(dir.path());
            unsigned short width = 1, height = 1;
            unsigned char* bitmap = nullptr;
            float xOffset = 1.0f, yOffset = 1.0f;
            {
                test::LogRecorder log;
                EXPECT_FALSE(Font::loadGlyph('A', width, height, bitmap, xOffset, yOffset));
                EXPECT_EQ(width + height, 0);
                EXPECT_EQ(bitmap, nullptr);
                EXPECT_EQ(xOffset + yOffset, 0.0f);
                EXPECT_TRUE(log.contains("arial.ttf")) << log.dump();
            }

            dir.writeFile(Font::glyphFontPath, std::string(reinterpret_cast<const char*>(uni9_data), uni9_data_size));
            ASSERT_TRUE(Font::loadGlyph('A', width, height, bitmap, xOffset, yOffset));
            const std::unique_ptr<unsigned char[]> owned(bitmap);
            EXPECT_EQ(width, 64);
            EXPECT_EQ(height, 32);
            // An upper-case letter at 32 pixels: inked rows above the
            // baseline, well over one row's worth.
            int inked = 0;
            for (int i = 0; i < 64 * 32; ++i)
                inked += bitmap[i] > 128 ? 1 : 0;
            EXPECT_GT(inked, 64);
            EXPECT_LT(yOffset, -10.0f);
            EXPECT_GE(xOffset, -2.0f);
        }

        TEST(FontTest, SaveHeaderRefusesAnUnwritablePathOrAnEmptyFont)
        {
            test::TempDir dir;
            test::LogRecorder log;
            EXPECT_FALSE(Fonts::small12.saveHeader(dir.file("no/such/dir/x.h").c_str(), "x"));
            Font empty;
            EXPECT_FALSE(empty.saveHeader(dir.file("e.h").c_str(), "e"));
        }

    } // namespace
} // namespace vx
