#include "split/frm_simple.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <utility>

#include "shell/file_drop.h"
#include "shell/form_controls.h"
#include "shell/job_panel.h"
#include "shell/path_text.h"
#include "shell/paths.h"
#include "shell/prompter.h"
#include "split/split_state.h"

namespace brindle::app {
namespace {

QString Subtitle(const SplitState& state) {
    QString subtitle = QCoreApplication::translate("frmSimple", "Split file");
    const std::string name = GetFileName(state.SplitSourcePath);
    if (!name.empty()) {
        subtitle += QStringLiteral(" · ") + DisplayPath(name);
    }
    return subtitle;
}

ChromeOptions Chrome() {
    ChromeOptions options;
    options.subtitle = Subtitle({});
    options.size = QSize(400, 280);
    options.stripName = QStringLiteral("Picture2");
    options.second = ChromeOptions::SecondImage::Close;
    options.footerTop = 220;
    return options;
}

}  // namespace

frmSimple::frmSimple(JobValuesPtr values) : ChromeWindow(Chrome(), nullptr, std::move(values)) {
    setObjectName(QStringLiteral("frmSimple"));
    SetSubtitle(Subtitle(Values().split));

    // The options here only choose; every field stays usable and the focus stays put.
    QVBoxLayout* body = Body();
    // The preset row under the size takes the room above the options.
    body->setContentsMargins(20, 15, 20, 37);
    body->setSpacing(0);
    auto* choiceGrid = new QGridLayout;
    body->addLayout(choiceGrid);
    choice_ = SplitChoiceControls::Build(this, choiceGrid, 212,
                                         QCoreApplication::translate("frmSimple", "Split into"));
    choice_.cboType->setCurrentIndex(-1);
    choice_.cboType->setPlaceholderText(QCoreApplication::translate("frmSimple", "bytes"));

    cmdSplit_ = MakeButton(QCoreApplication::translate("frmSimple", "Split"), "cmdSplit", this);
    AddFooterButtons({cmdSplit_}, QSize(96, 30), 20);
    cmdSplit_->setDefault(true);
    connect(cmdSplit_, &QPushButton::clicked, this, &frmSimple::Split);

    SetTabChain({choice_.optSolution[0], choice_.txtNum, choice_.optSolution[1], choice_.txtSize,
                 choice_.cboType, choice_.cboPreset, choice_.optSolution[2], cmdSplit_});

    panel_ = new JobPanel(JobKind::kSplit, {QStringLiteral("ProgressBar1")}, this);
    SetLeastSize(panel_, QSize(0, 28));
    body->addStretch(1);
    body->addWidget(panel_);
    panel_->SetStartButton(cmdSplit_);
    connect(panel_->Runner(), &JobRunner::finished, this, &frmSimple::Finished);
}

void frmSimple::ChooseFile(const std::string& path) {
    SplitState& state = Values().split;
    state.SplitSourcePath = path;
    state.SplitDestFolder = GetFolderName(path) + kPathSeparator;
    state.SplitGroupName = StripExtension(GetFileName(path));
    SetSubtitle(Subtitle(Values().split));
}

bool frmSimple::TakesDrop(const QMimeData& drag) const {
    // The running split keeps the file it was started on.
    return !panel_->Runner()->IsRunning() && DroppedFile(drag).has_value();
}

void frmSimple::TakeDrop(const QMimeData& drag) {
    if (const std::optional<std::string> file = DroppedFile(drag)) {
        ChooseFile(*file);
    }
}

void frmSimple::Split() {
    const SplitState& state = Values().split;
    const std::int64_t length = RegularFileLength(state.SplitSourcePath);
    if (length < 0) {
        // The file named on the command line is gone (or never was one): nothing to try.
        CurrentPrompter().Error(this, QCoreApplication::translate("SplitChoice", kFailedSplit),
                                QCoreApplication::translate("frmSimple", "Error"));
        return;
    }
    if (!CheckChoiceOnWindow(this, choice_, length, Values().split)) {
        return;
    }
    const std::int32_t dataSize = PieceDataSize(state, length);
    bool replaceOthers = false;
    if (!ConfirmSplitTargets(this, state, dataSize, &replaceOthers)) {
        return;
    }
    cmdSplit_->setEnabled(false);
    panel_->Runner()->SetDoneText(SplitDoneText(state, dataSize));
    panel_->Runner()->Start(SplitWork(state, dataSize, replaceOthers));
}

void frmSimple::Finished(bool ok, const QString& reason) {
    if (!ok) {
        CurrentPrompter().Failure(this, QCoreApplication::translate("SplitChoice", kFailedSplit),
                                  reason, QCoreApplication::translate("frmSimple", "Error"));
        return;
    }
    panel_->Reset();
    cmdSplit_->setEnabled(true);
    close();
}

}  // namespace brindle::app
