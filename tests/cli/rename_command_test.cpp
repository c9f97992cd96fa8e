#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli.h"
#include "support/shell_run.h"
#include "support/temp_dir.h"
#include "support/tiny_jpeg.h"

namespace brindle::cli {
namespace {

using test::ReadFile;
using test::SortedNames;
using test::TempDir;
using test::WriteFile;

struct Result {
    int code;
    std::string out;
    std::string err;
};

Result Rename(std::vector<std::string> args) {
    std::ostringstream out;
    std::ostringstream err;
    Console console{out, err};
    const int code = RunRename(args, console);
    return {code, out.str(), err.str()};
}

class RenameCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Its own journal and lock: a rename of another test running beside it would
        // otherwise make this one wait and say so.
        ::setenv("XDG_STATE_HOME", state.path().c_str(), 1);
        for (const char* name : {"a.jpg", "b.jpg", "notes"}) {
            WriteFile(dir.File(name), name);
        }
    }

    std::vector<std::string> Files() const {
        return {dir.File("a.jpg"), dir.File("b.jpg"), dir.File("notes")};
    }

    std::vector<std::string> With(std::vector<std::string> args) const {
        for (const std::string& file : Files()) {
            args.push_back(file);
        }
        return args;
    }

    TempDir dir;
    TempDir state;
};

