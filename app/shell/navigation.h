#pragma once

#include <functional>

class QWidget;

namespace brindle::app {

// Every move between windows: place next at current's screen position, run afterPlace
// (a page restore), show next, give it the focus, close current (which deletes it).
// When current has a job running, the user is asked first whether to stop it; on No, next
// is discarded, current stays, and the result is false.
bool ReplaceWindow(QWidget* current, QWidget* next, const std::function<void()>& afterPlace = {});

// Creates a job's first window: 0 the split wizard (restored from the saved state),
// 1 the join wizard, 2 the rename list; then replaces from with it. Returns the new window,
// or nullptr when the user chose to stay.
QWidget* OpenJobWindow(int index, QWidget* from);

// Centres a window that opens without a window to take the place of.
void CentreOnScreen(QWidget* window);

}  // namespace brindle::app
