#pragma once

#include <QFrame>
#include <QLabel>
#include <QString>
#include <functional>

namespace brindle::app {

// An item label of the rule editor's strip: the left button drags it; Left and Right move
// it a slot for keyboard users.
class ItemLabel final : public QLabel {
    Q_OBJECT
public:
    ItemLabel(const QString& item, QWidget* parent, std::function<void(int)> moveByKey);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::function<void(int)> moveByKey_;
};

// The strip takes the drops, also those aimed at a label: labels accept none, so Qt hands
// the drop to the strip at the same point, which is the label's left plus the point within.
// `drop` gets the item and the x of the drop in pixels from the strip's left.
class ItemStrip final : public QFrame {
    Q_OBJECT
public:
    ItemStrip(QWidget* parent, std::function<void(const QString&, double)> drop);

protected:
    void paintEvent(QPaintEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    std::function<void(const QString&, double)> drop_;
};

}  // namespace brindle::app
