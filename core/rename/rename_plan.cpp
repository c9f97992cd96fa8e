#include "rename/rename_plan.h"

#include <algorithm>
#include <atomic>
#include <optional>
#include <random>
#include <unordered_map>

#include "io/file_io.h"
#include "io/open_folder.h"
#include "rename/apply_renames.h"
#include "rename/each_on_cores.h"
#include "shell/name_index.h"
#include "shell/paths.h"
#include "shell/translate.h"

namespace brindle {
namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

struct FileIdHash {
    std::size_t operator()(const io::FileId& id) const {
        return std::hash<std::uint64_t>()(id.inode * 31 + id.device);
    }
};

struct Planned {
    std::size_t row = kNone;
    std::size_t folder = kNone;  // in the plan's folders
    std::string oldName;
    io::FileId file;
    std::string stamp;
    std::size_t waitsFor = kNone;  // the planned file that holds the new name now
    std::size_t freedFor = kNone;  // the planned file that waits for this one's name
    bool done = false;
};

// A folder of the run, opened and listed once.
struct Folder {
    std::string path;  // without a trailing separator, so one folder is one key
    io::OpenFolder open;
    bool usable = false;
    // Whether its file system compares names as bytes: then a name its listing lacks is
    // free, and the run need not ask for each.
    bool bytes = false;
    std::vector<std::string> listed;  // its names, while the plan needs them
    // Names seen in the rows and the planned files, which outlive the plan's tables.
    NameIndex byNewName;  // the row that gets each new name
    NameIndex byOldName;  // the planned file leaving each
};

std::string FolderKey(const std::string& location) {
    std::string folder = location;
    while (folder.size() > 1 && folder.back() == kPathSeparator) {
        folder.pop_back();
    }
    return folder;
}

// A hidden name free in `folder`, unlike any a run of another process picks at the same time.
std::string FreeTemporaryName(const std::string& folder, std::size_t* counter) {
    static const unsigned run = std::random_device()();
    for (;;) {
        const std::string name = std::string(kSwapPrefix) + std::to_string(run) + "-" +
                                 std::to_string((*counter)++);
        std::optional<io::FileId> there;
        if (io::LookUpIdentity(JoinPath(folder, name), &there).ok() && !there) {
            return name;
        }
    }
}

}  // namespace

