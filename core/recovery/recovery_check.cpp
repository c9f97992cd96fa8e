#include <algorithm>
#include <limits>
#include <map>

#include "checks/checksum_lists.h"
#include "format/checksums.h"
#include "format/discovery.h"
#include "format/numbered_group.h"
#include "recovery/recovery_internal.h"
#include "shell/paths.h"
#include "shell/translate.h"

// Checking a group's files against the recovery files beside it.
namespace brindle::recovery {
namespace {

// Why `set` does not speak for the group `input`, in `*why` (empty when it does); `entries`
// gets its description of each file. It must describe exactly the group's files, all but the
// last alike and at the length most pieces there have, never a piece shorter than the group
// vouches for, and every trusted file as it is: what it says beyond that would override the
// pieces' own checks.
Status Disagreement(const Input& input, const par2::Set& set, const std::vector<FileCheck>& files,
                    const std::string& shown, std::vector<const par2::FileEntry*>* entries, std::string* why) {
    std::map<std::string, const par2::FileEntry*> byName;
    for (const Md5& id : set.recoveryIds) {
        byName[set.files.at(id).name] = &set.files.at(id);
    }
    const std::string another =
        Fill(Tr("the recovery files %1 describe another split; they are not used"), {shown});
    std::size_t named = 0;
    for (const std::string& path : input.files) {
        const auto entry = byName.find(GetFileName(path));
        entries->push_back(entry == byName.end() ? nullptr : entry->second);
        named += entry == byName.end() ? 0 : 1;
    }
    if (input.files.empty() || named != input.files.size() || byName.size() != input.files.size()) {
        *why = named == byName.size() && named > 0
                   ? Fill(Tr("the recovery files %1 describe only some of these pieces; they are not used"), {shown})
                   : another;
        return Status::Ok();
    }
    const std::size_t n = input.files.size();
    std::vector<std::int64_t> lengths(n, -1);
    for (std::size_t f = 0; f < n; ++f) {
        if (files[f].state != FileState::kMissing) {
            if (Status measured = io::LengthOf(input.files[f], &lengths[f]); !measured.ok()) {
                return measured;
            }
        }
    }
    const auto described = [&entries](std::size_t f) { return static_cast<std::int64_t>((*entries)[f]->length); };
    const auto misfit = [&](std::size_t f) {
        *why = Fill(Tr("the recovery files %1 describe %2 as %3 bytes, which does not fit the group; they are not used"),
                    {shown, GetFileName(input.files[f]), std::to_string(described(f))});
        return Status::Ok();
    };
    const std::int64_t full = n > 1 ? described(0) : std::numeric_limits<std::int64_t>::max();
    std::map<std::int64_t, int> held;  // lengths of the pieces there but the last, how many have each
    std::size_t highest = n;           // the last file there
    for (std::size_t f = 0; f < n; ++f) {
        if (f + 1 < n && described(f) != full) {
            return misfit(f);
        }
        if (lengths[f] >= 0) {
            highest = f;
            held[lengths[f]] += f + 1 < n ? 1 : 0;
        }
    }
    if (described(n - 1) > full || described(n - 1) == 0) {
        return misfit(n - 1);
    }
    int most = 0;
    for (const auto& [length, count] : held) {
        most = std::max(most, count);
    }
    if (most > 0 && held[full] < most) {
        return misfit(0);
    }
    // A last piece longer than described, but not than the others: cutting it would be the set's word alone.
    if (lengths[n - 1] > described(n - 1) && lengths[n - 1] <= full) {
        return misfit(n - 1);
    }
    // Numbered pieces beyond a short one: that one was the last, and the set is of a longer file.
    const auto numbered = ParseNumberedName(GetFileName(input.files.back()));
    if (numbered && highest + 1 < n && lengths[highest] < full) {
        return misfit(highest);
    }
    // The program's pieces carry their group in their headers, at their heads: a set that
    // knows none of the heads there is of another split, whatever their blocks would say.
    const bool ownPieces = !numbered;
    int there = 0;
    int known = 0;
    for (std::size_t f = 0; f < n; ++f) {
        const bool trusted = f < input.trusted.size() && input.trusted[f];
        if (lengths[f] < 0 || (!trusted && !ownPieces)) {
            continue;
        }
        io::File in;
        Status status = in.OpenRead(input.files[f]);
        std::string head(static_cast<std::size_t>(std::min<std::int64_t>(lengths[f], par2::kHeadBytes)), '\0');
        if (status.ok()) {
            status = in.ReadExact(head.data(), head.size());
        }
        if (!status.ok()) {
            return status;
        }
        const bool same = lengths[f] == described(f) && par2::Md5Of(head) == (*entries)[f]->headMd5;
        ++there;
        known += same ? 1 : 0;
        // Its own check vouches for it: a set that describes it otherwise is another's.
        if (trusted && !same) {
            *why = another;
            return Status::Ok();
        }
    }
    if (ownPieces && there > 0 && known == 0) {
        *why = another;
    }
    return Status::Ok();
}

// Pieces 1 to `count` of `group` into `input`, each trusted as `trusted` (its number, its path) says.
void AddPieces(Input& input, std::size_t count, const std::function<bool(std::size_t, const std::string&)>& trusted) {
    for (std::size_t k = 1; k <= count; ++k) {
        const std::optional<std::string> piece = PieceFileName(input.name, static_cast<int>(k));
        if (!piece) {
            break;
        }
        input.files.push_back(JoinPath(input.folder, *piece));
        input.trusted.push_back(trusted(k, input.files.back()));
    }
}

// Whether a slice of `set` could be filled by a file of the group or a recovery block
// there: one larger than all of them would cost its declared size in padding to hash.
bool SlicesFit(const par2::Set& set, const Check& check) {
    std::uint64_t largest = 0;
    for (const FileCheck& file : check.files) {
        // One that cannot be measured counts as empty here: reading it fails, naming why.
        std::int64_t length = 0;
        if (file.state != FileState::kMissing && io::LengthOf(file.path, &length).ok()) {
            largest = std::max<std::uint64_t>(largest, static_cast<std::uint64_t>(length));
        }
    }
    for (const auto& [exponent, block] : set.blocks) {
        largest = std::max(largest, block.bytes);
    }
    return set.sliceSize <= (largest + 3) / 4 * 4;
}

std::string Counted(const char* text, int n) {
    return Fill(text, {std::to_string(n)});
}

}  // namespace

Input PieceGroupInput(const std::string& folder, const std::string& group, const GroupCheck& check) {
    Input input{folder, group, {}, {}, false};
    const std::size_t count = check.status.ok() ? check.pieces.size() : DescribedNames(folder, group).size();
    AddPieces(input, count, [&check](std::size_t k, const std::string&) {
        return check.status.ok() && check.dataCheckNote.empty() && check.pieces[k - 1].verdict == PieceVerdict::kOk;
    });
    return input;
}

Input PieceGroupInputByHeaders(const std::string& folder, const std::string& group) {
    Input input{folder, group, {}, {}, true, true};
    // Whether its header is the one the recovery set knows, CheckFiles tells by its head.
    AddPieces(input, DescribedNames(folder, group).size(), [](std::size_t k, const std::string& path) {
        PieceHeader header;
        return ReadPieceHeader(path, &header).ok() && header.DataHash.has_value() &&
               header.PieceIndex == static_cast<std::int32_t>(k);
    });
    return input;
}

Input NumberedGroupInput(const std::string& folder, const std::string& base) {
    Input input{folder, base, {}, {}, false};
    const std::vector<std::string> described = DescribedNames(folder, base);
    if (described.empty()) {
        return input;
    }
    // The group as it lies there, and the pieces lost past its highest one as the recovery
    // files describe them: a set that describes fewer is not the group's.
    std::map<std::int64_t, std::string> numbered;
    const NumberedGroup group = FindNumberedGroup(folder, base);
    input.lists = std::make_shared<ChecksumLists>(group.lists);
    for (const NumberedSlot& slot : group.numbers) {
        if (const auto parsed = ParseNumberedName(slot.name)) {
            numbered.emplace(parsed->number, slot.name);
        }
    }
    const std::int64_t highest = numbered.empty() ? -1 : numbered.rbegin()->first;
    for (const std::string& name : described) {
        const auto parsed = ParseNumberedName(name);
        if (parsed && parsed->base == base && parsed->number > highest) {
            numbered.emplace(parsed->number, name);
        }
    }
    for (const auto& [number, name] : numbered) {
        input.files.push_back(JoinPath(folder, name));
    }
    return input;
}

namespace {

// Which files of `input` are there at all, into check->files.
Status LookForFiles(const Input& input, Check* check) {
    check->files.resize(input.files.size());
    for (std::size_t f = 0; f < input.files.size(); ++f) {
        check->files[f].path = input.files[f];
        io::FileType type = io::FileType::kNone;
        if (Status status = io::TypeAt(input.files[f], &type); !status.ok()) {
            return status;
        }
        if (type != io::FileType::kRegular) {
            check->files[f].state = FileState::kMissing;
        }
    }
    return Status::Ok();
}

void CountFaulty(Check* check) {
    check->faultyFiles = static_cast<int>(std::count_if(check->files.begin(), check->files.end(),
                                                        [](const FileCheck& file) { return file.state != FileState::kOk; }));
}

// The first complete set of `scan` that agrees with the group, into `found`; what another
// says of it never counts. Without one, check->note says why.
Status ChooseSet(const Input& input, const par2::Scan& scan, const std::string& shown, Check* check, Found* found) {
    std::vector<par2::Set> sets = CompleteSets(scan);
    if (sets.empty()) {
        check->note = Fill(Tr("the recovery files %1 are damaged and cannot be used"), {shown});
        return Status::Ok();
    }
    std::string refused;
    std::vector<std::size_t> others;
    for (std::size_t k = 0; k < sets.size(); ++k) {
        std::vector<const par2::FileEntry*> entries;
        std::string why;
        if (!SlicesFit(sets[k], *check)) {
            why = Fill(Tr("the recovery files %1 declare blocks larger than any file here; they are not used"), {shown});
        } else if (Status status = Disagreement(input, sets[k], check->files, shown, &entries, &why); !status.ok()) {
            return status;
        }
        if (!why.empty() || !found->entries.empty()) {
            others.push_back(k);
            refused = refused.empty() ? why : refused;
            continue;
        }
        found->set = std::move(sets[k]);
        found->entries.clear();
        for (const par2::FileEntry* entry : entries) {
            found->entries.push_back(&found->set.files.at(entry->id));
        }
    }
    if (found->entries.empty()) {
        check->note = refused;
        return Status::Ok();
    }
    if (!others.empty()) {
        check->note = Fill(Tr("the recovery files %1 describe another split; they are not used"),
                           {ForeignFiles(check->recoveryFiles, found->set.id)});
    }
    return Status::Ok();
}

// Reads the files' blocks against the set's checks, the bar moving by bytes read.
class BlockChecker {
public:
    BlockChecker(const Input& input, const Check& check, const Found& found, Progress& progress)
        : input_(input), blockSize_(check.blockSize), meter_(progress, std::max<std::int64_t>(ToRead(input, check, found), 1), progress.Max()),
          buffer_(static_cast<std::size_t>(std::min<std::int64_t>(blockSize_, static_cast<std::int64_t>(kChunk)))) {}

