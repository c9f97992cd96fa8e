#pragma once

#include <QFrame>
#include <QLabel>
#include <QString>
#include <array>
#include <functional>

class QLineEdit;

namespace brindle::app {

// An item label of the rule editor's strip: the left button drags it; Left and Right move
// it a slot for keyboard users.
class ItemLabel final : public QLabel {
    Q_OBJECT
public:
    // `item` is the rule's key ("FileName"); the label shows its translation.
    ItemLabel(const QString& item, QWidget* parent, std::function<void(int)> moveByKey);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString item_;
    std::function<void(int)> moveByKey_;
};

// The strip takes the drops, also those aimed at a label: labels accept none, so Qt hands
// the drop to the strip at the same point, which is the label's left plus the point within.
// `drop` gets the item and the x of the drop in pixels from the strip's left.
// The strip keeps its proportions in twips at 15 twips a pixel, or as many pixels more as
// its labels' captions need, so a larger font or a longer caption widens the whole strip.
class ItemStrip final : public QFrame {
    Q_OBJECT
public:
    ItemStrip(QWidget* parent, std::function<void(const QString&, double)> drop);

    // Centres `label` in `slot`; a slot below 0 hides it.
    void Place(QLabel* label, int slot);
    double PixelsPerTwip() const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void scaled();

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void Arrange();
    int LabelHeight() const;

    std::function<void(const QString&, double)> drop_;
    std::array<QFrame*, 4> dividers_{};
};

// The separator boxes, each under the divider between the two slots it separates.
class SeparatorRow final : public QWidget {
    Q_OBJECT
public:
    SeparatorRow(ItemStrip* strip, const std::array<QLineEdit*, 4>& boxes, QWidget* parent);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Arrange();

    ItemStrip* strip_;
    std::array<QLineEdit*, 4> boxes_;
};

}  // namespace brindle::app
