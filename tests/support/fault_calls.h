#pragma once

#include <functional>
#include <vector>

#include "io/file_io.h"

namespace brindle::test {

// The numbers, as a FaultPlan counts them from its start, of the calls of `kind` that `run`
// makes: a second run under a plan can fail one of them.
inline std::vector<int> CallsOf(io::Call kind, const std::function<void()>& run) {
    io::testing::FaultPlan plan;
    run();
    std::vector<int> found;
    for (int n = 1; n <= plan.Calls(); ++n) {
        if (plan.CallAt(n) == kind) {
            found.push_back(n);
        }
    }
    return found;
}

}  // namespace brindle::test
