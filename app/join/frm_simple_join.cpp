#include "join/frm_simple_join.h"

namespace brindle::app {
namespace {

ChromeSpec Chrome() {
    ChromeSpec spec;
    spec.subtitle = QStringLiteral("Merge files");
    spec.size = QSize(400, 220);
    spec.stripName = QStringLiteral("Picture2");
    spec.second = ChromeSpec::SecondImage::None;
    return spec;
}

}  // namespace

frmSimpleJoin::frmSimpleJoin(QWidget* parent) : ChromeWindow(Chrome(), parent) {
    setObjectName(QStringLiteral("frmSimpleJoin"));
}

}  // namespace brindle::app
