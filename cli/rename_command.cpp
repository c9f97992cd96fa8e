#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "args.h"
#include "cli.h"
#include "io/file_io.h"
#include "rename/apply_renames.h"
#include "rename/file_dates.h"
#include "rename/naming_rule.h"
#include "rename/natural_order.h"
#include "rename/rename_plan.h"
#include "rename/rename_journal.h"
#include "shell/name_index.h"
#include "shell/numbers.h"
#include "shell/paths.h"
#include "shell/translate.h"
#include "stop_signal.h"

#if defined(__GLIBC__)
#include <malloc.h>
#include <sys/mman.h>
#endif

namespace brindle::cli {
namespace {

constexpr const char* kRenameUsage =
    N_("Usage: brindle rename [OPTIONS] FILE...\n"
       "       brindle rename --undo [--dry-run | --forget]\n"
       "\n"
       "Gives the files new names by one rule, in the order given (or --sort), each in its\n"
       "own folder. A name is built from five slots with a separator after each of the\n"
       "first four. By default slot 0 holds the file name (FileName) and slot 1 the\n"
       "extension (Ext); --date and --number go between them, in that order, unless --order\n"
       "places them. No existing file is ever replaced: the whole run is planned first, and\n"
       "when a new name is not a file name, is given twice in a folder or is taken by a file\n"
       "not renamed, each such file is named and nothing is renamed. Files may swap or pass\n"
       "names along. The run stops at a file that another program got in the way of, or on\n"
       "Ctrl-C after the current file, keeping the renames done before it. Rename runs and\n"
       "undos take turns: one waits while another is under way.\n"
       "\n"
       "Options:\n"
       "  --name TEXT          replace each base name with TEXT, where {name}, {folder},\n"
       "                       {artist}, {album}, {title}, {track}, {disc}, {year},\n"
       "                       {genre} (music tags), {camera}, {lens}, {width} and\n"
       "                       {height} (photo EXIF) are filled from each file; a number\n"
       "                       takes a width, as {track:02}; {{ and }} write braces\n"
       "  --find TEXT          replace every TEXT in each base name (after --name's\n"
       "                       placeholders) with the --replace text\n"
       "  --replace TEXT       what --find's matches become (default: nothing)\n"
       "  --regex              --find is a PCRE2 pattern; --replace takes $1, ${name}, $$\n"
       "  --ignore-case        --find matches letters in either case\n"
       "  --case CASE          the new names' letter case, applied last: lower, upper,\n"
       "                       title or sentence\n"
       "  --ext-case CASE      the extensions' letter case: lower or upper\n"
       "  --ext TEXT           replace each extension with TEXT (without its dot);\n"
       "                       an empty TEXT drops the extension and its dot\n"
       "  --date[=YYYY-MM-DD]  add a date (default: today)\n"
       "  --date-from SOURCE   add each file's own date instead: mtime (its modification\n"
       "                       time) or taken (a photo's EXIF time taken, else mtime)\n"
       "  --date-format NAME   DDMMYY, DDMMYYYY (default), MMDDYY, MMDDYYYY, DMYY, DMYYYY,\n"
       "                       MDYY or MDYYYY\n"
       "  --date-sep SEP       None (default) or -\n"
       "  --date-mode MODE     increment, decrement or none (default): how the date moves\n"
       "                       from one file to the next\n"
       "  --date-step N        units per file (default 1), from -32768 to 32767\n"
       "  --date-unit UNIT     day (default), month or year\n"
       "  --number TEMPLATE    add a counter: the digits of TEMPLATE give the first value\n"
       "                       and the least width, e.g. (01) gives (01), (02), ...\n"
       "  --order ITEMS        slots from the first, comma-separated: FileName, Ext, Date,\n"
       "                       Number; an empty item leaves a slot empty\n"
       "  --sep0 ... --sep3 TEXT\n"
       "                       the text written after slot 0 ... slot 3\n"
       "  --sort ORDER         as-given (default), natural (by name, \"IMG_2\" before\n"
       "                       \"IMG_10\", letter case aside), size, mtime (modification\n"
       "                       time) or taken (a photo's EXIF time taken, else mtime):\n"
       "                       the order the counter and a moving date follow\n"
       "  --reverse            the other way round\n"
       "  --dry-run            print \"old -> new\" for each file and rename nothing (and\n"
       "                       the conflicts, exit 1, as a run would)\n"
       "  --preview            print the first file's new name (the rule's sample name\n"
       "                       when no file is given)\n"
       "  --undo               revert the most recent rename run (of this command or the\n"
       "                       desktop program), last rename first. A file is never\n"
       "                       replaced: a name taken again, or another file under the\n"
       "                       new name, is skipped and named (exit 1), and the run\n"
       "                       stays the one to undo, with only what is left, until\n"
       "                       every step is undone; then --undo reverts the run\n"
       "                       before. With --dry-run, only show \"new -> old\" for what\n"
       "                       it would revert\n"
       "  --forget             with --undo: drop the run --undo would revert, renaming\n"
       "                       nothing\n"
       "  -h, --help           show this help\n"
       "\n"
       "Prints \"Process Finish.\" when every file was renamed. Exit status: 0 done,\n"
       "1 a name could not be made or a file could not be renamed, 2 bad arguments.\n");

struct Request {
    NamingRule rule;
    bool dateOn = false;
    bool numberOn = false;
    bool dryRun = false;
    bool preview = false;
    bool help = false;
    bool undo = false;
    bool forget = false;
    RowOrder sort = RowOrder::kAsGiven;
    bool reverse = false;
    std::optional<std::string> order;
    std::vector<std::string> files;
};

class UsageError {
public:
    explicit UsageError(std::string message) : message_(std::move(message)) {}
    const std::string& message() const { return message_; }

private:
    std::string message_;
};

std::optional<std::chrono::year_month_day> ParseDate(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') {
        return std::nullopt;
    }
    for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        if (text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        }
    }
    const auto number = [&](std::size_t at, std::size_t n) {
        return static_cast<int>(NumberValue(text.substr(at, n)));
    };
    const std::chrono::year_month_day date{std::chrono::year{number(0, 4)},
                                           std::chrono::month{static_cast<unsigned>(number(5, 2))},
                                           std::chrono::day{static_cast<unsigned>(number(8, 2))}};
    if (!date.ok() || date.year() < std::chrono::year{100}) {
        return std::nullopt;
    }
    return date;
}

