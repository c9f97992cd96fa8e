#pragma once

#include <optional>
#include <string>
#include <vector>

class QMimeData;

namespace brindle::app {

// The local paths a drag from the file manager carries, each with its exact bytes; nothing
// when it carries anything else as well (a web address, plain text).
std::vector<std::string> DroppedPaths(const QMimeData& data);

// The one regular file a drag carries; nothing for several, a folder or anything else.
std::optional<std::string> DroppedFile(const QMimeData& data);

// A piece of a group as group discovery lists it (extension letters "qmf").
bool IsPieceFile(const std::string& path);

bool IsFolder(const std::string& path);
bool IsRegularFile(const std::string& path);

}  // namespace brindle::app
