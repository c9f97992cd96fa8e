#pragma once

#include "shell/chrome_window.h"

namespace brindle::app {

// The join wizard's second page: the target file and the join itself.
class frmJoin2 : public ChromeWindow {
    Q_OBJECT
public:
    explicit frmJoin2(QWidget* parent = nullptr);
};

}  // namespace brindle::app
