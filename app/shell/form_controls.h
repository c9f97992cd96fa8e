#pragma once

#include <QLabel>
#include <QString>
#include <initializer_list>

class QFont;
class QHBoxLayout;
class QLineEdit;
class QPushButton;
class QToolButton;
class QWidget;

// The controls of the job windows, in the look they share with the main window.
namespace brindle::app {

// A label that asks for the room its text covers as drawn: a glyph can reach past its
// advance, which is all a QLabel asks for, and is cut at the label's edge.
class InkLabel : public QLabel {
public:
    using QLabel::QLabel;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

private:
    int InkOverhang() const;
};

QLabel* MakeCaption(const QString& text, const QString& name, QWidget* parent);
QLabel* MakeHeading(const QString& text, const QString& name, QWidget* parent);
// A text box named after its caption for screen readers; the caption's mnemonic focuses it.
QLineEdit* MakeTextBox(const QString& name, QLabel* caption, QWidget* parent);
// The picture button "cmdBrowse" beside a path box; `tip` is its tool tip and accessible name.
QToolButton* MakeBrowseButton(const QString& tip, QWidget* parent);
// A path box and its browse button side by side, `gap` pixels apart, of one height.
QHBoxLayout* PathRow(QLineEdit* box, QToolButton* browse, int gap);
QPushButton* MakeButton(const QString& caption, const QString& name, QWidget* parent);
// The user's decimal separator for reading and showing numbers; "." where it is not one
// ASCII character.
char LocaleDecimalSeparator();
// The same face, `factor` times as large, whether its size is in points or pixels.
QFont ScaledFont(const QFont& font, double factor);
// The widget is never smaller than `least` (0: no floor that way) nor than its text and font
// ask for, also after a font, style or caption change; a plain minimum size would cap it.
void SetLeastSize(QWidget* widget, QSize least);
// Tab visits the widgets in the order given.
void SetTabChain(std::initializer_list<QWidget*> widgets);

}  // namespace brindle::app
