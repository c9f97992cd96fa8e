#include "join/frm_join2.h"

namespace brindle::app {
namespace {

ChromeOptions Chrome() {
    ChromeOptions options;
    options.subtitle = QStringLiteral("Merge Files · Step 2 of 2");
    options.size = QSize(480, 384);
    options.navigation = true;
    options.currentButton = 1;
    return options;
}

}  // namespace

frmJoin2::frmJoin2(QWidget* parent) : ChromeWindow(Chrome(), parent) {
    setObjectName(QStringLiteral("frmJoin2"));
}

}  // namespace brindle::app
