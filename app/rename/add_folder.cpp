#include "rename/add_folder.h"
#include "shell/batch_fill.h"
#include "shell/prompter.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTreeView>

namespace brindle::app {

addFolder::addFolder(QWidget* parent)
    : AddDialog(QStringLiteral("addFolder"), QCoreApplication::translate("AddFolder", "Add Folder"),
                QStringLiteral("ft1"), parent) {
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("ListView1"));
    list_->setUniformItemSizes(true);
    count_ = new QLabel(QCoreApplication::translate("AddFolder", "%n File(s)", nullptr, 0), this);
    count_->setObjectName(QStringLiteral("Label1"));
    list_->setAccessibleName(QCoreApplication::translate("AddFolder", "Files that will be added"));

    QPushButton* ok = ok_ = MakeButton("Command1", QCoreApplication::translate("AddFolder", "&OK"));
    ok->setDefault(true);
    QPushButton* cancel = MakeCancelButton("Command2");
    connect(ok, &QPushButton::clicked, this, [this] {
        Confirm(picker_.Confirm(),
                QCoreApplication::translate("AddFolder", "There is no image inside the folder."));
    });

    auto* grid = new QGridLayout(this);
    grid->addWidget(folders(), 0, 0);
    grid->addWidget(list_, 0, 1);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(count_);
    bottom->addStretch();
    bottom->addWidget(ok);
    bottom->addWidget(cancel);
    grid->addLayout(bottom, 1, 0, 1, 2);

    setTabOrder(tree(), list_);
    setTabOrder(list_, ok);
    setTabOrder(ok, cancel);
    StartListing(ok_, list_);
}

void addFolder::ListFolder() {
    ListOffThread<FolderPicker>(
        [path = folder().toStdString()] {
            FolderPicker picker;
            picker.Show(path);
            return picker;
        },
        [this](const FolderPicker& picker, const QStringList& names, std::function<bool()> current) {
            picker_ = picker;
            list_->clear();
            if (!picker.listing().ok()) {
                CurrentPrompter().Warning(this, QString::fromStdString(picker.listing().message()));
            }
            // The count follows every folder, not only the fallback road.
            const int count =
                static_cast<int>(picker_.names().size());  // lupdate loses a count with a cast
            count_->setText(QCoreApplication::translate("AddFolder", "%n File(s)", nullptr, count));
            AddInBatches(list_, names, std::move(current), [this] { EndListing(); });
        });
}

}  // namespace brindle::app
