#include "rename/frm_rename.h"

namespace brindle::app {
namespace {

ChromeOptions Chrome() {
    ChromeOptions options;
    options.subtitle = QStringLiteral("Batch Renaming");
    options.size = QSize(600, 384);
    options.navigation = true;
    options.currentButton = 2;
    return options;
}

}  // namespace

frmRename::frmRename(QWidget* parent) : ChromeWindow(Chrome(), parent) {
    setObjectName(QStringLiteral("frmRename"));
}

}  // namespace brindle::app
