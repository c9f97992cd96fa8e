#include "join/numbered_join.h"

#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <unordered_set>

#include "checks/hash_pool.h"
#include "io/atomic_file.h"
#include "io/file_io.h"
#include "io/linked_files.h"
#include "join/join_engine.h"
#include "shell/paths.h"
#include "shell/translate.h"

namespace brindle {
namespace {

constexpr const char* kLinkedOut = "a link to a file outside its folder";

std::vector<std::unique_ptr<Digest>> MakeDigests(const std::vector<DigestKind>& kinds) {
    std::vector<std::unique_ptr<Digest>> digests;
    for (const DigestKind kind : kinds) {
        digests.push_back(std::make_unique<Digest>(kind));
    }
    return digests;
}

std::vector<Digest*> Borrowed(const std::vector<std::unique_ptr<Digest>>& digests) {
    std::vector<Digest*> borrowed;
    for (const auto& digest : digests) {
        borrowed.push_back(digest.get());
    }
    return borrowed;
}

std::map<DigestKind, std::string> HexDigests(const std::vector<std::unique_ptr<Digest>>& digests) {
    std::map<DigestKind, std::string> computed;
    for (const auto& digest : digests) {
        computed[digest->kind()] = digest->HexDigest();
    }
    return computed;
}

// Copies the pieces into the output. Where checksum lists name them, what was written is
// checked behind the copy: once a piece is in the output, workers hash its range read back
// from the output against every list that names the piece, side by side, and one more worker
// feeds the ranges in order to the digests of NAME that lists expect. A mismatch stops the
// copy; nothing is published.
Status CopyNumberedPieces(const NumberedGroup& group, const std::vector<std::string>& md5, io::AtomicFile& output,
                          int step, Progress& progress) {
    const auto described = [&md5](std::size_t i) { return i < md5.size() && !md5[i].empty(); };
    const std::vector<std::unique_ptr<Digest>> whole = MakeDigests(KindsListed(group.lists, group.base));
    std::deque<std::vector<std::unique_ptr<Digest>>> own;  // each listed piece's, until the hashing ends
    std::int64_t copyBytes = 0;
    std::int64_t hashBytes = 0;
    for (std::size_t i = 0; i < group.pieces.size(); ++i) {
        const bool listed = group.lists.Lists(group.numbers[i].name);
        copyBytes += group.sizes[i];
        hashBytes += group.sizes[i] * ((listed || described(i) ? 1 : 0) + (whole.empty() ? 0 : 1));
    }
    // The digests of NAME run on one worker, range after range, and take longest: leave it a core.
    const unsigned cores = HashPool::DefaultThreads();
    const unsigned sideBySide = whole.empty() ? cores : std::max(1U, cores - 1);
    HashPool pieces(hashBytes > 0 ? sideBySide : 0);
    HashPool ordered(whole.empty() ? 0 : 1);
    pieces.ShareCoresWithCopy();
    std::optional<CopyHashBar> both;
    if (hashBytes > 0) {
        both.emplace(progress, copyBytes + hashBytes, std::vector<HashPool*>{&pieces, &ordered});
    }
    PieceCopy each;
    each.open = [&](std::size_t i, io::File& piece) {
        const std::string& path = group.pieces[i];
        Status status = CheckLinkInFolder(path);
        if (status.ok()) {
            status = piece.OpenRead(path);
        }
        std::int64_t now = 0;
        if (status.ok()) {
            status = piece.Size(&now);
        }
        // Join only what was checked: a piece still being downloaded may have grown.
        if (status.ok() && now != group.sizes[i]) {
            status = Status::Corruption(Fill(Tr("the piece changed during the join: %1"), {path}));
        }
        return status;
    };
    each.written = [&](std::size_t i, std::int64_t offset) {
        const std::int64_t size = group.sizes[i];
        const std::vector<DigestKind> kinds = KindsListed(group.lists, group.numbers[i].name);
        io::File written;
        Status status;
        const bool checked = !kinds.empty() || described(i);
        if (checked) {
            status = output.OpenWritten(&written);
        }
        if (status.ok() && checked) {
            const auto* mine = &own.emplace_back(MakeDigests(kinds));
            // The recovery files' MD5 last, beside the lists' own digests.
            Digest* recovered = described(i) ? own.emplace_back(MakeDigests({DigestKind::kMd5})).front().get() : nullptr;
            std::vector<Digest*> feed = Borrowed(*mine);
            if (recovered != nullptr) {
                feed.push_back(recovered);
            }
            pieces.Feed(std::move(written), offset, size, feed, [&group, &md5, i, mine, recovered] {
                Status matched = mine->empty() ? Status::Ok()
                                              : CompareListed(group.lists, group.numbers[i].name, group.pieces[i], HexDigests(*mine));
                if (matched.ok() && recovered != nullptr && recovered->HexDigest() != md5[i]) {
                    matched = Status::Corruption(Fill(Tr("%1 does not match the recovery files"), {group.numbers[i].name}));
                }
                return matched;
            });
        }
        if (status.ok() && !whole.empty()) {
            status = output.OpenWritten(&written);
            if (status.ok()) {
                ordered.Feed(std::move(written), offset, size, Borrowed(whole));
            }
        }
        return status;
    };
    Status status = CopyPieceByPiece(group.sizes, output, step, progress, both ? &*both : nullptr, each);
    if (status.ok() && !whole.empty()) {
        status = CompareListed(group.lists, group.base,
                               Fill(Tr("the joined file %1"), {group.base}), HexDigests(whole));
    }
    return status;
}

}  // namespace

Status JoinNumberedPieces(const NumberedJoinParams& params, Progress& progress) {
    if (params.outputPath.empty() || GetFileName(params.outputPath).empty()) {
        return Status::InvalidArgument(Tr("no file to write was given"));
    }
    NumberedGroup group = FindNumberedGroup(params.folder, params.base);
    if (!params.pieces.empty() && params.readFrom.size() == params.pieces.size()) {
        // What stands for the group holds every piece that lies there: a few of them are not the file.
        for (const NumberedSlot& slot : group.numbers) {
            const bool given = std::any_of(params.pieces.begin(), params.pieces.end(),
                                           [&slot](const std::string& piece) { return GetFileName(piece) == slot.name; });
            if (slot.present && !given) {
                return Status::InvalidArgument(
                    Fill(Tr("the pieces to join leave out %1"), {JoinPath(params.folder, slot.name)}));
            }
        }
        group.numbers.clear();
        group.sizes.clear();
        for (std::size_t i = 0; i < params.pieces.size(); ++i) {
            NumberedSlot slot;
            slot.name = GetFileName(params.pieces[i]);
            slot.present = slot.regular = true;
            if (Status measured = io::LengthOf(params.readFrom[i], &slot.size); !measured.ok()) {
                return measured;
            }
            group.numbers.push_back(slot);
            group.sizes.push_back(slot.size);
        }
        group.pieces = params.readFrom;
        // Rebuilt pieces lift a gap or a short piece, never what the lists or links refused.
        group.status = group.standing.ok() ? CheckNumberedSizes(params.pieces, group.sizes) : group.standing;
    }
    if (!group.Ready()) {
        return group.status;
    }
    Status status = CheckJoinTarget(group.pieces, params.outputPath, params.replaceExisting);
    if (!status.ok()) {
        return status;
    }
    const int step = progress.Max() / static_cast<int>(group.pieces.size());
    io::AtomicFile output(params.outputPath);
    status = output.Open();
    if (status.ok()) {
        status = CopyNumberedPieces(group, params.md5, output, step, progress);
    }
    return status.ok() ? PublishJoined(output, params.replaceExisting, progress) : status;
}

NumberedCheck CheckNumberedGroup(const std::string& folder, const std::string& base) {
    NumberedCheck check;
    const NumberedGroup group = FindNumberedGroup(folder, base);
    check.checksumFiles = group.lists.files;
    check.unreadLines = group.lists.badLines;
    check.totalSize = group.totalSize;
    check.pieceCount = static_cast<int>(group.numbers.size());

    const auto& numbers = group.numbers;
    const auto readable = [](const NumberedSlot& slot) { return slot.present && slot.regular && !slot.outside; };
    const bool allThere = std::all_of(numbers.begin(), numbers.end(), readable);
    std::int64_t full = 0;
    for (std::size_t i = 0; i + 1 < numbers.size() || (numbers.size() == 1 && i == 0); ++i) {
        full = std::max(full, numbers[i].size);
    }
    // The joined bytes are hashed from the pieces in order, in the same reads as the pieces.
    const std::vector<std::unique_ptr<Digest>> joined =
        MakeDigests(allThere ? KindsListed(group.lists, base) : std::vector<DigestKind>{});
    bool joinedReadable = allThere;
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        const NumberedSlot& slot = numbers[i];
        NumberedCheckLine line{slot.name, "ok", {}, false};
        const bool last = i + 1 == numbers.size();
        if (!slot.present) {
            line = {slot.name, "missing", {}, true};
        } else if (!slot.regular) {
            line = {slot.name, "not a regular file", {}, true};
        } else if (slot.outside) {
            line = {slot.name, kLinkedOut, kLinkedOut + (": " + JoinPath(folder, slot.name)), true};
        } else if (!last && slot.size != full) {
            line = {slot.name, "shorter than the others", std::to_string(slot.size) + " bytes, not " + std::to_string(full), true};
        } else if (last && (slot.size > full || slot.size == 0)) {
            line = {slot.name, slot.size == 0 ? "empty" : "longer than the others", {}, true};
        }
        if (readable(slot)) {
            const std::vector<std::unique_ptr<Digest>> own = MakeDigests(KindsListed(group.lists, slot.name));
            std::vector<Digest*> feed = Borrowed(own);
            const std::vector<Digest*> alsoJoined = Borrowed(joined);
            feed.insert(feed.end(), alsoJoined.begin(), alsoJoined.end());
            if (!feed.empty()) {
                const std::string path = JoinPath(folder, slot.name);
                Status status = FeedFile(path, feed);
                if (status.ok()) {
                    status = CompareListed(group.lists, slot.name, path, HexDigests(own));
                } else {
                    joinedReadable = false;
                }
                if (!status.ok() && !line.fault) {
                    line = {slot.name, "damaged", status.message(), true};
                }
            }
        }
        check.lines.push_back(std::move(line));
    }
    if (!group.leftOut.empty()) {
        check.lines.push_back({group.leftOut, "not a piece", "smaller than " + NumberedPieceName(base, 1, group.digits), false});
    }
    if (group.lists.Lists(base)) {
        NumberedCheckLine line{base + " (joined)", "ok", {}, false};
        const std::map<DigestKind, std::string> computed = HexDigests(joined);
        if (!joinedReadable) {
            line.verdict = "not checked";
            line.reason = "the pieces are not all there";
        } else if (const Status status = CompareListed(
                       group.lists, base, Fill(Tr("the joined file %1"), {base}), computed);
                   !status.ok()) {
            line = {line.name, "damaged", status.message(), true};
        }
        check.lines.push_back(std::move(line));
    }
    // The disk would not tell what is there, or give a list that may speak for the group.
    if (group.status.code() == Status::Code::kIoError) {
        check.lines.push_back({base, "not checked", group.status.message(), true});
    }
    for (const std::string& list : group.lists.refused) {
        check.lines.push_back({list, kLinkedOut, kLinkedOut + (": " + JoinPath(folder, list)), true});
    }
    // Listed but absent, and not one of this group's pieces (those are named above).
    std::vector<std::string> files;
    const Status listing = io::ListFileNames(folder, true, &files);
    if (!listing.ok() && group.status.code() != Status::Code::kIoError) {
        check.lines.push_back({base, "not checked", listing.message(), true});
    }
    const std::unordered_set<std::string> present(files.begin(), files.end());
    // An unread folder shows no name as absent.
    const std::map<std::string, std::string> named = listing.ok() ? group.lists.Names() : std::map<std::string, std::string>{};
    for (const auto& [listed, listFile] : named) {
        const std::string& name = listed;  // clang before 16 cannot capture a structured binding
        const bool slotted =
            std::any_of(numbers.begin(), numbers.end(), [&](const NumberedSlot& n) { return n.name == name; });
        if (name == base || slotted || present.count(name) != 0) {
            continue;
        }
        check.lines.push_back({name, "listed in " + listFile + ", not there", {}, false});
    }
    check.joinable = group.Ready() &&
                     std::none_of(check.lines.begin(), check.lines.end(), [](const NumberedCheckLine& l) { return l.fault; });
    return check;
}

}  // namespace brindle
