#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "shell/progress.h"
#include "shell/status.h"

// Recovery data for a group of files, in PAR2 2.0 recovery files beside them: NAME.par2 (the
// description of the set) and NAME.volNN+MM.par2 (MM recovery blocks from number NN on). Any
// lost or damaged files of the set, up to as many blocks as the recovery files hold, are
// rebuilt from the files that are left.
//
// The block size. Every file is cut into whole blocks (its last one padded with zeros). The
// largest file is cut into kBlocksPerPiece blocks, so one lost piece costs that many
// recovery blocks, and the group holds at most kMaxBlocks blocks, above which the block
// grows; a block is a multiple of 4 bytes.
namespace brindle {
struct ChecksumLists;
struct GroupCheck;
}

namespace brindle::recovery {

inline constexpr int kBlocksPerPiece = 8;
inline constexpr int kMaxBlocks = 32768;
inline constexpr int kMinPercent = 1;
inline constexpr int kMaxPercent = 100;

struct Plan {
    std::int64_t blockSize = 0;
    int sourceBlocks = 0;      // blocks of all the files together
    int recoveryBlocks = 0;    // blocks of recovery data
    int rebuildableFiles = 0;  // lost files (the largest ones) the recovery data can rebuild
};

// The block size and the number of recovery blocks for `percent` of files of these sizes.
Plan PlanFor(const std::vector<std::int64_t>& fileSizes, int percent);

// NAME.par2 in `folder`, the file a recovery set is known by.
std::string IndexPath(const std::string& folder, const std::string& name);
// Every recovery file of `name` in `folder`: NAME.par2 and NAME.vol*.par2, sorted. Fails,
// naming why, when the folder cannot be listed: none found is then not known.
Status FindRecoveryFiles(const std::string& folder, const std::string& name, std::vector<std::string>* found);

struct WriteResult {
    Status status;
    Plan plan;
    std::vector<std::string> files;  // the recovery files written, NAME.par2 first
};

// Writes the recovery files of `files` (full paths, all in `folder`) as NAME.par2 and its
// volumes, `percent` (1..100) of their size. Each is written to a temporary and named only
// when all are complete; a failure or a stop (Progress::StopRequested, then Cancelled)
// leaves none of them. Earlier recovery files of `name` that describe only files named like
// `files` are replaced or removed; others make the write fail before anything is written.
// The bar moves from its value to its Max.
WriteResult WriteRecoveryFiles(const std::vector<std::string>& files, const std::string& folder,
                               const std::string& name, int percent, Progress& progress);

// Files whose recovery data is made as they are written, from the writer's own bytes,
// instead of by reading them back.
struct Feed {
    std::vector<std::string> files;   // full paths, all in the folder the recovery files go to
    std::vector<std::int64_t> sizes;
    std::vector<std::string> heads;   // each file's first 16 KiB (all of a shorter one)
    // Fills `buffer` with the `n` bytes of file `file` from `offset`. Called once for each
    // block, and a file's blocks one after another from its first: the writer writes them
    // as it goes.
    std::function<Status(std::size_t file, std::int64_t offset, unsigned char* buffer, std::size_t n)> read;
    // When given, called once every block has been read and before any recovery file has
    // its name: for a writer that names its files only once all are written.
    std::function<Status()> written;
};

// Whether `percent` of files of these sizes is made in one pass over them, every recovery
// block held whole in memory (256 MiB at most): what a Feed needs.
bool OnePass(const std::vector<std::int64_t>& fileSizes, int percent);

namespace testing {
// Makes OnePass and FitsOnePass refuse every set, so that writers and rebuilds take the road
// of large ones: their files written first, then read back.
void SetReadBack(bool readBack);
}  // namespace testing

// WriteRecoveryFiles for the files of `feed`, which OnePass must take.
WriteResult WriteRecoveryFiles(const Feed& feed, const std::string& folder, const std::string& name, int percent,
                               Progress& progress);

// InvalidArgument, naming the file, when recovery files of `name` in `folder` describe
// other files than ones named like `files`: a split asked for recovery data refuses them.
Status CheckRecoveryTargets(const std::string& folder, const std::string& name, const std::vector<std::string>& files);

// Removes NAME.par2 and NAME.vol*.par2 in `folder` when they describe files named only like
// `files` (an earlier split of the same source); others stay and `kept` says which.
Status RemoveOwnRecoveryFiles(const std::string& folder, const std::string& name,
                              const std::vector<std::string>& files, std::vector<std::string>* kept);

enum class FileState { kOk, kMissing, kDamaged };

struct Found;

struct FileCheck {
    std::string path;
    FileState state = FileState::kOk;
    int blocks = 0;     // the file's blocks
    int badBlocks = 0;  // of them, the ones to rebuild
};

// What the recovery files beside a group can do for it.
struct Check {
    Status status;         // not ok only when the recovery files could not be read at all
    bool present = false;  // recovery files lie there
    bool usable = false;   // and describe exactly these files
    std::string note;      // why they are not used, for showing
    std::vector<std::string> recoveryFiles;
    std::vector<FileCheck> files;  // one per file asked about, in order
    int faultyFiles = 0;           // missing or damaged
    int blocksNeeded = 0;          // damaged or missing blocks
    int blocksAvailable = 0;       // intact recovery blocks
    std::int64_t blockSize = 0;
    // What a rebuild needs of this check: which blocks are bad, which recovery blocks intact.
    std::shared_ptr<const Found> found;

