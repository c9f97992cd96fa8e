#include "terminal_progress.h"

#include <ostream>
#include <string>

#include "join/join_engine.h"
#include "shell/translate.h"
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

int RunJoinJob(const std::string& outputPath, bool replaceExisting, Console& console,
               const std::function<Status(Progress&)>& join) {
    if (!CheckJoinTarget({}, outputPath, replaceExisting).ok()) {
        console.err << "brindle join: "
                    << Fill(Tr("%1 is already there; give --out FILE, or --force to replace it"),
                            {outputPath})
                    << "\n";
        return kExitUsage;
    }
    Status status;
    {
        TerminalProgress progress(console.err, console.errIsTerminal);
        status = join(progress);
    }
    if (status.cancelled()) {
        console.err << "brindle join: " << Tr("stopped; nothing was written") << "\n";
        return StoppedExitCode();
    }
    if (!status.ok()) {
        console.err << Tr("Fail to merge the files.") << "\n" << status.message() << "\n";
        return kExitFailed;
    }
    console.out << outputPath << "\n";
    return kExitOk;
}

}  // namespace brindle::cli
