#include "rename/rename_plan.h"

#include <algorithm>
#include <map>
#include <optional>
#include <random>
#include <unordered_map>

#include "io/file_io.h"
#include "rename/apply_renames.h"
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
    std::string folder;  // without a trailing separator, so one folder is one key
    std::string oldName;
    io::FileId file;
    std::string stamp;
    std::size_t waitsFor = kNone;  // the planned file that holds the new name now
    std::size_t freedFor = kNone;  // the planned file that waits for this one's name
    bool done = false;
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
    std::map<std::pair<std::string, std::string>, std::size_t> byNewName;
    std::map<std::pair<std::string, std::string>, std::size_t> byOldName;
    std::unordered_map<io::FileId, std::size_t, FileIdHash> byFile;
    std::map<std::string, std::size_t> folders;  // each folder and its first row
    const auto conflict = [&plan](std::size_t row, std::string reason) {
        plan.conflicts.push_back({row, std::move(reason)});
    };
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
        Planned file{i, FolderKey(row.fileLocation), GetFileName(row.key), {}, {}};
        std::optional<io::FileId> id;
        std::optional<std::string> stamp;
        Status looked = io::LookUpIdentity(row.key, &id);
        if (looked.ok() && id) {
            looked = io::LookUpStamp(row.key, &stamp);
        }
        if (!looked.ok()) {
            conflict(i, looked.message());
            continue;
        }
        if (!id || !stamp) {
            conflict(i, Tr("the file is no longer there"));
            continue;
        }
        file.file = *id;
        file.stamp = *stamp;
        folders.emplace(file.folder, i);
        const auto [same, fresh] = byNewName.emplace(std::pair(file.folder, row.newFileName), i);
        if (!fresh) {
            conflict(i, Fill(Tr("%1 of this run gets that name too"), {rows[same->second].fileName}));
            continue;
        }
        if (file.oldName == row.newFileName) {
            continue;
        }
        byOldName.emplace(std::pair(file.folder, file.oldName), planned.size());
        byFile.emplace(file.file, planned.size());
        planned.push_back(std::move(file));
    }
    for (const auto& [folder, first] : folders) {
        std::vector<io::FolderEntry> entries;
        const Status listed = io::ListFolder(folder, &entries);
        if (!listed.ok()) {
            conflict(first, listed.message());
            continue;
        }
        for (const io::FolderEntry& entry : entries) {
            if (entry.name.starts_with(kSwapPrefix)) {
                conflict(first, Fill(Tr("%1 is left from a rename run that did not finish; undo that run first"),
                                     {entry.name}));
                break;
            }
        }
    }
    // Who holds each new name now: a file of the run that leaves it, the file itself (a
    // change of letter case where case is ignored), nobody, or a file that stays.
    for (std::size_t p = 0; p < planned.size(); ++p) {
        Planned& file = planned[p];
        const std::string& newName = rows[file.row].newFileName;
        std::size_t holder = kNone;
        if (const auto named = byOldName.find(std::pair(file.folder, newName)); named != byOldName.end()) {
            holder = named->second;
        } else {
            std::optional<io::FileId> there;
            const Status looked = io::LookUpIdentity(JoinPath(file.folder, newName), &there);
            if (!looked.ok()) {
                conflict(file.row, looked.message());
                continue;
            }
            if (there) {
                const auto run = byFile.find(*there);
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
    const auto step = [&](std::size_t p, const std::string& from, const std::string& to, bool final) {
        planned[p].done = true;
        plan.steps.push_back({planned[p].row, planned[p].folder, from, to, planned[p].file, planned[p].stamp, final});
    };
    // A chain goes from its free end: each file moves once the one on its new name has gone.
    for (std::size_t p = 0; p < planned.size(); ++p) {
        if (planned[p].waitsFor != kNone) {
            continue;
        }
        for (std::size_t q = p; q != kNone; q = planned[q].freedFor) {
            step(q, planned[q].oldName, rows[planned[q].row].newFileName, true);
        }
    }
    // What is left are cycles: one file steps aside to a temporary name and comes last.
    std::size_t counter = 0;
    for (std::size_t p = 0; p < planned.size(); ++p) {
        if (planned[p].done) {
            continue;
        }
        const std::string aside = FreeTemporaryName(planned[p].folder, &counter);
        step(p, planned[p].oldName, aside, false);
        for (std::size_t q = planned[p].freedFor; q != p && q != kNone; q = planned[q].freedFor) {
            step(q, planned[q].oldName, rows[planned[q].row].newFileName, true);
        }
        plan.steps.push_back({planned[p].row, planned[p].folder, aside, rows[planned[p].row].newFileName,
                              planned[p].file, planned[p].stamp, true});
    }
    return plan;
}

}  // namespace brindle
