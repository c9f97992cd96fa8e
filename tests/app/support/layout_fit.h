#pragma once

// Checks that a window's captions fit their controls and that no two controls overlap, with
// Qt's own font metrics and geometry, and lengthens every caption to see the window grow.

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QtMath>
#include <algorithm>
#include <QString>
#include <QStringList>
#include <QWidget>

namespace brindle::app::test {

// A control may carry this property (true) when it is drawn over another on purpose.
inline constexpr char kMayOverlap[] = "brindleMayOverlap";

inline QString Describe(const QWidget* widget) {
    const QString name = widget->objectName().isEmpty()
                             ? QString::fromLatin1(widget->metaObject()->className())
                             : widget->objectName();
    const QWidget* window = widget->window();
    return QStringLiteral("%1 in %2").arg(name, window->objectName().isEmpty()
                                                    ? QString::fromLatin1(window->metaObject()->className())
                                                    : window->objectName());
}

// The text a control shows, or an empty string for one without a caption.
inline QString CaptionOf(const QWidget* widget) {
    if (const auto* label = qobject_cast<const QLabel*>(widget)) return label->text();
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) return button->text();
    if (const auto* box = qobject_cast<const QGroupBox*>(widget)) return box->title();
    return {};
}

inline bool IsControl(const QWidget* widget) {
    return qobject_cast<const QAbstractButton*>(widget) != nullptr ||
           qobject_cast<const QLineEdit*>(widget) != nullptr ||
           qobject_cast<const QComboBox*>(widget) != nullptr ||
           qobject_cast<const QAbstractSpinBox*>(widget) != nullptr ||
           qobject_cast<const QProgressBar*>(widget) != nullptr ||
           qobject_cast<const QAbstractItemView*>(widget) != nullptr ||
           (qobject_cast<const QLabel*>(widget) != nullptr &&
            !qobject_cast<const QLabel*>(widget)->text().isEmpty());
}

// The pixels a caption covers as drawn in `font`: its advance or its ink, whichever is wider
// (a glyph may reach past its advance), without the mnemonic's marker.
inline int DrawnWidth(const QFont& font, QString caption) {
    caption.replace(QLatin1String("&&"), QString(QChar(0x1f)));
    caption.remove(QLatin1Char('&'));
    caption.replace(QChar(0x1f), QLatin1Char('&'));
    const QFontMetricsF metrics(font);
    const QRectF ink = metrics.boundingRect(caption);
    return qCeil(std::max(metrics.horizontalAdvance(caption), ink.right()) - std::min(0.0, ink.left()));
}

// The room a button draws its caption in, as its style lays the button out.
inline QRect CaptionRoom(const QAbstractButton* button) {
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    const QStyle::SubElement element =
        qobject_cast<const QPushButton*>(button) != nullptr    ? QStyle::SE_PushButtonContents
        : qobject_cast<const QRadioButton*>(button) != nullptr ? QStyle::SE_RadioButtonContents
                                                               : QStyle::SE_CheckBoxContents;
    return button->style()->subElementRect(element, &option, button);
}

