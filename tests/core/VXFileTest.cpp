#include "core/VXFile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/VXInputStream.h"
#include "core/VXOutputStream.h"
#include "support/VXLogRecorder.h"
#include "support/VXTempDir.h"

namespace
{
    // ---- Path arithmetic (no disk)

    struct PathCase
    {
        const char* label;
        const char* path;
        const char* fileName;
        const char* extension;
        const char* withoutExtension;
        const char* directory;
        const char* parent;
    };

    using FilePaths = ::testing::TestWithParam<PathCase>;

    TEST_P(FilePaths, SplitsThePath)
    {
        const PathCase& c = GetParam();
        const vx::File file(c.path);
        EXPECT_EQ(c.fileName, file.getFileName());
        EXPECT_EQ(c.extension, file.getExtension());
        EXPECT_EQ(c.withoutExtension, file.getFilenameWithoutExtension());
        EXPECT_EQ(c.directory, file.getDirectory().getFullPath());
        EXPECT_EQ(c.parent, file.getParentDirectory().getFullPath());
    }

    INSTANTIATE_TEST_SUITE_P(
        Cases, FilePaths,
        ::testing::Values(
            PathCase{"MovieFile", "/x/clip.mov", "clip.mov", "mov", "clip", "/x/", "/x"},
            PathCase{"Folder", "/x/folder", "folder", "", "folder", "/x/folder", "/x"},
            PathCase{"FolderWithSlash", "/x/folder/", "", "", "", "/x/folder/", "/x/folder"},
            PathCase{"DottedFolder", "/a.b/c", "c", "", "c", "/a.b/c", "/a.b"},
            PathCase{"TwoExtensions", "/x/archive.tar.gz", "archive.tar.gz", "gz", "archive", "/x/", "/x"},
            PathCase{"TrailingDot", "/x/name.", "name.", "", "name", "/x/name.", "/x"},
            PathCase{"BareName", "clip.mov", "clip.mov", "mov", "clip", "", "clip.mov"},
            PathCase{"Backslashes", "C:\\x\\a.txt", "C:\\x\\a.txt", "txt", "C:\\x\\a", "", "C:\\x\\a.txt"},
            PathCase{"Empty", "", "", "", "", "", ""}),
        [](const auto& info) { return std::string(info.param.label); });

    TEST(FilePath, ChildFiles)
    {
        EXPECT_EQ("/x/folder/a.png", vx::File("/x/folder").getChildFile("a.png").getFullPath());
        EXPECT_EQ("/x/folder/a.png", vx::File("/x/folder/").getChildFile("a.png").getFullPath());
        EXPECT_EQ("/x/b.txt", vx::File("/x/clip.mov").getChildFile("b.txt").getFullPath());
        EXPECT_EQ("/a.png", vx::File("/").getChildFile("a.png").getFullPath());
        EXPECT_EQ("a.png", vx::File("").getChildFile("a.png").getFullPath());
    }

    // ---- Disk

    class FileDiskTest : public ::testing::Test
    {
    protected:
        vx::test::TempDir temp;
    };

    TEST_F(FileDiskTest, ExistenceQueriesTellFilesFromDirectories)
    {
        const vx::File file(temp.writeFile("a.txt", "x"));
        const vx::File directory(temp.makeDirectory("sub"));
        const vx::File missing(temp.file("missing"));

        EXPECT_TRUE(file.exists());
        EXPECT_TRUE(file.existsAsFile());
        EXPECT_FALSE(file.existsAsDirectory());
        EXPECT_TRUE(directory.existsAsDirectory());
        EXPECT_FALSE(directory.existsAsFile());
        EXPECT_FALSE(missing.exists());
        EXPECT_FALSE(missing.existsAsFile());
        EXPECT_FALSE(vx::File().exists());
        EXPECT_FALSE(vx::File::doesFileOrDirectoryExist(""));
    }

    TEST_F(FileDiskTest, CreateMakesOrEmptiesTheFile)
    {
        const vx::File file(temp.file("new.txt"));
        EXPECT_TRUE(file.create());
        EXPECT_TRUE(file.existsAsFile());
        temp.writeFile("new.txt", "content");
        EXPECT_TRUE(file.create());
        EXPECT_EQ(0u, file.getFileSize());
        EXPECT_FALSE(vx::File(temp.file("no/such/dir/x.txt")).create());
    }

