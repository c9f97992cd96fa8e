#pragma once

#include <QPixmap>
#include <QWidget>

namespace brindle::app {

// A clickable picture. Unlike QLabel it draws a disabled picture as it is, so a current
// navigation button keeps its colours.
class ImageControl : public QWidget {
    Q_OBJECT
public:
    explicit ImageControl(QWidget* parent = nullptr);

    const QPixmap& pixmap() const { return pixmap_; }
    void setPixmap(const QPixmap& pixmap);
    // Drawn instead while the pointer is over the control; pixmap() is unaffected.
    void setHoverPixmap(const QPixmap& pixmap);

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

private:
    QPixmap pixmap_;
    QPixmap hoverPixmap_;
    bool pressed_ = false;
};

}  // namespace brindle::app
