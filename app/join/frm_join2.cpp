#include "join/frm_join2.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <utility>

#include "join/join_pages.h"
#include "join/join_state.h"
#include "shell/form_controls.h"
#include "shell/job_panel.h"
#include "shell/path_text.h"
#include "shell/prompter.h"

namespace brindle::app {
frmJoin2::frmJoin2(JobValuesPtr values)
    : ChromeWindow(
          JobWindowChrome(1, QCoreApplication::translate("frmJoin2", "Merge Files · Step 2 of 2")),
          nullptr, std::move(values)) {
    setObjectName(QStringLiteral("frmJoin2"));

    QVBoxLayout* body = Body();
    body->setContentsMargins(24, 12, 24, 8);
    body->setSpacing(0);
    QLabel* label1 = MakeCaption(QCoreApplication::translate("frmJoin2", "Destination"),
                                 QStringLiteral("Label1"), this);
    SetLeastSize(label1, QSize(0, 20));
    txtTarget = MakeTextBox(QStringLiteral("txtTarget"), label1, this);
    SetLeastSize(txtTarget, QSize(0, 28));
    QToolButton* cmdBrowse = MakeBrowseButton(
        QCoreApplication::translate("frmJoin2", "Choose the file to create"), this);
    connect(cmdBrowse, &QToolButton::clicked, this, &frmJoin2::cmdBrowse_Click);
    body->addWidget(label1);
    body->addSpacing(2);
    body->addLayout(PathRow(txtTarget, cmdBrowse, 6));
    body->addSpacing(24);

    QLabel* label2 = MakeCaption(QCoreApplication::translate("frmJoin2", "Progress"),
                                 QStringLiteral("Label2"), this);
    SetLeastSize(label2, QSize(0, 20));
    panel_ = new JobPanel(JobKind::kJoin,
                               {QStringLiteral("pb1"), QStringLiteral("percent"), QStringLiteral("Label3")}, this);
    SetLeastSize(panel_, QSize(0, 28));
    body->addWidget(label2);
    body->addWidget(panel_);
    body->addStretch(1);
    pb1 = panel_->Bar();
    percent = panel_->Percent();
    label2->setBuddy(pb1);
    connect(panel_->Runner(), &JobRunner::finished, this, &frmJoin2::JoinFinished);

    auto* cmdPrevious = MakeButton(QCoreApplication::translate("frmJoin2", "&Previous"),
                                   QStringLiteral("cmdPrevious"), this);
    connect(cmdPrevious, &QPushButton::clicked, this, [this] { JoinPrevious(*this); });
    cmdJoin = MakeButton(QCoreApplication::translate("frmJoin2", "&Merge"),
                         QStringLiteral("cmdJoin"), this);
    cmdJoin->setDefault(true);
    AddFooterButtons({cmdPrevious, cmdJoin}, QSize(88, 30), 24);
    connect(cmdJoin, &QPushButton::clicked, this, &frmJoin2::cmdJoin_Click);
    panel_->SetStartButton(cmdJoin);

    setTabOrder(txtTarget, cmdBrowse);
    setTabOrder(cmdBrowse, pb1);
    setTabOrder(pb1, cmdPrevious);
    setTabOrder(cmdPrevious, cmdJoin);
}

void frmJoin2::cmdBrowse_Click() {
    if (const std::optional<std::string> path = ChooseTarget(this, txtTarget, Values().join)) {
        chosenInDialog_ = *path;
    }
}

void frmJoin2::cmdJoin_Click() {
    panel_->Reset();
    ClickJoin(this, *panel_->Runner(), Values().join, txtTarget, cmdJoin, chosenInDialog_,
              [this](JoinClick click, const std::string& target) {
                  if (click == JoinClick::kStarted) {
                      target_ = DisplayPath(target);
                  } else {
                      panel_->Reset();  // a refused rebuild leaves its check's share on the bar
                      cmdJoin->setEnabled(true);
                  }
              });
}

void frmJoin2::JoinFinished(bool ok, const QString& reason) {
    if (ok) {
        panel_->Reset();
        const QString folder = TargetFolder(target_);
        const QString title = QCoreApplication::translate("frmJoin2", "Merge Completed");
        if (CurrentPrompter().Question(
                this,
                QCoreApplication::translate(
                    "frmJoin2", "Merge successfully. Do you want to view the folder now?"),
                title)) {
            CurrentPrompter().ShowFolder(folder);
        } else {
            CurrentPrompter().Information(
                this, QCoreApplication::translate("frmJoin2", "File stored at '%1'").arg(folder),
                title);
        }
    } else {
        // The engine left no output and touched no earlier file: nothing to delete here.
        ShowJoinFailed(this, reason);
    }
    cmdJoin->setEnabled(true);
}

}  // namespace brindle::app
