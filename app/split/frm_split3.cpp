#include "split/frm_split3.h"

namespace brindle::app {
namespace {

ChromeSpec Chrome() {
    ChromeSpec spec;
    spec.subtitle = QStringLiteral("Split a file · Step 3 of 3");
    spec.size = QSize(480, 384);
    spec.closesMainWindow = true;
    spec.navigation = true;
    spec.currentButton = 0;
    return spec;
}

}  // namespace

frmSplit3::frmSplit3(QWidget* parent) : ChromeWindow(Chrome(), parent) {
    setObjectName(QStringLiteral("frmSplit3"));
}

}  // namespace brindle::app
