#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <filesystem>
#include <map>

#include "checks/digest.h"
#include "join/numbered_join.h"
#include "support/fault_calls.h"
#include "support/recording_progress.h"
#include "support/run_brindle.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

using namespace test;

struct DiscoveryCase {
    const char* what;
    std::map<std::string, std::size_t> files;  // name -> size
    std::string base;
    std::vector<std::string> pieces;            // expected, in order; empty: refused
    std::string fault;                          // part of the refusal's message
    std::string leftOut;
};

TEST(NumberedGroupTest, DiscoveryTable) {
    const std::vector<DiscoveryCase> cases = {
        {"a 001 start", {{"m.mkv.001", 10}, {"m.mkv.002", 10}, {"m.mkv.003", 4}, {"m.mkv", 24}, {"m.mkv.01", 1}},
         "m.mkv", {"m.mkv.001", "m.mkv.002", "m.mkv.003"}, "", ""},
        {"a gap", {{"m.mkv.001", 10}, {"m.mkv.002", 10}, {"m.mkv.004", 4}}, "m.mkv", {}, "missing m.mkv.003", ""},
        {"no first piece", {{"m.mkv.002", 10}}, "m.mkv", {}, "missing m.mkv.001", ""},
        {"no piece at all", {{"m.mkv.0x1", 10}}, "m.mkv", {}, "missing m.mkv.001", ""},
        {"a full-size 000 start", {{"d.000", 10}, {"d.001", 10}, {"d.002", 3}}, "d", {"d.000", "d.001", "d.002"}, "", ""},
        {"a small 000 description", {{"d.000", 3}, {"d.001", 10}, {"d.002", 3}}, "d", {"d.001", "d.002"}, "", "d.000"},
        {"four-digit numbers", {{"v.0001", 8}, {"v.0002", 8}, {"v.0003", 8}, {"v.003", 1}}, "v",
         {"v.0001", "v.0002", "v.0003"}, "", ""},
        {"an archive name", {{"backup.zip.001", 6}, {"backup.zip.002", 6}, {"backup.z01", 6}}, "backup.zip",
         {"backup.zip.001", "backup.zip.002"}, "", ""},
        {"one piece alone", {{"one.001", 5}}, "one", {"one.001"}, "", ""},
        {"a short middle piece", {{"s.001", 10}, {"s.002", 7}, {"s.003", 4}}, "s", {}, "shorter than the others", ""},
        {"a short first piece", {{"s.001", 7}, {"s.002", 10}, {"s.003", 4}}, "s", {}, "s.001", ""},
        {"a last piece too long", {{"s.001", 10}, {"s.002", 11}}, "s", {}, "longer than the others", ""},
        {"a piece listed past the last one", {{"l.001", 4}, {"l.002", 4}, {"l.sfv", 0}}, "l", {}, "missing l.003", ""},
    };
    for (const DiscoveryCase& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        for (const auto& [name, size] : c.files) {
            WriteFile(dir.File(name), std::string(size, 'x'));
        }
        if (c.files.count(c.base + ".sfv") != 0) {
            WriteFile(dir.File(c.base + ".sfv"), "; listed\n" + c.base + ".001 00000000\n" + c.base + ".003 0badf00d\n");
        }
        const NumberedGroup group = FindNumberedGroup(dir.path(), c.base);
        std::vector<std::string> names;
        for (const std::string& piece : group.pieces) {
            names.push_back(std::filesystem::path(piece).filename().string());
        }
        if (c.fault.empty()) {
            EXPECT_TRUE(group.Ready()) << group.status.message();
            EXPECT_EQ(names, c.pieces);
        } else {
            EXPECT_FALSE(group.Ready());
            EXPECT_NE(group.status.message().find(c.fault), std::string::npos) << group.status.message();
        }
        EXPECT_EQ(group.leftOut, c.leftOut);
    }
}