template <typename T, std::size_t N>
T Choose(std::string_view option, std::string_view value,
         const std::array<std::pair<std::string_view, T>, N>& choices) {
    for (const auto& [name, choice] : choices) {
        if (Lowered(name) == Lowered(value)) {
            return choice;
        }
    }
    std::string names;
    for (const auto& choice : choices) {
        names += (names.empty() ? "" : ", ") + std::string(choice.first);
    }
    throw UsageError(Fill(Tr("%1 takes one of %2, not '%3'"), {option, names, value}));
}

void ApplyOrder(const std::string& order, const Request& request, NamingRule& rule) {
    std::vector<std::string> items;
    std::size_t from = 0;
    for (;;) {
        const auto comma = order.find(',', from);
        items.push_back(order.substr(from, comma == std::string::npos ? comma : comma - from));
        if (comma == std::string::npos) {
            break;
        }
        from = comma + 1;
    }
    if (items.size() > static_cast<std::size_t>(kSlotCount)) {
        throw UsageError(
            Fill(Tr("--order has room for five slots, not %1"), {std::to_string(items.size())}));
    }
    std::array<std::string, kSlotCount> slots;
    std::set<std::string> seen;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].empty()) {
            continue;
        }
        slots[i] = Choose<std::string_view, 4>(
            "--order", items[i],
            {{{kItemFileName, kItemFileName}, {kItemExt, kItemExt},
              {kItemDate, kItemDate}, {kItemNumber, kItemNumber}}});
        if (!seen.insert(slots[i]).second) {
            throw UsageError(Fill(Tr("--order names %1 twice"), {slots[i]}));
        }
    }
    const std::pair<std::string_view, bool> wanted[] = {{kItemFileName, true},
                                                        {kItemExt, true},
                                                        {kItemDate, request.dateOn},
                                                        {kItemNumber, request.numberOn}};
    for (const auto& [item, on] : wanted) {
        const bool placed = seen.count(std::string(item)) != 0;
        if (on && !placed) {
            throw UsageError(Fill(Tr("--order must place %1"), {item}));
        }
        if (!on && placed) {
            throw UsageError(
                Fill(Tr("--order places %1 but --%2 was not given"), {item, Lowered(item)}));
        }
    }
    rule.Slots = slots;
}

