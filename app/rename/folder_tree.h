#pragma once

#include <QList>
#include <QString>

class QListWidget;
class QTreeView;
class QWidget;

namespace brindle::app {

// The add dialogs' folder tree: the file system's folders only, hidden ones left out, with
// the user's home folder chosen and in view.
QTreeView* MakeFolderTree(QWidget* parent, const QString& objectName);

// The folder of the tree's current entry; empty when there is none.
QString TreeFolder(const QTreeView* tree);
// Makes a folder the tree's current entry (the tree then reports the change).
void ChooseTreeFolder(QTreeView* tree, const QString& folder);

// What the tree's "path query" gives: the folder of the list's last added file while it is
// there, the user's home folder otherwise.
QString StartFolder();
void RememberAddedFolder(const QString& folder);

// Where the user's files are: the home folder, the XDG user folders that exist and the
// mounted removable drives.
struct Place {
    QString name;
    QString path;
    bool drive = false;
};
QList<Place> UserPlaces();
// The places above `tree`: choosing one chooses its folder in the tree.
QListWidget* MakePlaces(QTreeView* tree, QWidget* parent);

// The folder a dialog lists when `folder` is chosen: `folder` itself when it can be read;
// otherwise the start folder, which the tree is then moved to as well, so tree and list never
// disagree. Empty when the dialog should stay where it is (`current` is already the start
// folder, or there is none). A folder whose name lost bytes on its way into the tree's text is
// refused with a message (it may stand for another folder); a returned folder never has.
QString FolderToList(QTreeView* tree, const QString& folder, const QString& current);

}  // namespace brindle::app
