#pragma once

#include "rename/add_dialog.h"
#include "rename/rename_dialogs.h"

class QLabel;
class QPushButton;
class QListWidget;

namespace brindle::app {

// The Add Folder dialog: every file of one folder. filestring() holds the folder, then NUL
// and a name for every file, and a closing NUL; or "cancel".
class addFolder : public AddDialog {
    Q_OBJECT
public:
    explicit addFolder(QWidget* parent = nullptr);

private:
    void ListFolder() override;

    FolderPicker picker_;
    QListWidget* list_;
    QLabel* count_;
    QPushButton* ok_ = nullptr;
};

}  // namespace brindle::app