// --sort and --reverse; false for an argument of another option.
bool ParseOrderOption(const std::string& arg, Args& args, Request& request) {
    if (arg == "--reverse") {
        if (args.AttachedValue()) {
            throw UsageError(Fill(Tr("%1 takes no value"), {arg}));
        }
        request.reverse = true;
        return true;
    }
    if (arg != "--sort") {
        return false;
    }
    const auto given = args.Value();
    if (!given) {
        throw UsageError(Fill(Tr("%1 needs a value"), {arg}));
    }
    request.sort = Choose<RowOrder, 5>(arg, *given,
                                       {{{"as-given", RowOrder::kAsGiven},
                                         {"natural", RowOrder::kNatural},
                                         {"size", RowOrder::kSize},
                                         {"mtime", RowOrder::kModified},
                                         {"taken", RowOrder::kTaken}}});
    return true;
}

// Find and replace and letter case; false for any other option.
bool ParseTextOption(const std::string& arg, const std::function<std::string()>& value,
                     const std::function<void()>& flag, NamingRule& rule) {
    if (arg == "--find") {
        rule.Replace.find = value();
    } else if (arg == "--replace") {
        rule.Replace.replace = value();
    } else if (arg == "--regex") {
        flag();
        rule.Replace.regex = true;
    } else if (arg == "--ignore-case") {
        flag();
        rule.Replace.matchCase = false;
    } else if (arg == "--case") {
        rule.NameCase = Choose<LetterCase, 4>(arg, value(),
                                              {{{"lower", LetterCase::kLower},
                                                {"upper", LetterCase::kUpper},
                                                {"title", LetterCase::kTitle},
                                                {"sentence", LetterCase::kSentence}}});
    } else if (arg == "--ext-case") {
        rule.ExtensionCase = Choose<LetterCase, 2>(
            arg, value(), {{{"lower", LetterCase::kLower}, {"upper", LetterCase::kUpper}}});
    } else {
        return false;
    }
    return true;
}

// A pattern that cannot be used is bad arguments, found before any file is read.
void CheckTextOptions(const NamingRule& rule) {
    const FindReplace plain;
    if (rule.Replace.find.empty() &&
        (rule.Replace.regex || rule.Replace.matchCase != plain.matchCase || !rule.Replace.replace.empty())) {
        throw UsageError(Tr("--replace, --regex and --ignore-case go with --find"));
    }
    if (const std::string problem = RuleProblem(rule); !problem.empty()) {
        throw UsageError(Fill(Tr("--find: %1"), {problem}));
    }
}

