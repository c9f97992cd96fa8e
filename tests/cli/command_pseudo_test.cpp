// The real command under the build's pseudo-translation, where every catalogue text reads
// "⟦…⟧": any other text with a letter in it skipped the catalogue, except the lines meant for
// scripts, which stay English in every language.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "support/shell_run.h"
#include "support/temp_dir.h"

namespace {

// stdout and stderr together; rename's journal goes to `state`.
std::string RunPseudo(const std::string& args, const std::string& state) {
    return brindle::test::RunShell("env LC_ALL=C.UTF-8 LANGUAGE=" BRINDLE_PSEUDO_LANGUAGE
                                   " BRINDLE_LOCALE_DIR='" BRINDLE_LOCALE_BUILD_DIR
                                   "' XDG_STATE_HOME='" + state + "' '" + brindle::test::BrindleProgram() + "' " +
                                   args + " 2>&1")
        .output;
}

bool StartsWith(const std::string& line, const std::string& start) {
    return line.compare(0, start.size(), start) == 0;
}

class CommandPseudoTest : public ::testing::Test {
protected:
    // The lines of `output` with a letter outside the wrapped texts, the data (paths, the C
    // library's own texts) and the "brindle CMD: " that starts a message; lines that start with
    // one of `forScripts` are left alone.
    std::vector<std::string> Unwrapped(std::string output,
                                       const std::vector<std::string>& forScripts) {
        for (std::size_t open = output.find("⟦"); open != std::string::npos;
             open = output.find("⟦", open)) {
            const std::size_t close = output.find("⟧", open);
            output.erase(open, close == std::string::npos ? std::string::npos
                                                          : close + std::strlen("⟧") - open);
        }
        std::vector<std::string> found;
        std::size_t start = 0;
        while (start < output.size()) {
            const std::size_t end = std::min(output.find('\n', start), output.size());
            std::string line = output.substr(start, end - start);
            start = end + 1;
            if (std::any_of(forScripts.begin(), forScripts.end(),
                            [&](const std::string& s) { return StartsWith(line, s); })) {
                ++scriptLines_;
                continue;
            }
            for (const std::string& value : data_) {
                for (std::size_t at = line.find(value); at != std::string::npos;
                     at = line.find(value)) {
                    line.erase(at, value.size());
                }
            }
            // "brindle: " or "brindle split: " names who speaks.
            if (const std::size_t colon = line.find(": ");
                StartsWith(line, "brindle") && colon != std::string::npos &&
                std::all_of(line.begin() + 7, line.begin() + static_cast<std::ptrdiff_t>(colon),
                            [](char c) { return c == ' ' || (c >= 'a' && c <= 'z'); })) {
                line.erase(0, colon + 2);
            }
            if (std::any_of(line.begin(), line.end(), [](char c) {
                    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
                })) {
                found.push_back(line);
            }
        }
        return found;
    }

    // `forScripts`: how the run's lines for scripts start; `english`: some of them as they
    // must read.
    void ExpectWrapped(const std::string& args, const std::vector<std::string>& forScripts = {},
                       const std::vector<std::string>& english = {}) {
        SCOPED_TRACE("brindle " + args);
        const std::string output = RunPseudo(args, dir_.File("state"));
        scriptLines_ = 0;
        EXPECT_EQ(Unwrapped(output, forScripts), std::vector<std::string>{}) << output;
        EXPECT_EQ(scriptLines_ == 0, forScripts.empty()) << output;
        for (const std::string& line : english) {
            EXPECT_NE(output.find(line + "\n"), std::string::npos) << line << "\n" << output;
        }
    }

    brindle::test::TempDir dir_;
    // Longest first, so that a name is taken out before a part of it.
    std::vector<std::string> data_ = {dir_.path(),          "film(1).qmf", "film(2).qmf002",
                                      "film(3).qmf003",     "other.txt",   "film.bin",
                                      "film",
                                      std::strerror(ENOENT)};
    int scriptLines_ = 0;
};

TEST_F(CommandPseudoTest, EveryTextPeopleReadComesFromTheCatalogue) {
    const std::string file = dir_.File("film.bin");
    brindle::test::WriteFile(file, brindle::test::PatternBytes(30000));
    const std::string piece = "'" + dir_.File("film(1).qmf") + "'";

    // Help, and usage errors that fall back to it.
    ASSERT_EQ(RunPseudo("--help", dir_.path()).rfind("⟦", 0), 0u);
    for (const char* help : {"--help", "split --help", "join --help", "verify --help",
                             "groups --help", "info --help", "repair --help", "rename --help"}) {
        ExpectWrapped(help);
    }
    for (const char* misuse : {"", "frobnicate", "split", "split film.bin --pieces", "join",
                               "verify a b", "rename --undo --forget --dry-run"}) {
        ExpectWrapped(misuse);
    }
    // A failure of each subsystem, and the lines for scripts beside them.
    ExpectWrapped("split /nonexistent-brindle-folder/film.bin");
    ExpectWrapped("split '" + file + "' --group a/b");
    ExpectWrapped("split '" + file + "' --pieces 3");
    ExpectWrapped("info " + piece,
                  {"GroupId: ", "PieceIndex: ", "PieceSize: ", "PieceCount: ", "SourceLength: ",
                   "SourceName: ", "SplitDate: ", "DataHash: ", "Data bytes: "},
                  {"PieceIndex:   1", "PieceCount:   3", "SourceName:   film.bin"});
    ExpectWrapped("groups '" + dir_.path() + "'", {"film\tfilm.bin\t"});
    std::string damaged = brindle::test::ReadFile(dir_.File("film(2).qmf002"));
    damaged[1000] ^= 1;
    brindle::test::WriteFile(dir_.File("film(2).qmf002"), damaged);
    ExpectWrapped("verify " + piece, {"film(1).qmf: ", "film(2).qmf002: ", "film(3).qmf003: "},
                  {"film(1).qmf: ok", "film(3).qmf003: ok"});
    ExpectWrapped("join " + piece + " --out '" + dir_.File("out.bin") + "'");
    ExpectWrapped("repair " + piece);
    ExpectWrapped("info '" + dir_.File("none.qmf") + "'");
    const std::string other = dir_.File("other.txt");
    brindle::test::WriteFile(other, "x");
    ExpectWrapped("rename --name film.bin --ext '' --dry-run '" + other + "'", {other + " -> "},
                  {other + " -> " + file});
    // Refused by the plan: the line names both sides and says why.
    ExpectWrapped("rename --name film.bin --ext '' '" + other + "'");
}

}  // namespace
