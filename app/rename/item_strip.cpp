#include "rename/item_strip.h"

#include <QCoreApplication>
#include <QDrag>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "rename/rule_strip.h"
#include "shell/theme.h"

namespace brindle::app {
namespace {

const QString kItemMime = QStringLiteral("application/x-tarnwick-brindle-rule-item");
const char kSlotProperty[] = "brindleSlot";

// The strip's look at the default font, in twips.
constexpr double kTwipsPerPixel = 15.0;
constexpr int kLabelWidth = 1020;
constexpr int kSeparatorWidth = 840;
constexpr int kLabelHeight = 24;  // pixels, at least
constexpr int kStripMargin = 6;   // pixels above and below the labels

int Pixels(double twips, double scale) {
    return static_cast<int>(std::lround(twips * scale));
}

}  // namespace

ItemLabel::ItemLabel(const QString& item, QWidget* parent, std::function<void(int)> moveByKey)
    : QLabel(QCoreApplication::translate("ItemStrip", item.toUtf8().constData()), parent),
      item_(item),
      moveByKey_(std::move(moveByKey)) {
    setAlignment(Qt::AlignCenter);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::OpenHandCursor);
    setForegroundRole(QPalette::Text);
    setAccessibleDescription(
        QCoreApplication::translate("ItemStrip", "Drag, or press Left or Right, to reorder"));
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
    mime->setData(kItemMime, item_.toUtf8());
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
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    for (std::size_t i = 0; i < dividers_.size(); ++i) {
        auto* line = new QFrame(this);
        line->setObjectName(QStringLiteral("Line1_%1").arg(i));
        SetTone(line, Tone::Divider);
        dividers_[i] = line;
    }
}

void ItemStrip::Place(QLabel* label, int slot) {
    label->setProperty(kSlotProperty, slot);
    label->setVisible(slot >= 0);
    Arrange();
}

double ItemStrip::PixelsPerTwip() const {
    // The layout gives the strip its hint, also before it is first shown.
    return sizeHint().width() / static_cast<double>(kStripWidth);
}

int ItemStrip::LabelHeight() const {
    int height = kLabelHeight;
    for (const QLabel* label : findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
        height = std::max(height, label->fontMetrics().height() + 8);
    }
    return height;
}

QSize ItemStrip::sizeHint() const {
    // Every caption with room for half a character on each side.
    double scale = 1.0 / kTwipsPerPixel;
    for (const QLabel* label : findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
        const QFontMetrics metrics = label->fontMetrics();
        const int needed = metrics.size(Qt::TextSingleLine, label->text()).width() + metrics.averageCharWidth();
        scale = std::max(scale, needed / static_cast<double>(kLabelWidth));
    }
    return {static_cast<int>(std::ceil(kStripWidth * scale)), LabelHeight() + 2 * kStripMargin};
}

QSize ItemStrip::minimumSizeHint() const {
    return sizeHint();
}

bool ItemStrip::event(QEvent* event) {
    // A label's caption or font changed: the strip may need to grow.
    if (event->type() == QEvent::LayoutRequest) {
        updateGeometry();
        Arrange();
    }
    return QFrame::event(event);
}

void ItemStrip::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    Arrange();
    emit scaled();
}

void ItemStrip::Arrange() {
    const double scale = PixelsPerTwip();
    for (std::size_t i = 0; i < dividers_.size(); ++i) {
        dividers_[i]->setGeometry(Pixels(kStripDividers[i], scale), 4, 1, height() - 8);
    }
    const int labelHeight = LabelHeight();
    for (QLabel* label : findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
        const int slot = label->property(kSlotProperty).isValid() ? label->property(kSlotProperty).toInt() : -1;
        const int left = slot >= 0 ? CentredLabelLeft(slot, kLabelWidth) : 0;
        label->setGeometry(Pixels(left, scale), (height() - labelHeight) / 2, Pixels(kLabelWidth, scale), labelHeight);
    }
}

SeparatorRow::SeparatorRow(ItemStrip* strip, const std::array<QLineEdit*, 4>& boxes, QWidget* parent)
    : QWidget(parent), strip_(strip), boxes_(boxes) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    for (QLineEdit* box : boxes_) {
        box->setParent(this);
    }
    connect(strip_, &ItemStrip::scaled, this, [this] {
        updateGeometry();
        Arrange();
    });
}

QSize SeparatorRow::sizeHint() const {
    return {strip_->sizeHint().width(), boxes_[0]->sizeHint().height()};
}

void SeparatorRow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Arrange();
}

void SeparatorRow::Arrange() {
    const double scale = strip_->PixelsPerTwip();
    const int boxWidth = Pixels(kSeparatorWidth, scale);
    for (std::size_t i = 0; i < boxes_.size(); ++i) {
        boxes_[i]->setGeometry(Pixels(kStripDividers[i], scale) - boxWidth / 2, 0, boxWidth, height());
    }
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
