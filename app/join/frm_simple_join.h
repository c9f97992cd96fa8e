#pragma once

#include "join/join_controls.h"
#include "shell/chrome_window.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace brindle::app {

class JobPanel;

// The quick join of the piece group named on the command line: one attempt, then the
// program ends.
class frmSimpleJoin : public ChromeWindow {
    Q_OBJECT
public:
    // A page of the window whose `values` it takes on; without them, of a new window.
    explicit frmSimpleJoin(JobValuesPtr values = nullptr);

    QLineEdit* txtPath = nullptr;
    QPushButton* cmdJoin = nullptr;
    QProgressBar* ProgressBar1 = nullptr;  // with Label2 and Cancel, the window's job panel
    QLabel* Label2 = nullptr;
    FileList File1;

signals:
    // The attempt is over and the job has ended: the program quits next.
    void programEnding();

private:
    void Form_Load();
    void cmdBrowse_Click();
    void cmdJoin_Click();
    void JoinFinished(bool ok, const QString& reason);
    void EndProgram();

    JobPanel* panel_ = nullptr;
    std::string chosenInDialog_;  // a target the save dialog has already confirmed
};

}  // namespace brindle::app
