#include "rename/row_click.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QTreeWidget>

namespace brindle::app {
namespace {

class RowClickFilter final : public QObject {
public:
    explicit RowClickFilter(QTreeWidget* view) : QObject(view), view_(view) {
        view->viewport()->installEventFilter(this);
        connect(view, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item, int) {
            if (item == pressed_ && item->checkState(0) == stateAtPress_) {
                item->setCheckState(0, stateAtPress_ == Qt::Checked ? Qt::Unchecked : Qt::Checked);
            }
            pressed_ = nullptr;
        });
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress ||
            event->type() == QEvent::MouseButtonDblClick) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            pressed_ = view_->itemAt(mouse->position().toPoint());
            if (pressed_ != nullptr) {
                stateAtPress_ = pressed_->checkState(0);
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QTreeWidget* view_;
    QTreeWidgetItem* pressed_ = nullptr;
    Qt::CheckState stateAtPress_ = Qt::Unchecked;
};

}  // namespace

void ToggleCheckOnRowClick(QTreeWidget* view) {
    new RowClickFilter(view);
}

}  // namespace brindle::app
