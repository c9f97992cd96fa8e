#include "split/split_state.h"

namespace brindle {

SplitState& SharedSplitState() {
    static SplitState state;
    return state;
}

}  // namespace brindle
