#include "split/frm_split.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFileSystemWatcher>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <utility>

#include "shell/file_drop.h"
#include "shell/form_controls.h"
#include "shell/frm_main.h"
#include "shell/navigation.h"
#include "shell/path_text.h"
#include "shell/paths.h"
#include "shell/prompter.h"
#include "shell/theme.h"
#include "split/split_page_chrome.h"
#include "split/split_pages.h"

namespace brindle::app {

frmSplit::frmSplit(JobValuesPtr values) : ChromeWindow(SplitPageChrome(1), nullptr, std::move(values)) {
    setObjectName(QStringLiteral("frmSplit"));

    txtPath_ = new QLineEdit(this);
    txtPath_->setObjectName(QStringLiteral("txtPath"));
    txtPath_->setAccessibleName(QCoreApplication::translate("frmSplit", "File to split"));
    txtPath_->setPlaceholderText(
        QCoreApplication::translate("frmSplit", "Choose the file to split"));
    // Read-only, not disabled: readable, reachable by Tab and copied from.
    txtPath_->setReadOnly(true);
    SetLeastSize(txtPath_, QSize(0, 26));

    cmdBrowse_ =
        MakeBrowseButton(QCoreApplication::translate("frmSplit", "Choose the file to split"), this);
    connect(cmdBrowse_, &QToolButton::clicked, this, &frmSplit::Browse);
    QVBoxLayout* body = Body();
    body->setContentsMargins(16, 14, 16, 8);
    body->setSpacing(0);
    body->addLayout(PathRow(txtPath_, cmdBrowse_, 6));
    body->addSpacing(14);

    auto* choiceGrid = new QGridLayout;
    body->addLayout(choiceGrid);
    choice_ = SplitChoiceControls::Build(
        this, choiceGrid, 216, QCoreApplication::translate("frmSplit", "Split into pieces"));
    choice_.cboType->setCurrentIndex(0);
    choice_.cboType->setPlaceholderText(QCoreApplication::translate("frmSimple", "bytes"));
    for (int i = 0; i < 3; ++i) {
        connect(choice_.optSolution[static_cast<std::size_t>(i)], &QRadioButton::clicked, this,
                [this, i] { OptionClicked(i); });
    }
    // The designed start: the number of pieces is the choice.
    OptionClicked(0);

    body->addSpacing(12);
    auto* heading =
        MakeHeading(QCoreApplication::translate("frmSplit", "Information"), "Label2", this);
    SetLeastSize(heading, QSize(0, 22));
    body->addWidget(heading);
    body->addSpacing(4);
    auto* info = new QGridLayout;
    info->setHorizontalSpacing(4);
    info->setVerticalSpacing(2);
    info->setColumnMinimumWidth(0, 84);
    info->setColumnStretch(1, 1);
    body->addLayout(info);
    body->addStretch(1);
    const QString captions[3] = {QCoreApplication::translate("frmSplit", "File Name"),
                                 QCoreApplication::translate("frmSplit", "File Size"),
                                 QCoreApplication::translate("frmSplit", "File Path")};
    for (int i = 0; i < 3; ++i) {
        auto* caption = new QLabel(captions[i], this);
        caption->setObjectName(QStringLiteral("Label4_%1").arg(i));
        SetLeastSize(caption, QSize(0, 22));
        SetTone(caption, Tone::Muted);
        info->addWidget(caption, i, 0);
        auto* value = new QLabel(this);
        value->setObjectName(QStringLiteral("Label5_%1").arg(i));
        // A long name is shortened to the room the window has; it never widens the window.
        value->setMinimumWidth(1);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        info->addWidget(value, i, 1);
        caption->setBuddy(value);
        Label5_[static_cast<std::size_t>(i)] = value;
    }

    cmdPrevious_ =
        MakeButton(QCoreApplication::translate("frmSplit", "&Previous"), "cmdPrevious", this);
    cmdNext_ = MakeButton(QCoreApplication::translate("frmSplit", "&Next"), "cmdNext", this);
    AddFooterButtons({cmdPrevious_, cmdNext_}, QSize(96, 30), 12);
    cmdNext_->setDefault(true);
    connect(cmdPrevious_, &QPushButton::clicked, this, &frmSplit::Previous);
    connect(cmdNext_, &QPushButton::clicked, this, &frmSplit::Next);

    // The page opens on Browse, as before; the path box comes next.
    SetTabChain({cmdBrowse_, txtPath_, choice_.optSolution[0], choice_.txtNum, choice_.optSolution[1],
                 choice_.txtSize, choice_.cboType, choice_.cboPreset, choice_.optSolution[2], cmdPrevious_,
                 cmdNext_});

    // The details follow the file as it changes, appears or goes, told by the system
    // rather than read again on a timer.
    watcher_ = new QFileSystemWatcher(this);
    connect(watcher_, &QFileSystemWatcher::fileChanged, this, &frmSplit::RefreshFileInfo);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, &frmSplit::RefreshFileInfo);
    connect(txtPath_, &QLineEdit::textChanged, this, [this](const QString& path) {
        if (const QStringList watched = watcher_->files() + watcher_->directories(); !watched.isEmpty()) {
            watcher_->removePaths(watched);
        }
        if (!path.isEmpty()) {
            watcher_->addPath(QString::fromStdString(GetFolderName(path.toStdString())));
            if (RegularFileLength(path.toStdString()) >= 0) {
                watcher_->addPath(path);
            }
        }
        RefreshFileInfo();
    });
}

