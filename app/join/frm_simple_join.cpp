#include "join/frm_simple_join.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <utility>

#include "format/discovery.h"
#include "io/file_io.h"
#include "join/join_state.h"
#include "join/rebuild_step.h"
#include "shell/form_controls.h"
#include "shell/hand_over.h"
#include "shell/job_panel.h"
#include "shell/path_text.h"
#include "shell/paths.h"
#include "shell/prompter.h"

namespace brindle::app {
namespace {

constexpr int kFooterTop = 166;

ChromeOptions Chrome() {
    ChromeOptions options;
    options.subtitle = QCoreApplication::translate("frmSimpleJoin", "Merge files");
    options.size = QSize(400, 214);
    options.stripName = QStringLiteral("Picture2");
    options.second = ChromeOptions::SecondImage::None;
    options.footerTop = kFooterTop;
    return options;
}

}  // namespace

frmSimpleJoin::frmSimpleJoin(JobValuesPtr values) : ChromeWindow(Chrome(), nullptr, std::move(values)) {
    setObjectName(QStringLiteral("frmSimpleJoin"));

    QVBoxLayout* body = Body();
    body->setContentsMargins(20, 12, 20, 8);
    body->setSpacing(0);
    QLabel* label1 = MakeCaption(QCoreApplication::translate("frmSimpleJoin", "Destination"),
                                 QStringLiteral("Label1"), this);
    SetLeastSize(label1, QSize(0, 20));
    txtPath = MakeTextBox(QStringLiteral("txtPath"), label1, this);
    SetLeastSize(txtPath, QSize(0, 28));
    QToolButton* cmdBrowse = MakeBrowseButton(
        QCoreApplication::translate("frmSimpleJoin", "Choose the file to create"), this);
    cmdBrowse->setMinimumWidth(34);
    connect(cmdBrowse, &QToolButton::clicked, this, &frmSimpleJoin::cmdBrowse_Click);
    body->addWidget(label1);
    body->addSpacing(2);
    body->addLayout(PathRow(txtPath, cmdBrowse, 8));
    body->addSpacing(20);

    panel_ = new JobPanel(
        JobKind::kJoin, {QStringLiteral("ProgressBar1"), QStringLiteral("Label2"), QStringLiteral("lblPercentUnit")},
        this);
    SetLeastSize(panel_, QSize(0, 28));
    body->addWidget(panel_);
    body->addStretch(1);
    ProgressBar1 = panel_->Bar();
    Label2 = panel_->Percent();
    connect(panel_->Runner(), &JobRunner::finished, this, &frmSimpleJoin::JoinFinished);

    cmdJoin = MakeButton(QCoreApplication::translate("frmSimpleJoin", "&Join"),
                         QStringLiteral("cmdJoin"), this);
    cmdJoin->setDefault(true);
    AddFooterButtons({cmdJoin}, QSize(88, 30), 20);
    connect(cmdJoin, &QPushButton::clicked, this, &frmSimpleJoin::cmdJoin_Click);
    // Stopped by the user: the window stays for another try rather than ending the program.
    panel_->SetStartButton(cmdJoin);

    setTabOrder(txtPath, cmdBrowse);
    setTabOrder(cmdBrowse, ProgressBar1);
    setTabOrder(ProgressBar1, cmdJoin);

    Form_Load();
}

void frmSimpleJoin::Form_Load() {
    JoinState& state = Values().join;
    File1.Path = state.JoinFolder;
    if (state.JoinNumbered) {
        // NAME.001, ... join into NAME beside them.
        state.JoinOriginalName = state.JoinGroupName;
        ShowPath(txtPath, JoinPath(state.JoinFolder, state.JoinGroupName));
        return;
    }
    PieceHeader header;
    // With recovery files a lost first piece is rebuilt: a later piece tells the stored name.
    // Unlisted ones leave the first piece to tell it: Join refuses the folder, saying why.
    Status listed;
    const bool read = HasRecoveryFiles(state.JoinFolder, state.JoinGroupName, &listed)
                          ? ReadGroupHeader(state.JoinFolder, state.JoinGroupName, &header).ok()
                          : ReadPieceHeader(FirstPiecePath(state.JoinFolder, state.JoinGroupName), &header).ok();
    if (read) {
        state.JoinOriginalName = OriginalNameBytes(header);
    } else {
        // Not a piece file after all: propose the group's name, and Join will say it failed.
        header = PieceHeader{};
        state.JoinOriginalName.clear();
    }
    // The same plain name as the command's default: a crafted piece cannot aim elsewhere.
    ShowPath(txtPath, JoinPath(state.JoinFolder, SafeOriginalName(header, state.JoinGroupName)));
}

void frmSimpleJoin::cmdBrowse_Click() {
    if (const std::optional<std::string> path = ChooseTarget(this, txtPath, Values().join)) {
        chosenInDialog_ = *path;
    }
}

void frmSimpleJoin::cmdJoin_Click() {
    ClickJoin(this, *panel_->Runner(), Values().join, txtPath, cmdJoin, chosenInDialog_,
              [this](JoinClick click, const std::string&) {
                  if (click == JoinClick::kPiecesRefused) {
                      EndProgram();
                  }
              });
}

void frmSimpleJoin::JoinFinished(bool ok, const QString& reason) {
    if (ok) {
        panel_->Reset();
    } else {
        // The engine left no output and touched no earlier file: nothing to delete here.
        ShowJoinFailed(this, reason);
    }
    EndProgram();
}

void frmSimpleJoin::EndProgram() {
    cmdJoin->setEnabled(true);
    emit programEnding();
    const bool last = IsLastWindow(this);
    close();
    if (last) {
        QCoreApplication::quit();
    }
}

}  // namespace brindle::app
