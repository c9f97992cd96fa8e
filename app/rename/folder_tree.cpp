#include "rename/folder_tree.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QTimer>
#include <QTreeView>

#include "shell/path_text.h"

namespace brindle::app {

QString StartFolder() {
    return QDir::homePath();
}

QTreeView* MakeFolderTree(QWidget* parent, const QString& objectName) {
    auto* tree = new QTreeView(parent);
    tree->setObjectName(objectName);
    auto* model = new QFileSystemModel(tree);
    model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    model->setReadOnly(true);
    // The whole file system, so folders on other disks can be reached too.
    model->setRootPath(QDir::rootPath());
    tree->setModel(model);
    for (int column = 1; column < model->columnCount(); ++column) {
        tree->hideColumn(column);
    }
    tree->header()->hide();
    tree->setAccessibleName(QCoreApplication::translate("FolderTree", "Folders"));
    return tree;
}

QString TreeFolder(const QTreeView* tree) {
    const auto* model = static_cast<const QFileSystemModel*>(tree->model());
    const QModelIndex current = tree->currentIndex();
    return current.isValid() ? model->filePath(current) : QString();
}

void ChooseTreeFolder(QTreeView* tree, const QString& folder) {
    const auto* model = static_cast<const QFileSystemModel*>(tree->model());
    const QModelIndex index = model->index(folder);
    if (!index.isValid()) {
        return;
    }
    tree->setCurrentIndex(index);
    tree->expand(index);
    // Again once the tree is shown and has its size.
    QTimer::singleShot(0, tree, [tree] {
        tree->scrollTo(tree->currentIndex(), QAbstractItemView::PositionAtCenter);
    });
    // The model lists folders in the background; bring the choice into view as the folders
    // above it get listed.
    auto* once = new QObject(tree);
    QObject::connect(model, &QFileSystemModel::directoryLoaded, once,
                     [tree, once, parent = QFileInfo(folder).absolutePath()](const QString& path) {
                         QTimer::singleShot(0, tree, [tree] {
                             tree->scrollTo(tree->currentIndex(), QAbstractItemView::PositionAtCenter);
                         });
                         if (path == parent) {
                             once->deleteLater();
                         }
                     });
}

QString FolderToList(QTreeView* tree, const QString& folder, const QString& current) {
    if (!PathBytes(folder)) {
        RefuseLostName(tree->window(), folder);
    } else if (const QDir dir(folder); !folder.isEmpty() && dir.exists() && dir.isReadable()) {
        return folder;
    }
    const QString start = StartFolder();
    if (current == start || start.isEmpty()) {
        return {};
    }
    ChooseTreeFolder(tree, start);
    return start;
}

}  // namespace brindle::app
