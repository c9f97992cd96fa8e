#include "shell/progress.h"

#include <algorithm>

#include "shell/numbers.h"

namespace brindle {

std::string PercentText(int value, int max) {
    if (max <= 0) {
        return "0";
    }
    return std::to_string(RoundHalfEven(static_cast<double>(value) / max * 100.0));
}

ByteMeter::ByteMeter(Progress& progress, std::int64_t bytes, int endValue)
    : progress_(progress), bytes_(bytes), start_(progress.Value()), end_(endValue) {}

bool ByteMeter::operator()(std::int64_t done) {
    // The end of the stretch is the caller's to show, with the value the job describes.
    if (done < bytes_ && end_ > start_) {
        const auto value = static_cast<int>(start_ + (end_ - start_) * done / bytes_);
        if (value > progress_.Value()) {
            progress_.SetValue(value);
            progress_.SetPercentText(PercentText(value, progress_.Max()));
        }
    }
    return !progress_.StopRequested();
}

void PartOfBar::SetValue(int value) {
    value_ = value;
    const std::int64_t span = to_ - from_;
    whole_.SetValue(from_ + static_cast<int>(span * value / std::max(1, Max())));
}

void PartOfBar::SetPercentText(const std::string& /*text*/) {
    whole_.SetPercentText(PercentText(whole_.Value(), whole_.Max()));
}

}  // namespace brindle
