#include "shell/navigation.h"

#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <utility>

#include "join/frm_join.h"
#include "shell/chrome_window.h"
#include "shell/job_runner.h"
#include "shell/prompter.h"
#include "rename/frm_rename.h"
#include "split/frm_split.h"
#include "split/split_pages.h"

namespace brindle::app {

bool ReplaceWindow(QWidget* current, QWidget* next, const std::function<void()>& afterPlace) {
    // The dialog returns to this page: it stays until the dialog is answered.
    if (ShowsDialog(current) || !MayLeaveWindow(current)) {
        delete next;
        return false;
    }
    // The page changes inside the window, which stays where it is on every platform, even
    // where the program cannot place windows (Wayland).
    auto* from = qobject_cast<ChromeWindow*>(current);
    auto* to = qobject_cast<ChromeWindow*>(next);
    if (from == nullptr || to == nullptr || !from->HandOver(*to)) {
        next->window()->move(current->window()->pos());
    }
    if (afterPlace) {
        afterPlace();
    }
    ShowWithFocus(next);
    current->close();
    return true;
}

void ShowWithFocus(QWidget* next) {
    next->show();
    next->activateWindow();
    // The window's own first control keeps the focus the window set up for it.
    if (QWidget* inside = next->focusWidget(); inside != nullptr && inside != next) {
        inside->setFocus();
    } else {
        next->setFocus();
    }
}

QWidget* OpenJobWindow(int index, QWidget* from) {
    // The window keeps its own values from job to job.
    const auto* fromPage = qobject_cast<const ChromeWindow*>(from);
    JobValuesPtr values = fromPage != nullptr ? fromPage->ValuesToHandOn() : nullptr;
    switch (index) {
        case 0: {
            auto* page = new frmSplit(std::move(values));
            return ReplaceWindow(from, page, [page] { RestoreSplitPage1(*page); }) ? page : nullptr;
        }
        case 1: {
            auto* page = new frmJoin(std::move(values));
            return ReplaceWindow(from, page) ? page : nullptr;
        }
        case 2: {
            auto* list = new frmRename(std::move(values));
            return ReplaceWindow(from, list) ? list : nullptr;
        }
        default:
            return nullptr;
    }
}

QPoint PlaceBeside(const QRect& anchor, QSize size, const QRect& room, int gap) {
    // QRect's right() and bottom() are the last pixels inside, so room ends at right() + 1.
    const int roomEnd = room.x() + room.width();
    const int roomBottom = room.y() + room.height();
    int x = 0;
    if (anchor.x() + anchor.width() + gap + size.width() <= roomEnd) {
        x = anchor.x() + anchor.width() + gap;
    } else if (anchor.x() - gap - size.width() >= room.x()) {
        x = anchor.x() - gap - size.width();
    } else if (roomEnd - (anchor.x() + anchor.width()) >= anchor.x() - room.x()) {
        x = std::max(room.x(), roomEnd - size.width());
    } else {
        x = room.x();
    }
    const int y = std::max(room.y(), std::min(anchor.y(), roomBottom - size.height()));
    return {x, y};
}

void CentreOnScreen(QWidget* window) {
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QWidget* top = window->window();
        // Its real size, not the default a window has before its layout first runs.
        if (QLayout* layout = top->layout()) {
            layout->activate();
        }
        QRect frame = top->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        top->move(frame.topLeft());
    }
}

void KeepOnScreen(QWidget* window) {
    QWidget* top = window->window();
    const QScreen* screen = top->screen();
    if (screen == nullptr || QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        return;  // Wayland lets no program place its windows
    }
    if (QLayout* layout = top->layout()) {
        layout->activate();
    }
    const QRect frame = top->frameGeometry();
    const QRect room = screen->availableGeometry();
    // Left and up no more than it must; one larger than the room starts at its left or top.
    const QPoint at(std::max(room.x(), std::min(frame.x(), room.x() + room.width() - frame.width())),
                    std::max(room.y(), std::min(frame.y(), room.y() + room.height() - frame.height())));
    if (at != frame.topLeft()) {
        top->move(top->pos() + at - frame.topLeft());
    }
}

}  // namespace brindle::app
