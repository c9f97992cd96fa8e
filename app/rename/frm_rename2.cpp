#include "rename/frm_rename2.h"

namespace brindle::app {
namespace {

ChromeSpec Chrome() {
    ChromeSpec spec;
    spec.subtitle = QStringLiteral("Rename Rule");
    spec.size = QSize(460, 420);
    spec.second = ChromeSpec::SecondImage::None;
    return spec;
}

}  // namespace

frmRename2::frmRename2(QWidget* parent) : ChromeWindow(Chrome(), parent) {
    setObjectName(QStringLiteral("frmRename2"));
}

}  // namespace brindle::app
