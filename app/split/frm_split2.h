#pragma once

#include "shell/chrome_window.h"

namespace brindle::app {

// The split wizard's second page: destination folder and group name.
class frmSplit2 : public ChromeWindow {
    Q_OBJECT
public:
    explicit frmSplit2(QWidget* parent = nullptr);
};

}  // namespace brindle::app
