#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rename/apply_renames.h"
#include "rename/rename_journal.h"
#include "shell/file_io.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

using test::ReadFile;
using test::SortedNames;
using test::TempDir;
using test::WriteFile;

class RenameJournalTest : public ::testing::Test {
protected:
    // Each file holds its own first name, so a swap or a replaced file shows.
    RenameRow Row(const std::string& name, const std::string& newName) {
        WriteFile(dir.File(name), "was " + name);
        return RenameRow{true, dir.File(name), name, newName, "1 KB", dir.path()};
    }
    std::vector<std::string> Names() const { return SortedNames(dir.path()); }

    TempDir dir;
    TempDir state;
};

TEST_F(RenameJournalTest, UndoRevertsRunsNewestFirstAndThenHasNothingLeft) {
    // Names are bytes: a space, a "%", a line break and a byte that is no UTF-8.
    const std::string odd = "odd name%\n\xFF.jpg";
    std::vector<RenameRow> first = {Row("a.jpg", "1.jpg"), Row(odd, "2.jpg")};
    ASSERT_TRUE(RenameAndRecord(first, state.path()).ok());
    std::vector<RenameRow> second = {{true, dir.File("1.jpg"), "1.jpg", "one.jpg", "", dir.path()}};
    ASSERT_TRUE(RenameAndRecord(second, state.path()).ok());
    ASSERT_EQ(Names(), (std::vector<std::string>{"2.jpg", "one.jpg"}));

    UndoOutcome dry = UndoLastRun(state.path(), true);
    ASSERT_EQ(dry.steps.size(), 1u);
    EXPECT_EQ(dry.steps[0].from, dir.File("one.jpg"));
    EXPECT_EQ(Names(), (std::vector<std::string>{"2.jpg", "one.jpg"}));

    EXPECT_TRUE(UndoLastRun(state.path(), false).ok());
    EXPECT_EQ(Names(), (std::vector<std::string>{"1.jpg", "2.jpg"}));
    const UndoOutcome before = UndoLastRun(state.path(), false);
    EXPECT_TRUE(before.ok());
    ASSERT_EQ(before.steps.size(), 2u);
    EXPECT_EQ(before.steps[0].to, dir.File(odd));  // last rename first
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.jpg", odd}));
    EXPECT_EQ(ReadFile(dir.File(odd)), "was " + odd);
    EXPECT_FALSE(HasRunToUndo(state.path()));
    EXPECT_TRUE(UndoLastRun(state.path(), false).nothingToUndo);
}

TEST_F(RenameJournalTest, UndoSkipsTakenNamesAndOtherFilesAndReplacesNothing) {
    if (!io::IdentitiesKnown()) {
        GTEST_SKIP() << "this file road cannot tell one file from another";
    }
    std::vector<RenameRow> rows = {Row("a", "x"), Row("b", "y"), Row("c", "z")};
    ASSERT_TRUE(RenameAndRecord(rows, state.path()).ok());
    WriteFile(dir.File("a"), "a new a");                // the old name is taken again
    // Another file under the new name (the renamed one kept aside, so its inode stays taken).
    ASSERT_TRUE(io::MoveNoReplace(dir.File("y"), dir.File("y.moved")).ok());
    WriteFile(dir.File("y"), "another y");

    const UndoOutcome outcome = UndoLastRun(state.path(), false);
    EXPECT_FALSE(outcome.ok());
    ASSERT_EQ(outcome.steps.size(), 3u);
    EXPECT_EQ(outcome.steps[0].skipped, "");            // z back to c
    EXPECT_NE(outcome.steps[1].skipped, "");            // y is another file
    EXPECT_NE(outcome.steps[2].skipped.find("taken"), std::string::npos);
    EXPECT_EQ(Names(), (std::vector<std::string>{"a", "c", "x", "y", "y.moved"}));
    EXPECT_EQ(ReadFile(dir.File("a")), "a new a");
    EXPECT_EQ(ReadFile(dir.File("x")), "was a");
    EXPECT_EQ(ReadFile(dir.File("y")), "another y");
    EXPECT_TRUE(UndoLastRun(state.path(), false).nothingToUndo);  // the run counts as undone
}

TEST_F(RenameJournalTest, JournalOfARunStoppedHalfWayCoversExactlyTheRenamesDone) {
    if (!io::IdentitiesKnown()) {
        GTEST_SKIP() << "this file road cannot tell one file from another";
    }
    // Stopped by a failure: the second target is taken, the third row is never tried.
    WriteFile(dir.File("taken"), "keep");
    std::vector<RenameRow> rows = {Row("a", "x"), Row("b", "taken"), Row("c", "z")};
    const RenameOutcome stopped = RenameAndRecord(rows, state.path());
    ASSERT_FALSE(stopped.ok());
    ASSERT_EQ(stopped.renamed, 1u);
    UndoOutcome outcome = UndoLastRun(state.path(), false);
    EXPECT_TRUE(outcome.ok());
    EXPECT_EQ(outcome.steps.size(), 1u);
    EXPECT_EQ(Names(), (std::vector<std::string>{"a", "b", "c", "taken"}));

    // Cut off by a crash: one rename whose outcome line was never written, and one whose
    // rename never happened (and whose new name a stranger has since taken).
    RenameJournal journal;
    ASSERT_TRUE(journal.Begin(state.path()).ok());
    ASSERT_TRUE(journal.Attempt(dir.path(), "a", "x", *io::IdentityOf(dir.File("a"))).ok());
    ASSERT_TRUE(io::MoveNoReplace(dir.File("a"), dir.File("x")).ok());
    ASSERT_TRUE(journal.Outcome(true).ok());
    ASSERT_TRUE(journal.Attempt(dir.path(), "b", "y", *io::IdentityOf(dir.File("b"))).ok());
    ASSERT_TRUE(io::MoveNoReplace(dir.File("b"), dir.File("y")).ok());
    RenameJournal crashed;  // a later run that died before its rename
    ASSERT_TRUE(crashed.Begin(state.path()).ok());
    ASSERT_TRUE(crashed.Attempt(dir.path(), "c", "taken", *io::IdentityOf(dir.File("c"))).ok());

    outcome = UndoLastRun(state.path(), false);  // passes over the run that did nothing
    EXPECT_TRUE(outcome.ok());
    EXPECT_EQ(outcome.steps.size(), 2u);
    EXPECT_EQ(Names(), (std::vector<std::string>{"a", "b", "c", "taken"}));
    EXPECT_EQ(ReadFile(dir.File("taken")), "keep");
}

}  // namespace
}  // namespace brindle
