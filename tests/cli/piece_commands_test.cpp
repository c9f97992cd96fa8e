#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "format/piece_format.h"
#include "split/split_engine.h"
#include "split_report.h"
#include "stop_signal.h"
#include "support/run_brindle.h"
#include "support/shell_run.h"
#include "support/sparse_group.h"
#include "support/temp_dir.h"

namespace brindle {
namespace {

using test::Brindle;
using test::Outcome;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

class PieceCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        bytes = test::PatternBytes(100'000);
        WriteFile(dir.File("film.avi"), bytes);
    }
    std::size_t FileCount() const { return test::SortedNames(dir.path()).size(); }

    TempDir dir;
    std::string bytes;
};

TEST_F(PieceCommandsTest, SplitThenJoinByEveryChoice) {
    const std::vector<std::vector<std::string>> choices = {
        {}, {"--pieces", "5"}, {"--pieces=2.5"}, {"--size", "10000"}, {"--size", "1.5", "--unit", "KB"},
    };
    for (const auto& choice : choices) {
        std::vector<std::string> args = {"split", dir.File("film.avi"), "--dest", dir.File("out"), "--group", "p"};
        args.insert(args.end(), choice.begin(), choice.end());
        std::filesystem::create_directory(dir.File("out"));
        const Outcome split = Brindle(args);
        ASSERT_EQ(split.code, 0) << split.err;
        EXPECT_EQ(split.out.substr(0, split.out.find('\n')), dir.File("out/p(1).qmf"));

        const Outcome join = Brindle({"join", dir.File("out/p(2).qmf002")});
        ASSERT_EQ(join.code, 0) << join.err;
        EXPECT_EQ(join.out, dir.File("out/film.avi") + "\n");
        EXPECT_TRUE(ReadFile(dir.File("out/film.avi")) == bytes);
        std::filesystem::remove_all(dir.File("out"));
    }
}

TEST_F(PieceCommandsTest, PresetChoosesThePieceSizeAndSaysIt) {
    WriteFile(dir.File("mail.bin"), test::PatternBytes(15'000'000));
    const Outcome own = Brindle({"split", dir.File("mail.bin"), "--preset", "mail-10"});
    ASSERT_EQ(own.code, 0) << own.err;
    EXPECT_NE(own.err.find("pieces of 7000000 bytes"), std::string::npos) << own.err;
    EXPECT_EQ(std::filesystem::file_size(dir.File("mail(1).qmf")), 7'000'000u);
    const Outcome raw = Brindle({"split", dir.File("mail.bin"), "--preset", "mail-10", "--raw"});
    ASSERT_EQ(raw.code, 0) << raw.err;
    EXPECT_EQ(std::filesystem::file_size(dir.File("mail.bin.001")), 7'000'000u);
    EXPECT_EQ(Brindle({"split", dir.File("mail.bin"), "--preset", "dvd"}).code, 2);
    EXPECT_EQ(Brindle({"split", dir.File("mail.bin"), "--preset", "cd", "--size", "5"}).code, 2);
}

TEST_F(PieceCommandsTest, SplitFromAPipeJoinsBackByteForByte) {
    std::filesystem::create_directories(dir.File("tree/sub"));
    WriteFile(dir.File("tree/sub/a.bin"), test::PatternBytes(300'000, 7));
    std::filesystem::create_directory(dir.File("D"));
    const std::string brindle = test::BrindleProgram();
    const test::Ran split = test::RunShell("cd " + dir.path() + " && tar cf - tree | " + brindle +
                                           " split - --size 100 --unit KB --group backup --dest D 2>&1");
    ASSERT_EQ(split.exit, 0) << split.output;
    ASSERT_TRUE(std::filesystem::exists(dir.File("D/backup(4).qmf004")));
    const Outcome join = Brindle({"join", dir.File("D/backup(1).qmf")});
    ASSERT_EQ(join.code, 0) << join.err;
    EXPECT_EQ(test::RunShell("cd " + dir.path() + " && tar cf - tree | cmp - D/backup && echo same").output, "same\n");
    // What needs the length is refused before anything is read or written.
    for (const char* choice : {"--pieces 3", "--floppy", "--size 1 --unit MB --force"}) {
        EXPECT_EQ(test::RunShell("echo x | " + brindle + " split - --group g --dest " + dir.File("D") + " " + choice +
                                 " >/dev/null 2>&1; echo $?").output, "2\n") << choice;
    }
    EXPECT_EQ(test::RunShell("echo x | " + brindle + " split - --size 1 --unit MB --dest " + dir.File("D") +
                             " 2>&1 >/dev/null").output, "brindle split: a split from standard input needs --group NAME\n");
    EXPECT_EQ(test::SortedNames(dir.File("D")).size(), 5u);
}

TEST_F(PieceCommandsTest, JoinIntoStandardOutputRebuildsStopsAndEndsQuietlyAsCat) {
    const std::string brindle = test::BrindleProgram();
    const std::string first = "\"" + dir.File("film(1).qmf") + "\"";
    ASSERT_EQ(Brindle({"split", dir.File("film.avi"), "--pieces", "4", "--recovery", "30"}).code, 0);
    std::filesystem::create_directory(dir.File("out"));
    std::filesystem::rename(dir.File("film(2).qmf002"), dir.File("lost"));
    const auto before = test::SortedNames(dir.path());
    const test::Ran rebuilt = test::RunShell(brindle + " join " + first + " --out - 2>/dev/null");
    EXPECT_EQ(rebuilt.exit, 0);
    EXPECT_TRUE(rebuilt.output == bytes);
    EXPECT_EQ(test::SortedNames(dir.path()), before);  // the rebuilt piece's temporary is gone
    // A file opened for appending takes no splice: the bytes go out plainly after what it held.
    WriteFile(dir.File("out/held"), "held");
    ASSERT_EQ(test::RunShell(brindle + " join " + first + " --out - 2>/dev/null >> " + dir.File("out/held")).exit, 0);
    EXPECT_TRUE(ReadFile(dir.File("out/held")) == "held" + bytes);

    // A reader that goes away ends the join as it ends cat: by SIGPIPE, saying nothing.
    EXPECT_EQ(test::RunShell("bash -c '" + brindle + " join " + first +
                             " --out - 2>" + dir.File("err") + " | head -c 10 >/dev/null; echo ${PIPESTATUS[0]}'").output,
              "141\n");
    EXPECT_EQ(ReadFile(dir.File("err")), "brindle join: 1 piece damaged or missing; the recovery files can rebuild it; rebuilding\n");

    // Numbered pieces: a damaged second piece lets out exactly the first.
    std::filesystem::create_directory(dir.File("n"));
    WriteFile(dir.File("n/film.avi.001"), bytes.substr(0, 60'000));
    WriteFile(dir.File("n/film.avi.002"), bytes.substr(60'000));
    ASSERT_EQ(test::RunShell("cd " + dir.File("n") + " && sha256sum film.avi.001 film.avi.002 > film.avi.sha256").exit, 0);
    test::FlipByte(dir.File("n/film.avi.002"), 5);
    const test::Ran numbered = test::RunShell(brindle + " join " + dir.File("n/film.avi.001") + " --out - 2>/dev/null; echo \" $?\"");
    EXPECT_TRUE(numbered.output == bytes.substr(0, 60'000) + " 1\n");
}

TEST_F(PieceCommandsTest, VerifyOfAFolderChecksEveryGroupOfEveryKind) {
    // A sound and a damaged group of each kind: own pieces, numbered pieces with a list, and
    // own pieces with recovery files (in a folder below, for --recursive).
    const std::string d = dir.File("all");
    std::filesystem::create_directories(d + "/deep");
    for (const char* name : {"good", "bad"}) {
        WriteFile(d + "/" + name + ".bin", bytes);
        ASSERT_EQ(Brindle({"split", d + "/" + name + ".bin", "--pieces", "3"}).code, 0);
        WriteFile(d + "/" + name + ".txt.001", bytes.substr(0, 60'000));
        WriteFile(d + "/" + name + ".txt.002", bytes.substr(60'000));
        ASSERT_EQ(test::RunShell("cd " + d + " && sha256sum " + name + ".txt.00? > " + name + ".txt.sha256").exit, 0);
        WriteFile(d + "/deep/" + name + "r.bin", bytes);
        ASSERT_EQ(Brindle({"split", d + "/deep/" + name + "r.bin", "--pieces", "3", "--recovery", "40"}).code, 0);
        std::filesystem::remove(d + "/" + name + ".bin");
        std::filesystem::remove(d + "/deep/" + name + "r.bin");
    }
    test::FlipByte(d + "/bad(2).qmf002", 300);
    test::FlipByte(d + "/bad.txt.002", 3);
    std::filesystem::remove(d + "/deep/badr(3).qmf003");

    const Outcome top = Brindle({"verify", d});
    EXPECT_EQ(top.code, 1);
    EXPECT_NE(top.out.find(d + "/good(1).qmf: ok\n"), std::string::npos) << top.out;
    EXPECT_NE(top.out.find(d + "/bad(1).qmf: faulty (bad(2).qmf002: damaged"), std::string::npos) << top.out;
    EXPECT_NE(top.out.find(d + "/bad.txt.001: faulty"), std::string::npos) << top.out;
    EXPECT_NE(top.out.find("4 groups checked, 2 would join correctly.\n"), std::string::npos) << top.out;

    const Outcome json = Brindle({"verify", d, "--recursive", "--json"});
    EXPECT_EQ(json.code, 1);
    EXPECT_EQ(std::count(json.out.begin(), json.out.end(), '\n'), 6) << json.out;
    EXPECT_NE(json.out.find("{\"folder\":\"" + d + "/deep\",\"group\":\"badr\",\"kind\":\"pieces\",\"first_piece\":\"" + d +
                            "/deep/badr(1).qmf\",\"result\":\"rebuildable\",\"pieces\":3,\"faulty\":1,\"bytes\":100000,"
                            "\"recovery_files\":true,"),
              std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"group\":\"goodr\",\"kind\":\"pieces\",\"first_piece\":\"" + d +
                            "/deep/goodr(1).qmf\",\"result\":\"ok\""),
              std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"group\":\"good.txt\",\"kind\":\"numbered\",\"first_piece\":\"" + d +
                            "/good.txt.001\",\"result\":\"ok\""),
              std::string::npos) << json.out;

    // Only sound groups: exit 0.
    for (const char* name : {"bad(1).qmf", "bad(2).qmf002", "bad(3).qmf003", "bad.txt.001", "bad.txt.002", "bad.txt.sha256"}) {
        std::filesystem::remove(d + "/" + name);
    }
    EXPECT_EQ(Brindle({"verify", d}).code, 0);
    const Outcome piece = Brindle({"verify", d + "/good(1).qmf", "--json"});
    EXPECT_EQ(piece.code, 0);
    EXPECT_EQ(piece.out.substr(0, piece.out.find('\n')),
              "{\"piece\":\"" + d + "/good(1).qmf\",\"verdict\":\"ok\",\"fault\":\"\",\"reason\":\"\"}");
    const Outcome groups = Brindle({"groups", d, "--json"});
    EXPECT_NE(groups.out.find("{\"group\":\"good\",\"kind\":\"pieces\",\"first_piece\":\"" + d +
                              "/good(1).qmf\",\"name\":\"good.bin\",\"bytes\":100000,\"pieces\":3,"),
              std::string::npos) << groups.out;
}

TEST_F(PieceCommandsTest, SplitDefaultsToTwoPiecesBesideTheFileNamedAfterIt) {
    const Outcome split = Brindle({"split", dir.File("film.avi")});
    ASSERT_EQ(split.code, 0) << split.err;
    EXPECT_EQ(split.out, dir.File("film(1).qmf") + "\n" + dir.File("film(2).qmf002") + "\n");
    EXPECT_EQ(std::filesystem::file_size(dir.File("film(1).qmf")), 50'256u);

    const Outcome join = Brindle({"join", dir.File("film(1).qmf"), "--out", dir.File("copy.avi")});
    ASSERT_EQ(join.code, 0) << join.err;
    EXPECT_TRUE(ReadFile(dir.File("copy.avi")) == bytes);
}

TEST_F(PieceCommandsTest, RejectionsAndBadArgumentsExitTwoWritingNothing) {
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const Case cases[] = {
        {{"split", "FILM", "--pieces", "1000"}, "You must enter a number between 2 and 999."},
        {{"split", "FILM", "--size", "2", "--unit", "GB"},
         "The size you entered is greater than your original file size."},
        {{"split", "FILM", "--size", "0"}, "The size you entered is too small."},
        // A size is read whole: the windows' reading of the leading number would cut these.
        {{"split", "FILM", "--size", "1,5", "--unit", "KB"}, "cannot read the size '1,5'"},
        {{"split", "FILM", "--size", "5MB", "--unit", "KB"}, "cannot read the size '5MB'"},
        {{"split", "FILM", "--size=1e3"}, "cannot read the size '1e3'"},
        {{"split", "FILM", "--size", "10abc"}, "cannot read the size '10abc'"},
        {{"split", "FILM", "--size", ""}, "cannot read the size ''"},
        {{"split", "FILM", "--floppy"}, "The File size is smaller than the size of floppy."},
        {{"split", "FILM", "--pieces", "2", "--floppy"}, "choose one of"},
        {{"split", "FILM", "--unit", "MB"}, "--unit goes with --size"},
        {{"split", "FILM", "--size", "3", "--unit", "TB"}, "the unit is KB, MB or GB"},
        {{"split", "FILM", "--dest", "NOWHERE"}, "no such folder"},
        {{"split", "MISSING"}, "no such file"},
        {{"split"}, "which file?"},
        {{"split", "FILM", "--bogus"}, "unknown option --bogus"},
        {{"split", "FILM", "--pieces"}, "--pieces needs a value"},
        {{"join"}, "which group?"},
        {{"join", "FILM", "--out"}, "--out needs a file name"},
        {{"groups"}, "give one folder"},
        {{"info", "a", "b"}, "give one piece file"},
        {{"frobnicate"}, "unknown command"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        for (auto& arg : args) {
            if (arg == "FILM") arg = dir.File("film.avi");
            if (arg == "MISSING") arg = dir.File("missing.avi");
            if (arg == "NOWHERE") arg = dir.File("nowhere");
        }
        const Outcome outcome = Brindle(args);
        EXPECT_EQ(outcome.code, 2) << c.message;
        EXPECT_NE(outcome.err.find(c.message), std::string::npos) << outcome.err;
        EXPECT_EQ(FileCount(), 1u) << c.message;
    }
}

TEST_F(PieceCommandsTest, JoinReportsMissingAndForeignPiecesWithoutOutput) {
    ASSERT_EQ(Brindle({"split", dir.File("film.avi"), "--pieces", "3"}).code, 0);
    std::filesystem::rename(dir.File("film.avi"), dir.File("original"));
    std::filesystem::rename(dir.File("film(3).qmf003"), dir.File("aside"));
    Outcome join = Brindle({"join", dir.File("film(1).qmf")});
    EXPECT_EQ(join.code, 1);
    EXPECT_EQ(join.err.substr(0, join.err.find('\n')), "File Missing.");
    EXPECT_FALSE(test::Exists(dir.File("film.avi")));

    // The third piece of another split of the same file: same size, other GroupId.
    WriteFile(dir.File("other.avi"), bytes);
    ASSERT_EQ(Brindle({"split", dir.File("other.avi"), "--pieces", "3"}).code, 0);
    std::filesystem::copy_file(dir.File("other(3).qmf003"), dir.File("film(3).qmf003"));
    join = Brindle({"join", dir.File("film(1).qmf")});
    EXPECT_EQ(join.code, 1);
    EXPECT_EQ(join.err.substr(0, join.err.find('\n')), "Fail to merge the files.");
    EXPECT_FALSE(test::Exists(dir.File("film.avi")));
}

TEST_F(PieceCommandsTest, GroupsAndInfoDescribeThePieces) {
    EXPECT_EQ(Brindle({"groups", dir.path()}).out, "No File Group Available\n");
    ASSERT_EQ(Brindle({"split", dir.File("film.avi"), "--pieces", "4"}).code, 0);
    WriteFile(dir.File("lost(2).qmf002"), "x");
    const Outcome groups = Brindle({"groups", dir.path()});
    ASSERT_EQ(groups.code, 0);
    EXPECT_EQ(groups.out.substr(0, groups.out.find('\t', 5)), "film\tfilm.avi");
    EXPECT_NE(groups.out.find("\t97.66 KB\t"), std::string::npos) << groups.out;
    EXPECT_NE(groups.out.find("lost\t(first piece missing)\n"), std::string::npos) << groups.out;

    const Outcome info = Brindle({"info", dir.File("film(4).qmf004")});
    ASSERT_EQ(info.code, 0);
    EXPECT_NE(info.out.find("PieceIndex:   4\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("PieceCount:   4\n"), std::string::npos);
    EXPECT_NE(info.out.find("SourceLength: 100000 (97.66 KB)\n"), std::string::npos);
    EXPECT_NE(info.out.find("SourceName:   film.avi\n"), std::string::npos);
    EXPECT_EQ(Brindle({"info", dir.File("film.avi")}).code, 0);  // any file of 256+ bytes reads
    EXPECT_EQ(Brindle({"info", dir.File("lost(2).qmf002")}).code, 1);
}

TEST_F(PieceCommandsTest, RefusesWhatIsNotARegularFileWithoutWaiting) {
    std::filesystem::create_directory(dir.File("folder"));
    ASSERT_EQ(::mkfifo(dir.File("film(2).qmf002").c_str(), 0600), 0);
    for (const std::string& source : {dir.File("folder"), std::string("/dev/null")}) {
        const Outcome split = Brindle({"split", source, "--dest", dir.path()});
        EXPECT_EQ(split.code, 2) << source;
        EXPECT_EQ(split.err, "brindle split: not a regular file: " + source + "\n");
    }
    // A pipe under a piece's name: a split replaces it, a join refuses it, and neither
    // waits for a writer that never comes. A separate process, so a hang fails by timeout.
    const auto run = [&](const std::string& args) {
        const std::string command = "timeout 20 '" + test::BrindleProgram() + "' " + args + " >/dev/null 2>&1";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(run("join '" + dir.File("film(1).qmf") + "'"), 1);  // the first piece is missing
    ::mkfifo(dir.File("film(1).qmf").c_str(), 0600);
    EXPECT_EQ(run("info '" + dir.File("film(1).qmf") + "'"), 1);
    EXPECT_EQ(run("join '" + dir.File("film(1).qmf") + "'"), 1);
    EXPECT_EQ(run("split '" + dir.File("film.avi") + "'"), 2);  // not a piece: asked for
    EXPECT_EQ(run("split '" + dir.File("film.avi") + "' --force"), 0);
    EXPECT_TRUE(std::filesystem::is_regular_file(dir.File("film(2).qmf002")));
    ::unlink(dir.File("film(2).qmf002").c_str());
    ::mkfifo(dir.File("film(2).qmf002").c_str(), 0600);
    const Outcome join = Brindle({"join", dir.File("film(1).qmf"), "--out", dir.File("copy")});
    EXPECT_EQ(join.code, 1);
    EXPECT_NE(join.err.find("not a regular file: " + dir.File("film(2).qmf002")), std::string::npos) << join.err;
    const Outcome verify = Brindle({"verify", dir.File("film(1).qmf")});
    EXPECT_EQ(verify.code, 1);
    EXPECT_NE(verify.out.find("film(2).qmf002: not a regular file\n"), std::string::npos) << verify.out;
}

// ".." after a symbolic link leads where the system says, not where the text suggests.
TEST_F(PieceCommandsTest, PathsThroughALinkAndDotDotReachWhatTheSystemReaches) {
    std::filesystem::create_directory(dir.File("top"));
    std::filesystem::create_directory(dir.File("deep"));
    std::filesystem::create_directory_symlink(dir.File("top"), dir.File("deep/lk"));
    WriteFile(dir.File("deep/film.avi"), "the other film");
    const std::string via = dir.File("deep/lk/../");

    const Outcome split = Brindle({"split", via + "film.avi", "--pieces", "2"});
    ASSERT_EQ(split.code, 0) << split.err;
    EXPECT_TRUE(test::Exists(dir.File("film(2).qmf002")));
    EXPECT_EQ(test::SortedNames(dir.File("deep")), (std::vector<std::string>{"film.avi", "lk"}));
    std::filesystem::rename(dir.File("film.avi"), dir.File("original"));
    const Outcome join = Brindle({"join", via + "film(1).qmf"});
    ASSERT_EQ(join.code, 0) << join.err;
    EXPECT_TRUE(ReadFile(dir.File("film.avi")) == bytes);

    const Outcome rename = Brindle({"rename", "--name", "moved", via + "film.avi"});
    ASSERT_EQ(rename.code, 0) << rename.err;
    EXPECT_TRUE(ReadFile(dir.File("moved.avi")) == bytes);
    EXPECT_EQ(ReadFile(dir.File("deep/film.avi")), "the other film");
    // One file given by two spellings is still one file.
    EXPECT_EQ(Brindle({"rename", "--name", "x", dir.File("original"), via + "original"}).code, 2);
}

TEST_F(PieceCommandsTest, DefaultOutputNeverReplacesAFileUnlessForced) {
    ASSERT_EQ(Brindle({"split", dir.File("film.avi"), "--pieces", "3"}).code, 0);
    WriteFile(dir.File("film.avi"), "the user's own film.avi");
    const Outcome refused = Brindle({"join", dir.File("film(1).qmf")});
    EXPECT_EQ(refused.code, 2);
    EXPECT_NE(refused.err.find("--force"), std::string::npos) << refused.err;
    EXPECT_EQ(ReadFile(dir.File("film.avi")), "the user's own film.avi");
    EXPECT_EQ(FileCount(), 4u);  // no temporary left either

    const Outcome forced = Brindle({"join", dir.File("film(1).qmf"), "--force"});
    EXPECT_EQ(forced.code, 0) << forced.err;
    EXPECT_TRUE(ReadFile(dir.File("film.avi")) == bytes);
}

std::vector<std::string> Temporaries(const std::string& folder) {
    std::vector<std::string> found;
    for (const std::string& name : test::SortedNames(folder)) {
        if (name.rfind(".brindle-", 0) == 0) {
            found.push_back(name);
        }
    }
    return found;
}

TEST_F(PieceCommandsTest, ChecksumsVerifyWithSha256sumAndStopADamagedPieceAtJoinAndVerify) {
    std::filesystem::create_directory(dir.File("out"));
    const Outcome split = Brindle({"split", dir.File("film.avi"), "--pieces", "3", "--dest", dir.File("out"),
                                   "--checksums"});
    ASSERT_EQ(split.code, 0) << split.err;
    EXPECT_NE(split.out.find(dir.File("out/film.sha256")), std::string::npos);
    EXPECT_EQ(std::system(("cd '" + dir.File("out") + "' && sha256sum --quiet -c film.sha256").c_str()), 0);

    Outcome verify = Brindle({"verify", dir.File("out/film(3).qmf003")});
    EXPECT_EQ(verify.code, 0) << verify.out << verify.err;
    EXPECT_NE(verify.out.find("film(2).qmf002: ok"), std::string::npos);
    EXPECT_NE(verify.out.find("checksums match"), std::string::npos);

    // One flipped byte in piece 2: lengths and GroupId still agree, only the checksum knows.
    std::string second = ReadFile(dir.File("out/film(2).qmf002"));
    second[5000] = static_cast<char>(second[5000] ^ 0x20);
    WriteFile(dir.File("out/film(2).qmf002"), second);
    const Outcome join = Brindle({"join", dir.File("out/film(1).qmf")});
    EXPECT_EQ(join.code, 1);
    EXPECT_NE(join.err.find("film(2).qmf002"), std::string::npos) << join.err;
    EXPECT_FALSE(test::Exists(dir.File("out/film.avi")));
    verify = Brindle({"verify", dir.File("out/film(1).qmf")});
    EXPECT_EQ(verify.code, 1);
    EXPECT_NE(verify.out.find("film(2).qmf002: damaged"), std::string::npos) << verify.out;

    // Without the checksum file: a missing piece and one from another split.
    std::filesystem::remove(dir.File("out/film.sha256"));
    std::filesystem::remove(dir.File("out/film(3).qmf003"));
    ASSERT_EQ(Brindle({"split", dir.File("film.avi"), "--pieces", "3", "--group", "other", "--dest",
                       dir.File("out")}).code, 0);
    std::filesystem::rename(dir.File("out/other(2).qmf002"), dir.File("out/film(2).qmf002"));
    verify = Brindle({"verify", dir.File("out/film(1).qmf")});
    EXPECT_EQ(verify.code, 1);
    EXPECT_NE(verify.out.find("film(1).qmf: ok\nfilm(2).qmf002: from another split\nfilm(3).qmf003: missing\n"),
              std::string::npos)
        << verify.out;
}

// verify names a piece whose data does not match its header's hash, and says once of pieces
// split with --no-data-check that they carry none.
TEST_F(PieceCommandsTest, VerifyNamesADamagedPieceAndSaysWhenPiecesCarryNoDataCheck) {
    ASSERT_EQ(Brindle({"split", dir.File("film.avi"), "--pieces", "3"}).code, 0);
    std::string second = ReadFile(dir.File("film(2).qmf002"));
    second[5000] = static_cast<char>(second[5000] ^ 0x20);
    WriteFile(dir.File("film(2).qmf002"), second);
    Outcome verify = Brindle({"verify", dir.File("film(1).qmf")});
    EXPECT_EQ(verify.code, 1);
    EXPECT_NE(verify.out.find("film(2).qmf002: damaged (its data does not match its header's hash)\n"),
              std::string::npos) << verify.out;

    ASSERT_EQ(Brindle({"split", dir.File("film.avi"), "--pieces", "3", "--no-data-check"}).code, 0);
    verify = Brindle({"verify", dir.File("film(1).qmf")});
    EXPECT_EQ(verify.code, 0);
    EXPECT_EQ(verify.out.substr(0, verify.out.find("film(1)")), "no data check in these pieces\n");
    EXPECT_EQ(Brindle({"split", dir.File("film.avi"), "--raw", "--no-data-check"}).code, 2);
}

// Another file's group is never replaced unasked: the split names what is there.
TEST_F(PieceCommandsTest, SplitRefusesToReplaceWhatItWasNotAskedTo) {
    WriteFile(dir.File("report.txt"), test::PatternBytes(50'000));
    ASSERT_EQ(Brindle({"split", dir.File("report.txt"), "--pieces", "3"}).code, 0);
    const std::string firstPiece = ReadFile(dir.File("report(1).qmf"));
    WriteFile(dir.File("report.pdf"), test::PatternBytes(80'000, 2));
    Outcome split = Brindle({"split", dir.File("report.pdf")});
    EXPECT_EQ(split.code, 2);
    EXPECT_EQ(split.err, "brindle split: " + dir.File("report(1).qmf") +
                             " is already there (piece 1 of 3 of report.txt); give --force to replace it\n");
    EXPECT_EQ(ReadFile(dir.File("report(1).qmf")), firstPiece);
    split = Brindle({"split", dir.File("report.pdf"), "--force"});
    ASSERT_EQ(split.code, 0) << split.err;
    EXPECT_FALSE(test::Exists(dir.File("report(3).qmf003")));  // no orphan of the old group
    EXPECT_EQ(Brindle({"join", dir.File("report(1).qmf"), "--out", dir.File("pdf")}).code, 0);
    EXPECT_TRUE(ReadFile(dir.File("pdf")) == ReadFile(dir.File("report.pdf")));

    EXPECT_EQ(Brindle({"split", dir.File("report.pdf"), "--checksums"}).code, 0);  // its own pieces
}

// Our pieces give the stored name back as the bytes it was, not as its Windows-1252 reading.
TEST_F(PieceCommandsTest, ANameThatIsNotUtf8JoinsBackUnderItsOwnBytes) {
    const std::string latin1 = dir.File("caf\xE9.bin");
    WriteFile(latin1, bytes);
    ASSERT_EQ(Brindle({"split", latin1, "--pieces", "2"}).code, 0);
    std::filesystem::remove(latin1);
    const Outcome join = Brindle({"join", dir.File("caf\xE9(1).qmf")});
    ASSERT_EQ(join.code, 0) << join.err;
    EXPECT_EQ(join.out, latin1 + "\n");
    EXPECT_EQ(ReadFile(latin1), bytes);
    EXPECT_FALSE(test::Exists(dir.File("caf\xC3\xA9.bin")));

    // Without the data hash the pieces read as an earlier writer's: the name as Windows-1252.
    ASSERT_EQ(Brindle({"split", latin1, "--pieces", "2", "--no-data-check"}).code, 0);
    std::filesystem::remove(latin1);
    const Outcome earlier = Brindle({"join", dir.File("caf\xE9(1).qmf")});
    ASSERT_EQ(earlier.code, 0) << earlier.err;
    EXPECT_EQ(earlier.out, dir.File("caf\xC3\xA9.bin") + "\n");
    EXPECT_TRUE(ReadFile(dir.File("caf\xC3\xA9.bin")) == bytes);
    EXPECT_FALSE(test::Exists(latin1));
}

TEST_F(PieceCommandsTest, ALongNameIsStoredShortenedWithItsExtensionAndVerifyNamesAMisplacedPiece) {
    const std::string name = std::string(150, 'a') + ".tar.gz";
    WriteFile(dir.File(name), bytes);
    const Outcome split = Brindle({"split", dir.File(name), "--pieces", "3", "--group", "g"});
    ASSERT_EQ(split.code, 0) << split.err;
    const std::string stored = std::string(93, 'a') + ".tar.gz";
    EXPECT_EQ(split.err, "brindle split: the name stored in the pieces was shortened to " + stored + "\n");
    std::filesystem::remove(dir.File(name));
    EXPECT_EQ(Brindle({"join", dir.File("g(1).qmf")}).code, 0);
    EXPECT_TRUE(ReadFile(dir.File(stored)) == bytes);

    std::filesystem::rename(dir.File("g(2).qmf002"), dir.File("aside"));
    std::filesystem::rename(dir.File("g(3).qmf003"), dir.File("g(2).qmf002"));
    std::filesystem::rename(dir.File("aside"), dir.File("g(3).qmf003"));
    const Outcome verify = Brindle({"verify", dir.File("g(1).qmf")});
    EXPECT_EQ(verify.code, 1);
    EXPECT_NE(verify.out.find("g(2).qmf002: damaged (holds piece 3)\ng(3).qmf003: damaged (holds piece 2)\n"),
              std::string::npos)
        << verify.out;
}

TEST(BrindleProgram, AJoinKilledMidCopyKeepsEveryFileAndTheNextJoinWorks) {
    TempDir dir;
    constexpr std::int32_t kData = 160 << 20;
    ASSERT_TRUE(test::WriteSparseGroup(dir.path(), kData));
    WriteFile(dir.File("big.bin"), "the file the join would replace");

    const std::string program = test::BrindleProgram();
    const std::string piece = dir.File("big(1).qmf");
    const std::string out = dir.File("big.bin");
    const char* argv[] = {program.c_str(), "join", piece.c_str(), "--out", out.c_str(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(::posix_spawn(&pid, program.c_str(), nullptr, nullptr, const_cast<char* const*>(argv), environ), 0);
    // Kill it as soon as its temporary holds some bytes: the copy is then under way.
    bool killed = false;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!killed && std::chrono::steady_clock::now() < deadline && ::waitpid(pid, &status, WNOHANG) == 0) {
        for (const std::string& name : Temporaries(dir.path())) {
            std::error_code error;
            if (std::filesystem::file_size(dir.File(name), error) > 0 && !error) {
                killed = ::kill(pid, SIGKILL) == 0;
            }
        }
    }
    if (killed) {
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    }
    ASSERT_TRUE(WIFSIGNALED(status)) << "the join ended before it could be killed mid-copy";

    EXPECT_EQ(ReadFile(out), "the file the join would replace");
    EXPECT_EQ(std::filesystem::file_size(dir.File("big(2).qmf002")), kHeaderSize + kData);
    const std::vector<std::string> left = Temporaries(dir.path());
    ASSERT_EQ(left.size(), 1u);

    const Outcome again = Brindle({"join", piece, "--out", out});
    EXPECT_EQ(again.code, 0) << again.err;
    EXPECT_EQ(std::filesystem::file_size(out), 2u * kData);
    EXPECT_EQ(test::SortedNames(dir.path()),
              (std::vector<std::string>{left[0], "big(1).qmf", "big(2).qmf002", "big.bin"}));
}

// Runs the real command and sends it `signal` once a hidden temporary beside its output holds
// bytes, so the copy is under way; returns the wait status, and what it said in `*err`.
int SignalMidCopy(const TempDir& dir, const std::vector<std::string>& args, int signal, std::string* err = nullptr) {
    const std::string program = test::BrindleProgram();
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    const TempDir said;
    const std::string errPath = said.File("err");
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return -1;
    }
    int status = 0;
    bool sent = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!sent && std::chrono::steady_clock::now() < deadline && ::waitpid(pid, &status, WNOHANG) == 0) {
        for (const std::string& name : Temporaries(dir.path())) {
            std::error_code error;
            if (std::filesystem::file_size(dir.File(name), error) > 4096 && !error) {
                sent = ::kill(pid, signal) == 0;
                break;
            }
        }
    }
    if (sent) {
        ::waitpid(pid, &status, 0);
    }
    if (err != nullptr) {
        *err = ReadFile(errPath);
    }
    return sent ? status : -1;
}

// Ctrl-C and SIGTERM take back what the run wrote: no temporary, no piece, no output, and
// every file that was there stays as it was.
TEST(BrindleProgram, InterruptedSplitAndJoinLeaveNothingAndExitWith128PlusTheSignal) {
    TempDir dir;
    constexpr std::int32_t kData = 160 << 20;
    ASSERT_TRUE(test::WriteSparseGroup(dir.path(), kData));
    WriteFile(dir.File("big.bin"), "the file the join would replace");
    const int join = SignalMidCopy(dir, {"join", dir.File("big(1).qmf"), "--out", dir.File("big.bin")}, SIGINT);
    ASSERT_TRUE(WIFEXITED(join)) << "the join ended before the signal, or died of it";
    EXPECT_EQ(WEXITSTATUS(join), 130);
    EXPECT_EQ(ReadFile(dir.File("big.bin")), "the file the join would replace");
    EXPECT_EQ(test::SortedNames(dir.path()), (std::vector<std::string>{"big(1).qmf", "big(2).qmf002", "big.bin"}));

    std::filesystem::remove(dir.File("big.bin"));
    std::filesystem::rename(dir.File("big(1).qmf"), dir.File("source.bin"));
    std::filesystem::remove(dir.File("big(2).qmf002"));
    std::filesystem::resize_file(dir.File("source.bin"), 2u * kData);
    const int split = SignalMidCopy(dir, {"split", dir.File("source.bin"), "--pieces", "3", "--checksums"}, SIGTERM);
    ASSERT_TRUE(WIFEXITED(split)) << "the split ended before the signal, or died of it";
    EXPECT_EQ(WEXITSTATUS(split), 143);
    EXPECT_EQ(test::SortedNames(dir.path()), std::vector<std::string>{"source.bin"});
}

// A stopped repair takes back the temporaries of its rebuild: the group is left as it was.
TEST(BrindleProgram, AStoppedRepairLeavesNoTemporaryAndExitsWith128PlusTheSignal) {
    TempDir dir;
    WriteFile(dir.File("big.bin"), test::PatternBytes(std::size_t{48} << 20, 5));
    const Outcome split = Brindle({"split", dir.File("big.bin"), "--pieces", "3", "--recovery", "40"});
    ASSERT_EQ(split.code, 0) << split.err;
    std::filesystem::remove(dir.File("big.bin"));
    std::filesystem::remove(dir.File("big(2).qmf002"));
    const std::vector<std::string> before = test::SortedNames(dir.path());
    for (const int signal : {SIGHUP, SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        std::string err;
        const int repair = SignalMidCopy(dir, {"repair", dir.File("big(1).qmf")}, signal, &err);
        ASSERT_TRUE(WIFEXITED(repair)) << "the repair ended before the signal, or died of it";
        EXPECT_EQ(WEXITSTATUS(repair), 128 + signal);
        EXPECT_NE(err.find("brindle repair: stopped; nothing was changed\n"), std::string::npos) << err;
        EXPECT_EQ(test::SortedNames(dir.path()), before);
    }
}

TEST(BrindleProgram, RunsFromTheShellWithRelativePathsAndHelp) {
    TempDir dir;
    WriteFile(dir.File("a b.bin"), test::PatternBytes(5000));
    const std::string program = test::BrindleProgram();
    const auto run = [&](const std::string& args) {
        const std::string command = "cd '" + dir.path() + "' && '" + program + "' " + args + " >/dev/null 2>&1";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(run("split 'a b.bin' --pieces 3"), 0);
    EXPECT_TRUE(test::Exists(dir.File("a b(3).qmf003")));
    EXPECT_EQ(run("join 'a b(1).qmf' --out joined"), 0);
    EXPECT_EQ(ReadFile(dir.File("joined")), ReadFile(dir.File("a b.bin")));
    EXPECT_EQ(run("--help"), 0);
    EXPECT_EQ(run("split --help"), 0);
    EXPECT_EQ(run(""), 2);
}

}  // namespace
}  // namespace brindle

namespace brindle {
namespace {

// Both splits, own and raw, hand their outcome to one report: one exit per kind of failure.
TEST(SplitReport, EachKindOfOutcomeHasOneExitAndSaysWhy) {
    struct Row {
        Status status;
        int exit;
        std::string said;
    };
    const Row rows[] = {
        {Status::InvalidArgument("x(2).qmf002 is already there: a file that is not a piece"), cli::kExitUsage,
         "brindle split: x(2).qmf002 is already there: a file that is not a piece\n"},
        {Status::IoError("cannot write x(2).qmf002: No space left on device"), cli::kExitFailed,
         "Fail to split the file\ncannot write x(2).qmf002: No space left on device\n"},
        {Status::Cancelled("the earlier pieces it replaced are gone"), cli::StoppedExitCode(),
         "brindle split: stopped; no piece of this split is left\nthe earlier pieces it replaced are gone\n"},
    };
    for (const Row& row : rows) {
        SplitResult result;
        result.status = row.status;
        std::ostringstream out;
        std::ostringstream err;
        cli::Console console{out, err};
        EXPECT_EQ(cli::ReportSplit(result, console), row.exit) << row.said;
        EXPECT_EQ(err.str(), row.said);
        EXPECT_EQ(out.str(), "");
    }
}

}  // namespace
}  // namespace brindle
