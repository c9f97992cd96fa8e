#include "terminal_progress.h"

#include <ostream>
#include <string>

#include "stop_signal.h"

namespace brindle::cli {

TerminalProgress::~TerminalProgress() {
    if (drawn_) {
        out_ << "\n" << std::flush;
    }
}

bool TerminalProgress::StopRequested() const { return CaughtSignal() != 0; }

void TerminalProgress::SetValue(int value) {
    value_ = value;
    if (!enabled_) {
        return;
    }
    constexpr int kWidth = 40;
    const int filled = value_ * kWidth / Max();
    out_ << "\r[" << std::string(filled, '#') << std::string(kWidth - filled, ' ') << "] "
         << value_ * 100 / Max() << "%" << std::flush;
    drawn_ = true;
}

}  // namespace brindle::cli
