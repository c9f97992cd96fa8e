#include <filesystem>
#include <ostream>

#include "args.h"
#include "cli.h"
#include "folder_commands.h"
#include "format/checksums.h"
#include "format/discovery.h"
#include "format/numbered_group.h"
#include "format/piece_format.h"
#include "io/file_io.h"
#include "join/join_engine.h"
#include "numbered_commands.h"
#include "recovery/recovery.h"
#include "recovery_commands.h"
#include "split_report.h"
#include "shell/numbers.h"
#include "shell/paths.h"
#include "shell/short_date.h"
#include "shell/translate.h"
#include "split/split_engine.h"
#include "split/split_planning.h"
#include "split/split_presets.h"
#include "stop_signal.h"
#include "stream_commands.h"
#include "terminal_progress.h"

namespace brindle::cli {
namespace {

// %1 is the piece limit the split enforces, %2 the recovery blocks per piece, %3 the piece
// count beyond which the blocks grow.
constexpr const char* kSplitHelp =
    N_("Usage: brindle split FILE [--pieces N | --size SIZE [--unit KB|MB|GB] | --floppy |\n"
       "                           --preset NAME] [--dest DIR] [--group NAME] [--checksums]\n"
       "                          [--force] [--raw] [--no-data-check] [--recovery PERCENT]\n"
       "       brindle split - (--size SIZE [--unit U] | --preset NAME) --group NAME [--name NAME]\n"
       "                       [--dest DIR] [--raw] [--checksums] [--recovery PERCENT]\n"
       "\n"
       "Cuts FILE into piece files NAME(1).qmf, NAME(2).qmf002, ... in DIR. Each piece's header\n"
       "carries a hash of its data, which every join and verify checks.\n"
       "\n"
       "  --pieces N     split into N pieces, 2 to %1 (default: 2)\n"
       "  --size SIZE    split into piece files of SIZE each, header included (a number such\n"
       "                 as 1.5, read whole)\n"
       "  --unit UNIT    unit of SIZE: KB, MB or GB (default: bytes)\n"
       "  --floppy       split into floppy-sized pieces (1.44MB)\n"
       "  --preset NAME  a size for a common limit: cd (700 MB), fat32 (the largest piece a\n"
       "                 FAT32 stick holds: 2,147,483,647 bytes, with --raw 4 GiB - 1 byte),\n"
       "                 mail-10, mail-20, mail-25 (7,000,000, 14,000,000 and 18,000,000\n"
       "                 bytes: after base64 they still fit a 10, 20 or 25 MB mail limit)\n"
       "  --dest DIR     folder for the pieces (default: the file's own folder)\n"
       "  --group NAME   name of the pieces (default: the file's name without extension)\n"
       "  --checksums    also write NAME.sha256 beside the pieces, in the format of sha256sum:\n"
       "                 `sha256sum -c NAME.sha256` checks them, and brindle join and the\n"
       "                 join windows refuse a piece that does not match\n"
       "  --force        replace what lies at the pieces' names though it is not an earlier\n"
       "                 split of FILE (another file's pieces, a file that is not a piece, a\n"
       "                 checksum file brindle did not write); FILE itself is never replaced\n"
       "  --no-data-check  leave the hash out of the headers (their reserved bytes stay zero,\n"
       "                 as earlier writers of the format left them); a join then cannot tell\n"
       "                 a damaged piece unless --checksums is given\n"
       "\n"
       "  --recovery PERCENT  also write PAR2 recovery files NAME.par2 and NAME.volNN+MM.par2\n"
       "                 holding PERCENT (1 to 100) of the pieces' size: brindle join and\n"
       "                 brindle repair (and the par2 tool) rebuild lost or damaged pieces\n"
       "                 from them, up to as many as the split says. Each piece is cut into\n"
       "                 %2 blocks (more pieces than %3 make the blocks larger), so a\n"
       "                 lost piece costs %2 recovery blocks and a damaged spot one\n"
       "  --raw          write plain numbered pieces FILE.001, FILE.002, ... (at most %1) with\n"
       "                 no header, each exactly SIZE bytes but the last, so that\n"
       "                 `cat FILE.[0-9][0-9][0-9] > FILE` joins them anywhere; --group names\n"
       "                 them instead of FILE, and --checksums lists them in FILE.sha256. A\n"
       "                 numbered piece of that name already there refuses the split. The\n"
       "                 pieces are written hidden and named only once all are written, so\n"
       "                 a split killed half-way leaves no group that joins\n"
       "\n"
       "A split of FILE replaces its own earlier pieces, and removes those beyond the new count,\n"
       "and its earlier recovery files (it refuses recovery files of other files at NAME.par2).\n"
       "A split that fails or is stopped removes every piece it wrote.\n"
       "\n"
       "FILE - splits standard input (tar c DIR | brindle split - ...), whose length is not\n"
       "known beforehand: --group is needed, --pieces and --floppy are refused, and --name NAME\n"
       "gives the file name the pieces store (default: the group name). The pieces are written\n"
       "hidden and get their counts, length and names only once the input has ended, so a\n"
       "split stopped or killed before leaves no group that joins; it replaces nothing, and\n"
       "input beyond 999 pieces stops it, leaving nothing.\n");

std::string SplitHelp() {
    return Fill(Tr(kSplitHelp),
                {std::to_string(kMaxPieces), std::to_string(recovery::kBlocksPerPiece),
                 std::to_string(recovery::kMaxBlocks / recovery::kBlocksPerPiece)});
}

constexpr const char* kJoinHelp =
    N_("Usage: brindle join PIECE [--out FILE | --out - | --force]\n"
       "\n"
       "Joins the group PIECE belongs to (any piece of it will do) back into the file that was\n"
       "split, after checking that every piece is there and that all come from the same split.\n"
       "Plain numbered pieces NAME.001, NAME.002, ... join into NAME, checked against any .sfv,\n"
       ".md5, .sha1 or .sha256 file beside them that lists them or NAME.\n"
       "\n"
       "  --out FILE     the file to write, replaced if it is there (default: the stored\n"
       "                 name, beside the pieces); - writes it to standard output, each piece\n"
       "                 checked before its first byte goes out: a damaged piece stops the\n"
       "                 output at the end of the piece before it, names it, and exits 1\n"
       "  --force        replace a file of the stored name beside the pieces; without it\n"
       "                 such a file is left alone and the join refused\n"
       "\n"
       "Where recovery files NAME.par2 (and NAME.volNN+MM.par2) lie beside the pieces, missing\n"
       "and damaged pieces are rebuilt from them into temporaries, checked, and joined in their\n"
       "places; the pieces themselves are left as they are (brindle repair rebuilds them). With\n"
       "too much damage the join is refused, saying how much recovery data is missing.\n");

constexpr const char* kVerifyHelp =
    N_("Usage: brindle verify PIECE [--json]\n"
       "       brindle verify DIR [--recursive] [--json]\n"
       "\n"
       "Checks the group PIECE belongs to without joining it: every piece there by name, all\n"
       "from one split, each header fitting its place (its number, the group's piece count,\n"
       "piece size and length, exactly its share of the data), each piece's data against the\n"
       "hash in its header, and each piece's checksum where the group's own NAME.sha256 lies\n"
       "beside them. Pieces whose headers carry no hash (an earlier writer's) are said to have\n"
       "no data check; a group that mixes both is not one split. One line per piece (ok,\n"
       "missing, from another split, damaged and why, not a regular file) and a summary; exit 0\n"
       "only when the group would join correctly.\n"
       "For plain numbered pieces NAME.001, ...: the numbering, the sizes, and the pieces and\n"
       "the joined bytes against every .sfv, .md5, .sha1 or .sha256 file that lists them.\n"
       "Where recovery files NAME.par2 lie beside the group, one more line says whether they\n"
       "can rebuild the missing and damaged pieces (\"2 pieces damaged or missing; the recovery\n"
       "files can rebuild them\"), or that they describe another split.\n"
       "\n"
       "Given a folder, checks every group in it (with --recursive, in the folders under it\n"
       "too): own pieces, numbered pieces with their lists, and the recovery files of either,\n"
       "several groups side by side. One line per group, its first piece and ok, rebuildable\n"
       "(the recovery files mend it) or faulty and why, then a summary; exit 0 only when every\n"
       "group would join correctly as it is.\n"
       "\n"
       "  --json         one JSON object a line instead: per group the fields folder, group,\n"
       "                 kind (pieces or numbered), first_piece, result (ok, rebuildable or\n"
       "                 faulty), pieces, faulty, bytes, recovery_files and reason; for a\n"
       "                 PIECE, first one per piece with piece, verdict, fault and reason\n");

constexpr const char* kGroupsHelp =
    N_("Usage: brindle groups DIR [--json]\n"
       "\n"
       "Lists the piece groups in DIR: group, stored file name, size and date of the split;\n"
       "then the groups of plain numbered pieces: first piece, joined name, size, piece count.\n"
       "With --json, one JSON object a line per group, with the fields group, kind (pieces or\n"
       "numbered), first_piece, name, bytes, pieces and split_date.\n");

constexpr const char* kInfoHelp =
    N_("Usage: brindle info PIECE\n"
       "\n"
       "Shows every field of the header of one piece file.\n");

// Verify's closing line for a group whose pieces are all sound, one sentence for each set of
// checks made.
std::string SoundGroupText(const GroupCheck& check) {
    const auto n = static_cast<unsigned long>(check.pieces.size());
    const bool data = check.dataCheckNote.empty();
    const char* text = nullptr;
    if (check.checksumsChecked) {
        text = data ? TrN("%1 pieces ok, data checks match, checksums match; the group joins into "
                          "%2 bytes.",
                          "%1 pieces ok, data checks match, checksums match; the group joins into "
                          "%2 bytes.",
                          n)
                    : TrN("%1 pieces ok, checksums match; the group joins into %2 bytes.",
                          "%1 pieces ok, checksums match; the group joins into %2 bytes.", n);
    } else if (check.checksumNote.empty()) {
        text = data ? TrN("%1 pieces ok, data checks match, no checksum file; the group joins into "
                          "%2 bytes.",
                          "%1 pieces ok, data checks match, no checksum file; the group joins into "
                          "%2 bytes.",
                          n)
                    : TrN("%1 pieces ok, no checksum file; the group joins into %2 bytes.",
                          "%1 pieces ok, no checksum file; the group joins into %2 bytes.", n);
    } else {
        text = data ? TrN("%1 pieces ok, data checks match, checksums not checked; the group joins "
                          "into %2 bytes.",
                          "%1 pieces ok, data checks match, checksums not checked; the group joins "
                          "into %2 bytes.",
                          n)
                    : TrN("%1 pieces ok, checksums not checked; the group joins into %2 bytes.",
                          "%1 pieces ok, checksums not checked; the group joins into %2 bytes.", n);
    }
    return Fill(text, {std::to_string(check.pieces.size()), std::to_string(check.sourceLength)});
}

// Verify's closing line for a group that would not join; with recovery files it may once
// they have rebuilt it.
std::string FaultyGroupText(const GroupCheck& check, int faults, bool recovery) {
    const std::string all = std::to_string(check.pieces.size());
    if (faults == 0) {
        // Every piece sound, yet together they do not hold the split file's bytes.
        return Fill(
            recovery
                ? Tr("%1 of %2 pieces faulty; the pieces hold %3 bytes, the split file had %4; the "
                     "group cannot be joined as it is.")
                : Tr("%1 of %2 pieces faulty; the pieces hold %3 bytes, the split file had %4; the "
                     "group cannot be joined."),
            {"0", all, std::to_string(check.dataBytes), std::to_string(check.sourceLength)});
    }
    const auto n = static_cast<unsigned long>(faults);
    return Fill(recovery ? TrN("%1 of %2 pieces faulty; the group cannot be joined as it is.",
                               "%1 of %2 pieces faulty; the group cannot be joined as it is.", n)
                         : TrN("%1 of %2 pieces faulty; the group cannot be joined.",
                               "%1 of %2 pieces faulty; the group cannot be joined.", n),
                {std::to_string(faults), all});
}

int Usage(Console& console, const std::string& command, const std::string& problem, const std::string& help) {
    console.err << "brindle " << command << ": " << problem << "\n\n" << Tr(help.c_str());
    return kExitUsage;
}

bool IsHelp(const std::string& word) { return word == "--help" || word == "-h"; }

// The single word of a command that takes one path and no options. On help or a usage
// error it has already answered, and `*exit` holds the code to return.
std::optional<std::string> OnlyWord(const std::vector<std::string>& words, const std::string& command,
                                    const std::string& problem, const char* help, Console& console,
                                    int* exit) {
    Args args(words);
    std::optional<std::string> word;
    while (args.Next()) {
        if (args.IsOption() && IsHelp(args.Name())) {
            console.out << Tr(help);
            *exit = kExitOk;
            return std::nullopt;
        }
        if (args.IsOption()) {
            *exit = Usage(console, command, Fill(Tr("unknown option %1"), {args.Name()}), help);
            return std::nullopt;
        }
        if (word) {
            *exit = Usage(console, command, problem, help);
            return std::nullopt;
        }
        word = args.Word();
    }
    if (!word) {
        *exit = Usage(console, command, problem, help);
    }
    return word;
}

}  // namespace

int RunSplit(const std::vector<std::string>& words, Console& console) {
    Args args(words);
    std::string file;
    std::string dest;
    std::optional<std::string> group;
    std::optional<std::string> pieces;
    std::optional<std::string> size;
    std::optional<std::string> unit;
    std::optional<std::string> preset;
    std::optional<std::string> storedName;
    bool floppy = false;
    bool checksums = false;
    bool raw = false;
    bool force = false;
    bool noDataCheck = false;
    std::optional<std::string> recoveryText;
    while (args.Next()) {
        if (!args.IsOption()) {
            if (!file.empty()) {
                return Usage(console, "split", Tr("give one file to split"), SplitHelp());
            }
            file = args.Word();
            continue;
        }
        const std::string name = args.Name();
        if (IsHelp(name)) {
            console.out << SplitHelp();
            return kExitOk;
        }
        if (name == "--floppy") {
            floppy = true;
            continue;
        }
        if (name == "--checksums") {
            checksums = true;
            continue;
        }
        if (name == "--raw") {
            raw = true;
            continue;
        }
        if (name == "--force") {
            force = true;
            continue;
        }
        if (name == "--no-data-check") {
            noDataCheck = true;
            continue;
        }
        std::optional<std::string>* target = name == "--pieces" ? &pieces
                                             : name == "--size" ? &size
                                             : name == "--unit" ? &unit
                                             : name == "--group" ? &group
                                             : name == "--recovery" ? &recoveryText
                                             : name == "--preset" ? &preset
                                             : name == "--name" ? &storedName
                                                                 : nullptr;
        std::optional<std::string> value;
        if (target == nullptr && name != "--dest") {
            return Usage(console, "split", Fill(Tr("unknown option %1"), {name}), SplitHelp());
        }
        value = args.Value();
        if (!value) {
            return Usage(console, "split", Fill(Tr("%1 needs a value"), {name}), SplitHelp());
        }
        if (target != nullptr) {
            *target = *value;
        } else {
            dest = *value;
        }
    }
    if (file.empty()) {
        return Usage(console, "split", Tr("which file?"), SplitHelp());
    }
    if ((pieces ? 1 : 0) + (size ? 1 : 0) + (floppy ? 1 : 0) + (preset ? 1 : 0) > 1) {
        return Usage(console, "split", Tr("choose one of --pieces, --size, --floppy and --preset"),
                     SplitHelp());
    }
    if (preset) {
        const SizePreset* found = FindSizePreset(*preset);
        if (found == nullptr || unit) {
            return Usage(console, "split",
                         unit ? Tr("--unit goes with --size")
                              : Fill(Tr("no preset %1: give cd, fat32, mail-10, mail-20 or mail-25"), {*preset}),
                         SplitHelp());
        }
        const std::int64_t bytes = raw ? found->rawPieceSize : found->pieceFileSize;
        const SizeFields fields = PresetFields(bytes);
        size = fields.size;
        if (!fields.unit.empty()) {
            unit = fields.unit;
        }
        console.err << "brindle split: "
                    << Fill(Tr("preset %1: pieces of %2 bytes"), {found->name, std::to_string(bytes)}) << "\n";
    }
    if (raw && force) {
        return Usage(console, "split",
                     Tr("--raw never replaces files; remove the old pieces first"), SplitHelp());
    }
    if (raw && noDataCheck) {
        return Usage(console, "split", Tr("--raw pieces have no header to carry a data check"),
                     SplitHelp());
    }
    if (unit && !size) {
        return Usage(console, "split", Tr("--unit goes with --size"), SplitHelp());
    }
    int recoveryPercent = 0;
    if (recoveryText) {
        const std::string& text = *recoveryText;
        const bool digits = !text.empty() && text.size() <= 3 && text.find_first_not_of("0123456789") == std::string::npos;
        recoveryPercent = digits ? std::stoi(text) : 0;
        if (recoveryPercent < recovery::kMinPercent || recoveryPercent > recovery::kMaxPercent) {
            return Usage(console, "split", Tr("--recovery takes a percentage from 1 to 100"),
                         SplitHelp());
        }
    }
    if (unit && *unit != "KB" && *unit != "MB" && *unit != "GB") {
        return Usage(console, "split", Tr("the unit is KB, MB or GB"), SplitHelp());
    }
    // The windows read the leading number of a text; a script's "5MB" or "1,5" is a mistake.
    if (size && !IsNumeric(*size)) {
        return Usage(console, "split",
                     Fill(Tr("cannot read the size '%1': give a number such as 1.5"), {*size}),
                     SplitHelp());
    }

    if (file == "-") {
        // The length comes only at the end of the input: what needs it is refused first.
        if (pieces || floppy) {
            return Usage(console, "split",
                         Tr("--pieces and --floppy need the length, which standard input does not tell; give --size or --preset"),
                         SplitHelp());
        }
        if (force) {
            return Usage(console, "split", Tr("a split from standard input replaces nothing; remove the old pieces first"),
                         SplitHelp());
        }
        return SplitFromInput({dest.empty() ? AbsolutePath(".") : AbsolutePath(dest), group, storedName, size,
                               unit.value_or(""), raw, checksums, !noDataCheck, recoveryPercent},
                              console);
    }
    if (storedName) {
        return Usage(console, "split", Tr("--name goes with a split from standard input (-)"), SplitHelp());
    }
    SplitState state;
    state.SplitSourcePath = AbsolutePath(file);
    state.SplitDestFolder = dest.empty() ? GetFolderName(state.SplitSourcePath) : AbsolutePath(dest);
    state.SplitGroupName = group ? *group : StripExtension(GetFileName(state.SplitSourcePath));
    io::FileType type = io::FileType::kNone;
    bool there = false;
    Status looked = io::TypeAt(state.SplitSourcePath, &type);
    if (looked.ok() && type != io::FileType::kRegular) {
        looked = io::AnythingAt(state.SplitSourcePath, &there);
    }
    if (!looked.ok()) {
        console.err << "brindle split: " << looked.message() << "\n";
        return kExitFailed;
    }
    if (type != io::FileType::kRegular) {
        // A folder, pipe or device is there but cannot be split; say so rather than "no such".
        console.err << "brindle split: "
                    << Fill(there ? Tr("not a regular file: %1") : Tr("no such file: %1"), {file}) << "\n";
        return kExitUsage;
    }
    std::error_code error;
    if (!std::filesystem::is_directory(state.SplitDestFolder, error)) {
        console.err << "brindle split: " << Fill(Tr("no such folder: %1"), {state.SplitDestFolder})
                    << "\n";
        return kExitUsage;
    }
    const auto length = static_cast<std::int64_t>(std::filesystem::file_size(state.SplitSourcePath, error));
    const int mode = floppy ? static_cast<int>(SplitMode::kFloppy)
                     : size ? static_cast<int>(SplitMode::kEqualSizes)
                            : static_cast<int>(SplitMode::kPieces);
    if (raw) {
        return SplitRawCommand({state.SplitSourcePath, state.SplitDestFolder,
                                group ? *group : GetFileName(state.SplitSourcePath), mode, pieces.value_or("2"),
                                size.value_or("1"), unit.value_or(""), checksums, recoveryPercent},
                               console);
    }
    if (auto rejection = CheckSplitChoice(length, mode, pieces.value_or("2"), size.value_or("1"),
                                          unit.value_or(""), state)) {
        console.err << rejection->message << "\n";
        return kExitUsage;
    }
    ComputePieceDataSize(length, state);

    SplitParams params = PlanSplit(state, state.SplitPieceSize);
    params.splitDate = TodayShortDate();
    params.checksums = checksums;
    params.replaceOthers = force;
    params.dataCheck = !noDataCheck;
    params.recoveryPercent = recoveryPercent;
    std::optional<SplitClash> clash;
    if (Status refused = CheckSplitTargets(params, length, &clash); !refused.ok()) {
        console.err << "brindle split: " << refused.message() << "\n";
        return kExitUsage;
    }
    if (clash && !force) {
        console.err << "brindle split: "
                    << Fill(Tr("%1 is already there (%2); give --force to replace it"),
                            {clash->path, clash->holds})
                    << "\n";
        return kExitUsage;
    }
    SplitResult result;
    {
        TerminalProgress progress(console.err, console.errIsTerminal);
        result = SplitFile(params, progress);
    }
    if (const int exit = ReportSplit(result, console); exit != kExitOk) {
        return exit;
    }
    const std::string name = GetFileName(state.SplitSourcePath);
    if (const std::string stored = StoredSourceName(name); stored.size() < name.size() && name.size() > kSourceNameWidth) {
        console.err << "brindle split: "
                    << Fill(Tr("the name stored in the pieces was shortened to %1"), {stored})
                    << "\n";
    }
    return kExitOk;
}

int RunJoin(const std::vector<std::string>& words, Console& console) {
    Args args(words);
    std::string piece;
    std::string out;
    bool force = false;
    while (args.Next()) {
        if (!args.IsOption()) {
            if (!piece.empty()) {
                return Usage(console, "join", Tr("give one piece of the group"), kJoinHelp);
            }
            piece = args.Word();
            continue;
        }
        const std::string name = args.Name();
        if (IsHelp(name)) {
            console.out << Tr(kJoinHelp);
            return kExitOk;
        }
        if (name == "--force" && !args.AttachedValue()) {
            force = true;
            continue;
        }
        if (name != "--out") {
            return Usage(console, "join", Fill(Tr("unknown option %1"), {name}), kJoinHelp);
        }
        auto value = args.Value();
        if (!value || value->empty()) {
            return Usage(console, "join", Tr("--out needs a file name"), kJoinHelp);
        }
        out = *value;
    }
    if (piece.empty()) {
        return Usage(console, "join", Tr("which group? give one of its pieces"), kJoinHelp);
    }
    const std::string path = AbsolutePath(piece);
    const bool toOutput = out == "-";
    if (toOutput && IsNumberedPiece(path)) {
        const std::string base = ParseNumberedName(GetFileName(path))->base;
        bool numberedRecovery = false;
        (void)LookForRecoveryFiles({GetFolderName(path), base, true}, &numberedRecovery);
        if (numberedRecovery && !FindNumberedGroup(GetFolderName(path), base).Ready()) {
            console.err << Tr("Fail to merge the files.") << "\n"
                        << Tr("the group must be rebuilt first: brindle repair rebuilds it from its recovery files") << "\n";
            return kExitFailed;
        }
        return JoinNumberedToOutput(GetFolderName(path), base, console);
    }
    if (IsNumberedPiece(path)) {
        return JoinNumbered(path, out, force, console);
    }
    const std::string folder = GetFolderName(path);
    const std::string group = GroupNameFromPiece(GetFileName(path));
    const JoinPlan plan = PlanJoin(folder, group);
    // With recovery files beside it, a group that would not join as it is is rebuilt first.
    const GroupRef ref{folder, group, false};
    bool recovery = false;
    if (const Status listed = LookForRecoveryFiles(ref, &recovery); !listed.ok()) {
        console.err << Tr("Fail to merge the files.") << "\n" << listed.message() << "\n";
        return kExitFailed;
    }
    if (recovery && toOutput) {
        return JoinRebuildingToOutput(folder, group, console);
    }
    if (recovery && !plan.Ready()) {
        return JoinWithRecovery(ref, out, force, console);
    }
    if (!plan.status.ok()) {
        console.err << Tr("Fail to merge the files.") << "\n" << plan.status.message() << "\n";
        return kExitFailed;
    }
    if (!plan.missingPiece.empty()) {
        console.err << Tr("File Missing.") << "\n" << JoinPath(folder, plan.missingPiece) << "\n";
        return kExitFailed;
    }
    if (toOutput) {
        return JoinToOutput(plan.pieces, console);
    }
    JoinParams params;
    // Beside recovery files the join may rebuild the first piece: its name field alone does not name the file.
    const std::string agreed = recovery ? JoinedName(plan.pieces, group) : std::string();
    params.outputPath = !out.empty()      ? AbsolutePath(out)
                        : agreed.empty() ? JoinPath(folder, SafeOriginalName(plan.firstPiece, group))
                                         : JoinPath(folder, agreed);
    params.pieces = plan.pieces;
    // The stored name comes from the pieces, not from the user: it may not replace a file.
    params.replaceExisting = !out.empty() || force;
    if (recovery) {
        return JoinOrRebuild(ref, params.pieces, params.outputPath, params.replaceExisting, console);
    }
    return RunJoinJob(params.outputPath, params.replaceExisting, console,
                      [&params](Progress& progress) { return JoinPieces(params, progress); });
}

int RunVerify(const std::vector<std::string>& words, Console& console) {
    int exit = kExitOk;
    bool json = false;
    bool recursive = false;
    std::vector<std::string> rest;
    for (const std::string& word : words) {
        if (word == "--json" || word == "--recursive") {
            (word == "--json" ? json : recursive) = true;
        } else {
            rest.push_back(word);
        }
    }
    const auto given =
        OnlyWord(rest, "verify", Tr("give one piece of the group, or a folder"), kVerifyHelp, console, &exit);
    if (!given) {
        return exit;
    }
    const std::string path = AbsolutePath(*given);
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        return VerifyFolder(path, recursive, json, console);
    }
    if (recursive) {
        return Usage(console, "verify", Tr("--recursive goes with a folder"), kVerifyHelp);
    }
    if (json) {
        return VerifyPieceJson(path, console);
    }
    if (IsNumberedPiece(path)) {
        return VerifyNumbered(path, console);
    }
    const std::string folder = GetFolderName(path);
    const std::string group = GroupNameFromPiece(GetFileName(path));
    const GroupCheck check = CheckGroup(folder, group);
    const GroupRef ref{folder, group, false};
    bool recovery = false;
    if (const Status listed = LookForRecoveryFiles(ref, &recovery); !listed.ok()) {
        console.err << "brindle verify: " << listed.message() << "\n";
        return kExitFailed;
    }
    if (!check.checksumNote.empty()) {
        console.out << check.checksumNote << "\n";
    }
    if (!check.dataCheckNote.empty()) {
        console.out << check.dataCheckNote << "\n";
    }
    if (!check.status.ok()) {
        const std::string first = FirstPiecePath(folder, group);
        // Only the label: the reason is printed below, so a look that fails reads as damaged.
        bool there = false;
        io::FileType type = io::FileType::kNone;
        const bool notRegular = io::AnythingAt(first, &there).ok() && there && io::TypeAt(first, &type).ok() &&
                                type != io::FileType::kRegular;
        const PieceVerdict verdict = check.status.code() == Status::Code::kNotFound ? PieceVerdict::kMissing
                                     : notRegular                                    ? PieceVerdict::kNotRegular
                                                                                     : PieceVerdict::kDamaged;
        console.out << *PieceFileName(group, 1) << ": " << VerdictText(verdict) << "\n";
        console.err << "brindle verify: " << check.status.message() << "\n";
        if (recovery) {
            console.out << Tr("The group cannot be joined as it is.") << "\n";
            return ReportRecovery(ref, 1, console, &check);
        }
        console.out << Tr("The group cannot be joined.") << "\n";
        return kExitFailed;
    }
    int faults = 0;
    for (const PieceCheck& piece : check.pieces) {
        console.out << piece.name << ": " << VerdictText(piece.verdict)
                    << (piece.fault.empty() ? "" : " (" + piece.fault + ")") << "\n";
        if (piece.verdict != PieceVerdict::kOk) {
            ++faults;
            if (!piece.reason.empty()) {
                console.err << "brindle verify: " << piece.reason << "\n";
            }
        }
    }
    const bool lengthsAddUp = check.dataBytes == check.sourceLength;
    if (faults == 0 && lengthsAddUp) {
        console.out << SoundGroupText(check) << "\n";
        return recovery ? ReportRecovery(ref, 0, console, &check) : kExitOk;
    }
    console.out << FaultyGroupText(check, faults, recovery) << "\n";
    return recovery ? ReportRecovery(ref, faults, console, &check) : kExitFailed;
}

