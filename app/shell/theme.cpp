#include "shell/theme.h"

#include <QApplication>
#include <QVariant>
#include <QWidget>
#include <algorithm>
#include <cmath>

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
