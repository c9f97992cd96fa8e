#include "join/folder_check.h"

#include <algorithm>
#include <functional>
#include <future>

#include "checks/hash_pool.h"
#include "format/checksums.h"
#include "format/discovery.h"
#include "format/numbered_group.h"
#include "join/numbered_join.h"
#include "recovery/recovery.h"
#include "shell/paths.h"
#include "shell/translate.h"

namespace brindle {
namespace {

// No bar is shown while the groups are checked side by side.
class Quiet : public Progress {
public:
    int Max() const override { return 10000; }
    int Value() const override { return 0; }
    void SetValue(int) override {}
};

// Whether the recovery files beside a group that does not join as it is would mend it.
void LookAtRecovery(const std::string& folder, const GroupCheck* check, FolderGroupVerdict* verdict) {
    std::vector<std::string> found;
    if (!recovery::FindRecoveryFiles(folder, verdict->name, &found).ok() || found.empty()) {
        return;
    }
    verdict->recoveryFiles = true;
    if (verdict->joinable) {
        return;
    }
    const recovery::Input input = check != nullptr ? recovery::PieceGroupInput(folder, verdict->name, *check)
                                                   : recovery::NumberedGroupInput(folder, verdict->name);
    if (input.files.empty()) {
        return;
    }
    Quiet quiet;
    const recovery::Check rebuild = recovery::CheckFiles(input, quiet);
    verdict->rebuildable = rebuild.CanRebuild();
    verdict->reason = recovery::Summary(rebuild);
}

FolderGroupVerdict CheckOwn(const std::string& folder, const std::string& group) {
    FolderGroupVerdict verdict;
    verdict.kind = "pieces";
    verdict.name = group;
    verdict.firstPiece = FirstPiecePath(folder, group);
    const GroupCheck check = CheckGroup(folder, group);
    verdict.pieces = static_cast<int>(check.pieces.size());
    verdict.bytes = check.sourceLength;
    for (const PieceCheck& piece : check.pieces) {
        if (piece.verdict != PieceVerdict::kOk) {
            ++verdict.faulty;
            if (verdict.reason.empty()) {
                verdict.reason = !piece.reason.empty() ? piece.reason
                                 : piece.name + ": " + VerdictText(piece.verdict) +
                                       (piece.fault.empty() ? "" : " (" + piece.fault + ")");
            }
        }
    }
    verdict.joinable = check.Joinable();
    if (!check.status.ok()) {
        verdict.faulty = std::max(verdict.faulty, 1);
        verdict.reason = check.status.message();
    } else if (!verdict.joinable && verdict.reason.empty()) {
        verdict.reason = Fill(Tr("the pieces hold %1 bytes, the split file had %2"),
                              {std::to_string(check.dataBytes), std::to_string(check.sourceLength)});
    }
    LookAtRecovery(folder, &check, &verdict);
    return verdict;
}

FolderGroupVerdict CheckNumbered(const std::string& folder, const std::string& base) {
    FolderGroupVerdict verdict;
    verdict.kind = "numbered";
    verdict.name = base;
    verdict.firstPiece = JoinPath(folder, NumberedPieceName(base, 1));
    const NumberedCheck check = CheckNumberedGroup(folder, base);
    verdict.pieces = check.pieceCount;
    verdict.bytes = check.totalSize;
    verdict.joinable = check.joinable;
    for (const NumberedCheckLine& line : check.lines) {
        if (line.fault) {
            ++verdict.faulty;
            if (verdict.reason.empty()) {
                verdict.reason = line.name + ": " + line.verdict + (line.reason.empty() ? "" : " (" + line.reason + ")");
            }
        }
    }
    LookAtRecovery(folder, nullptr, &verdict);
    return verdict;
}

}  // namespace

Status CheckFolderGroups(const std::string& folder, std::vector<FolderGroupVerdict>* found) {
    // A folder that cannot be listed is not one without groups.
    std::vector<std::string> own;
    std::vector<std::string> numbered;
    Status status = FindGroups(folder, &own);
    if (status.ok()) {
        status = FindNumberedGroups(folder, &numbered);
    }
    if (!status.ok()) {
        return status;
    }
    std::vector<std::function<FolderGroupVerdict()>> jobs;
    for (const std::string& group : own) {
        jobs.emplace_back([folder, group] { return CheckOwn(folder, group); });
    }
    for (const std::string& base : numbered) {
        jobs.emplace_back([folder, base] { return CheckNumbered(folder, base); });
    }
    std::vector<FolderGroupVerdict>& verdicts = *found;
    verdicts.clear();
    const std::size_t sideBySide = std::max(1u, HashPool::DefaultThreads());
    for (std::size_t start = 0; start < jobs.size(); start += sideBySide) {
        std::vector<std::future<FolderGroupVerdict>> running;
        for (std::size_t k = start; k < std::min(jobs.size(), start + sideBySide); ++k) {
            running.push_back(std::async(std::launch::async, jobs[k]));
        }
        for (auto& job : running) {
            verdicts.push_back(job.get());
        }
    }
    return Status::Ok();
}

}  // namespace brindle
