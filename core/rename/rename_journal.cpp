#include "rename/rename_journal.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string_view>

#include "io/atomic_file.h"
#include "io/file_io.h"
#include "rename/apply_renames.h"
#include "shell/paths.h"
#include "shell/translate.h"

namespace brindle {
namespace {

constexpr std::string_view kHeader = "tarnwick-brindle rename journal 3\n";
// Before renames were written in batches: each outcome follows its rename.
constexpr std::string_view kSecondHeader = "tarnwick-brindle rename journal 2\n";
// Written before renames carried a stamp: their files are known by the inode alone.
constexpr std::string_view kFirstHeader = "tarnwick-brindle rename journal 1\n";
constexpr std::string_view kNoStamp = "-";
constexpr std::string_view kPrefix = "run-";
constexpr std::string_view kSuffix = ".journal";
constexpr std::size_t kNumberWidth = 10;

void EscapeTo(std::string& out, std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b >= 0x7F || b == '%') {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 0x0F];
        } else {
            out += c;
        }
    }
}

std::string Escape(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    EscapeTo(out, bytes);
    return out;
}

std::optional<std::string> Unescape(std::string_view text) {
    const auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        const int high = i + 1 < text.size() ? hex(text[i + 1]) : -1;
        const int low = i + 2 < text.size() ? hex(text[i + 2]) : -1;
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

std::optional<std::uint64_t> ReadNumber(std::string_view text) {
    if (text.empty() || text.size() > 20) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
        if (value > (UINT64_MAX - digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 + digit;
    }
    return value;
}

// The journals of `folder`, oldest first. A folder that cannot be listed is no empty one: the
// newest run would be taken for none.
Status Journals(const std::string& folder, std::vector<std::string>* names) {
    std::vector<std::string> all;
    const Status status = io::ListFileNames(folder, false, &all);
    for (std::string& name : all) {
        if (name.size() == kPrefix.size() + kNumberWidth + kSuffix.size() &&
            name.starts_with(kPrefix) && name.ends_with(kSuffix) &&
            ReadNumber(std::string_view(name).substr(kPrefix.size(), kNumberWidth))) {
            names->push_back(std::move(name));
        }
    }
    std::sort(names->begin(), names->end());
    return status;
}

struct Entry {
    io::FileId file;
    std::string before;  // the stamp before the rename, kNoStamp when not recorded
    std::string after;   // the stamp after it, once confirmed
    std::string folder;
    std::string oldName;
    std::string newName;
    bool confirmed = false;  // its outcome line says it was renamed
};

// A stamp the system would not give is recorded as none: an undo then knows the file by its
// identity alone, as on a file system that keeps no stamp.
std::string Stamp(const std::string& path) {
    std::optional<std::string> stamp;
    return io::LookUpStamp(path, &stamp).ok() && stamp ? *stamp : std::string(kNoStamp);
}

bool IsStamp(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c > 0x20 && c < 0x7F; });
}

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t from = 0;
    while (from <= line.size()) {
        const auto space = line.find(' ', from);
        fields.push_back(line.substr(from, space == std::string_view::npos ? line.size() - from : space - from));
        from = space == std::string_view::npos ? line.size() + 1 : space + 1;
    }
    return fields;
}

