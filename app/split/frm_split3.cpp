#include "split/frm_split3.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>

#include "shell/job_controls.h"
#include "shell/job_runner.h"
#include "shell/prompter.h"
#include "split/split_choice.h"
#include "split/split_page_chrome.h"
#include "split/split_pages.h"
#include "split/split_planning.h"
#include "split/split_state.h"

namespace brindle::app {
namespace {

// Lines too wide for the label lose their middle; the whole text stays in the tool tip.
QString FitLines(const QString& text, const QLabel& label) {
    QStringList lines = text.split(QLatin1Char('\n'));
    bool cut = false;
    for (QString& line : lines) {
        const QString fitted =
            label.fontMetrics().elidedText(line, Qt::ElideMiddle, label.width() - 4);
        cut = cut || fitted != line;
        line = fitted;
    }
    return cut ? lines.join(QLatin1Char('\n')) : text;
}

}  // namespace

frmSplit3::frmSplit3(QWidget* parent) : ChromeWindow(SplitPageChrome(3), parent) {
    setObjectName(QStringLiteral("frmSplit3"));

    auto* heading = MakeHeading(QStringLiteral("Information"), "Label1", this);
    heading->setGeometry(16, 44, 448, 22);
    lblinfo_ = new QLabel(this);
    lblinfo_->setObjectName(QStringLiteral("lblinfo"));
    lblinfo_->setGeometry(16, 68, 448, 184);
    lblinfo_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblinfo_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    heading->setBuddy(lblinfo_);

    progress1_ = new QProgressBar(this);
    progress1_->setObjectName(QStringLiteral("progress1"));
    progress1_->setAccessibleName(QStringLiteral("Split progress"));
    progress1_->setRange(0, 10000);
    progress1_->setValue(0);
    progress1_->setTextVisible(false);
    progress1_->setGeometry(16, 258, 360, 18);

    percent_ = new QLabel(QStringLiteral("0"), this);
    percent_->setObjectName(QStringLiteral("percent"));
    percent_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    percent_->setGeometry(16, 282, 32, 22);
    auto* sign = new QLabel(QStringLiteral("%"), this);
    sign->setObjectName(QStringLiteral("Label4"));
    sign->setGeometry(50, 282, 16, 22);
    auto* complete = new QLabel(QStringLiteral("Complete"), this);
    complete->setObjectName(QStringLiteral("Label2"));
    complete->setGeometry(68, 282, 120, 22);

    auto* previous = MakeButton(QStringLiteral("&Previous"), "cmdPrevious", this);
    cmdSplit_ = MakeButton(QStringLiteral("&Split"), "cmdSplit", this);
    PlaceFooterButtons(previous, cmdSplit_);
    cmdSplit_->setDefault(true);
    connect(previous, &QPushButton::clicked, this, [this] { BackToSplitPage2(*this); });
    connect(cmdSplit_, &QPushButton::clicked, this, &frmSplit3::Split);
    setTabOrder(previous, cmdSplit_);

    // A split left running (or still taking back its pieces) from an earlier visit may be
    // writing these very pieces; two writers on one file would interleave their bytes.
    if (JobRunner::RunningJobs() > 0) {
        cmdSplit_->setEnabled(false);
        connect(&JobRunner::Jobs(), &JobRunner::allEnded, cmdSplit_,
                [this] { cmdSplit_->setEnabled(!runner_->IsRunning()); });
    }

    runner_ = new JobRunner(this);
    runner_->setProperty("job", QStringLiteral("split"));
    runner_->Drive(progress1_, percent_);
    MakeCancelButton(this, runner_, QRect(384, 253, 80, 28));
    connect(runner_, &JobRunner::finished, this, &frmSplit3::Finished);
    connect(runner_, &JobRunner::cancelled, this, &frmSplit3::Cancelled);

    // Load step: the pieces of the recorded choice, and their summary.
    const SplitState& state = SharedSplitState();
    const std::int64_t length = std::max<std::int64_t>(RegularFileLength(state.SplitSourcePath), 0);
    pieceDataSize_ = app::PieceDataSize(state, length);
    SplitState planned = state;
    planned.SplitPieceSize = pieceDataSize_;
    const QString summary = QString::fromStdString(BuildSplitSummary(planned, length));
    lblinfo_->setText(FitLines(summary, *lblinfo_));
    lblinfo_->setToolTip(lblinfo_->text() == summary ? QString() : summary);
    lblinfo_->setAccessibleName(summary);
}

void frmSplit3::Split() {
    bool replaceOthers = false;
    if (!ConfirmSplitTargets(this, SharedSplitState(), pieceDataSize_, &replaceOthers)) {
        return;
    }
    cmdSplit_->setEnabled(false);
    destination_ = QString::fromStdString(SharedSplitState().SplitDestFolder);
    runner_->Start(SplitWork(SharedSplitState(), pieceDataSize_, replaceOthers));
}

void frmSplit3::Finished(bool ok, const QString& reason) {
    if (!ok) {
        CurrentPrompter().Failure(this, QString::fromLatin1(kFailedSplit), reason, QStringLiteral("Error"));
        return;
    }
    progress1_->setValue(progress1_->minimum());
    cmdSplit_->setEnabled(true);
    if (CurrentPrompter().Question(this,
                                   QStringLiteral("Split Completed.Would you like to view the files?"),
                                   QStringLiteral("Completed"))) {
        CurrentPrompter().ShowFolder(destination_);
    }
    progress1_->setValue(0);
    percent_->setText(QStringLiteral("0"));
}

void frmSplit3::Cancelled(const QString& note) {
    progress1_->setValue(0);
    percent_->setText(QStringLiteral("0"));
    cmdSplit_->setEnabled(true);
    ShowCancelled(this, QStringLiteral("The split was cancelled."), note);
}

}  // namespace brindle::app
