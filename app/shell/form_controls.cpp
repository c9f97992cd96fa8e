#include "shell/form_controls.h"

#include <QEvent>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QToolButton>
#include <QtMath>
#include <algorithm>

namespace brindle::app {
namespace {

// Keeps a widget's floor above what its contents ask for now; a caption changed in code only
// reaches its parent (as a layout request), so both are watched.
class LeastSize final : public QObject {
public:
    LeastSize(QWidget* widget, QSize least) : QObject(widget), widget_(widget), least_(least) {
        widget->installEventFilter(this);
        if (QWidget* parent = widget->parentWidget()) {
            parent->installEventFilter(this);
        }
        Apply();
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::FontChange:
        case QEvent::StyleChange:
        case QEvent::LanguageChange:
        case QEvent::LayoutRequest:
            Apply();
            break;
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    // What a layout gives the widget without an explicit minimum, as Qt works it out.
    int Natural(QSizePolicy::Policy policy, int hint, int minimumHint) const {
        return (policy & QSizePolicy::ShrinkFlag) != 0 ? minimumHint : std::max(hint, minimumHint);
    }

    void Apply() {
        const QSizePolicy policy = widget_->sizePolicy();
        const QSize hint = widget_->sizeHint();
        const QSize minimumHint = widget_->minimumSizeHint();
        const QSize wanted(
            least_.width() > 0 ? std::max(least_.width(), Natural(policy.horizontalPolicy(), hint.width(),
                                                                    minimumHint.width()))
                               : 0,
            least_.height() > 0 ? std::max(least_.height(), Natural(policy.verticalPolicy(), hint.height(),
                                                                      minimumHint.height()))
                                : 0);
        if (widget_->minimumSize() != wanted) {
            widget_->setMinimumSize(wanted);
        }
    }

    QWidget* widget_;
    QSize least_;
};

// An open folder in the program's blue, drawn for each pixel ratio so it stays sharp.
QPixmap FolderPicture(int size, qreal ratio) {
    QPixmap pixmap(qRound(size * ratio), qRound(size * ratio));
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 16.0;
    QPainterPath back;
    back.moveTo(1.5 * s, 3.5 * s);
    back.lineTo(6 * s, 3.5 * s);
    back.lineTo(7.5 * s, 5 * s);
    back.lineTo(13.5 * s, 5 * s);
    back.lineTo(13.5 * s, 12.5 * s);
    back.lineTo(1.5 * s, 12.5 * s);
    back.closeSubpath();
    painter.setPen(QPen(QColor(0x2f, 0x4f, 0x8f), 1.0 * s));
    painter.setBrush(QColor(0x9d, 0xb8, 0xe8));
    painter.drawPath(back);
    QPainterPath front;
    front.moveTo(3 * s, 7 * s);
    front.lineTo(15 * s, 7 * s);
    front.lineTo(13.5 * s, 12.5 * s);
    front.lineTo(1.5 * s, 12.5 * s);
    front.closeSubpath();
    painter.setBrush(QColor(0x4a, 0x72, 0xc4));
    painter.drawPath(front);
    return pixmap;
}

QIcon FolderIcon() {
    QIcon icon;
    for (qreal ratio : {1.0, 2.0, 3.0}) {
        icon.addPixmap(FolderPicture(16, ratio));
    }
    return icon;
}

}  // namespace

QSize InkLabel::sizeHint() const {
    return QLabel::sizeHint() + QSize(InkOverhang(), 0);
}

QSize InkLabel::minimumSizeHint() const {
    return QLabel::minimumSizeHint() + QSize(InkOverhang(), 0);
}

int InkLabel::InkOverhang() const {
    if (wordWrap() || text().isEmpty() || Qt::mightBeRichText(text())) {
        return 0;
    }
    QString plain = text();
    plain.replace(QLatin1String("&&"), QString(QChar(0x1f)));
    plain.remove(QLatin1Char('&'));
    plain.replace(QChar(0x1f), QLatin1Char('&'));
    const QFontMetricsF metrics(font());
    const QRectF ink = metrics.boundingRect(plain);
    const qreal covered = std::max(metrics.horizontalAdvance(plain), ink.right()) - std::min(0.0, ink.left());
    return std::max(0, qCeil(covered) - QFontMetrics(font()).size(Qt::TextShowMnemonic, text()).width());
}

QLabel* MakeCaption(const QString& text, const QString& name, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    QFont font = label->font();
    font.setWeight(QFont::DemiBold);
    label->setFont(font);
    return label;
}

QLineEdit* MakeTextBox(const QString& name, QLabel* caption, QWidget* parent) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setAccessibleName(caption->text());
    caption->setBuddy(box);
    return box;
}

QToolButton* MakeBrowseButton(const QString& tip, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QStringLiteral("cmdBrowse"));
    button->setIcon(FolderIcon());
    button->setIconSize(QSize(16, 16));
    button->setToolTip(tip);
    button->setAccessibleName(tip);
    button->setFocusPolicy(Qt::StrongFocus);
    button->setCursor(Qt::PointingHandCursor);
    // As tall as the box beside it, a little wider than square.
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    button->setMinimumWidth(30);
    return button;
}

QHBoxLayout* PathRow(QLineEdit* box, QToolButton* browse, int gap) {
    auto* row = new QHBoxLayout;
    row->setSpacing(gap);
    row->addWidget(box, 1);
    row->addWidget(browse);
    return row;
}

QPushButton* MakeButton(const QString& caption, const QString& name, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    return button;
}

QLabel* MakeHeading(const QString& text, const QString& name, QWidget* parent) {
    auto* heading = new QLabel(text, parent);
    heading->setObjectName(name);
    QFont font = heading->font();
    font.setBold(true);
    heading->setFont(font);
    return heading;
}

QFont ScaledFont(const QFont& font, double factor) {
    QFont scaled = font;
    if (font.pointSizeF() > 0) {
        scaled.setPointSizeF(font.pointSizeF() * factor);
    } else {
        scaled.setPixelSize(qRound(font.pixelSize() * factor));
    }
    return scaled;
}

void SetLeastSize(QWidget* widget, QSize least) {
    new LeastSize(widget, least);
}

void SetTabChain(std::initializer_list<QWidget*> widgets) {
    QWidget* previous = nullptr;
    for (QWidget* widget : widgets) {
        if (previous != nullptr) {
            QWidget::setTabOrder(previous, widget);
        }
        previous = widget;
    }
}

char LocaleDecimalSeparator() {
    const QString point = QLocale().decimalPoint();
    return point.size() == 1 && point.at(0).unicode() < 0x80 ? point.at(0).toLatin1() : '.';
}

}  // namespace brindle::app
