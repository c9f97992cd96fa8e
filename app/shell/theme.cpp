#include "shell/theme.h"

#include <QApplication>
#include <QStyleOption>
#include <QVariant>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <optional>

namespace brindle::app {
namespace {

const char* const kToneProperty = "brindleTone";

double Channel(double c) {
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double Luminance(const QColor& colour) {
    const QColor c = colour.toRgb();
    return 0.2126 * Channel(c.redF()) + 0.7152 * Channel(c.greenF()) +
           0.0722 * Channel(c.blueF());
}

// Deep forms for light surfaces, bright forms for dark ones.
const QColor kAccentsOnLight[3] = {QColor(0x0f, 0x76, 0x6e), QColor(0x43, 0x38, 0xca),
                                   QColor(0xb4, 0x53, 0x09)};
const QColor kAccentsOnDark[3] = {QColor(0x2d, 0xd4, 0xbf), QColor(0x81, 0x8c, 0xf8),
                                  QColor(0xfb, 0xbf, 0x24)};

void Apply(QWidget* widget, Tone tone, const QPalette& from) {
    QPalette palette = widget->palette();
    switch (tone) {
        case Tone::Muted: {
            const QColor muted = MutedText(from);
            // Disabled text keeps the palette's own disabled colour.
            for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
                palette.setColor(group, QPalette::WindowText, muted);
                palette.setColor(group, QPalette::Text, muted);
            }
            break;
        }
        case Tone::Panel:
            palette.setBrush(QPalette::Window, from.base());
            palette.setBrush(QPalette::WindowText, from.text());
            widget->setAutoFillBackground(true);
            break;
        case Tone::Divider:
            palette.setColor(QPalette::Window, DeriveChrome(from).divider);
            widget->setAutoFillBackground(true);
            break;
        case Tone::CheckList: {
            const QColor behind = IsDark(from) ? Mix(from.color(QPalette::Base),
                                                     from.color(QPalette::Text), 0.7)
                                               : from.color(QPalette::Window);
            palette.setColor(QPalette::Window, behind);
            break;
        }
        case Tone::Selection:
            for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
                palette.setColor(group, QPalette::Highlight, ReadableHighlight(from, group));
            }
            break;
    }
    widget->setPalette(palette);
}

// Fusion draws an outline as the window colour darkened by 140 (and some 10% lighter again
// around indicators); this window colour makes that outline ControlOutline's, with room for
// the lighter form.
QColor FusionWindowFor(const QPalette& palette) {
    return ControlOutline(palette).lighter(140);
}

// Fusion rings a focused control in the highlight darkened by 125, no lighter than 160; this
// highlight, moved toward the text as far as needed, makes that ring read at 3:1 and more.
QColor FusionFocusFor(const QPalette& palette) {
    const QColor highlight = palette.color(QPalette::Highlight);
    const QColor window = palette.color(QPalette::Window);
    const auto ring = [](const QColor& from) {
        QColor drawn = from.darker(125);
        if (drawn.value() > 160) {
            drawn.setHsl(drawn.hue(), drawn.saturation(), 160);
        }
        return drawn;
    };
    QColor focus = highlight;
    for (int step = 1; step <= 20 && ContrastRatio(ring(focus), window) < 3.5; ++step) {
        focus = Mix(highlight, palette.color(QPalette::WindowText), step * 0.05);
    }
    return focus;
}

// Gives an option the window and highlight colours of readable outlines for one drawing, then its own back.
// The option is changed in place, not copied: a copy of its base part would lose the kind
// (button, combo box ...) that the style reads from it. Each caller made its option itself.
class ReadableOutline {
public:
    explicit ReadableOutline(const QStyleOption* option)
        // A part drawn inside a control (a combo box's frame) has the control's colours
        // already: a second change would derive from the changed window.
        : option_(inside_ ? nullptr : const_cast<QStyleOption*>(option)), saved_(option->palette) {
        if (option_ == nullptr) {
            return;
        }
        inside_ = true;
        for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            QPalette one = saved_;
            one.setCurrentColorGroup(group);
            option_->palette.setColor(group, QPalette::Window, FusionWindowFor(one));
            option_->palette.setColor(group, QPalette::Highlight, FusionFocusFor(one));
        }
    }
    ~ReadableOutline() {
        if (option_ != nullptr) {
            option_->palette = saved_;
            inside_ = false;
        }
    }
    ReadableOutline(const ReadableOutline&) = delete;
    ReadableOutline& operator=(const ReadableOutline&) = delete;

private:
    static inline thread_local bool inside_ = false;
    QStyleOption* option_;
    QPalette saved_;
};

bool HasOutline(QStyle::PrimitiveElement element) {
    switch (element) {
        case QStyle::PE_IndicatorCheckBox:
        case QStyle::PE_IndicatorRadioButton:
        case QStyle::PE_IndicatorItemViewItemCheck:
        case QStyle::PE_PanelLineEdit:
        case QStyle::PE_FrameLineEdit:
        case QStyle::PE_PanelButtonCommand:
        case QStyle::PE_PanelButtonTool:
        case QStyle::PE_FrameGroupBox:
        case QStyle::PE_Frame:
            return true;
        default:
            return false;
    }
}

