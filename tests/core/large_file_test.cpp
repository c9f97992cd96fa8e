#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "format/discovery.h"
#include "join/join_engine.h"
#include "split/split_engine.h"
#include "split/split_planning.h"
#include "support/recording_progress.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

using test::RecordingProgress;
using test::TempDir;

constexpr std::int64_t kLength = (std::int64_t{1} << 31) + 4099;  // just over 2 GiB
// The pieces and the joined copy are written out in full (the source stays sparse), with
// room to spare for whatever else the folder holds meanwhile.
constexpr std::uintmax_t kSpaceNeeded = 2 * static_cast<std::uintmax_t>(kLength) + (256u << 20);

void WriteAt(const std::string& path, std::int64_t offset, const std::string& bytes) {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(offset);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool SameBytes(const std::string& a, const std::string& b) {
    std::ifstream left(a, std::ios::binary);
    std::ifstream right(b, std::ios::binary);
    std::vector<char> x(1 << 20);
    std::vector<char> y(1 << 20);
    while (left && right) {
        left.read(x.data(), static_cast<std::streamsize>(x.size()));
        right.read(y.data(), static_cast<std::streamsize>(y.size()));
        if (left.gcount() != right.gcount() ||
            std::memcmp(x.data(), y.data(), static_cast<std::size_t>(left.gcount())) != 0) {
            return false;
        }
    }
    return left.eof() && right.eof();
}

// A sparse source with real bytes at its start, across the 2 GiB line and at its end.
TEST(LargeFile, SplitsAndJoinsASourceJustOver2GiBExactly) {
    TempDir dir;
    std::error_code error;
    const std::uintmax_t available = std::filesystem::space(dir.path(), error).available;
    if (error || available < kSpaceNeeded) {
        GTEST_SKIP() << "needs " << (kSpaceNeeded >> 20) << " MiB free in " << dir.path()
                     << ", has " << (error ? 0 : available >> 20) << " MiB"
                     << (error ? " (" + error.message() + ")" : std::string())
                     << "; set TMPDIR to a roomier folder";
    }
    const std::string source = dir.File("disk.img");
    std::ofstream(source, std::ios::binary).close();
    std::filesystem::resize_file(source, static_cast<std::uintmax_t>(kLength));
    WriteAt(source, 0, test::PatternBytes(70'000, 1));
    WriteAt(source, (std::int64_t{1} << 31) - 2000, test::PatternBytes(4000, 2));
    WriteAt(source, kLength - 3000, test::PatternBytes(3000, 3));

    SplitState state;
    ASSERT_FALSE(CheckSplitChoice(kLength, 0, "3", "", "", state));
    ComputePieceDataSize(kLength, state);
    SplitParams params;
    params.sourcePath = source;
    params.destFolder = dir.path();
    params.groupName = "disk";
    params.pieceSize = state.SplitPieceSize;
    RecordingProgress progress;
    const SplitResult split = SplitFile(params, progress);
    ASSERT_TRUE(split.status.ok()) << split.status.message();
    ASSERT_EQ(split.pieces.size(), 3u);
    EXPECT_EQ(progress.values.back(), progress.Max());

    PieceHeader header;
    ASSERT_TRUE(ReadPieceHeader(split.pieces[2], &header).ok());
    EXPECT_EQ(header.SourceLength, -1);
    EXPECT_EQ(StoredSourceLength(header), kLength);
    const JoinPlan plan = PlanJoin(dir.path(), "disk");
    ASSERT_TRUE(plan.Ready()) << plan.status.message();
    EXPECT_EQ(DescribeGroup(plan.firstPiece).sizeText, "2 GB");

    const std::string joined = dir.File("joined.img");
    RecordingProgress joinProgress;
    const Status status = JoinPieces({joined, plan.pieces}, joinProgress);
    ASSERT_TRUE(status.ok()) << status.message();
    EXPECT_EQ(std::filesystem::file_size(joined), static_cast<std::uintmax_t>(kLength));
    EXPECT_TRUE(SameBytes(source, joined));
}

}  // namespace
}  // namespace brindle
