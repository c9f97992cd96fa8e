#pragma once

#include <QColor>
#include <QPixmap>
#include <QWidget>

namespace brindle::app {

// A clickable picture. Unlike QLabel it draws a disabled picture as it is, so a current
// navigation button keeps its colours. It is a button to the keyboard (Tab reaches it, Enter
// or Space clicks it) and to assistive technology (named by its accessible name, else its
// tool tip).
class ImageControl : public QWidget {
    Q_OBJECT
public:
    explicit ImageControl(QWidget* parent = nullptr);

    const QPixmap& pixmap() const { return pixmap_; }
    void setPixmap(const QPixmap& pixmap);
    // Drawn instead while the pointer is over the control; pixmap() is unaffected.
    void setHoverPixmap(const QPixmap& pixmap);
    // The colour of the ring drawn while the control has the keyboard focus.
    void setFocusColour(const QColor& colour);
    // The ring takes the job's accent (0 split, 1 merge, 2 rename) for the current palette.
    void setFocusJob(int job);

    // Call once before the first window: gives every ImageControl its button interface.
    static void InstallAccessibility();

signals:
    void clicked();
    void pointerMoved();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QPixmap pixmap_;
    QPixmap hoverPixmap_;
    QColor focusColour_;
    int focusJob_ = -1;
    bool pressed_ = false;
};

}  // namespace brindle::app
