// A folder or file the disk would not read is reported as such, never taken for an absent
// or empty one: each case fails the one system call its answer rests on.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "format/checksums.h"
#include "format/discovery.h"
#include "io/file_io.h"
#include "join/join_engine.h"
#include "join/numbered_join.h"
#include "split/split_engine.h"
#include "support/fault_calls.h"
#include "support/recording_progress.h"
#include "support/run_brindle.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

using test::TempDir;
using test::WriteFile;

// Runs `run` once to find its calls of `kind`, then again with call `which` of them (counted
// from 0, or from the end when negative) failing with EIO; what the second run says.
Status WithCallFailing(io::Call kind, const std::function<Status()>& run, int which = -1) {
    const std::vector<int> calls = test::CallsOf(kind, [&] { EXPECT_TRUE(run().ok()); });
    const int at = which < 0 ? static_cast<int>(calls.size()) + which : which;
    EXPECT_TRUE(at >= 0 && at < static_cast<int>(calls.size()));
    io::testing::FaultPlan plan;
    plan.FailCall(calls.at(static_cast<std::size_t>(at)), EIO);
    return run();
}

// A run of the command as a Status: its message when it failed, IoError for exit 1.
Status Command(const std::vector<std::string>& args) {
    const test::Outcome outcome = test::Brindle(args);
    return outcome.code == 0   ? Status::Ok()
           : outcome.code == 1 ? Status::IoError(outcome.err)
                               : Status::InvalidArgument(outcome.err);
}

std::vector<std::string> SplitGroup(const TempDir& dir) {
    WriteFile(dir.File("film.avi"), test::PatternBytes(5000));
    SplitParams params;
    params.sourcePath = dir.File("film.avi");
    params.destFolder = dir.path();
    params.groupName = "film";
    params.pieceSize = 2000;
    test::RecordingProgress progress;
    const SplitResult split = SplitFile(params, progress);
    EXPECT_TRUE(split.status.ok()) << split.status.message();
    return split.pieces;
}

TEST(Unread, FolderOfPiecesIsNotAGroupWithoutPieces) {
    TempDir dir;
    SplitGroup(dir);
    const Status planned = WithCallFailing(io::Call::kList, [&] {
        const JoinPlan plan = PlanJoin(dir.path(), "film");
        return plan.missingPiece.empty() ? plan.status : Status::NotFound(plan.missingPiece);
    });
    EXPECT_EQ(planned.code(), Status::Code::kIoError) << planned.message();
    std::vector<std::string> groups;
    EXPECT_EQ(WithCallFailing(io::Call::kList, [&] { return FindGroups(dir.path(), &groups); }).code(),
              Status::Code::kIoError);
    PieceHeader header;
    EXPECT_EQ(WithCallFailing(io::Call::kList, [&] { return ReadGroupHeader(dir.path(), "film", &header); }).code(),
              Status::Code::kIoError);
    for (const int which : {0, 1}) {  // the pieces' listing, the numbered groups' one
        const Status listed = WithCallFailing(io::Call::kList, [&] { return Command({"groups", dir.path()}); }, which);
        EXPECT_NE(listed.message().find("cannot list the folder"), std::string::npos) << listed.message();
    }
}

// A name that the system would not say is free or taken is neither.
TEST(Unread, PlaceNobodyLookedAtIsNotFree) {
    TempDir dir;
    const std::vector<std::string> pieces = SplitGroup(dir);
    std::filesystem::remove(pieces[2]);
    std::filesystem::create_directory(pieces[2]);  // there, but not in the listing of files
    const Status planned = WithCallFailing(io::Call::kStat, [&] {
        const JoinPlan plan = PlanJoin(dir.path(), "film");
        return plan.status.code() == Status::Code::kInvalidArgument ? Status::Ok() : plan.status;
    });
    EXPECT_EQ(planned.code(), Status::Code::kIoError) << planned.message();
    // Whichever look fails, a verify never calls the piece missing.
    for (const int n : test::CallsOf(io::Call::kStat, [&] { (void)CheckGroup(dir.path(), "film"); })) {
        io::testing::FaultPlan plan;
        plan.FailCall(n, EIO);
        const GroupCheck check = CheckGroup(dir.path(), "film");
        EXPECT_TRUE(check.pieces.size() < 3 || check.pieces[2].verdict != PieceVerdict::kMissing) << "call " << n;
    }
    const Status target = WithCallFailing(io::Call::kStat, [&] {
        return CheckJoinTarget(pieces, dir.File("out.avi"), false);
    });
    EXPECT_EQ(target.code(), Status::Code::kIoError) << target.message();
    std::filesystem::create_directory(dir.File("o"));
    const Status split = WithCallFailing(io::Call::kStat, [&] {
        return Command({"split", dir.File("film.avi"), "--pieces", "2", "--dest", dir.File("o")});
    }, 0);
    EXPECT_NE(split.message().find("cannot look at " + dir.File("film.avi")), std::string::npos) << split.message();
}

TEST(Unread, NumberedCheckNamesNoListedFileAbsent) {
    TempDir dir;
    WriteFile(dir.File("m.mkv.001"), "abc");
    WriteFile(dir.File("notes.txt"), "n");
    WriteFile(dir.File("m.sfv"), "notes.txt 00000000\n");
    const Status checked = WithCallFailing(io::Call::kList, [&] {
        for (const NumberedCheckLine& line : CheckNumberedGroup(dir.path(), "m.mkv").lines) {
            if (line.fault) {
                return Status::IoError(line.name + ": " + line.verdict);
            }
        }
        return Status::Ok();
    });
    EXPECT_EQ(checked.message(), "m.mkv: not checked");
}

}  // namespace
}  // namespace brindle