// The renames a journal records as done or possibly done, in the order they were made. A
// journal that others could have written, or whose names lead out of their folder, is
// refused whole.
Status ReadJournal(const std::string& path, std::vector<Entry>* entries) {
    std::string text;
    Status status = io::ReadPrivateFile(path, &text);
    if (!status.ok()) {
        return status;
    }
    // Killed between creating the journal and writing its first line: no rename was made.
    if (text.size() < kHeader.size() && kHeader.starts_with(text)) {
        return Status::Ok();
    }
    const bool batched = text.starts_with(kHeader);
    const bool stamped = batched || text.starts_with(kSecondHeader);
    if (!stamped && !text.starts_with(kFirstHeader)) {
        return Status::Corruption(Fill(Tr("not a rename journal: %1"), {path}));
    }
    const auto damaged = [&path](const std::string& why) {
        return Status::Corruption(Fill(Tr("damaged rename journal %1: %2"), {path, why}));
    };
    std::string_view rest = std::string_view(text).substr(kHeader.size());
    // The entries from `pending` on have no outcome yet; a batch has many, others one at most.
    std::size_t pending = 0;
    std::vector<bool> failed;
    for (;;) {
        const auto end = rest.find('\n');
        if (end == std::string_view::npos) {
            break;  // an unfinished last line: the run stopped while writing it
        }
        const std::vector<std::string_view> fields = Fields(rest.substr(0, end));
        rest.remove_prefix(end + 1);
        if (fields[0] == "D" || fields[0] == "F") {
            const std::size_t wanted = fields[0] == "D" && stamped ? 2 : 1;
            if (pending == entries->size() || fields.size() != wanted || (wanted == 2 && !IsStamp(fields[1]))) {
                return damaged(Tr("an outcome without its rename"));
            }
            if (fields[0] == "D") {
                (*entries)[pending].confirmed = true;
                (*entries)[pending].after = std::string(stamped ? fields[1] : kNoStamp);
            } else {
                failed[pending] = true;
            }
            ++pending;
            continue;
        }
        const std::size_t names = stamped ? 4 : 3;  // where the folder's field is
        if ((!batched && pending != entries->size()) || fields[0] != "T" || fields.size() != names + 3 || (stamped && !IsStamp(fields[3]))) {
            return damaged(Tr("a line it cannot read"));
        }
        const auto device = ReadNumber(fields[1]);
        const auto inode = ReadNumber(fields[2]);
        const auto folder = Unescape(fields[names]);
        const auto oldName = Unescape(fields[names + 1]);
        const auto newName = Unescape(fields[names + 2]);
        if (!device || !inode || !folder || !oldName || !newName) {
            return damaged(Tr("a line it cannot read"));
        }
        // Undo renames within the recorded folder only, whatever a line says.
        if (!std::filesystem::path(*folder).is_absolute() || folder->find('\0') != std::string::npos) {
            return damaged(Fill(Tr("not an absolute folder: %1"), {*folder}));
        }
        for (const std::string* name : {&*oldName, &*newName}) {
            if (!CheckNewFileName(*name).ok()) {
                return damaged(Fill(
                    Tr("a recorded name that is not a file name in its folder: \"%1\""), {*name}));
            }
        }
        entries->push_back({{*device, *inode}, std::string(stamped ? fields[3] : kNoStamp), std::string(kNoStamp),
                            *folder, *oldName, *newName, false});
        failed.push_back(false);
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < entries->size(); ++i) {
        if (!failed[i]) {
            if (kept != i) {
                (*entries)[kept] = std::move((*entries)[i]);
            }
            ++kept;
        }
    }
    entries->resize(kept);
    return Status::Ok();
}

// A rename's line, added to `out`; `folder` already escaped.
void AppendLine(std::string& out, const io::FileId& file, std::string_view before, std::string_view folder,
                std::string_view oldName, std::string_view newName) {
    out += "T ";
    out += std::to_string(file.device);
    out += ' ';
    out += std::to_string(file.inode);
    out += ' ';
    out += before;
    out += ' ';
    out += folder;
    out += ' ';
    EscapeTo(out, oldName);
    out += ' ';
    EscapeTo(out, newName);
    out += '\n';
}

std::string Line(const Entry& entry) {
    std::string line;
    AppendLine(line, entry.file, entry.before, Escape(entry.folder), entry.oldName, entry.newName);
    if (entry.confirmed) {
        line += "D " + entry.after + "\n";
    }
    return line;
}

// Leaves in the journal at `path` only the entries marked in `left`.
Status Rewrite(const std::string& path, const std::vector<Entry>& entries, const std::vector<bool>& left) {
    std::string text(kHeader);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (left[i]) {
            text += Line(entries[i]);
        }
    }
    io::AtomicFile file(path);
    Status status = file.Open();
    if (status.ok()) {
        status = file.file().WriteAll(text.data(), text.size());
    }
    if (status.ok()) {
        status = file.Commit(io::AtomicFile::Move::kReplace);
    }
    return status;
}

// Whether `path` still leads to the file the entry renamed: the same inode (where known)
// and, where recorded, the same stamp, so a new file that took a freed inode is not it.
// Fails when the system cannot tell.
Status IsRecordedFile(const Entry& entry, const std::string& path, const io::FileId& id, bool* recorded) {
    *recorded = false;
    if (io::IdentitiesKnown() && id != entry.file) {
        return Status::Ok();
    }
    const std::string& stamp = entry.confirmed ? entry.after : entry.before;
    std::optional<std::string> now;
    const Status status = stamp == kNoStamp ? Status::Ok() : io::LookUpStamp(path, &now);
    *recorded = status.ok() && (stamp == kNoStamp || now == stamp);
    return status;
}

