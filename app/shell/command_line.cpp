#include "shell/command_line.h"

#include <algorithm>
#include <cctype>

#include "format/numbered_group.h"
#include "io/file_io.h"
#include "shell/paths.h"
#include "shell/translate.h"

namespace brindle {
namespace {

constexpr const char* kProgramUsage =
    N_("Usage: tarnwick-brindle [FILE]\n"
       "       tarnwick-brindle -s FILE\n"
       "       tarnwick-brindle -r [PATH...]\n"
       "\n"
       "Split a file into numbered pieces, merge them back, and rename files in batches.\n"
       "\n"
       "  (none)        open the main window with its three jobs\n"
       "  FILE          merge the group of FILE when it is a first piece (NAME(1).qmf),\n"
       "                otherwise open the quick split window for FILE\n"
       "  -s FILE       open the quick split window for FILE, even a piece\n"
       "  -r [PATH...]  open the batch renaming list with these files and folders\n"
       "  -h, --help    show this help and end\n"
       "  --version     show the version and end\n"
       "  --            end of the options: a name after it may begin with '-'\n"
       "\n"
       "While the program runs, a second start hands its request to the running one.\n");

bool IsOption(const std::string& word) {
    return word.size() > 1 && word.front() == '-';
}

}  // namespace

const char* ProgramUsage() {
    return Tr(kProgramUsage);
}

ProgramOptions ParseProgramOptions(const std::vector<std::string>& arguments) {
    ProgramOptions options;
    bool named = false;  // past "--"
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        if (!named && word == "--") {
            named = true;
        } else if (named) {
            options.arguments.push_back(IsOption(word) ? "./" + word : word);
        } else if (word == "-h" || word == "--help") {
            return {ProgramRequest::kHelp, {}, {}};
        } else if (word == "--version") {
            return {ProgramRequest::kVersion, {}, {}};
        } else if (IsOption(word) && !(i == 0 && (word == "-r" || word == "-s"))) {
            // Not at once: a later --help still answers.
            if (options.problem.empty()) {
                options.problem = word;
            }
        } else {
            options.arguments.push_back(word);
        }
    }
    if (!options.problem.empty()) {
        return {ProgramRequest::kUnknownOption, {}, options.problem};
    }
    return options;
}

StartDecision DecideStartWindow(const std::vector<std::string>& arguments,
                                const std::string& currentFolder) {
    StartDecision decision;
    // "-s" names a file to split even when it is a piece (the file manager's "Split with").
    const bool splitSwitch = !arguments.empty() && arguments.front() == "-s";
    if (arguments.empty() || arguments.back().empty() || (splitSwitch && arguments.size() == 1)) {
        return decision;
    }
    const std::string& last = arguments.back();
    // A path the system cannot resolve is taken as given: the window it opens names the reason.
    std::string path;
    (void)io::LongPathName(last, currentFolder, &path);
    if (path.empty()) {
        path = AbsolutePath(last, currentFolder);
    }
    decision.path = path;

    if (arguments.front() == "-r") {
        decision.window = StartWindow::RenameList;
        return decision;
    }

    const std::string fileName = GetFileName(path);
    const auto dot = fileName.rfind('.');
    const std::string extension =
        dot == std::string::npos ? std::string() : fileName.substr(dot + 1);
    const auto slash = path.rfind(kPathSeparator);

    if (Lowered(extension) == "qmf" && !splitSwitch) {
        decision.window = StartWindow::QuickJoin;
        decision.joinFolder = slash == std::string::npos ? std::string() : GetFolderName(path);
        const auto bracket = fileName.rfind('(');
        if (bracket != std::string::npos) {
            decision.joinGroupName = fileName.substr(0, bracket);
        }
        return decision;
    }

    // A numbered piece whose group starts beside it; any other NAME.123 is a file to split. A
    // first piece the system cannot look at opens the join too, which names the reason.
    const auto startsBeside = [&path](const NumberedName& numbered) {
        io::FileType type = io::FileType::kNone;
        const Status looked =
            io::TypeAt(JoinPath(GetFolderName(path), NumberedPieceName(numbered.base, 1, numbered.digits)), &type);
        return !looked.ok() || type == io::FileType::kRegular;
    };
    if (const std::optional<NumberedName> numbered = ParseNumberedName(fileName);
        numbered && !splitSwitch && slash != std::string::npos && (numbered->number <= 1 || startsBeside(*numbered))) {
        decision.window = StartWindow::QuickJoin;
        decision.joinFolder = GetFolderName(path);
        decision.joinGroupName = numbered->base;
        decision.joinNumbered = true;
        return decision;
    }

    decision.window = StartWindow::QuickSplit;
    decision.splitSourcePath = path;
    decision.splitDestFolder =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    decision.splitGroupName = StripExtension(fileName);
    return decision;
}

}  // namespace brindle
