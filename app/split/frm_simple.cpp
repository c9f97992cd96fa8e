#include "split/frm_simple.h"

#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include "shell/file_drop.h"
#include "shell/job_controls.h"
#include "shell/job_runner.h"
#include "shell/path_text.h"
#include "shell/paths.h"
#include "shell/prompter.h"
#include "split/split_state.h"

namespace brindle::app {
namespace {

QString Subtitle() {
    QString subtitle = QStringLiteral("Split file");
    const std::string name = GetFileName(SharedSplitState().SplitSourcePath);
    if (!name.empty()) {
        subtitle += QStringLiteral(" · ") + DisplayPath(name);
    }
    return subtitle;
}

ChromeOptions Chrome() {
    ChromeOptions options;
    options.subtitle = Subtitle();
    options.size = QSize(400, 280);
    options.stripName = QStringLiteral("Picture2");
    options.second = ChromeOptions::SecondImage::Close;
    options.footerTop = 220;
    return options;
}

}  // namespace

frmSimple::frmSimple(QWidget* parent) : ChromeWindow(Chrome(), parent) {
    setObjectName(QStringLiteral("frmSimple"));

    // The options here only choose; every field stays usable and the focus stays put.
    choice_ = SplitChoiceControls::Build(this, 20, 56, QStringLiteral("Split into"));
    choice_.cboType->setCurrentIndex(-1);
    choice_.cboType->setPlaceholderText(QStringLiteral("bytes"));

    ProgressBar1_ = new QProgressBar(this);
    ProgressBar1_->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1_->setAccessibleName(QStringLiteral("Split progress"));
    ProgressBar1_->setRange(0, 10000);
    ProgressBar1_->setValue(0);
    ProgressBar1_->setTextVisible(false);
    ProgressBar1_->setGeometry(20, 160, 272, 18);

    cmdSplit_ = MakeButton(QStringLiteral("Split"), "cmdSplit", this);
    cmdSplit_->setGeometry(284, 234, 96, 30);
    cmdSplit_->setDefault(true);
    connect(cmdSplit_, &QPushButton::clicked, this, &frmSimple::Split);

    SetTabChain({choice_.optSolution[0], choice_.txtNum, choice_.optSolution[1], choice_.txtSize,
                 choice_.cboType, choice_.optSolution[2], cmdSplit_});

    runner_ = new JobRunner(this);
    runner_->setProperty("job", QStringLiteral("split"));
    runner_->Drive(ProgressBar1_);
    MakeCancelButton(this, runner_, QRect(300, 155, 80, 28));
    connect(runner_, &JobRunner::finished, this, &frmSimple::Finished);
    connect(runner_, &JobRunner::cancelled, this, &frmSimple::Cancelled);
}

void frmSimple::ChooseFile(const std::string& path) {
    SplitState& state = SharedSplitState();
    state.SplitSourcePath = path;
    state.SplitDestFolder = GetFolderName(path) + kPathSeparator;
    state.SplitGroupName = StripExtension(GetFileName(path));
    SetSubtitle(Subtitle());
}

bool frmSimple::TakesDrop(const QMimeData& drag) const {
    // The running split keeps the file it was started on.
    return !runner_->IsRunning() && DroppedFile(drag).has_value();
}

void frmSimple::TakeDrop(const QMimeData& drag) {
    if (const std::optional<std::string> file = DroppedFile(drag)) {
        ChooseFile(*file);
    }
}

void frmSimple::Split() {
    const SplitState& state = SharedSplitState();
    const std::int64_t length = RegularFileLength(state.SplitSourcePath);
    if (length < 0) {
        // The file named on the command line is gone (or never was one): nothing to try.
        CurrentPrompter().Error(this, QString::fromLatin1(kFailedSplit), QStringLiteral("Error"));
        return;
    }
    if (!CheckChoiceOnWindow(this, choice_, length)) {
        return;
    }
    const std::int32_t dataSize = PieceDataSize(state, length);
    bool replaceOthers = false;
    if (!ConfirmSplitTargets(this, state, dataSize, &replaceOthers)) {
        return;
    }
    cmdSplit_->setEnabled(false);
    runner_->Start(SplitWork(state, dataSize, replaceOthers));
}

void frmSimple::Finished(bool ok, const QString& reason) {
    if (!ok) {
        CurrentPrompter().Failure(this, QString::fromLatin1(kFailedSplit), reason, QStringLiteral("Error"));
        return;
    }
    ProgressBar1_->setValue(ProgressBar1_->minimum());
    cmdSplit_->setEnabled(true);
    close();
}

void frmSimple::Cancelled(const QString& note) {
    ProgressBar1_->setValue(ProgressBar1_->minimum());
    cmdSplit_->setEnabled(true);
    ShowCancelled(this, QStringLiteral("The split was cancelled."), note);
}

}  // namespace brindle::app
