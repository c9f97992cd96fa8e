#include "split_report.h"

#include <ostream>

#include "recovery_commands.h"
#include "shell/translate.h"
#include "split/split_engine.h"
#include "stop_signal.h"

namespace brindle::cli {

int ReportSplit(const SplitResult& result, Console& console) {
    if (result.status.cancelled()) {
        console.err << "brindle split: " << Tr("stopped; no piece of this split is left") << "\n";
        if (!result.status.message().empty()) {
            console.err << result.status.message() << "\n";
        }
        return StoppedExitCode();
    }
    if (result.status.code() == Status::Code::kInvalidArgument) {
        // Refused before anything was written, as a refused choice is.
        console.err << "brindle split: " << result.status.message() << "\n";
        return kExitUsage;
    }
    if (!result.status.ok()) {
        console.err << Tr("Fail to split the file") << "\n" << result.status.message() << "\n";
        return kExitFailed;
    }
    for (const std::string& piece : result.pieces) {
        console.out << piece << "\n";
    }
    if (!result.checksumFile.empty()) {
        console.out << result.checksumFile << "\n";
    }
    for (const std::string& file : result.recoveryFiles) {
        console.out << file << "\n";
    }
    if (!result.recoveryFiles.empty()) {
        console.err << RebuildableText(result.rebuildablePieces) << "\n";
    }
    return kExitOk;
}

}  // namespace brindle::cli
