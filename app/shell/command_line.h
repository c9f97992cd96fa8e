#pragma once

#include <string>
#include <vector>

namespace brindle {

// The window the desktop program opens first, decided from its arguments.
enum class StartWindow {
    Main,        // no argument: the main window with its three jobs
    RenameList,  // first argument "-r"; the arguments after it are added to the list
    QuickJoin,   // last argument a first piece file (extension "qmf"), or a piece NAME.NNN
                 // of a numbered group whose first piece is there
    QuickSplit,  // any other last argument, or any after "-s": the file to split
};

struct StartDecision {
    StartWindow window = StartWindow::Main;
    std::string path;  // the last argument as resolved; empty for the main window

    // Set for QuickJoin only: what goes into the quick join window's join state.
    std::string joinFolder;
    std::string joinGroupName;
    bool joinNumbered = false;  // joinGroupName.001, ... join into joinGroupName

    // Set for QuickSplit only: what goes into the quick split window's split state.
    std::string splitSourcePath;
    std::string splitDestFolder;  // ends with the separator
    std::string splitGroupName;
};

// What the desktop program's own options ask for, before any window opens.
enum class ProgramRequest {
    kStart,          // open a window for `arguments`
    kHelp,           // "-h" or "--help": print ProgramUsage() and end
    kVersion,        // "--version": print the version and end
    kUnknownOption,  // an option the program does not know, in `problem`
};

struct ProgramOptions {
    ProgramRequest request = ProgramRequest::kStart;
    // For kStart: what DecideStartWindow reads. "--" is gone, and a name after it that
    // begins with "-" is given as "./-name", so no switch can be read into it.
    std::vector<std::string> arguments;
    std::string problem;
};

// Options count up to "--": "-r" and "-s" only as the first argument, "-h", "--help" and
// "--version" anywhere. "-" alone is a name. arguments excludes the program's own name.
ProgramOptions ParseProgramOptions(const std::vector<std::string>& arguments);

// The text of --help.
const char* ProgramUsage();

// arguments excludes the program's own name. A path that does not exist is still used, made
// absolute against currentFolder, so the window that opens can report it in its own words.
StartDecision DecideStartWindow(const std::vector<std::string>& arguments,
                                const std::string& currentFolder);

}  // namespace brindle
