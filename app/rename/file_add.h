#pragma once

#include "rename/add_dialog.h"
#include "rename/rename_dialogs.h"

class QComboBox;
class QPushButton;
class QTreeWidget;

namespace brindle::app {

// The Add Files dialog: some files of one folder, narrowed by type. filestring() holds the
// folder and the ticked names, NUL between, or "cancel".
class fileAdd : public AddDialog {
    Q_OBJECT
public:
    explicit fileAdd(QWidget* parent = nullptr);

private:
    void ListFolder() override;
    void OkClicked();

    FilePicker picker_;
    QString pattern_ = QStringLiteral("*.*");
    QComboBox* type_;
    QTreeWidget* list_;
    QPushButton* ok_ = nullptr;
};

}  // namespace brindle::app
