#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "cli.h"
#include "shell/status.h"

// The commands' side of plain numbered pieces (NAME.001, NAME.002, ... with no header).
namespace brindle::cli {

// True when the file name is NAME.NNN (three or more digits).
bool IsNumberedPiece(const std::string& path);

int JoinNumbered(const std::string& piecePath, const std::string& out, bool force, Console& console);
int VerifyNumbered(const std::string& piecePath, Console& console);
int InfoNumbered(const std::string& piecePath, Console& console);
// One line per numbered group of the folder; fails when the folder cannot be listed.
Status ListNumberedGroups(const std::string& folder, Console& console);

struct RawSplitChoice {
    std::string sourcePath;
    std::string destFolder;
    std::string base;
    int mode = 0;  // SplitMode
    std::string pieces = "2";
    std::string size = "1";
    std::string unit;
    bool checksums = false;
    int recoveryPercent = 0;
};
int SplitRawCommand(const RawSplitChoice& choice, Console& console);

}  // namespace brindle::cli