void frmSplit::Browse() {
    const QString file = CurrentPrompter().OpenFile(
        this, QCoreApplication::translate("frmSplit", "Choose the file to split"), txtPath_->text(),
        // "*" rather than "*.*": here a name needs no "." to be a file.
        FileFilter(QCoreApplication::translate("frmSplit", "All File(*.*)"), QStringLiteral("*")));
    if (file.isEmpty()) {
        return;
    }
    // The file shown, or one beside it, keeps its bytes when chosen again.
    const std::optional<std::string> path = DialogPathBytes(file, PathInBox(txtPath_).value_or(std::string()));
    if (!path) {
        RefuseLostName(this, file);
        return;
    }
    ChooseFile(*path);
}

void frmSplit::ChooseFile(const std::string& path) {
    ShowPath(txtPath_, path);
    RefreshFileInfo();
}

bool frmSplit::TakesDrop(const QMimeData& drag) const {
    return DroppedFile(drag).has_value();
}

void frmSplit::TakeDrop(const QMimeData& drag) {
    if (const std::optional<std::string> file = DroppedFile(drag)) {
        ChooseFile(*file);
    }
}

void frmSplit::OptionClicked(int index) {
    choice_.txtNum->setEnabled(index == 0);
    choice_.txtSize->setEnabled(index == 1);
    choice_.cboType->setEnabled(index == 1);
    QLineEdit* field = index == 0 ? choice_.txtNum : index == 1 ? choice_.txtSize : nullptr;
    if (field != nullptr) {
        field->setFocus();
        field->selectAll();
    }
}

void frmSplit::RefreshFileInfo() {
    const std::string path = PathInBox(txtPath_).value_or(std::string());
    if (path.empty()) {
        return;
    }
    // The values are shortened to their labels' widths, which the layout sets.
    layout()->activate();
    // A file replaced by a new one (as editors save) drops out of the watch: watch it again.
    if (!watcher_->files().contains(txtPath_->text()) && RegularFileLength(path) >= 0) {
        watcher_->addPath(txtPath_->text());
    }
    const std::int64_t length = RegularFileLength(path);
    const bool file = length >= 0;
    const QString values[3] = {
        file ? DisplayPath(GetFileName(path)) : QString(),
        file ? QString::fromStdString(FormatSize(length, LocaleDecimalSeparator())) : QString(),
        file ? DisplayPath(JoinPath(GetFolderName(path), "")) : QString(),
    };
    for (int i = 0; i < 3; ++i) {
        QLabel* label = Label5_[static_cast<std::size_t>(i)];
        const QString shown =
            label->fontMetrics().elidedText(values[i], Qt::ElideMiddle, label->width());
        if (label->text() != shown) {
            label->setText(shown);
            label->setToolTip(shown == values[i] ? QString() : values[i]);
        }
    }
}

void frmSplit::Next() {
    if (ShowsDialog(this)) {
        return;  // pressed past the dialog this page is waiting on
    }
    const std::string path = PathInBox(txtPath_).value_or(std::string());
    const std::int64_t length = RegularFileLength(path);
    if (length < 0) {
        CurrentPrompter().Error(
            this, QCoreApplication::translate("frmSplit", "Please select a file to split"),
            QCoreApplication::translate("frmSplit", "File Not Selected"));
        Browse();
        return;
    }
    Values().split.SplitSourcePath = path;
    if (!CheckChoiceOnWindow(this, choice_, length, Values().split)) {
        return;
    }
    GoToSplitPage2(*this);
}

void frmSplit::Previous() {
    auto* main = new frmMain(ValuesToHandOn());
    main->ResetActionImages();
    ReplaceWindow(this, main);
}

}  // namespace brindle::app