TEST(NumberedGroupTest, APipeOrFolderUnderAPieceNameIsRefusedNotWaitedOn) {
    TempDir dir;
    WriteFile(dir.File("p.001"), "abcd");
    std::filesystem::create_directory(dir.File("p.002"));
    WriteFile(dir.File("p.003"), "ab");
    const NumberedGroup group = FindNumberedGroup(dir.path(), "p");
    EXPECT_EQ(group.status.code(), Status::Code::kInvalidArgument);
    EXPECT_NE(group.status.message().find("p.002"), std::string::npos);
}

class NumberedJoinTest : public ::testing::Test {
protected:
    void SetUp() override {
        bytes = test::PatternBytes(2500);
        for (int i = 0; i < 3; ++i) {
            WriteFile(dir.File("m.mkv.00" + std::to_string(i + 1)), bytes.substr(static_cast<std::size_t>(i) * 1000, 1000));
        }
    }
    static std::string Hash(DigestKind kind, const std::string& data) {
        Digest digest(kind);
        digest.Update(data.data(), data.size());
        return digest.HexDigest();
    }
    Status Join(const std::string& out = "m.mkv") {
        NumberedJoinParams params;
        params.folder = dir.path();
        params.base = "m.mkv";
        params.outputPath = dir.File(out);
        params.replaceExisting = false;
        test::RecordingProgress progress;
        return JoinNumberedPieces(params, progress);
    }
    void Damage(const std::string& name) {
        std::string piece = ReadFile(dir.File(name));
        piece[100] = static_cast<char>(piece[100] ^ 0x40);
        WriteFile(dir.File(name), piece);
    }

    TempDir dir;
    std::string bytes;
};

TEST_F(NumberedJoinTest, SfvListsEveryPieceAndADamagedOneFailsNamedWithNothingWritten) {
    std::string sfv = "; made elsewhere\r\n\r\n";
    for (int i = 1; i <= 3; ++i) {
        const std::string name = "m.mkv.00" + std::to_string(i);
        std::string crc = Hash(DigestKind::kCrc32, ReadFile(dir.File(name)));
        for (char& c : crc) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        sfv += name + " " + crc + "\r\n";
    }
    WriteFile(dir.File("whatever.sfv"), sfv);
    ASSERT_TRUE(Join().ok());
    EXPECT_EQ(ReadFile(dir.File("m.mkv")), bytes);
    EXPECT_EQ(CheckNumberedGroup(dir.path(), "m.mkv").joinable, true);

    std::filesystem::remove(dir.File("m.mkv"));
    Damage("m.mkv.002");
    const std::vector<std::string> before = SortedNames(dir.path());
    const Status status = Join();
    EXPECT_EQ(status.code(), Status::Code::kCorruption);
    EXPECT_NE(status.message().find("m.mkv.002 is damaged"), std::string::npos) << status.message();
    EXPECT_EQ(SortedNames(dir.path()), before);
    const NumberedCheck check = CheckNumberedGroup(dir.path(), "m.mkv");
    EXPECT_FALSE(check.joinable);
    EXPECT_EQ(check.lines[1].verdict, "damaged");
}

TEST_F(NumberedJoinTest, Sha256OfTheJoinedFileIsCheckedBeforeItIsMovedIntoPlace) {
    // Only the whole file is listed, as many downloads have it; the pieces say nothing.
    WriteFile(dir.File("m.mkv.sha256"), Hash(DigestKind::kSha256, bytes) + "  m.mkv\n" +
                                             Hash(DigestKind::kSha256, "gone") + " *m.mkv.nfo\n");
    ASSERT_TRUE(Join("copy.mkv").ok());
    EXPECT_EQ(ReadFile(dir.File("copy.mkv")), bytes);
    const NumberedCheck good = CheckNumberedGroup(dir.path(), "m.mkv");
    EXPECT_TRUE(good.joinable);
    ASSERT_EQ(good.lines.size(), 5u);
    EXPECT_EQ(good.lines[3].name + ": " + good.lines[3].verdict, "m.mkv (joined): ok");
    EXPECT_EQ(good.lines[4].name + ": " + good.lines[4].verdict, "m.mkv.nfo: listed in m.mkv.sha256, not there");

    Damage("m.mkv.003");
    const std::vector<std::string> before = SortedNames(dir.path());
    const Status status = Join();
    EXPECT_NE(status.message().find("the joined file m.mkv is damaged: its SHA-256 does not match m.mkv.sha256"),
              std::string::npos)
        << status.message();
    EXPECT_EQ(SortedNames(dir.path()), before);  // no output, no temporary file
    EXPECT_FALSE(CheckNumberedGroup(dir.path(), "m.mkv").joinable);
}

