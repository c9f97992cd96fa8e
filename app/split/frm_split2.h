#pragma once

#include "shell/chrome_window.h"

class QLineEdit;
class QPushButton;
class QToolButton;

namespace brindle::app {

// The split wizard's second page: destination folder and group name.
class frmSplit2 : public ChromeWindow {
    Q_OBJECT
public:
    // A page of the window whose `values` it takes on; without them, of a new window.
    explicit frmSplit2(JobValuesPtr values = nullptr);

private:
    void Browse();
    void Next();

    QLineEdit* txtPath_ = nullptr;
    QLineEdit* txtGP_ = nullptr;
};

}  // namespace brindle::app
