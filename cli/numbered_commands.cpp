#include "numbered_commands.h"

#include <filesystem>
#include <ostream>

#include "args.h"
#include "format/checksums.h"
#include "io/file_io.h"
#include "join/numbered_join.h"
#include "recovery/recovery.h"
#include "recovery_commands.h"
#include "shell/paths.h"
#include "shell/translate.h"
#include "split_report.h"
#include "split/raw_split.h"
#include "stop_signal.h"
#include "terminal_progress.h"

namespace brindle::cli {
namespace {

std::string BaseOf(const std::string& path) {
    const std::optional<NumberedName> parsed = ParseNumberedName(GetFileName(path));
    return parsed ? parsed->base : std::string();
}

std::string PiecesText(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " piece" : " pieces");
}

}  // namespace

bool IsNumberedPiece(const std::string& path) { return ParseNumberedName(GetFileName(path)).has_value(); }

int JoinNumbered(const std::string& piecePath, const std::string& out, bool force, Console& console) {
    const std::string folder = GetFolderName(piecePath);
    const std::string base = BaseOf(piecePath);
    const NumberedGroup group = FindNumberedGroup(folder, base);
    const GroupRef ref{folder, base, true};
    bool recovery = false;
    const Status listed = group.standing.ok() ? LookForRecoveryFiles(ref, &recovery) : Status::Ok();
    if (!listed.ok()) {
        console.err << Tr("Fail to merge the files.") << "\n" << listed.message() << "\n";
        return kExitFailed;
    }
    // Recovery files that describe nothing are no check and no cure: the pieces stand alone.
    if (recovery && recovery::NumberedGroupInput(folder, base).files.empty()) {
        console.err << "brindle join: "
                    << Fill(Tr("the recovery files %1 cannot be read"), {GetFileName(recovery::IndexPath(folder, base))}) << "\n";
        recovery = false;
    }
    // Where recovery files lie beside the pieces they are the pieces' check, and their cure,
    // but no cure for what the lists refuse.
    if (recovery) {
        return JoinWithRecovery(ref, out, force, console);
    }
    if (!group.missingPiece.empty()) {
        console.err << Tr("File Missing.") << "\n" << group.status.message() << "\n";
        return kExitFailed;
    }
    if (!group.Ready()) {
        console.err << Tr("Fail to merge the files.") << "\n" << group.status.message() << "\n";
        return kExitFailed;
    }
    NumberedJoinParams params;
    params.folder = folder;
    params.base = base;
    params.outputPath = out.empty() ? JoinPath(folder, base) : AbsolutePath(out);
    // NAME comes from the pieces' names, not from the user: it may not replace a file.
    params.replaceExisting = !out.empty() || force;
    return RunJoinJob(params.outputPath, params.replaceExisting, console,
                      [&params](Progress& progress) { return JoinNumberedPieces(params, progress); });
}

int VerifyNumbered(const std::string& piecePath, Console& console) {
    const std::string base = BaseOf(piecePath);
    const NumberedCheck check = CheckNumberedGroup(GetFolderName(piecePath), base);
    int faults = 0;
    for (const NumberedCheckLine& line : check.lines) {
        console.out << line.name << ": " << line.verdict << (line.fault || line.reason.empty() ? "" : " (" + line.reason + ")")
                    << "\n";
        if (line.fault) {
            ++faults;
            if (!line.reason.empty()) {
                console.err << "brindle verify: " << line.reason << "\n";
            }
        }
    }
    std::string lists;
    for (const std::string& file : check.checksumFiles) {
        lists += (lists.empty() ? "" : " ") + file;
    }
    const bool listed = !lists.empty();
    if (check.unreadLines > 0) {
        const std::string count = std::to_string(check.unreadLines);
        console.err << "brindle verify: "
                    << Fill(TrN("%1 line(s) of the checksum files are not checksum lines",
                                "%1 line(s) of the checksum files are not checksum lines",
                                static_cast<unsigned long>(check.unreadLines)),
                            {count})
                    << "\n";
    }
    const GroupRef ref{GetFolderName(piecePath), base, true};
    bool recovery = false;
    if (const Status looked = LookForRecoveryFiles(ref, &recovery); !looked.ok()) {
        console.err << "brindle verify: " << looked.message() << "\n";
        return kExitFailed;
    }
    if (check.joinable) {
        const auto n = static_cast<unsigned long>(check.pieceCount);
        const std::string pieces = std::to_string(check.pieceCount);
        const std::string bytes = std::to_string(check.totalSize);
        console.out
            << (listed
                    ? Fill(TrN("%1 numbered pieces ok, checked against %2; the group joins into %3 "
                               "bytes (%4).",
                               "%1 numbered pieces ok, checked against %2; the group joins into %3 "
                               "bytes (%4).",
                               n),
                           {pieces, lists, bytes, base})
                    : Fill(TrN("%1 numbered pieces ok, no checksum file; the group joins into %2 "
                               "bytes (%3).",
                               "%1 numbered pieces ok, no checksum file; the group joins into %2 "
                               "bytes (%3).",
                               n),
                           {pieces, bytes, base}))
            << "\n";
        return recovery ? ReportRecovery(ref, 0, console) : kExitOk;
    }
    const auto n = static_cast<unsigned long>(faults);
    const char* text = nullptr;
    if (listed) {
        text =
            recovery
                ? TrN("%1 of %2 names faulty, checked against %3; the group cannot be joined as it "
                      "is.",
                      "%1 of %2 names faulty, checked against %3; the group cannot be joined as it "
                      "is.",
                      n)
                : TrN("%1 of %2 names faulty, checked against %3; the group cannot be joined.",
                      "%1 of %2 names faulty, checked against %3; the group cannot be joined.", n);
    } else {
        text = recovery
                   ? TrN("%1 of %2 names faulty, no checksum file; the group cannot be joined as "
                         "it is.",
                         "%1 of %2 names faulty, no checksum file; the group cannot be joined as "
                         "it is.",
                         n)
                   : TrN("%1 of %2 names faulty, no checksum file; the group cannot be joined.",
                         "%1 of %2 names faulty, no checksum file; the group cannot be joined.", n);
    }
    console.out << Fill(text, {std::to_string(faults), std::to_string(check.lines.size()), lists})
                << "\n";
    return recovery ? ReportRecovery(ref, faults, console) : kExitFailed;
}

