#include "rename/rename_dialogs.h"

#include "io/file_list.h"

namespace brindle {

std::string OldExtension(std::string_view fileName) {
    const auto dot = fileName.rfind('.');
    return dot == std::string_view::npos ? std::string() : std::string(fileName.substr(dot + 1));
}

NewNameCheck CheckNewName(std::string_view typedName, std::string_view chosenExtension,
                          std::string_view oldExtension) {
    if (typedName.empty()) {
        return NewNameCheck::kEmptyName;
    }
    return chosenExtension == oldExtension ? NewNameCheck::kOk : NewNameCheck::kExtensionChanged;
}

std::string ComposeNewName(std::string_view typedName, std::string_view chosenExtension,
                           std::string_view oldExtension) {
    std::string name(typedName);
    if (!(chosenExtension.empty() && oldExtension.empty())) {
        name += '.';
        name += chosenExtension;
    }
    return name;
}

std::string PatternOfType(std::string_view typeEntry) {
    if (typeEntry.empty()) {
        return {};
    }
    typeEntry.remove_suffix(1);
    const auto paren = typeEntry.find('(');
    return std::string(paren == std::string_view::npos ? typeEntry : typeEntry.substr(paren + 1));
}

void FilePicker::Show(const std::string& folder, std::string_view pattern) {
    folder_ = folder;
    listing_ = ListFiles(folder, pattern, &names_);
    ticks_.assign(names_.size(), false);
}

void FilePicker::TickAll(bool ticked) { ticks_.assign(names_.size(), ticked); }

void FilePicker::ToggleTick(std::size_t entry) {
    if (entry < ticks_.size()) {
        ticks_[entry] = !ticks_[entry];
    }
}

std::optional<std::string> FilePicker::Confirm() const {
    std::string text = folder_;
    bool any = false;
    for (std::size_t i = 0; i < names_.size(); ++i) {
        if (ticks_[i]) {
            text += '\0';
            text += names_[i];
            any = true;
        }
    }
    if (!any) {
        return std::nullopt;
    }
    return text;
}

void FolderPicker::Show(const std::string& folder) {
    folder_ = folder;
    listing_ = ListFiles(folder, "*.*", &names_);
}

std::optional<std::string> FolderPicker::Confirm() const {
    if (names_.empty()) {
        return std::nullopt;
    }
    std::string text = folder_;
    text += '\0';
    for (const std::string& name : names_) {
        text += name;
        text += '\0';
    }
    return text;
}

}  // namespace brindle
