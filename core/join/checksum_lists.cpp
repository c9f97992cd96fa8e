#include "join/checksum_lists.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <optional>

#include "join/checksums.h"
#include "shell/file_io.h"
#include "shell/paths.h"

namespace brindle {
namespace {

// A checksum list is text of a few lines per file; anything larger is not one.
constexpr std::int64_t kLargestList = std::int64_t{4} << 20;
constexpr std::size_t kHashBuffer = std::size_t{1} << 20;

bool IsHex(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isxdigit(c) != 0; });
}

std::string Lowered(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

// Calls `line` for each line without its ending ("\n" or "\r\n").
template <typename Fn>
void ForEachLine(std::string_view text, Fn line) {
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view one = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!one.empty() && one.back() == '\r') {
            one.remove_suffix(1);
        }
        line(one);
    }
}

std::optional<DigestKind> KindOfListFile(const std::string& name) {
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) {
        return std::nullopt;
    }
    const std::string extension = Lowered(std::string_view(name).substr(dot + 1));
    if (extension == "sfv") return DigestKind::kCrc32;
    if (extension == "md5") return DigestKind::kMd5;
    if (extension == "sha1") return DigestKind::kSha1;
    if (extension == "sha256") return DigestKind::kSha256;
    return std::nullopt;
}

Status ReadSmallFile(const std::string& path, std::string* text) {
    io::File file;
    Status status = file.OpenRead(path);
    std::int64_t size = 0;
    if (status.ok()) {
        status = file.Size(&size);
    }
    if (status.ok() && size > kLargestList) {
        return Status::Corruption("too large to be a checksum file: " + path);
    }
    if (status.ok()) {
        text->assign(static_cast<std::size_t>(size), '\0');
        status = file.ReadExact(text->data(), text->size());
    }
    return status;
}

}  // namespace

std::vector<ListedName> ParseSfv(std::string_view text, int* badLines) {
    std::vector<ListedName> listed;
    ForEachLine(text, [&](std::string_view line) {
        while (!line.empty() && IsSpace(line.back())) {
            line.remove_suffix(1);
        }
        if (line.empty() || line.front() == ';') {
            return;
        }
        // "name CRC": the name may hold spaces, the CRC is the last word.
        const std::size_t space = line.find_last_of(" \t");
        std::string_view name = space == std::string_view::npos ? std::string_view() : line.substr(0, space);
        const std::string_view crc = space == std::string_view::npos ? line : line.substr(space + 1);
        while (!name.empty() && IsSpace(name.back())) {
            name.remove_suffix(1);
        }
        if (name.empty() || crc.size() != 8 || !IsHex(crc)) {
            ++*badLines;
            return;
        }
        listed.push_back({std::string(name), Lowered(crc)});
    });
    return listed;
}

std::vector<ListedName> ParseHashList(std::string_view text, DigestKind kind, int* badLines) {
    const std::size_t length = DigestHexLength(kind);
    std::vector<ListedName> listed;
    ForEachLine(text, [&](std::string_view line) {
        if (line.empty() || line.front() == '#') {
            return;
        }
        const bool escaped = line.front() == '\\';
        if (escaped) {
            line.remove_prefix(1);
        }
        // "<hex>  <name>" in text mode, "<hex> *<name>" in binary mode.
        if (line.size() < length + 3 || !IsHex(line.substr(0, length)) || line[length] != ' ' ||
            (line[length + 1] != ' ' && line[length + 1] != '*')) {
            ++*badLines;
            return;
        }
        ListedName entry{std::string(line.substr(length + 2)), Lowered(line.substr(0, length))};
        if (escaped && !UnescapeListedName(line.substr(length + 2), &entry.name)) {
            ++*badLines;
            return;
        }
        listed.push_back(std::move(entry));
    });
    return listed;
}

ChecksumLists ReadChecksumLists(const std::string& folder, const std::vector<std::string>& names) {
    ChecksumLists lists;
    std::vector<std::string> files = io::FileNamesIn(folder, true);
    std::sort(files.begin(), files.end());
    for (const std::string& file : files) {
        const std::optional<DigestKind> kind = KindOfListFile(file);
        std::string text;
        if (!kind || !ReadSmallFile(JoinPath(folder, file), &text).ok()) {
            continue;
        }
        int bad = 0;
        const std::vector<ListedName> listed =
            *kind == DigestKind::kCrc32 ? ParseSfv(text, &bad) : ParseHashList(text, *kind, &bad);
        const bool ours = std::any_of(listed.begin(), listed.end(), [&](const ListedName& entry) {
            return std::find(names.begin(), names.end(), entry.name) != names.end();
        });
        if (!ours) {
            continue;
        }
        lists.files.push_back(file);
        lists.badLines += bad;
        for (const ListedName& entry : listed) {
            lists.entries.emplace(entry.name, Expected{*kind, entry.hex, file});
        }
    }
    return lists;
}

Status FeedFile(const std::string& path, const std::vector<Digest*>& digests) {
    io::File file;
    Status status = file.OpenRead(path);
    std::int64_t left = 0;
    if (status.ok()) {
        status = file.Size(&left);
    }
    std::vector<char> buffer(static_cast<std::size_t>(std::min<std::int64_t>(std::max<std::int64_t>(left, 0), kHashBuffer)));
    while (status.ok() && left > 0) {
        const auto chunk = static_cast<std::size_t>(std::min<std::int64_t>(left, kHashBuffer));
        status = file.ReadExact(buffer.data(), chunk);
        if (status.ok()) {
            for (Digest* digest : digests) {
                digest->Update(buffer.data(), chunk);
            }
            left -= static_cast<std::int64_t>(chunk);
        }
    }
    return status;
}

std::vector<DigestKind> KindsListed(const ChecksumLists& lists, const std::string& name) {
    std::vector<DigestKind> kinds;
    const auto [begin, end] = lists.entries.equal_range(name);
    for (auto it = begin; it != end; ++it) {
        if (std::find(kinds.begin(), kinds.end(), it->second.kind) == kinds.end()) {
            kinds.push_back(it->second.kind);
        }
    }
    return kinds;
}

Status CompareListed(const ChecksumLists& lists, const std::string& name, const std::string& path,
                     const std::map<DigestKind, std::string>& computed) {
    const auto [begin, end] = lists.entries.equal_range(name);
    for (auto it = begin; it != end; ++it) {
        const auto found = computed.find(it->second.kind);
        if (found == computed.end() || found->second != it->second.hex) {
            return Status::Corruption(path + " is damaged: its " + DigestName(it->second.kind) +
                                      " does not match " + it->second.listFile);
        }
    }
    return Status::Ok();
}

}  // namespace brindle
