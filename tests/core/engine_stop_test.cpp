#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "format/checksums.h"
#include "io/file_io.h"
#include "join/join_engine.h"
#include "join/numbered_join.h"
#include "split/raw_split.h"
#include "split/split_engine.h"
#include "support/checksum_files.h"
#include "support/recording_progress.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

using test::RecordingProgress;
using test::TempDir;
using test::WriteChecksumFile;

// Asks to stop once the bar has moved `moves` times.
class StoppingProgress final : public RecordingProgress {
public:
    explicit StoppingProgress(std::size_t moves) : moves_(moves) {}
    bool StopRequested() const override { return values.size() >= moves_; }

private:
    std::size_t moves_;
};

constexpr std::int32_t kPiece = 12 << 20;  // more than one chunk of either copy road

class EngineStopTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        plan.UseKernelCopy(GetParam());
        test::WriteFile(dir.File("film.avi"), test::PatternBytes(2 * kPiece));
    }
    io::testing::FaultPlan plan;

    SplitParams Split() const {
        SplitParams params;
        params.sourcePath = dir.File("film.avi");
        params.destFolder = dir.path();
        params.groupName = "film";
        params.pieceSize = kPiece;
        params.splitDate = "8.12.2026";
        return params;
    }
    JoinParams Join() const {
        JoinParams params;
        params.outputPath = dir.File("copy.avi");
        params.pieces = {dir.File("film(1).qmf"), dir.File("film(2).qmf002")};
        return params;
    }

    TempDir dir;
};

// Inside each piece the bar creeps on; the values at each piece's end stay the described ones.
void ExpectMovesInsidePieces(const RecordingProgress& progress) {
    const std::vector<int>& v = progress.values;
    EXPECT_TRUE(std::is_sorted(v.begin(), v.end()));
    EXPECT_NE(std::find(v.begin(), v.end(), 5000), v.end());
    EXPECT_EQ(v.back(), 10000);
    EXPECT_TRUE(std::any_of(v.begin(), v.end(), [](int x) { return x > 0 && x < 5000; }));
    EXPECT_EQ(progress.percents.back(), "100");
}

// Writing and the hashing behind it share one bar: it moves all along and is full only once
// the result is in place.
void ExpectOneBarForCopyAndHash(const RecordingProgress& progress) {
    const std::vector<int>& v = progress.values;
    EXPECT_TRUE(std::is_sorted(v.begin(), v.end()));
    EXPECT_GE(std::count_if(v.begin(), v.end(), [](int x) { return x > 0 && x < 10000; }), 4);
    EXPECT_EQ(std::count(v.begin(), v.end(), 10000), 1);
    EXPECT_EQ(v.back(), 10000);
}

TEST_P(EngineStopTest, ProgressMovesInsideEachPieceOfASplitAndAJoin) {
    RecordingProgress split;
    ASSERT_TRUE(SplitFile(Split(), split).status.ok());
    ExpectMovesInsidePieces(split);
    RecordingProgress join;
    ASSERT_TRUE(JoinPieces(Join(), join).ok());
    ExpectMovesInsidePieces(join);

    // With checksums, for both.
    SplitParams checkedSplit = Split();
    checkedSplit.checksums = true;
    RecordingProgress hashedSplit;
    ASSERT_TRUE(SplitFile(checkedSplit, hashedSplit).status.ok());
    ExpectOneBarForCopyAndHash(hashedSplit);
    std::filesystem::remove(dir.File("copy.avi"));
    RecordingProgress checked;
    ASSERT_TRUE(JoinPieces(Join(), checked).ok());
    ExpectOneBarForCopyAndHash(checked);
}

