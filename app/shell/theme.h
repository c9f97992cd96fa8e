#pragma once

#include <QColor>
#include <QPalette>
#include <QProxyStyle>

class QWidget;

// The program's colours, all derived from the desktop's palette so that a light and a dark
// style both read well. Only the title strip and the job accents are fixed, each with a
// form for light and for dark palettes.
namespace brindle::app {

// The contrast ratio of two colours as the accessibility guidelines measure it: 1 to 21.
double ContrastRatio(const QColor& a, const QColor& b);
bool IsDark(const QPalette& palette);
// `from` moved toward `to` by `amount` (0 to 1).
QColor Mix(const QColor& from, const QColor& to, double amount);

// The window's surface, the band behind its bottom buttons, dividers and the window's edge.
struct ChromeColours {
    QColor surface;
    QColor footer;
    QColor divider;
    QColor edge;
};
ChromeColours DeriveChrome(const QPalette& palette);

// Secondary text: the palette's text toned toward the background only as far as 4.5:1
// against the surface, the footer band and the base allows.
QColor MutedText(const QPalette& palette);

// The colour of a job (0 split, 1 merge, 2 rename) for rings and marks, at 3:1 or more
// against the surface.
QColor JobAccent(int job, const QPalette& palette);

// The palette's highlight, moved away from the highlighted text until the two read at 4.5:1.
QColor ReadableHighlight(const QPalette& palette, QPalette::ColorGroup group);

// The outline of a control (check box, radio button, text box, button, progress bar): the
// window's text moved toward the window's colour as far as 4.5:1 against the window and the
// base allows, whichever palette the desktop gives; thin or smoothed rings stay above 3:1.
QColor ControlOutline(const QPalette& palette);

// The desktop's style, with every control's outline drawn in ControlOutline. Fusion derives
// outlines from the window colour, which under a black or white window leaves them as dark
// or as light as the window itself; other styles draw their own, and are left alone.
class ReadableStyle : public QProxyStyle {
    Q_OBJECT
public:
    explicit ReadableStyle(const QString& baseKey);

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                            QPainter* painter, const QWidget* widget = nullptr) const override;

private:
    bool fusion_;
};

// Puts the application's style under ReadableStyle once.
void UseReadableStyle();

// How a widget takes its colours from its window's palette; set once, kept in step when
// the palette changes (ChromeWindow calls RefreshTones for itself and its children).
enum class Tone {
    Muted,    // secondary text
    Panel,    // a filled area in the base colour, with the palette's text
    Divider,  // a thin line
    // A window or dialog whose selections (list rows, selected text) keep the palette's
    // highlight, darkened or lightened as far as 4.5:1 with the highlighted text needs.
    Selection,
    // A list with check boxes: under a dark palette the boxes get an outline that stands out
    // from the base (the style draws it from the window colour, nearly the base's there).
    CheckList,
};
void SetTone(QWidget* widget, Tone tone);
void RefreshTones(QWidget* root);

}  // namespace brindle::app
