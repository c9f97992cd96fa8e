#include "checks/checksum_lists.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <memory>
#include <optional>

#include "io/file_io.h"
#include "io/linked_files.h"
#include "shell/paths.h"
#include "shell/translate.h"

namespace brindle {
namespace {

// A checksum list is text of a few lines per file; anything larger is not one.
constexpr std::int64_t kLargestList = std::int64_t{4} << 20;
constexpr std::size_t kHashBuffer = std::size_t{1} << 20;

std::atomic<int> g_listFilesRead{0};

bool IsHex(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isxdigit(c) != 0; });
}

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

// Calls `line` for each line without its ending ("\n" or "\r\n").
template <typename Fn>
void ForEachLine(std::string_view text, Fn line) {
    text = WithoutByteOrderMark(text);
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

Status ReadListFile(const std::string& path, std::string* text) {
    ++g_listFilesRead;
    return io::ReadSmallFile(path, kLargestList, Tr("too large to be a checksum file: %1"), text);
}

// The first line of `file` whose name is not before `name` (the lines are in name order).
std::vector<ListedName>::const_iterator FirstFrom(const ListFile& file, std::string_view name) {
    return std::lower_bound(file.listed.begin(), file.listed.end(), name,
                            [](const ListedName& line, std::string_view key) { return line.name < key; });
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
        name = WithoutDotSlash(name);
        if (name.empty() || crc.size() != 8 || !IsHex(crc)) {
            ++*badLines;
            return;
        }
        listed.push_back({std::string(name), Lowered(crc)});
    });
    return listed;
}

bool UnescapeListedName(std::string_view text, std::string* out) {
    out->clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            *out += text[i];
            continue;
        }
        if (++i == text.size()) {
            return false;
        }
        switch (text[i]) {
            case '\\': *out += '\\'; break;
            case 'n': *out += '\n'; break;
            case 'r': *out += '\r'; break;
            default: return false;
        }
    }
    return true;
}

bool ParseHashLine(std::string_view line, std::size_t hexLength, ListedName* entry) {
    const bool escaped = !line.empty() && line.front() == '\\';
    if (escaped) {
        line.remove_prefix(1);
    }
    // "<hex>  <name>" in text mode, "<hex> *<name>" in binary mode.
    if (line.size() < hexLength + 3 || !IsHex(line.substr(0, hexLength)) || line[hexLength] != ' ' ||
        (line[hexLength + 1] != ' ' && line[hexLength + 1] != '*')) {
        return false;
    }
    entry->hex = Lowered(line.substr(0, hexLength));
    entry->name = std::string(line.substr(hexLength + 2));
    if (escaped && !UnescapeListedName(line.substr(hexLength + 2), &entry->name)) {
        return false;
    }
    entry->name = std::string(WithoutDotSlash(entry->name));
    return !entry->name.empty();
}

std::vector<ListedName> ParseHashList(std::string_view text, DigestKind kind, int* badLines) {
    const std::size_t length = DigestHexLength(kind);
    std::vector<ListedName> listed;
    ForEachLine(text, [&](std::string_view line) {
        if (line.empty() || line.front() == '#') {
            return;
        }
        ListedName entry;
        if (!ParseHashLine(line, length, &entry)) {
            ++*badLines;
            return;
        }
        listed.push_back(std::move(entry));
    });
    return listed;
}

FolderLists ReadFolderLists(const std::string& folder) {
    FolderLists all;
    std::vector<std::string> names;
    all.listing = io::ListFileNames(folder, true, &names);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::optional<DigestKind> kind = KindOfListFile(name);
        if (!kind) {
            continue;
        }
        const std::string path = JoinPath(folder, name);
        if (const Status linked = CheckLinkInFolder(path); !linked.ok()) {
            if (linked.code() == Status::Code::kIoError) {
                all.unread.emplace_back(name, linked);
            } else {
                all.refused.push_back(name);
            }
            continue;
        }
        std::string text;
        if (const Status read = ReadListFile(path, &text); !read.ok()) {
            // One too large to be a list is none; one the disk would not give is unknown.
            if (read.code() == Status::Code::kIoError) {
                all.unread.emplace_back(name, read);
            }
            continue;
        }
        auto file = std::make_shared<ListFile>();
        file->name = name;
        file->kind = *kind;
        file->listed = *kind == DigestKind::kCrc32 ? ParseSfv(text, &file->badLines)
                                                   : ParseHashList(text, *kind, &file->badLines);
        std::stable_sort(file->listed.begin(), file->listed.end(),
                         [](const ListedName& a, const ListedName& b) { return a.name < b.name; });
        const std::size_t index = all.files.size();
        for (std::size_t i = 0; i < file->listed.size(); ++i) {
            if (i == 0 || file->listed[i].name != file->listed[i - 1].name) {
                all.filesListing[file->listed[i].name].push_back(index);
            }
        }
        all.files.push_back(std::move(file));
    }
    return all;
}

