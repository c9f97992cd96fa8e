#include "format/checksums.h"

#include <algorithm>
#include <cctype>
#include <deque>
#include <memory>
#include <string_view>

#include "checks/checksum_lists.h"
#include "checks/hash_pool.h"
#include "format/discovery.h"
#include "format/group_checks.h"
#include "format/piece_format.h"
#include "io/atomic_file.h"
#include "io/file_io.h"
#include "io/linked_files.h"
#include "shell/paths.h"
#include "shell/translate.h"

namespace brindle {
namespace {

constexpr std::size_t kDigestLength = 64;
constexpr std::string_view kSplitLine = "# Tarnwick Brindle checksums of the split with GroupId ";

// sha256sum writes a name holding a backslash or a line break escaped, the line marked "\".
std::string ChecksumLine(const std::string& digest, const std::string& name) {
    if (name.find_first_of("\\\n\r") == std::string::npos) {
        return digest + "  " + name + "\n";
    }
    std::string escaped;
    for (const char c : name) {
        if (c == '\\') {
            escaped += "\\\\";
        } else if (c == '\n') {
            escaped += "\\n";
        } else if (c == '\r') {
            escaped += "\\r";
        } else {
            escaped += c;
        }
    }
    return "\\" + digest + "  " + escaped + "\n";
}

Status SizeOf(const std::string& path, std::int64_t* size) {
    io::File file;
    Status status = file.OpenRead(path);
    return status.ok() ? file.Size(size) : status;
}

// The GroupId on a first line this program wrote.
std::optional<std::int32_t> SplitOfLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    if (line.substr(0, kSplitLine.size()) != kSplitLine) {
        return std::nullopt;
    }
    const std::string_view digits = line.substr(kSplitLine.size());
    if (digits.empty() || digits.size() > 9 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(std::stol(std::string(digits)));
}

}  // namespace

std::string ChecksumFilePath(const std::string& folder, const std::string& groupName) {
    return JoinPath(folder, groupName + ".sha256");
}

Status WriteChecksumFile(const std::string& folder, const std::string& groupName, std::int32_t groupId,
                         const std::vector<std::string>& piecePaths, const std::vector<std::string>& digests) {
    std::string text = std::string(kSplitLine) + std::to_string(groupId) + "\n";
    for (std::size_t i = 0; i < piecePaths.size(); ++i) {
        text += ChecksumLine(digests.at(i), GetFileName(piecePaths[i]));
    }
    io::AtomicFile out(ChecksumFilePath(folder, groupName));
    Status status = out.Open();
    if (status.ok()) {
        status = out.file().WriteAll(text.data(), text.size());
    }
    return status.ok() ? out.Commit(io::AtomicFile::Move::kReplace) : status;
}

Status ReadChecksumFile(const std::string& path, ChecksumList* list, std::optional<std::int32_t>* groupId) {
    // A file that could not be looked at is no absent one: the check it holds would be skipped.
    io::FileType type = io::FileType::kNone;
    Status status = io::TypeAt(path, &type);
    if (status.ok() && type != io::FileType::kRegular) {
        return Status::NotFound(Fill(Tr("no checksum file: %1"), {path}));
    }
    if (status.ok()) {
        status = CheckLinkInFolder(path);
    }
    // A checksum line is under 4 KiB and a group has at most kMaxPieces pieces.
    std::string text;
    if (status.ok()) {
        status = io::ReadSmallFile(path, std::int64_t{kMaxPieces} * 4096,
                                   Tr("the checksum file is too large to be one: %1"), &text);
    }
    if (!status.ok()) {
        return status;
    }
    text = std::string(WithoutByteOrderMark(text));
    list->clear();
    if (groupId != nullptr) {
        *groupId = SplitOfLine(std::string_view(text).substr(0, text.find('\n')));
    }
    std::size_t start = 0;
    int lineNumber = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        ++lineNumber;
        std::string_view line = std::string_view(text).substr(start, end - start);
        start = end + 1;
        if (line.empty() || line.front() == '#') {
            continue;  // as sha256sum skips comments
        }
        if (line.back() == '\r') {
            line.remove_suffix(1);
        }
        ListedName entry;
        if (!ParseHashLine(line, kDigestLength, &entry)) {
            return Status::Corruption(Fill(Tr("line %1 of %2 is not a checksum line"),
                                           {std::to_string(lineNumber), path}));
        }
        (*list)[entry.name] = entry.hex;
    }
    return Status::Ok();
}

