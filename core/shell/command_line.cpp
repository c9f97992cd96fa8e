#include "shell/command_line.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "join/numbered_group.h"
#include "shell/file_io.h"
#include "shell/paths.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;

fs::path Absolute(const std::string& path, const std::string& currentFolder) {
    const fs::path given(path);
    if (given.is_absolute()) {
        return given;
    }
    return fs::path(currentFolder) / given;
}

std::string Lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

std::string LongPathName(const std::string& path, const std::string& currentFolder) {
    if (path.empty()) {
        return {};
    }
    const fs::path absolute = Absolute(path, currentFolder);
    std::error_code error;
    if (!fs::exists(absolute, error) || error) {
        return {};
    }
    return absolute.lexically_normal().string();
}

StartDecision DecideStartWindow(const std::vector<std::string>& arguments,
                                const std::string& currentFolder) {
    StartDecision decision;
    if (arguments.empty() || arguments.back().empty()) {
        return decision;
    }
    const std::string& last = arguments.back();
    std::string path = LongPathName(last, currentFolder);
    if (path.empty()) {
        path = Absolute(last, currentFolder).string();
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

    if (Lowered(extension) == "qmf") {
        decision.window = StartWindow::QuickJoin;
        decision.joinFolder = slash == std::string::npos ? std::string() : GetFolderName(path);
        const auto bracket = fileName.rfind('(');
        if (bracket != std::string::npos) {
            decision.joinGroupName = fileName.substr(0, bracket);
        }
        return decision;
    }

    // A numbered piece whose group starts beside it; any other NAME.123 is a file to split.
    if (const std::optional<NumberedName> numbered = ParseNumberedName(fileName);
        numbered && slash != std::string::npos &&
        (numbered->number <= 1 ||
         io::IsRegularFile(JoinPath(GetFolderName(path), NumberedPieceName(numbered->base, 1, numbered->digits))))) {
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