    // File `f`'s bad blocks into `bad` and `file`; `vouched` when its checksum list vouches
    // for the bytes the set calls damaged: the set is another split's.
    Status CheckFile(std::size_t f, const par2::FileEntry& entry, FileCheck& file, std::vector<bool>& bad, bool* vouched) {
        const auto slices = static_cast<std::size_t>(Blocks(static_cast<std::int64_t>(entry.length), blockSize_));
        file.blocks = static_cast<int>(slices);
        bad.assign(slices, false);
        if (file.state == FileState::kMissing) {
            bad.assign(slices, true);
            file.badBlocks = static_cast<int>(slices);
            return Status::Ok();
        }
        if (f < input_.trusted.size() && input_.trusted[f]) {
            return Status::Ok();  // its own check vouches for its bytes, and the set agrees with its head
        }
        io::File in;
        std::int64_t size = 0;
        Status status = in.OpenRead(file.path);
        if (status.ok()) {
            status = in.Size(&size);
        }
        if (!status.ok()) {
            return status;
        }
        const std::string name = GetFileName(file.path);
        std::vector<std::unique_ptr<Digest>> own;
        if (input_.lists) {
            for (const DigestKind kind : KindsListed(*input_.lists, name)) {
                own.push_back(std::make_unique<Digest>(kind));
            }
        }
        for (std::size_t s = 0; s < slices; ++s) {
            const std::int64_t start = static_cast<std::int64_t>(s) * blockSize_;
            const std::int64_t there = std::clamp<std::int64_t>(size - start, 0, blockSize_);
            // A slice past the file's end, or holding bytes beyond its stored length, is lost,
            // and so is every one after it: no need to hash them.
            if (there != std::min<std::int64_t>(blockSize_, static_cast<std::int64_t>(entry.length) - start)) {
                bad[s] = true;
                ++file.badBlocks;
                continue;
            }
            bool match = false;
            if (status = CheckBlock(in, there, entry.slices[s], own, &match); !status.ok()) {
                return status;
            }
            bad[s] = !match;
            file.badBlocks += bad[s] ? 1 : 0;
        }
        if (file.badBlocks > 0 || static_cast<std::uint64_t>(size) != entry.length) {
            file.state = FileState::kDamaged;
        }
        // Its list vouches for every byte it holds: what the set says against it does not count.
        if (!own.empty() && file.state == FileState::kDamaged && static_cast<std::int64_t>(slices) * blockSize_ >= size) {
            std::map<DigestKind, std::string> computed;
            for (const auto& digest : own) {
                computed[digest->kind()] = digest->HexDigest();
            }
            *vouched = CompareListed(*input_.lists, name, file.path, computed).ok();
        }
        return Status::Ok();
    }

private:
    // Sizes to read, for the bar.
    static std::int64_t ToRead(const Input& input, const Check& check, const Found& found) {
        std::int64_t toRead = 0;
        for (std::size_t f = 0; f < input.files.size(); ++f) {
            const bool trusted = f < input.trusted.size() && input.trusted[f];
            if (!trusted && check.files[f].state != FileState::kMissing) {
                toRead += static_cast<std::int64_t>(found.entries[f]->length);
            }
        }
        return toRead;
    }

