#pragma once

#include "shell/chrome_window.h"

namespace brindle::app {

// The quick join of the piece group named on the command line.
class frmSimpleJoin : public ChromeWindow {
    Q_OBJECT
public:
    explicit frmSimpleJoin(QWidget* parent = nullptr);
};

}  // namespace brindle::app
