#pragma once

#include <QList>
#include <QStringList>
#include <functional>

class QListWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace brindle::app {

// Adds many rows to a list a few thousand at a time, letting the window repaint and answer
// between batches, then calls `done`. A fill stops, and adds nothing more, once `wanted`
// says false (a newer listing took over) or the list is gone.
// `makeRow` makes row `index` of `count` when its batch comes.
void AddInBatches(QTreeWidget* list, qsizetype count, std::function<QTreeWidgetItem*(qsizetype)> makeRow,
                  std::function<bool()> wanted, std::function<void()> done);
void AddInBatches(QListWidget* list, QStringList names, std::function<bool()> wanted,
                  std::function<void()> done);

}  // namespace brindle::app
