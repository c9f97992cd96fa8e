#pragma once

#include <string>
#include <vector>

#include "join/join_controls.h"
#include "shell/status.h"

class QWidget;

namespace brindle::app {

class JobRunner;

// Recovery files (NAME.par2 and its volumes) lie beside the group; this lists its folder.
// `listed` says why a folder could not be listed: a job refuses then.
bool HasRecoveryFiles(const std::string& folder, const std::string& group, Status* listed);

// The join of `state`'s group when recovery files lie beside it; `pieces` are
// those found, empty when one is missing or unsound. All of the program's own pieces there:
// the join runs at once, each piece's data checked as it is copied. Otherwise, or when a
// piece's data does not match (that join is taken back), a stage of the join on `runner`
// checks the pieces, the program's own by their headers' hashes and what is not sound against
// the recovery files (the first third of the bar; Cancel stops it). When some are missing or
// damaged and the recovery files can rebuild them, the user is asked once (default Yes): they
// are rebuilt into temporaries beside them, which the join reads in their place, the user's
// pieces only read. When the recovery files cannot, the join is refused with the reason, how
// much recovery data is missing when there is too little. With nothing to rebuild, or No, the
// join goes on as without them. `then` hears as ClickJoin's does.
void JoinWithRebuild(QWidget* window, JobRunner& runner, const JoinState& state, std::vector<std::string> pieces,
                     const std::string& target, bool replaceExisting, JoinClicked then);

}  // namespace brindle::app
