#include "shell/navigation.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "join/frm_join.h"
#include "rename/frm_rename.h"
#include "split/frm_split.h"
#include "split/split_pages.h"

namespace brindle::app {

void ReplaceWindow(QWidget* current, QWidget* next, const std::function<void()>& afterPlace) {
    next->move(current->pos());
    if (afterPlace) {
        afterPlace();
    }
    next->show();
    next->activateWindow();
    // The window's own first control keeps the focus the window set up for it.
    if (QWidget* inside = next->focusWidget(); inside != nullptr && inside != next) {
        inside->setFocus();
    } else {
        next->setFocus();
    }
    current->close();
}

QWidget* OpenJobWindow(int index, QWidget* from) {
    switch (index) {
        case 0: {
            auto* page = new frmSplit;
            ReplaceWindow(from, page, [page] { RestoreSplitPage1(*page); });
            return page;
        }
        case 1: {
            auto* page = new frmJoin;
            ReplaceWindow(from, page);
            return page;
        }
        case 2: {
            auto* list = new frmRename;
            ReplaceWindow(from, list);
            return list;
        }
        default:
            return nullptr;
    }
}

void CentreOnScreen(QWidget* window) {
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = window->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
}

}  // namespace brindle::app
