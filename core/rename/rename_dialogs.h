#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shell/status.h"

namespace brindle {

// ---- New name dialog ----

// The part after the last "."; a name without one has no extension.
std::string OldExtension(std::string_view fileName);

enum class NewNameCheck { kOk, kEmptyName, kExtensionChanged };
// kExtensionChanged asks the user first; the comparison is case-sensitive.
NewNameCheck CheckNewName(std::string_view typedName, std::string_view chosenExtension,
                          std::string_view oldExtension);
// The typed name, ".", the extension; a kept empty extension adds no dot.
std::string ComposeNewName(std::string_view typedName, std::string_view chosenExtension,
                           std::string_view oldExtension);

// ---- Add Files and Add Folder dialogs ----

inline constexpr std::array<std::string_view, 4> kFileTypes = {
    "All Files(*.*)", "JPG Files(*.jpg)", "GIF Files(*.gif)", "BMP Files(*.bmp)"};

// "JPG Files(*.jpg)" gives "*.jpg": the entry without its last character, after its first "(".
std::string PatternOfType(std::string_view typeEntry);

// What the Add Files dialog lists: one folder's files of one pattern, each with a tick.
class FilePicker {
public:
    // Lists the folder anew; every tick is cleared. A folder that cannot be listed shows no
    // file, and listing() says why.
    void Show(const std::string& folder, std::string_view pattern);
    void TickAll(bool ticked);
    void ToggleTick(std::size_t entry);

    const std::string& folder() const { return folder_; }
    const std::vector<std::string>& names() const { return names_; }
    const Status& listing() const { return listing_; }
    bool ticked(std::size_t entry) const { return ticks_.at(entry); }

    // The folder and each ticked name, NUL between, none at the end; nothing when no entry
    // is ticked ("No file selected." is then shown).
    std::optional<std::string> Confirm() const;

private:
    std::string folder_;
    std::vector<std::string> names_;
    std::vector<bool> ticks_;
    Status listing_;
};

// What the Add Folder dialog shows: every listed file of one folder.
class FolderPicker {
public:
    // A folder that cannot be listed shows no file, and listing() says why.
    void Show(const std::string& folder);
    const std::string& folder() const { return folder_; }
    const std::vector<std::string>& names() const { return names_; }
    const Status& listing() const { return listing_; }
    // The folder, then NUL and a name for every file, and a closing NUL; nothing for a
    // folder without files.
    std::optional<std::string> Confirm() const;

private:
    std::string folder_;
    std::vector<std::string> names_;
    Status listing_;
};

}  // namespace brindle
