#pragma once

#include "shell/chrome_window.h"

namespace brindle::app {

// The quick split of a file named on the command line.
class frmSimple : public ChromeWindow {
    Q_OBJECT
public:
    explicit frmSimple(QWidget* parent = nullptr);
};

}  // namespace brindle::app
