#include "split/frm_simple.h"

namespace brindle::app {
namespace {

ChromeOptions Chrome() {
    ChromeOptions options;
    options.subtitle = QStringLiteral("Split file");
    options.size = QSize(400, 280);
    options.stripName = QStringLiteral("Picture2");
    options.second = ChromeOptions::SecondImage::Close;
    return options;
}

}  // namespace

frmSimple::frmSimple(QWidget* parent) : ChromeWindow(Chrome(), parent) {
    setObjectName(QStringLiteral("frmSimple"));
}

}  // namespace brindle::app
