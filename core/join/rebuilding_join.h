#pragma once

#include "join/join_engine.h"
#include "recovery/recovery.h"

// The join of a group whose faulty pieces the recovery files beside it rebuild.
namespace brindle {

// A join that failed on a piece's data (damaged, or of another split): what checking every
// piece against the recovery files may mend.
bool IsDataFault(const Status& status);

// Joins `input`'s files into params.outputPath with the faulty ones of `check` rebuilt in the
// same pass, each piece there read once for both. Only where recovery::FitsOnePass(check).
Status JoinRebuildingInOnePass(const recovery::Input& input, const recovery::Check& check, JoinParams params,
                               Progress& progress);

}  // namespace brindle
