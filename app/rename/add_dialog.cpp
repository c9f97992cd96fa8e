#include "rename/add_dialog.h"

#include <QCoreApplication>
#include <QItemSelectionModel>
#include <QListWidget>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <filesystem>
#include <system_error>

#include "rename/folder_tree.h"
#include "rename/rename_dialogs.h"
#include "rename/rename_list.h"
#include "shell/path_text.h"
#include "shell/paths.h"
#include "shell/prompter.h"
#include "shell/theme.h"

namespace brindle::app {

AddDialog::AddDialog(const QString& name, const QString& title, const QString& treeName,
                     QWidget* parent)
    : QDialog(parent), lister_(new JobRunner(JobKind::kRename, this)) {
    setObjectName(name);
    setWindowTitle(title);
    SetTone(this, Tone::Selection);
    tree_ = MakeFolderTree(this, treeName);
    folders_ = new QWidget(this);
    auto* column = new QVBoxLayout(folders_);
    column->setContentsMargins(0, 0, 0, 0);
    QListWidget* places = MakePlaces(tree_, folders_);
    column->addWidget(places);
    column->addWidget(tree_, 1);
    setTabOrder(places, tree_);
    resize(620, 400);
}

void AddDialog::StartListing(QPushButton* ok, QWidget* list) {
    listOk_ = ok;
    listView_ = list;
    ShowFolder(StartFolder());
    ChooseTreeFolder(tree_, folder_);
    connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { ShowFolder(TreeFolder(tree_)); });
    tree_->setFocus();
}

void AddDialog::ShowFolder(const QString& folder) {
    const QString listed = FolderToList(tree_, folder, folder_);
    if (listed.isEmpty()) {
        return;
    }
    folder_ = listed;
    ListFolder();
}

bool AddDialog::IsListing() const { return !listOk_->isEnabled(); }

void AddDialog::BeginListing() {
    listOk_->setEnabled(false);
    listView_->setEnabled(false);
    setCursor(Qt::BusyCursor);
}

void AddDialog::EndListing() {
    listOk_->setEnabled(true);
    listView_->setEnabled(true);
    unsetCursor();
    emit listed();
}

QStringList AddDialog::DisplayNames(const std::vector<std::string>& names) {
    QStringList shown;
    shown.reserve(static_cast<qsizetype>(names.size()));
    for (const std::string& name : names) {
        shown.append(QString::fromStdString(name));
    }
    return shown;
}

void AddDialog::Confirm(const std::optional<std::string>& chosen, const QString& nothingChosen) {
    if (!chosen) {
        CurrentPrompter().Message(this, nothingChosen, {}, Prompter::Icon::None,
                                  Prompter::Buttons::Ok);
        return;
    }
    filestring_ = *chosen;
    RememberAddedFolder(folder_);
    accept();
}

QPushButton* AddDialog::MakeButton(const char* name, const QString& caption) {
    auto* button = new QPushButton(caption, this);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    return button;
}

QPushButton* AddDialog::MakeCancelButton(const char* name) {
    QPushButton* cancel = MakeButton(name, QCoreApplication::translate("AddDialog", "Ca&ncel"));
    connect(cancel, &QPushButton::clicked, this, [this] {
        filestring_ = kCancelled;
        reject();
    });
    return cancel;
}

void AddDialog::done(int result) {
    if (filestring_.empty()) {
        filestring_ = kCancelled;
    }
    QDialog::done(result);
}

std::optional<std::string> DroppedFileString(const std::string& path, bool* isFolder, Status* listing) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    *isFolder = !error && std::filesystem::is_directory(status);
    *listing = Status::Ok();
    if (*isFolder) {
        FolderPicker picker;
        picker.Show(path);
        RememberAddedFolder(DisplayPath(path));
        *listing = picker.listing();
        return picker.Confirm();
    }
    if (error || !std::filesystem::is_regular_file(status)) {
        return std::nullopt;
    }
    std::string text = GetFolderName(path);
    RememberAddedFolder(DisplayPath(text));
    text += '\0';
    text += GetFileName(path);
    return text;
}

}  // namespace brindle::app
