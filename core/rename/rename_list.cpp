#include "rename/rename_list.h"

#include <algorithm>

#include "io/file_io.h"
#include "shell/paths.h"

namespace brindle {

std::optional<FileChoice> ReadFileString(std::string_view filestring, AddSource source) {
    if (filestring == kCancelled) {
        return std::nullopt;
    }
    std::vector<std::string_view> parts;
    std::size_t from = 0;
    for (;;) {
        const auto nul = filestring.find('\0', from);
        parts.push_back(filestring.substr(from, nul == std::string_view::npos ? nul : nul - from));
        if (nul == std::string_view::npos) {
            break;
        }
        from = nul + 1;
    }
    if (parts.size() < 2) {
        return std::nullopt;
    }
    // The Add Folder text ends with a NUL, so its last element is no file.
    const std::size_t end = source == AddSource::kAddFolder ? parts.size() - 1 : parts.size();
    FileChoice choice;
    choice.folder = std::string(parts[0]);
    for (std::size_t i = 1; i < end; ++i) {
        if (!parts[i].empty()) {
            choice.names.emplace_back(parts[i]);
        }
    }
    if (choice.names.empty()) {
        return std::nullopt;
    }
    return choice;
}

std::size_t RenameList::Add(const FileChoice& choice, AddSource source) {
    std::vector<RenameRow> added;
    for (const std::string& name : choice.names) {
        RenameRow row;
        row.key = JoinPath(choice.folder, name);
        if (!keys_.insert(row.key).second) {
            continue;
        }
        row.fileName = name;
        // A file that cannot be measured is still listed, with no size.
        if (std::int64_t bytes = 0; io::LengthOf(row.key, &bytes).ok()) {
            row.fileBytes = bytes;
        }
        row.fileLocation = choice.folder;
        added.push_back(std::move(row));
    }
    const auto at = source == AddSource::kAddFolder ? rows_.begin() : rows_.end();
    rows_.insert(at, std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()));
    return added.size();
}

std::size_t RenameList::AddFromFileString(std::string_view filestring, AddSource source) {
    const auto choice = ReadFileString(filestring, source);
    return choice ? Add(*choice, source) : 0;
}

void RenameList::RemoveChecked() {
    for (const RenameRow& row : rows_) {
        if (row.checked) {
            keys_.erase(row.key);
        }
    }
    std::erase_if(rows_, [](const RenameRow& row) { return row.checked; });
}

void RenameList::ClearChecked() {
    for (RenameRow& row : rows_) {
        if (row.checked) {
            row.newFileName.clear();
        }
    }
}

void RenameList::CheckAll() {
    for (RenameRow& row : rows_) {
        row.checked = true;
    }
}

void RenameList::UncheckAll() {
    for (RenameRow& row : rows_) {
        row.checked = false;
    }
}

void RenameList::ToggleCheck(std::size_t row) {
    if (row < rows_.size()) {
        rows_[row].checked = !rows_[row].checked;
    }
}

std::size_t RenameList::CheckedCount() const {
    return static_cast<std::size_t>(
        std::count_if(rows_.begin(), rows_.end(), [](const RenameRow& row) { return row.checked; }));
}

void RenameList::FollowRename(const std::string& from, const std::string& to) {
    const auto it = std::find_if(rows_.begin(), rows_.end(),
                                 [&](const RenameRow& row) { return row.key == from; });
    if (it == rows_.end() || from == to) {
        return;
    }
    keys_.erase(from);
    if (keys_.count(to) != 0) {
        rows_.erase(it);
        return;
    }
    it->key = to;
    it->fileName = GetFileName(to);
    keys_.insert(to);
}

}  // namespace brindle