// With no list beside them only the size taken again at each piece's open tells a piece
// that grew since the check; the join would otherwise copy its first bytes and succeed.
TEST_F(NumberedJoinTest, APieceThatGrowsDuringTheJoinIsRefused) {
    struct GrowingProgress final : test::RecordingProgress {
        std::string piece;
        void Yield() override {
            if (!piece.empty()) {
                WriteFile(piece, ReadFile(piece) + "more");
                piece.clear();
            }
        }
    } progress;
    progress.piece = dir.File("m.mkv.002");
    const Status status = JoinNumberedPieces({dir.File("m.mkv"), dir.path(), "m.mkv", false}, progress);
    EXPECT_EQ(status.message(), "the piece changed during the join: " + dir.File("m.mkv.002"));
    EXPECT_FALSE(test::Exists(dir.File("m.mkv")));
}

// Pieces checked by recovery files before the join are checked again on the bytes written,
// against the files' MD5s: one byte changed once the copy has begun is caught, where the size
// taken again at its open sees nothing.
TEST_F(NumberedJoinTest, APieceChangedAfterItsRecoveryCheckIsRefused) {
    struct ChangingProgress final : test::RecordingProgress {
        std::string piece;
        void Yield() override {
            if (!piece.empty()) {
                test::FlipByte(piece, 10);
                piece.clear();
            }
        }
    } progress;
    NumberedJoinParams params{dir.File("m.mkv"), dir.path(), "m.mkv", false};
    for (int i = 1; i <= 3; ++i) {
        params.md5.push_back(Hash(DigestKind::kMd5, ReadFile(dir.File("m.mkv.00" + std::to_string(i)))));
    }
    ASSERT_TRUE(JoinNumberedPieces(params, progress).ok());
    EXPECT_EQ(ReadFile(dir.File("m.mkv")), bytes);
    std::filesystem::remove(dir.File("m.mkv"));
    progress.piece = dir.File("m.mkv.003");
    const Status status = JoinNumberedPieces(params, progress);
    EXPECT_EQ(status.message(), "m.mkv.003 does not match the recovery files");
    EXPECT_EQ(SortedNames(dir.path()), (std::vector<std::string>{"m.mkv.001", "m.mkv.002", "m.mkv.003"}));
}

// A listing reads each checksum file of the folder once, however many groups it finds, and
// the wizard's list of first pieces reads none.
TEST(NumberedGroupTest, AListingReadsEachListOnce) {
    TempDir dir;
    for (const char* name : {"a.001", "b.001", "b.002", "c.0001"}) {
        WriteFile(dir.File(name), "1234");
    }
    WriteFile(dir.File("all.sfv"), "a.001 00000000\nb.001 00000000\nb.003 00000000\n");
    WriteFile(dir.File("c.md5"), std::string(32, '0') + "  c.0001\n");
    const int before = testing::ListFilesRead();
    std::vector<NumberedGroup> groups;
    ASSERT_TRUE(FindAllNumberedGroups(dir.path(), &groups).ok());
    EXPECT_EQ(testing::ListFilesRead() - before, 2);
    ASSERT_EQ(groups.size(), 3u);
    EXPECT_EQ(groups[0].lists.files, std::vector<std::string>{"all.sfv"});
    EXPECT_EQ(groups[1].missingPiece, "b.003");
    EXPECT_EQ(groups[2].lists.files, std::vector<std::string>{"c.md5"});
    std::vector<std::string> firsts;
    ASSERT_TRUE(FirstNumberedPieces(dir.path(), &firsts).ok());
    EXPECT_EQ(firsts, (std::vector<std::string>{"a.001", "b.001", "c.0001"}));
    EXPECT_EQ(testing::ListFilesRead() - before, 2);
    EXPECT_EQ(test::Brindle({"groups", dir.path()}).code, 0);
    EXPECT_EQ(testing::ListFilesRead() - before, 4);
}

