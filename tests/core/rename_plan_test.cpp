#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "io/file_io.h"
#include "io/file_meta.h"
#include "rename/apply_renames.h"
#include "rename/natural_order.h"
#include "rename/rename_plan.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

using namespace test;

class RenamePlanTest : public ::testing::Test {
protected:
    // Each file holds its own first name, so a swap that loses or replaces a file shows.
    RenameRow Row(const std::string& name, const std::string& newName) {
        WriteFile(dir.File(name), "was " + name);
        return RenameRow{true, dir.File(name), name, newName, 1024, dir.path()};
    }
    // Every file under the name `names[i]` holds "was <olds[i]>".
    void ExpectFiles(const std::vector<std::string>& names, const std::vector<std::string>& olds) {
        std::vector<std::string> sorted = names;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(SortedNames(dir.path()), sorted);
        for (std::size_t i = 0; i < names.size(); ++i) {
            EXPECT_EQ(ReadFile(dir.File(names[i])), "was " + olds[i]) << names[i];
        }
    }

    TempDir dir;
    TempDir state;
};

TEST_F(RenamePlanTest, ConflictsAreFoundBeforeAnythingIsRenamed) {
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> renames;
        std::string existing;
        std::size_t row;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"two rows to one name", {{"a.txt", "x.txt"}, {"b.txt", "same.txt"}, {"c.txt", "same.txt"}}, {}, 2,
         "b.txt of this run gets that name too"},
        {"an existing file", {{"a.txt", "x.txt"}, {"c.txt", "d.txt"}}, "d.txt", 1,
         "a file of that name is already there"},
        {"too long", {{"a.txt", std::string(256, 'n')}}, {}, 0, "the new name is longer than 255 bytes"},
        {"a slash", {{"a.txt", "sub/x"}}, {}, 0, "not a file name: \"sub/x\""},
        {"a leftover of a cut run", {{"a.txt", "x.txt"}}, ".brindle-swap-1-0", 0,
         ".brindle-swap-1-0 is left from a rename run that did not finish; undo that run first"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir fresh;
        std::vector<RenameRow> rows;
        for (const auto& [from, to] : c.renames) {
            WriteFile(fresh.File(from), from);
            rows.push_back({true, fresh.File(from), from, to, 1, fresh.path()});
        }
        if (!c.existing.empty()) {
            WriteFile(fresh.File(c.existing), "stays");
        }
        const std::vector<std::string> before = SortedNames(fresh.path());
        const RenameOutcome outcome = RenameAndRecord(rows, state.path());
        ASSERT_EQ(outcome.conflicts.size(), 1u);
        EXPECT_EQ(outcome.conflicts[0].row, c.row);
        EXPECT_EQ(outcome.conflicts[0].reason, c.reason);
        EXPECT_EQ(outcome.renamed, 0u);
        EXPECT_EQ(SortedNames(fresh.path()), before);
    }
    EXPECT_FALSE(HasRunToUndo(state.path()));
}

// Enough rows that the files are looked up on every core: each row keeps its own file's
// identity and stamp, and a missing file is told at its own row.
TEST_F(RenamePlanTest, ManyRowsKeepTheirOwnFilesAndConflicts) {
    std::vector<RenameRow> rows;
    const auto add = [&](int from, int to) {
        for (int i = from; i < to; ++i) {
            const std::string name = "f" + std::to_string(i);
            WriteFile(dir.File(name), std::string(static_cast<std::size_t>(i), 'x'));  // sizes differ
            rows.push_back({true, dir.File(name), name, "g" + std::to_string(i), 1, dir.path()});
        }
    };
    add(0, 300);
    const RenamePlan sound = PlanRenames(rows);
    ASSERT_TRUE(sound.conflicts.empty());
    ASSERT_EQ(sound.steps.size(), rows.size());
    for (const RenameStep& step : sound.steps) {
        std::optional<io::FileId> id;
        std::optional<std::string> stamp;
        ASSERT_TRUE(io::LookUpIdentity(dir.File(step.from), &id).ok());
        ASSERT_TRUE(io::LookUpStamp(dir.File(step.from), &stamp).ok());
        EXPECT_TRUE(step.from == rows[step.row].fileName && id == step.file && stamp == step.stamp)
            << step.from;
    }
    ASSERT_EQ(::unlink(dir.File("f37").c_str()), 0);
    const RenamePlan plan = PlanRenames(rows);
    ASSERT_EQ(plan.conflicts.size(), 1u);
    EXPECT_EQ(plan.conflicts[0].row, 37u);
    EXPECT_EQ(plan.conflicts[0].reason, "the file is no longer there");
    // Asked once among the rows and once among the lookups, a stop the second time ends the
    // plan there, with nothing planned.
    add(300, 1100);
    std::atomic<int> asked{0};
    const RenamePlan stopped = PlanRenames(rows, [&asked] { return ++asked > 1; });
    EXPECT_EQ(asked.load(), 2);
    EXPECT_TRUE(stopped.stopped && stopped.steps.empty());
}

