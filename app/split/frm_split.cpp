#include "split/frm_split.h"

#include "split/split_page_chrome.h"

namespace brindle::app {

frmSplit::frmSplit(QWidget* parent) : ChromeWindow(SplitPageChrome(1), parent) {
    setObjectName(QStringLiteral("frmSplit"));
}

}  // namespace brindle::app
