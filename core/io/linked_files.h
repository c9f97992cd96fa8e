#pragma once

#include <string>

#include "shell/status.h"

namespace brindle {

// Pieces and checksum lists may be symbolic links, and archives carry them. A link to a file
// in its own folder is one more name for it; a link to a file anywhere else, a subfolder
// included, would bring that file's bytes into a join (a key beside the pieces), so it is
// refused: InvalidArgument naming `path`. Anything that is not a link, or leads nowhere, is
// left to the open that follows.
Status CheckLinkInFolder(const std::string& path);

}  // namespace brindle
