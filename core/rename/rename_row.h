#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace brindle {

// One row of the rename list.
struct RenameRow {
    bool checked = false;
    std::string key;           // the file's full path when the row was added
    std::string fileName;      // "File Name": the current name, without folder
    std::string newFileName;   // "New File Name": empty until a rule or the dialog fills it
    std::optional<std::int64_t> fileBytes;  // "File Size"; none for a file that could not be measured
    std::string fileLocation;  // "File Location": the folder
};

}  // namespace brindle