// What undoing one rename would meet; empty when it can go ahead, "-" when there is
// nothing to do for it (it never happened, or it is undone already).
std::string Obstacle(const Entry& entry, const std::string& from, const std::string& to) {
    std::optional<io::FileId> atNew;
    std::optional<io::FileId> atOld;
    for (const Status& looked : {io::LookUpIdentity(from, &atNew), io::LookUpIdentity(to, &atOld)}) {
        if (!looked.ok()) {
            return looked.message();  // kept, to be tried again
        }
    }
    bool recorded = false;
    if (!atNew) {
        // Already back under its old name: told by the inode, or, where the system gives
        // none, by the recorded stamp alone.
        const std::string& stamp = entry.confirmed ? entry.after : entry.before;
        if (atOld && (io::IdentitiesKnown() || stamp != kNoStamp)) {
            if (const Status looked = IsRecordedFile(entry, to, *atOld, &recorded); !looked.ok()) {
                return looked.message();
            }
        }
        return recorded || !entry.confirmed ? "-" : Tr("it is no longer there");
    }
    if (const Status looked = IsRecordedFile(entry, from, *atNew, &recorded); !looked.ok()) {
        return looked.message();
    }
    if (!recorded) {
        return entry.confirmed ? Tr("another file has that name now") : "-";
    }
    if (atOld && !(io::IdentitiesKnown() && *atOld == *atNew)) {
        return Fill(Tr("the name %1 is taken"), {GetFileName(to)});
    }
    return {};
}

}  // namespace

std::string DefaultJournalFolder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    std::string base;
    // The base-directory rules ignore a relative value.
    if (state != nullptr && state[0] == '/') {
        base = state;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        base = JoinPath(home, ".local/state");
    } else {
        return {};
    }
    return JoinPath(JoinPath(base, "tarnwick-brindle"), "renames");
}

Status JournalTurn::Take(const std::string& folder, const RunControl& control) {
    if (folder.empty()) {
        return Status::NotFound(Tr("no state folder (neither XDG_STATE_HOME nor HOME is set)"));
    }
    Status status = io::MakePrivateFolder(folder);
    if (status.ok()) {
        status = io::CheckPrivateFolder(folder);
    }
    if (status.ok()) {
        status = lock_.Lock(folder, control.stopped, control.waiting, io::FolderLock::Links::kRefuse);
    }
    return status;
}

Status RenameJournal::Begin(const std::string& folder) {
    if (folder.empty()) {
        return Status::NotFound(Tr("no state folder (neither XDG_STATE_HOME nor HOME is set)"));
    }
    Status status = io::MakePrivateFolder(folder);
    if (status.ok()) {
        status = io::CheckPrivateFolder(folder);
    }
    if (!status.ok()) {
        return status;
    }
    std::vector<std::string> journals;
    status = Journals(folder, &journals);
    if (!status.ok()) {
        return status;
    }
    std::uint64_t number = 1;
    if (!journals.empty()) {
        number = *ReadNumber(std::string_view(journals.back()).substr(kPrefix.size(), kNumberWidth)) + 1;
    }
    for (std::size_t i = 0; i + kKeptRuns <= journals.size(); ++i) {
        (void)io::RemoveFile(JoinPath(folder, journals[i]));
    }
    // Another run may take the same number at the same moment: the next one is free.
    for (int attempt = 0; attempt < 100; ++attempt, ++number) {
        std::string digits = std::to_string(number);
        digits.insert(0, kNumberWidth > digits.size() ? kNumberWidth - digits.size() : 0, '0');
        const std::string path = JoinPath(folder, std::string(kPrefix) + digits + std::string(kSuffix));
        bool taken = false;
        status = io::AnythingAt(path, &taken);
        if (!status.ok()) {
            return status;
        }
        if (taken) {
            continue;
        }
        status = file_.Create(path);
        if (status.ok()) {
            status = file_.Append(kHeader);
            open_ = true;  // Finish removes it, written or not
            return status;
        }
    }
    return status;
}

Status RenameJournal::Attempt(const std::string& folder, const std::string& oldName,
                              const std::string& newName, io::FileId file) {
    // An undo may run from any folder: a relative one would lead it elsewhere.
    if (!std::filesystem::path(folder).is_absolute()) {
        return Status::InvalidArgument(Fill(Tr("not an absolute folder: %1"), {folder}));
    }
    pending_ = JoinPath(folder, newName);
    const Entry entry{file, Stamp(JoinPath(folder, oldName)), {}, folder, oldName, newName, false};
    return file_.Append(Line(entry));
}

Status RenameJournal::Outcome(bool renamed) {
    renamed_ += renamed ? 1 : 0;
    // Taken after the rename, which changes the file's change time but not its stamp.
    return file_.Append(renamed ? "D " + Stamp(pending_) + "\n" : std::string("F\n"));
}

Status RenameJournal::AttemptAll(std::span<const RenameStep> steps) {
    std::string record;
    pendingStamps_.clear();
    const std::string* checked = nullptr;  // the folder of the step before, known absolute
    std::string folder;                     // and escaped
    for (const RenameStep& step : steps) {
        if (checked == nullptr || *checked != step.folder) {
            if (!std::filesystem::path(step.folder).is_absolute()) {
                return Status::InvalidArgument(Fill(Tr("not an absolute folder: %1"), {step.folder}));
            }
            checked = &step.folder;
            folder = Escape(step.folder);
        }
        AppendLine(record, step.file, step.stamp, folder, step.from, step.to);
        pendingStamps_.push_back(step.stamp);
    }
    return file_.Append(record);
}

