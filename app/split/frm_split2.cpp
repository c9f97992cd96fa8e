#include "split/frm_split2.h"

namespace brindle::app {
namespace {

ChromeOptions Chrome() {
    ChromeOptions options;
    options.subtitle = QStringLiteral("Split a file · Step 2 of 3");
    options.size = QSize(480, 384);
    options.closesMainWindow = true;
    options.navigation = true;
    options.currentButton = 0;
    return options;
}

}  // namespace

frmSplit2::frmSplit2(QWidget* parent) : ChromeWindow(Chrome(), parent) {
    setObjectName(QStringLiteral("frmSplit2"));
}

}  // namespace brindle::app
