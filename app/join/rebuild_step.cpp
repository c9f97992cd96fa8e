#include "join/rebuild_step.h"

#include <QCoreApplication>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include "format/checksums.h"
#include "join/join_engine.h"
#include "join/join_state.h"
#include "join/numbered_join.h"
#include "join/rebuilding_join.h"
#include "recovery/recovery.h"
#include "shell/form_controls.h"
#include "shell/job_runner.h"
#include "shell/path_text.h"
#include "shell/paths.h"
#include "shell/prompter.h"

namespace brindle::app {
namespace {

// The check takes the first third of the bar, a rebuild the second, the join the rest.
constexpr int kCheckEnd = kBarMax / 3;
constexpr int kRebuildEnd = 2 * kBarMax / 3;

struct Checked {
    recovery::Input input;
    recovery::Check check;
    Status attempt;  // the join tried before the check, when it was
};

// What the recovery files find of the group. The program's own pieces are checked first by
// their headers' hashes: a piece whose hash holds is trusted, never rebuilt.
Checked CheckGroupFiles(const JoinState& state, Progress& progress) {
    Checked checked;
    if (state.JoinNumbered) {
        checked.input = recovery::NumberedGroupInput(state.JoinFolder, state.JoinGroupName);
    } else {
        checked.input = recovery::PieceGroupInput(state.JoinFolder, state.JoinGroupName,
                                                  CheckGroup(state.JoinFolder, state.JoinGroupName));
    }
    PartOfBar bar(progress, 0, kCheckEnd);
    checked.check = recovery::CheckFiles(checked.input, bar);
    return checked;
}

QString Question(int faulty) {
    if (faulty == 1) {
        return QCoreApplication::translate(
            "RebuildStep", "1 piece is missing or damaged. Rebuild it from the recovery files?");
    }
    return QCoreApplication::translate(
        "RebuildStep", "%n pieces are missing or damaged. Rebuild them from the recovery files?",
        nullptr, faulty);
}

// Why the join windows refuse: for too little recovery data, the pieces it leaves lost and
// how much is missing; else the check's own summary.
QString CannotRebuild(const recovery::Check& check) {
    if (!check.usable) {
        return QString::fromStdString(recovery::Summary(check));
    }
    QStringList names;
    for (const recovery::FileCheck& file : check.files) {
        if (file.state != recovery::FileState::kOk) {
            names.append(DisplayPath(GetFileName(file.path)));
        }
    }
    const int blocks = check.BlocksShort();
    const QString text =
        blocks == 1
            ? QCoreApplication::translate("RebuildStep",
                                          "The recovery files cannot rebuild %1: 1 block of "
                                          "recovery data is missing (%2).")
            : QCoreApplication::translate("RebuildStep",
                                          "The recovery files cannot rebuild %1: %n blocks of "
                                          "recovery data are missing (%2).",
                                          nullptr, blocks);
    return text.arg(names.join(QStringLiteral(", ")),
                    QString::fromStdString(FormatSize(check.BytesShort(), LocaleDecimalSeparator())));
}

// The join, on the bar from `from` on. With `checked`, its faulty pieces are rebuilt: of the
// program's own pieces in one pass with the join where the rebuilt blocks fit in memory,
// else first, into temporaries the join reads, which go when it ends; numbered pieces are
// held to the recovery files' MD5s as they are written.
Status Join(const JoinState& state, const std::vector<std::string>& pieces, const std::string& target, bool replace,
            const Checked* checked, Progress& progress, int from = kCheckEnd) {
    if (checked != nullptr && !state.JoinNumbered && recovery::FitsOnePass(checked->check)) {
        PartOfBar bar(progress, kCheckEnd, progress.Max());
        return JoinRebuildingInOnePass(checked->input, checked->check, {target, {}, replace}, bar);
    }
    recovery::Rebuilt rebuilt;
    if (checked != nullptr && checked->check.faultyFiles > 0) {
        PartOfBar bar(progress, kCheckEnd, kRebuildEnd);
        rebuilt = recovery::RebuildFiles(checked->input, checked->check, bar, target);
        if (!rebuilt.status.ok()) {
            return rebuilt.status;
        }
        from = kRebuildEnd;
    }
    PartOfBar bar(progress, from, progress.Max());
    const std::vector<std::string>& files = checked != nullptr ? checked->input.files : pieces;
    if (state.JoinNumbered) {
        NumberedJoinParams params{target, state.JoinFolder, state.JoinGroupName, replace, {}, {}};
        if (checked != nullptr) {
            params.pieces = files;
            params.readFrom = rebuilt.Substituted(files);
            params.md5 = recovery::FileMd5s(checked->check);
        }
        return JoinNumberedPieces(params, bar);
    }
    JoinParams params;
    params.outputPath = target;
    params.pieces = files;
    params.replaceExisting = replace;
    params.readFrom = rebuilt.Substituted(files);
    return JoinPieces(params, bar);
}

}  // namespace

bool HasRecoveryFiles(const std::string& folder, const std::string& group, Status* listed) {
    std::vector<std::string> found;
    *listed = recovery::FindRecoveryFiles(folder, group, &found);
    return !found.empty();
}

void JoinWithRebuild(QWidget* window, JobRunner& runner, const JoinState& state, std::vector<std::string> pieces,
                     const std::string& target, bool replaceExisting, JoinClicked then) {
    // A group of the program's own pieces that are all there joins at once, each piece's data
    // checked as it is copied; only when one does not match are they all checked. Numbered
    // pieces carry no hash: they are checked first.
    const bool attempt = !state.JoinNumbered && !pieces.empty();
    const auto checkFiles = [state, pieces, target, replaceExisting, attempt](Progress& progress)
        -> std::variant<Checked, Status> {
        if (attempt) {
            const Status joined = Join(state, pieces, target, replaceExisting, nullptr, progress, 0);
            if (!IsDataFault(joined)) {
                return joined;
            }
            progress.SetValue(0);
            Checked checked = CheckGroupFiles(state, progress);
            checked.attempt = joined;
            return checked;
        }
        return CheckGroupFiles(state, progress);
    };
    const auto decide = [window = QPointer<QWidget>(window), runner = QPointer<JobRunner>(&runner), state,
                         pieces, target, replaceExisting, then](const Checked& found) {
        if (!window || !runner) {
            return;
        }
        const recovery::Check& check = found.check;
        const auto join = [&](bool rebuild) {
            runner->Start([state, pieces, target, replaceExisting, rebuilt = rebuild ? std::optional(found) : std::nullopt](
                              Progress& progress) {
                return Join(state, pieces, target, replaceExisting, rebuilt ? &*rebuilt : nullptr, progress);
            });
            then(JoinClick::kStarted, target);
        };
        if (check.CanRebuild()) {
            if (CurrentPrompter().Message(window, Question(check.faultyFiles), QString(), Prompter::Icon::Question,
                                          Prompter::Buttons::YesNo) == Prompter::Answer::Yes) {
                join(true);
                return;
            }
        } else if (check.faultyFiles > 0) {
            ShowJoinFailed(window, CannotRebuild(check));
            then(JoinClick::kPiecesRefused, {});
            return;
        }
        // Nothing to rebuild, or the user would rather not: the join as without recovery files.
        if (!found.attempt.ok()) {
            ShowJoinFailed(window, QString::fromStdString(found.attempt.message()));
            then(JoinClick::kPiecesRefused, {});
            return;
        }
        if (pieces.empty()) {
            CurrentPrompter().Message(window,
                                      QCoreApplication::translate("RebuildStep", "File Missing."),
                                      QString(), Prompter::Icon::None, Prompter::Buttons::Ok);
            then(JoinClick::kPiecesRefused, {});
            return;
        }
        // Numbered pieces the recovery files found sound are held to them as they are written.
        join(state.JoinNumbered && check.usable && check.faultyFiles == 0);
    };
    runner.Stage<Checked>(checkFiles, decide);
    if (attempt) {
        then(JoinClick::kStarted, target);
    }
}

}  // namespace brindle::app