TEST_F(RenameCommandTest, DryRunShowsNamesAndRenamesNothing) {
    const struct {
        std::vector<std::string> options;
        std::vector<std::string> names;
    } cases[] = {
        {{}, {"a.jpg", "b.jpg", "notes"}},
        {{"--name", "trip", "--number", "(01)"}, {"trip(01).jpg", "trip(02).jpg", "trip(03)"}},
        {{"--ext", ""}, {"a", "b", "notes"}},
        {{"--ext", "png", "--sep3", "_"}, {"a.png_", "b.png_", "notes.png_"}},
        {{"--date=2026-01-31", "--date-mode", "increment", "--date-unit", "month",
          "--date-sep", "-", "--sep0", " "},
         {"a 31-01-2026.jpg", "b 28-02-2026.jpg", "notes 31-03-2026"}},
        {{"--date=2026-03-05", "--date-format", "DMYY", "--date-mode", "decrement",
          "--date-step", "2"},
         {"a5326.jpg", "b3326.jpg", "notes1326"}},
        {{"--number", "7", "--date=2026-03-05", "--order", "Number,Ext,,FileName,Date",
          "--sep0", "-"},
         {"7-.jpga05032026", "8-.jpgb05032026", "9-notes05032026"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.options;
        args.push_back("--dry-run");
        const Result result = Rename(With(args));
        ASSERT_EQ(result.code, kExitOk) << result.err;
        std::string expected;
        for (std::size_t i = 0; i < c.names.size(); ++i) {
            expected += Files()[i] + " -> " + dir.File(c.names[i]) + "\n";
        }
        EXPECT_EQ(result.out, expected);
    }
    EXPECT_EQ(SortedNames(dir.path()), (std::vector<std::string>{"a.jpg", "b.jpg", "notes"}));
}

TEST_F(RenameCommandTest, BareDateMeansTodayAndNeverTakesAFileNamedLikeADate) {
    WriteFile(dir.File("2026-03-05"), "a file, not a date");
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    const Result result = Rename({"--date", "2026-03-05", "--dry-run"});
    std::filesystem::current_path(previous);
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char today[16] = {};
    std::strftime(today, sizeof today, "%d%m%Y", &local);
    ASSERT_EQ(result.code, kExitOk) << result.err;
    EXPECT_EQ(result.out, "2026-03-05 -> 2026-03-05" + std::string(today) + "\n");
}

TEST_F(RenameCommandTest, RenamesAndFinishes) {
    const Result result = Rename(With({"--name", "x", "--number", "1"}));
    EXPECT_EQ(result.code, kExitOk) << result.err;
    EXPECT_EQ(result.out, "Process Finish.\n");
    EXPECT_EQ(SortedNames(dir.path()), (std::vector<std::string>{"x1.jpg", "x2.jpg", "x3"}));
    EXPECT_EQ(ReadFile(dir.File("x2.jpg")), "b.jpg");
}

TEST_F(RenameCommandTest, ConflictsAreNamedAndNothingIsRenamed) {
    WriteFile(dir.File("x2.jpg"), "precious");
    for (const bool dryRun : {false, true}) {
        std::vector<std::string> args = {"--name", "x", "--number", "1"};
        if (dryRun) {
            args.push_back("--dry-run");
        }
        const Result result = Rename(With(args));
        EXPECT_EQ(result.code, kExitFailed);
        EXPECT_NE(result.err.find(dir.File("b.jpg") + " -> " + dir.File("x2.jpg") +
                                  ": a file of that name is already there\n"),
                  std::string::npos)
            << result.err;
        EXPECT_EQ(ReadFile(dir.File("x2.jpg")), "precious");
        EXPECT_EQ(SortedNames(dir.path()), (std::vector<std::string>{"a.jpg", "b.jpg", "notes", "x2.jpg"}));
    }
    const Result same = Rename({"--name", "same", dir.File("a.jpg"), dir.File("b.jpg")});
    EXPECT_EQ(same.err.substr(0, same.err.find('\n')),
              dir.File("b.jpg") + " -> " + dir.File("same.jpg") + ": a.jpg of this run gets that name too");
}

// The swap and chain, and natural order for the counter.
TEST_F(RenameCommandTest, SwapsChainsAndNaturalOrder) {
    for (const char* name : {"p(1).txt", "p(2).txt", "f(1)", "f(2)", "f(3)", "IMG_10", "img_2"}) {
        WriteFile(dir.File(name), name);
    }
    ASSERT_EQ(Rename({"--name", "p", "--number", "(1)", dir.File("p(2).txt"), dir.File("p(1).txt")}).code, kExitOk);
    EXPECT_EQ(ReadFile(dir.File("p(1).txt")), "p(2).txt");
    EXPECT_EQ(ReadFile(dir.File("p(2).txt")), "p(1).txt");
    ASSERT_EQ(Rename({"--name", "f", "--number", "(2)", "--ext", "", dir.File("f(1)"), dir.File("f(2)"),
                      dir.File("f(3)")})
                  .code,
              kExitOk);
    EXPECT_EQ(ReadFile(dir.File("f(4)")), "f(3)");
    EXPECT_FALSE(test::Exists(dir.File("f(1)")));
    const Result sorted = Rename({"--sort", "natural", "--reverse", "--dry-run", "--name", "n", "--number", "1",
                                  dir.File("img_2"), dir.File("IMG_10")});
    EXPECT_EQ(sorted.out, dir.File("IMG_10") + " -> " + dir.File("n1") + "\n" + dir.File("img_2") + " -> " +
                              dir.File("n2") + "\n");
    EXPECT_EQ(Rename({"--sort", "sideways", dir.File("img_2")}).code, kExitUsage);
}
TEST_F(RenameCommandTest, GenerationFailureRenamesNothing) {
    const Result result = Rename(With({"--number", "32766"}));
    EXPECT_EQ(result.code, kExitFailed);
    EXPECT_EQ(result.err.substr(0, 19), "Fail to apply rule\n");
    EXPECT_EQ(SortedNames(dir.path()), (std::vector<std::string>{"a.jpg", "b.jpg", "notes"}));
}

// The list window passes over a file the rule leaves without a name; asked for by name, it
// is a failure, found before anything is renamed.
TEST_F(RenameCommandTest, AFileLeftWithoutANameFailsAndRenamesNothing) {
    WriteFile(dir.File(".profile"), "hidden");
    for (const bool dryRun : {false, true}) {
        std::vector<std::string> args = {"--ext", "", dir.File("a.jpg"), dir.File(".profile")};
        if (dryRun) {
            args.insert(args.begin(), "--dry-run");
        }
        const Result result = Rename(args);
        EXPECT_EQ(result.code, kExitFailed) << dryRun;
        EXPECT_EQ(result.err, "brindle rename: the rule gives no new name to " + dir.File(".profile") + "\n");
        EXPECT_EQ(result.out, "");
    }
    EXPECT_EQ(SortedNames(dir.path()), (std::vector<std::string>{".profile", "a.jpg", "b.jpg", "notes"}));
}

TEST_F(RenameCommandTest, BadArgumentsAreUsageErrors) {
    const std::vector<std::vector<std::string>> cases = {
        {"--bogus"},
        {"--date=2026-02-30"},
        {"--date=tomorrow"},
        {"--date", "--date-format", "DDMM"},
        {"--date", "--date-sep", "/"},
        {"--date", "--date-mode", "sideways"},
        {"--date", "--date-mode", "increment", "--date-step", "40000"},
        {"--date", "--date-mode", "increment", "--date-step", "two"},
        {"--date", "--date-step", "2"},  // no mode to move the date
        {"--date-format", "DMYY"},       // no date
        {"--order", "FileName"},
        {"--order", "FileName,Ext,Date"},
        {"--order", "FileName,Ext,FileName"},
        {"--order", "FileName,Ext,,,,"},
        {"--date", "--order", "Ext,FileName"},
        {"--dry-run=yes"},
        {"--sep4", "x"},
        {"--date-from", "ctime"},
        {"--date-from", "mtime", "--date-mode", "increment"},
        {"--undo"},  // no files with --undo
        {"--forget"},
    };
    for (const auto& args : cases) {
        const Result result = Rename(With(args));
        EXPECT_EQ(result.code, kExitUsage) << args[0] << " " << (args.size() > 1 ? args[1] : "");
        EXPECT_NE(result.err.find("brindle rename: "), std::string::npos) << args[0];
    }
    EXPECT_EQ(Rename({}).code, kExitUsage);
    EXPECT_EQ(Rename({dir.File("a.jpg"), "--name"}).code, kExitUsage);
    EXPECT_EQ(Rename({dir.File("missing")}).code, kExitUsage);
    EXPECT_EQ(Rename({dir.path()}).code, kExitUsage);
    EXPECT_EQ(Rename({dir.File("a.jpg"), dir.path() + "/./a.jpg"}).code, kExitUsage);
    EXPECT_EQ(SortedNames(dir.path()), (std::vector<std::string>{"a.jpg", "b.jpg", "notes"}));
}

// Enough files in one folder that it is listed once instead of asked name by name: a name
// that is not there, and a folder, are still refused before anything is renamed.
TEST_F(RenameCommandTest, ManyFilesOfOneFolderAreCheckedAsFew) {
    std::vector<std::string> many;
    for (int i = 0; i < 80; ++i) {
        many.push_back(dir.File("f" + std::to_string(i)));
        WriteFile(many.back(), "x");
    }
    ASSERT_EQ(::mkdir(dir.File("sub").c_str(), 0755), 0);
    for (const char* odd : {"gone", "sub"}) {
        std::vector<std::string> args = {"--name", "n", "--number", "(1)"};
        args.insert(args.end(), many.begin(), many.end());
        args.push_back(dir.File(odd));
        const Result result = Rename(args);
        EXPECT_EQ(result.code, kExitUsage) << odd;
        EXPECT_NE(result.err.find(odd == std::string("gone") ? "no such file" : "not a file"), std::string::npos)
            << result.err;
    }
    EXPECT_EQ(SortedNames(dir.path()).size(), 84U);  // a.jpg, b.jpg, notes, sub and the 80

    // Two such folders given in turn, and one file of them given twice in another spelling.
    std::vector<std::string> args = {"--name", "n", "--number", "(001)", "--dry-run"};
    for (int i = 0; i < 80; ++i) {
        WriteFile(dir.File("sub/g" + std::to_string(i)), "x");
        args.push_back(many[static_cast<std::size_t>(i)]);
        args.push_back(dir.File("sub/g" + std::to_string(i)));
    }
    Result result = Rename(args);
    EXPECT_EQ(result.code, kExitOk) << result.err;
    EXPECT_NE(result.out.find("sub/g79 -> " + dir.File("sub/n(160)")), std::string::npos) << result.out;
    args.push_back(dir.path() + "/sub/../sub/g3");
    result = Rename(args);
    EXPECT_EQ(result.code, kExitUsage);
    EXPECT_NE(result.err.find("given twice"), std::string::npos) << result.err;
}

TEST_F(RenameCommandTest, PreviewAndHelp) {
    Result result = Rename({"--preview"});
    EXPECT_EQ(result.code, kExitOk);
    EXPECT_EQ(result.out, "Original FileName.###\n");
    result = Rename({"--preview", "--date=2026-03-05", "--number", "(01)", "--ext", "",
                     "--sep1", "_"});
    EXPECT_EQ(result.out, "Original FileName05032026_(01).\n");
    result = Rename({"--help"});
    EXPECT_EQ(result.code, kExitOk);
    EXPECT_NE(result.out.find("--dry-run"), std::string::npos);
}

TEST_F(RenameCommandTest, ProgramTakesRelativePathsAndFilesAfterTheMarker) {
    WriteFile(dir.File("-dash.txt"), "d");
    const std::string command = "cd '" + dir.path() + "' && '" + test::BrindleProgram() +
                                "' rename --ext md -- -dash.txt notes 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        output += buffer;
    }
    EXPECT_EQ(::pclose(pipe), 0);
    EXPECT_EQ(output, "Process Finish.\n");
    EXPECT_EQ(SortedNames(dir.path()),
              (std::vector<std::string>{"-dash.md", "a.jpg", "b.jpg", "notes.md"}));
}

class RenameUndoTest : public RenameCommandTest {};

TEST_F(RenameUndoTest, UndoRevertsTheLastRunAndSaysWhenNothingIsLeft) {
    ASSERT_EQ(Rename(With({"--name", "x", "--number", "1"})).code, kExitOk);
    Result result = Rename({"--undo", "--dry-run"});
    EXPECT_EQ(result.code, kExitOk) << result.err;
    EXPECT_EQ(result.out, dir.File("x3") + " -> " + dir.File("notes") + "\n" + dir.File("x2.jpg") +
                              " -> " + dir.File("b.jpg") + "\n" + dir.File("x1.jpg") + " -> " +
                              dir.File("a.jpg") + "\n");
    EXPECT_EQ(SortedNames(dir.path()), (std::vector<std::string>{"x1.jpg", "x2.jpg", "x3"}));
    result = Rename({"--undo"});
    EXPECT_EQ(result.code, kExitOk) << result.err;
    EXPECT_EQ(result.out, "Process Finish.\n");
    EXPECT_EQ(SortedNames(dir.path()), (std::vector<std::string>{"a.jpg", "b.jpg", "notes"}));
    result = Rename({"--undo"});
    EXPECT_EQ(result.code, kExitFailed);
    EXPECT_EQ(result.err, "brindle rename: nothing left to undo\n");
}

TEST_F(RenameUndoTest, UndoNamesWhatItSkipsKeepsTheRunAndSaysHowToRetry) {
    ASSERT_EQ(Rename(With({"--name", "x", "--number", "1"})).code, kExitOk);
    WriteFile(dir.File("b.jpg"), "taken again");
    Result result = Rename({"--undo"});
    EXPECT_EQ(result.code, kExitFailed);
    EXPECT_EQ(result.err, "not undone: " + dir.File("x2.jpg") + " -> " + dir.File("b.jpg") +
                              " (the name b.jpg is taken)\nFail to rename some files.\n"
                              "brindle rename: 1 file(s) not renamed back, so the run is kept: run "
                              "'brindle rename --undo' again to retry it, or 'brindle rename --undo "
                              "--forget' to drop it\n");
    EXPECT_EQ(SortedNames(dir.path()), (std::vector<std::string>{"a.jpg", "b.jpg", "notes", "x2.jpg"}));
    EXPECT_EQ(ReadFile(dir.File("b.jpg")), "taken again");

    // Forgetting the kept run renames nothing.
    result = Rename({"--undo", "--forget"});
    EXPECT_EQ(result.code, kExitOk) << result.err;
    EXPECT_EQ(SortedNames(dir.path()), (std::vector<std::string>{"a.jpg", "b.jpg", "notes", "x2.jpg"}));
    EXPECT_EQ(Rename({"--undo"}).err, "brindle rename: nothing left to undo\n");
}

TEST_F(RenameUndoTest, DateFromFilesAddsTheDateSlot) {
    ::setenv("TZ", "UTC", 1);
    WriteFile(dir.File("photo.jpg"), test::TinyJpeg("2019:07:14 09:30:00"));
    const auto modified = std::filesystem::file_time_type::clock::from_sys(
        std::chrono::sys_seconds{std::chrono::sys_days{std::chrono::year{2021} / 3 / 5} +
                                 std::chrono::hours{12}});
    std::filesystem::last_write_time(dir.File("photo.jpg"), modified);
    std::filesystem::last_write_time(dir.File("notes"), modified);
    for (const char* source : {"mtime", "taken"}) {
        const Result result = Rename({"--date-from", source, "--date-sep", "-", "--dry-run",
                                      dir.File("photo.jpg"), dir.File("notes")});
        ASSERT_EQ(result.code, kExitOk) << result.err;
        const std::string photo = std::string(source) == "taken" ? "photo14-07-2019.jpg"
                                                                 : "photo05-03-2021.jpg";
        EXPECT_EQ(result.out, dir.File("photo.jpg") + " -> " + dir.File(photo) + "\n" +
                                  dir.File("notes") + " -> " + dir.File("notes05-03-2021") + "\n");
    }
}

}  // namespace
}  // namespace brindle::cli

