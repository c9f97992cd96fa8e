#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace brindle::cli {

// Exit codes shared by every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

struct Console {
    std::ostream& out;
    std::ostream& err;
    bool errIsTerminal = false;  // draw a progress bar on err
};

// Runs `brindle ARGS...`; `args` holds the arguments after the program name.
int Run(std::vector<std::string> args, Console& console);

// The commands, each given the arguments after its own name.
int RunSplit(const std::vector<std::string>& args, Console& console);
int RunJoin(const std::vector<std::string>& args, Console& console);
int RunGroups(const std::vector<std::string>& args, Console& console);
int RunInfo(const std::vector<std::string>& args, Console& console);
int RunVerify(const std::vector<std::string>& args, Console& console);
int RunRepair(const std::vector<std::string>& args, Console& console);
int RunRename(const std::vector<std::string>& args, Console& console);

}  // namespace brindle::cli
