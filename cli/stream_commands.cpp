#include "stream_commands.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <ostream>

#include "io/file_io.h"
#include "format/checksums.h"
#include "join/stream_join.h"
#include "recovery/recovery.h"
#include "shell/numbers.h"
#include "shell/paths.h"
#include "shell/short_date.h"
#include "shell/translate.h"
#include "split/split_planning.h"
#include "split/stream_split.h"
#include "split_report.h"
#include "stop_signal.h"
#include "terminal_progress.h"

namespace brindle::cli {

int SplitFromInput(const StreamSplitChoice& choice, Console& console) {
    const auto refuse = [&console](const std::string& why) {
        console.err << "brindle split: " << why << "\n";
        return kExitUsage;
    };
    if (!choice.group) {
        return refuse(Tr("a split from standard input needs --group NAME"));
    }
    if (!choice.size) {
        return refuse(Tr("a split from standard input needs --size or --preset: its length is not known beforehand"));
    }
    const std::int64_t units = RoundHalfEven(NumberValue(*choice.size));
    const std::int64_t unitBytes = UnitBytes(choice.unit);
    const std::int64_t header = choice.raw ? 0 : static_cast<std::int64_t>(kHeaderSize);
    if (units <= 0 || unitBytes <= 0 || units > (std::int64_t{1} << 40) / unitBytes || units * unitBytes <= header) {
        return refuse(Tr("The size you entered is too small."));
    }
    std::error_code error;
    if (!std::filesystem::is_directory(choice.destFolder, error)) {
        return refuse(Fill(Tr("no such folder: %1"), {choice.destFolder}));
    }
    StreamSplitParams params;
    params.destFolder = choice.destFolder;
    params.groupName = *choice.group;
    params.storedName = choice.storedName.value_or(*choice.group);
    params.pieceSize = units * unitBytes - header;  // the size is a piece file's
    params.raw = choice.raw;
    params.checksums = choice.checksums;
    params.dataCheck = choice.dataCheck;
    params.recoveryPercent = choice.recoveryPercent;
    params.splitDate = TodayShortDate();
    if (const Status refused = CheckStreamSplit(params); !refused.ok()) {
        return refuse(refused.message());
    }
    const StreamRead read = [](char* buffer, std::size_t n, std::size_t* got) {
        for (;;) {
            const ssize_t r = ::read(STDIN_FILENO, buffer, n);
            if (r >= 0) {
                *got = static_cast<std::size_t>(r);
                return Status::Ok();
            }
            if (errno != EINTR) {
                return Status::IoError(Fill(Tr("cannot read standard input: %1"), {std::strerror(errno)}));
            }
        }
    };
    SplitResult result;
    {
        TerminalProgress progress(console.err, console.errIsTerminal);
        result = SplitStream(params, read, progress);
    }
    return ReportSplit(result, console);
}

namespace {

int WriteToOutput(const std::function<StreamJoinResult(io::File&, Progress&)>& join, Console& console) {
    // A reader that goes away (| head) ends the join there, quietly, as it ends cat.
    (void)::signal(SIGPIPE, SIG_DFL);
    io::File out;
    StreamJoinResult result;
    result.status = out.OpenStandardOutput();
    if (result.status.ok()) {
        TerminalProgress progress(console.err, console.errIsTerminal);
        result = join(out, progress);
    }
    if (const Status closed = out.Close(); result.status.ok()) {
        result.status = closed;
    }
    if (result.status.cancelled()) {
        return StoppedExitCode();
    }
    if (!result.status.ok()) {
        console.err << Tr("Fail to merge the files.") << "\n";
        if (!result.badPiece.empty()) {
            console.err << Fill(Tr("The output stops before %1."), {result.badPiece}) << "\n";
        }
        console.err << result.status.message() << "\n";
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace

int JoinToOutput(const std::vector<std::string>& pieces, Console& console) {
    return WriteToOutput([&pieces](io::File& out, Progress& progress) { return JoinToStream(pieces, out, progress); },
                         console);
}

int JoinRebuildingToOutput(const std::string& folder, const std::string& group, Console& console) {
    // The pieces' own checks first, so that the recovery files read only what is faulty.
    const GroupCheck full = CheckGroup(folder, group);
    const recovery::Input input = recovery::PieceGroupInput(folder, group, full);
    const auto fail = [&console](const std::string& why) {
        console.err << Tr("Fail to merge the files.") << "\n" << why << "\n";
        return kExitFailed;
    };
    if (input.files.empty()) {
        return fail(Fill(Tr("the recovery files %1 cannot be read"), {recovery::IndexPath(folder, group)}));
    }
    recovery::Check check;
    recovery::Rebuilt rebuilt;
    {
        TerminalProgress progress(console.err, console.errIsTerminal);
        check = recovery::CheckFiles(input, progress);
        if (check.status.cancelled()) {
            return StoppedExitCode();
        }
        if (check.faultyFiles > 0 && !check.CanRebuild()) {
            // What the pieces hold up to the first faulty one still goes out.
            console.err << "brindle join: " << recovery::Summary(check) << "\n";
            return JoinToOutput(input.files, console);
        }
        if (check.faultyFiles > 0) {
            console.err << "brindle join: " << Fill(Tr("%1; rebuilding"), {recovery::Summary(check)}) << "\n";
            rebuilt = recovery::RebuildFiles(input, check, progress);
            if (rebuilt.status.cancelled()) {
                return StoppedExitCode();
            }
            if (!rebuilt.status.ok()) {
                return fail(rebuilt.status.message());
            }
        }
    }
    const std::vector<std::string> readFrom = rebuilt.Substituted(input.files);
    return WriteToOutput(
        [&](io::File& out, Progress& progress) { return JoinToStream(input.files, out, progress, readFrom); },
        console);
}

int JoinNumberedToOutput(const std::string& folder, const std::string& base, Console& console) {
    return WriteToOutput(
        [&](io::File& out, Progress& progress) { return JoinNumberedToStream(folder, base, out, progress); },
        console);
}

}  // namespace brindle::cli
