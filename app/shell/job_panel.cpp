#include "shell/job_panel.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "shell/form_controls.h"

namespace brindle::app {
namespace {

QLabel* AddLabel(const QString& text, const QString& name, QHBoxLayout* row, QWidget* panel) {
    auto* label = new QLabel(text, panel);
    label->setObjectName(name);
    row->addWidget(label);
    return label;
}

}  // namespace

JobPanel::JobPanel(JobKind kind, const JobPanelNames& names, QWidget* window)
    : QWidget(window), runner_(new JobRunner(kind, this)), bar_(new QProgressBar(this)) {
    setObjectName(QStringLiteral("jobPanel"));
    const bool join = kind == JobKind::kJoin;
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);

    bar_->setObjectName(names.bar);
    bar_->setAccessibleName(join ? QCoreApplication::translate("JobPanel", "Join progress")
                                 : QCoreApplication::translate("JobPanel", "Split progress"));
    bar_->setValue(0);
    bar_->setTextVisible(false);
    bar_->setFixedHeight(20);
    // Reachable by Tab so a screen reader user can read how far the job is.
    bar_->setFocusPolicy(Qt::TabFocus);
    row->addWidget(bar_, 1);
    if (!names.percent.isEmpty()) {
        percent_ = AddLabel(QStringLiteral("0"), names.percent, row, this);
        percent_->setAccessibleName(QCoreApplication::translate("JobPanel", "Percent done"));
        percent_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        // Room for "100" from the start, so the row does not shift as the job runs.
        percent_->setMinimumWidth(percent_->fontMetrics().horizontalAdvance(QStringLiteral("1000")));
        AddLabel(QStringLiteral("%"), names.unit, row, this);
        if (!names.complete.isEmpty()) {
            row->addSpacing(4);
            AddLabel(QCoreApplication::translate("JobPanel", "Complete"), names.complete, row,
                     this);
        }
    }
    runner_->Drive(bar_, percent_);

    auto* cancel = new QPushButton(QCoreApplication::translate("JobPanel", "Cancel"), this);
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    cancel->setAccessibleName(QCoreApplication::translate("JobPanel", "Cancel"));
    cancel->setToolTip(QCoreApplication::translate("JobPanel", "Stop the job (Esc)"));
    cancel->setAutoDefault(false);
    SetLeastSize(cancel, QSize(80, 28));
    cancel->setEnabled(false);
    row->addSpacing(6);
    row->addWidget(cancel);
    connect(cancel, &QPushButton::clicked, runner_, [this, cancel] {
        runner_->Cancel();
        cancel->setEnabled(false);  // heard; the job ends within a moment
    });
    connect(runner_, &JobRunner::runningChanged, cancel, &QPushButton::setEnabled);

    connect(runner_, &JobRunner::cancelled, this, [this, join](const QString& note) {
        Reset();
        if (start_ != nullptr) {
            start_->setEnabled(true);
        }
        ShowCancelled(this->window(),
                      join ? QCoreApplication::translate("JobPanel", "The join was cancelled.")
                           : QCoreApplication::translate("JobPanel", "The split was cancelled."),
                      note);
    });
}

void JobPanel::Reset() {
    bar_->setValue(bar_->minimum());
    if (percent_ != nullptr) {
        percent_->setText(QStringLiteral("0"));
    }
}

}  // namespace brindle::app
