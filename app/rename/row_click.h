#pragma once

class QTreeWidget;

namespace brindle::app {

// A click anywhere on a row reverses its check mark. A click on the check box itself is
// left to the view, which already reversed it, so it is not undone by a second toggle.
void ToggleCheckOnRowClick(QTreeWidget* view);

}  // namespace brindle::app
