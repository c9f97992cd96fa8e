#include "rename/frm_rename.h"

namespace brindle::app {
namespace {

ChromeSpec Chrome() {
    ChromeSpec spec;
    spec.subtitle = QStringLiteral("Batch Renaming");
    spec.size = QSize(600, 384);
    spec.navigation = true;
    spec.currentButton = 2;
    return spec;
}

}  // namespace

frmRename::frmRename(QWidget* parent) : ChromeWindow(Chrome(), parent) {
    setObjectName(QStringLiteral("frmRename"));
}

}  // namespace brindle::app