int InfoNumbered(const std::string& piecePath, Console& console) {
    const std::optional<NumberedName> parsed = ParseNumberedName(GetFileName(piecePath));
    std::error_code error;
    const auto size = std::filesystem::file_size(piecePath, error);
    io::FileType type = io::FileType::kNone;
    if (const Status looked = io::TypeAt(piecePath, &type); !looked.ok()) {
        console.err << "brindle info: " << looked.message() << "\n";
        return kExitFailed;
    }
    if (!parsed || error || type != io::FileType::kRegular) {
        console.err << "brindle info: " << Fill(Tr("not a readable piece file: %1"), {piecePath})
                    << "\n";
        return kExitFailed;
    }
    const NumberedGroup group = FindNumberedGroup(GetFolderName(piecePath), parsed->base);
    console.out << "Numbered piece (no header)\n"
                << "Number:       " << parsed->number << "\n"
                << "Piece bytes:  " << size << "\n"
                << "Joins into:   " << parsed->base << "\n";
    if (group.Ready()) {
        console.out << "Group:        " << PiecesText(group.pieces.size()) << ", " << group.totalSize << " bytes ("
                    << FormatSize(group.totalSize) << ")\n";
    } else {
        console.out << "Group:        cannot be joined: " << group.status.message() << "\n";
    }
    if (!group.lists.files.empty()) {
        console.out << "Checksums:    ";
        for (std::size_t i = 0; i < group.lists.files.size(); ++i) {
            console.out << (i == 0 ? "" : ", ") << group.lists.files[i];
        }
        console.out << "\n";
    }
    return kExitOk;
}

Status ListNumberedGroups(const std::string& folder, Console& console) {
    std::vector<NumberedGroup> groups;
    if (Status listed = FindAllNumberedGroups(folder, &groups); !listed.ok()) {
        return listed;
    }
    for (const NumberedGroup& group : groups) {
        console.out << NumberedPieceName(group.base, 1, group.digits) << "\t" << group.base << "\t";
        if (group.Ready()) {
            console.out << FormatSize(group.totalSize) << "\t" << PiecesText(group.pieces.size());
        } else {
            console.out << "(" << group.status.message() << ")";
        }
        console.out << "\n";
    }
    return Status::Ok();
}

int SplitRawCommand(const RawSplitChoice& choice, Console& console) {
    std::error_code error;
    const auto length = static_cast<std::int64_t>(std::filesystem::file_size(choice.sourcePath, error));
    std::int64_t pieceSize = 0;
    if (auto rejection = PlanRawSplit(length, choice.mode, choice.pieces, choice.size, choice.unit, &pieceSize)) {
        console.err << rejection->message << "\n";
        return kExitUsage;
    }
    RawSplitParams params{choice.sourcePath, choice.destFolder, choice.base, pieceSize, choice.checksums,
                          choice.recoveryPercent};
    SplitResult result;
    {
        TerminalProgress progress(console.err, console.errIsTerminal);
        result = SplitRaw(params, progress);
    }
    return ReportSplit(result, console);
}

}  // namespace brindle::cli
