#include "shell/title_strip.h"

#include <QMouseEvent>
#include <QPainter>
#include <QSvgRenderer>
#include <QWindow>

#include "shell/artwork.h"
#include "shell/startup.h"

namespace brindle::app {

TitleStrip::TitleStrip(const QString& subtitle, QWidget* parent)
    : QWidget(parent), subtitle_(subtitle) {}

void TitleStrip::SetSubtitle(const QString& subtitle) {
    subtitle_ = subtitle;
    update();
}

void TitleStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // Drawn straight from the vector form so any width and pixel ratio stays sharp.
    static QSvgRenderer strip(QStringLiteral(":/artwork/title_strip.svg"));
    strip.render(&painter, rect());

    const int iconSize = 18;
    painter.drawPixmap(QRect(10, (height() - iconSize) / 2, iconSize, iconSize),
                       Artwork(QStringLiteral("app_icon"), QSize(iconSize, iconSize)));

    QFont font = painter.font();
    font.setPixelSize(13);
    font.setWeight(QFont::DemiBold);
    painter.setFont(font);
    painter.setPen(QColor(0xff, 0xff, 0xff));
    const QString& product = kProductName;
    QRect textRect = rect().adjusted(36, 0, -70, 0);
    painter.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft, product);
    if (!subtitle_.isEmpty()) {
        textRect.setLeft(textRect.left() + painter.fontMetrics().horizontalAdvance(product) + 10);
        font.setWeight(QFont::Normal);
        painter.setFont(font);
        painter.setPen(QColor(0xb9, 0xc6, 0xe4));
        painter.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft, subtitle_);
    }
}

void TitleStrip::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    setCursor(Qt::SizeAllCursor);
    QWindow* handle = window()->windowHandle();
    if (handle != nullptr && handle->startSystemMove()) {
        unsetCursor();
        return;
    }
    dragging_ = true;
    grabOffset_ = event->globalPosition().toPoint() - window()->pos();
}

void TitleStrip::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_ && (event->buttons() & Qt::LeftButton)) {
        window()->move(event->globalPosition().toPoint() - grabOffset_);
    }
}

void TitleStrip::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && dragging_) {
        dragging_ = false;
        unsetCursor();
    }
}

}  // namespace brindle::app
