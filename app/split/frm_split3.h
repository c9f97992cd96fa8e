#pragma once

#include "shell/chrome_window.h"

namespace brindle::app {

// The split wizard's last page: the summary and the split itself.
class frmSplit3 : public ChromeWindow {
    Q_OBJECT
public:
    explicit frmSplit3(QWidget* parent = nullptr);
};

}  // namespace brindle::app
