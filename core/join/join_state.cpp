#include "join/join_state.h"

namespace brindle {

JoinState& SharedJoinState() {
    static JoinState state;
    return state;
}

}  // namespace brindle
