#include "rename/add_folder.h"

#include <QFutureWatcher>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTreeView>
#include <QtConcurrent/QtConcurrentRun>

#include "rename/folder_tree.h"
#include "rename/rename_list.h"
#include "shell/batch_fill.h"
#include "shell/prompter.h"

namespace brindle::app {

addFolder::addFolder(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("addFolder"));
    setWindowTitle(QStringLiteral("Add Folder"));

    tree_ = MakeFolderTree(this, QStringLiteral("ft1"));
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("ListView1"));
    list_->setUniformItemSizes(true);
    count_ = new QLabel(QStringLiteral("0 File(s)"), this);
    count_->setObjectName(QStringLiteral("Label1"));
    list_->setAccessibleName(QStringLiteral("Files that will be added"));

    auto* ok = ok_ = new QPushButton(QStringLiteral("&OK"), this);
    ok->setObjectName(QStringLiteral("Command1"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Ca&ncel"), this);
    cancel->setObjectName(QStringLiteral("Command2"));
    cancel->setAutoDefault(false);
    connect(ok, &QPushButton::clicked, this, &addFolder::OkClicked);
    connect(cancel, &QPushButton::clicked, this, [this] {
        filestring_ = kCancelled;
        reject();
    });

    auto* grid = new QGridLayout(this);
    grid->addWidget(tree_, 0, 0);
    grid->addWidget(list_, 0, 1);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(count_);
    bottom->addStretch();
    bottom->addWidget(ok);
    bottom->addWidget(cancel);
    grid->addLayout(bottom, 1, 0, 1, 2);
    resize(620, 400);

    setTabOrder(tree_, list_);
    setTabOrder(list_, ok);
    setTabOrder(ok, cancel);

    ShowFolder(StartFolder());
    ChooseTreeFolder(tree_, folder_);
    connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { ShowFolder(TreeFolder(tree_)); });
    tree_->setFocus();
}

void addFolder::ShowFolder(const QString& folder) {
    const QString listed = FolderToList(tree_, folder, folder_);
    if (listed.isEmpty()) {
        return;
    }
    folder_ = listed;
    // One look at every file of a large or slow folder runs off the interface thread; OK
    // waits for the list, and a newer choice of folder wins over an older listing.
    const int generation = ++listing_;
    ok_->setEnabled(false);
    list_->setEnabled(false);
    setCursor(Qt::BusyCursor);
    using Listed = std::pair<FolderPicker, QStringList>;
    auto* watcher = new QFutureWatcher<Listed>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, generation] {
        watcher->deleteLater();
        if (generation == listing_) {
            ShowListed(watcher->result().first, watcher->result().second, generation);
        }
    });
    watcher->setFuture(QtConcurrent::run([folder = folder_.toStdString()] {
        Listed found;
        found.first.Show(folder);
        found.second.reserve(static_cast<qsizetype>(found.first.names().size()));
        for (const std::string& name : found.first.names()) {
            found.second.append(QString::fromStdString(name));
        }
        return found;
    }));
}

void addFolder::ShowListed(const FolderPicker& picker, const QStringList& names, int generation) {
    picker_ = picker;
    list_->clear();
    // The count follows every folder, not only the fallback road.
    count_->setText(QString::fromStdString(picker_.CountText()));
    AddInBatches(
        list_, names, [this, generation] { return generation == listing_; },
        [this] {
            ok_->setEnabled(true);
            list_->setEnabled(true);
            unsetCursor();
            emit listed();
        });
}

void addFolder::OkClicked() {
    const auto chosen = picker_.Confirm();
    if (!chosen) {
        CurrentPrompter().Message(this, QString::fromLatin1(kNoImageInFolder.data(),
                                                             kNoImageInFolder.size()),
                                  {}, Prompter::Icon::None, Prompter::Buttons::Ok);
        return;
    }
    filestring_ = *chosen;
    accept();
}

void addFolder::done(int result) {
    if (filestring_.empty()) {
        filestring_ = kCancelled;
    }
    QDialog::done(result);
}

}  // namespace brindle::app
