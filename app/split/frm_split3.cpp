#include "split/frm_split3.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "shell/form_controls.h"
#include "shell/job_panel.h"
#include "shell/prompter.h"
#include "split/split_choice.h"
#include "split/split_page_chrome.h"
#include "split/split_pages.h"
#include "split/recovery_option.h"
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

frmSplit3::frmSplit3(JobValuesPtr values) : ChromeWindow(SplitPageChrome(3), nullptr, std::move(values)) {
    setObjectName(QStringLiteral("frmSplit3"));

    QVBoxLayout* body = Body();
    body->setContentsMargins(16, 12, 16, 35);
    body->setSpacing(0);
    auto* heading =
        MakeHeading(QCoreApplication::translate("frmSplit3", "Information"), "Label1", this);
    SetLeastSize(heading, QSize(0, 22));
    body->addWidget(heading);
    body->addSpacing(2);
    lblinfo_ = new QLabel(this);
    lblinfo_->setObjectName(QStringLiteral("lblinfo"));
    // Long lines are shortened to the room the window has; they never widen it.
    lblinfo_->setMinimumWidth(1);
    lblinfo_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    body->addWidget(lblinfo_, 1);
    lblinfo_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    heading->setBuddy(lblinfo_);

    auto* previous =
        MakeButton(QCoreApplication::translate("frmSplit3", "&Previous"), "cmdPrevious", this);
    cmdSplit_ = MakeButton(QCoreApplication::translate("frmSplit3", "&Split"), "cmdSplit", this);
    AddFooterButtons({previous, cmdSplit_}, QSize(96, 30), 12);
    cmdSplit_->setDefault(true);
    connect(previous, &QPushButton::clicked, this, [this] { BackToSplitPage2(*this); });
    connect(cmdSplit_, &QPushButton::clicked, this, &frmSplit3::Split);
    setTabOrder(previous, cmdSplit_);

    panel_ = new JobPanel(JobKind::kSplit,
                          {QStringLiteral("progress1"), QStringLiteral("percent"), QStringLiteral("Label4"),
                           QStringLiteral("Label2")},
                          this);
    SetLeastSize(panel_, QSize(0, 28));
    body->addSpacing(1);
    body->addWidget(panel_);
    panel_->SetStartButton(cmdSplit_);
    connect(panel_->Runner(), &JobRunner::finished, this, &frmSplit3::Finished);
    // Between the summary and the bar; reached after the page's own buttons, which keep
    // the first focus.
    recovery_ = new RecoveryOption(this);
    body->insertWidget(body->indexOf(panel_), recovery_);
    body->insertSpacing(body->indexOf(panel_), 6);
    setTabOrder(cmdSplit_, recovery_->chkRecovery);
    setTabOrder(recovery_->chkRecovery, recovery_->txtRecoveryPercent);
    recovery_->Restore(Values().wizard);

    // A split left running (or still taking back its pieces) from an earlier visit may be
    // writing these very pieces; two writers on one file would interleave their bytes.
    if (JobRunner::RunningJobs() > 0) {
        cmdSplit_->setEnabled(false);
        connect(&JobRunner::Jobs(), &JobRunner::allEnded, cmdSplit_,
                [this] { cmdSplit_->setEnabled(!panel_->Runner()->IsRunning()); });
    }

    // Load step: the pieces of the recorded choice, and their summary.
    const SplitState& state = Values().split;
    const std::int64_t length = std::max<std::int64_t>(RegularFileLength(state.SplitSourcePath), 0);
    pieceDataSize_ = app::PieceDataSize(state, length);
    recovery_->SetSplit(length, pieceDataSize_);
    SplitState planned = state;
    planned.SplitPieceSize = pieceDataSize_;
    const QString summary =
        QString::fromStdString(BuildSplitSummary(planned, length, LocaleDecimalSeparator()));
    layout()->activate();  // the label's width, to shorten lines to
    lblinfo_->setText(FitLines(summary, *lblinfo_));
    lblinfo_->setToolTip(lblinfo_->text() == summary ? QString() : summary);
    lblinfo_->setAccessibleName(summary);
}

const JobRunner* frmSplit3::Runner() const {
    return panel_->Runner();
}

void frmSplit3::Split() {
    bool replaceOthers = false;
    const SplitState& state = Values().split;
    if (!ConfirmSplitTargets(this, state, pieceDataSize_, &replaceOthers)) {
        return;
    }
    cmdSplit_->setEnabled(false);
    destination_ = QString::fromStdString(state.SplitDestFolder);
    recovery_->Save(Values().wizard);
    panel_->Runner()->SetDoneText(SplitDoneText(state, pieceDataSize_));
    panel_->Runner()->Start(SplitWork(state, pieceDataSize_, replaceOthers, recovery_->Percent()));
}

void frmSplit3::Finished(bool ok, const QString& reason) {
    if (!ok) {
        CurrentPrompter().Failure(this, QCoreApplication::translate("SplitChoice", kFailedSplit),
                                  reason, QCoreApplication::translate("frmSplit3", "Error"));
        return;
    }
    panel_->Reset();  // the bar and its percentage together, before the question
    cmdSplit_->setEnabled(true);
    if (CurrentPrompter().Question(
            this,
            QCoreApplication::translate("frmSplit3",
                                        "Split Completed.Would you like to view the files?"),
            QCoreApplication::translate("frmSplit3", "Completed"))) {
        CurrentPrompter().ShowFolder(destination_);
    }
}

}  // namespace brindle::app