// The rule and files the arguments ask for; throws UsageError on anything unclear.
Request Parse(const std::vector<std::string>& words) {
    Request request;
    NamingRule& rule = request.rule;
    rule = InitialNamingRule(Today());
    bool dateOptions = false;
    bool stepOptions = false;
    request.files.reserve(words.size());
    Args args(words);
    while (args.Next()) {
        if (!args.IsOption()) {
            request.files.push_back(args.Word());
            continue;
        }
        const std::string arg = args.Name();
        if (arg == "-h" || arg == "--help") {
            request.help = true;
            return request;
        }
        const auto value = [&]() -> std::string {
            auto given = args.Value();
            if (!given) {
                throw UsageError(Fill(Tr("%1 needs a value"), {arg}));
            }
            return *given;
        };
        const auto flag = [&] {
            if (args.AttachedValue()) {
                throw UsageError(Fill(Tr("%1 takes no value"), {arg}));
            }
        };
        if (arg == "--name") {
            rule.FileNameText = value();
        } else if (arg == "--ext") {
            rule.ExtensionText = value();
        } else if (arg == "--date") {
            // Only an attached date counts: the word after a bare --date is always a file.
            request.dateOn = true;
            if (const auto text = args.AttachedValue()) {
                const auto date = ParseDate(*text);
                if (!date) {
                    throw UsageError(
                        Fill(Tr("--date takes a date as --date=YYYY-MM-DD, not '%1'"), {*text}));
                }
                rule.BaseDate = *date;
            }
        } else if (arg == "--date-from") {
            request.dateOn = true;
            rule.DateFrom = Choose<DateSource, 2>(
                arg, value(), {{{"mtime", DateSource::kModified}, {"taken", DateSource::kTaken}}});
        } else if (arg == "--date-format") {
            dateOptions = true;
            rule.DateFormat = std::string(Choose<std::string_view, 8>(
                arg, value(),
                {{{kDateFormats[0], kDateFormats[0]}, {kDateFormats[1], kDateFormats[1]},
                  {kDateFormats[2], kDateFormats[2]}, {kDateFormats[3], kDateFormats[3]},
                  {kDateFormats[4], kDateFormats[4]}, {kDateFormats[5], kDateFormats[5]},
                  {kDateFormats[6], kDateFormats[6]}, {kDateFormats[7], kDateFormats[7]}}}));
        } else if (arg == "--date-sep") {
            dateOptions = true;
            rule.DateSeparator = std::string(Choose<std::string_view, 2>(
                arg, value(), {{{kNoDateSeparator, kNoDateSeparator}, {"-", "-"}}}));
        } else if (arg == "--date-mode") {
            dateOptions = true;
            rule.DateMode = Choose<DateMode, 3>(arg, value(),
                                                {{{"increment", DateMode::kIncrement},
                                                  {"decrement", DateMode::kDecrement},
                                                  {"none", DateMode::kNone}}});
        } else if (arg == "--date-step") {
            dateOptions = stepOptions = true;
            const std::string text = value();
            const auto step = IsNumeric(text) ? ReadDateStep(text) : std::nullopt;
            if (!step) {
                throw UsageError(
                    Fill(Tr("--date-step takes a number from -32768 to 32767, not '%1'"), {text}));
            }
            rule.DateStep = *step;
        } else if (arg == "--date-unit") {
            dateOptions = stepOptions = true;
            rule.DateUnit = Choose<DateUnit, 3>(
                arg, value(),
                {{{"day", DateUnit::kDay}, {"month", DateUnit::kMonth}, {"year", DateUnit::kYear}}});
        } else if (arg == "--number") {
            request.numberOn = true;
            rule.NumberTemplate = value();
            rule.NumberDigits = TemplateDigits(rule.NumberTemplate);
        } else if (arg == "--order") {
            request.order = value();
        } else if (arg.size() == 6 && arg.rfind("--sep", 0) == 0 && arg[5] >= '0' && arg[5] <= '3') {
            rule.Separators[static_cast<std::size_t>(arg[5] - '0')] = value();
        } else if (arg == "--dry-run") {
            flag();
            request.dryRun = true;
        } else if (arg == "--preview") {
            flag();
            request.preview = true;
        } else if (ParseTextOption(arg, value, flag, rule)) {
        } else if (arg == "--undo") {
            flag();
            request.undo = true;
        } else if (arg == "--forget") {
            flag();
            request.forget = true;
        } else if (ParseOrderOption(arg, args, request)) {
        } else {
            throw UsageError(Fill(Tr("unknown option '%1'"), {arg}));
        }
    }
    if (request.undo) {
        for (const std::string& word : words) {
            if (word != "--undo" && word != "--dry-run" && word != "--forget") {
                throw UsageError(
                    Fill(Tr("--undo takes only --dry-run or --forget, not '%1'"), {word}));
            }
        }
        if (request.forget && request.dryRun) {
            throw UsageError(Tr("--forget renames nothing: it takes no --dry-run"));
        }
        return request;
    }
    if (request.forget) {
        throw UsageError(Tr("--forget goes with --undo"));
    }
    CheckTextOptions(rule);
    if (rule.DateFrom != DateSource::kChosen && rule.DateMode != DateMode::kNone) {
        throw UsageError(
            Tr("--date-mode moves one chosen date; --date-from gives each file its own"));
    }
    if (dateOptions && !request.dateOn) {
        throw UsageError(Tr("the --date-... options need --date or --date-from"));
    }
    if (stepOptions && rule.DateMode == DateMode::kNone) {
        throw UsageError(Tr("--date-step and --date-unit need --date-mode increment or decrement"));
    }
    // The same order as the rule editor's check boxes give.
    if (request.dateOn) {
        AddItemToSlots(rule, kItemDate);
    }
    if (request.numberOn) {
        AddItemToSlots(rule, kItemNumber);
    }
    if (request.order) {
        ApplyOrder(*request.order, request, rule);
    }
    if (request.files.empty() && !request.preview) {
        throw UsageError(Tr("no files given"));
    }
    return request;
}