    // Reads the next block of `in`, `there` bytes of it real and the rest zeros, into its
    // MD5 and CRC-32 (and `own`, the real bytes), and whether they are `slice`'s.
    Status CheckBlock(io::File& in, std::int64_t there, const par2::SliceCheck& slice,
                      const std::vector<std::unique_ptr<Digest>>& own, bool* match) {
        Digest md5(DigestKind::kMd5);
        Digest crc(DigestKind::kCrc32);
        std::int64_t done = 0;
        while (done < blockSize_) {
            const auto n = static_cast<std::size_t>(std::min<std::int64_t>(blockSize_ - done, static_cast<std::int64_t>(buffer_.size())));
            const std::int64_t real = std::clamp<std::int64_t>(there - done, 0, static_cast<std::int64_t>(n));
            std::fill(buffer_.begin() + real, buffer_.begin() + static_cast<std::ptrdiff_t>(n), 0);
            if (real > 0) {
                if (Status status = in.ReadExact(buffer_.data(), static_cast<std::size_t>(real)); !status.ok()) {
                    return status;
                }
                for (const auto& digest : own) {
                    digest->Update(buffer_.data(), static_cast<std::size_t>(real));
                }
            }
            md5.Update(buffer_.data(), n);
            crc.Update(buffer_.data(), n);
            done += static_cast<std::int64_t>(n);
            read_ += real;
            if (!meter_(read_)) {
                return Status::Cancelled();
            }
        }
        *match = ToMd5(md5.RawDigest()) == slice.md5 && Crc(crc) == slice.crc;
        return Status::Ok();
    }

