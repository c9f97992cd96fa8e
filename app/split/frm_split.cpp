#include "split/frm_split.h"

namespace brindle::app {
namespace {

ChromeOptions Chrome() {
    ChromeOptions options;
    options.subtitle = QStringLiteral("Split a file · Step 1 of 3");
    options.size = QSize(480, 384);
    options.closesMainWindow = true;
    options.navigation = true;
    options.currentButton = 0;
    return options;
}

}  // namespace

frmSplit::frmSplit(QWidget* parent) : ChromeWindow(Chrome(), parent) {
    setObjectName(QStringLiteral("frmSplit"));
}

}  // namespace brindle::app