    TEST_F(FileDiskTest, CreateDirectoryMakesExactlyOneLevel)
    {
        const vx::File one(temp.file("one"));
        EXPECT_TRUE(one.createDirectory());
        EXPECT_TRUE(one.existsAsDirectory());
        EXPECT_FALSE(one.createDirectory()); // exists already
        EXPECT_FALSE(vx::File(temp.file("two/three")).createDirectory());
        // A path naming a file makes the file's folder.
        const vx::File inFolder(temp.file("four/clip.mov"));
        EXPECT_TRUE(inFolder.createDirectory());
        EXPECT_TRUE(vx::File(temp.file("four")).existsAsDirectory());
        EXPECT_FALSE(inFolder.exists());
    }

    TEST_F(FileDiskTest, DeleteAnswersWhetherItWorked)
    {
        const vx::File file(temp.writeFile("gone.txt", "x"));
        EXPECT_TRUE(file.deleteFile());
        EXPECT_FALSE(file.exists());
        EXPECT_FALSE(file.deleteFile());

        const vx::File full(temp.makeDirectory("full"));
        temp.writeFile("full/inner.txt", "x");
        EXPECT_FALSE(full.deleteFile());
        EXPECT_TRUE(full.existsAsDirectory());

        const vx::File empty(temp.makeDirectory("empty"));
        EXPECT_TRUE(empty.deleteFile());
        EXPECT_FALSE(vx::File().deleteFile());
    }

    TEST_F(FileDiskTest, SizeAndTextOfAFile)
    {
        const vx::File file(temp.writeFile("nul.bin", std::string("ab\0cd", 5)));
        EXPECT_EQ(5u, file.getFileSize());
        EXPECT_EQ("ab", file.toString());

        const std::string big(100000, 'k');
        EXPECT_EQ(big, vx::File(temp.writeFile("big.txt", big)).toString());

        const vx::File missing(temp.file("missing"));
        EXPECT_EQ(0u, missing.getFileSize());
        EXPECT_EQ("", missing.toString());
    }

    TEST_F(FileDiskTest, SizeBeyond32BitsSaturates)
    {
        // A sparse file: 5 GiB of size, almost no disk.
        const std::string path = temp.file("sparse.bin");
        ASSERT_TRUE(vx::File(path).create());
        ASSERT_EQ(0, ::truncate(path.c_str(), 5ll * 1024 * 1024 * 1024));
        EXPECT_EQ(4294967295u, vx::File(path).getFileSize());

        std::unique_ptr<vx::InputStream> stream(vx::File(path).createInputStream(true));
        ASSERT_NE(nullptr, stream);
        EXPECT_EQ(5ull * 1024 * 1024 * 1024, stream->getTotalSize());
        stream->setPosition(4ull * 1024 * 1024 * 1024 + 7);
        EXPECT_EQ(4ll * 1024 * 1024 * 1024 + 7, stream->getPosition());
    }

    // ---- Scanning

    std::vector<std::string> namesRelativeTo(const std::string& root, const std::vector<vx::File>& files)
    {
        std::vector<std::string> names;
        for (const vx::File& f : files)
            names.push_back(f.getFullPath().substr(root.size()));
        std::sort(names.begin(), names.end());
        return names;
    }

    class FileScanTest : public FileDiskTest
    {
    protected:
        void SetUp() override
        {
            temp.writeFile("a.txt", "");
            temp.writeFile(".DS_Store", "");
            temp.writeFile(".git/config", "");
            temp.writeFile("sub/b.txt", "");
            temp.writeFile("sub/deeper/c.txt", "");
        }
    };

    TEST_F(FileScanTest, FlatAndRecursiveScansListDirectoriesBeforeTheirContents)
    {
        std::vector<vx::File> found;
        EXPECT_TRUE(vx::File(temp.path()).scanForChildFiles(found, false, true));
        EXPECT_EQ((std::vector<std::string>{"/.git", "/a.txt", "/sub"}), namesRelativeTo(temp.path(), found));
        found.clear();
        EXPECT_TRUE(vx::File::getFilesInDirectory(vx::File(temp.path() + "/"), found, true));
        EXPECT_EQ((std::vector<std::string>{"/a.txt"}), namesRelativeTo(temp.path(), found));
        found.clear();
        EXPECT_TRUE(vx::File(temp.path()).scanForChildFiles(found, true, true));
        EXPECT_EQ((std::vector<std::string>{"/.git", "/.git/config", "/a.txt", "/sub", "/sub/b.txt", "/sub/deeper",
                                            "/sub/deeper/c.txt"}),
                  namesRelativeTo(temp.path(), found));
        auto position = [&](const std::string& name)
        { return std::find(found.begin(), found.end(), vx::File(temp.path() + name)) - found.begin(); };
        EXPECT_LT(position("/sub"), position("/sub/b.txt"));
        EXPECT_LT(position("/sub/deeper"), position("/sub/deeper/c.txt"));
    }

