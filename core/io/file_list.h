#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "shell/status.h"

namespace brindle {

// True when `name` matches a pattern of "*" and "?" wildcards, ignoring ASCII letter case
// (a "*.jpg" filter is expected to find photo.JPG too).
bool MatchesPattern(std::string_view name, std::string_view pattern);

// The regular files of one folder that match `pattern`, sorted alphabetically without regard
// to letter case; hidden files (names beginning with ".") are left out. Fails, naming why, when
// the folder cannot be listed.
Status ListFiles(const std::string& folder, std::string_view pattern, std::vector<std::string>* names);

}  // namespace brindle
