#include "rename/conflict_marks.h"

#include <QApplication>
#include <QFutureWatcher>
#include <QPalette>
#include <QStyle>
#include <QTreeWidgetItem>
#include <QtConcurrent/QtConcurrentRun>

#include "shell/theme.h"

namespace brindle::app {
namespace {

constexpr int kNewName = 1;  // the New File Name column

}  // namespace

QColor ErrorText(const QPalette& palette) {
    const QColor base = palette.color(QPalette::Base);
    const QColor text = palette.color(QPalette::Text);
    const QColor red = base.lightnessF() < 0.5 ? QColor(0xFF, 0x7B, 0x72) : QColor(0xC0, 0x1C, 0x28);
    QColor colour = red;
    for (double amount = 0.1; ContrastRatio(colour, base) < 4.5 && amount <= 1.0; amount += 0.1) {
        colour = Mix(red, text, amount);
    }
    return colour;
}

ConflictReasons ReasonsByKey(std::span<const RenameRow> rows, const std::vector<RenameConflict>& conflicts) {
    ConflictReasons reasons;
    reasons.reserve(conflicts.size());
    for (const RenameConflict& conflict : conflicts) {
        if (conflict.row < rows.size()) {
            reasons.emplace(rows[conflict.row].key, QString::fromStdString(conflict.reason));
        }
    }
    return reasons;
}

ConflictLook::ConflictLook(const QWidget* view)
    : icon((view != nullptr ? view->style() : QApplication::style())->standardIcon(QStyle::SP_MessageBoxWarning)),
      text(ErrorText(view != nullptr ? view->palette() : QApplication::palette())) {}

void MarkConflict(QTreeWidgetItem* item, const QString& reason, const ConflictLook& look) {
    if (item->data(kNewName, Qt::AccessibleDescriptionRole).toString() == reason) {
        return;
    }
    if (reason.isEmpty()) {
        item->setIcon(kNewName, {});
        item->setData(kNewName, Qt::ForegroundRole, {});
    } else {
        item->setIcon(kNewName, look.icon);
        item->setForeground(kNewName, look.text);
    }
    item->setToolTip(kNewName, reason);
    item->setData(kNewName, Qt::AccessibleDescriptionRole, reason);
}

ConflictPlanner::~ConflictPlanner() {
    Cancel();  // a plan under way stops at its next look
}

void ConflictPlanner::Cancel() {
    latest_->store(0);
}

void ConflictPlanner::Plan(std::vector<RenameRow> rows) {
    const std::uint64_t generation = ++generation_;
    latest_->store(generation);
    ++running_;
    auto* watcher = new QFutureWatcher<ConflictReasons>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, generation] {
        --running_;
        if (generation == latest_->load()) {
            reasons_ = watcher->future().takeResult();
            emit planned();
        }
        watcher->deleteLater();
    });
    // The reasons are keyed on the worker, by the rows planned: the list may be sorted meanwhile.
    watcher->setFuture(QtConcurrent::run([rows = std::move(rows), latest = latest_, generation] {
        const RenamePlan plan = PlanRenames(rows, [&] { return latest->load() != generation; });
        return plan.stopped ? ConflictReasons{} : ReasonsByKey(rows, plan.conflicts);
    }));
}

}  // namespace brindle::app
