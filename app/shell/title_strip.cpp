#include "shell/title_strip.h"

#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QSvgRenderer>
#include <QWindow>

#include "shell/artwork.h"
#include "shell/startup.h"

namespace brindle::app {

namespace {

// The text runs from after the icon to before the pictures' room.
constexpr int kTextLeft = 36;
constexpr int kTextRightRoom = 70;

}  // namespace

TitleStrip::TitleStrip(const QString& subtitle, QWidget* parent)
    : QWidget(parent), subtitle_(subtitle) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 6, 10, 6);
    row->setSpacing(6);
    row->addStretch(1);
}

void TitleStrip::AddImage(QWidget* image) {
    layout()->addWidget(image);
}

QFont TitleStrip::TitleFont() const {
    QFont title = font();
    title.setPixelSize(13);
    title.setWeight(QFont::DemiBold);
    return title;
}

QSize TitleStrip::minimumSizeHint() const {
    // The product name always shows; a long subtitle (a file's name) is cut short instead.
    const int product = QFontMetrics(TitleFont()).horizontalAdvance(kProductName);
    return {kTextLeft + product + kTextRightRoom, QWidget::minimumSizeHint().height()};
}

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

    QFont font = TitleFont();
    painter.setFont(font);
    painter.setPen(QColor(0xff, 0xff, 0xff));
    const QString& product = kProductName;
    QRect textRect = rect().adjusted(kTextLeft, 0, -kTextRightRoom, 0);
    painter.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft, product);
    if (!subtitle_.isEmpty()) {
        textRect.setLeft(textRect.left() + painter.fontMetrics().horizontalAdvance(product) + 10);
        font.setWeight(QFont::Normal);
        painter.setFont(font);
        painter.setPen(QColor(0xb9, 0xc6, 0xe4));
        painter.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft,
                         painter.fontMetrics().elidedText(subtitle_, Qt::ElideMiddle, textRect.width()));
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
