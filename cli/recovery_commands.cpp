#include "recovery_commands.h"

#include <algorithm>
#include <ostream>

#include "args.h"
#include "format/checksums.h"
#include "format/discovery.h"
#include "format/numbered_group.h"
#include "join/join_engine.h"
#include "join/numbered_join.h"
#include "join/rebuilding_join.h"
#include "recovery/recovery.h"
#include "shell/paths.h"
#include "shell/translate.h"
#include "stop_signal.h"
#include "terminal_progress.h"

namespace brindle::cli {
namespace {

constexpr const char* kRepairHelp =
    N_("Usage: brindle repair PIECE\n"
       "\n"
       "Rebuilds the missing and damaged pieces of the group PIECE belongs to (any piece of it,\n"
       "or NAME.001 of plain numbered pieces) in place, from the recovery files NAME.par2 and\n"
       "NAME.volNN+MM.par2 beside them, as brindle split --recovery or par2 writes them. A\n"
       "damaged piece stands aside, hidden as .brindle-damaged-PIECE, until the rebuilt one,\n"
       "checked against the recovery files, has its name. Pieces whose own data check matches\n"
       "are never rewritten.\n"
       "With too much damage nothing is changed and the message says how much recovery data\n"
       "is missing.\n");

recovery::Input InputFor(const GroupRef& group, const GroupCheck* known) {
    if (group.numbered) {
        return recovery::NumberedGroupInput(group.folder, group.name);
    }
    if (known != nullptr) {
        return recovery::PieceGroupInput(group.folder, group.name, *known);
    }
    return recovery::PieceGroupInput(group.folder, group.name, CheckGroup(group.folder, group.name));
}

// False, with the command's answer in `*exit`, when the recovery files' check leaves
// nothing more to do.
bool CheckEnds(const recovery::Check& check, const std::string& command, Console& console, int* exit) {
    if (check.status.cancelled()) {
        console.err << "brindle " << command << ": " << Tr("stopped; nothing was changed") << "\n";
        *exit = StoppedExitCode();
        return true;
    }
    if (!check.status.ok()) {
        console.err << "brindle " << command << ": " << check.status.message() << "\n";
        *exit = kExitFailed;
        return true;
    }
    return false;
}

// The recovery files' check under a bar; false as CheckEnds says.
bool CheckUnderBar(const recovery::Input& input, const std::string& command, Console& console,
                   recovery::Check* check, int* exit) {
    {
        TerminalProgress progress(console.err, console.errIsTerminal);
        *check = recovery::CheckFiles(input, progress);
    }
    return !CheckEnds(*check, command, console, exit);
}

recovery::Rebuilt RebuildUnderBar(const recovery::Input& input, const recovery::Check& check, Console& console,
                                  const std::string& spareBeside = {}) {
    TerminalProgress progress(console.err, console.errIsTerminal);
    return recovery::RebuildFiles(input, check, progress, spareBeside);
}

int RebuildFailed(const recovery::Rebuilt& rebuilt, const std::string& command, Console& console) {
    if (rebuilt.status.cancelled()) {
        console.err << "brindle " << command << ": " << Tr("stopped; nothing was changed") << "\n";
        return StoppedExitCode();
    }
    console.err << "brindle " << command << ": " << rebuilt.status.message() << "\n";
    return kExitFailed;
}

// The command rebuilds without asking: it says what it rebuilds.
AskRebuild SayRebuilding(Console& console) {
    return [&console](const recovery::Check& check) {
        console.err << "brindle join: " << Fill(Tr("%1; rebuilding"), {recovery::Summary(check)}) << "\n";
        return true;
    };
}

}  // namespace

std::string JoinedName(const std::vector<std::string>& pieces, const std::string& group) {
    std::vector<PieceHeader> headers;
    for (const std::string& path : pieces) {
        if (PieceHeader header; ReadPieceHeader(path, &header).ok()) {
            headers.push_back(header);
        }
    }
    const std::optional<PieceHeader> agreed = MostStoredName(headers);
    return agreed ? SafeOriginalName(*agreed, group) : std::string();
}

int JoinOrRebuild(const GroupRef& group, const std::vector<std::string>& pieces, const std::string& outputPath,
                  bool replaceExisting, Console& console) {
    const RebuildingJoinParams params{group.folder, group.name, false, outputPath, replaceExisting, pieces};
    return RunJoinJob(outputPath, replaceExisting, console,
                      [&](Progress& progress) { return JoinRebuilding(params, SayRebuilding(console), progress); });
}

std::string RebuildableText(int pieces) {
    if (pieces == 0) {
        return Tr(
            "The recovery files can rebuild damaged blocks, but no whole lost piece: give a larger "
            "--recovery.");
    }
    return Fill(TrN("The recovery files can rebuild up to %1 lost piece.",
                    "The recovery files can rebuild up to %1 lost pieces.",
                    static_cast<unsigned long>(pieces)),
                {std::to_string(pieces)});
}

Status LookForRecoveryFiles(const GroupRef& group, bool* present) {
    std::vector<std::string> found;
    const Status listed = recovery::FindRecoveryFiles(group.folder, group.name, &found);
    *present = !found.empty();
    return listed;
}

int JoinWithRecovery(const GroupRef& group, const std::string& out, bool force, Console& console) {
    RebuildingJoinParams params{group.folder, group.name, group.numbered, {}, !out.empty() || force, {}};
    params.onHeaders = !group.numbered;
    Findings found;
    {
        TerminalProgress progress(console.err, console.errIsTerminal);
        found = FindFaults(params, progress);
    }
    if (found.input.files.empty()) {
        console.err << Tr("Fail to merge the files.") << "\n"
                    << Fill(Tr("the recovery files %1 cannot be read"),
                            {recovery::IndexPath(group.folder, group.name)})
                    << "\n";
        return kExitFailed;
    }
    const recovery::Check& check = found.check;
    if (int exit = kExitOk; CheckEnds(check, "join", console, &exit)) {
        return exit;
    }
    if (!check.note.empty()) {
        console.err << "brindle join: " << check.note << "\n";
    }
    const AskRebuild say = SayRebuilding(console);
    recovery::Rebuilt rebuilt;
    if (check.faultyFiles > 0) {
        if (!check.CanRebuild()) {
            console.err << Tr("Fail to merge the files.") << "\n"
                        << recovery::Summary(check) << "\n";
            return kExitFailed;
        }
        say(check);
        // The program's own pieces are named by the first sound piece that can be read, and
        // rebuilt in the join's pass.
        if (!group.numbered) {
            std::vector<std::string> sound;
            for (std::size_t i = 0; i < found.input.files.size(); ++i) {
                if (check.files[i].state == recovery::FileState::kOk) {
                    sound.push_back(found.input.files[i]);
                }
            }
            if (const std::string name = JoinedName(sound, group.name); !name.empty()) {
                params.outputPath = out.empty() ? JoinPath(group.folder, name) : AbsolutePath(out);
                return RunJoinJob(params.outputPath, params.replaceExisting, console, [&](Progress& progress) {
                    return JoinFound(params, found, true, say, progress);
                });
            }
        }
        // Beside the output too, for a pieces' folder that takes no file.
        const std::string spare = out.empty() ? JoinPath(group.folder, group.name) : AbsolutePath(out);
        rebuilt = RebuildUnderBar(found.input, check, console, spare);
        if (!rebuilt.status.ok()) {
            return RebuildFailed(rebuilt, "join", console);
        }
    }
    if (group.numbered) {
        params.outputPath = out.empty() ? JoinPath(group.folder, group.name) : AbsolutePath(out);
    } else {
        // Every piece stores the name: the output takes the one most of them give.
        const std::string name = JoinedName(rebuilt.Substituted(found.input.files), group.name);
        if (name.empty()) {
            console.err << Tr("Fail to merge the files.") << "\n" << Tr("no piece can be read") << "\n";
            return kExitFailed;
        }
        params.outputPath = out.empty() ? JoinPath(group.folder, name) : AbsolutePath(out);
    }
    return RunJoinJob(params.outputPath, params.replaceExisting, console,
                      [&](Progress& progress) { return JoinFound(params, found, true, say, progress, &rebuilt); });
}

int ReportRecovery(const GroupRef& group, int faults, Console& console, const GroupCheck* known) {
    const recovery::Input input = InputFor(group, known);
    const int failed = faults > 0 ? kExitFailed : kExitOk;
    if (input.files.empty()) {
        console.out << Fill(Tr("The recovery files %1 cannot be read."),
                            {GetFileName(recovery::IndexPath(group.folder, group.name))})
                    << "\n";
        return failed;
    }
    recovery::Check check;
    int exit = kExitOk;
    if (!CheckUnderBar(input, "verify", console, &check, &exit)) {
        return exit;
    }
    // Another set left aside beside the one used.
    if (check.usable && !check.note.empty()) {
        console.out << Fill(Tr("Recovery files: %1."), {check.note}) << "\n";
    }
    if (check.faultyFiles > 0) {
        for (const recovery::FileCheck& file : check.files) {
            if (file.state != recovery::FileState::kOk) {
                console.out << GetFileName(file.path) << ": "
                            << (file.state == recovery::FileState::kMissing ? "missing" : "damaged") << " ("
                            << file.badBlocks << " of " << file.blocks << " recovery blocks to rebuild)\n";
            }
        }
        console.out << recovery::Summary(check) << "\n";
        return kExitFailed;
    }
    if (!check.usable) {
        console.out << Fill(Tr("Recovery files: %1."), {check.note}) << "\n";
        return failed;
    }
    console.out
        << Fill(TrN("Recovery files: %1 recovery blocks of %2 bytes, describing these pieces.",
                    "Recovery files: %1 recovery blocks of %2 bytes, describing these pieces.",
                    static_cast<unsigned long>(check.blocksAvailable)),
                {std::to_string(check.blocksAvailable), std::to_string(check.blockSize)})
        << "\n";
    return failed;
}

int RunRepair(const std::vector<std::string>& words, Console& console) {
    Args args(words);
    std::string piece;
    while (args.Next()) {
        if (args.IsOption() && (args.Name() == "--help" || args.Name() == "-h")) {
            console.out << Tr(kRepairHelp);
            return kExitOk;
        }
        if (args.IsOption() || !piece.empty()) {
            console.err << "brindle repair: "
                        << (args.IsOption() ? Fill(Tr("unknown option %1"), {args.Name()})
                                            : std::string(Tr("give one piece of the group")))
                        << "\n\n"
                        << Tr(kRepairHelp);
            return kExitUsage;
        }
        piece = args.Word();
    }
    if (piece.empty()) {
        console.err << "brindle repair: " << Tr("which group? give one of its pieces") << "\n\n"
                    << Tr(kRepairHelp);
        return kExitUsage;
    }
    const std::string path = AbsolutePath(piece);
    GroupRef group{GetFolderName(path), GroupNameFromPiece(GetFileName(path)), false};
    if (const auto numbered = ParseNumberedName(GetFileName(path))) {
        group = {GetFolderName(path), numbered->base, true};
    }
    bool present = false;
    if (const Status listed = group.name.empty() ? Status::Ok() : LookForRecoveryFiles(group, &present); !listed.ok()) {
        console.err << "brindle repair: " << listed.message() << "\n";
        return kExitFailed;
    }
    if (!present) {
        const std::string index =
            recovery::IndexPath(group.folder, group.name.empty() ? GetFileName(path) : group.name);
        console.err << "brindle repair: "
                    << Fill(Tr("there are no recovery files beside the group (%1)"), {index})
                    << "\n";
        return kExitFailed;
    }
    const recovery::Input input = InputFor(group, nullptr);
    recovery::Check check;
    int exit = kExitOk;
    if (input.files.empty()) {
        console.err << "brindle repair: "
                    << Fill(Tr("the recovery files %1 cannot be read"), {recovery::IndexPath(group.folder, group.name)})
                    << "\n";
        return kExitFailed;
    }
    if (!CheckUnderBar(input, "repair", console, &check, &exit)) {
        return exit;
    }
    if (!check.note.empty()) {
        console.err << "brindle repair: " << check.note << "\n";
    }
    if (!check.usable) {
        return kExitFailed;
    }
    if (check.faultyFiles == 0) {
        console.out << Tr("Nothing to repair: every piece matches the recovery files.") << "\n";
        return kExitOk;
    }
    if (!check.CanRebuild()) {
        console.err << "brindle repair: "
                    << Fill(Tr("%1; nothing was changed"), {recovery::Summary(check)}) << "\n";
        return kExitFailed;
    }
    if (const Status free = recovery::PlacesFree(input, check); !free.ok()) {
        console.err << "brindle repair: " << free.message() << "\n";
        return kExitFailed;
    }
    recovery::Rebuilt rebuilt = RebuildUnderBar(input, check, console);
    if (!rebuilt.status.ok()) {
        return RebuildFailed(rebuilt, "repair", console);
    }
    const std::vector<recovery::Rebuilt::Entry> entries = rebuilt.entries();
    if (Status placed = rebuilt.PutInPlace(input.files); !placed.ok()) {
        console.err << "brindle repair: " << placed.message() << "\n";
        return kExitFailed;
    }
    for (const recovery::Rebuilt::Entry& entry : entries) {
        console.out << input.files[entry.index] << "\n";
    }
    return kExitOk;
}

}  // namespace brindle::cli
