#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "io/file_io.h"
#include "rename/apply_renames.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

using test::Exists;
using test::ReadFile;
using test::SortedNames;
using test::TempDir;
using test::WriteFile;

class ApplyRenamesTest : public ::testing::Test {
protected:
    // Writes each file with its own name as content, so a swap or overwrite shows.
    RenameRow Row(const std::string& name, const std::string& newName, bool checked = true) {
        WriteFile(dir.File(name), "content of " + name);
        return RenameRow{checked, dir.File(name), name, newName, 1024, dir.path()};
    }

    void ExpectContent(const std::string& name, const std::string& original) {
        EXPECT_EQ(ReadFile(dir.File(name)), "content of " + original) << name;
    }

    TempDir dir;
};

TEST_F(ApplyRenamesTest, RenamesEveryRowWithANewNameCheckedOrNot) {
    std::vector<RenameRow> rows = {Row("a.txt", "1.txt"), Row("b.txt", ""),
                                   Row("c.txt", "3.txt", false)};
    rows.push_back(RenameRow{true, dir.File("x"), "x", "y", {}, ""});  // no location: skipped
    const RenameOutcome outcome = RenameListedFiles(rows);
    EXPECT_TRUE(outcome.ok()) << outcome.error.message();
    EXPECT_EQ(outcome.message(), "Process Finish.");
    EXPECT_EQ(outcome.renamed, 2u);
    EXPECT_EQ(SortedNames(dir.path()), (std::vector<std::string>{"1.txt", "3.txt", "b.txt"}));
    ExpectContent("1.txt", "a.txt");
    ExpectContent("3.txt", "c.txt");
    EXPECT_EQ(rows[0].fileName, "a.txt");  // the rows are not changed
}

TEST_F(ApplyRenamesTest, EmptyListsFinish) {
    EXPECT_EQ(RenameListedFiles({}).message(), "Process Finish.");
    const std::vector<RenameRow> rows = {Row("a", ""), Row("b", "")};
    EXPECT_EQ(RenameListedFiles(rows).message(), "Process Finish.");
    EXPECT_EQ(SortedNames(dir.path()), (std::vector<std::string>{"a", "b"}));
}

TEST_F(ApplyRenamesTest, ExistingTargetRefusesTheRunAndIsNeverReplaced) {
    WriteFile(dir.File("taken"), "already here");
    const std::vector<RenameRow> rows = {Row("a", "new-a"), Row("b", "taken"), Row("c", "new-c")};
    const RenameOutcome outcome = RenameListedFiles(rows);
    EXPECT_FALSE(outcome.ok());
    EXPECT_EQ(outcome.message(), "Fail to rename some files.");
    EXPECT_EQ(outcome.failedRow, 1u);
    EXPECT_EQ(outcome.renamed, 0u);
    EXPECT_EQ(ReadFile(dir.File("taken")), "already here");
    ExpectContent("a", "a");
    ExpectContent("b", "b");
    ExpectContent("c", "c");
    EXPECT_FALSE(Exists(dir.File("new-c")));
}

TEST_F(ApplyRenamesTest, TwoRowsWithOneNewNameRenameNothing) {
    const std::vector<RenameRow> rows = {Row("a", "same"), Row("b", "same")};
    EXPECT_FALSE(RenameListedFiles(rows).ok());
    ExpectContent("a", "a");
    ExpectContent("b", "b");
}

TEST_F(ApplyRenamesTest, SecondRunFailsOnTheFirstRowRenamedBefore) {
    const std::vector<RenameRow> rows = {Row("a", ""), Row("b", "new-b"), Row("c", "new-c")};
    ASSERT_TRUE(RenameListedFiles(rows).ok());
    const RenameOutcome again = RenameListedFiles(rows);
    EXPECT_FALSE(again.ok());
    EXPECT_EQ(again.failedRow, 1u);
    EXPECT_EQ(SortedNames(dir.path()), (std::vector<std::string>{"a", "new-b", "new-c"}));
}

