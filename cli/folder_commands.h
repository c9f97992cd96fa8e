#pragma once

#include <string>

#include "cli.h"

namespace brindle::cli {

// `brindle verify DIR [--recursive] [--json]`: one line (or object) per group and a summary;
// exit 0 only when every group would join correctly.
int VerifyFolder(const std::string& folder, bool recursive, bool json, Console& console);

// `brindle verify PIECE --json`: one object per piece, then one for the group.
int VerifyPieceJson(const std::string& path, Console& console);

// `brindle groups DIR --json`: one object per group.
int GroupsJson(const std::string& folder, Console& console);

}  // namespace brindle::cli
