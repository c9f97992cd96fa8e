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

template <typename Pending>
qsizetype Total(const Pending& pending) {
    if constexpr (requires { pending.total; }) {
        return pending.total;
    } else {
        return pending.items.size();
    }
}

template <typename List, typename Pending, typename AddBatch>
void Step(List* list, std::shared_ptr<Pending> pending, std::function<bool()> wanted,
          std::function<void()> done, AddBatch addBatch) {
    if (!wanted()) {
        return;
    }
    addBatch(*list, *pending);
    if (pending->next < Total(*pending)) {
        QTimer::singleShot(0, list, [=] { Step(list, pending, wanted, done, addBatch); });
        return;
    }
    done();
}

}  // namespace

void AddInBatches(QTreeWidget* list, qsizetype count, std::function<QTreeWidgetItem*(qsizetype)> makeRow,
                  std::function<bool()> wanted, std::function<void()> done) {
    struct PendingRows {
        qsizetype total = 0;
        qsizetype next = 0;
    };
    auto pending = std::make_shared<PendingRows>(PendingRows{count, 0});
    Step(list, pending, std::move(wanted), std::move(done), [makeRow](QTreeWidget& view, PendingRows& p) {
        const qsizetype batch = std::min(kBatch, p.total - p.next);
        QList<QTreeWidgetItem*> rows;
        rows.reserve(batch);
        for (qsizetype i = p.next; i < p.next + batch; ++i) {
            rows.append(makeRow(i));
        }
        view.addTopLevelItems(rows);
        p.next += batch;
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
