#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shell/job_runner.h"
#include "shell/status.h"

class QPushButton;
class QTreeView;

namespace brindle::app {

// What the Add Files and Add Folder dialogs share: the folder tree on the left, the folder
// they list, their result text filestring() and the way they end.
class AddDialog : public QDialog {
    Q_OBJECT
public:
    // Bytes as the file system gave them, so any file name survives the hand-over.
    const std::string& filestring() const { return filestring_; }
    // Lists a folder, as choosing it in the tree does; an unreadable one gives the start
    // folder instead.
    void ShowFolder(const QString& folder);
    // True while a folder is being listed (off the interface thread).
    bool IsListing() const;

    void done(int result) override;

signals:
    // The chosen folder's files are in the list.
    void listed();

protected:
    AddDialog(const QString& name, const QString& title, const QString& treeName, QWidget* parent);

    // Lists folder() anew in the dialog's own list.
    virtual void ListFolder() = 0;
    // Call at the end of the subclass's constructor: lists the start folder and follows the
    // tree from then on. `ok` and `list` wait while a folder is listed.
    void StartListing(QPushButton* ok, QWidget* list);
    // One look at every file of a large or slow folder runs off the interface thread: a
    // listing holds OK and the list until EndListing, and a newer one wins over an older.
    void BeginListing();
    void EndListing();
    // One listing: `pick` makes the picker over folder()'s files off the interface thread;
    // `show` gets it, its names as shown and a test that this listing is still the newest,
    // on the interface thread, unless a newer one began meanwhile. `show` ends the listing
    // (EndListing, perhaps after filling the list in batches).
    template <typename Picker>
    void ListOffThread(std::function<Picker()> pick,
                       std::function<void(const Picker&, const QStringList&, std::function<bool()>)> show);
    static QStringList DisplayNames(const std::vector<std::string>& names);
    // The chosen text accepts the dialog; nothing shows `nothingChosen` and stays.
    void Confirm(const std::optional<std::string>& chosen, const QString& nothingChosen);
    // A push button that is not the default one unless made so; Cancel ends with "cancel".
    QPushButton* MakeButton(const char* name, const QString& caption);
    QPushButton* MakeCancelButton(const char* name);

    const QString& folder() const { return folder_; }
    QTreeView* tree() const { return tree_; }
    // The user's places above the tree: the dialog's left column.
    QWidget* folders() const { return folders_; }

private:
    QTreeView* tree_;
    QWidget* folders_;
    QString folder_;
    std::string filestring_;
    QPushButton* listOk_ = nullptr;
    QWidget* listView_ = nullptr;
    JobRunner* lister_;
};

template <typename Picker>
void AddDialog::ListOffThread(std::function<Picker()> pick,
                              std::function<void(const Picker&, const QStringList&, std::function<bool()>)> show) {
    BeginListing();
    using Listed = std::pair<Picker, QStringList>;
    lister_->List<Listed>(
        [pick] {
            Listed found{pick(), {}};
            found.second = DisplayNames(found.first.names());
            return found;
        },
        [show](const Listed& found, std::function<bool()> current) {
            show(found.first, found.second, std::move(current));
        });
}

// The filestring of a file or folder dropped on the rename list, as the dialogs would
// give it: Add Files for a file, Add Folder (every file in it) for a folder. Nothing for
// anything else or a folder without files; `listing` says why a folder could not be listed.
std::optional<std::string> DroppedFileString(const std::string& path, bool* isFolder, Status* listing);

}  // namespace brindle::app
