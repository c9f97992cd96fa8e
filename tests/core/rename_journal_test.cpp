#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "io/file_io.h"
#include "rename/apply_renames.h"
#include "rename/rename_journal.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

using namespace test;

io::FileId IdOf(const std::string& path) {
    std::optional<io::FileId> id;
    EXPECT_TRUE(io::LookUpIdentity(path, &id).ok() && id) << path;
    return id.value_or(io::FileId{});
}

std::string StampAt(const std::string& path) {
    std::optional<std::string> stamp;
    EXPECT_TRUE(io::LookUpStamp(path, &stamp).ok() && stamp) << path;
    return stamp.value_or("");
}

class RenameJournalTest : public ::testing::Test {
protected:
    // Each file holds its own first name, so a swap or a replaced file shows.
    RenameRow Row(const std::string& name, const std::string& newName) {
        WriteFile(dir.File(name), "was " + name);
        return RenameRow{true, dir.File(name), name, newName, 1024, dir.path()};
    }
    std::vector<std::string> Names() const { return SortedNames(dir.path()); }

    // A journal written by hand, as the newest run of the state folder.
    void Craft(const std::string& text, mode_t mode = 0600) {
        const std::string path = state.File("run-0000000001.journal");
        WriteFile(path, text);
        ASSERT_EQ(::chmod(path.c_str(), mode), 0);
    }
    // The device, inode and stamp of what is at `name` now.
    std::string Ids(const std::string& name) const {
        const io::FileId id = IdOf(dir.File(name));
        return std::to_string(id.device) + " " + std::to_string(id.inode) + " " + StampAt(dir.File(name));
    }

    TempDir dir;
    TempDir state;
};

TEST_F(RenameJournalTest, UndoRevertsRunsNewestFirstAndThenHasNothingLeft) {
    // Names are bytes: a space, a "%", a line break and a byte that is no UTF-8.
    const std::string odd = "odd name%\n\xFF.jpg";
    std::vector<RenameRow> first = {Row("a.jpg", "1.jpg"), Row(odd, "2.jpg")};
    ASSERT_TRUE(RenameAndRecord(first, state.path()).ok());
    std::vector<RenameRow> second = {{true, dir.File("1.jpg"), "1.jpg", "one.jpg", {}, dir.path()}};
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
    std::vector<RenameRow> older = {Row("o", "p")};
    ASSERT_TRUE(RenameAndRecord(older, state.path()).ok());
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
    EXPECT_EQ(Names(), (std::vector<std::string>{"a", "c", "p", "x", "y", "y.moved"}));
    EXPECT_EQ(ReadFile(dir.File("a")), "a new a");
    EXPECT_EQ(ReadFile(dir.File("x")), "was a");
    EXPECT_EQ(ReadFile(dir.File("y")), "another y");

    // The run stays the one to undo, with only its skipped steps: a freed name is undone
    // on the next try, the stranger under y never is, until the run is forgotten.
    EXPECT_TRUE(outcome.kept);
    ASSERT_TRUE(io::RemoveFile(dir.File("a")).ok());
    const UndoOutcome retry = UndoLastRun(state.path(), false);
    ASSERT_EQ(retry.steps.size(), 2u);
    EXPECT_EQ(retry.steps[0].skipped, "another file has that name now");
    EXPECT_EQ(retry.steps[1].skipped, "");
    EXPECT_TRUE(retry.kept);
    EXPECT_EQ(ReadFile(dir.File("a")), "was a");
    EXPECT_EQ(UndoLastRun(state.path(), false).steps.size(), 1u);
    ASSERT_TRUE(ForgetLastRun(state.path()).ok());
    EXPECT_TRUE(UndoLastRun(state.path(), false).ok());  // now the older run
    EXPECT_EQ(ReadFile(dir.File("o")), "was o");
    EXPECT_FALSE(HasRunToUndo(state.path()));
    EXPECT_FALSE(ForgetLastRun(state.path()).ok());
}