    const Input& input_;
    const std::int64_t blockSize_;
    ByteMeter meter_;
    std::vector<unsigned char> buffer_;
    std::int64_t read_ = 0;
};

}  // namespace

Check CheckFiles(const Input& input, Progress& progress) {
    Check check;
    check.status = LookForFiles(input, &check);
    if (!check.status.ok()) {
        return check;
    }
    check.status = ListRecoveryFiles(input.folder, input.name, &check.recoveryFiles);
    if (!check.status.ok()) {
        return check;
    }
    check.present = !check.recoveryFiles.empty();
    CountFaulty(&check);
    if (!check.present) {
        return check;
    }
    auto found = std::make_shared<Found>();
    found->recoveryFiles = check.recoveryFiles;
    par2::Scan scan;
    check.status = ScanFiles(check.recoveryFiles, &scan, progress, !input.packetsUnhashed);
    if (!check.status.ok()) {
        return check;
    }
    const std::string shown = GetFileName(check.recoveryFiles.front());
    check.status = ChooseSet(input, scan, shown, &check, found.get());
    if (!check.status.ok() || found->entries.empty()) {
        return check;
    }
    const par2::Set& ours = found->set;
    check.blockSize = static_cast<std::int64_t>(ours.sliceSize);
    found->badSlices.resize(input.files.size());
    for (const Md5& id : ours.recoveryIds) {
        for (std::size_t f = 0; f < input.files.size(); ++f) {
            if (found->entries[f]->id == id) {
                found->order.push_back(f);
            }
        }
    }
    BlockChecker checker(input, check, *found, progress);
    for (std::size_t f = 0; f < input.files.size(); ++f) {
        bool vouched = false;
        check.status = checker.CheckFile(f, *found->entries[f], check.files[f], found->badSlices[f], &vouched);
        if (!check.status.ok()) {
            return check;
        }
        if (vouched) {
            check.note = Fill(Tr("the recovery files %1 describe another split; they are not used"), {shown});
            return check;
        }
    }
    check.usable = true;
    for (const FileCheck& file : check.files) {
        check.blocksNeeded += file.badBlocks;
    }
    for (const auto& [exponent, block] : ours.blocks) {
        if (block.bytes == ours.sliceSize && exponent < 65535) {
            ++check.blocksAvailable;
        }
    }
    CountFaulty(&check);
    check.found = found;
    return check;
}

std::string Summary(const Check& check) {
    if (check.faultyFiles == 0) {
        return {};
    }
    const auto n = static_cast<unsigned long>(check.faultyFiles);
    const std::string count = std::to_string(check.faultyFiles);
    if (!check.present) {
        return Fill(
            TrN("%1 piece damaged or missing; there are no recovery files to rebuild it",
                "%1 pieces damaged or missing; there are no recovery files to rebuild them", n),
            {count});
    }
    if (!check.usable) {
        return Fill(TrN("%1 piece damaged or missing; %2", "%1 pieces damaged or missing; %2", n),
                    {count, check.note});
    }
    if (check.CanRebuild()) {
        return Fill(TrN("%1 piece damaged or missing; the recovery files can rebuild it",
                        "%1 pieces damaged or missing; the recovery files can rebuild them", n),
                    {count});
    }
    // Four counts, each with its own plural: one clause each.
    return Fill(
        TrN("%1 piece damaged or missing; the recovery files cannot rebuild it: %2 and %3, %4",
            "%1 pieces damaged or missing; the recovery files cannot rebuild them: %2 and %3, %4",
            n),
        {count,
         Counted(TrN("%1 block is needed", "%1 blocks are needed",
                     static_cast<unsigned long>(check.blocksNeeded)),
                 check.blocksNeeded),
         Counted(TrN("%1 recovery block is there", "%1 recovery blocks are there",
                     static_cast<unsigned long>(check.blocksAvailable)),
                 check.blocksAvailable),
         Fill(TrN("%1 block (%2) of recovery data missing",
                  "%1 blocks (%2) of recovery data missing",
                  static_cast<unsigned long>(check.BlocksShort())),
              {std::to_string(check.BlocksShort()), FormatSize(check.BytesShort())})});
}

}  // namespace brindle::recovery
