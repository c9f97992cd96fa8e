#include "split/frm_split3.h"

#include "split/split_page_chrome.h"

namespace brindle::app {

frmSplit3::frmSplit3(QWidget* parent) : ChromeWindow(SplitPageChrome(3), parent) {
    setObjectName(QStringLiteral("frmSplit3"));
}

}  // namespace brindle::app
