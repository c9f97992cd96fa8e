#pragma once

#include <QColor>
#include <QPalette>

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
