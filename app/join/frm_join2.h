#pragma once

#include "join/join_controls.h"
#include "shell/chrome_window.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace brindle::app {

class JobPanel;

// The join wizard's second page: the file to create, the presence check and the join.
class frmJoin2 : public ChromeWindow {
    Q_OBJECT
public:
    // A page of the window whose `values` it takes on; without them, of a new window.
    explicit frmJoin2(JobValuesPtr values = nullptr);

    QLineEdit* txtTarget = nullptr;
    QProgressBar* pb1 = nullptr;  // with percent and Cancel, the window's job panel
    QLabel* percent = nullptr;
    QPushButton* cmdJoin = nullptr;
    FileList File1;

private:
    void cmdBrowse_Click();
    void cmdJoin_Click();
    void JoinFinished(bool ok, const QString& reason);

    JobPanel* panel_ = nullptr;
    QString target_;
    std::string chosenInDialog_;  // a target the save dialog has already confirmed
};

}  // namespace brindle::app
