#pragma once

#include "shell/chrome_window.h"

namespace brindle::app {

// The split wizard's first page: the file to split and how.
class frmSplit : public ChromeWindow {
    Q_OBJECT
public:
    explicit frmSplit(QWidget* parent = nullptr);
};

}  // namespace brindle::app