ChecksumLists ListsNaming(const FolderLists& all, const std::vector<std::string>& names) {
    std::vector<std::size_t> indexes;
    for (const std::string& name : names) {
        const auto found = all.filesListing.find(name);
        if (found != all.filesListing.end()) {
            indexes.insert(indexes.end(), found->second.begin(), found->second.end());
        }
    }
    std::sort(indexes.begin(), indexes.end());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    ChecksumLists lists;
    lists.refused = all.refused;
    lists.unread = all.listing;
    for (const auto& [list, status] : all.unread) {
        const std::string stem = list.substr(0, list.rfind('.'));
        const bool mayName = std::any_of(names.begin(), names.end(), [&stem](const std::string& name) {
            return name == stem || name.starts_with(stem + ".");
        });
        if (mayName && lists.unread.ok()) {
            lists.unread = status;
        }
    }
    for (const std::size_t index : indexes) {
        const std::shared_ptr<const ListFile>& file = all.files[index];
        lists.files.push_back(file->name);
        lists.used.push_back(file);
        lists.badLines += file->badLines;
    }
    return lists;
}

ChecksumLists ReadChecksumLists(const std::string& folder, const std::vector<std::string>& names) {
    return ListsNaming(ReadFolderLists(folder), names);
}

std::vector<Expected> ChecksumLists::Find(const std::string& name) const {
    std::vector<Expected> expected;
    for (const auto& file : used) {
        for (auto it = FirstFrom(*file, name); it != file->listed.end() && it->name == name; ++it) {
            expected.push_back({file->kind, it->hex, file->name});
        }
    }
    return expected;
}

std::map<std::string, std::string> ChecksumLists::Names() const {
    std::map<std::string, std::string> names;
    for (const auto& file : used) {
        for (const ListedName& entry : file->listed) {
            names.emplace(entry.name, file->name);
        }
    }
    return names;
}

std::vector<std::string> ChecksumLists::NamesStarting(std::string_view prefix) const {
    std::vector<std::string> names;
    for (const auto& file : used) {
        for (auto it = FirstFrom(*file, prefix);
             it != file->listed.end() && std::string_view(it->name).substr(0, prefix.size()) == prefix; ++it) {
            names.push_back(it->name);
        }
    }
    return names;
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
    for (const Expected& expected : lists.Find(name)) {
        if (std::find(kinds.begin(), kinds.end(), expected.kind) == kinds.end()) {
            kinds.push_back(expected.kind);
        }
    }
    return kinds;
}

Status CompareListed(const ChecksumLists& lists, const std::string& name, const std::string& path,
                     const std::map<DigestKind, std::string>& computed) {
    for (const Expected& expected : lists.Find(name)) {
        const auto found = computed.find(expected.kind);
        if (found == computed.end() || found->second != expected.hex) {
            return Status::Corruption(Fill(Tr("%1 is damaged: its %2 does not match %3"),
                                           {path, DigestName(expected.kind), expected.listFile}));
        }
    }
    return Status::Ok();
}

std::string_view WithoutByteOrderMark(std::string_view text) {
    constexpr std::string_view kMark = "\xEF\xBB\xBF";
    return text.substr(0, kMark.size()) == kMark ? text.substr(kMark.size()) : text;
}

std::string_view WithoutDotSlash(std::string_view name) {
    return name.substr(0, 2) == "./" ? name.substr(2) : name;
}

namespace testing {
int ListFilesRead() { return g_listFilesRead.load(); }
}  // namespace testing

}  // namespace brindle