TEST_F(ApplyRenamesTest, NamesThatLeaveTheFolderOrNameNoFileAreRefused) {
    ASSERT_EQ(::mkdir(dir.File("sub").c_str(), 0700), 0);
    WriteFile(dir.File("sub/inner"), "inner");
    for (const std::string bad : {".", "..", "sub/inner", "sub/", "../escaped", "/abs"}) {
        const std::vector<RenameRow> rows = {Row("a", bad)};
        const RenameOutcome outcome = RenameListedFiles(rows);
        EXPECT_FALSE(outcome.ok()) << bad;
        EXPECT_EQ(outcome.error.code(), Status::Code::kInvalidArgument) << bad;
        ExpectContent("a", "a");
    }
    EXPECT_EQ(ReadFile(dir.File("sub/inner")), "inner");
    EXPECT_EQ(SortedNames(dir.path()), (std::vector<std::string>{"a", "sub"}));
}

TEST_F(ApplyRenamesTest, LocationWithATrailingSeparatorGetsNoSecondOne) {
    RenameRow row = Row("a", "b");
    row.fileLocation = dir.path() + "/";
    ASSERT_TRUE(RenameListedFiles({&row, 1}).ok());
    ExpectContent("b", "a");
}

TEST(MoveNoReplace, SameFileUnderAnotherNameIsNeverReplaced) {
    TempDir dir;
    WriteFile(dir.File("a"), "a");
    ASSERT_EQ(::link(dir.File("a").c_str(), dir.File("b").c_str()), 0);
    // Another hard link of the same file: the move must fail and keep both names.
    EXPECT_FALSE(io::MoveNoReplace(dir.File("a"), dir.File("b")).ok());
    EXPECT_EQ(SortedNames(dir.path()), (std::vector<std::string>{"a", "b"}));

    // A symbolic link to the target names the same file too.
    ASSERT_EQ(::symlink("b", dir.File("s").c_str()), 0);
    EXPECT_FALSE(io::MoveNoReplace(dir.File("s"), dir.File("b")).ok());
    EXPECT_EQ(SortedNames(dir.path()), (std::vector<std::string>{"a", "b", "s"}));

    // The same path is the file itself: nothing moves, nothing is lost.
    EXPECT_TRUE(io::MoveNoReplace(dir.File("a"), dir.File("a")).ok());
    EXPECT_EQ(ReadFile(dir.File("a")), "a");
    EXPECT_FALSE(io::MoveNoReplace(dir.File("a"), dir.File("..")).ok());
    EXPECT_FALSE(io::MoveNoReplace(dir.File("a"), dir.path() + "/").ok());
}

// Needs a casefolding tmpfs (a kernel with Unicode support, and mount rights); skipped
// elsewhere. The same-path and hard-link cases above take the same road through the code.
TEST(MoveNoReplace, CaseChangeOnAFolderThatIgnoresCase) {
    TempDir dir;
    const std::string mount = dir.File("ci");
    ASSERT_EQ(::mkdir(mount.c_str(), 0700), 0);
    const std::string command = "mount -t tmpfs -o casefold none '" + mount + "' 2>/dev/null";
    if (::geteuid() != 0 || std::system(command.c_str()) != 0) {
        GTEST_SKIP() << "no case-insensitive folder can be made here";
    }
    struct Unmount {
        std::string path;
        // Nothing to do when it fails; fortified builds refuse to drop the result unread.
        ~Unmount() {
            if (std::system(("umount '" + path + "'").c_str()) != 0) {
            }
        }
    } unmount{mount};
    const std::string folder = mount + "/f";
    ASSERT_EQ(std::system(("mkdir '" + folder + "' && chattr +F '" + folder + "'").c_str()), 0);
    WriteFile(folder + "/photo.JPG", "picture");
    WriteFile(folder + "/other.txt", "other");
    const Status status = io::MoveNoReplace(folder + "/photo.JPG", folder + "/photo.jpg");
    EXPECT_TRUE(status.ok()) << status.message();
    EXPECT_FALSE(io::MoveNoReplace(folder + "/other.txt", folder + "/PHOTO.jpg").ok());
    EXPECT_EQ(SortedNames(folder), (std::vector<std::string>{"other.txt", "photo.jpg"}));
    EXPECT_EQ(ReadFile(folder + "/photo.jpg"), "picture");
}

}  // namespace
}  // namespace brindle
