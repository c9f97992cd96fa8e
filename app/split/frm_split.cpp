#include "split/frm_split.h"

namespace brindle::app {
namespace {

ChromeSpec Chrome() {
    ChromeSpec spec;
    spec.subtitle = QStringLiteral("Split a file · Step 1 of 3");
    spec.size = QSize(480, 384);
    spec.closesMainWindow = true;
    spec.navigation = true;
    spec.currentButton = 0;
    return spec;
}

}  // namespace

frmSplit::frmSplit(QWidget* parent) : ChromeWindow(Chrome(), parent) {
    setObjectName(QStringLiteral("frmSplit"));
}

}  // namespace brindle::app