QPalette SourcePalette(const QWidget* widget) {
    const QWidget* parent = widget->parentWidget();
    return parent != nullptr && !widget->isWindow() ? parent->palette() : QApplication::palette(widget);
}

}  // namespace

double ContrastRatio(const QColor& a, const QColor& b) {
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

bool IsDark(const QPalette& palette) {
    return Luminance(palette.color(QPalette::Window)) < Luminance(palette.color(QPalette::WindowText));
}

QColor Mix(const QColor& from, const QColor& to, double amount) {
    const QColor a = from.toRgb();
    const QColor b = to.toRgb();
    const auto mix = [amount](double x, double y) { return x + (y - x) * amount; };
    return QColor::fromRgbF(static_cast<float>(mix(a.redF(), b.redF())),
                            static_cast<float>(mix(a.greenF(), b.greenF())),
                            static_cast<float>(mix(a.blueF(), b.blueF())));
}

ChromeColours DeriveChrome(const QPalette& palette) {
    const QColor window = palette.color(QPalette::Window);
    const QColor ink = palette.color(QPalette::WindowText);
    return {window, Mix(window, ink, 0.05), Mix(window, ink, 0.16), Mix(window, ink, 0.4)};
}

QColor MutedText(const QPalette& palette) {
    const ChromeColours chrome = DeriveChrome(palette);
    const QColor ink = palette.color(QPalette::WindowText);
    const QColor behind[3] = {chrome.surface, chrome.footer, palette.color(QPalette::Base)};
    QColor muted = ink;
    // A little above 4.5:1, so rounding to 8-bit channels never falls below it.
    for (int step = 1; step <= 8; ++step) {
        const QColor next = Mix(ink, chrome.surface, step * 0.05);
        if (std::any_of(std::begin(behind), std::end(behind),
                        [&](const QColor& b) { return ContrastRatio(next, b) < 4.7; })) {
            break;
        }
        muted = next;
    }
    return muted;
}

QColor ControlOutline(const QPalette& palette) {
    const QColor window = palette.color(QPalette::Window);
    const QColor base = palette.color(QPalette::Base);
    const QColor ink = palette.color(QPalette::WindowText);
    // Well above 3:1: a round indicator's thin ring is drawn smoothed, its pixels part
    // outline and part background.
    QColor outline = ink;
    for (int step = 1; step <= 20; ++step) {
        const QColor next = Mix(ink, window, step * 0.05);
        if (ContrastRatio(next, window) < 4.5 || ContrastRatio(next, base) < 4.5) {
            break;
        }
        outline = next;
    }
    return outline;
}

ReadableStyle::ReadableStyle(const QString& baseKey)
    : QProxyStyle(baseKey), fusion_(baseStyle()->name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) == 0) {}

void ReadableStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                  QPainter* painter, const QWidget* widget) const {
    std::optional<ReadableOutline> readable;
    if (fusion_ && option != nullptr && HasOutline(element)) {
        readable.emplace(option);
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

void ReadableStyle::drawControl(ControlElement element, const QStyleOption* option,
                                QPainter* painter, const QWidget* widget) const {
    std::optional<ReadableOutline> readable;
    if (fusion_ && option != nullptr && element == CE_ProgressBarGroove) {
        readable.emplace(option);
    }
    QProxyStyle::drawControl(element, option, painter, widget);
}

void ReadableStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                       QPainter* painter, const QWidget* widget) const {
    // A combo box and a spin box draw their frames inside, from their own options.
    std::optional<ReadableOutline> readable;
    if (fusion_ && option != nullptr && (control == CC_ComboBox || control == CC_SpinBox)) {
        readable.emplace(option);
    }
    QProxyStyle::drawComplexControl(control, option, painter, widget);
}

void UseReadableStyle() {
    if (qobject_cast<ReadableStyle*>(QApplication::style()) == nullptr) {
        QApplication::setStyle(new ReadableStyle(QApplication::style()->name()));
    }
}

QColor JobAccent(int job, const QPalette& palette) {
    const int index = std::clamp(job, 0, 2);
    return IsDark(palette) ? kAccentsOnDark[index] : kAccentsOnLight[index];
}

QColor ReadableHighlight(const QPalette& palette, QPalette::ColorGroup group) {
    const QColor highlight = palette.color(group, QPalette::Highlight);
    const QColor text = palette.color(group, QPalette::HighlightedText);
    // Away from the text: darker under light text, lighter under dark text.
    const QColor away = Luminance(text) > 0.5 ? QColor(Qt::black) : QColor(Qt::white);
    QColor readable = highlight;
    for (int step = 1; step <= 20 && ContrastRatio(readable, text) < 4.7; ++step) {
        readable = Mix(highlight, away, step * 0.05);
    }
    return readable;
}

void SetTone(QWidget* widget, Tone tone) {
    widget->setProperty(kToneProperty, static_cast<int>(tone));
    Apply(widget, tone, SourcePalette(widget));
}

void RefreshTones(QWidget* root) {
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* widget : widgets) {
        const QVariant tone = widget->property(kToneProperty);
        if (tone.isValid()) {
            Apply(widget, static_cast<Tone>(tone.toInt()), SourcePalette(widget));
        }
    }
}

}  // namespace brindle::app
