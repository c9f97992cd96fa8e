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

void MarkConflict(QTreeWidgetItem* item, const QString& reason) {
    if (item->data(kNewName, Qt::AccessibleDescriptionRole).toString() == reason) {
        return;
    }
    if (reason.isEmpty()) {
        item->setIcon(kNewName, {});
        item->setData(kNewName, Qt::ForegroundRole, {});
    } else {
        const QWidget* view = item->treeWidget();
        QStyle* style = view != nullptr ? view->style() : QApplication::style();
        item->setIcon(kNewName, style->standardIcon(QStyle::SP_MessageBoxWarning));
        item->setForeground(kNewName, ErrorText(view != nullptr ? view->palette() : QApplication::palette()));
    }
    item->setToolTip(kNewName, reason);
    item->setData(kNewName, Qt::AccessibleDescriptionRole, reason);
}

void ConflictPlanner::Plan(std::vector<RenameRow> rows) {
    const std::uint64_t generation = ++generation_;
    ++running_;
    auto* watcher = new QFutureWatcher<std::vector<RenameConflict>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, generation] {
        --running_;
        if (generation == generation_) {
            emit planned(watcher->result());
        }
        watcher->deleteLater();
    });
    watcher->setFuture(QtConcurrent::run([rows = std::move(rows)] { return PlanRenames(rows).conflicts; }));
}

}  // namespace brindle::app
