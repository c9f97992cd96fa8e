#pragma once

#include <optional>
#include <string>

#include "cli.h"

namespace brindle::cli {

// `brindle split -`: what the command line chose, checked by SplitFromInput.
struct StreamSplitChoice {
    std::string destFolder;
    std::optional<std::string> group;
    std::optional<std::string> storedName;
    std::optional<std::string> size;
    std::string unit;
    bool raw = false;
    bool checksums = false;
    bool dataCheck = true;
    int recoveryPercent = 0;
};

// Splits standard input; every refusal comes before a byte of it is read.
int SplitFromInput(const StreamSplitChoice& choice, Console& console);

}  // namespace brindle::cli
