#include "join/rebuild_step.h"

#include <QCoreApplication>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include "format/checksums.h"
#include "join/join_state.h"
#include "join/rebuilding_join.h"
#include "recovery/recovery.h"
#include "shell/form_controls.h"
#include "shell/job_runner.h"
#include "shell/path_text.h"
#include "shell/paths.h"
#include "shell/prompter.h"

namespace brindle::app {
namespace {

constexpr int kCheckEnd = kBarMax / 3;

// The window's join beside recovery files: the check on the first third of the bar, a
// rebuild into temporaries on the second, the join on the rest.
RebuildingJoinParams ParamsOf(const JoinState& state, std::vector<std::string> pieces, const std::string& target,
                              bool replace) {
    RebuildingJoinParams params{state.JoinFolder, state.JoinGroupName, state.JoinNumbered, target, replace,
                                std::move(pieces)};
    params.checkEnd = kCheckEnd;
    params.shareBar = true;
    return params;
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
    const RebuildingJoinParams params = ParamsOf(state, pieces, target, replaceExisting);
    const auto checkFiles = [params](Progress& progress) -> std::variant<Findings, Status> {
        Findings found = FindFaults(params, progress);
        if (found.joined) {
            return found.attempt;
        }
        return found;
    };
    const auto decide = [window = QPointer<QWidget>(window), runner = QPointer<JobRunner>(&runner), params,
                         numbered = state.JoinNumbered, target, then](const Findings& found) {
        if (!window || !runner) {
            return;
        }
        const recovery::Check& check = found.check;
        const auto join = [&](bool rebuild) {
            runner->Start([params, found, rebuild](Progress& progress) {
                return JoinFound(params, found, rebuild, nullptr, progress);
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
        if (params.pieces.empty()) {
            CurrentPrompter().Message(window,
                                      QCoreApplication::translate("RebuildStep", "File Missing."),
                                      QString(), Prompter::Icon::None, Prompter::Buttons::Ok);
            then(JoinClick::kPiecesRefused, {});
            return;
        }
        // Numbered pieces the recovery files found sound are held to them as they are written.
        join(numbered && check.usable && check.faultyFiles == 0);
    };
    runner.Stage<Findings>(checkFiles, decide);
    if (attempt) {
        then(JoinClick::kStarted, target);
    }
}

}  // namespace brindle::app
