#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "format/checksums.h"
#include "format/discovery.h"
#include "io/file_io.h"
#include "join/join_engine.h"
#include "split/stream_split.h"
#include "support/recording_progress.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

using test::ReadFile;
using test::TempDir;

constexpr std::int64_t kPieceData = 3000;

// A pipe that gives its bytes in odd sizes, now and then after a pause.
StreamRead OddPipe(const std::string& bytes, bool slow = false) {
    auto at = std::make_shared<std::size_t>(0);
    auto turn = std::make_shared<std::size_t>(0);
    return [bytes, at, turn, slow](char* buffer, std::size_t n, std::size_t* got) {
        static constexpr std::size_t kSizes[] = {1, 4093, 7, 2999, 1, 65537};
        const std::size_t want = kSizes[(*turn)++ % std::size(kSizes)];
        *got = std::min({n, want, bytes.size() - *at});
        std::copy_n(bytes.data() + *at, *got, buffer);
        *at += *got;
        if (slow && *turn % 5 == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return Status::Ok();
    };
}

StreamSplitParams Params(const std::string& folder, bool raw, bool checksums = true) {
    StreamSplitParams params;
    params.destFolder = folder;
    params.groupName = "backup";
    params.storedName = "backup.tar";
    params.pieceSize = kPieceData;
    params.raw = raw;
    params.checksums = checksums;
    params.splitDate = "2026-12-09";
    return params;
}

// The bytes the group in `folder` joins into; empty when it does not join.
std::string Joined(const TempDir& dir, bool raw) {
    if (raw) {
        std::string all;
        for (int k = 1; std::filesystem::exists(dir.File("backup." + std::string(k < 10 ? "00" : "0") + std::to_string(k))); ++k) {
            all += ReadFile(dir.File("backup." + std::string(k < 10 ? "00" : "0") + std::to_string(k)));
        }
        return all;
    }
    const JoinPlan plan = PlanJoin(dir.path(), "backup");
    if (!plan.Ready() || !CheckGroup(dir.path(), "backup").Joinable()) {
        return {};
    }
    JoinParams join{dir.File("out.bin"), plan.pieces};
    test::RecordingProgress progress;
    if (!JoinPieces(join, progress).ok()) {
        return {};
    }
    std::string bytes = ReadFile(dir.File("out.bin"));
    std::filesystem::remove(dir.File("out.bin"));
    return bytes;
}

TEST(SplitStream, OddSlowPipeSplitsIntoPiecesThatJoinByteForByte) {
    const std::string bytes = test::PatternBytes(10 * kPieceData + 17);
    for (const bool raw : {false, true}) {
        TempDir dir;
        test::RecordingProgress progress;
        const SplitResult result = SplitStream(Params(dir.path(), raw), OddPipe(bytes, true), progress);
        ASSERT_TRUE(result.status.ok()) << result.status.message();
        ASSERT_EQ(result.pieces.size(), 11u);
        EXPECT_EQ(Joined(dir, raw), bytes);
        if (!raw) {
            PieceHeader first;
            ASSERT_TRUE(ReadPieceHeader(result.pieces[0], &first).ok());
            EXPECT_EQ(first.PieceCount, 11);
            EXPECT_EQ(StoredBytes(first.SourceName), "backup.tar");
            const GroupCheck check = CheckGroup(dir.path(), "backup");
            EXPECT_TRUE(check.checksumsChecked && check.dataCheckNote.empty());
        }
        // Only the pieces and the list: no hidden piece is left behind.
        EXPECT_EQ(test::SortedNames(dir.path()).size(), 12u);
    }
}

TEST(SplitStream, RefusesBeforeReadingAndStopsBeyond999PiecesLeavingNothing) {
    TempDir dir;
    test::RecordingProgress progress;
    bool read = false;
    const StreamRead never = [&read](char*, std::size_t, std::size_t* got) {
        read = true;
        *got = 0;
        return Status::Ok();
    };
    test::WriteFile(dir.File("backup(5).qmf005"), "old");
    EXPECT_EQ(SplitStream(Params(dir.path(), false), never, progress).status.code(), Status::Code::kInvalidArgument);
    test::WriteFile(dir.File("backup.002"), "old");
    EXPECT_EQ(CheckStreamSplit(Params(dir.path(), true)).code(), Status::Code::kInvalidArgument);
    EXPECT_FALSE(read);

    TempDir empty;
    StreamSplitParams tiny = Params(empty.path(), true, false);
    tiny.pieceSize = 1;
    const SplitResult over = SplitStream(tiny, OddPipe(std::string(1000, 'x')), progress);
    EXPECT_EQ(over.status.code(), Status::Code::kInvalidArgument);
    EXPECT_NE(over.status.message().find("999"), std::string::npos);
    EXPECT_TRUE(test::SortedNames(empty.path()).empty());
    tiny.pieceSize = 2;  // exactly 999 pieces, the last short, still split
    EXPECT_TRUE(SplitStream(tiny, OddPipe(std::string(1997, 'x')), progress).status.ok());
}

// The process ends at each file call as SIGKILL would end it: what is left either joins into
// exactly the input or does not join at all, and the next split succeeds.
TEST(SplitStream, EveryKillLeavesNothingThatJoinsWrongly) {
    const std::string bytes = test::PatternBytes(3 * kPieceData + 5);
    for (const bool raw : {false, true}) {
        int calls = 0;
        {
            TempDir dir;
            io::testing::FaultPlan plan;
            test::RecordingProgress progress;
            ASSERT_TRUE(SplitStream(Params(dir.path(), raw), OddPipe(bytes), progress).status.ok());
            calls = plan.Calls();
        }
        for (int n = 1; n <= calls; ++n) {
            SCOPED_TRACE((raw ? "raw, killed at call " : "killed at call ") + std::to_string(n));
            TempDir dir;
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                io::testing::FaultPlan plan;
                plan.CrashAtCall(n);
                test::RecordingProgress progress;
                (void)SplitStream(Params(dir.path(), raw), OddPipe(bytes), progress);
                std::_Exit(0);
            }
            int wait = 0;
            ASSERT_EQ(::waitpid(child, &wait, 0), child);
            ASSERT_TRUE(WIFEXITED(wait));
            const std::string left = Joined(dir, raw);
            const bool first = std::filesystem::exists(dir.File(raw ? "backup.001" : "backup(1).qmf"));
            EXPECT_TRUE(left.empty() || left == bytes);
            EXPECT_TRUE(!first || left == bytes);
            const auto names = test::SortedNames(dir.path());
            if (std::all_of(names.begin(), names.end(), [](const std::string& name) { return name[0] == '.'; })) {
                // The hidden pieces a killed split left go with the next split.
                test::RecordingProgress progress;
                ASSERT_TRUE(SplitStream(Params(dir.path(), raw), OddPipe(bytes), progress).status.ok());
                EXPECT_EQ(Joined(dir, raw), bytes);
                EXPECT_EQ(test::SortedNames(dir.path()).size(), 5u);
            }
            if (::testing::Test::HasFailure()) {
                return;
            }
        }
    }
}

}  // namespace
}  // namespace brindle
