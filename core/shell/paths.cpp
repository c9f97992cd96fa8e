#include "shell/paths.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace brindle {

std::string GetFileName(std::string_view path) {
    const auto pos = path.rfind(kPathSeparator);
    return std::string(pos == std::string_view::npos ? path : path.substr(pos + 1));
}

std::string GetFolderName(std::string_view path) {
    const auto pos = path.rfind(kPathSeparator);
    if (pos == 0) {
        return std::string(1, kPathSeparator);  // the root keeps its one separator
    }
    return std::string(pos == std::string_view::npos ? path : path.substr(0, pos));
}

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string joined(folder);
    if (joined.empty() || joined.back() != kPathSeparator) {
        joined += kPathSeparator;
    }
    joined += name;
    return joined;
}

std::string FormatSize(std::int64_t bytes, char decimalSeparator) {
    constexpr std::int64_t kKB = 1024;
    constexpr std::int64_t kMB = kKB * 1024;
    constexpr std::int64_t kGB = kMB * 1024;
    if (bytes < kKB) {
        return std::to_string(bytes) + " BYTE";
    }
    std::int64_t unit = kKB;
    const char* word = " KB";
    if (bytes >= kGB) {
        unit = kGB;
        word = " GB";
    } else if (bytes >= kMB) {
        unit = kMB;
        word = " MB";
    }
    // Work in hundredths: bytes * 100 / unit is exact in a double for every count we show,
    // so ties really are ties and go to the even neighbour.
    const std::int64_t whole = bytes / unit;
    const std::int64_t rest = bytes % unit;
    std::int64_t hundredths = whole * 100 + (rest * 100) / unit;
    const std::int64_t remainder = (rest * 100) % unit;
    if (remainder * 2 > unit || (remainder * 2 == unit && hundredths % 2 != 0)) {
        ++hundredths;
    }
    std::string text = std::to_string(hundredths / 100);
    const std::int64_t fraction = hundredths % 100;
    if (fraction != 0) {
        text += decimalSeparator;
        text += static_cast<char>('0' + fraction / 10);
        if (fraction % 10 != 0) {
            text += static_cast<char>('0' + fraction % 10);
        }
    }
    return text + word;
}

std::string RemoveDigits(std::string_view text) {
    std::string kept;
    kept.reserve(text.size());
    for (const char c : text) {
        if (c < '0' || c > '9') {
            kept += c;
        }
    }
    return kept;
}

std::string Lowered(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

std::string GetExtensionLetters(std::string_view path) {
    const auto pos = path.rfind('.');
    return RemoveDigits(pos == std::string_view::npos ? path : path.substr(pos + 1));
}

std::string StripExtension(std::string_view fileName) {
    const auto pos = fileName.rfind('.');
    return std::string(pos == std::string_view::npos ? fileName : fileName.substr(0, pos));
}

std::string AbsolutePath(const std::string& path, const std::string& currentFolder) {
    if (path.empty()) {
        return {};
    }
    const bool keep = std::filesystem::path(path).is_absolute() || currentFolder.empty();
    const std::string joined = keep ? path : JoinPath(currentFolder, path);
    std::string tidy;
    std::size_t start = 0;
    while (start <= joined.size()) {
        std::size_t end = joined.find(kPathSeparator, start);
        if (end == std::string::npos) {
            end = joined.size();
        }
        const std::string_view step(joined.data() + start, end - start);
        const bool last = end == joined.size();
        // A last "." stays: "link/." is the folder the link leads to, "link" the link itself.
        if (!step.empty() && (step != "." || last)) {
            if (!tidy.empty() || joined.front() == kPathSeparator) {
                tidy += kPathSeparator;
            }
            tidy += step;
        } else if (last && step.empty() && !tidy.empty()) {
            tidy += kPathSeparator;  // a final separator still asks for a folder
        }
        start = end + 1;
    }
    if (tidy.empty()) {
        return joined.front() == kPathSeparator ? std::string(1, kPathSeparator) : std::string(".");
    }
    return tidy;
}

}  // namespace brindle