// Makes room for a run of `files` files in one call. A run of tens of thousands touches
// tens of megabytes, page by page, and on a virtual machine each first touch costs more
// than a rename's lookups in the folder; the kernel fills them in one go far cheaper. The
// memory is kept and reused, never handed back and faulted in again, as the run's large
// tables come and go.
void ReserveMemoryFor(std::size_t files) {
#if defined(__GLIBC__) && defined(MADV_POPULATE_WRITE)
    // About what a run of 20,000 files touches per file, the plan's table of lookups included.
    constexpr std::size_t kPerFile = 1024;
    constexpr std::size_t kFrom = 2000;
    if (files < kFrom) {
        return;
    }
    // The block, and the tables after it, from the heap that is kept; glibc serves no block
    // over 32 MiB from it, so a larger run faults the rest in as it goes.
    constexpr std::size_t kMost = (std::size_t{32} << 20) - (std::size_t{1} << 20);
    const std::size_t bytes = std::min(files * kPerFile, kMost);
    (void)mallopt(M_MMAP_THRESHOLD, static_cast<int>(bytes + (std::size_t{1} << 20)));
    (void)mallopt(M_TRIM_THRESHOLD, static_cast<int>(bytes * 2));
    void* block = std::malloc(bytes);
    if (block == nullptr) {
        return;
    }
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto start = (reinterpret_cast<std::uintptr_t>(block) + page - 1) & ~(page - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(block) + bytes) & ~(page - 1);
    if (end > start) {
        (void)madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE);
    }
    std::free(block);
#else
    (void)files;
#endif
}

enum class EntryKind { kNone, kFolder, kOther };

// What each given name is, as the link itself: a folder of many given files is listed once
// (the listing tells each entry's kind), a folder of few, or a name its listing lacks, is asked
// of the system name by name, as given, so it need not walk the folder's whole path again.
class FolderEntries {
public:
    EntryKind KindOf(const std::string& given, const std::string& folder, const std::string& name,
                     std::size_t givenThere) {
        if (givenThere >= kListFrom) {
            if (last_ == nullptr || last_->first != folder) {
                auto [listing, fresh] = folders_.try_emplace(folder);
                if (fresh) {
                    List(folder, &listing->second);
                }
                last_ = &*listing;
            }
            const Listing& listing = last_->second;
            if (const std::size_t* found = listing.index.find(name)) {
                return listing.kinds[*found];
            }
        }
        std::error_code error;
        const auto status = std::filesystem::symlink_status(given, error);
        if (error || !std::filesystem::exists(status)) {
            return EntryKind::kNone;
        }
        return std::filesystem::is_directory(status) ? EntryKind::kFolder : EntryKind::kOther;
    }

private:
    static constexpr std::size_t kListFrom = 64;

    struct Listing {
        std::vector<std::string> names;
        std::vector<EntryKind> kinds;
        NameIndex index;  // over names, once they are all in
    };

