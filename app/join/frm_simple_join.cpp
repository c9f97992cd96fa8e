#include "join/frm_simple_join.h"

namespace brindle::app {
namespace {

ChromeOptions Chrome() {
    ChromeOptions options;
    options.subtitle = QStringLiteral("Merge files");
    options.size = QSize(400, 220);
    options.stripName = QStringLiteral("Picture2");
    options.second = ChromeOptions::SecondImage::None;
    return options;
}

}  // namespace

frmSimpleJoin::frmSimpleJoin(QWidget* parent) : ChromeWindow(Chrome(), parent) {
    setObjectName(QStringLiteral("frmSimpleJoin"));
}

}  // namespace brindle::app
