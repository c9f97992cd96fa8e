#include "rename/file_add.h"

#include <QComboBox>
#include <QFutureWatcher>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include "rename/folder_tree.h"
#include "rename/rename_list.h"
#include "rename/row_click.h"
#include "shell/batch_fill.h"
#include "shell/prompter.h"

namespace brindle::app {

fileAdd::fileAdd(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("fileAdd"));
    setWindowTitle(QStringLiteral("Add Files"));

    tree_ = MakeFolderTree(this, QStringLiteral("FolderTreeview1"));
    auto* label1 = new QLabel(QStringLiteral("File extension"), this);
    label1->setObjectName(QStringLiteral("Label1"));
    type_ = new QComboBox(this);
    type_->setObjectName(QStringLiteral("cboType"));
    type_->setAccessibleName(QStringLiteral("File extension"));
    label1->setBuddy(type_);
    for (std::string_view entry : kFileTypes) {
        type_->addItem(QString::fromUtf8(entry.data(), static_cast<qsizetype>(entry.size())));
    }
    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("ListView1"));
    list_->setAccessibleName(QStringLiteral("Files"));
    list_->setHeaderHidden(true);
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ToggleCheckOnRowClick(list_);

    auto button = [this](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        return b;
    };
    QPushButton* selectAll = button("Command3", QStringLiteral("Select &All"));
    QPushButton* deselectAll = button("Command2", QStringLiteral("&Deselect All"));
    QPushButton* ok = ok_ = button("Command1", QStringLiteral("&Ok"));
    QPushButton* cancel = button("cmdCancel", QStringLiteral("Ca&ncel"));
    ok->setDefault(true);

    const auto tickAll = [this](Qt::CheckState state) {
        for (int i = 0; i < list_->topLevelItemCount(); ++i) {
            list_->topLevelItem(i)->setCheckState(0, state);
        }
    };
    connect(selectAll, &QPushButton::clicked, this, [tickAll] { tickAll(Qt::Checked); });
    connect(deselectAll, &QPushButton::clicked, this, [tickAll] { tickAll(Qt::Unchecked); });
    connect(ok, &QPushButton::clicked, this, &fileAdd::OkClicked);
    connect(cancel, &QPushButton::clicked, this, [this] {
        filestring_ = kCancelled;
        reject();
    });

    auto* right = new QVBoxLayout;
    auto* typeRow = new QHBoxLayout;
    typeRow->addWidget(label1);
    typeRow->addWidget(type_, 1);
    right->addLayout(typeRow);
    right->addWidget(list_, 1);
    auto* ticks = new QHBoxLayout;
    ticks->addWidget(selectAll);
    ticks->addWidget(deselectAll);
    ticks->addStretch();
    right->addLayout(ticks);
    auto* grid = new QGridLayout(this);
    grid->addWidget(tree_, 0, 0);
    grid->addLayout(right, 0, 1);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    auto* confirm = new QHBoxLayout;
    confirm->addStretch();
    confirm->addWidget(ok);
    confirm->addWidget(cancel);
    grid->addLayout(confirm, 1, 0, 1, 2);
    resize(620, 400);

    setTabOrder(tree_, type_);
    setTabOrder(type_, list_);
    setTabOrder(list_, selectAll);
    setTabOrder(selectAll, deselectAll);
    setTabOrder(deselectAll, ok);
    setTabOrder(ok, cancel);

    connect(type_, &QComboBox::currentIndexChanged, this, [this] {
        pattern_ = QString::fromStdString(PatternOfType(type_->currentText().toStdString()));
        Refill();
    });
    ShowFolder(StartFolder());
    ChooseTreeFolder(tree_, folder_);
    connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { ShowFolder(TreeFolder(tree_)); });
    tree_->setFocus();
}

void fileAdd::ShowFolder(const QString& folder) {
    const QString listed = FolderToList(tree_, folder, folder_);
    if (listed.isEmpty()) {
        return;
    }
    folder_ = listed;
    Refill();
}

void fileAdd::Refill() {
    if (folder_.isEmpty()) {
        return;
    }
    // One look at every file of a large or slow folder runs off the interface thread; Ok
    // waits for the list, and a newer folder or type wins over an older listing.
    const int generation = ++listing_;
    ok_->setEnabled(false);
    list_->setEnabled(false);
    setCursor(Qt::BusyCursor);
    auto* watcher = new QFutureWatcher<FilePicker>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, generation] {
        watcher->deleteLater();
        if (generation == listing_) {
            ShowListed(watcher->result(), generation);
        }
    });
    watcher->setFuture(
        QtConcurrent::run([folder = folder_.toStdString(), pattern = pattern_.toStdString()] {
            FilePicker picker;
            picker.Show(folder, pattern);
            return picker;
        }));
}

void fileAdd::ShowListed(const FilePicker& picker, int generation) {
    picker_ = picker;
    list_->clear();
    QStringList names;
    names.reserve(static_cast<qsizetype>(picker_.names().size()));
    for (const std::string& name : picker_.names()) {
        names.append(QString::fromStdString(name));
    }
    const qsizetype count = names.size();
    const auto row = [names = std::move(names)](qsizetype i) {
        auto* item = new QTreeWidgetItem(QStringList{names[i]});
        item->setCheckState(0, Qt::Unchecked);
        return item;
    };
    AddInBatches(
        list_, count, row, [this, generation] { return generation == listing_; },
        [this] {
            ok_->setEnabled(true);
            list_->setEnabled(true);
            unsetCursor();
            emit listed();
        });
}

void fileAdd::OkClicked() {
    picker_.TickAll(false);
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        if (list_->topLevelItem(i)->checkState(0) == Qt::Checked) {
            picker_.ToggleTick(static_cast<std::size_t>(i));
        }
    }
    const auto chosen = picker_.Confirm();
    if (!chosen) {
        CurrentPrompter().Message(this, QString::fromLatin1(kNoFileSelected.data(),
                                                             kNoFileSelected.size()),
                                  {}, Prompter::Icon::None, Prompter::Buttons::Ok);
        return;
    }
    filestring_ = *chosen;
    accept();
}

void fileAdd::done(int result) {
    if (filestring_.empty()) {
        filestring_ = kCancelled;
    }
    QDialog::done(result);
}

}  // namespace brindle::app
