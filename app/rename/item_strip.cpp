#include "rename/item_strip.h"

#include <QDrag>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>

#include "shell/theme.h"

namespace brindle::app {
namespace {

const QString kItemMime = QStringLiteral("application/x-tarnwick-brindle-rule-item");

}  // namespace

ItemLabel::ItemLabel(const QString& item, QWidget* parent, std::function<void(int)> moveByKey)
    : QLabel(item, parent), moveByKey_(std::move(moveByKey)) {
    setAlignment(Qt::AlignCenter);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::OpenHandCursor);
    setForegroundRole(QPalette::Text);
    setAccessibleDescription(QStringLiteral("Drag, or press Left or Right, to reorder"));
}

void ItemLabel::paintEvent(QPaintEvent*) {
    // A chip tinted with the palette's highlight, on the strip's base colour.
    const QPalette& colours = palette();
    const QColor base = colours.color(QPalette::Base);
    const QColor highlight = colours.color(QPalette::Highlight);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool focused = hasFocus();
    const qreal inset = focused ? 1.0 : 0.5;
    painter.setPen(QPen(focused ? highlight : Mix(base, highlight, 0.55), focused ? 2.0 : 1.0));
    painter.setBrush(Mix(base, highlight, 0.14));
    painter.drawRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), 4, 4);
    painter.setPen(colours.color(QPalette::Text));
    painter.drawText(rect(), Qt::AlignCenter, text());
}

void ItemLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    auto* mime = new QMimeData;
    mime->setData(kItemMime, text().toUtf8());
    auto* drag = new QDrag(this);
    drag->setMimeData(mime);
    drag->setPixmap(grab());
    drag->setHotSpot(event->position().toPoint());
    drag->exec(Qt::MoveAction);
}

void ItemLabel::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right) {
        moveByKey_(event->key() == Qt::Key_Left ? -1 : 1);
        return;
    }
    QLabel::keyPressEvent(event);
}

ItemStrip::ItemStrip(QWidget* parent, std::function<void(const QString&, double)> drop)
    : QFrame(parent), drop_(std::move(drop)) {
    setAcceptDrops(true);
}

void ItemStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    painter.setPen(DeriveChrome(palette()).edge);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void ItemStrip::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasFormat(kItemMime)) {
        event->acceptProposedAction();
    }
}

void ItemStrip::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasFormat(kItemMime)) {
        event->acceptProposedAction();
    }
}

void ItemStrip::dropEvent(QDropEvent* event) {
    if (!event->mimeData()->hasFormat(kItemMime)) {
        return;
    }
    event->acceptProposedAction();
    drop_(QString::fromUtf8(event->mimeData()->data(kItemMime)), event->position().x());
}

}  // namespace brindle::app
