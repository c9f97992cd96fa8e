#pragma once

#include <iosfwd>

#include "shell/progress.h"

namespace brindle::cli {

// A one-line bar on a terminal, redrawn in place; draws nothing when `enabled` is false.
class TerminalProgress : public Progress {
public:
    TerminalProgress(std::ostream& out, bool enabled) : out_(out), enabled_(enabled) {}
    ~TerminalProgress() override;
    int Max() const override { return 10000; }
    int Value() const override { return value_; }
    void SetValue(int value) override;
    // A stop signal the command caught (Ctrl-C, SIGTERM, SIGHUP).
    bool StopRequested() const override;

private:
    std::ostream& out_;
    bool enabled_;
    bool drawn_ = false;
    int value_ = 0;
};

}  // namespace brindle::cli