TEST_P(EngineStopTest, AStoppedSplitOrJoinLeavesNothingOfItsOwn) {
    StoppingProgress splitStop(1);
    const SplitResult stopped = SplitFile(Split(), splitStop);
    EXPECT_TRUE(stopped.status.cancelled()) << stopped.status.message();
    EXPECT_TRUE(stopped.status.message().empty());
    EXPECT_EQ(test::SortedNames(dir.path()), std::vector<std::string>{"film.avi"});
    SplitParams checkedSplit = Split();
    checkedSplit.checksums = true;
    StoppingProgress checkedStop(3);
    EXPECT_TRUE(SplitFile(checkedSplit, checkedStop).status.cancelled());
    EXPECT_EQ(test::SortedNames(dir.path()), std::vector<std::string>{"film.avi"});

    // A stopped re-split takes back its own pieces. A piece takes its name (and its hash)
    // only once the next one is written, so a stop inside the last piece has replaced none
    // of the earlier group.
    RecordingProgress first;
    ASSERT_TRUE(SplitFile(Split(), first).status.ok());
    const std::string earlier = test::ReadFile(dir.File("film(1).qmf"));
    const auto firstEnd = std::find(first.values.begin(), first.values.end(), 5000) - first.values.begin();
    StoppingProgress late(static_cast<std::size_t>(firstEnd) + 2);  // inside piece 2
    const SplitResult again = SplitFile(Split(), late);
    EXPECT_TRUE(again.status.cancelled());
    EXPECT_TRUE(again.status.message().empty());
    EXPECT_EQ(test::SortedNames(dir.path()), (std::vector<std::string>{"film(1).qmf", "film(2).qmf002", "film.avi"}));
    EXPECT_TRUE(test::ReadFile(dir.File("film(1).qmf")) == earlier);

    ASSERT_TRUE(SplitFile(Split(), first).status.ok());
    test::WriteFile(dir.File("copy.avi"), "kept");
    StoppingProgress joinStop(1);
    EXPECT_TRUE(JoinPieces(Join(), joinStop).cancelled());
    EXPECT_EQ(test::ReadFile(dir.File("copy.avi")), "kept");
    EXPECT_EQ(test::SortedNames(dir.path()),
              (std::vector<std::string>{"copy.avi", "film(1).qmf", "film(2).qmf002", "film.avi"}));
}

TEST_P(EngineStopTest, PlainNumberedPiecesMoveTheBarAndStopLeavingNothing) {
    const RawSplitParams raw{dir.File("film.avi"), dir.path(), "film.avi", kPiece};
    StoppingProgress splitStop(1);
    EXPECT_TRUE(SplitRaw(raw, splitStop).status.cancelled());
    EXPECT_EQ(test::SortedNames(dir.path()), std::vector<std::string>{"film.avi"});
    RawSplitParams checkedRaw = raw;
    checkedRaw.checksums = true;
    StoppingProgress checkedSplitStop(2);
    EXPECT_TRUE(SplitRaw(checkedRaw, checkedSplitStop).status.cancelled());
    EXPECT_EQ(test::SortedNames(dir.path()), std::vector<std::string>{"film.avi"});

    RecordingProgress split;
    ASSERT_TRUE(SplitRaw(raw, split).status.ok());
    ExpectMovesInsidePieces(split);
    const NumberedJoinParams join{dir.File("copy.avi"), dir.path(), "film.avi"};
    StoppingProgress joinStop(1);
    EXPECT_TRUE(JoinNumberedPieces(join, joinStop).cancelled());
    EXPECT_EQ(test::SortedNames(dir.path()),
              (std::vector<std::string>{"film.avi", "film.avi.001", "film.avi.002"}));
    RecordingProgress joined;
    ASSERT_TRUE(JoinNumberedPieces(join, joined).ok());
    ExpectMovesInsidePieces(joined);

    // Checked behind the copy, it still stops leaving nothing, and its bar still moves.
    std::filesystem::remove(dir.File("copy.avi"));
    ASSERT_TRUE(WriteChecksumFile(dir.path(), "film.avi", {dir.File("film.avi.001"), dir.File("film.avi.002")}).ok());
    StoppingProgress checkedStop(2);
    EXPECT_TRUE(JoinNumberedPieces(join, checkedStop).cancelled());
    EXPECT_FALSE(test::Exists(dir.File("copy.avi")));
    EXPECT_EQ(test::SortedNames(dir.path()).size(), 4u);  // the source, two pieces, their list
    RecordingProgress checked;
    ASSERT_TRUE(JoinNumberedPieces(join, checked).ok());
    ExpectOneBarForCopyAndHash(checked);
}

INSTANTIATE_TEST_SUITE_P(BothCopyRoads, EngineStopTest, ::testing::Bool(),
                         [](const auto& param) { return param.param ? "KernelCopy" : "PlainCopy"; });

}  // namespace
}  // namespace brindle
