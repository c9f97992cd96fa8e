#include "shell/navigation.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "join/frm_join.h"
#include "shell/job_runner.h"
#include "rename/frm_rename.h"
#include "split/frm_split.h"
#include "split/split_pages.h"

namespace brindle::app {

bool ReplaceWindow(QWidget* current, QWidget* next, const std::function<void()>& afterPlace) {
    if (!MayLeaveWindow(current)) {
        delete next;
        return false;
    }
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
    return true;
}

QWidget* OpenJobWindow(int index, QWidget* from) {
    switch (index) {
        case 0: {
            auto* page = new frmSplit;
            return ReplaceWindow(from, page, [page] { RestoreSplitPage1(*page); }) ? page : nullptr;
        }
        case 1: {
            auto* page = new frmJoin;
            return ReplaceWindow(from, page) ? page : nullptr;
        }
        case 2: {
            auto* list = new frmRename;
            return ReplaceWindow(from, list) ? list : nullptr;
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
