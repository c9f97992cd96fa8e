// A folder or file the disk would not read is reported as such, never taken for an absent
// or empty one: each case fails the one system call its answer rests on.
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <string>
#include <vector>

#include "format/discovery.h"
#include "io/file_io.h"
#include "join/numbered_join.h"
#include "split/split_engine.h"
#include "support/fault_calls.h"
#include "support/recording_progress.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

using test::TempDir;
using test::WriteFile;

// Runs `run` once to find its calls of `kind`, then again with the last of them failing
// with EIO; what the second run says.
Status WithLastCallFailing(io::Call kind, const std::function<Status()>& run) {
    const std::vector<int> calls = test::CallsOf(kind, [&] { EXPECT_TRUE(run().ok()); });
    EXPECT_FALSE(calls.empty());
    io::testing::FaultPlan plan;
    plan.FailCall(calls.empty() ? 1 : calls.back(), EIO);
    return run();
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
    const Status planned = WithLastCallFailing(io::Call::kList, [&] {
        const JoinPlan plan = PlanJoin(dir.path(), "film");
        return plan.missingPiece.empty() ? plan.status : Status::NotFound(plan.missingPiece);
    });
    EXPECT_EQ(planned.code(), Status::Code::kIoError) << planned.message();
    std::vector<std::string> groups;
    EXPECT_EQ(WithLastCallFailing(io::Call::kList, [&] { return FindGroups(dir.path(), &groups); }).code(),
              Status::Code::kIoError);
    PieceHeader header;
    EXPECT_EQ(WithLastCallFailing(io::Call::kList, [&] { return ReadGroupHeader(dir.path(), "film", &header); }).code(),
              Status::Code::kIoError);
}

TEST(Unread, NumberedCheckNamesNoListedFileAbsent) {
    TempDir dir;
    WriteFile(dir.File("m.mkv.001"), "abc");
    WriteFile(dir.File("notes.txt"), "n");
    WriteFile(dir.File("m.sfv"), "notes.txt 00000000\n");
    const Status checked = WithLastCallFailing(io::Call::kList, [&] {
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
