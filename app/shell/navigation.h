#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <functional>

class QWidget;

namespace brindle::app {

// Every move between windows: next takes current's place in its top-level window (which
// stays where it is), afterPlace runs (a page restore), next is shown with the focus on its
// first control, and current is closed (which deletes it).
// When current has a job running, the user is asked first whether to stop it; on No, next
// is discarded, current stays, and the result is false. So too, without a question, while a
// dialog current opened runs.
bool ReplaceWindow(QWidget* current, QWidget* next, const std::function<void()>& afterPlace = {});

// Shows a window, activates it and leaves the focus on the control inside it that the window
// chose (its first one), never on the window itself.
void ShowWithFocus(QWidget* next);

// Creates a job's first window: 0 the split wizard (restored from the saved state),
// 1 the join wizard, 2 the rename list; then replaces from with it. Returns the new window,
// or nullptr when the user chose to stay.
QWidget* OpenJobWindow(int index, QWidget* from);

// Where a window of `size` opens beside `anchor` within `room` (the screen's available area),
// `gap` pixels apart: to its right when that fits, else to its left, else pushed against the
// screen's edge on the roomier side; always wholly inside `room` where it fits at all, its top
// level with the anchor's as far as the screen allows.
QPoint PlaceBeside(const QRect& anchor, QSize size, const QRect& room, int gap);

// Centres a window that opens without a window to take the place of.
void CentreOnScreen(QWidget* window);
// Moves a window that grew past its screen's edge back onto it, as little as it must.
void KeepOnScreen(QWidget* window);

}  // namespace brindle::app
