#include "rename/rule_strip.h"

#include <algorithm>

#include "shell/numbers.h"

namespace brindle::app {

SlotSpan SlotSpanOf(int slot) {
    slot = std::clamp(slot, 0, static_cast<int>(kStripDividers.size()));
    const auto at = static_cast<std::size_t>(slot);
    return {slot == 0 ? 0 : kStripDividers[at - 1],
            at < kStripDividers.size() ? kStripDividers[at] : kStripWidth};
}

int SlotAtPosition(int x) {
    const auto past = std::upper_bound(kStripDividers.begin(), kStripDividers.end(), x);
    return static_cast<int>(past - kStripDividers.begin());
}

int DropPosition(double x) {
    return static_cast<int>(RoundHalfEven(x));
}

int CentredLabelLeft(int slot, int labelWidth) {
    const SlotSpan span = SlotSpanOf(slot);
    return span.left + (span.right - span.left - labelWidth) / 2;
}

}  // namespace brindle::app