    TEST_F(FileScanTest, LinkLoopIsListedButNotFollowedForever)
    {
        ASSERT_EQ(0, ::symlink("..", temp.file("sub/up").c_str()));
        std::vector<vx::File> found;
        EXPECT_TRUE(vx::File(temp.path()).scanForChildFiles(found, true, true));
        const auto names = namesRelativeTo(temp.path(), found);
        EXPECT_EQ(1, std::count(names.begin(), names.end(), "/sub/up"));
        EXPECT_EQ(1, std::count(names.begin(), names.end(), "/sub/b.txt"));
    }

    TEST_F(FileScanTest, LinksAreFollowedAsWhatTheyPointTo)
    {
        // A link to a folder outside the tree is entered; a link to a file
        // and a dangling link are files.
        vx::test::TempDir outside;
        outside.writeFile("x.txt", "");
        ASSERT_EQ(0, ::symlink(outside.path().c_str(), temp.file("sub/out").c_str()));
        ASSERT_EQ(0, ::symlink(temp.file("a.txt").c_str(), temp.file("sub/a-link").c_str()));
        ASSERT_EQ(0, ::symlink(temp.file("gone").c_str(), temp.file("sub/dangling").c_str()));
        std::vector<vx::File> found;
        EXPECT_TRUE(vx::File(temp.path() + "/sub").scanForChildFiles(found, true, false));
        EXPECT_EQ((std::vector<std::string>{"/a-link", "/b.txt", "/dangling", "/deeper/c.txt", "/out/x.txt"}),
                  namesRelativeTo(temp.path() + "/sub", found));
    }

    TEST_F(FileScanTest, MissingDirectoryLogsOneWarningAndKeepsTheOutput)
    {
        vx::test::LogRecorder log;
        std::vector<vx::File> found{vx::File("keep")};
        const std::string missing = temp.file("nope");
        EXPECT_FALSE(vx::File(missing).scanForChildFiles(found, true, true));
        ASSERT_EQ(1u, found.size());
        const auto lines = log.lines();
        ASSERT_EQ(1u, lines.size());
        EXPECT_EQ("WARNING: scanForChildFiles: Could not scan for child files, '" + missing +
                      "' does not exist as directory.",
                  lines[0].text);

        // A file is no directory either.
        EXPECT_FALSE(vx::File(temp.file("a.txt")).scanForChildFiles(found, false, true));
        EXPECT_EQ(2u, log.count(vx::logWarning));
    }

    TEST_F(FileScanTest, DeleteFilesInDirectory)
    {
        vx::File::deleteFilesInDirectory(vx::File(temp.path()), true);
        EXPECT_FALSE(vx::File(temp.file("a.txt")).exists());
        EXPECT_TRUE(vx::File(temp.file("sub/b.txt")).exists());

        // Non-empty directories cannot be removed; empty ones go.
        temp.makeDirectory("hollow");
        vx::File::deleteFilesInDirectory(vx::File(temp.path()), false);
        EXPECT_FALSE(vx::File(temp.file("hollow")).exists());
        EXPECT_TRUE(vx::File(temp.file("sub")).exists());
    }

    // ---- Working directory

    class CurrentDirectoryTest : public FileDiskTest
    {
    protected:
        void SetUp() override
        {
            char buffer[8192];
            ASSERT_NE(nullptr, ::getcwd(buffer, sizeof(buffer)));
            saved = buffer;
        }
        void TearDown() override { EXPECT_EQ(0, ::chdir(saved.c_str())); }
        std::string saved;
    };

    TEST_F(CurrentDirectoryTest, EndsInOneSeparator)
    {
        ASSERT_EQ(0, ::chdir(temp.path().c_str()));
        const std::string path = vx::File::getCurrentDirectory().getFullPath();
        EXPECT_EQ(temp.path() + "/", path);
        ASSERT_EQ(0, ::chdir("/"));
        EXPECT_EQ("/", vx::File::getCurrentDirectory().getFullPath());
    }

    TEST_F(CurrentDirectoryTest, PathsLongerThan1024BytesAreReadWhole)
    {
        std::string deep = temp.path();
        const std::string segment(100, 'd');
        ASSERT_EQ(0, ::chdir(deep.c_str()));
        for (int i = 0; i < 15; ++i)
        {
            ASSERT_EQ(0, ::mkdir(segment.c_str(), 0777));
            ASSERT_EQ(0, ::chdir(segment.c_str()));
            deep += "/" + segment;
        }
        ASSERT_GT(deep.size(), 1024u);
        EXPECT_EQ(deep + "/", vx::File::getCurrentDirectory().getFullPath());
        vx::File::setCurrentDirectory(deep);
    }
}
