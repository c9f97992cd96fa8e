#include "shell/batch_fill.h"

#include <QListWidget>
#include <QTimer>
#include <QTreeWidget>
#include <memory>

namespace brindle::app {
namespace {

constexpr qsizetype kBatch = 2000;

struct PendingNames {
    QStringList items;
    qsizetype next = 0;
};

template <typename List, typename Pending, typename AddBatch>
void Step(List* list, std::shared_ptr<Pending> pending, std::function<bool()> wanted,
          std::function<void()> done, AddBatch addBatch) {
    if (!wanted()) {
        return;
    }
    addBatch(*list, *pending);
    if (pending->next < pending->items.size()) {
        QTimer::singleShot(0, list, [=] { Step(list, pending, wanted, done, addBatch); });
        return;
    }
    done();
}

}  // namespace

void AddInBatches(QTreeWidget* list, QStringList names,
                  std::function<QTreeWidgetItem*(const QString&)> makeRow,
                  std::function<bool()> wanted, std::function<void()> done) {
    auto pending = std::make_shared<PendingNames>();
    pending->items = std::move(names);
    Step(list, pending, std::move(wanted), std::move(done), [makeRow](QTreeWidget& view, PendingNames& p) {
        const qsizetype count = std::min(kBatch, p.items.size() - p.next);
        QList<QTreeWidgetItem*> rows;
        rows.reserve(count);
        for (qsizetype i = p.next; i < p.next + count; ++i) {
            rows.append(makeRow(p.items[i]));
        }
        view.addTopLevelItems(rows);
        p.next += count;
    });
}

void AddInBatches(QListWidget* list, QStringList names, std::function<bool()> wanted,
                  std::function<void()> done) {
    auto pending = std::make_shared<PendingNames>();
    pending->items = std::move(names);
    Step(list, pending, std::move(wanted), std::move(done), [](QListWidget& view, PendingNames& p) {
        const qsizetype count = std::min(kBatch, p.items.size() - p.next);
        view.addItems(p.items.mid(p.next, count));
        p.next += count;
    });
}

}  // namespace brindle::app
