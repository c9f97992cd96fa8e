#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "join/discovery.h"
#include "shell/file_io.h"
#include "split/split_engine.h"
#include "support/recording_progress.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

using test::ReadFile;
using test::RecordingProgress;
using test::TempDir;

class SplitEngineTest : public ::testing::Test {
protected:
    SplitParams Params(const std::string& source, std::int32_t pieceSize) {
        SplitParams params;
        params.sourcePath = source;
        params.destFolder = dir.path();
        params.groupName = "report";
        params.pieceSize = pieceSize;
        params.splitDate = "8.12.2026";
        params.groupId = 123456789;
        return params;
    }

    PieceHeader Header(const std::string& name) {
        PieceHeader header;
        EXPECT_TRUE(ReadPieceHeader(dir.File(name), &header).ok()) << name;
        return header;
    }

    TempDir dir;
};

TEST_F(SplitEngineTest, CutsFullPiecesAndAShortLastOneWithWizardProgress) {
    const std::string bytes = test::PatternBytes(10'000'000);
    test::WriteFile(dir.File("film.avi"), bytes);
    RecordingProgress progress;
    const SplitResult result = SplitFile(Params(dir.File("film.avi"), 3'000'000), progress);
    ASSERT_TRUE(result.status.ok()) << result.status.message();

    const char* names[] = {"report(1).qmf", "report(2).qmf002", "report(3).qmf003", "report(4).qmf004"};
    ASSERT_EQ(result.pieces.size(), 4u);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(result.pieces[k], dir.File(names[k]));
        const std::string piece = ReadFile(dir.File(names[k]));
        const std::size_t data = k < 3 ? 3'000'000 : 1'000'000;
        ASSERT_EQ(piece.size(), 256 + data) << names[k];
        EXPECT_EQ(piece.substr(256), bytes.substr(k * 3'000'000, data)) << names[k];
        const PieceHeader header = Header(names[k]);
        EXPECT_EQ(header.GroupId, 123456789);
        EXPECT_EQ(header.PieceIndex, k + 1);
        EXPECT_EQ(header.PieceSize, 3'000'000);  // the short piece too
        EXPECT_EQ(header.PieceCount, 4);
        EXPECT_EQ(header.SourceLength, 10'000'000);
        EXPECT_EQ(StoredText(header.SourceName), "film.avi");
        EXPECT_EQ(StoredText(header.SplitDate), "8.12.2026");
    }
    // The values at the pieces' ends, in order; the plain copy road also moves inside them.
    std::vector<int> ends;
    std::vector<std::string> endPercents;
    for (std::size_t i = 0; i < progress.values.size(); ++i) {
        if (progress.values[i] % 3333 == 0 || progress.values[i] == 10000) {
            ends.push_back(progress.values[i]);
            endPercents.push_back(progress.percents[i]);
        }
    }
    EXPECT_EQ(ends, (std::vector<int>{3333, 6666, 9999, 10000}));
    EXPECT_EQ(endPercents, (std::vector<std::string>{"33", "67", "100", "100"}));
    EXPECT_TRUE(std::is_sorted(progress.values.begin(), progress.values.end()));
    EXPECT_EQ(progress.yields, 3);  // none after the short piece
}

TEST_F(SplitEngineTest, ExactMultipleHasNoShortPieceAndOneByteRemainderGivesA257ByteFile) {
    test::WriteFile(dir.File("even.bin"), test::PatternBytes(30));
    RecordingProgress even;
    const SplitResult exact = SplitFile(Params(dir.File("even.bin"), 10), even);
    ASSERT_TRUE(exact.status.ok());
    EXPECT_EQ(exact.pieces.size(), 3u);
    EXPECT_EQ(Header("report(3).qmf003").PieceCount, 3);
    EXPECT_EQ(even.values.back(), 10000);

    test::WriteFile(dir.File("odd.bin"), test::PatternBytes(2001));
    RecordingProgress odd;
    SplitParams params = Params(dir.File("odd.bin"), 1000);
    params.groupName = "";
    const SplitResult remainder = SplitFile(params, odd);
    ASSERT_TRUE(remainder.status.ok());
    EXPECT_EQ(std::filesystem::file_size(dir.File("(3).qmf003")), 257u);
    EXPECT_EQ(Header("(3).qmf003").PieceSize, 1000);
    EXPECT_TRUE(test::Exists(dir.File("(1).qmf")));
}

