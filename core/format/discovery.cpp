#include "format/discovery.h"

#include <algorithm>
#include <unordered_set>

#include "io/file_io.h"
#include "io/file_list.h"
#include "io/linked_files.h"
#include "shell/paths.h"
#include "shell/translate.h"

namespace brindle {

std::string GroupNameFromPiece(std::string_view pieceName) {
    const auto paren = pieceName.rfind('(');
    const std::string_view kept = paren == std::string_view::npos ? pieceName : pieceName.substr(0, paren);
    return GetFileName(kept);
}

Status FindGroups(const std::string& folder, std::vector<std::string>* groups) {
    groups->clear();
    std::vector<std::string> names;
    if (Status status = ListFiles(folder, "*.*", &names); !status.ok()) {
        return status;
    }
    std::unordered_set<std::string> seen;  // one look-up per file, not one per group found
    for (const std::string& name : names) {
        if (GetExtensionLetters(name) != kPieceExtension) {
            continue;
        }
        std::string group = GroupNameFromPiece(name);
        if (seen.insert(group).second) {
            groups->push_back(std::move(group));
        }
    }
    return Status::Ok();
}

std::string FirstPiecePath(const std::string& folder, const std::string& groupName) {
    return JoinPath(folder, *PieceFileName(groupName, 1));
}

Status ReadPieceHeader(const std::string& path, PieceHeader* header) {
    io::File file;
    Status status = CheckLinkInFolder(path);
    if (status.ok()) {
        status = file.OpenRead(path);
    }
    if (!status.ok()) {
        return status;
    }
    HeaderBytes bytes{};
    status = file.ReadExact(bytes.data(), bytes.size());
    if (!status.ok()) {
        return status.code() == Status::Code::kCorruption
                   ? Status::Corruption(
                         Fill(Tr("not a piece file (shorter than its header): %1"), {path}))
                   : status;
    }
    *header = DecodeHeader(bytes);
    return Status::Ok();
}

Status ReadGroupHeader(const std::string& folder, const std::string& groupName, PieceHeader* header) {
    const Status first = ReadPieceHeader(FirstPiecePath(folder, groupName), header);
    std::vector<PieceHeader> sound;
    if (first.ok()) {
        sound.push_back(*header);
    }
    std::vector<std::string> listed;
    // Which later pieces may outvote the first is not known from a folder that was not read.
    if (const Status status = io::ListFileNames(folder, true, &listed); !status.ok()) {
        return status;
    }
    const std::unordered_set<std::string> present(listed.begin(), listed.end());
    for (int i = 2; i <= kMaxPieces; ++i) {
        const std::optional<std::string> name = PieceFileName(groupName, i);
        PieceHeader later;
        if (name && present.count(*name) != 0 && ReadPieceHeader(JoinPath(folder, *name), &later).ok() &&
            later.PieceIndex == i && StoredSourceLength(later)) {
            sound.push_back(later);
        }
    }
    const std::optional<PieceHeader> agreed = MostStoredName(sound);
    if (!agreed) {
        return first;
    }
    *header = *agreed;
    return Status::Ok();
}

std::optional<PieceHeader> MostStoredName(const std::vector<PieceHeader>& headers) {
    const PieceHeader* best = nullptr;
    std::ptrdiff_t most = 0;
    for (const PieceHeader& header : headers) {
        const std::ptrdiff_t count = std::count_if(headers.begin(), headers.end(), [&](const PieceHeader& other) {
            return other.SourceName == header.SourceName;
        });
        if (count > most) {
            most = count;
            best = &header;
        }
    }
    return best != nullptr ? std::optional(*best) : std::nullopt;
}

GroupDetails DescribeGroup(const PieceHeader& firstPiece, char decimalSeparator) {
    const std::optional<std::int64_t> length = StoredSourceLength(firstPiece);
    return {StoredText(firstPiece.SourceName),
            length ? FormatSize(*length, decimalSeparator) : std::string("damaged header"),
            StoredText(firstPiece.SplitDate)};
}

std::string OriginalNameBytes(const PieceHeader& firstPiece) {
    // Our own pieces store the name's own bytes; an earlier writer's name that is not UTF-8 is
    // Windows-1252, readable elsewhere only once written as UTF-8.
    if (firstPiece.DataHash) {
        return StoredBytes(firstPiece.SourceName);
    }
    std::string reading = StoredText(firstPiece.SourceName);
    // One byte may read as three (0x80 is "€"): past the longest name a folder takes, the
    // stored bytes, which always fit, are the better name.
    return reading.size() <= kLongestFileName ? reading : StoredBytes(firstPiece.SourceName);
}

std::string SafeOriginalName(std::string_view originalName, const std::string& groupName) {
    std::string name = GetFileName(originalName);
    if (name.empty() || name == "." || name == "..") {
        name = groupName.empty() ? std::string("joined") : groupName;
    }
    return name;
}

std::string SafeOriginalName(const PieceHeader& firstPiece, const std::string& groupName) {
    return SafeOriginalName(OriginalNameBytes(firstPiece), groupName);
}

JoinPlan PlanJoin(const std::string& folder, const std::string& groupName) {
    JoinPlan plan;
    const std::string first = FirstPiecePath(folder, groupName);
    plan.status = ReadPieceHeader(first, &plan.firstPiece);
    if (!plan.status.ok()) {
        return plan;
    }
    if (!StoredSourceLength(plan.firstPiece)) {
        plan.status = Status::Corruption(
            Fill(Tr("the first piece's header is damaged (its length): %1"), {first}));
        return plan;
    }
    const std::int32_t count = plan.firstPiece.PieceCount;
    if (count < 1 || count > kMaxPieces) {
        plan.status =
            Status::Corruption(Fill(Tr("the first piece names an impossible number of pieces: %1"),
                                    {std::to_string(count)}));
        return plan;
    }
    // Exact names only: a piece whose name differs in letter case is not this group's.
    // Hidden names count too, since a group name may itself begin with ".".
    std::vector<std::string> listed;
    plan.status = io::ListFileNames(folder, true, &listed);
    if (!plan.status.ok()) {
        return plan;  // an unread folder lacks no piece
    }
    const std::unordered_set<std::string> present(listed.begin(), listed.end());
    plan.pieces.push_back(first);
    for (int i = 2; i <= count; ++i) {
        const std::string name = *PieceFileName(groupName, i);
        if (present.count(name) == 0) {
            bool there = false;
            plan.status = io::AnythingAt(JoinPath(folder, name), &there);
            if (!plan.status.ok()) {
                plan.pieces.clear();
                return plan;
            }
            if (there) {
                // A pipe, device or folder under a piece's name: there, but never read.
                plan.status = Status::InvalidArgument(
                    Fill(Tr("not a regular file: %1"), {JoinPath(folder, name)}));
                plan.pieces.clear();
                return plan;
            }
            plan.missingPiece = name;
            plan.pieces.clear();
            return plan;
        }
        plan.pieces.push_back(JoinPath(folder, name));
    }
    return plan;
}

}  // namespace brindle
