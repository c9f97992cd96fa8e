#pragma once

#include <string>
#include <vector>

#include "shell/status.h"

namespace brindle::test {

// Writes the group's checksum file as a split would, hashing the pieces afresh and naming the
// first piece's GroupId: for tests that set up a group by hand.
Status WriteChecksumFile(const std::string& folder, const std::string& groupName,
                         const std::vector<std::string>& piecePaths);

}  // namespace brindle::test