    // A folder that cannot be listed leaves its names to be asked one by one.
    static void List(const std::string& folder, Listing* listing) {
        std::vector<io::FolderEntry> entries;
        if (!io::ListFolder(folder, &entries).ok()) {
            return;
        }
        listing->names.reserve(entries.size());
        listing->kinds.reserve(entries.size());
        for (io::FolderEntry& entry : entries) {
            // The kind comes with the listing on most file systems; a link is taken as itself.
            listing->names.push_back(std::move(entry.name));
            listing->kinds.push_back(entry.folder ? EntryKind::kFolder : EntryKind::kOther);
        }
        listing->index.reserve(listing->names.size());
        for (std::size_t i = 0; i < listing->names.size(); ++i) {
            listing->index.emplace(listing->names[i], i);
        }
    }

    std::unordered_map<std::string, Listing> folders_;
    const std::pair<const std::string, Listing>* last_ = nullptr;  // the rows of a folder mostly come together
};

// One checked row per file, by its absolute path; every file must be there, and only once.
std::vector<RenameRow> RowsFor(const std::vector<std::string>& files) {
    std::vector<RenameRow> rows;
    rows.reserve(files.size());  // never moved, so the names the index holds stay put
    // The names given in each folder as the system resolves it; the resolved folders.
    std::unordered_map<std::string, NameIndex> given;
    // Tens of thousands of files in a few folders: each folder is resolved once.
    std::error_code here;
    const std::string current = std::filesystem::current_path(here).string();
    std::unordered_map<std::string, std::string> resolvedFolders;
    std::vector<std::string> paths;
    paths.reserve(files.size());
    std::unordered_map<std::string, std::size_t> perFolder;
    for (const std::string& file : files) {
        paths.push_back(here ? file : brindle::AbsolutePath(file, current));
        ++perFolder[GetFolderName(paths.back())];
    }
    FolderEntries entries;
    const std::pair<const std::string, std::string>* folder = nullptr;  // the last row's
    std::size_t givenThere = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string& file = files[i];
        RenameRow& row = rows.emplace_back();
        row.checked = true;
        row.key = std::move(paths[i]);
        row.fileName = GetFileName(row.key);
        row.fileLocation = GetFolderName(row.key);
        if (folder == nullptr || folder->first != row.fileLocation) {
            givenThere = perFolder[row.fileLocation];
            auto [known, fresh] = resolvedFolders.try_emplace(row.fileLocation);
            if (fresh) {
                std::optional<std::string> found;
                if (io::Resolve(row.fileLocation, &found).ok() && found) {
                    known->second = *found;
                }
            }
            folder = &*known;
        }
        switch (entries.KindOf(file, row.fileLocation, row.fileName, givenThere)) {
        case EntryKind::kNone:
            throw UsageError(Fill(Tr("no such file: %1"), {file}));
        case EntryKind::kFolder:
            throw UsageError(Fill(Tr("not a file: %1"), {file}));
        case EntryKind::kOther:
            break;
        }
        // Two spellings of one file are found as the system resolves them; a folder the
        // system cannot resolve is taken as spelt: its renames then fail, naming why.
        auto [names, fresh] = given.try_emplace(folder->second.empty() ? row.fileLocation : folder->second);
        if (fresh) {
            names->second.reserve(givenThere);
        }
        if (!names->second.emplace(row.fileName, i).second) {
            throw UsageError(Fill(Tr("given twice: %1"), {file}));
        }
    }
    return rows;
}

// The new name beside the file as the user wrote it.
std::string ShownNewPath(const std::string& given, const std::string& newName) {
    const auto slash = given.rfind(kPathSeparator);
    return slash == std::string::npos ? newName : given.substr(0, slash + 1) + newName;
}

// Puts the rows, and the files as given with them, in the order asked for.
void SortRequest(Request& request, std::vector<RenameRow>& rows) {
    if (request.sort == RowOrder::kAsGiven && !request.reverse) {
        return;
    }
    const std::vector<std::size_t> from = SortRows(rows, request.sort, request.reverse);
    std::vector<std::string> files;
    files.reserve(from.size());
    for (const std::size_t i : from) {
        files.push_back(std::move(request.files[i]));
    }
    request.files = std::move(files);
}

