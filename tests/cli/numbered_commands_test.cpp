#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "support/run_brindle.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

using test::Brindle;
using test::Outcome;
using test::ReadFile;
using test::SortedNames;
using test::TempDir;
using test::WriteFile;

TEST(NumberedCommandsTest, SplitRawRebuildsWithCatAndJoinsBackChecked) {
    TempDir dir;
    const std::string bytes = test::PatternBytes(250'000);
    WriteFile(dir.File("a b.iso"), bytes);
    const Outcome split = Brindle({"split", dir.File("a b.iso"), "--raw", "--size", "100", "--unit", "KB", "--checksums"});
    ASSERT_EQ(split.code, 0) << split.err;
    EXPECT_EQ(SortedNames(dir.path()),
              (std::vector<std::string>{"a b.iso", "a b.iso.001", "a b.iso.002", "a b.iso.003", "a b.iso.sha256"}));
    EXPECT_EQ(ReadFile(dir.File("a b.iso.001")).size(), 102'400u);
    EXPECT_EQ(ReadFile(dir.File("a b.iso.003")).size(), 250'000u - 2 * 102'400u);
    const std::string shell = "cd '" + dir.path() + "' && cat 'a b.iso'.[0-9][0-9][0-9] > rebuilt && " +
                              "sha256sum --quiet -c 'a b.iso.sha256'";
    ASSERT_EQ(std::system(shell.c_str()), 0);
    EXPECT_EQ(ReadFile(dir.File("rebuilt")), bytes);

    // Any piece opens the group; the default name is there already, so only --out writes.
    EXPECT_EQ(Brindle({"join", dir.File("a b.iso.002")}).code, 2);
    const Outcome join = Brindle({"join", dir.File("a b.iso.002"), "--out", dir.File("joined")});
    ASSERT_EQ(join.code, 0) << join.err;
    EXPECT_EQ(ReadFile(dir.File("joined")), bytes);
    const Outcome groups = Brindle({"groups", dir.path()});
    EXPECT_EQ(groups.out, "a b.iso.001\ta b.iso\t244.14 KB\t3 pieces\n");

    // Pieces shorter than a header are listed too: nothing reads them as this program's pieces.
    WriteFile(dir.File("tiny"), test::PatternBytes(300));
    ASSERT_EQ(Brindle({"split", dir.File("tiny"), "--raw", "--pieces", "2", "--checksums"}).code, 0);
    ASSERT_EQ(std::system(("cd '" + dir.path() + "' && sha256sum --quiet -c tiny.sha256").c_str()), 0);
}

TEST(NumberedCommandsTest, SplitRawRefusesBeforeWritingAnything) {
    TempDir dir;
    WriteFile(dir.File("f"), test::PatternBytes(5000));
    WriteFile(dir.File("f.007"), "an older group's piece");
    const std::vector<std::string> before = SortedNames(dir.path());
    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{"--pieces", "3"}, "a numbered piece is already there"},
        {{"--pieces", "1000"}, "You must enter a number between 2 and 999."},
        {{"--size", "5"}, "The size you entered is too small."},
        {{"--size", "5001"}, "The size you entered is greater than your original file size."},
    };
    for (const auto& [choice, message] : refused) {
        std::vector<std::string> args = {"split", dir.File("f"), "--raw"};
        args.insert(args.end(), choice.begin(), choice.end());
        const Outcome outcome = Brindle(args);
        EXPECT_EQ(outcome.code, 2) << message;
        EXPECT_NE(outcome.err.find(message), std::string::npos) << outcome.err;
        EXPECT_EQ(SortedNames(dir.path()), before);
    }
}

// Plain numbered pieces are named BASE.001, ...: a base that is a path or no plain name
// would write elsewhere or hidden.
TEST(NumberedCommandsTest, SplitRawRefusesGroupNamesThatAreNoPlainName) {
    TempDir dir;
    WriteFile(dir.File("f"), test::PatternBytes(5000));
    std::filesystem::create_directory(dir.File("dest"));
    const std::pair<std::string, const char*> refused[] = {
        {"../escaped", "cannot hold \"/\""}, {"a/b", "cannot hold \"/\""},
        {std::string("a\0b", 3), "NUL"},     {"", "cannot be named"},
        {".", "cannot be named"},            {"..", "cannot be named"},
    };
    for (const auto& [group, message] : refused) {
        const Outcome outcome =
            Brindle({"split", dir.File("f"), "--raw", "--pieces", "2", "--dest", dir.File("dest"), "--group", group});
        EXPECT_EQ(outcome.code, 2) << group;
        EXPECT_NE(outcome.err.find(message), std::string::npos) << outcome.err;
        EXPECT_EQ(SortedNames(dir.path()), (std::vector<std::string>{"dest", "f"})) << group;
        EXPECT_TRUE(SortedNames(dir.File("dest")).empty()) << group;
    }
    EXPECT_EQ(Brindle({"split", dir.File("f"), "--raw", "--dest", dir.File("dest"), "--group", ".x"}).code, 0);
}

TEST(NumberedCommandsTest, VerifyNamesAGapAndADescriptionFile) {
    TempDir dir;
    WriteFile(dir.File("x.000"), "split by some tool");
    WriteFile(dir.File("x.001"), std::string(100, 'a'));
    WriteFile(dir.File("x.003"), std::string(10, 'c'));
    const Outcome verify = Brindle({"verify", dir.File("x.003")});
    EXPECT_EQ(verify.code, 1);
    EXPECT_EQ(verify.out.substr(0, verify.out.find("1 of")),
              "x.001: ok\nx.002: missing\nx.003: ok\nx.000: not a piece (smaller than x.001)\n");
    const Outcome join = Brindle({"join", dir.File("x.001")});
    EXPECT_EQ(join.code, 1);
    EXPECT_EQ(join.err, "File Missing.\nmissing x.002\n");
}

}  // namespace
}  // namespace brindle
