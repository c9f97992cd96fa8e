#include "shell/image_control.h"

#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "shell/theme.h"

namespace brindle::app {

namespace {

// A picture button as assistive technology sees it: a button that can be pressed.
class AccessibleImageControl final : public QAccessibleWidget {
public:
    explicit AccessibleImageControl(ImageControl* control)
        : QAccessibleWidget(control, QAccessible::Button) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) {
            return widget()->toolTip();
        }
        return QAccessibleWidget::text(t);
    }
    QStringList actionNames() const override {
        return QStringList{pressAction()} << QAccessibleWidget::actionNames();
    }
    void doAction(const QString& name) override {
        if (name == pressAction() && widget()->isEnabled()) {
            emit static_cast<ImageControl*>(widget())->clicked();
            return;
        }
        QAccessibleWidget::doAction(name);
    }
};

QAccessibleInterface* AccessibleFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("brindle::app::ImageControl")) {
        return new AccessibleImageControl(static_cast<ImageControl*>(object));
    }
    return nullptr;
}

}  // namespace

ImageControl::ImageControl(QWidget* parent)
    : QWidget(parent) {
    setMouseTracking(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
}

void ImageControl::InstallAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(AccessibleFactory);
        return true;
    }();
    (void)installed;
}

void ImageControl::setFocusColour(const QColor& colour) {
    focusColour_ = colour;
    update();
}

void ImageControl::setFocusJob(int job) {
    focusJob_ = job;
    update();
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
    if (hasFocus()) {
        // The pictures' own rounded outline, drawn in the accent colour.
        painter.setRenderHint(QPainter::Antialiasing);
        const QColor ring = focusJob_ >= 0          ? JobAccent(focusJob_, palette())
                            : focusColour_.isValid() ? focusColour_
                                                     : palette().color(QPalette::Highlight);
        painter.setPen(QPen(ring, 2));
        painter.setBrush(Qt::NoBrush);
        const qreal radius = std::min(width(), height()) * 0.2;
        painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), radius, radius);
    }
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

void ImageControl::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space:
            if (!event->isAutoRepeat()) {
                event->accept();
                emit clicked();
            }
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

void ImageControl::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void ImageControl::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

}  // namespace brindle::app
