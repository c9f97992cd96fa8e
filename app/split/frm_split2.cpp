#include "split/frm_split2.h"

namespace brindle::app {
namespace {

ChromeSpec Chrome() {
    ChromeSpec spec;
    spec.subtitle = QStringLiteral("Split a file · Step 2 of 3");
    spec.size = QSize(480, 384);
    spec.closesMainWindow = true;
    spec.navigation = true;
    spec.currentButton = 0;
    return spec;
}

}  // namespace

frmSplit2::frmSplit2(QWidget* parent) : ChromeWindow(Chrome(), parent) {
    setObjectName(QStringLiteral("frmSplit2"));
}

}  // namespace brindle::app
