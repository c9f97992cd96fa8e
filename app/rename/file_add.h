#pragma once

#include <QDialog>
#include <QPushButton>
#include <QString>
#include <string>

#include "rename/rename_dialogs.h"

class QComboBox;
class QTreeView;
class QTreeWidget;

namespace brindle::app {

// The Add Files dialog: some files of one folder, narrowed by type. filestring() holds the
// folder and the ticked names, NUL between, or "cancel".
class fileAdd : public QDialog {
    Q_OBJECT
public:
    explicit fileAdd(QWidget* parent = nullptr);

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
    void Refill();
    void ShowListed(const FilePicker& picker, int generation);
    void OkClicked();

    FilePicker picker_;
    QString folder_;
    QString pattern_ = QStringLiteral("*.*");
    std::string filestring_;
    QTreeView* tree_;
    QComboBox* type_;
    QTreeWidget* list_;
    QPushButton* ok_ = nullptr;
    int listing_ = 0;
};

}  // namespace brindle::app
