#pragma once

#include <functional>
#include <string>
#include <vector>

#include "join/join_engine.h"
#include "recovery/recovery.h"

// The join of a group whose faulty pieces the recovery files beside it rebuild: one policy
// for the command and the windows, which differ only in how they ask and show.
namespace brindle {

// A join that failed on a piece's data (damaged, or of another split): what checking every
// piece against the recovery files may mend.
bool IsDataFault(const Status& status);

// Joins `input`'s files into params.outputPath with the faulty ones of `check` rebuilt in the
// same pass, each piece there read once for both. Only where recovery::FitsOnePass(check).
Status JoinRebuildingInOnePass(const recovery::Input& input, const recovery::Check& check, JoinParams params,
                               Progress& progress);

struct RebuildingJoinParams {
    std::string folder;
    std::string group;  // G of the program's pieces G(1).qmf..., or NAME of numbered NAME.001...
    bool numbered = false;
    std::string outputPath;
    bool replaceExisting = false;
    // The program's own pieces, all found: joined as they are first, each one's data checked
    // as it is copied, and the group checked only should one not match. Also what a join
    // without the recovery files reads.
    std::vector<std::string> pieces;
    // The program's own pieces are taken on their headers' hashes first, their data read
    // only where the headers cannot settle the check, or as the join copies it.
    bool onHeaders = false;
    // Where the check ends on the bar, which it then moves from 0 (after a join tried first);
    // 0: from the bar's value to its Max.
    int checkEnd = 0;
    // A rebuild into temporaries takes the first half of the join's bar, the join the rest;
    // else each moves all of it.
    bool shareBar = false;
};

// What the check against the recovery files found, or the join tried first.
struct Findings {
    recovery::Input input;  // no files when the recovery files describe none
    recovery::Check check;
    Status attempt;       // the join of params.pieces, when it was tried
    bool joined = false;  // that join settled it, well or not: `attempt` is the answer
};

// Whether to rebuild what `check` found, which it can: the user's say.
using AskRebuild = std::function<bool(const recovery::Check& check)>;

// Tries the join of params.pieces when given; unless that settles it, checks the group
// against its recovery files. On headers, a check they leave open (the set unused, or too
// little recovery data for what they could not vouch for) is made again on every piece's data.
Findings FindFaults(const RebuildingJoinParams& params, Progress& progress);

// The join after FindFaults. With `rebuild`, of the check's input, its faulty pieces rebuilt:
// in one pass with the join for the program's own pieces where the rebuilt blocks fit in
// memory, else into temporaries beside them (or the output) first, which the join reads in
// their places; `made` are such temporaries the caller rebuilt already. Numbered pieces are
// held to the recovery files' MD5s as they are written. Without `rebuild`, the join of
// params.pieces as without recovery files. Should a piece taken on its header not match,
// JoinRebuilding of every piece's data follows, asking `ask`.
Status JoinFound(const RebuildingJoinParams& params, const Findings& found, bool rebuild, const AskRebuild& ask,
                 Progress& progress, const recovery::Rebuilt* made = nullptr);

// FindFaults and JoinFound in one: a fault the recovery files cannot mend fails with why
// (recovery::Summary, or why the set is not used); one they can is rebuilt when `ask` says so.
Status JoinRebuilding(const RebuildingJoinParams& params, const AskRebuild& ask, Progress& progress);

}  // namespace brindle