TEST_F(SplitEngineTest, SplittingAgainReplacesThePiecesWithANewGroup) {
    test::WriteFile(dir.File("a.bin"), test::PatternBytes(100));
    RecordingProgress progress;
    SplitParams params = Params(dir.File("a.bin"), 40);
    params.groupId.reset();
    ASSERT_TRUE(SplitFile(params, progress).status.ok());
    test::WriteFile(dir.File("report(1).qmf"), std::string(5000, 'x'));  // longer than a piece
    const std::int32_t first = Header("report(2).qmf002").GroupId;
    RecordingProgress again;
    ASSERT_TRUE(SplitFile(params, again).status.ok());
    EXPECT_EQ(std::filesystem::file_size(dir.File("report(1).qmf")), 296u);
    // Drawn from a billion values: equal only by a one-in-a-billion chance.
    EXPECT_NE(Header("report(2).qmf002").GroupId, first);
    EXPECT_GE(Header("report(1).qmf").GroupId, 0);
}

TEST_F(SplitEngineTest, FailsAtTheThousandthPieceKeepingTheFirst999) {
    test::WriteFile(dir.File("big.bin"), test::PatternBytes(1332));
    RecordingProgress progress;
    const SplitResult result = SplitFile(Params(dir.File("big.bin"), 1), progress);
    EXPECT_FALSE(result.status.ok());
    EXPECT_EQ(result.pieces.size(), 999u);
    EXPECT_TRUE(test::Exists(dir.File("report(999).qmf999")));
    EXPECT_EQ(test::SortedNames(dir.path()).size(), 1000u);  // the source and 999 pieces
}

TEST_F(SplitEngineTest, RefusesBadInputWithoutWritingAnything) {
    test::WriteFile(dir.File("small.bin"), test::PatternBytes(10));
    struct Case {
        const char* what;
        std::string source;
        std::string dest;
        std::int32_t pieceSize;
    };
    const Case cases[] = {
        {"missing source", dir.File("nope.bin"), dir.path(), 4},
        {"missing folder", dir.File("small.bin"), dir.File("no/such"), 4},
        {"zero piece size", dir.File("small.bin"), dir.path(), 0},
        {"piece larger than the file", dir.File("small.bin"), dir.path(), 11},
    };
    for (const Case& c : cases) {
        SplitParams params = Params(c.source, c.pieceSize);
        params.destFolder = c.dest;
        RecordingProgress progress;
        const SplitResult result = SplitFile(params, progress);
        EXPECT_FALSE(result.status.ok()) << c.what;
        EXPECT_TRUE(result.pieces.empty()) << c.what;
        EXPECT_EQ(test::SortedNames(dir.path()), std::vector<std::string>{"small.bin"}) << c.what;
    }
}

TEST_F(SplitEngineTest, NeverWritesAPieceOverTheSource) {
    const std::string bytes = test::PatternBytes(50);
    test::WriteFile(dir.File("x(2).qmf002"), bytes);
    SplitParams params = Params(dir.File("x(2).qmf002"), 20);
    params.groupName = "x";
    RecordingProgress progress;
    EXPECT_FALSE(SplitFile(params, progress).status.ok());
    EXPECT_EQ(ReadFile(dir.File("x(2).qmf002")), bytes);
    EXPECT_FALSE(test::Exists(dir.File("x(1).qmf")));
}

TEST_F(SplitEngineTest, AFullDiskLeavesNoHalfWrittenPieceAndKeepsTheEarlierOne) {
    test::WriteFile(dir.File("a.bin"), test::PatternBytes(100));
    test::WriteFile(dir.File("report(2).qmf002"), "from an earlier split");
    io::testing::SetWriteBudget(256 + 40 + 256 + 10);  // dies inside the second piece's data
    RecordingProgress progress;
    const SplitResult result = SplitFile(Params(dir.File("a.bin"), 40), progress);
    io::testing::SetWriteBudget(-1);
    EXPECT_FALSE(result.status.ok());
    EXPECT_EQ(result.pieces, std::vector<std::string>{dir.File("report(1).qmf")});
    EXPECT_EQ(ReadFile(dir.File("report(2).qmf002")), "from an earlier split");
    EXPECT_EQ(test::SortedNames(dir.path()),
              (std::vector<std::string>{"a.bin", "report(1).qmf", "report(2).qmf002"}));
}

}  // namespace
}  // namespace brindle
