#pragma once

#include "cli.h"

namespace brindle {
struct SplitResult;
}

namespace brindle::cli {

// What both splits (own pieces and --raw) say of their outcome, and their exit: a stop
// (128 + signal), a refusal found once the split started and before anything was written (2),
// a failure while writing (1), or the files written, one a line (0).
int ReportSplit(const SplitResult& result, Console& console);

}  // namespace brindle::cli
