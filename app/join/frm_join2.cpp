#include "join/frm_join2.h"

namespace brindle::app {
namespace {

ChromeSpec Chrome() {
    ChromeSpec spec;
    spec.subtitle = QStringLiteral("Merge Files · Step 2 of 2");
    spec.size = QSize(480, 384);
    spec.navigation = true;
    spec.currentButton = 1;
    return spec;
}

}  // namespace

frmJoin2::frmJoin2(QWidget* parent) : ChromeWindow(Chrome(), parent) {
    setObjectName(QStringLiteral("frmJoin2"));
}

}  // namespace brindle::app
