#include "cli.h"

#include <ostream>

#include "shell/translate.h"

namespace brindle::cli {
namespace {

constexpr const char* kUsage =
    N_("Usage: brindle COMMAND [OPTIONS]\n"
       "\n"
       "Split a file into numbered pieces, join them back, and rename files in batches.\n"
       "\n"
       "Commands:\n"
       "  split FILE     cut FILE into piece files (FILE(1).qmf, FILE(2).qmf002, ...)\n"
       "  join PIECE     join the group PIECE belongs to back into the file it came from\n"
       "  groups DIR     list the piece groups found in DIR\n"
       "  info PIECE     show the header of one piece file\n"
       "  verify PIECE   check the group PIECE belongs to without joining it\n"
       "  repair PIECE   rebuild the group's missing or damaged pieces from its recovery files\n"
       "  rename FILE... give files new names by a rule\n"
       "\n"
       "Run 'brindle COMMAND --help' for the options of a command.\n");

}  // namespace

int Run(std::vector<std::string> args, Console& console) {
    if (args.empty()) {
        console.err << Tr(kUsage);
        return kExitUsage;
    }
    const std::string command = std::move(args.front());
    // In place: tens of thousands of file names are not copied once more.
    args.erase(args.begin());
    const std::vector<std::string>& rest = args;
    if (command == "--help" || command == "-h" || command == "help") {
        console.out << Tr(kUsage);
        return kExitOk;
    }
    if (command == "--version") {
        console.out << "brindle " BRINDLE_VERSION "\n";
        return kExitOk;
    }
    if (command == "split") return RunSplit(rest, console);
    if (command == "join") return RunJoin(rest, console);
    if (command == "groups") return RunGroups(rest, console);
    if (command == "info") return RunInfo(rest, console);
    if (command == "verify") return RunVerify(rest, console);
    if (command == "repair") return RunRepair(rest, console);
    if (command == "rename") return RunRename(rest, console);
    console.err << Fill(Tr("brindle: unknown command '%1'"), {command}) << "\n\n" << Tr(kUsage);
    return kExitUsage;
}

}  // namespace brindle::cli
