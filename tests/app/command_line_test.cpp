#include <gtest/gtest.h>

#include "shell/command_line.h"
#include "support/temp_dir.h"

#include <filesystem>

namespace brindle {
namespace {

using test::TempDir;

StartDecision Decide(std::vector<std::string> arguments, const std::string& cwd = "/home/u") {
    return DecideStartWindow(arguments, cwd);
}

TEST(DecideStartWindow, NoArgumentOrAnEmptyLastArgumentKeepsTheMainWindow) {
    for (const auto& arguments :
         std::vector<std::vector<std::string>>{{}, {""}, {"/work/movie.avi", ""}, {"-r", ""}}) {
        const StartDecision decision = Decide(arguments);
        EXPECT_EQ(decision.window, StartWindow::Main) << arguments.size();
        EXPECT_EQ(decision.path, "");
    }
}

// Any piece of a numbered group whose first piece is there opens the quick join of NAME;
// another file that merely ends in digits is still a file to split.
TEST(DecideStartWindow, NumberedPieceOpensQuickJoinOnlyBesideItsFirstPiece) {
    TempDir dir;
    for (const char* name : {"clip.mkv.001", "clip.mkv.002", "log.2024", "v.0002"}) {
        test::WriteFile(dir.File(name), "x");
    }
    StartDecision decision = Decide({dir.File("clip.mkv.002")});
    EXPECT_EQ(decision.window, StartWindow::QuickJoin);
    EXPECT_EQ(decision.joinFolder, dir.path());
    EXPECT_EQ(decision.joinGroupName, "clip.mkv");
    EXPECT_TRUE(decision.joinNumbered);
    for (const char* name : {"log.2024", "v.0002"}) {
        decision = Decide({dir.File(name)});
        EXPECT_EQ(decision.window, StartWindow::QuickSplit) << name;
        EXPECT_FALSE(decision.joinNumbered);
    }
}

TEST(DecideStartWindow, FirstPieceOpensQuickJoinWithFolderAndGroup) {
    const struct {
        const char* argument;
        const char* folder;
        const char* group;
    } cases[] = {
        {"/work/data(1).qmf", "/work", "data"},
        {"/work/Report(1).QMF", "/work", "Report"},              // extension compared lower-cased
        {"/work/a(b)(1).qmf", "/work", "a(b)"},                  // cut at the last "("
        {"/work/nobracket.qmf", "/work", ""},                    // no "(": empty group
        {"/my files/big data(1).qmf", "/my files", "big data"},  // one argument with spaces
        {"/data(1).qmf", "/", "data"},                           // the root is "/", not ""
    };
    for (const auto& c : cases) {
        const StartDecision decision = Decide({c.argument});
        EXPECT_EQ(decision.window, StartWindow::QuickJoin) << c.argument;
        EXPECT_EQ(decision.joinFolder, c.folder) << c.argument;
        EXPECT_EQ(decision.joinGroupName, c.group) << c.argument;
        EXPECT_EQ(decision.splitSourcePath, "") << c.argument;
    }
}

TEST(DecideStartWindow, AnyOtherFileOpensQuickSplit) {
    const struct {
        const char* argument;
        const char* destination;
        const char* group;
    } cases[] = {
        {"/work/movie.avi", "/work/", "movie"},
        {"/work/data(2).qmf002", "/work/", "data(2)"},  // a later piece is split, not joined
        {"/work/archive.tar.gz", "/work/", "archive.tar"},
        {"/work/README", "/work/", "README"},  // no "." keeps the whole name
        {"/v1.2/notes", "/v1.2/", "notes"},    // a "." in a folder is not an extension
        {"/work/qmf", "/work/", "qmf"},
        {"/my files/holiday video.mp4", "/my files/", "holiday video"},
        {"/film.avi", "/", "film"},
    };
    for (const auto& c : cases) {
        const StartDecision decision = Decide({c.argument});
        EXPECT_EQ(decision.window, StartWindow::QuickSplit) << c.argument;
        EXPECT_EQ(decision.splitSourcePath, c.argument);
        EXPECT_EQ(decision.splitDestFolder, c.destination) << c.argument;
        EXPECT_EQ(decision.splitGroupName, c.group) << c.argument;
        EXPECT_EQ(decision.joinFolder, "") << c.argument;
    }
}

TEST(DecideStartWindow, OnlyTheLastArgumentIsThePath) {
    const StartDecision decision = Decide({"/work/first.txt", "/work/second(1).qmf"});
    EXPECT_EQ(decision.window, StartWindow::QuickJoin);
    EXPECT_EQ(decision.joinGroupName, "second");
}

TEST(DecideStartWindow, RenameSwitchWinsOverAnyFile) {
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {"-r"}, {"-r", "/work/data(1).qmf"}, {"-r", "/work/movie.avi", "x"}}) {
        EXPECT_EQ(Decide(arguments).window, StartWindow::RenameList) << arguments.back();
    }
    // The switch is case-sensitive and must come first.
    EXPECT_EQ(Decide({"-R", "/work/movie.avi"}).window, StartWindow::QuickSplit);
    EXPECT_EQ(Decide({"/work/movie.avi", "-r"}).window, StartWindow::QuickSplit);
}