// One line per conflict, "old -> new: why"; exit 1 when there is any.
int ReportConflicts(const std::vector<RenameConflict>& conflicts, const std::vector<RenameRow>& rows,
                    const std::vector<std::string>& files, Console& console) {
    for (const RenameConflict& conflict : conflicts) {
        console.err << files[conflict.row] << " -> " << ShownNewPath(files[conflict.row], rows[conflict.row].newFileName)
                    << ": " << conflict.reason << "\n";
    }
    if (conflicts.empty()) {
        return kExitOk;
    }
    console.err << "brindle rename: "
                << Fill(TrN("%1 new name conflicts, so nothing was renamed",
                            "%1 new names conflict, so nothing was renamed",
                            static_cast<unsigned long>(conflicts.size())),
                        {std::to_string(conflicts.size())})
                << "\n";
    return kExitFailed;
}

// Ctrl-C ends a wait for another rename or undo, or stops after the current file.
RunControl CommandControl(Console& console) {
    return {[&console] {
                console.err << "brindle rename: " << Tr("waiting for another rename to finish")
                            << std::endl;
            },
            [] { return CaughtSignal() != 0; }};
}

// The first file's new name, or the rule's sample name without files; false when the rule
// gives the first file no name.
bool PrintPreview(const NamingRule& rule, const std::vector<RenameRow>& rows, Console& console) {
    if (rows.empty()) {
        console.out << BuildPreview(rule) << "\n";
        return true;
    }
    std::string why;
    const auto name = PreviewName(rule, rows.front(), &why);
    if (!name) {
        console.err << Tr("Fail to apply rule") << "\n" << "brindle rename: " << why << "\n";
        return false;
    }
    console.out << *name << "\n";
    return true;
}

int RunUndo(bool dryRun, bool forget, Console& console) {
    if (forget) {
        const Status status = ForgetLastRun(DefaultJournalFolder(), CommandControl(console));
        if (status.cancelled()) {
            return StoppedExitCode();
        }
        if (!status.ok()) {
            console.err << "brindle rename: " << status.message() << "\n";
            return kExitFailed;
        }
        console.out << Tr("The last rename run is forgotten; its files keep their names.") << "\n";
        return kExitOk;
    }
    const UndoOutcome outcome = UndoLastRun(DefaultJournalFolder(), dryRun, CommandControl(console));
    if (!outcome.error.ok() && !outcome.error.cancelled()) {
        console.err << "brindle rename: " << outcome.error.message() << "\n";
        if (outcome.error.code() == Status::Code::kCorruption) {
            console.err
                << "brindle rename: "
                << Tr("nothing was renamed; 'brindle rename --undo --forget' drops that run")
                << "\n";
        }
        return kExitFailed;
    }
    if (outcome.nothingToUndo) {
        console.err << "brindle rename: " << Tr("nothing left to undo") << "\n";
        return kExitFailed;
    }
    for (const UndoStep& step : outcome.steps) {
        if (!step.skipped.empty()) {
            console.err << Fill(Tr("not undone: %1 -> %2 (%3)"), {step.from, step.to, step.skipped})
                        << "\n";
        } else if (dryRun) {
            console.out << step.from << " -> " << step.to << "\n";
        }
    }
    if (outcome.stopped) {
        console.err
            << "brindle rename: "
            << Fill(
                   TrN("stopped with %1 file(s) renamed back; the rest stays to undo: run 'brindle "
                       "rename --undo' again to retry it, or 'brindle rename --undo --forget' to "
                       "drop it",
                       "stopped with %1 file(s) renamed back; the rest stays to undo: run 'brindle "
                       "rename --undo' again to retry it, or 'brindle rename --undo --forget' to "
                       "drop it",
                       static_cast<unsigned long>(outcome.UndoneCount())),
                   {std::to_string(outcome.UndoneCount())})
            << "\n";
        return StoppedExitCode();
    }
    if (dryRun) {
        return outcome.ok() ? kExitOk : kExitFailed;
    }
    if (!outcome.ok()) {
        console.err << RenameReport(false) << "\n"
                    << "brindle rename: "
                    << Fill(TrN("%1 file(s) not renamed back, so the run is kept: run 'brindle "
                                "rename --undo' again to retry it, or 'brindle rename --undo "
                                "--forget' to drop it",
                                "%1 file(s) not renamed back, so the run is kept: run 'brindle "
                                "rename --undo' again to retry it, or 'brindle rename --undo "
                                "--forget' to drop it",
                                static_cast<unsigned long>(outcome.SkippedCount())),
                            {std::to_string(outcome.SkippedCount())})
                    << "\n";
        return kExitFailed;
    }
    console.out << RenameReport(true) << "\n";
    return kExitOk;
}

}  // namespace