// The rebuilding road joins pieces read from elsewhere; what the lists refused still refuses
// it, and only a gap or a piece's size is the rebuild's to lift.
TEST_F(NumberedJoinTest, ARebuiltGroupKeepsTheRefusalsOfItsLists) {
    namespace fs = std::filesystem;
    TempDir elsewhere;
    WriteFile(elsewhere.File("rebuilt"), ReadFile(dir.File("m.mkv.002")));
    fs::remove(dir.File("m.mkv.002"));
    const auto rebuilt = [&] {
        NumberedJoinParams params{dir.File("m.mkv"), dir.path(), "m.mkv", false, {}, {}};
        for (const char* name : {"m.mkv.001", "m.mkv.002", "m.mkv.003"}) {
            params.pieces.push_back(dir.File(name));
            params.readFrom.push_back(dir.File(name));
        }
        params.readFrom[1] = elsewhere.File("rebuilt");
        test::RecordingProgress progress;
        return JoinNumberedPieces(params, progress);
    };
    WriteFile(dir.File("m.mkv.sfv"), "m.mkv.002 " + Hash(DigestKind::kCrc32, bytes.substr(1000, 1000)) + "\n");
    const std::vector<int> reads = test::CallsOf(io::Call::kRead, [&] { ASSERT_TRUE(rebuilt().ok()); });
    ASSERT_FALSE(reads.empty());
    ASSERT_EQ(ReadFile(dir.File("m.mkv")), bytes);
    fs::remove(dir.File("m.mkv"));
    {
        io::testing::FaultPlan plan;
        plan.FailCall(reads.front(), EIO);  // the list's, read before any piece
        const Status status = rebuilt();
        EXPECT_EQ(status.code(), Status::Code::kIoError) << status.message();
    }
    EXPECT_FALSE(test::Exists(dir.File("m.mkv")));

    // Pieces given that leave out one lying there join no part of the file.
    NumberedJoinParams some{dir.File("m.mkv"), dir.path(), "m.mkv", false, {dir.File("m.mkv.001")}, {dir.File("m.mkv.001")}};
    test::RecordingProgress progress;
    EXPECT_EQ(JoinNumberedPieces(some, progress).message(), "the pieces to join leave out " + dir.File("m.mkv.003"));
    EXPECT_FALSE(test::Exists(dir.File("m.mkv")));

    WriteFile(elsewhere.File("x.sfv"), ReadFile(dir.File("m.mkv.sfv")));
    fs::remove(dir.File("m.mkv.sfv"));
    fs::create_symlink(elsewhere.File("x.sfv"), dir.File("m.mkv.sfv"));
    EXPECT_EQ(rebuilt().message(), "a link to a file outside its folder: " + dir.File("m.mkv.sfv"));
    EXPECT_FALSE(test::Exists(dir.File("m.mkv")));
}

TEST_F(NumberedJoinTest, AFileUnderTheNameIsNeverReplacedUnasked) {
    WriteFile(dir.File("m.mkv"), "mine");
    EXPECT_EQ(Join().code(), Status::Code::kInvalidArgument);
    EXPECT_EQ(ReadFile(dir.File("m.mkv")), "mine");
}

}  // namespace
}  // namespace brindle