int RunGroups(const std::vector<std::string>& words, Console& console) {
    int exit = kExitOk;
    std::vector<std::string> rest = words;
    const bool json = std::erase(rest, std::string("--json")) > 0;
    const auto given =
        OnlyWord(rest, "groups", Tr("give one folder"), kGroupsHelp, console, &exit);
    if (!given) {
        return exit;
    }
    const std::string folder = AbsolutePath(*given);
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) {
        console.err << "brindle groups: " << Fill(Tr("no such folder: %1"), {*given}) << "\n";
        return kExitUsage;
    }
    if (json) {
        return GroupsJson(folder, console);
    }
    std::vector<std::string> groups;
    if (const Status listed = FindGroups(folder, &groups); !listed.ok()) {
        console.err << "brindle groups: " << listed.message() << "\n";
        return kExitFailed;
    }
    std::vector<std::string> numbered;
    if (const Status listed = FindNumberedGroups(folder, &numbered); !listed.ok()) {
        console.err << "brindle groups: " << listed.message() << "\n";
        return kExitFailed;
    }
    if (groups.empty() && numbered.empty()) {
        console.out << kNoGroupText << "\n";
        return kExitOk;
    }
    for (const std::string& group : groups) {
        console.out << group;
        PieceHeader header;
        if (ReadPieceHeader(FirstPiecePath(folder, group), &header).ok()) {
            const GroupDetails details = DescribeGroup(header);
            console.out << "\t" << details.originalName << "\t" << details.sizeText << "\t" << details.splitDate;
        } else {
            console.out << "\t(first piece missing)";
        }
        console.out << "\n";
    }
    if (const Status listed = ListNumberedGroups(folder, console); !listed.ok()) {
        console.err << "brindle groups: " << listed.message() << "\n";
        return kExitFailed;
    }
    return kExitOk;
}

