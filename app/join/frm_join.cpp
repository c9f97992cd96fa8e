#include "join/frm_join.h"

namespace brindle::app {
namespace {

ChromeOptions Chrome() {
    ChromeOptions options;
    options.subtitle = QStringLiteral("Merge Files · Step 1 of 2");
    options.size = QSize(480, 384);
    options.navigation = true;
    options.currentButton = 1;
    return options;
}

}  // namespace

frmJoin::frmJoin(QWidget* parent) : ChromeWindow(Chrome(), parent) {
    setObjectName(QStringLiteral("frmJoin"));
}

}  // namespace brindle::app
