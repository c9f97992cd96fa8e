#include "shell/progress.h"

#include "shell/numbers.h"

namespace brindle {

std::string PercentText(int value, int max) {
    if (max <= 0) {
        return "0";
    }
    return std::to_string(RoundHalfEven(static_cast<double>(value) / max * 100.0));
}

}  // namespace brindle