TEST_F(RenameJournalTest, JournalOfARunStoppedHalfWayCoversExactlyTheRenamesDone) {
    if (!io::IdentitiesKnown()) {
        GTEST_SKIP() << "this file road cannot tell one file from another";
    }
    // Stopped by a failure: another program takes the second target after the plan, before
    // its rename; the third row is never tried.
    int polls = 0;
    const RunControl takeTheName{{}, [&] {
                                     if (++polls == 2) {
                                         WriteFile(dir.File("taken"), "keep");
                                     }
                                     return false;
                                 }};
    std::vector<RenameRow> rows = {Row("a", "x"), Row("b", "taken"), Row("c", "z")};
    const RenameOutcome stopped = RenameAndRecord(rows, state.path(), takeTheName);
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
    ASSERT_TRUE(journal.Attempt(dir.path(), "a", "x", IdOf(dir.File("a"))).ok());
    ASSERT_TRUE(io::MoveNoReplace(dir.File("a"), dir.File("x")).ok());
    ASSERT_TRUE(journal.Outcome(true).ok());
    ASSERT_TRUE(journal.Attempt(dir.path(), "b", "y", IdOf(dir.File("b"))).ok());
    ASSERT_TRUE(io::MoveNoReplace(dir.File("b"), dir.File("y")).ok());
    RenameJournal crashed;  // a later run that died before its rename
    ASSERT_TRUE(crashed.Begin(state.path()).ok());
    ASSERT_TRUE(crashed.Attempt(dir.path(), "c", "taken", IdOf(dir.File("c"))).ok());

    outcome = UndoLastRun(state.path(), false);  // passes over the run that did nothing
    EXPECT_TRUE(outcome.ok());
    EXPECT_EQ(outcome.steps.size(), 2u);
    EXPECT_EQ(Names(), (std::vector<std::string>{"a", "b", "c", "taken"}));
    EXPECT_EQ(ReadFile(dir.File("taken")), "keep");
}

// Journals written by hand: undo renames only the file recorded (the same inode and stamp;
// the first journals had no stamps), within its folder, from a journal no one else could
// have written; anything else is refused whole.
TEST_F(RenameJournalTest, UndoRenamesOnlyTheRecordedFileInItsFolderFromAPrivateJournal) {
    if (!io::IdentitiesKnown()) {
        GTEST_SKIP() << "this file road tells no owner or inode";
    }
    TempDir outside;
    const std::string away = "../" + outside.path().substr(outside.path().rfind('/') + 1) + "/stolen.txt";
    const struct {
        std::string journal;  // after the header's "journal "; %s: device and inode, %t: stamp, %f: folder
        mode_t journalMode, folderMode;
        bool undone, refused;
    } cases[] = {
        {"2\nT %s %t %f a x\nD %t\n", 0600, 0700, true, false},
        {"2\nT %s %t %f a x\n", 0600, 0700, true, false},  // its outcome never written
        {"1\nT %s %f a x\nD\n", 0600, 0700, true, false},
        {"2\nT %s %t %f a x\nD b1.2\n", 0600, 0700, false, false},  // a new file on the inode
        {"2\nT %s b1.2 %f a x\n", 0600, 0700, false, false},
        {"2\nT %s %t %f " + away + " x\nD %t\n", 0600, 0700, false, true},
        {"2\nT %s %t %f a sub/x\nD %t\n", 0600, 0700, false, true},
        {"2\nT %s %t %f .. x\nD %t\n", 0600, 0700, false, true},
        {"2\nT %s %t %f . x\nD %t\n", 0600, 0700, false, true},
        {"2\nT %s %t relative a x\nD %t\n", 0600, 0700, false, true},
        {"2\nT %s %t %f a x\nD %t\n", 0644, 0700, false, true},
        {"2\nT %s %t %f a x\nD %t\n", 0600, 0770, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.journal);
        WriteFile(dir.File("x"), "x");
        const std::string ids = Ids("x");
        std::string text = "tarnwick-brindle rename journal " + c.journal;
        for (const auto& [mark, value] : {std::pair<std::string, std::string>{"%s", ids.substr(0, ids.rfind(' '))},
                                          {"%t", StampAt(dir.File("x"))}, {"%f", dir.path()}}) {
            for (auto at = text.find(mark); at != std::string::npos; at = text.find(mark)) {
                text.replace(at, 2, value);
            }
        }
        ASSERT_EQ(::chmod(state.path().c_str(), 0700), 0);
        Craft(text, c.journalMode);
        ASSERT_EQ(::chmod(state.path().c_str(), c.folderMode), 0);
        const UndoOutcome outcome = UndoLastRun(state.path(), false);
        EXPECT_EQ(outcome.error.ok(), !c.refused) << outcome.error.message();
        EXPECT_EQ(Names(), std::vector<std::string>{c.undone ? "a" : "x"});
        EXPECT_TRUE(SortedNames(outside.path()).empty());
        (void)io::RemoveFile(dir.File(c.undone ? "a" : "x"));
    }
    // Nor does a run start in a folder others may write to.
    std::vector<RenameRow> rows = {Row("b", "c")};
    EXPECT_FALSE(RenameAndRecord(rows, state.path()).ok());
    EXPECT_TRUE(test::Exists(dir.File("b")));
}