RenamePlan PlanRenames(std::span<const RenameRow> rows, const std::function<bool()>& stopped) {
    RenamePlan plan;
    std::vector<Planned> planned;
    planned.reserve(rows.size());
    std::vector<Folder> folders;
    std::unordered_map<std::string, std::size_t> folderOf;
    std::unordered_map<io::FileId, std::size_t, FileIdHash> byFile;
    byFile.reserve(rows.size());
    const auto conflict = [&plan](std::size_t row, std::string reason) {
        plan.conflicts.push_back({row, std::move(reason)});
    };
    // Opens and lists a folder at its first row; a folder that cannot be is that row's conflict.
    const std::string* lastLocation = nullptr;
    std::size_t lastFolder = kNone;
    const auto folderFor = [&](const std::string& location, std::size_t row) {
        // The rows of a folder mostly come together.
        if (lastLocation != nullptr && *lastLocation == location) {
            return lastFolder;
        }
        lastLocation = &location;
        const auto [known, fresh] = folderOf.emplace(FolderKey(location), folders.size());
        lastFolder = known->second;
        if (!fresh) {
            return known->second;
        }
        Folder& folder = folders.emplace_back();
        folder.path = known->first;
        std::vector<io::FolderEntry> entries;
        Status status = folder.open.Open(folder.path);
        if (status.ok()) {
            status = io::ListFolder(folder.path, &entries);
        }
        if (!status.ok()) {
            conflict(row, status.message());
            return known->second;
        }
        folder.usable = true;
        // No more of the run's files can be in it than it holds.
        folder.byNewName.reserve(std::min(entries.size(), rows.size()));
        folder.byOldName.reserve(std::min(entries.size(), rows.size()));
        folder.bytes = folder.open.NamesAreBytes();
        if (folder.bytes) {
            folder.listed.reserve(entries.size());
        }
        for (io::FolderEntry& entry : entries) {
            if (entry.name.starts_with(kSwapPrefix)) {
                conflict(row, Fill(Tr("%1 is left from a rename run that did not finish; undo that run first"),
                                   {entry.name}));
                folder.usable = false;
                break;
            }
            if (folder.bytes) {
                folder.listed.push_back(std::move(entry.name));
            }
        }
        return known->second;
    };
    // Which rows look for their file: those whose new name may be given and whose folder is.
    struct Look {
        std::size_t row;
        std::size_t folder;
        std::string oldName;
        std::optional<io::FileId> id;
        std::optional<std::string> stamp;
        Status status;
    };
    std::vector<Look> looks;
    looks.reserve(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const RenameRow& row = rows[i];
        if (row.fileLocation.empty() || row.newFileName.empty()) {
            continue;
        }
        if (stopped && i > 0 && i % 1024 == 0 && stopped()) {
            plan.stopped = true;
            return plan;
        }
        if (const Status name = CheckNewFileName(row.newFileName); !name.ok()) {
            conflict(i, name.message());
            continue;
        }
        if (row.newFileName.size() > kLongestName) {
            conflict(i, Fill(Tr("the new name is longer than %1 bytes"), {std::to_string(kLongestName)}));
            continue;
        }
        const std::size_t f = folderFor(row.fileLocation, i);
        if (folders[f].usable) {  // else its conflict is told once, at its first row
            looks.push_back({i, f, {}, {}, {}, {}});
        }
    }
    // Looking a file up is nearly all kernel time, and one folder's lookups hardly wait on each
    // other: two cores do 20,000 in about seven tenths of one core's time. A stop is asked
    // after every 1,024 lookups, as after every 1,024 rows above.
    std::atomic<bool> halted{false};
    EachOnCores(
        looks.size(),
        [&](std::size_t k) {
            if (stopped && k > 0 && k % 1024 == 0 && stopped()) {
                halted.store(true);
            }
            if (halted.load(std::memory_order_relaxed)) {
                return;
            }
            Look& look = looks[k];
            look.oldName = GetFileName(rows[look.row].key);
            look.status = folders[look.folder].open.LookUp(look.oldName, &look.id, &look.stamp);
        },
        nullptr);
    if (halted.load()) {
        plan.stopped = true;
        return plan;
    }
    for (Look& look : looks) {
        const std::size_t i = look.row;
        const RenameRow& row = rows[i];
        Folder& folder = folders[look.folder];
        if (!look.status.ok()) {
            conflict(i, look.status.message());
            continue;
        }
        if (!look.id || !look.stamp) {
            conflict(i, Tr("the file is no longer there"));
            continue;
        }
        Planned file{i, look.folder, std::move(look.oldName), *look.id, std::move(*look.stamp)};
        const auto [same, fresh] = folder.byNewName.emplace(row.newFileName, i);
        if (!fresh) {
            conflict(i, Fill(Tr("%1 of this run gets that name too"), {rows[same].fileName}));
            continue;
        }
        if (file.oldName == row.newFileName) {
            continue;
        }
        if (!folder.bytes) {
            byFile.emplace(file.file, planned.size());
        }
        planned.push_back(std::move(file));  // never moved again: room for every row was made
        folder.byOldName.emplace(planned.back().oldName, planned.size() - 1);
    }
    looks = {};
    // The rows whose new name is taken on disk, where the listing tells.
    std::vector<bool> listed(rows.size(), false);
    for (Folder& folder : folders) {
        for (const std::string& name : folder.listed) {
            if (const std::size_t* row = folder.byNewName.find(name)) {
                listed[*row] = true;
            }
        }
        folder.listed = {};
    }
    // Who holds each new name now: a file of the run that leaves it, the file itself (a
    // change of letter case where case is ignored), nobody, or a file that stays.
    for (std::size_t p = 0; p < planned.size(); ++p) {
        Planned& file = planned[p];
        const Folder& folder = folders[file.folder];
        const std::string& newName = rows[file.row].newFileName;
        std::size_t holder = kNone;
        if (const std::size_t* named = folder.byOldName.find(newName)) {
            holder = *named;
        } else if (folder.bytes) {
            if (listed[file.row]) {
                conflict(file.row, Tr("a file of that name is already there"));
                continue;
            }
        } else {
            // The file system may take another spelling for this name: it is asked.
            std::optional<io::FileId> there;
            std::optional<std::string> stamp;
            const Status looked = folder.open.LookUp(newName, &there, &stamp);
            if (!looked.ok()) {
                conflict(file.row, looked.message());
                continue;
            }
            if (there) {
                // Without identities a file there cannot be told from another spelling of one
                // of the run's: it is taken as another file, which is never replaced.
                const auto run = io::IdentitiesKnown() ? byFile.find(*there) : byFile.end();
                if (run == byFile.end()) {
                    conflict(file.row, Tr("a file of that name is already there"));
                    continue;
                }
                holder = run->second;
            }
        }
        if (holder != kNone && holder != p) {
            // Two new names one file system takes for one, as where case is ignored.
            if (planned[holder].freedFor != kNone) {
                conflict(file.row, Fill(Tr("%1 of this run gets that name too"),
                                        {rows[planned[planned[holder].freedFor].row].fileName}));
                continue;
            }
            file.waitsFor = holder;
            planned[holder].freedFor = p;
        }
    }
    if (!plan.conflicts.empty()) {
        std::stable_sort(plan.conflicts.begin(), plan.conflicts.end(),
                         [](const RenameConflict& a, const RenameConflict& b) { return a.row < b.row; });
        return plan;
    }
    plan.steps.reserve(planned.size());
    // A file's old name and stamp go to its last step, the tables that point into them done
    // with: a copy fewer of each per file.
    const auto step = [&](std::size_t p, std::string from, const std::string& to, bool final) {
        planned[p].done = true;
        plan.steps.push_back({planned[p].row, folders[planned[p].folder].path, std::move(from), to, planned[p].file,
                              final ? std::move(planned[p].stamp) : planned[p].stamp, final});
    };
    // A chain goes from its free end: each file moves once the one on its new name has gone.
    for (std::size_t p = 0; p < planned.size(); ++p) {
        if (planned[p].waitsFor != kNone) {
            continue;
        }
        for (std::size_t q = p; q != kNone; q = planned[q].freedFor) {
            step(q, std::move(planned[q].oldName), rows[planned[q].row].newFileName, true);
        }
    }
    // What is left are cycles: one file steps aside to a temporary name and comes last.
    std::size_t counter = 0;
    for (std::size_t p = 0; p < planned.size(); ++p) {
        if (planned[p].done) {
            continue;
        }
        const std::string& folder = folders[planned[p].folder].path;
        const std::string aside = FreeTemporaryName(folder, &counter);
        step(p, planned[p].oldName, aside, false);
        for (std::size_t q = planned[p].freedFor; q != p && q != kNone; q = planned[q].freedFor) {
            step(q, planned[q].oldName, rows[planned[q].row].newFileName, true);
        }
        plan.steps.push_back({planned[p].row, folder, aside, rows[planned[p].row].newFileName,
                              planned[p].file, planned[p].stamp, true});
    }
    return plan;
}

}  // namespace brindle