int RunInfo(const std::vector<std::string>& words, Console& console) {
    int exit = kExitOk;
    const auto given =
        OnlyWord(words, "info", Tr("give one piece file"), kInfoHelp, console, &exit);
    if (!given) {
        return exit;
    }
    const std::string path = AbsolutePath(*given);
    if (IsNumberedPiece(path)) {
        return InfoNumbered(path, console);
    }
    PieceHeader header;
    const Status status = ReadPieceHeader(path, &header);
    if (!status.ok()) {
        console.err << "brindle info: " << status.message() << "\n";
        return kExitFailed;
    }
    std::error_code error;
    const auto size = static_cast<std::int64_t>(std::filesystem::file_size(path, error));
    const auto SourceLengthText = [](const PieceHeader& h) {
        const std::optional<std::int64_t> length = StoredSourceLength(h);
        if (!length) {
            return std::to_string(h.SourceLength) + " (damaged header)";
        }
        std::string text = std::to_string(*length) + " (" + FormatSize(*length) + ")";
        return h.LargeSourceLength ? text + ", stored after the large-length marker" : text;
    };
    const auto DataHashText = [](const PieceHeader& h) {
        if (!h.DataHash) {
            return std::string("none (no data check)");
        }
        static constexpr char kHex[] = "0123456789abcdef";
        std::string hex;
        for (const unsigned char byte : *h.DataHash) {
            hex += kHex[byte >> 4];
            hex += kHex[byte & 0x0F];
        }
        return hex + " (XXH3-128)";
    };
    console.out << "GroupId:      " << header.GroupId << "\n"
                << "PieceIndex:   " << header.PieceIndex << "\n"
                << "PieceSize:    " << header.PieceSize << "\n"
                << "PieceCount:   " << header.PieceCount << "\n"
                << "SourceLength: " << SourceLengthText(header) << "\n"
                << "SourceName:   " << StoredText(header.SourceName) << "\n"
                << "SplitDate:    " << StoredText(header.SplitDate) << "\n"
                << "DataHash:     " << DataHashText(header) << "\n"
                << "Data bytes:   " << size - static_cast<std::int64_t>(kHeaderSize) << "\n";
    return kExitOk;
}

}  // namespace brindle::cli
