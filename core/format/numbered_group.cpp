#include "format/numbered_group.h"

#include <algorithm>
#include <map>

#include "io/file_io.h"
#include "io/linked_files.h"
#include "shell/paths.h"
#include "shell/translate.h"

namespace brindle {
namespace {

constexpr std::size_t kMostDigits = 9;

struct Entry {
    Status looked;  // not ok when the system could not tell what is there
    std::string name;
    bool regular = false;
    bool outside = false;
    std::int64_t size = 0;
};

// The numbered names of a folder, from one listing: every group of a listing is found from it.
struct FolderNames {
    // By NAME, pipes and folders included: a piece's name held by something that is not a
    // file is a fault to name, not a gap.
    std::map<std::string, std::vector<NumberedName>> byBase;
    std::vector<std::string> firsts;  // the NAMEs whose number 1 is a regular file, alphabetically
    Status status;                    // of the listing
};

FolderNames NumberedNamesIn(const std::string& folder) {
    FolderNames names;
    std::vector<io::FolderEntry> entries;
    names.status = io::ListFolder(folder, &entries);
    for (const io::FolderEntry& entry : entries) {
        std::optional<NumberedName> parsed = ParseNumberedName(entry.name);
        if (!parsed) {
            continue;
        }
        if (parsed->number == 1 && entry.regular) {
            names.firsts.push_back(parsed->base);
        }
        names.byBase[parsed->base].push_back(std::move(*parsed));
    }
    std::sort(names.firsts.begin(), names.firsts.end());
    names.firsts.erase(std::unique(names.firsts.begin(), names.firsts.end()), names.firsts.end());
    return names;
}

// Refused as CheckLinkInFolder refused it, even when asked again a moment later.
Status OutsideLink(const std::string& path) {
    const Status status = CheckLinkInFolder(path);
    return status.ok() ? Status::InvalidArgument(
                             Fill(Tr("a link to a file outside its folder: %1"), {path}))
                       : status;
}

// The width a group writes its numbers in is that of its lowest number (001 or 0001);
// numbers past it simply grow (999, 1000).
std::size_t WidthOf(const std::vector<NumberedName>& found) {
    if (found.empty()) {
        return kNumberedDigits;
    }
    std::size_t width = kMostDigits;
    for (const NumberedName& name : found) {
        if (name.number <= 1) {
            width = std::min(width, name.digits);
        }
    }
    if (width == kMostDigits) {
        for (const NumberedName& name : found) {
            width = std::min(width, name.digits);
        }
    }
    return width;
}

Entry Look(const std::string& folder, const std::string& name) {
    Entry entry{Status::Ok(), name, false, false, 0};
    const std::string path = JoinPath(folder, name);
    io::FileType type = io::FileType::kNone;
    entry.looked = io::TypeAt(path, &type);
    entry.regular = type == io::FileType::kRegular;
    if (entry.looked.ok() && entry.regular) {
        io::File file;
        entry.looked = file.OpenRead(path);
        if (entry.looked.ok()) {
            entry.looked = file.Size(&entry.size);
        }
    }
    const Status linked = CheckLinkInFolder(path);
    entry.outside = linked.code() == Status::Code::kInvalidArgument;
    if (entry.looked.ok() && !entry.outside) {
        entry.looked = linked;
    }
    return entry;
}

}  // namespace

std::optional<NumberedName> ParseNumberedName(std::string_view fileName) {
    const auto dot = fileName.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || fileName.find('/') != std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view digits = fileName.substr(dot + 1);
    if (digits.size() < kNumberedDigits || digits.size() > kMostDigits ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    NumberedName parsed{std::string(fileName.substr(0, dot)), 0, digits.size()};
    for (const char c : digits) {
        parsed.number = parsed.number * 10 + (c - '0');
    }
    return parsed;
}

std::string NumberedPieceName(const std::string& base, std::int64_t number, std::size_t digits) {
    std::string text = std::to_string(number);
    if (text.size() < digits) {
        text.insert(0, digits - text.size(), '0');
    }
    return base + "." + text;
}

Status CheckNumberedSizes(const std::vector<std::string>& pieces, const std::vector<std::int64_t>& sizes) {
    if (pieces.empty() || pieces.size() != sizes.size()) {
        return Status::InvalidArgument(Tr("there are no pieces to join"));
    }
    // The size of a full piece: the largest before the last (the only one, for one piece).
    const auto beforeLast = sizes.size() == 1 ? sizes.end() : sizes.end() - 1;
    const std::int64_t full = *std::max_element(sizes.begin(), beforeLast);
    for (std::size_t i = 0; i + 1 < pieces.size(); ++i) {
        if (sizes[i] != full) {
            // A short piece before the last is most often a download that did not finish.
            return Status::Corruption(
                Fill(TrN("the piece is shorter than the others (%1 bytes, not %2): %3",
                         "the piece is shorter than the others (%1 bytes, not %2): %3",
                         static_cast<unsigned long>(sizes[i])),
                     {std::to_string(sizes[i]), std::to_string(full), pieces[i]}));
        }
    }
    if (sizes.back() > full) {
        return Status::Corruption(
            Fill(Tr("the last piece is longer than the others: %1"), {pieces.back()}));
    }
    if (sizes.back() == 0) {
        return Status::Corruption(Fill(Tr("the piece is empty: %1"), {pieces.back()}));
    }
    return Status::Ok();
}

namespace {

// The group NAME from what the caller read of its folder: the names numbered NAME.NNN, and
// the folder's checksum lists.
NumberedGroup FindIn(const std::string& folder, const std::string& base, const std::vector<NumberedName>& found,
                     const FolderLists& lists) {
    NumberedGroup group;
    group.folder = folder;
    group.base = base;
    const std::size_t width = WidthOf(found);
    std::map<std::int64_t, std::string> numbered;
    for (const NumberedName& name : found) {
        const std::string canonical = NumberedPieceName(base, name.number, width);
        if (canonical == NumberedPieceName(base, name.number, name.digits)) {
            numbered.emplace(name.number, canonical);
        }
    }
    std::vector<std::string> names = {base};
    for (const auto& [number, name] : numbered) {
        names.push_back(name);
    }
    group.lists = ListsNaming(lists, names);
    std::int64_t last = numbered.empty() ? 1 : std::max<std::int64_t>(numbered.rbegin()->first, 1);
    // A piece the checksum file lists past the last one here is missing too: without it the
    // join would be short.
    for (const std::string& name : group.lists.NamesStarting(base + ".")) {
        const std::optional<NumberedName> listed = ParseNumberedName(name);
        if (listed && listed->base == base && NumberedPieceName(base, listed->number, width) == name) {
            last = std::max(last, listed->number);
        }
    }
    std::int64_t first = 1;
    if (numbered.count(0) != 0 && numbered.count(1) != 0) {
        const Entry zero = Look(folder, numbered[0]);
        const Entry one = Look(folder, numbered[1]);
        if (zero.regular && one.regular && zero.size >= one.size) {
            first = 0;
        } else {
            group.leftOut = numbered[0];
        }
    } else if (numbered.count(0) != 0) {
        group.leftOut = numbered[0];
    }
    group.digits = width;
    // Gaps are named up to a bound, so a stray high number costs little.
    constexpr int kMostGapsNamed = 1000;
    int gaps = 0;
    Status looked;
    for (std::int64_t n = first; n <= last && gaps < kMostGapsNamed; ++n) {
        NumberedSlot slot;
        slot.name = NumberedPieceName(base, n, width);
        slot.present = numbered.count(n) != 0;
        gaps += slot.present ? 0 : 1;
        if (slot.present) {
            const Entry entry = Look(folder, slot.name);
            if (looked.ok()) {
                looked = entry.looked;
            }
            slot.regular = entry.regular;
            slot.outside = entry.outside;
            slot.size = entry.size;
        }
        group.numbers.push_back(std::move(slot));
    }
    if (!group.lists.refused.empty()) {
        group.status = group.standing = OutsideLink(JoinPath(folder, group.lists.refused.front()));
        return group;
    }
    if (!group.lists.unread.ok() || !looked.ok()) {
        group.status = group.standing = looked.ok() ? group.lists.unread : looked;
        return group;
    }
    for (const NumberedSlot& slot : group.numbers) {
        if (!slot.present) {
            group.missingPiece = slot.name;
            group.status = Status::NotFound(Fill(Tr("missing %1"), {slot.name}));
            return group;
        }
        if (!slot.regular) {
            group.status = Status::InvalidArgument(
                Fill(Tr("not a regular file: %1"), {JoinPath(folder, slot.name)}));
            return group;
        }
        if (slot.outside) {
            group.status = OutsideLink(JoinPath(folder, slot.name));
            return group;
        }
    }
    for (const NumberedSlot& slot : group.numbers) {
        group.pieces.push_back(JoinPath(folder, slot.name));
        group.sizes.push_back(slot.size);
        group.totalSize += slot.size;
    }
    group.status = CheckNumberedSizes(group.pieces, group.sizes);
    return group;
}

}  // namespace

NumberedGroup FindNumberedGroup(const std::string& folder, const std::string& base) {
    FolderNames names = NumberedNamesIn(folder);
    if (!names.status.ok()) {
        NumberedGroup group;
        group.folder = folder;
        group.base = base;
        group.status = group.standing = names.status;
        return group;
    }
    return FindIn(folder, base, names.byBase[base], ReadFolderLists(folder));
}

Status FindNumberedGroups(const std::string& folder, std::vector<std::string>* bases) {
    FolderNames names = NumberedNamesIn(folder);
    *bases = names.status.ok() ? std::move(names.firsts) : std::vector<std::string>{};
    return names.status;
}

Status FindAllNumberedGroups(const std::string& folder, std::vector<NumberedGroup>* groups) {
    groups->clear();
    FolderNames names = NumberedNamesIn(folder);
    if (!names.status.ok()) {
        return names.status;
    }
    const FolderLists lists = ReadFolderLists(folder);
    for (const std::string& base : names.firsts) {
        groups->push_back(FindIn(folder, base, names.byBase[base], lists));
    }
    return Status::Ok();
}

Status FirstNumberedPieces(const std::string& folder, std::vector<std::string>* firsts) {
    firsts->clear();
    FolderNames names = NumberedNamesIn(folder);
    if (!names.status.ok()) {
        return names.status;
    }
    for (const std::string& base : names.firsts) {
        firsts->push_back(NumberedPieceName(base, 1, WidthOf(names.byBase[base])));
    }
    return Status::Ok();
}

}  // namespace brindle
