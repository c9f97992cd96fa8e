#pragma once

#include "shell/chrome_window.h"

namespace brindle::app {

// The join wizard's first page: find the piece groups in a folder.
class frmJoin : public ChromeWindow {
    Q_OBJECT
public:
    explicit frmJoin(QWidget* parent = nullptr);
};

}  // namespace brindle::app
