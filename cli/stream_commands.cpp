#include "stream_commands.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <ostream>

#include "shell/numbers.h"
#include "shell/paths.h"
#include "shell/short_date.h"
#include "shell/translate.h"
#include "split/split_planning.h"
#include "split/stream_split.h"
#include "split_report.h"
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

}  // namespace brindle::cli
