#include "shell/image_control.h"

#include <QMouseEvent>
#include <QPainter>

namespace brindle::app {

ImageControl::ImageControl(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setCursor(Qt::PointingHandCursor);
}

void ImageControl::setPixmap(const QPixmap& pixmap) {
    pixmap_ = pixmap;
    update();
}

void ImageControl::setHoverPixmap(const QPixmap& pixmap) {
    hoverPixmap_ = pixmap;
    update();
}

void ImageControl::paintEvent(QPaintEvent*) {
    const QPixmap& shown =
        !hoverPixmap_.isNull() && underMouse() && isEnabled() ? hoverPixmap_ : pixmap_;
    if (shown.isNull()) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(rect(), shown);
}

void ImageControl::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    emit pointerMoved();
}

void ImageControl::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    event->accept();
}

void ImageControl::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    event->accept();
    if (click) {
        emit clicked();
    }
}

void ImageControl::enterEvent(QEnterEvent*) {
    update();
}

void ImageControl::leaveEvent(QEvent*) {
    update();
}

}  // namespace brindle::app
