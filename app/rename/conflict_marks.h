#pragma once

#include <QColor>
#include <QObject>
#include <QString>
#include <cstdint>
#include <vector>

#include "rename/rename_plan.h"
#include "rename/rename_row.h"

class QPalette;
class QTreeWidgetItem;

namespace brindle::app {

// Red as far toward the palette's text as 4.5:1 against its base needs, for light and dark
// palettes alike.
QColor ErrorText(const QPalette& palette);

// Marks a row's New File Name as one that cannot be given (`reason` empty: unmarks it): a
// warning icon, the reason as tool tip and accessible description, the name in ErrorText.
void MarkConflict(QTreeWidgetItem* item, const QString& reason);

// Plans the list's renames off the interface thread, a later plan replacing one under way.
class ConflictPlanner final : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    void Plan(std::vector<RenameRow> rows);
    // A plan is under way; its result will be told by `planned`.
    bool Busy() const { return running_ > 0; }

signals:
    // The conflicts of the rows last given to Plan, by row.
    void planned(const std::vector<brindle::RenameConflict>& conflicts);

private:
    std::uint64_t generation_ = 0;
    int running_ = 0;
};

}  // namespace brindle::app
