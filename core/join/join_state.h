#pragma once

#include <string>

namespace brindle {

// The group being joined, carried from page to page of the join windows.
struct JoinState {
    std::string JoinFolder;
    std::string JoinGroupName;
    std::string JoinOriginalName;  // the bytes of the name stored in the first piece, padding removed
    // Plain numbered pieces JoinGroupName.001, ... that join into JoinGroupName.
    bool JoinNumbered = false;
};

}  // namespace brindle