    bool CanRebuild() const { return usable && faultyFiles > 0 && blocksNeeded <= blocksAvailable; }
    // Recovery data lacking for a rebuild, in blocks and bytes (0 when it can be done).
    int BlocksShort() const { return blocksNeeded > blocksAvailable ? blocksNeeded - blocksAvailable : 0; }
    std::int64_t BytesShort() const { return static_cast<std::int64_t>(BlocksShort()) * blockSize; }
};

struct Input {
    std::string folder;               // where NAME.par2 and its volumes are
    std::string name;                 // NAME
    std::vector<std::string> files;   // full paths of the group's files, in order
    // Files already known intact (a piece whose own header hash matched): only their first
    // 16 KiB and length are compared with the recovery files, and they are never rebuilt.
    std::vector<bool> trusted;
    // The trusted files were taken on their headers alone: a set that differs from one of
    // them is not used, and the caller checks the pieces' data before it says why.
    bool headersOnly = false;
    // The recovery packets are taken unhashed, every one counted as intact: a rebuild checks
    // what it rebuilds against the blocks' own MD5s, which a damaged packet fails, and the
    // caller then checks everything again. Saves hashing all the recovery data up front.
    bool packetsUnhashed = false;
    // Checksum lists naming files of the group: a file's own check, made on the bytes the
    // check reads anyway. A file its list vouches for that the set calls damaged means the
    // set is not the group's.
    std::shared_ptr<const ChecksumLists> lists = {};
};

// The input for a group of this program's pieces G(1).qmf... with G.par2: every piece of the
// group (as many as `check` found, or the recovery files describe when its first piece is
// not sound), those `check` found ok with their data hash trusted.
Input PieceGroupInput(const std::string& folder, const std::string& group, const GroupCheck& check);
// The same without reading the pieces' data: every piece whose header carries a data hash
// is trusted, and the recovery packets are taken unhashed, for a caller that checks each
// piece's data as it uses it (a join) and falls back to PieceGroupInput when one does not
// match or a rebuild fails its check.
Input PieceGroupInputByHeaders(const std::string& folder, const std::string& group);
// The same for numbered pieces NAME.001... with NAME.par2: the group's pieces and any lost past
// its highest one that the recovery files describe, none trusted, with the lists that name
// them; none when the recovery files describe nothing.
Input NumberedGroupInput(const std::string& folder, const std::string& base);

// Finds the missing and damaged files and blocks. Reads every file not trusted; the bar
// moves from its value to its Max by bytes read. A stop ends it as Cancelled.
Check CheckFiles(const Input& input, Progress& progress);

// "2 pieces damaged or missing; the recovery files can rebuild them", or why they cannot.
std::string Summary(const Check& check);

// The rebuilt files, as temporaries beside the ones they stand for. Each has been checked
// against the recovery files (its length, the MD5 of the whole file). The temporaries that
// are neither taken nor kept are removed when this goes.
class Rebuilt {
public:
    Rebuilt() = default;
    ~Rebuilt();
    Rebuilt(Rebuilt&& other) noexcept;
    Rebuilt& operator=(Rebuilt&& other) noexcept;
    Rebuilt(const Rebuilt&) = delete;
    Rebuilt& operator=(const Rebuilt&) = delete;

