#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "rename/rename_row.h"

namespace brindle {

inline constexpr std::string_view kCancelled = "cancel";

// Which dialog wrote a `filestring`: the Add Folder one ends its text with a NUL.
enum class AddSource { kAddFiles, kAddFolder };

struct FileChoice {
    std::string folder;
    std::vector<std::string> names;
};

// Reads a dialog's `filestring`; nothing for "cancel" or a text without any file.
std::optional<FileChoice> ReadFileString(std::string_view filestring, AddSource source);

// The rows of the rename list, in display order, with keys kept unique.
class RenameList {
public:
    const std::vector<RenameRow>& rows() const { return rows_; }
    // For writing new names and check marks; keys and file names must stay as they are.
    std::vector<RenameRow>& rows() { return rows_; }

    // Adds the files of one choice: Add Files appends, Add Folder puts them on top, in
    // order. A key already listed is skipped. Returns the number of rows added.
    std::size_t Add(const FileChoice& choice, AddSource source);
    // Reads the dialog's text and adds what it names.
    std::size_t AddFromFileString(std::string_view filestring, AddSource source);

    void RemoveChecked();
    void ClearChecked();
    void CheckAll();
    void UncheckAll();
    void ToggleCheck(std::size_t row);
    std::size_t CheckedCount() const;
    bool Contains(const std::string& key) const { return keys_.count(key) != 0; }
    // A file listed under `from` is now at `to` (in the same folder), as after an undo: its
    // row follows, or goes when `to` has a row of its own already.
    void FollowRename(const std::string& from, const std::string& to);

private:
    std::vector<RenameRow> rows_;
    std::unordered_set<std::string> keys_;
};

}  // namespace brindle