Status RenameJournal::OutcomeAll(std::size_t renamed) {
    std::string record;
    for (std::size_t i = 0; i < pendingStamps_.size(); ++i) {
        // A rename keeps the stamp, and a later step of the batch may have moved the file on.
        if (i < renamed) {
            record += "D ";
            record += pendingStamps_[i];
            record += '\n';
        } else {
            record += "F\n";
        }
    }
    renamed_ += std::min(renamed, pendingStamps_.size());
    pendingStamps_.clear();
    return file_.Append(record);
}

Status RenameJournal::Finish() {
    if (!open_) {
        return Status::Ok();
    }
    open_ = false;
    Status status = file_.Close();
    if (renamed_ == 0) {
        return io::RemoveFile(file_.path());
    }
    return status;
}

std::size_t UndoOutcome::SkippedCount() const {
    return static_cast<std::size_t>(std::count_if(
        steps.begin(), steps.end(), [](const UndoStep& step) { return !step.skipped.empty(); }));
}

bool HasRunToUndo(const std::string& folder) {
    std::vector<std::string> journals;
    return !folder.empty() && Journals(folder, &journals).ok() && !journals.empty();
}

UndoOutcome UndoLastRun(const std::string& folder, bool dryRun, const RunControl& control) {
    UndoOutcome outcome;
    io::FileType type = io::FileType::kNone;
    outcome.error = folder.empty() ? Status::Ok() : io::TypeAt(folder, &type);
    if (outcome.error.ok() && type == io::FileType::kNone) {
        outcome.nothingToUndo = true;
        return outcome;
    }
    JournalTurn turn;
    if (outcome.error.ok()) {
        outcome.error = turn.Take(folder, control);
    }
    if (!outcome.error.ok()) {
        outcome.stopped = outcome.error.cancelled();
        return outcome;
    }
    std::vector<std::string> journals;
    outcome.error = Journals(folder, &journals);
    if (!outcome.error.ok()) {
        return outcome;
    }
    // A run that left nothing to revert (cut short before its first rename) is passed over.
    while (!journals.empty()) {
        const std::string path = JoinPath(folder, journals.back());
        journals.pop_back();
        std::vector<Entry> entries;
        outcome.error = ReadJournal(path, &entries);
        if (!outcome.error.ok()) {
            return outcome;
        }
        std::vector<bool> left(entries.size(), false);
        for (std::size_t i = entries.size(); i-- > 0;) {
            if (control.Stopped()) {
                // Stopped after the current file: the rest stays to undo.
                outcome.stopped = true;
                std::fill(left.begin(), left.begin() + static_cast<std::ptrdiff_t>(i) + 1, true);
                break;
            }
            const Entry& entry = entries[i];
            UndoStep step{JoinPath(entry.folder, entry.newName), JoinPath(entry.folder, entry.oldName), {}};
            step.skipped = Obstacle(entry, step.from, step.to);
            if (step.skipped == "-") {
                continue;
            }
            if (step.skipped.empty() && !dryRun) {
                const Status moved = io::MoveNoReplace(step.from, step.to);
                if (!moved.ok()) {
                    step.skipped = moved.message();
                }
            }
            left[i] = !step.skipped.empty();
            outcome.steps.push_back(std::move(step));
        }
        if (!dryRun) {
            outcome.kept = std::find(left.begin(), left.end(), true) != left.end();
            outcome.error = outcome.kept ? Rewrite(path, entries, left) : io::RemoveFile(path);
        }
        const bool renamedSomething = std::any_of(entries.begin(), entries.end(),
                                                  [](const Entry& e) { return e.confirmed; });
        if (!outcome.steps.empty() || renamedSomething || outcome.stopped || !outcome.error.ok()) {
            return outcome;
        }
    }
    outcome.nothingToUndo = true;
    return outcome;
}

Status ForgetLastRun(const std::string& folder, const RunControl& control) {
    io::FileType type = io::FileType::kNone;
    Status status = folder.empty() ? Status::Ok() : io::TypeAt(folder, &type);
    if (status.ok() && type == io::FileType::kNone) {
        return Status::NotFound(Tr("nothing left to undo"));
    }
    JournalTurn turn;
    if (status.ok()) {
        status = turn.Take(folder, control);
    }
    std::vector<std::string> journals;
    if (status.ok()) {
        status = Journals(folder, &journals);
    }
    if (status.ok() && journals.empty()) {
        status = Status::NotFound(Tr("nothing left to undo"));
    }
    return status.ok() ? io::RemoveFile(JoinPath(folder, journals.back())) : status;
}

}  // namespace brindle
