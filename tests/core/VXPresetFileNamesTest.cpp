#include "core/VXPresetFileNames.h"

#include "support/VXTempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace vx::test
{
    namespace
    {
        struct stat statusOf(const std::string& path)
        {
            struct stat status {};
            ::stat(path.c_str(), &status);
            return status;
        }

        void putTimesBack(const std::string& path, const struct stat& was)
        {
            const timespec times[2] = {was.st_atim, was.st_mtim};
            ::utimensat(AT_FDCWD, path.c_str(), times, 0);
        }

        // Rewrites the file in place (same inode), then puts its times back.
        void rewriteInPlace(const std::string& path, const std::string& bytes)
        {
            const ino_t was = statusOf(path).st_ino;
            ASSERT_TRUE(rewriteInPlaceKeepingTimes(path, bytes));
            ASSERT_EQ(statusOf(path).st_ino, was);
        }

        // ---- Stamps: what tells a manager's own copy from another's

        const char* const presetText = "<Preset name=\"Soft\"><RenderPass amount=\"0.25\"/></Preset>\n";

        struct StampCase
        {
            const char* name;
            void (*change)(const std::string& path);
            bool sameCopy;
            // Where only its size and time are compared.
            bool sameSizeAndTime;
        };

        void PrintTo(const StampCase& c, std::ostream* out)
        {
            *out << c.name;
        }

        class PresetFileStampTest : public ::testing::TestWithParam<StampCase>
        {
        };

        TEST_P(PresetFileStampTest, TellsTheSameCopyFromAnEditedOne)
        {
            TempDir dir;
            const std::string path = dir.writeFile("Kind/Soft.xml", presetText);
            // A time of its own, as a file written a while ago has.
            struct stat old = statusOf(path);
            old.st_mtim = {1600000000, 123456789};
            putTimesBack(path, old);
            const std::optional<PresetFileNames::Stamp> before = PresetFileNames::stampOf(File(path));
            ASSERT_TRUE(before.has_value());
            // A load's one read, and a write's bytes, stamp it alike.
            std::string bytes;
            EXPECT_EQ(PresetFileNames::readStamped(File(path), bytes), before);
            EXPECT_EQ(bytes, presetText);
            EXPECT_EQ(PresetFileNames::stampOf(File(path), presetText), before);

            GetParam().change(path);
            EXPECT_EQ(PresetFileNames::stampOf(File(path)) == before, GetParam().sameCopy);
            EXPECT_EQ(PresetFileNames::isAsStamped(File(path), before), GetParam().sameCopy);
            EXPECT_EQ(PresetFileNames::isAsStamped(File(path), before, false), GetParam().sameSizeAndTime);
        }

        INSTANTIATE_TEST_SUITE_P(
            Changes, PresetFileStampTest,
            ::testing::Values(
                StampCase{"LeftAlone", [](const std::string&) {}, true, true},
                // What mounting the folder's file system again does: the same
                // bytes and times in a file of another inode.
                StampCase{"CopiedInPlaceWithItsTimes",
                          [](const std::string& path)
                          {
                              const struct stat was = statusOf(path);
                              std::FILE* in = std::fopen(path.c_str(), "rb");
                              std::FILE* out = std::fopen((path + ".copy").c_str(), "wb");
                              char bytes[4096];
                              const size_t count = std::fread(bytes, 1, sizeof bytes, in);
                              std::fwrite(bytes, 1, count, out);
                              std::fclose(in);
                              std::fclose(out);
                              putTimesBack(path + ".copy", was);
                              std::rename((path + ".copy").c_str(), path.c_str());
                              ASSERT_NE(statusOf(path).st_ino, was.st_ino);
                          },
                          true, true},
                StampCase{"RewrittenInPlaceAtANewSizeWithItsTimePutBack",
                          [](const std::string& path)
                          { rewriteInPlace(path, "<Preset name=\"Soft\"><RenderPass amount=\"0.5\"/></Preset>\n"); },
                          false, false},
                StampCase{"RewrittenInPlaceAtItsSizeWithItsTimePutBack",
                          [](const std::string& path)
                          { rewriteInPlace(path, "<Preset name=\"Soft\"><RenderPass amount=\"0.75\"/></Preset>\n"); },
                          false, true},
                StampCase{"Touched",
                          [](const std::string& path)
                          {
                              struct stat now = statusOf(path);
                              now.st_mtim.tv_sec += 2;
                              putTimesBack(path, now);
                          },
                          false, false},
                StampCase{"Removed", [](const std::string& path) { std::remove(path.c_str()); }, false, false}),
            [](const ::testing::TestParamInfo<StampCase>& info) { return std::string(info.param.name); });

        // ---- Numbered names beside files of other presets

        struct NumberingCase
        {
            const char* name;
            const char* presetName;
            PresetFileNames::Form form;
            // File names (without ".xml") holding other presets of the
            // owner, as stored under those very names.
            std::vector<std::string> takenBySiblings;
            const char* expected;
        };

        void PrintTo(const NumberingCase& c, std::ostream* out)
        {
            *out << c.name;
        }

        class PresetFileNumberingTest : public ::testing::TestWithParam<NumberingCase>
        {
        };

        // Two presets of one name (an unedited duplicate): the second's
        // numbered name is held by a real preset of that name, perhaps the
        // next too; it takes the next free one of its own name's.
        TEST_P(PresetFileNumberingTest, ADuplicateNumbersOnFromItsOwnName)
        {
            const NumberingCase& c = GetParam();
            const File parent("/presets/");
            const std::vector<PresetFileNames::Entry> owners{{"Kind", {}}};
            const std::vector<std::string> ownerNames{"Kind"};
            const std::vector<PresetFileNames::Entry> presets{{c.presetName, {}}, {c.presetName, {}}};
            const std::vector<std::string> names = PresetFileNames::uniqueNames(presets, c.form);
            const std::set<std::string> siblings(c.takenBySiblings.begin(), c.takenBySiblings.end());
            const auto ownerOf = [&](const File& file)
            {
                const std::string fileName = file.getFileName();
                const std::string stem = fileName.substr(0, fileName.size() - 4);
                if (siblings.count(stem) == 0)
                    return PresetFileNames::FileOwner{};
                return PresetFileNames::FileOwner{PresetFileNames::FileOwner::sibling, {stem, {}}};
            };
            const File placed =
                PresetFileNames::placeFor(parent, owners, ownerNames, 0, {presets, names, 1, c.form}, ownerOf);
            EXPECT_EQ(placed.getFullPath(), std::string("/presets/Kind/") + c.expected);
        }

        INSTANTIATE_TEST_SUITE_P(
            Names, PresetFileNumberingTest,
            ::testing::Values(
                NumberingCase{"TakenByARealPreset", "Soft", PresetFileNames::Form::kept, {"Soft 2"}, "Soft 3.xml"},
                NumberingCase{"NextTakenToo", "Soft", PresetFileNames::Form::kept, {"Soft 2", "Soft 3"}, "Soft 4.xml"},
                NumberingCase{
                    "SpelledOut", "v1.0", PresetFileNames::Form::stripped, {"v1%2E0 2", "v1%2E0 3"}, "v1%2E0 4.xml"},
                NumberingCase{"ANumberInThePresetsOwnName",
                              "Soft 2",
                              PresetFileNames::Form::kept,
                              {"Soft 2 2", "Soft 2 3"},
                              "Soft 2 4.xml"}),
            [](const ::testing::TestParamInfo<NumberingCase>& info) { return std::string(info.param.name); });

        // ---- The order of writes, and what stays after them

        using Outcome = PresetFileNames::WriteTurns::Outcome;

        // Presets "A" and "B" of one owner: A's file holds B's only copy (B
        // was renamed, say, and A took its old name). A waits for B; where
        // B's write fails, A's never comes, and a former copy holding B stays
        // through the removal of former copies, while the others go.
        TEST(PresetFileWriteTurnsTest, AFileHoldingAnotherPresetsOnlyCopyWaitsForItsWrite)
        {
            for (const bool bFails : {false, true})
            {
                SCOPED_TRACE(bFails ? "B's write fails" : "B is written");
                TempDir dir;
                const std::vector<std::string> texts{"A", "B"};
                const std::string fileOfA = dir.writeFile("Kind/A.xml", "B");
                const std::string fileOfB = dir.file("Kind/B.xml");
                const std::string formerCopyOfB = dir.writeFile("Kind/B 2.xml", "B");
                const std::string deleted = dir.writeFile("Kind/Deleted.xml", "D");
                PresetFileNames::WriteTurns turns(texts);
                std::string calls;
                turns.run({0, 1},
                          [&](size_t index, bool last)
                          {
                              calls += std::to_string(index) + (last ? "!" : "") + " ";
                              const std::string& path = index == 0 ? fileOfA : fileOfB;
                              const auto held = turns.holds(File(path), index);
                              if (held == PresetFileNames::WriteTurns::Holds::pendingCopy && ! last)
                                  return Outcome::waiting;
                              if (held == PresetFileNames::WriteTurns::Holds::failedCopy || (index == 1 && bFails))
                                  return Outcome::failed;
                              dir.writeFile(path.substr(dir.path().size() + 1), texts[index]);
                              return Outcome::written;
                          });
                EXPECT_EQ(calls, bFails ? "0 1 0! " : "0 1 0 ");
                EXPECT_EQ(dir.readFile("Kind/A.xml"), bFails ? "B" : "A");
                EXPECT_EQ(turns.holdsUnwritten(File(formerCopyOfB)), bFails);

                std::vector<std::string> forgotten;
                const std::vector<PresetFileNames::FormerCopy> copies{
                    {File(formerCopyOfB), "B", PresetFileNames::stampOf(File(formerCopyOfB))},
                    {File(deleted), "Deleted", PresetFileNames::stampOf(File(deleted))}};
                EXPECT_TRUE(PresetFileNames::removeFormerCopies(
                    copies, {},
                    [](const File& file) -> std::optional<std::string>
                    { return file.getFileName() == "Deleted.xml" ? "Deleted" : "B"; },
                    [&](const PresetFileNames::FormerCopy& copy, bool removed)
                    { forgotten.push_back(copy.file.getFileName() + (removed ? " removed" : " kept")); },
                    "test", &turns));
                EXPECT_EQ(File(formerCopyOfB).existsAsFile(), bFails);
                EXPECT_FALSE(File(deleted).existsAsFile());
                const std::vector<std::string> dealtWith =
                    bFails ? std::vector<std::string>{"Deleted.xml removed"}
                           : std::vector<std::string>{"B 2.xml removed", "Deleted.xml removed"};
                EXPECT_EQ(forgotten, dealtWith);
            }
        }
    }
}
