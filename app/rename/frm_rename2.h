#pragma once

#include <QString>
#include <array>

#include "shell/chrome_window.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;

namespace brindle::app {

class ItemStrip;
class frmRename;

// The rule editor, open beside the rename list (its parent): it keeps the process-wide
// naming rule in step with its controls, previews it and applies it to the list.
class frmRename2 : public ChromeWindow {
    Q_OBJECT
public:
    explicit frmRename2(frmRename* list = nullptr);

    // Drops an item label at x pixels on the strip, as a drag and drop does.
    void DropItem(const QString& item, double stripX);

private:
    void ReadExtension();
    void ReadFileName();
    void ReadDateFields();
    void ReadNumberFields();
    void DateOptionClicked();
    void NumberOptionClicked();
    void ModeChosen();
    void PlaceLabels();
    void RefreshPreview();
    void ApplyClicked();
    void MoveByKey(const QString& item, int direction);

    QCheckBox* chkExt_;
    QLineEdit* txtExt_;
    QCheckBox* chkPrefix_;
    QLineEdit* txtPrefix_;
    QCheckBox* chkDate_;
    QComboBox* cboFormat_;
    QComboBox* cbosep_;
    QDateEdit* picker_;
    QComboBox* cboMode_;
    QLabel* by_;
    QLineEdit* txtNum_;
    QComboBox* combo2_;
    QCheckBox* chkNum_;
    QLineEdit* txtAutoNum_;
    ItemStrip* strip_;
    std::array<QLabel*, 4> items_{};
    std::array<QLineEdit*, 4> separators_{};
    QLineEdit* preview_;
};

}  // namespace brindle::app
