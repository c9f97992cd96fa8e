#pragma once

#include "shell/chrome_window.h"

namespace brindle::app {

// The rule editor, open beside the rename list.
class frmRename2 : public ChromeWindow {
    Q_OBJECT
public:
    explicit frmRename2(QWidget* parent = nullptr);
};

}  // namespace brindle::app
