#include <gtest/gtest.h>
#include <sys/stat.h>

#include "format/discovery.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

using test::TempDir;
using test::WriteFile;

void WritePiece(const std::string& path, std::int32_t count, const std::string& name = "movie.avi", std::int32_t index = 1) {
    PieceHeader header;
    header.GroupId = 42;
    header.PieceIndex = index;
    header.PieceCount = count;
    header.SourceLength = 1'457'664;
    SetSourceName(header, name);
    SetSplitDate(header, "08/12/2026");
    const HeaderBytes bytes = EncodeHeader(header);
    WriteFile(path, std::string(bytes.begin(), bytes.end()) + "data");
}

TEST(GroupNameFromPiece, TextBeforeTheLastParenthesisWithoutFolder) {
    const std::pair<const char*, const char*> cases[] = {
        {"report(3).qmf003", "report"}, {"a(b)(1).qmf", "a(b)"}, {"/x/y(1).qmf", "y"},
        {"plain.qmf", "plain.qmf"},     {"(2).qmf002", ""},      {"/x.y/z(1).qmf", "z"},
    };
    for (const auto& [name, group] : cases) {
        EXPECT_EQ(GroupNameFromPiece(name), group) << name;
    }
}

TEST(FindGroups, OneEntryPerGroupInListingOrder) {
    TempDir dir;
    for (const char* name : {"b(2).qmf002", "a(1).qmf", "a(2).qmf002", "c.txt", "Report(1).QMF", "r(1).qmf",
                             "R(1).qmf", "x(3).qmf003"}) {
        WriteFile(dir.File(name), "");
    }
    std::vector<std::string> groups;
    ASSERT_TRUE(FindGroups(dir.path(), &groups).ok());
    EXPECT_EQ(groups, (std::vector<std::string>{"a", "b", "R", "r", "x"}));
    TempDir empty;
    WriteFile(empty.File("notes.txt"), "");
    ASSERT_TRUE(FindGroups(empty.path(), &groups).ok());
    EXPECT_TRUE(groups.empty());
    EXPECT_EQ(FindGroups(empty.File("gone"), &groups).code(), Status::Code::kNotFound);
}

TEST(DescribeGroup, ShowsStoredTextsWithoutPaddingAndTheSize) {
    TempDir dir;
    WritePiece(dir.File("m(1).qmf"), 3);
    PieceHeader header;
    ASSERT_TRUE(ReadPieceHeader(FirstPiecePath(dir.path(), "m"), &header).ok());
    const GroupDetails details = DescribeGroup(header);
    EXPECT_EQ(details.originalName, "movie.avi");
    EXPECT_EQ(details.sizeText, "1.39 MB");
    EXPECT_EQ(details.splitDate, "08/12/2026");

    WriteFile(dir.File("short(1).qmf"), "tiny");
    EXPECT_FALSE(ReadPieceHeader(dir.File("short(1).qmf"), &header).ok());
    EXPECT_FALSE(ReadPieceHeader(dir.File("none(1).qmf"), &header).ok());
}

TEST(SafeOriginalName, KeepsTheOutputBesideThePieces) {
    PieceHeader header;
    const std::pair<const char*, const char*> cases[] = {
        {"movie.avi", "movie.avi"}, {"../../etc/passwd", "passwd"}, {"..", "grp"}, {"", "grp"}, {"dir/", "grp"},
    };
    for (const auto& [stored, expected] : cases) {
        SetSourceName(header, stored);
        EXPECT_EQ(SafeOriginalName(header, "grp"), expected) << stored;
    }
}

// Our pieces give back the name's own bytes; an earlier writer's cp1252 name comes back as UTF-8.
TEST(SafeOriginalName, ReadsAnEarlierWritersNameAsWindows1252AndKeepsOurOwnBytes) {
    PieceHeader earlier;
    SetSourceName(earlier, "caf\xE9 \x80.avi");
    EXPECT_EQ(SafeOriginalName(earlier, "grp"), "caf\xC3\xA9 \xE2\x82\xAC.avi");
    const std::string euros(100, '\x80');  // a 300-byte reading: no folder takes it
    SetSourceName(earlier, euros);
    EXPECT_EQ(SafeOriginalName(earlier, "grp"), euros);

    PieceHeader ours = earlier;
    ours.DataHash.emplace();
    SetSourceName(ours, "caf\xE9.avi");
    EXPECT_EQ(SafeOriginalName(ours, "grp"), "caf\xE9.avi");
    EXPECT_EQ(SafeOriginalName(OriginalNameBytes(ours), "grp"), "caf\xE9.avi");
}

TEST(PlanJoin, FindsEveryPieceByExactNameFromTheFirstPiecesCount) {
    TempDir dir;
    WritePiece(dir.File("m(1).qmf"), 3);
    WriteFile(dir.File("m(2).qmf002"), "");
    WriteFile(dir.File("M(3).qmf003"), "");  // another case is another name
    WriteFile(dir.File("m(4).qmf004"), "");  // beyond the count: ignored

    JoinPlan plan = PlanJoin(dir.path(), "m");
    EXPECT_TRUE(plan.status.ok());
    EXPECT_EQ(plan.missingPiece, "m(3).qmf003");
    EXPECT_FALSE(plan.Ready());

    WriteFile(dir.File("m(3).qmf003"), "");
    plan = PlanJoin(dir.path(), "m");
    ASSERT_TRUE(plan.Ready());
    EXPECT_EQ(plan.pieces, (std::vector<std::string>{dir.File("m(1).qmf"), dir.File("m(2).qmf002"),
                                                      dir.File("m(3).qmf003")}));

    // A group whose name starts with a dot still finds its pieces.
    WritePiece(dir.File(".cfg(1).qmf"), 2);
    WriteFile(dir.File(".cfg(2).qmf002"), "");
    EXPECT_TRUE(PlanJoin(dir.path(), ".cfg").Ready());

    for (const std::int32_t impossible : {0, -1, 1000}) {
        WritePiece(dir.File("bad(1).qmf"), impossible);
        EXPECT_FALSE(PlanJoin(dir.path(), "bad").status.ok()) << impossible;
    }
    EXPECT_FALSE(PlanJoin(dir.path(), "absent").status.ok());
}

// One piece's name field damaged, the first's among them: the group keeps the others' name.
TEST(ReadGroupHeader, TakesTheNameMostPiecesStore) {
    TempDir dir;
    WritePiece(dir.File("m(1).qmf"), 3, "novie.avi", 1);
    WritePiece(dir.File("m(2).qmf002"), 3, "movie.avi", 2);
    WritePiece(dir.File("m(3).qmf003"), 3, "movie.avi", 3);
    PieceHeader header;
    ASSERT_TRUE(ReadGroupHeader(dir.path(), "m", &header).ok());
    EXPECT_EQ(StoredBytes(header.SourceName), "movie.avi");
    EXPECT_EQ(header.PieceIndex, 2);
}

TEST(ReadPieceHeader, RefusesANamedPipeWithoutWaitingForAWriter) {
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.File("p(1).qmf").c_str(), 0600), 0);
    PieceHeader header;
    const Status status = ReadPieceHeader(dir.File("p(1).qmf"), &header);
    EXPECT_EQ(status.code(), Status::Code::kInvalidArgument) << status.message();
    EXPECT_FALSE(PlanJoin(dir.path(), "p").status.ok());
}

}  // namespace
}  // namespace brindle
