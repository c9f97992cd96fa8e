#pragma once

#include <functional>
#include <iosfwd>
#include <string>

#include "cli.h"
#include "shell/progress.h"
#include "shell/status.h"

namespace brindle::cli {

// A one-line bar on a terminal, redrawn in place; draws nothing when `enabled` is false.
class TerminalProgress : public Progress {
public:
    TerminalProgress(std::ostream& out, bool enabled) : out_(out), enabled_(enabled) {}
    ~TerminalProgress() override;
    int Max() const override { return kBarMax; }
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

// Runs a join under the bar and reports it as every join of the command does: an output
// that may not be replaced and is there already is refused (exit 2), a stop exits 128 +
// the signal, a failure gives its reason, and success prints the output's path.
int RunJoinJob(const std::string& outputPath, bool replaceExisting, Console& console,
               const std::function<Status(Progress&)>& join);

}  // namespace brindle::cli