Status LoadGroupChecksums(const std::string& folder, const std::string& groupName, std::int32_t groupId,
                          const std::vector<std::string>& pieceNames, GroupChecksums* checksums) {
    const std::string path = ChecksumFilePath(folder, groupName);
    std::optional<std::int32_t> split;
    const Status status = ReadChecksumFile(path, &checksums->list, &split);
    if (status.code() == Status::Code::kNotFound) {
        return Status::Ok();
    }
    if (!status.ok()) {
        return status;
    }
    const std::string name = GetFileName(path);
    if (split && *split != groupId) {
        checksums->note = Fill(Tr("%1 belongs to another split; not used"), {name});
    } else if (!split && std::none_of(pieceNames.begin(), pieceNames.end(), [&](const std::string& piece) {
                   return checksums->list.count(piece) != 0;
               })) {
        checksums->note = Fill(Tr("%1 lists none of these pieces; not used"), {name});
    } else {
        checksums->used = true;
        return Status::Ok();
    }
    checksums->list.clear();
    return Status::Ok();
}

const char* VerdictText(PieceVerdict verdict) {
    switch (verdict) {
        case PieceVerdict::kOk: return "ok";
        case PieceVerdict::kMissing: return "missing";
        case PieceVerdict::kForeign: return "from another split";
        case PieceVerdict::kDamaged: return "damaged";
        case PieceVerdict::kNotRegular: return "not a regular file";
        case PieceVerdict::kLinkedOut: return "a link to a file outside its folder";
    }
    return "damaged";
}

bool GroupCheck::Joinable() const {
    if (!status.ok() || pieces.empty() || dataBytes != sourceLength) {
        return false;
    }
    return std::all_of(pieces.begin(), pieces.end(),
                       [](const PieceCheck& piece) { return piece.verdict == PieceVerdict::kOk; });
}

