#include "split/frm_split3.h"

namespace brindle::app {
namespace {

ChromeOptions Chrome() {
    ChromeOptions options;
    options.subtitle = QStringLiteral("Split a file · Step 3 of 3");
    options.size = QSize(480, 384);
    options.closesMainWindow = true;
    options.navigation = true;
    options.currentButton = 0;
    return options;
}

}  // namespace

frmSplit3::frmSplit3(QWidget* parent) : ChromeWindow(Chrome(), parent) {
    setObjectName(QStringLiteral("frmSplit3"));
}

}  // namespace brindle::app
