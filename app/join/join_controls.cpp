#include "join/join_controls.h"

#include <QCoreApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QToolButton>

#include "format/discovery.h"
#include "io/file_io.h"
#include "join/join_engine.h"
#include "join/join_state.h"
#include "join/numbered_join.h"
#include "join/rebuild_step.h"
#include "shell/job_runner.h"
#include "shell/path_text.h"
#include "shell/paths.h"
#include "shell/prompter.h"

namespace brindle::app {

QString TargetFilter(const QString& originalName) {
    if (originalName.isEmpty()) {
        return {};
    }
    const qsizetype dot = originalName.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot < 0 ? originalName : originalName.mid(dot + 1);
    return FileFilter(QCoreApplication::translate("JoinControls", "%1 File(*.%1)").arg(extension),
                      QStringLiteral("*.") + extension);
}

std::optional<std::string> ChooseTarget(QWidget* parent, QLineEdit* box, const JoinState& state) {
    // The dialog opens where the box's target lies, else beside the pieces, offering the stored
    // name; the answer keeps the bytes of what was offered.
    std::string folder = state.JoinFolder;
    if (const std::optional<std::string> current = PathInBox(box); current && !current->empty()) {
        folder = GetFolderName(current->front() == kPathSeparator ? *current : JoinPath(state.JoinFolder, *current));
    }
    const std::string offered =
        JoinPath(folder, SafeOriginalName(state.JoinOriginalName, state.JoinGroupName));
    const QString chosen = CurrentPrompter().SaveFile(
        parent, QCoreApplication::translate("JoinControls", "Save As"), DisplayPath(offered),
        TargetFilter(DisplayPath(state.JoinOriginalName)));
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    const std::optional<std::string> path = DialogPathBytes(chosen, offered);
    if (path) {
        ShowPath(box, *path);
    } else {
        RefuseLostName(parent, chosen);
    }
    return path;
}

std::optional<std::string> TargetPath(QWidget* window, QLineEdit* box, const std::string& folder) {
    const std::optional<std::string> path = PathInBox(box);
    if (!path) {
        RefuseLostName(window, box->text());
        box->setFocus();
        return std::nullopt;
    }
    if (path->empty() || path->front() == kPathSeparator) {
        return path;
    }
    return JoinPath(folder, *path);
}

QString TargetFolder(const QString& target) {
    return target.left(target.lastIndexOf(QLatin1Char('/')) + 1);
}

void CheckPieces(QWidget* window, JobRunner& runner, const JoinState& state, PiecesFound then) {
    window->setCursor(Qt::BusyCursor);
    struct Found {
        JoinPlan plan;
        bool recovery = false;  // then a piece missing or unsound may yet be rebuilt
    };
    const auto show = [window, then](const Found& found, const std::function<bool()>&) {
        window->unsetCursor();
        const JoinPlan& plan = found.plan;
        if (found.recovery && !plan.Ready()) {
            then(std::vector<std::string>(), true);
            return;
        }
        if (!plan.missingPiece.empty()) {
            CurrentPrompter().Message(window,
                                      QCoreApplication::translate("JoinControls", "File Missing."),
                                      QString(), Prompter::Icon::None, Prompter::Buttons::Ok);
            then(std::nullopt, false);
            return;
        }
        if (!plan.status.ok()) {
            ShowJoinFailed(window, QString::fromStdString(plan.status.message()));
            then(std::nullopt, false);
            return;
        }
        then(plan.pieces, found.recovery);
    };
    runner.List<Found>([folder = state.JoinFolder, group = state.JoinGroupName, numbered = state.JoinNumbered] {
        Status listed;
        const bool recovery = HasRecoveryFiles(folder, group, &listed);
        if (!listed.ok()) {
            // Their check cannot be made: refused, never skipped.
            JoinPlan refused;
            refused.status = listed;
            return Found{refused, false};
        }
        if (!numbered) {
            return Found{PlanJoin(folder, group), recovery};
        }
        // A plain numbered group is found by its numbers; its answer is put the same way.
        NumberedGroup found = FindNumberedGroup(folder, group);
        JoinPlan plan;
        plan.status = found.status;
        plan.missingPiece = found.missingPiece;
        plan.pieces = std::move(found.pieces);
        return Found{plan, recovery};
    }, show);
}

void StartJoin(JobRunner& runner, const JoinState& state, std::vector<std::string> pieces,
               const std::string& target, bool replaceExisting) {
    if (state.JoinNumbered) {
        // The engine finds the group afresh and checks it, and its checksum files, again.
        NumberedJoinParams params{target, state.JoinFolder, state.JoinGroupName, replaceExisting, {}, {}};
        runner.Start([params = std::move(params)](Progress& progress) {
            return JoinNumberedPieces(params, progress);
        });
        return;
    }
    JoinParams params;
    params.outputPath = target;
    params.pieces = std::move(pieces);
    params.replaceExisting = replaceExisting;
    runner.Start(
        [params = std::move(params)](Progress& progress) { return JoinPieces(params, progress); });
}

void ClickJoin(QWidget* window, JobRunner& runner, const JoinState& state, QLineEdit* targetBox,
               QPushButton* start, const std::string& confirmedInDialog, JoinClicked then) {
    start->setEnabled(false);
    targetBox->setEnabled(false);  // the target is read once the pieces are found
    const auto keepTarget = [start, targetBox] {
        start->setEnabled(true);
        targetBox->setFocus();
    };
    CheckPieces(window, runner, state, [window, &runner, state, targetBox, confirmedInDialog, then, keepTarget](
                                    std::optional<std::vector<std::string>> pieces, bool recovery) {
        targetBox->setEnabled(true);
        if (!pieces) {
            then(JoinClick::kPiecesRefused, {});
            return;
        }
        const std::optional<std::string> path = TargetPath(window, targetBox, state.JoinFolder);
        if (!path) {
            keepTarget();
            return;
        }
        const std::string target = *path;
        bool replacing = false;
        if (const Status looked = io::AnythingAt(target, &replacing); !looked.ok()) {
            ShowJoinFailed(window, QString::fromStdString(looked.message()));
            keepTarget();
            return;
        }
        if (replacing && target != confirmedInDialog) {
            const QString question =
                QCoreApplication::translate(
                    "JoinControls", "The file '%1' already exists.\nDo you want to replace it?")
                    .arg(DisplayPath(target));
            if (CurrentPrompter().Message(window, question, QString(), Prompter::Icon::Question,
                                          Prompter::Buttons::YesNoDefaultNo) != Prompter::Answer::Yes) {
                keepTarget();
                return;
            }
        }
        // A file that turns up at a name that was free is not replaced either.
        if (recovery) {
            JoinWithRebuild(window, runner, state, std::move(*pieces), target, replacing, then);
            return;
        }
        StartJoin(runner, state, std::move(*pieces), target, replacing);
        then(JoinClick::kStarted, target);
    });
}

void ShowJoinFailed(QWidget* window, const QString& reason) {
    CurrentPrompter().Failure(
        window, QCoreApplication::translate("JoinControls", "Fail to merge the files."), reason,
        QCoreApplication::translate("JoinControls", "Error"));
}

}  // namespace brindle::app
