#pragma once

#include "shell/chrome_window.h"

namespace brindle::app {

// The three split wizard pages share one chrome; only the step in the title differs.
inline ChromeOptions SplitPageChrome(int step) {
    ChromeOptions options = JobWindowChrome(
        0, QCoreApplication::translate("SplitPage", "Split a file · Step %1 of 3").arg(step));
    options.closesMainWindow = true;
    return options;
}

}  // namespace brindle::app
