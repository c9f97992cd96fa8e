#pragma once

#include "shell/chrome_window.h"

namespace brindle::app {

// The three split wizard pages share one chrome; only the step in the title differs.
inline ChromeOptions SplitPageChrome(int step) {
    ChromeOptions options;
    options.subtitle = QStringLiteral("Split a file · Step %1 of 3").arg(step);
    options.size = QSize(480, 384);
    options.closesMainWindow = true;
    options.navigation = true;
    options.currentButton = 0;
    return options;
}

}  // namespace brindle::app