// Every caption that is wider (or, wrapped, taller) than its control, and every pair of
// visible sibling controls that overlap. Empty when the window is sound.
inline QStringList FitProblems(QWidget* root) {
    QStringList problems;
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    QList<QWidget*> controls;
    for (QWidget* widget : widgets) {
        if (!widget->isVisibleTo(root) || widget->width() <= 0) continue;
        // A window of its own (a dialog or editor the root opened) is checked on its own.
        if (widget->window() != root->window()) continue;
        if (IsControl(widget)) controls.append(widget);
        const QString caption = CaptionOf(widget);
        if (caption.isEmpty()) continue;
        if (const auto* label = qobject_cast<const QLabel*>(widget)) {
            if (label->textFormat() == Qt::RichText || Qt::mightBeRichText(caption)) continue;
            // Text the user can select is a value (a name, a summary) that the window
            // shortens to its room, not a caption.
            if (label->textInteractionFlags() & Qt::TextSelectableByMouse) continue;
            const QRect room = label->contentsRect();
            if (label->wordWrap()) {
                const int needed = label->heightForWidth(label->width());
                if (needed > label->height()) {
                    problems << QStringLiteral("%1: wrapped text needs %2 px of height, has %3")
                                    .arg(Describe(label)).arg(needed).arg(label->height());
                }
                continue;
            }
            QSize needed = label->fontMetrics().size(Qt::TextShowMnemonic, caption);
            needed.rwidth() = std::max(needed.width(), DrawnWidth(label->font(), caption) +
                                                           std::max(label->indent(), 0) + 2 * label->margin());
            if (needed.width() > room.width() || needed.height() > room.height()) {
                problems << QStringLiteral("%1: text \"%2\" needs %3x%4, has %5x%6")
                                .arg(Describe(label), caption)
                                .arg(needed.width()).arg(needed.height())
                                .arg(room.width()).arg(room.height());
            }
            continue;
        }
        // Buttons, check boxes, radio buttons and group boxes: the style's own size for the
        // caption (indicator, margins and all) against the size the control was given.
        const QSize hint = widget->minimumSizeHint().expandedTo(
            qobject_cast<const QGroupBox*>(widget) != nullptr ? QSize() : widget->sizeHint());
        if (hint.width() > widget->width() || hint.height() > widget->height()) {
            problems << QStringLiteral("%1: caption \"%2\" needs %3x%4, has %5x%6")
                            .arg(Describe(widget), caption)
                            .arg(hint.width()).arg(hint.height())
                            .arg(widget->width()).arg(widget->height());
        }
        // And its text where the style draws it, measured as drawn.
        const auto* button = qobject_cast<const QAbstractButton*>(widget);
        if (button != nullptr && button->icon().isNull()) {
            const int drawn = DrawnWidth(button->font(), caption);
            if (const QRect room = CaptionRoom(button); drawn > room.width()) {
                problems << QStringLiteral("%1: text \"%2\" needs %3 px, has %4")
                                .arg(Describe(widget), caption).arg(drawn).arg(room.width());
            }
        }
    }
    for (int i = 0; i < controls.size(); ++i) {
        for (int j = i + 1; j < controls.size(); ++j) {
            QWidget* a = controls[i];
            QWidget* b = controls[j];
            if (a->isAncestorOf(b) || b->isAncestorOf(a)) continue;
            if (a->property(kMayOverlap).toBool() || b->property(kMayOverlap).toBool()) continue;
            const QRect ra(a->mapTo(root, QPoint(0, 0)), a->size());
            const QRect rb(b->mapTo(root, QPoint(0, 0)), b->size());
            if (ra.intersects(rb)) {
                problems << QStringLiteral("%1 overlaps %2").arg(Describe(a), Describe(b));
            }
        }
    }
    return problems;
}

// Lengthens every caption inside root by `share` (0.4: 40% longer), the way a longer
// translation would, keeping mnemonics and the first words so tests can still find controls.
inline void LengthenCaptions(QWidget* root, double share) {
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* widget : widgets) {
        const QString caption = CaptionOf(widget);
        if (caption.isEmpty() || Qt::mightBeRichText(caption)) continue;
        const int extra = static_cast<int>(caption.size() * share + 0.999);
        QString padding;
        padding.reserve(extra);
        for (int i = 0; i < extra; ++i) padding.append(i % 5 == 4 ? QChar(' ') : QChar(u'\u00c9'));
        const QString longer = caption + padding;
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            label->setText(longer);
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            button->setText(longer);
        } else if (auto* box = qobject_cast<QGroupBox*>(widget)) {
            box->setTitle(longer);
        }
    }
    QApplication::processEvents();
}

}  // namespace brindle::app::test
