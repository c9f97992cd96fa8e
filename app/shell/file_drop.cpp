#include "shell/file_drop.h"

#include <QMimeData>
#include <QUrl>
#include <filesystem>
#include <system_error>

#include "format/piece_format.h"
#include "shell/paths.h"

namespace brindle::app {

std::vector<std::string> DroppedPaths(const QMimeData& data) {
    std::vector<std::string> paths;
    for (const QUrl& url : data.urls()) {
        if (!url.isLocalFile()) {
            return {};
        }
        // Decoded from the address's own escapes, so a name that is not UTF-8 keeps its bytes.
        const QByteArray bytes =
            QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
        if (bytes.isEmpty()) {
            return {};
        }
        paths.emplace_back(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    }
    return paths;
}

std::optional<std::string> DroppedFile(const QMimeData& data) {
    std::vector<std::string> paths = DroppedPaths(data);
    if (paths.size() != 1 || !IsRegularFile(paths.front())) {
        return std::nullopt;
    }
    return std::move(paths.front());
}

bool IsPieceFile(const std::string& path) {
    return GetExtensionLetters(GetFileName(path)) == kPieceExtension;
}

bool IsRegularFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error) && !error;
}

bool IsFolder(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error) && !error;
}

}  // namespace brindle::app
