#pragma once

#include "shell/chrome_window.h"

namespace brindle::app {

// The rename list.
class frmRename : public ChromeWindow {
    Q_OBJECT
public:
    explicit frmRename(QWidget* parent = nullptr);
};

}  // namespace brindle::app
