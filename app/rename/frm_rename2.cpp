#include "rename/frm_rename2.h"

namespace brindle::app {
namespace {

ChromeOptions Chrome() {
    ChromeOptions options;
    options.subtitle = QStringLiteral("Rename Rule");
    options.size = QSize(460, 420);
    options.second = ChromeOptions::SecondImage::None;
    return options;
}

}  // namespace

frmRename2::frmRename2(QWidget* parent) : ChromeWindow(Chrome(), parent) {
    setObjectName(QStringLiteral("frmRename2"));
}

}  // namespace brindle::app