TEST_F(RenameJournalTest, RunsAndUndosTakeTurnsAndAStopEndsTheWaitWithNothingDone) {
    std::vector<RenameRow> first = {Row("a", "x")};
    ASSERT_TRUE(RenameAndRecord(first, state.path()).ok());
    std::vector<RenameRow> rows = {Row("b", "y")};
    std::optional<JournalTurn> held;  // another run or undo under way
    ASSERT_TRUE(held.emplace().Take(state.path(), {}).ok());
    for (const bool undo : {true, false}) {
        std::atomic<int> waits{0};
        std::atomic<bool> stop{false};
        const RunControl control{[&waits] { ++waits; }, [&stop] { return stop.load(); }};
        auto waiting = std::async(std::launch::async, [&] {
            return undo ? UndoLastRun(state.path(), false, control).stopped
                        : RenameAndRecord(rows, state.path(), control).stopped;
        });
        while (waits == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        stop = true;
        EXPECT_TRUE(waiting.get());
        EXPECT_EQ(waits, 1);
        EXPECT_EQ(Names(), (std::vector<std::string>{"b", "x"}));
    }
    // Once the other is done, the waiting one goes on.
    auto undo = std::async(std::launch::async, [&] { return UndoLastRun(state.path(), false).ok(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(Names(), (std::vector<std::string>{"b", "x"}));
    held.reset();
    EXPECT_TRUE(undo.get());
    EXPECT_EQ(Names(), (std::vector<std::string>{"a", "b"}));
}

TEST_F(RenameJournalTest, AStopEndsARunOrAnUndoAfterTheCurrentFileAndKeepsWhatIsDone) {
    int polls = 0;
    const RunControl stopAfterTwo{{}, [&polls] { return ++polls > 2; }};
    std::vector<RenameRow> rows = {Row("a", "x"), Row("b", "y"), Row("c", "z")};
    const RenameOutcome run = RenameAndRecord(rows, state.path(), stopAfterTwo);
    EXPECT_TRUE(run.stopped);
    EXPECT_EQ(run.renamed, 2u);
    EXPECT_EQ(Names(), (std::vector<std::string>{"c", "x", "y"}));

    polls = 1;  // one more file, then stop
    const UndoOutcome undo = UndoLastRun(state.path(), false, stopAfterTwo);
    EXPECT_TRUE(undo.stopped && undo.kept);
    EXPECT_EQ(undo.UndoneCount(), 1u);
    EXPECT_EQ(Names(), (std::vector<std::string>{"b", "c", "x"}));
    EXPECT_TRUE(UndoLastRun(state.path(), false).ok());
    EXPECT_EQ(Names(), (std::vector<std::string>{"a", "b", "c"}));
}

// Every write to the journal can fail: a rename whose line is not written is not made, and
// one made whose outcome is not written is still undone.
TEST_F(RenameJournalTest, AFailedJournalWriteNeverLeavesARenameUndoCannotRevert) {
    bool saw[3] = {};  // not renamed, renamed without its outcome, done
    // Each region between two failure points is wider than the step.
    for (std::int64_t budget = 0; budget < 400 && !saw[2]; budget += 5) {
        SCOPED_TRACE(budget);
        TempDir files;
        TempDir journals;
        WriteFile(files.File("a"), "was a");
        std::vector<RenameRow> rows = {{true, files.File("a"), "a", "x", {}, files.path()}};
        io::testing::FaultPlan plan;
        plan.LimitWrites(budget);
        const RenameOutcome outcome = RenameAndRecord(rows, journals.path());
        plan.LimitWrites(-1);
        saw[outcome.ok() ? 2 : outcome.renamed] = true;
        if (!outcome.ok()) {
            EXPECT_NE(outcome.error.message().find("No space left"), std::string::npos) << outcome.error.message();
        }
        EXPECT_EQ(test::Exists(files.File("x")), outcome.renamed == 1);
        const UndoOutcome undo = UndoLastRun(journals.path(), false);
        EXPECT_TRUE(undo.ok() || undo.nothingToUndo) << undo.error.message();
        EXPECT_EQ(SortedNames(files.path()), std::vector<std::string>{"a"});
        EXPECT_EQ(SortedNames(journals.path()), std::vector<std::string>{});
    }
    EXPECT_TRUE(saw[0] && saw[1] && saw[2]);
}

}  // namespace
}  // namespace brindle

namespace brindle {
namespace {

TEST(RenameJournalKeep, TheNewestFiftyRunsAreKeptAndNoMore) {
    TempDir dir;
    TempDir state;
    WriteFile(dir.File("0.txt"), "x");
    for (std::size_t run = 1; run <= kKeptRuns + 2; ++run) {
        const std::string from = std::to_string(run - 1) + ".txt";
        std::vector<RenameRow> rows = {{true, dir.File(from), from, std::to_string(run) + ".txt", 1, dir.path()}};
        ASSERT_TRUE(RenameAndRecord(rows, state.path()).ok()) << run;
    }
    const std::vector<std::string> journals = SortedNames(state.path());
    ASSERT_EQ(journals.size(), kKeptRuns);
    EXPECT_EQ(journals.front(), "run-0000000003.journal");
}

}  // namespace
}  // namespace brindle
