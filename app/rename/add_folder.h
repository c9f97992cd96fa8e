#pragma once

#include <QDialog>
#include <QPushButton>
#include <QString>
#include <string>

#include "rename/rename_dialogs.h"

class QLabel;
class QListWidget;
class QTreeView;

namespace brindle::app {

// The Add Folder dialog: every file of one folder. filestring() holds the folder, then NUL
// and a name for every file, and a closing NUL; or "cancel".
class addFolder : public QDialog {
    Q_OBJECT
public:
    explicit addFolder(QWidget* parent = nullptr);

    // Bytes as the file system gave them, so any file name survives the hand-over.
    const std::string& filestring() const { return filestring_; }
    // Lists a folder, as choosing it in the tree does; an unreadable one gives the start
    // folder instead.
    void ShowFolder(const QString& folder);

    void done(int result) override;
    // True while a folder is being listed.
    bool IsListing() const { return ok_ != nullptr && !ok_->isEnabled(); }

signals:
    // The chosen folder's files are in the list.
    void listed();

private:
    void OkClicked();
    void ShowListed(const FolderPicker& picker, const QStringList& names, int generation);

    FolderPicker picker_;
    QString folder_;
    std::string filestring_;
    QTreeView* tree_;
    QListWidget* list_;
    QLabel* count_;
    QPushButton* ok_ = nullptr;
    int listing_ = 0;
};

}  // namespace brindle::app
