#pragma once

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QList>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <functional>
#include <utility>

#include "shell/chrome_window.h"
#include "shell/progress.h"

namespace brindle::app::test {

// A bar nobody watches, for the engine calls that set a test up.
struct QuietProgress final : Progress {
    int value = 0;
    int Max() const override { return 10000; }
    int Value() const override { return value; }
    void SetValue(int v) override { value = v; }
};

// The program's windows that are open now (each top-level window's page); deferred
// deletions are run first.
inline QList<QWidget*> OpenWindows() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QList<QWidget*> open;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (ChromeWindow* page = ChromeWindow::PageIn(widget); page != nullptr && page->isVisible()) {
            open.append(page);
        }
    }
    return open;
}

// Calls `then` each time `watched` receives an event of `type`, while it lives.
class OnEvent final : public QObject {
public:
    OnEvent(QObject* watched, QEvent::Type type, std::function<void()> then)
        : type_(type), then_(std::move(then)) {
        watched->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == type_) {
            then_();
        }
        return false;
    }

private:
    QEvent::Type type_;
    std::function<void()> then_;
};

// The job values of the window a page is shown in.
inline JobValues& ValuesIn(QWidget* page) {
    return qobject_cast<ChromeWindow*>(page)->Values();
}

// Where a page's top-level window is on the screen, and moving it there.
inline QPoint WindowPos(const QWidget* page) {
    return page->window()->pos();
}

// Where a window that was at `was` stands after growing: there, unless that leaves part of
// it past its screen's edge; then moved left and up just far enough.
inline QPoint KeptOnScreen(QPoint was, const QWidget* page) {
    const QWidget* top = page->window();
    const QRect room = top->screen()->availableGeometry();
    const QSize size = top->frameGeometry().size();
    const QPoint frame = was - (top->pos() - top->frameGeometry().topLeft());
    return was + QPoint(std::max(room.x(), std::min(frame.x(), room.x() + room.width() - size.width())),
                        std::max(room.y(), std::min(frame.y(), room.y() + room.height() - size.height()))) -
           frame;
}

inline void MoveWindow(QWidget* page, QPoint to) {
    page->window()->move(to);
}

inline void CloseAllWindows() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (ChromeWindow* page = ChromeWindow::PageIn(widget)) {
            page->close();  // deletes on close, hidden ones included
        }
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

inline void SendMouse(QWidget* target, QEvent::Type type, QPoint local, Qt::MouseButton button,
                      Qt::MouseButtons held) {
    QMouseEvent event(type, QPointF(local), QPointF(target->mapToGlobal(local)), button, held,
                      Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

inline void Hover(QWidget* target) {
    SendMouse(target, QEvent::MouseMove, target->rect().center(), Qt::NoButton, Qt::NoButton);
}

inline void Click(QWidget* target, Qt::MouseButton button = Qt::LeftButton) {
    const QPoint centre = target->rect().center();
    SendMouse(target, QEvent::MouseButtonPress, centre, button, button);
    SendMouse(target, QEvent::MouseButtonRelease, centre, button, Qt::NoButton);
}

// Drags `urls` from a file manager onto `target` and drops them there, as Qt delivers it.
// True when the target took the drop; false when it refused the drag.
inline bool DropUrls(QWidget* target, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    const QPoint at = target->rect().center();
    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    QDragEnterEvent enter(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) {
        return false;
    }
    QDropEvent drop(QPointF(at), actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

inline QUrl FileUrl(const QString& path) {
    return QUrl::fromLocalFile(path);
}

}  // namespace brindle::app::test
