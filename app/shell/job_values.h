#pragma once

#include <memory>

#include "join/join_state.h"
#include "shell/wizard_state.h"
#include "split/split_state.h"

namespace brindle::app {

// The values a job window carries from page to page: its split's or join's choices and what
// its wizard pages remember. Each top-level window has its own, so two windows side by side
// never run each other's job; a page that takes another's place takes its values on.
struct JobValues {
    SplitState split;
    JoinState join;
    WizardState wizard;
};

using JobValuesPtr = std::shared_ptr<JobValues>;

}  // namespace brindle::app
