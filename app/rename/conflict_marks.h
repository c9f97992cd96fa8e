#pragma once

#include <QColor>
#include <QIcon>
#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "rename/rename_plan.h"
#include "rename/rename_row.h"

class QPalette;
class QTreeWidgetItem;
class QWidget;

namespace brindle::app {

// Red as far toward the palette's text as 4.5:1 against its base needs, for light and dark
// palettes alike.
QColor ErrorText(const QPalette& palette);

// Why each conflicting row's new name cannot be given, by the row's key.
using ConflictReasons = std::unordered_map<std::string, QString>;

ConflictReasons ReasonsByKey(std::span<const RenameRow> rows, const std::vector<RenameConflict>& conflicts);

// What a marked row shows, as the view's style and palette have it; taken once for many rows.
struct ConflictLook {
    explicit ConflictLook(const QWidget* view);
    QIcon icon;
    QColor text;
};

// Marks a row's New File Name as one that cannot be given (`reason` empty: unmarks it): a
// warning icon, the reason as tool tip and accessible description, the name in ErrorText.
void MarkConflict(QTreeWidgetItem* item, const QString& reason, const ConflictLook& look);

// Plans the list's renames off the interface thread, a later plan stopping and replacing one
// under way.
class ConflictPlanner final : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~ConflictPlanner() override;
    void Plan(std::vector<RenameRow> rows);
    // Stops the plan under way and drops its result.
    void Cancel();
    // A plan is under way; its result will be told by `planned`.
    bool Busy() const { return running_ > 0; }
    // The reasons of the plan last told by `planned`, once.
    ConflictReasons TakeReasons() { return std::move(reasons_); }

signals:
    // The rows last given to Plan are planned; TakeReasons has their conflicts.
    void planned();

private:
    std::uint64_t generation_ = 0;  // of the last plan begun
    int running_ = 0;
    ConflictReasons reasons_;
    // The plan whose result is wanted, 0 for none; the workers read it to know to stop.
    std::shared_ptr<std::atomic<std::uint64_t>> latest_ = std::make_shared<std::atomic<std::uint64_t>>(0);
};

}  // namespace brindle::app
