#include "rename/rename_journal.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string_view>

#include "shell/file_io.h"
#include "shell/paths.h"

namespace brindle {
namespace {

constexpr std::string_view kHeader = "tarnwick-brindle rename journal 1\n";
constexpr std::string_view kPrefix = "run-";
constexpr std::string_view kSuffix = ".journal";
constexpr std::size_t kNumberWidth = 10;

std::string Escape(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size());
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

// The journals of `folder`, oldest first.
std::vector<std::string> Journals(const std::string& folder) {
    std::vector<std::string> names;
    for (std::string& name : io::FileNamesIn(folder)) {
        if (name.size() == kPrefix.size() + kNumberWidth + kSuffix.size() &&
            name.starts_with(kPrefix) && name.ends_with(kSuffix) &&
            ReadNumber(std::string_view(name).substr(kPrefix.size(), kNumberWidth))) {
            names.push_back(std::move(name));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

struct Entry {
    io::FileId file;
    std::string folder;
    std::string oldName;
    std::string newName;
    bool confirmed = false;  // its outcome line says it was renamed
};

// The renames a journal records as done or possibly done, in the order they were made.
Status ReadJournal(const std::string& path, std::vector<Entry>* entries) {
    io::File file;
    Status status = file.OpenRead(path);
    std::int64_t size = 0;
    if (status.ok()) {
        status = file.Size(&size);
    }
    std::string text(static_cast<std::size_t>(std::max<std::int64_t>(size, 0)), '\0');
    if (status.ok()) {
        status = file.ReadExact(text.data(), text.size());
    }
    if (!status.ok()) {
        return status;
    }
    if (!text.starts_with(kHeader)) {
        return Status::Corruption("not a rename journal: " + path);
    }
    std::string_view rest = std::string_view(text).substr(kHeader.size());
    bool pending = false;  // the last entry has no outcome yet
    for (;;) {
        const auto end = rest.find('\n');
        if (end == std::string_view::npos) {
            break;  // an unfinished last line: the run stopped while writing it
        }
        const std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end + 1);
        if (line == "D" || line == "F") {
            if (!pending) {
                return Status::Corruption("damaged rename journal: " + path);
            }
            if (line == "D") {
                entries->back().confirmed = true;
            } else {
                entries->pop_back();
            }
            pending = false;
            continue;
        }
        std::vector<std::string_view> fields;
        std::size_t from = 0;
        while (from <= line.size()) {
            const auto space = line.find(' ', from);
            fields.push_back(line.substr(from, space == std::string_view::npos ? line.size() - from : space - from));
            from = space == std::string_view::npos ? line.size() + 1 : space + 1;
        }
        Entry entry;
        const auto device = fields.size() == 6 ? ReadNumber(fields[1]) : std::nullopt;
        const auto inode = fields.size() == 6 ? ReadNumber(fields[2]) : std::nullopt;
        const auto folder = fields.size() == 6 ? Unescape(fields[3]) : std::nullopt;
        const auto oldName = fields.size() == 6 ? Unescape(fields[4]) : std::nullopt;
        const auto newName = fields.size() == 6 ? Unescape(fields[5]) : std::nullopt;
        if (pending || fields[0] != "T" || !device || !inode || !folder || !oldName || !newName) {
            return Status::Corruption("damaged rename journal: " + path);
        }
        entries->push_back({{*device, *inode}, *folder, *oldName, *newName, false});
        pending = true;
    }
    return Status::Ok();
}

// What undoing one rename would meet; empty when it can go ahead, "-" when there is
// nothing to do for it (it never happened, or it is undone already).
std::string Obstacle(const Entry& entry, const std::string& from, const std::string& to) {
    const auto atNew = io::IdentityOf(from);
    const bool known = io::IdentitiesKnown();
    if (!atNew) {
        const auto atOld = io::IdentityOf(to);
        if ((atOld && known && *atOld == entry.file) || !entry.confirmed) {
            return "-";
        }
        return "it is no longer there";
    }
    if (known && *atNew != entry.file) {
        return entry.confirmed ? "another file has that name now" : "-";
    }
    const auto atOld = io::IdentityOf(to);
    if (atOld && !(known && *atOld == *atNew)) {
        return "the name " + GetFileName(to) + " is taken";
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

Status RenameJournal::Begin(const std::string& folder) {
    if (folder.empty()) {
        return Status::NotFound("no state folder (neither XDG_STATE_HOME nor HOME is set)");
    }
    Status status = io::MakePrivateFolder(folder);
    if (!status.ok()) {
        return status;
    }
    std::vector<std::string> journals = Journals(folder);
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
        if (io::Exists(path)) {
            continue;
        }
        status = file_.Create(path);
        if (status.ok()) {
            status = file_.Append(kHeader);
            open_ = status.ok();
            return status;
        }
    }
    return status;
}

Status RenameJournal::Attempt(const std::string& folder, const std::string& oldName,
                              const std::string& newName, io::FileId file) {
    // An undo may run from any folder: a relative one would lead it elsewhere.
    if (!std::filesystem::path(folder).is_absolute()) {
        return Status::InvalidArgument("not an absolute folder: " + folder);
    }
    std::string line = "T " + std::to_string(file.device) + " " + std::to_string(file.inode) + " " +
                       Escape(folder) + " " + Escape(oldName) + " " + Escape(newName) + "\n";
    return file_.Append(line);
}

Status RenameJournal::Outcome(bool renamed) {
    renamed_ += renamed ? 1 : 0;
    return file_.Append(renamed ? "D\n" : "F\n");
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
    return !folder.empty() && !Journals(folder).empty();
}

UndoOutcome UndoLastRun(const std::string& folder, bool dryRun) {
    UndoOutcome outcome;
    std::vector<std::string> journals = folder.empty() ? std::vector<std::string>() : Journals(folder);
    // A run that left nothing to revert (cut short before its first rename) is passed over.
    while (!journals.empty()) {
        const std::string path = JoinPath(folder, journals.back());
        journals.pop_back();
        std::vector<Entry> entries;
        outcome.error = ReadJournal(path, &entries);
        if (!outcome.error.ok()) {
            return outcome;
        }
        for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
            UndoStep step{JoinPath(it->folder, it->newName), JoinPath(it->folder, it->oldName), {}};
            step.skipped = Obstacle(*it, step.from, step.to);
            if (step.skipped == "-") {
                continue;
            }
            if (step.skipped.empty() && !dryRun) {
                const Status moved = io::MoveNoReplace(step.from, step.to);
                if (!moved.ok()) {
                    step.skipped = moved.message();
                }
            }
            outcome.steps.push_back(std::move(step));
        }
        if (!dryRun) {
            outcome.error = io::RemoveFile(path);
        }
        const bool renamedSomething = std::any_of(entries.begin(), entries.end(),
                                                  [](const Entry& e) { return e.confirmed; });
        if (!outcome.steps.empty() || renamedSomething || !outcome.error.ok()) {
            return outcome;
        }
    }
    outcome.nothingToUndo = true;
    return outcome;
}

}  // namespace brindle
