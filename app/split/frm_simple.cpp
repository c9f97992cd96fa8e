#include "split/frm_simple.h"

namespace brindle::app {
namespace {

ChromeSpec Chrome() {
    ChromeSpec spec;
    spec.subtitle = QStringLiteral("Split file");
    spec.size = QSize(400, 280);
    spec.stripName = QStringLiteral("Picture2");
    return spec;
}

}  // namespace

frmSimple::frmSimple(QWidget* parent) : ChromeWindow(Chrome(), parent) {
    setObjectName(QStringLiteral("frmSimple"));
}

}  // namespace brindle::app
