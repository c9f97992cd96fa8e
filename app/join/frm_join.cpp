#include "join/frm_join.h"

namespace brindle::app {
namespace {

ChromeSpec Chrome() {
    ChromeSpec spec;
    spec.subtitle = QStringLiteral("Merge Files · Step 1 of 2");
    spec.size = QSize(480, 384);
    spec.navigation = true;
    spec.currentButton = 1;
    return spec;
}

}  // namespace

frmJoin::frmJoin(QWidget* parent) : ChromeWindow(Chrome(), parent) {
    setObjectName(QStringLiteral("frmJoin"));
}

}  // namespace brindle::app