    struct Entry {
        std::size_t index = 0;   // of the file in Input::files
        std::string temporary;   // where its rebuilt bytes are
    };
    Status status;
    const std::vector<Entry>& entries() const { return entries_; }
    // Input::files with each rebuilt file replaced by its temporary: what a join reads.
    std::vector<std::string> Substituted(const std::vector<std::string>& files) const;
    // Moves every rebuilt file onto its own name. A damaged file there first moves aside,
    // hidden as .brindle-damaged-NAME, and is removed once the rebuilt one has its name.
    // Anything there that is not a regular file fails it before anything moves.
    Status PutInPlace(const std::vector<std::string>& files);
    void Add(std::size_t index, std::string temporary);
    void RemoveAll();

private:
    std::vector<Entry> entries_;
};

// InvalidArgument, naming it, when a faulty file of `check` is there but is not a regular
// file (a folder, a link): a repair refuses before it rebuilds anything.
Status PlacesFree(const Input& input, const Check& check);

// Rebuilds the faulty files of `check` (which must CanRebuild) into temporaries. The user's
// files are only read. The bar moves from its value to its Max; a stop or failure leaves no
// temporary. With `spareBeside` (a join's output), a temporary the files' own folder cannot
// take goes beside it: a join reads its pieces from a folder it may not write.
Rebuilt RebuildFiles(const Input& input, const Check& check, Progress& progress,
                     const std::string& spareBeside = {});

// The bytes of file `file` (of Input::files) from `offset`, handed on by a pass over the files.
using FileBytes = std::function<Status(std::size_t file, std::int64_t offset, const unsigned char* data, std::size_t n)>;

// Whether RebuildInOnePass can take `check`: every block to rebuild is held in memory at once
// (kOutputMemory, 256 MiB, and blocks of at most 32 MiB).
bool FitsOnePass(const Check& check);
// Per file of the check: its length, as the recovery files give it, when it is rebuilt; -1
// for a file that is there.
std::vector<std::int64_t> RebuiltLengths(const Check& check);
// Per file of the check: the MD5 of the whole file (lowercase hex) the recovery files give,
// for a caller that checks the bytes it writes; none when the check is not usable.
std::vector<std::string> FileMd5s(const Check& check);

// Rebuilds the faulty files of `check` (which must CanRebuild and FitsOnePass) in memory,
// reading every other block once and writing nothing: the blocks the files hold are handed
// to `bytes` in the order of Input::files and of their blocks as they are read (from one
// worker thread, one call after another), and the rebuilt blocks, once each matches the
// recovery files, last, in the same order. Only a file's own bytes are handed, not the
// blocks' padding. `tick` is told the bytes worked so far and of all on the caller's thread;
// false stops the pass (Cancelled). A failure of `bytes` ends the pass with it. Holds at most
// 384 MiB: the rebuilt blocks and two batches of input.
Status RebuildInOnePass(const Input& input, const Check& check, const FileBytes& bytes,
                        const std::function<bool(std::int64_t done, std::int64_t total)>& tick);

}  // namespace brindle::recovery
