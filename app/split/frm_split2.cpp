#include "split/frm_split2.h"

#include "split/split_page_chrome.h"

namespace brindle::app {

frmSplit2::frmSplit2(QWidget* parent) : ChromeWindow(SplitPageChrome(2), parent) {
    setObjectName(QStringLiteral("frmSplit2"));
}

}  // namespace brindle::app