TEST(DecideStartWindow, SplitSwitchSplitsEvenAPiece) {
    const StartDecision decision = Decide({"-s", "/work/data(1).qmf"});
    EXPECT_EQ(decision.window, StartWindow::QuickSplit);
    EXPECT_EQ(decision.splitSourcePath, "/work/data(1).qmf");
    EXPECT_EQ(decision.splitGroupName, "data(1)");
    EXPECT_EQ(Decide({"-s"}).window, StartWindow::Main);
}

TEST(DecideStartWindow, RelativePathsBecomeAbsoluteAgainstTheCurrentFolder) {
    StartDecision decision = Decide({"movie.avi"}, "/home/u");
    EXPECT_EQ(decision.splitSourcePath, "/home/u/movie.avi");
    EXPECT_EQ(decision.splitDestFolder, "/home/u/");

    decision = Decide({"sub/data(1).qmf"}, "/home/u");
    EXPECT_EQ(decision.window, StartWindow::QuickJoin);
    EXPECT_EQ(decision.joinFolder, "/home/u/sub");
}

TEST(DecideStartWindow, ExistingPathsAreNormalised) {
    TempDir dir;
    std::filesystem::create_directory(dir.File("sub"));
    test::WriteFile(dir.File("sub/movie.avi"), "x");
    test::WriteFile(dir.File("data(1).qmf"), "x");

    StartDecision decision = Decide({"./sub/../sub/movie.avi"}, dir.path());
    EXPECT_EQ(decision.splitSourcePath, dir.File("sub/movie.avi"));
    EXPECT_EQ(decision.splitDestFolder, dir.File("sub/"));

    decision = Decide({dir.path() + "//sub/..//data(1).qmf"});
    EXPECT_EQ(decision.window, StartWindow::QuickJoin);
    EXPECT_EQ(decision.joinFolder, dir.path());
    EXPECT_EQ(decision.joinGroupName, "data");
}

// ".." after a symbolic link leads where the system says, as the command reads it too.
TEST(DecideStartWindow, DotDotAfterALinkLeadsWhereTheSystemSays) {
    TempDir dir;
    std::filesystem::create_directory(dir.File("top"));
    std::filesystem::create_directory(dir.File("deep"));
    std::filesystem::create_directory_symlink(dir.File("top"), dir.File("deep/lk"));
    test::WriteFile(dir.File("moved.avi"), "x");
    test::WriteFile(dir.File("deep/moved.avi"), "y");
    EXPECT_EQ(DecideStartWindow({dir.File("deep/lk/../moved.avi")}, "/").splitSourcePath,
              std::filesystem::canonical(dir.File("moved.avi")).string());
}

}  // namespace
}  // namespace brindle

namespace brindle {
namespace {

// Each row: the words given, what they ask for, and the arguments a window would get.
TEST(ParseProgramOptions, AnswersItsOwnOptionsAndKeepsEveryNameReachable) {
    struct Row {
        std::vector<std::string> given;
        ProgramRequest request;
        std::vector<std::string> arguments;
    };
    const Row rows[] = {
        {{}, ProgramRequest::kStart, {}},
        {{"--version"}, ProgramRequest::kVersion, {}},
        {{"-h"}, ProgramRequest::kHelp, {}},
        {{"/w/a.avi", "--help"}, ProgramRequest::kHelp, {}},
        {{"-x", "--help"}, ProgramRequest::kHelp, {}},
        {{"-r", "/w/a", "-", "b"}, ProgramRequest::kStart, {"-r", "/w/a", "-", "b"}},
        {{"-s", "/w/a(1).qmf"}, ProgramRequest::kStart, {"-s", "/w/a(1).qmf"}},
        {{"--", "--version"}, ProgramRequest::kStart, {"./--version"}},
        {{"--", "-r"}, ProgramRequest::kStart, {"./-r"}},
        {{"-r", "--", "-a", "b", "--"}, ProgramRequest::kStart, {"-r", "./-a", "b", "./--"}},
        {{"./-name"}, ProgramRequest::kStart, {"./-name"}},
        {{"/w/a", "-r"}, ProgramRequest::kUnknownOption, {}},
        {{"-s", "-s", "x"}, ProgramRequest::kUnknownOption, {}},
    };
    for (const Row& row : rows) {
        const ProgramOptions options = ParseProgramOptions(row.given);
        const std::string label = ::testing::PrintToString(row.given);
        EXPECT_EQ(options.request, row.request) << label;
        EXPECT_EQ(options.arguments, row.arguments) << label;
    }
    EXPECT_EQ(ParseProgramOptions({"a", "--fast", "-q"}).problem, "--fast");
}

// "./-r" after "--" is a file of that name, never the switch.
TEST(ParseProgramOptions, ANameAfterTheEndOfOptionsIsAFileToSplit) {
    const StartDecision decision =
        DecideStartWindow(ParseProgramOptions({"--", "-r"}).arguments, "/home/u");
    EXPECT_EQ(decision.window, StartWindow::QuickSplit);
    EXPECT_EQ(decision.splitSourcePath, "/home/u/-r");
}

}  // namespace
}  // namespace brindle
