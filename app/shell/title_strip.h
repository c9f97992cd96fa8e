#pragma once

#include <QPoint>
#include <QString>
#include <QWidget>

namespace brindle::app {

// The drawn title bar of a borderless window; the left button drags the window.
class TitleStrip : public QWidget {
    Q_OBJECT
public:
    TitleStrip(const QString& subtitle, QWidget* parent);
    void SetSubtitle(const QString& subtitle);
    // The strip's pictures line up at its right end, in the order added.
    void AddImage(QWidget* image);
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QFont TitleFont() const;

    QString subtitle_;
    // Set when the platform cannot move the window itself (no window manager, offscreen).
    bool dragging_ = false;
    QPoint grabOffset_;
};

}  // namespace brindle::app
