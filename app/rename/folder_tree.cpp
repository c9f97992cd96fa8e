#include "rename/folder_tree.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QListWidget>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QStyle>
#include <QTimer>
#include <QTreeView>
#include <algorithm>

#include "shell/path_text.h"

namespace brindle::app {

namespace {

QString g_addedFolder;

}  // namespace

void RememberAddedFolder(const QString& folder) {
    g_addedFolder = folder;
}

QString StartFolder() {
    if (!g_addedFolder.isEmpty() && PathBytes(g_addedFolder) && QFileInfo(g_addedFolder).isDir()) {
        return g_addedFolder;
    }
    return QDir::homePath();
}

QList<Place> UserPlaces() {
    const QString home = QDir::homePath();
    QList<Place> places{{QCoreApplication::translate("FolderTree", "Home"), home}};
    for (const auto location : {QStandardPaths::DesktopLocation, QStandardPaths::DocumentsLocation,
                                QStandardPaths::DownloadLocation, QStandardPaths::PicturesLocation,
                                QStandardPaths::MusicLocation, QStandardPaths::MoviesLocation}) {
        // An unset user folder falls back to the home folder itself, or to one not made.
        const QString path = QStandardPaths::writableLocation(location);
        if (!path.isEmpty() && path != home && QFileInfo(path).isDir() &&
            std::none_of(places.begin(), places.end(), [&](const Place& p) { return p.path == path; })) {
            places.append({QFileInfo(path).fileName(), path});
        }
    }
    // Removable drives are mounted under /media or /run/media by the desktop's disk service.
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        const QString root = volume.rootPath();
        if (volume.isValid() && volume.isReady() &&
            (root.startsWith(QStringLiteral("/media/")) || root.startsWith(QStringLiteral("/run/media/")))) {
            places.append({volume.displayName(), root, true});
        }
    }
    return places;
}

QListWidget* MakePlaces(QTreeView* tree, QWidget* parent) {
    auto* list = new QListWidget(parent);
    list->setObjectName(QStringLiteral("places"));
    list->setAccessibleName(QCoreApplication::translate("FolderTree", "Places"));
    const QList<Place> places = UserPlaces();
    for (const Place& place : places) {
        const QStyle::StandardPixmap icon = place.drive              ? QStyle::SP_DriveHDIcon
                                            : list->count() == 0 ? QStyle::SP_DirHomeIcon
                                                                 : QStyle::SP_DirIcon;
        auto* item = new QListWidgetItem(list->style()->standardIcon(icon), place.name, list);
        item->setData(Qt::UserRole, place.path);
        item->setToolTip(place.path);
    }
    // As tall as its places, the tree below taking the rest.
    list->setFixedHeight(list->sizeHintForRow(0) * int(places.size()) + 2 * list->frameWidth());
    QObject::connect(list, &QListWidget::itemClicked, tree, [tree](QListWidgetItem* item) {
        ChooseTreeFolder(tree, item->data(Qt::UserRole).toString());
    });
    QObject::connect(list, &QListWidget::itemActivated, tree, [tree](QListWidgetItem* item) {
        ChooseTreeFolder(tree, item->data(Qt::UserRole).toString());
    });
    return list;
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