// Another program takes the second new name between the plan and its rename.
TEST_F(RenamePlanTest, ANameTakenAfterPlanningStopsTheRunAndKeepsWhatWasDone) {
    int secondRename = 0;
    {
        const std::vector<RenameRow> rows = {Row("a", "new-a"), Row("b", "new-b"), Row("c", "new-c")};
        io::testing::FaultPlan count;
        ASSERT_TRUE(RenameAndRecord(rows, state.path()).ok());
        for (int n = 1, renames = 0; n <= count.Calls() && secondRename == 0; ++n) {
            renames += count.CallAt(n) == io::Call::kRename ? 1 : 0;
            secondRename = renames == 2 ? n : 0;
        }
        ASSERT_GT(secondRename, 0);
        for (const char* name : {"new-a", "new-b", "new-c"}) ::unlink(dir.File(name).c_str());
        ASSERT_TRUE(ForgetLastRun(state.path()).ok());
    }
    const std::vector<RenameRow> rows = {Row("a", "new-a"), Row("b", "new-b"), Row("c", "new-c")};
    RenameOutcome outcome;
    {
        io::testing::FaultPlan faults;
        faults.FailCall(secondRename, EEXIST);
        outcome = RenameAndRecord(rows, state.path());
    }
    EXPECT_FALSE(outcome.ok());
    EXPECT_TRUE(outcome.conflicts.empty());
    EXPECT_EQ(outcome.renamed, 1u);
    EXPECT_EQ(outcome.failedRow, 1u);
    ExpectFiles({"new-a", "b", "c"}, {"a", "b", "c"});
    ASSERT_TRUE(UndoLastRun(state.path(), false).ok());
    ExpectFiles({"a", "b", "c"}, {"a", "b", "c"});
}

// A swap, a chain and a three-cycle, in one run; killed at every call it makes, undo brings
// every file back, and the next run is refused only while a temporary name is left.
TEST_F(RenamePlanTest, SwapsChainsAndCyclesSurviveACrashAtEveryStep) {
    if (!io::IdentitiesKnown()) {
        GTEST_SKIP() << "this file road cannot tell one file from another";
    }
    const std::vector<std::string> olds = {"a", "b", "f(1)", "f(2)", "f(3)", "x", "y", "z"};
    const std::vector<std::string> news = {"b", "a", "f(2)", "f(3)", "f(4)", "y", "z", "x"};
    const auto rows = [&] {
        std::vector<RenameRow> made;
        for (std::size_t i = 0; i < olds.size(); ++i) {
            made.push_back(Row(olds[i], news[i]));
        }
        return made;
    };
    const RenamePlan plan = PlanRenames(rows());
    ASSERT_TRUE(plan.conflicts.empty());
    EXPECT_EQ(plan.steps.size(), olds.size() + 2);  // one step aside per cycle
    for (int n = 1;; ++n) {
        SCOPED_TRACE("killed at call " + std::to_string(n));
        const std::vector<RenameRow> run = rows();
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            io::testing::FaultPlan faults;
            faults.CrashAtCall(n);
            std::_Exit(RenameAndRecord(run, state.path()).ok() ? 0 : 1);
        }
        int wait = 0;
        ASSERT_EQ(::waitpid(child, &wait, 0), child);
        ASSERT_TRUE(WIFEXITED(wait));
        const int code = WEXITSTATUS(wait);
        ASSERT_TRUE(code == io::testing::FaultPlan::kCrashExit || code == 0) << code;
        if (code == 0) {
            ExpectFiles(news, olds);
        }
        bool aside = false;
        for (const std::string& name : SortedNames(dir.path())) {
            aside = aside || name.starts_with(kSwapPrefix);
        }
        if (aside) {
            EXPECT_FALSE(RenameAndRecord(run, state.path()).conflicts.empty());
        }
        const UndoOutcome undone = UndoLastRun(state.path(), false);
        EXPECT_TRUE(undone.error.ok()) << undone.error.message();
        EXPECT_EQ(undone.SkippedCount(), 0u);
        ExpectFiles(olds, olds);
        while (HasRunToUndo(state.path())) {
            ASSERT_TRUE(ForgetLastRun(state.path()).ok());
        }
        if (code == 0 || HasFailure()) {
            break;
        }
    }
}

TEST_F(RenamePlanTest, NaturalOrderCountsDigitRunsAndIgnoresCase) {
    const std::vector<std::string> sorted = {"img_1.jpg", "IMG_2.jpg", "img_10.jpg", "IMG_010b.jpg",
                                             "Img_11.jpg", "IMG_100.jpg", "photo 9", "Photo 10"};
    std::vector<std::string> shuffled = {"IMG_100.jpg", "Photo 10", "img_10.jpg", "IMG_2.jpg",
                                         "Img_11.jpg", "photo 9", "img_1.jpg", "IMG_010b.jpg"};
    const NaturalOrder natural;
    std::sort(shuffled.begin(), shuffled.end(), std::cref(natural));
    EXPECT_EQ(shuffled, sorted);

    std::vector<RenameRow> rows;
    for (const char* name : {"b10", "B2", "a3"}) {
        rows.push_back({true, "/f/" + std::string(name), name, {}, std::string(name).size(), "/f"});
    }
    rows[1].fileLocation = "/e";
    const auto names = [&rows] {
        std::string all;
        for (const RenameRow& row : rows) all += row.fileName + " ";
        return all;
    };
    SortRows(rows, RowOrder::kNatural, false);
    EXPECT_EQ(names(), "a3 B2 b10 ");
    SortRows(rows, RowOrder::kNatural, true);
    EXPECT_EQ(names(), "b10 B2 a3 ");
    SortRows(rows, RowOrder::kLocation, false);
    EXPECT_EQ(names(), "B2 a3 b10 ");
    EXPECT_EQ(SortRows(rows, RowOrder::kSize, true), (std::vector<std::size_t>{2, 0, 1}));
}

}  // namespace
}  // namespace brindle