GroupCheck CheckGroup(const std::string& folder, const std::string& groupName) {
    GroupCheck check;
    PieceHeader first;
    const std::string firstPath = FirstPiecePath(folder, groupName);
    check.status = ReadPieceHeader(firstPath, &first);
    if (check.status.ok()) {
        check.status = CheckFirstPiece(first, firstPath);
    }
    if (!check.status.ok()) {
        return check;
    }
    check.sourceLength = *StoredSourceLength(first);

    std::vector<std::string> names;
    for (int i = 1; i <= first.PieceCount; ++i) {
        names.push_back(*PieceFileName(groupName, i));
    }
    GroupChecksums checksums;
    check.status = LoadGroupChecksums(folder, groupName, first.GroupId, names, &checksums);
    if (!check.status.ok()) {
        return check;
    }
    check.checksumsChecked = checksums.used;
    check.checksumNote = checksums.note;

    std::vector<std::string> present;
    check.status = io::ListFileNames(folder, true, &present);
    if (!check.status.ok()) {
        return check;
    }
    std::deque<std::unique_ptr<PieceHashes>> checks;  // outlive the pool that feeds them
    HashPool hashing;  // the pieces are hashed side by side while the rest are looked at
    std::vector<std::pair<std::size_t, std::size_t>> hashed;  // piece, job; one per entry of `checks`
    std::vector<std::size_t> withoutHash;  // pieces in their place that carry no data hash
    bool anyHash = false;
    for (int i = 1; i <= first.PieceCount; ++i) {
        PieceCheck piece;
        piece.name = names[static_cast<std::size_t>(i - 1)];
        const std::string path = JoinPath(folder, piece.name);
        PieceHeader header;
        std::int64_t size = 0;
        bool there = false;
        if (std::find(present.begin(), present.end(), piece.name) == present.end()) {
            if (Status looked = io::AnythingAt(path, &there); !looked.ok()) {
                piece.verdict = PieceVerdict::kDamaged;  // as for an unreadable piece: not known sound
                piece.reason = looked.message();
            } else {
                piece.verdict = there ? PieceVerdict::kNotRegular : PieceVerdict::kMissing;
            }
        } else if (Status linked = CheckLinkInFolder(path); !linked.ok()) {
            piece.verdict = linked.code() == Status::Code::kIoError ? PieceVerdict::kDamaged : PieceVerdict::kLinkedOut;
            piece.reason = linked.message();
        } else if (Status read = ReadPieceHeader(path, &header); !read.ok()) {
            piece.verdict = PieceVerdict::kDamaged;
            piece.reason = read.message();
        } else if (header.GroupId != first.GroupId) {
            piece.verdict = PieceVerdict::kForeign;
        } else if (Status sized = SizeOf(path, &size); !sized.ok()) {
            piece.verdict = PieceVerdict::kDamaged;
            piece.reason = sized.message();
        } else {
            const std::int64_t data = size - static_cast<std::int64_t>(kHeaderSize);
            check.dataBytes += data;
            anyHash = anyHash || header.DataHash.has_value();
            piece.fault = PlaceFault(first, header, i, data);
            if (piece.fault.empty() && !header.DataHash) {
                withoutHash.push_back(check.pieces.size());
            }
            if (!piece.fault.empty()) {
                piece.verdict = PieceVerdict::kDamaged;
            } else if (header.DataHash || check.checksumsChecked) {
                // One read of the data feeds both hashes.
                const auto entry = checksums.list.find(piece.name);
                io::File file;
                HeaderBytes bytes{};
                Status opened =
                    check.checksumsChecked && entry == checksums.list.end()
                        ? Status::Corruption(Fill(Tr("the checksum file does not list %1"), {path}))
                        : file.OpenRead(path);
                if (opened.ok()) {
                    opened = file.ReadExact(bytes.data(), bytes.size());
                }
                if (opened.ok()) {
                    PieceHashes* hashes = checks
                                              .emplace_back(std::make_unique<PieceHashes>(
                                                  bytes, check.checksumsChecked ? &entry->second : nullptr))
                                              .get();
                    hashed.emplace_back(check.pieces.size(),
                                        hashing.Feed(std::move(file), static_cast<std::int64_t>(kHeaderSize), data,
                                                     hashes->digests(), [hashes, path] { return hashes->Check(path); }));
                } else {
                    piece.verdict = PieceVerdict::kDamaged;
                    piece.reason = opened.message();
                }
            }
        }
        check.pieces.push_back(std::move(piece));
    }
    hashing.Wait();
    for (std::size_t k = 0; k < hashed.size(); ++k) {
        const auto [index, job] = hashed[k];
        if (!hashing.status(job).ok()) {
            check.pieces[index].verdict = PieceVerdict::kDamaged;
            if (checks[k]->dataMismatch()) {
                check.pieces[index].fault = kDataHashFault;
            } else {
                check.pieces[index].reason = hashing.status(job).message();
            }
        }
    }
    // One split writes the data hash into every piece or into none.
    if (!anyHash) {
        check.dataCheckNote = Tr("no data check in these pieces");
    }
    for (const std::size_t index : withoutHash) {
        if (anyHash && check.pieces[index].verdict == PieceVerdict::kOk) {
            check.pieces[index].verdict = PieceVerdict::kForeign;
            check.pieces[index].fault = "carries no data check, unlike the other pieces";  // for scripts
        }
    }
    return check;
}

}  // namespace brindle