int RunRename(const std::vector<std::string>& args, Console& console) {
    Request request;
    std::vector<RenameRow> rows;
    try {
        // Before the arguments are read: their copies come from the reserve too.
        ReserveMemoryFor(args.size());
        request = Parse(args);
        if (request.help) {
            console.out << Tr(kRenameUsage);
            return kExitOk;
        }
        if (request.undo) {
            return RunUndo(request.dryRun, request.forget, console);
        }
        rows = RowsFor(request.files);
        SortRequest(request, rows);
    } catch (const UsageError& error) {
        console.err << "brindle rename: " << error.message() << "\n"
                    << Tr("Run 'brindle rename --help' for the options.") << "\n";
        return kExitUsage;
    }
    if (request.preview && !PrintPreview(request.rule, rows, console)) {
        return kExitFailed;
    }
    if (rows.empty()) {
        return kExitOk;
    }
    std::string why;
    FileDateLookup fileDate;
    std::unordered_map<std::string, std::optional<std::chrono::year_month_day>> dates;
    if (UsesFileDates(request.rule)) {
        std::vector<std::string> keys;
        for (const RenameRow& row : rows) {
            keys.push_back(row.key);
        }
        const auto read = ReadFileDates(request.rule.DateFrom, keys);
        for (std::size_t i = 0; i < keys.size(); ++i) {
            dates.emplace(keys[i], read[i]);
        }
        fileDate = [&dates](const RenameRow& row) { return dates.at(row.key); };
    }
    if (!GenerateNewNames(request.rule, rows, &why, fileDate)) {
        console.err << Tr("Fail to apply rule") << "\n"
                    << "brindle rename: " << why << "\n";
        return kExitFailed;
    }
    // The list window passes over a row without a new name; asked by name, that is a failure.
    bool unnamed = false;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].newFileName.empty()) {
            console.err << "brindle rename: "
                        << Fill(Tr("the rule gives no new name to %1"), {request.files[i]}) << "\n";
            unnamed = true;
        }
    }
    if (unnamed) {
        return kExitFailed;
    }
    if (request.dryRun) {
        for (std::size_t i = 0; i < rows.size(); ++i) {
            console.out << request.files[i] << " -> "
                        << ShownNewPath(request.files[i], rows[i].newFileName) << "\n";
        }
        return ReportConflicts(PlanRenames(rows).conflicts, rows, request.files, console);
    }
    const RenameOutcome outcome = RenameAndRecord(rows, {}, CommandControl(console));
    if (!outcome.conflicts.empty()) {
        return ReportConflicts(outcome.conflicts, rows, request.files, console);
    }
    if (outcome.stopped) {
        const auto n = static_cast<unsigned long>(outcome.renamed);
        const std::string count = std::to_string(outcome.renamed);
        console.err << "brindle rename: "
                    << (outcome.renamed > 0 ? Fill(TrN("stopped with %1 file(s) renamed ('brindle "
                                                       "rename --undo' reverts them)",
                                                       "stopped with %1 file(s) renamed ('brindle "
                                                       "rename --undo' reverts them)",
                                                       n),
                                                   {count})
                                            : Fill(Tr("stopped with %1 file(s) renamed"), {count}))
                    << "\n";
        return StoppedExitCode();
    }
    if (!outcome.ok()) {
        console.err << outcome.message() << "\n"
                    << "brindle rename: " << outcome.error.message() << "\n";
        return kExitFailed;
    }
    console.out << outcome.message() << "\n";
    return kExitOk;
}

}  // namespace brindle::cli
