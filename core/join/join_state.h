#pragma once

#include <string>

namespace brindle {

// The group being joined, carried from page to page of the join windows.
struct JoinState {
    std::string JoinFolder;
    std::string JoinGroupName;
    std::string JoinOriginalName;  // the first piece's stored name as it is joined (OriginalNameBytes)
    // Plain numbered pieces JoinGroupName.001, ... that join into JoinGroupName.
    bool JoinNumbered = false;
};

}  // namespace brindle
