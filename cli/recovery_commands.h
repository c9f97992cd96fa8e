#pragma once

#include <string>
#include <vector>

#include "cli.h"
#include "shell/status.h"

namespace brindle {
struct GroupCheck;
}

// The commands' side of recovery files (NAME.par2 and its volumes beside a group).
namespace brindle::cli {

// A group the commands look at: this program's pieces G(1).qmf... or numbered NAME.001...
struct GroupRef {
    std::string folder;
    std::string name;  // G, or NAME
    bool numbered = false;
};

// Whether recovery files lie beside the group; fails, naming why, when its folder cannot be
// listed: a job then refuses rather than go without their check.
Status LookForRecoveryFiles(const GroupRef& group, bool* present);

// What a split with recovery data says: "The recovery files can rebuild up to 2 lost pieces."
std::string RebuildableText(int pieces);

// Joins a group that has recovery files: what is missing or damaged is rebuilt into
// temporaries, which are joined in the pieces' places; the user's pieces are only read.
// Too much damage refuses the join with how much recovery data is missing.
// Pieces of this program are taken on their headers first, each one's data checked as it is
// joined; should one not match, every piece is checked and what is faulty rebuilt again.
int JoinWithRecovery(const GroupRef& group, const std::string& out, bool force, Console& console);

// The name the joined file of these pieces takes: the one most of them store, empty when
// none can be read.
std::string JoinedName(const std::vector<std::string>& pieces, const std::string& group);

// A join of this program's pieces, all there, beside recovery files: the plain join, and
// should a piece's data not match, the join rebuilding it.
int JoinOrRebuild(const GroupRef& group, const std::vector<std::string>& pieces, const std::string& outputPath,
                  bool replaceExisting, Console& console);

// The verify line about the recovery files, after the pieces' own lines: what they can do
// for the faulty pieces, or that they describe another split. Exit code for the verify.
int ReportRecovery(const GroupRef& group, int faults, Console& console, const GroupCheck* known = nullptr);

}  // namespace brindle::cli
