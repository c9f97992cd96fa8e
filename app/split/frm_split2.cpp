#include "split/frm_split2.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <utility>

#include "shell/form_controls.h"
#include "shell/path_text.h"
#include "shell/paths.h"
#include "shell/prompter.h"
#include "split/split_choice.h"
#include "split/split_page_chrome.h"
#include "split/split_pages.h"
#include "split/split_state.h"

namespace brindle::app {

frmSplit2::frmSplit2(JobValuesPtr values) : ChromeWindow(SplitPageChrome(2), nullptr, std::move(values)) {
    setObjectName(QStringLiteral("frmSplit2"));

    QVBoxLayout* body = Body();
    body->setContentsMargins(16, 18, 16, 8);
    body->setSpacing(0);
    auto* destination =
        MakeHeading(QCoreApplication::translate("frmSplit2", "Select Destination"), "Label1", this);
    SetLeastSize(destination, QSize(0, 22));
    txtPath_ = new QLineEdit(this);
    txtPath_->setObjectName(QStringLiteral("txtPath"));
    txtPath_->setAccessibleName(destination->text());
    txtPath_->setPlaceholderText(
        QCoreApplication::translate("frmSplit2", "Choose the folder for the pieces"));
    // Read-only, not disabled: readable, reachable by Tab and copied from.
    txtPath_->setReadOnly(true);
    SetLeastSize(txtPath_, QSize(0, 26));
    destination->setBuddy(txtPath_);
    auto* browse = MakeBrowseButton(
        QCoreApplication::translate("frmSplit2", "Choose the folder for the pieces"), this);
    connect(browse, &QToolButton::clicked, this, &frmSplit2::Browse);
    body->addWidget(destination);
    body->addSpacing(4);
    body->addLayout(PathRow(txtPath_, browse, 6));
    body->addSpacing(22);

    auto* group = MakeHeading(
        QCoreApplication::translate("frmSplit2", "Name Of the group of files"), "Label2", this);
    SetLeastSize(group, QSize(0, 22));
    txtGP_ = new QLineEdit(this);
    txtGP_->setObjectName(QStringLiteral("txtGP"));
    txtGP_->setAccessibleName(group->text());
    SetLeastSize(txtGP_, QSize(0, 26));
    group->setBuddy(txtGP_);
    body->addWidget(group);
    body->addSpacing(4);
    body->addWidget(txtGP_);
    body->addStretch(1);

    auto* previous =
        MakeButton(QCoreApplication::translate("frmSplit2", "&Previous"), "cmdPrevious", this);
    auto* next = MakeButton(QCoreApplication::translate("frmSplit2", "&Next"), "cmdNext", this);
    AddFooterButtons({previous, next}, QSize(96, 30), 12);
    next->setDefault(true);
    connect(previous, &QPushButton::clicked, this, [this] { BackToSplitPage1(*this); });
    connect(next, &QPushButton::clicked, this, &frmSplit2::Next);
    // The page opens on Browse, as before; the path box comes next.
    SetTabChain({browse, txtPath_, txtGP_, previous, next});

    // Load step: the source's name without its extension; a name without one keeps itself.
    // Its bytes are kept: a source name that is not UTF-8 names its pieces as it is.
    ShowPath(txtGP_, StripExtension(GetFileName(Values().split.SplitSourcePath)));
}

void frmSplit2::Browse() {
    // Offered: the folder shown, else the source's own.
    std::string offered = PathInBox(txtPath_).value_or(std::string());
    if (offered.empty() && !Values().split.SplitSourcePath.empty()) {
        offered = GetFolderName(Values().split.SplitSourcePath);
    }
    const QString folder = CurrentPrompter().Folder(
        this, QCoreApplication::translate("frmSplit2", "Please Select a Folder"),
        DisplayPath(offered));
    if (folder.isEmpty()) {
        return;
    }
    if (const std::optional<std::string> path = DialogPathBytes(folder, offered)) {
        ShowPath(txtPath_, *path);
    } else {
        RefuseLostName(this, folder);
    }
}

void frmSplit2::Next() {
    if (ShowsDialog(this)) {
        return;  // pressed past the dialog this page is waiting on
    }
    if (txtPath_->text().isEmpty()) {
        CurrentPrompter().Warning(
            this, QCoreApplication::translate("frmSplit2", "Please select a destination."),
            QCoreApplication::translate("frmSplit2", "Select Destination"));
        Browse();
        return;
    }
    const std::optional<std::string> group = PathInBox(txtGP_);
    if (!group) {
        RefuseLostName(this, txtGP_->text());
        txtGP_->setFocus();
        return;
    }
    Values().split.SplitDestFolder = PathInBox(txtPath_).value_or(std::string());
    Values().split.SplitGroupName = *group;
    GoToSplitPage3(*this);
}

}  // namespace brindle::app