namespace brindle::cli {
namespace {

TEST_F(RenameCommandTest, FindReplaceCaseAndPlaceholders) {
    Result result = Rename(With({"--dry-run", "--find", "^(.)", "--replace", "x$1", "--regex",
                                 "--case", "upper", "--ext-case", "lower"}));
    EXPECT_EQ(result.code, kExitOk) << result.err;
    EXPECT_NE(result.out.find(dir.File("a.jpg") + " -> " + dir.File("XA.jpg")), std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find(" -> " + dir.File("XNOTES")), std::string::npos) << result.out;

    // The first file's own name, with everything applied.
    std::filesystem::create_directory(dir.File("pop"));
    WriteFile(dir.File("pop/ab.jpg"), "");
    result = Rename({"--preview", "--dry-run", "--name", "{folder}-{name}", "--find", "B",
                     "--ignore-case", "--replace", "c", "--case", "title", dir.File("pop/ab.jpg")});
    EXPECT_EQ(result.out.substr(0, result.out.find('\n')), "Pop-Ac.jpg") << result.out;

    // A bad pattern is bad arguments, named with its reason; nothing is renamed.
    result = Rename(With({"--find", "a(", "--regex"}));
    EXPECT_EQ(result.code, kExitUsage);
    EXPECT_NE(result.err.find("offset 2"), std::string::npos) << result.err;
    EXPECT_EQ(Rename(With({"--case", "shout"})).code, kExitUsage);
    EXPECT_EQ(Rename(With({"--regex"})).code, kExitUsage);
    EXPECT_EQ(SortedNames(dir.path()), (std::vector<std::string>{"a.jpg", "b.jpg", "notes", "pop"}));
}

}  // namespace
}  // namespace brindle::cli
