#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "format/checksums.h"
#include "join/join_engine.h"
#include "split/split_engine.h"
#include "support/checksum_files.h"
#include "support/recording_progress.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

using namespace test;

class ChecksumsTest : public ::testing::Test {
protected:
    std::vector<std::string> Split(const std::string& group, std::int32_t groupId = 7) {
        WriteFile(dir.File("source.bin"), bytes);
        SplitParams params;
        params.sourcePath = dir.File("source.bin");
        params.destFolder = dir.path();
        params.groupName = group;
        params.pieceSize = 1000;
        params.groupId = groupId;
        RecordingProgress progress;
        const SplitResult result = SplitFile(params, progress);
        EXPECT_TRUE(result.status.ok()) << result.status.message();
        std::remove(dir.File("source.bin").c_str());
        return result.pieces;
    }

    void FlipByte(const std::string& path, std::streamoff offset) {
        std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
        file.seekg(offset);
        const char c = static_cast<char>(file.get());
        file.seekp(offset);
        file.put(static_cast<char>(c ^ 0x01));
    }

    TempDir dir;
    const std::string bytes = test::PatternBytes(2500);
};

// The file is what coreutils writes and reads, a name that needs escaping included.
TEST_F(ChecksumsTest, SplitsChecksumFileVerifiesWithSha256sum) {
    for (const std::string group : {"film", "odd\\name"}) {
        const auto pieces = Split(group);
        ASSERT_TRUE(WriteChecksumFile(dir.path(), group, pieces).ok());
        const std::string command = "cd '" + dir.path() + "' && sha256sum --quiet -c '" + group + ".sha256'";
        EXPECT_EQ(std::system(command.c_str()), 0) << group;
        FlipByte(pieces[1], 600);
        EXPECT_NE(std::system((command + " 2>/dev/null >/dev/null").c_str()), 0) << group;
    }
}

TEST_F(ChecksumsTest, JoinRefusesADamagedOrUnlistedPieceAndWritesNothing) {
    const auto pieces = Split("film");
    ASSERT_TRUE(WriteChecksumFile(dir.path(), "film", pieces).ok());
    RecordingProgress progress;
    ASSERT_TRUE(JoinPieces({dir.File("out.bin"), pieces}, progress).ok());
    EXPECT_EQ(ReadFile(dir.File("out.bin")), bytes);

    // One flipped data byte in piece 2: the lengths and GroupId still agree.
    FlipByte(pieces[1], 700);
    const auto names = test::SortedNames(dir.path());
    const Status damaged = JoinPieces({dir.File("out.bin"), pieces}, progress);
    EXPECT_EQ(damaged.code(), Status::Code::kCorruption);
    EXPECT_NE(damaged.message().find("film(2).qmf002"), std::string::npos) << damaged.message();
    EXPECT_EQ(ReadFile(dir.File("out.bin")), bytes);  // the earlier output is untouched
    EXPECT_EQ(test::SortedNames(dir.path()), names);  // and nothing was added

    // A list that leaves a piece out is no guarantee either.
    const std::string list = ReadFile(dir.File("film.sha256"));
    WriteFile(dir.File("film.sha256"), list.substr(0, list.find('\n') + 1 + 64 + 2 + 9 + 1));
    EXPECT_FALSE(JoinPieces({dir.File("other.bin"), pieces}, progress).ok());
    WriteFile(dir.File("film.sha256"), "not a checksum line\n");
    EXPECT_FALSE(JoinPieces({dir.File("other.bin"), pieces}, progress).ok());
    EXPECT_FALSE(test::Exists(dir.File("other.bin")));
}

TEST_F(ChecksumsTest, CheckGroupNamesEachPiecesFault) {
    auto pieces = Split("g");
    ASSERT_EQ(pieces.size(), 3u);
    GroupCheck check = CheckGroup(dir.path(), "g");
    EXPECT_TRUE(check.Joinable());
    EXPECT_FALSE(check.checksumsChecked);

    ASSERT_TRUE(WriteChecksumFile(dir.path(), "g", pieces).ok());
    check = CheckGroup(dir.path(), "g");
    EXPECT_TRUE(check.checksumsChecked);
    EXPECT_TRUE(check.Joinable());

    FlipByte(pieces[1], 300);
    std::remove(pieces[2].c_str());
    check = CheckGroup(dir.path(), "g");
    ASSERT_EQ(check.pieces.size(), 3u);
    EXPECT_EQ(check.pieces[0].verdict, PieceVerdict::kOk);
    EXPECT_EQ(check.pieces[1].verdict, PieceVerdict::kDamaged);
    EXPECT_EQ(check.pieces[2].verdict, PieceVerdict::kMissing);
    EXPECT_FALSE(check.Joinable());

    // Piece 2 from another split of the same file.
    std::remove(dir.File("g.sha256").c_str());
    Split("g");
    Split("h", 9);
    std::rename(dir.File("h(2).qmf002").c_str(), pieces[1].c_str());
    const auto mixed = CheckGroup(dir.path(), "g");
    EXPECT_EQ(mixed.pieces[0].verdict, PieceVerdict::kOk);
    EXPECT_EQ(mixed.pieces[1].verdict, PieceVerdict::kForeign);
    EXPECT_STREQ(VerdictText(mixed.pieces[1].verdict), "from another split");
    EXPECT_FALSE(mixed.Joinable());
}

// The file names its split: a later split's pieces are never held against an earlier list.
TEST_F(ChecksumsTest, AChecksumFileOfAnotherSplitIsNeverUsedAndASplitReplacesItsOwn) {
    const auto pieces = Split("g", 7);
    ASSERT_TRUE(WriteChecksumFile(dir.path(), "g", pieces).ok());
    const std::string earlier = ReadFile(dir.File("g.sha256"));
    EXPECT_EQ(earlier.substr(0, earlier.find('\n')), "# Tarnwick Brindle checksums of the split with GroupId 7");

    Split("g", 8);  // the same file again, without checksums: the old list goes with its pieces
    EXPECT_FALSE(test::Exists(dir.File("g.sha256")));
    WriteFile(dir.File("g.sha256"), earlier);  // as left by an older program
    RecordingProgress progress;
    ASSERT_TRUE(JoinPieces({dir.File("out.bin"), pieces}, progress).ok());
    EXPECT_EQ(ReadFile(dir.File("out.bin")), bytes);
    GroupCheck check = CheckGroup(dir.path(), "g");
    EXPECT_TRUE(check.Joinable());
    EXPECT_FALSE(check.checksumsChecked);
    EXPECT_EQ(check.checksumNote, "g.sha256 belongs to another split; not used");

    // A list of the user's about other files is no list of these pieces either.
    WriteFile(dir.File("g.sha256"), std::string(64, 'a') + "  g.tar\n");
    check = CheckGroup(dir.path(), "g");
    EXPECT_TRUE(check.Joinable());
    EXPECT_EQ(check.checksumNote, "g.sha256 lists none of these pieces; not used");
}

}  // namespace
}  // namespace brindle
